// The order in which one pen's subpaths are cut: as in the document, by the
// shortest pen-up travel found, or inner contours first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "design/design_import.h"

namespace design {

// A point in whole plotter units on the page (x right, y down).
struct IPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// A subpath with its points rounded to plotter units.
struct CutPiece {
    std::vector<IPoint> points;
    bool closed = false;
    int pen = 1;
};

// One subpath in cutting order; a reversed one is cut from its last point.
struct CutStep {
    std::size_t piece = 0;
    bool reversed = false;
};

// Pen-up length of cutting the steps in turn from start, in plotter units.
double travel_length(const std::vector<CutPiece>& pieces, const std::vector<CutStep>& steps,
                     IPoint start);

// The cutting order of the pieces named by indices (one pen's), from the
// head at start. A travel order is never longer than the document order; an
// inside order cuts every piece before the closed piece that contains it.
// *warning is set when the order had to fall back to a simpler one.
std::vector<CutStep> order_pieces(const std::vector<CutPiece>& pieces,
                                  const std::vector<std::size_t>& indices, IPoint start,
                                  CutOrder order, std::string* warning);

}  // namespace design
