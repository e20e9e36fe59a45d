// The parts of SVG that are text of their own: path data, transform lists,
// lengths, number lists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "design/read/design_geometry.h"

namespace design {

// Draws path data through the map. Data after an error is ignored, as SVG
// renders a path up to its first error; *error then says where.
void svg_path_data(std::string_view d, const Affine& map, PathBuilder* builder, std::string* error);

// An elliptical arc of path data from p0 to p1 (user space), drawn through
// the map; degenerate radii draw a line, equal ends nothing.
void svg_arc(Vec2 p0, double rx, double ry, double rotation_deg, bool large, bool sweep, Vec2 p1,
             const Affine& map, PathBuilder* builder);

// A transform list ("translate(10) rotate(45 5 5)"); false when malformed
// (the element is then drawn untransformed, as browsers do).
bool svg_transform(std::string_view text, Affine* out);

// The numbers of a list ("1,2 3e1 -4"); stops at the first non-number.
std::vector<double> svg_numbers(std::string_view text);

// A length in user units (px): a number with an optional unit (px, mm, cm,
// in, pt, pc, em, ex) or a percentage of the reference length. false when
// the text is no length.
bool svg_length(std::string_view text, double reference, double* out);

}  // namespace design
