#include "design/read/design_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace design {

double Affine::max_scale() const
{
    // The largest singular value of the 2 x 2 part.
    const double p = a * a + b * b + c * c + d * d;
    const double det = a * d - b * c;
    const double disc = std::sqrt(std::max(0.0, p * p / 4.0 - det * det));
    return std::sqrt(p / 2.0 + disc);
}

Affine affine_translate(double x, double y)
{
    return {1, 0, 0, 1, x, y};
}

Affine affine_scale(double sx, double sy)
{
    return {sx, 0, 0, sy, 0, 0};
}

Affine affine_rotate(double degrees)
{
    const double r = degrees * std::numbers::pi / 180.0;
    const double cs = std::cos(r);
    const double sn = std::sin(r);
    return {cs, sn, -sn, cs, 0, 0};
}

int VectorDesign::source_index(const std::string& source)
{
    const auto it = std::find(sources.begin(), sources.end(), source);
    if (it != sources.end()) {
        return static_cast<int>(it - sources.begin());
    }
    sources.push_back(source);
    return static_cast<int>(sources.size() - 1);
}

void add_warning(VectorDesign* design, const std::string& text)
{
    if (std::find(design->warnings.begin(), design->warnings.end(), text) ==
        design->warnings.end()) {
        design->warnings.push_back(text);
    }
}

void count_element(VectorDesign* design)
{
    if (++design->elements > MAX_ELEMENTS) {
        throw ImportFailure("more than " + std::to_string(MAX_ELEMENTS) +
                            " elements to draw (the limit)");
    }
}

std::string memory_text(std::uint64_t bytes)
{
    const bool small = bytes < (std::uint64_t{1} << 20);
    const std::uint64_t unit = small ? 1024 : std::uint64_t{1} << 20;
    return std::to_string(bytes / unit + (bytes % unit != 0 ? 1 : 0)) + (small ? " KiB" : " MiB");
}

void check_segments(const VectorDesign& design, double count, const std::string& what)
{
    if (count > static_cast<double>(design.max_segments)) {
        throw ImportFailure(what + " more than " + std::to_string(design.max_segments) +
                            " segments once curves are flattened" +
                            (design.memory_bound != 0
                                 ? ": the most " + memory_text(design.memory_bound) +
                                       " of memory allowed holds"
                                 : std::string(" (the limit)")));
    }
}

std::int64_t segments_per_turn(double radius, double tolerance)
{
    // A chord of angle a deviates r (1 - cos(a / 2)) from its arc.
    if (!(radius > tolerance)) {
        return 4;
    }
    const double step = 2.0 * std::acos(1.0 - tolerance / radius);
    const double n = std::ceil(2.0 * std::numbers::pi / step);
    return static_cast<std::int64_t>(std::clamp(n, 4.0, 1e7));
}

PathBuilder::PathBuilder(VectorDesign* design, double tolerance_pu)
    : design_(design), tolerance_(tolerance_pu)
{
}

void PathBuilder::check(Vec2 p) const
{
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
        throw ImportFailure("a coordinate is not a finite number");
    }
    if (std::fabs(p.x) > MAX_COORDINATE_PU || std::fabs(p.y) > MAX_COORDINATE_PU) {
        throw ImportFailure("a coordinate lies more than 2.5 km from the origin");
    }
}

void PathBuilder::add_point(Vec2 p)
{
    check(p);
    check_segments(*design_, static_cast<double>(++design_->segments), "it has");
    sub_.points.push_back(p);
    current_ = p;
}

void PathBuilder::move_to(Vec2 p)
{
    finish();
    check(p);
    sub_.points.assign(1, p);
    sub_.source = source_;
    current_ = p;
    open_ = true;
}

void PathBuilder::line_to(Vec2 p)
{
    if (!open_) {
        move_to(current_);
    }
    add_point(p);
}

void PathBuilder::quad_to(Vec2 c, Vec2 p)
{
    // Uniform steps whose polygon stays within the tolerance of the curve:
    // n >= sqrt(|p0 - 2 c + p| / (4 tol)) for a quadratic.
    const Vec2 p0 = current_;
    check(c);
    check(p);
    const double m = std::hypot(p0.x - 2 * c.x + p.x, p0.y - 2 * c.y + p.y);
    const double n = std::clamp(std::ceil(std::sqrt(m / (4.0 * tolerance_))), 1.0, 1e6);
    const auto steps = static_cast<int>(n);
    for (int i = 1; i <= steps; ++i) {
        const double t = i == steps ? 1.0 : i / n;
        const double u = 1 - t;
        line_to({u * u * p0.x + 2 * u * t * c.x + t * t * p.x,
                 u * u * p0.y + 2 * u * t * c.y + t * t * p.y});
    }
}

void PathBuilder::cubic_to(Vec2 c1, Vec2 c2, Vec2 p)
{
    // As for quadratics, with n >= sqrt(3 M / (4 tol)), M the larger second
    // difference of the control polygon.
    const Vec2 p0 = current_;
    check(c1);
    check(c2);
    check(p);
    const double m = std::max(std::hypot(p0.x - 2 * c1.x + c2.x, p0.y - 2 * c1.y + c2.y),
                              std::hypot(c1.x - 2 * c2.x + p.x, c1.y - 2 * c2.y + p.y));
    const double n = std::clamp(std::ceil(std::sqrt(0.75 * m / tolerance_)), 1.0, 1e6);
    const auto steps = static_cast<int>(n);
    for (int i = 1; i <= steps; ++i) {
        const double t = i == steps ? 1.0 : i / n;
        const double u = 1 - t;
        const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
        line_to({w0 * p0.x + w1 * c1.x + w2 * c2.x + w3 * p.x,
                 w0 * p0.y + w1 * c1.y + w2 * c2.y + w3 * p.y});
    }
}

void PathBuilder::ellipse_arc(const Affine& map, Vec2 centre, double rx, double ry, double rotation,
                              double t0, double t1)
{
    const double radius = std::max(std::fabs(rx), std::fabs(ry)) * map.max_scale();
    const double sweep = t1 - t0;
    if (!std::isfinite(radius) || !std::isfinite(sweep)) {
        throw ImportFailure("an arc's size is not a finite number");
    }
    const double turns = std::fabs(sweep) / (2.0 * std::numbers::pi);
    const double n = std::max(
        1.0, std::ceil(turns * static_cast<double>(segments_per_turn(radius, tolerance_))));
    check_segments(*design_, n, "an arc needs");
    const double cr = std::cos(rotation), sr = std::sin(rotation);
    const auto steps = static_cast<std::int64_t>(n);
    for (std::int64_t i = 1; i <= steps; ++i) {
        const double t = t0 + sweep * static_cast<double>(i) / n;
        const double x = rx * std::cos(t), y = ry * std::sin(t);
        line_to(map.apply({centre.x + x * cr - y * sr, centre.y + x * sr + y * cr}));
    }
}

void PathBuilder::close()
{
    if (open_ && sub_.points.size() > 1) {
        const Vec2 start = sub_.points.front();
        const Vec2 last = sub_.points.back();
        if (start.x != last.x || start.y != last.y) {
            add_point(start);
        }
        sub_.closed = true;
        finish();
        // A new subpath after a close starts where the closed one did.
        current_ = start;
        return;
    }
    finish();
}

void PathBuilder::finish()
{
    if (open_ && sub_.points.size() > 1) {
        design_->subpaths.push_back(std::move(sub_));
    }
    sub_ = Subpath{};
    open_ = false;
}

}  // namespace design
