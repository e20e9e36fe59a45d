// The readers of each kind of design: vector designs as flattened
// subpaths, pictures as the pixels that burn.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "design/read/design_geometry.h"

namespace design {

// The limits one import keeps: the fixed ones, or within the memory a
// caller allows (memory 0: none given).
struct ImportLimits {
    std::size_t memory = 0;
    std::int64_t max_segments = MAX_SEGMENTS;
    bool memory_bound = false;  // max_segments is what the memory holds

    // Starts a vector design within these limits.
    VectorDesign design() const
    {
        VectorDesign d;
        d.max_segments = max_segments;
        d.memory_bound = memory_bound ? memory : 0;
        return d;
    }
};

// Vector designs, in plotter units on the page; curves flattened to the
// tolerance (plotter units).
VectorDesign read_svg(std::string_view bytes, double tolerance_pu, const ImportLimits& limits);
VectorDesign read_dxf(std::string_view bytes, double tolerance_pu, const ImportLimits& limits);
VectorDesign read_hpgl(std::string_view bytes, const ImportLimits& limits);

// A picture reduced to what the job needs: which pixels burn.
struct Picture {
    std::uint32_t width = 0, height = 0;
    double dpi_x = 0, dpi_y = 0;  // the picture's own density (0: none given)
    // One bit per pixel, rows of words_per_row 64-bit words: set = burns.
    std::size_t words_per_row = 0;
    std::vector<std::uint64_t> bits;
    std::vector<std::string> warnings;

    bool burns(std::uint32_t x, std::uint32_t y) const
    {
        return (bits[y * words_per_row + x / 64] >> (x % 64)) & 1u;
    }
};

// Decodes a PNG or a JPEG; a pixel burns when its luminance is under half
// and its opacity over half. A picture that needs more than limits.memory
// (when given) is refused.
Picture read_png(std::string_view bytes, const ImportLimits& limits);
Picture read_jpeg(std::string_view bytes, const ImportLimits& limits);

}  // namespace design
