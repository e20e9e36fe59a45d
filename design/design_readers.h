// The readers of each kind of design, and the writer of a picture's job.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "design/design_geometry.h"
#include "design/design_import.h"

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

// Writes the raster job of a picture and fills the summary's raster part.
std::string write_raster_job(const Picture& picture, const DesignSettings& settings,
                             DesignSummary* summary);

// The lines per inch the machine steps evenly: the divisors of 3048, and
// 304 and 609.
bool lpi_supported(int lpi);
int nearest_supported_lpi(int lpi);

}  // namespace design
