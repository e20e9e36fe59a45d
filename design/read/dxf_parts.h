// The parts of a DXF reader that are geometry of their own: splines.
#pragma once

#include <vector>

#include "design/read/design_geometry.h"

namespace design {

// A NURBS curve: degree, knots, control points (already mapped to the
// page) and weights (empty: all 1).
struct Nurbs {
    int degree = 3;
    std::vector<double> knots;
    std::vector<Vec2> control;
    std::vector<double> weights;
};

// Draws the curve as one subpath to the builder's tolerance; false when
// its knots and control points do not make a curve.
bool draw_nurbs(const Nurbs& curve, PathBuilder* builder);

// Draws the smooth curve through the fit points (drawing units) that CAD
// programs draw: the C2 cubic spline at chord-length parameters, with the
// end tangents when given (zero: estimated), taken through the map.
void draw_fit_curve(const std::vector<Vec2>& fit, Vec2 start_tangent, Vec2 end_tangent,
                    const Affine& map, PathBuilder* builder);

}  // namespace design
