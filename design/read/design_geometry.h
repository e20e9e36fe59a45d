// The import's own picture of a vector design: subpaths of points in
// plotter units on the page, the pens' sources, the warnings, the limits
// every reader keeps, and the curve flattening they share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace design {

// Plotter units: the job's own length unit, 1016 per inch, so 40 per
// millimetre (1016 / 25.4) and 0.025 mm each.
inline constexpr double PU_PER_MM = 40.0;
inline constexpr double PU_PER_INCH = 1016.0;

// The machine's table, as its own pen-up and raster moves reach it: 640 mm
// across and 460 mm down from the table's origin (the top-left corner of
// the page the machine places raster images on), in plotter units.
inline constexpr double TABLE_WIDTH_PU = 640.0 * PU_PER_MM;
inline constexpr double TABLE_HEIGHT_PU = 460.0 * PU_PER_MM;

// Limits that keep a hostile design from taking unbounded time or memory.
// Each is far beyond real work: a million-segment design writes about
// 20 MB of job.
inline constexpr std::size_t MAX_DESIGN_BYTES = 256u << 20;   // the design file
inline constexpr std::int64_t MAX_SEGMENTS = 4'000'000;       // flattened segments
inline constexpr std::int64_t MAX_WRITTEN_MOVES = 8'000'000;  // cut moves, every pass
inline constexpr std::int64_t MAX_ELEMENTS = 2'000'000;       // elements or entities drawn
inline constexpr int MAX_USE_DEPTH = 64;                      // SVG use / DXF INSERT nesting
inline constexpr std::int64_t MAX_PIXELS = 400'000'000;       // 20000 x 20000
inline constexpr std::uint32_t MAX_IMAGE_SIDE = 65'535;       // pixels on either side
inline constexpr int MAX_PASSES = 100;
inline constexpr int PEN_COUNT = 16;  // pens 1..16
// What the parts of an import take of memory, bytes, for a caller that
// gives the import an allowance (a service's budget per request): a
// flattened segment (its point as the reader keeps it, with room for the
// list's growth, and its rounded copy in the cutting order), a move written
// to the job, an element of an SVG as the XML tree and the walk over it hold
// it, an attribute, and a line of a DXF (half a group, kept with its
// entity). Measured on large designs, rounded up.
inline constexpr std::size_t SEGMENT_BYTES = 64;
inline constexpr std::size_t MOVE_BYTES = 24;
inline constexpr std::size_t SVG_ELEMENT_BYTES = 192;
inline constexpr std::size_t SVG_ATTRIBUTE_BYTES = 48;
inline constexpr std::size_t DXF_LINE_BYTES = 24;
// Any coordinate beyond this (2.5 km from the design's origin) is refused
// before it is rounded: it cannot fit the table and would overflow.
inline constexpr double MAX_COORDINATE_PU = 1e8;

// A design that cannot be made into a job: the message names the problem.
class ImportFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A point in plotter units on the page: x to the right, y down.
struct Vec2 {
    double x = 0;
    double y = 0;
};

// An affine map of the plane: (x, y) -> (a x + c y + e, b x + d y + f).
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    Vec2 apply(Vec2 p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    // This map after other: p -> this(other(p)).
    Affine after(const Affine& o) const
    {
        return {a * o.a + c * o.b, b * o.a + d * o.b,     a * o.c + c * o.d,
                b * o.c + d * o.d, a * o.e + c * o.f + e, b * o.e + d * o.f + f};
    }
    // The largest factor by which the map stretches any length.
    double max_scale() const;
};

Affine affine_translate(double x, double y);
Affine affine_scale(double sx, double sy);
Affine affine_rotate(double degrees);

// One subpath: points cut one after the other with the pen down.
struct Subpath {
    std::vector<Vec2> points;
    int source = 0;  // index into VectorDesign::sources
    bool closed = false;
};

// A vector design as a reader leaves it.
struct VectorDesign {
    std::vector<Subpath> subpaths;
    // What decides a subpath's pen: a colour ("#ff0000"), a DXF layer, a
    // plot file's pen ("SP2"), in order of appearance.
    std::vector<std::string> sources;
    std::vector<std::string> warnings;
    std::int64_t segments = 0;
    std::int64_t elements = 0;
    // The most segments it may hold: MAX_SEGMENTS, or fewer within a
    // memory allowance of memory_bound bytes (0: none).
    std::int64_t max_segments = MAX_SEGMENTS;
    std::size_t memory_bound = 0;

    // The index of a source, added on first sight.
    int source_index(const std::string& source);
};

// Builds subpaths into a design, flattening curves to a chord deviation of
// at most the tolerance and counting segments against the limit. Points are
// in plotter units on the page, after every transform.
class PathBuilder {
public:
    PathBuilder(VectorDesign* design, double tolerance_pu);

    void set_source(int source) { source_ = source; }
    void move_to(Vec2 p);
    void line_to(Vec2 p);
    void quad_to(Vec2 c, Vec2 p);
    void cubic_to(Vec2 c1, Vec2 c2, Vec2 p);
    // An elliptical arc from angle t0 to t1 (radians, t1 - t0 signed) of the
    // ellipse centre + rx cos t * u + ry sin t * v, taken through the map.
    void ellipse_arc(const Affine& map, Vec2 centre, double rx, double ry, double rotation,
                     double t0, double t1);
    void close();
    // Ends the subpath under construction (keeping it if it has a segment).
    void finish();
    Vec2 current() const { return current_; }
    bool has_current() const { return open_; }
    double tolerance() const { return tolerance_; }

private:
    void add_point(Vec2 p);
    void check(Vec2 p) const;

    VectorDesign* design_;
    double tolerance_;
    Subpath sub_;
    Vec2 current_{};
    bool open_ = false;
    int source_ = 0;
};

// Segments that keep a circle of this radius within the tolerance per turn
// (2 pi); at least 4, at most a bound that the segment limit covers anyway.
std::int64_t segments_per_turn(double radius, double tolerance);

// Adds a warning once per distinct text.
void add_warning(VectorDesign* design, const std::string& text);

// Counts one more element visited; fails past the limit.
void count_element(VectorDesign* design);

// A number of bytes as "123 MiB" (under a mebibyte "12 KiB"), rounded up.
std::string memory_text(std::uint64_t bytes);

// Fails when count segments (what names them, e.g. "an arc needs") pass
// the design's limit, saying which limit it is.
void check_segments(const VectorDesign& design, double count, const std::string& what);

}  // namespace design
