// ASCII DXF drawings (R12 to current): lines, arcs, circles, ellipses,
// polylines with bulges and splines of model space, blocks inserted with
// scale, rotation and arrays to any nesting a stack of our own holds, in the
// units of $INSUNITS. Other entities are counted in a warning.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <numbers>
#include <string>
#include <unordered_map>
#include <vector>

#include "design/read/design_readers.h"
#include "design/read/dxf_parts.h"

namespace design {

namespace {

// One group: its code and its value (a view into the design's bytes).
struct Group {
    int code = 0;
    std::string_view value;
};

// An entity: its type and its groups (a POLYLINE's vertices follow it as
// "0 VERTEX" groups).
struct Entity {
    std::string_view type;
    std::vector<Group> groups;
    std::size_t line = 0;
};

struct Block {
    Vec2 base;
    std::vector<Entity> entities;
};

// Millimetres per drawing unit for $INSUNITS 0..14 (0, unitless, is taken
// as millimetres).
constexpr double MM_PER_UNIT[15] = {1,       25.4,   304.8, 1609344, 1,    10,   1000, 1e6,
                                    25.4e-6, 0.0254, 914.4, 1e-7,    1e-6, 1e-3, 100};

// Reads groups (a code line, then a value line) from the text.
class GroupReader {
public:
    explicit GroupReader(std::string_view text) : text_(text) {}

    bool next(Group* g)
    {
        if (held_) {
            *g = held_group_;
            held_ = false;
            return true;
        }
        std::string_view code_line, value;
        if (!line(&code_line) || !line(&value)) {
            return false;
        }
        int code = 0;
        bool digits = false;
        std::size_t i = 0;
        const bool negative = !code_line.empty() && code_line[0] == '-';
        for (i = negative ? 1 : 0;
             i < code_line.size() && code_line[i] >= '0' && code_line[i] <= '9'; ++i) {
            code = code * 10 + (code_line[i] - '0');
            digits = true;
            if (code > 100000) {
                break;
            }
        }
        if (!digits || i != code_line.size()) {
            throw ImportFailure("line " + std::to_string(line_ - 1) +
                                " should hold a group code: this is not an ASCII DXF");
        }
        *g = {negative ? -code : code, value};
        held_group_ = *g;
        return true;
    }

    // Puts the group just read back, to be read again.
    void hold() { held_ = true; }
    std::size_t line_number() const { return line_; }

private:
    bool line(std::string_view* out)
    {
        if (pos_ >= text_.size()) {
            return false;
        }
        std::size_t end = text_.find('\n', pos_);
        end = end == std::string_view::npos ? text_.size() : end;
        std::string_view l = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        ++line_;
        while (!l.empty() && (l.back() == '\r' || l.back() == ' ' || l.back() == '\t')) {
            l.remove_suffix(1);
        }
        while (!l.empty() && (l.front() == ' ' || l.front() == '\t')) {
            l.remove_prefix(1);
        }
        *out = l;
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 0;
    Group held_group_;
    bool held_ = false;
};

double number(const Group& g)
{
    char buf[64];
    const std::size_t n = std::min(g.value.size(), sizeof buf - 1);
    std::memcpy(buf, g.value.data(), n);
    buf[n] = '\0';
    char* end = nullptr;
    const double v = std::strtod(buf, &end);
    if (end == buf) {
        throw ImportFailure("group " + std::to_string(g.code) + " holds \"" +
                            std::string(g.value.substr(0, 40)) + "\", not a number");
    }
    if (!std::isfinite(v)) {
        throw ImportFailure("group " + std::to_string(g.code) +
                            " holds a number that is not finite");
    }
    return v;
}

// A whole-number group (flags, counts, units) as an int, kept in range.
int int_value(double v)
{
    return static_cast<int>(std::clamp(v, -1e9, 1e9));
}

// The first value of a code in an entity, or the fallback.
double value_of(const Entity& e, int code, double fallback)
{
    for (const Group& g : e.groups) {
        if (g.code == 0) {
            break;  // a POLYLINE's vertices
        }
        if (g.code == code) {
            return number(g);
        }
    }
    return fallback;
}

std::string_view text_of(const Entity& e, int code, std::string_view fallback)
{
    for (const Group& g : e.groups) {
        if (g.code == code) {
            return g.value;
        }
    }
    return fallback;
}

// An entity with its extrusion along -Z is mirrored in X (its object
// coordinate system); other extrusions are 3D work this import leaves out.
bool mirrored(const Entity& e, bool* planar)
{
    const double nx = value_of(e, 210, 0), ny = value_of(e, 220, 0), nz = value_of(e, 230, 1);
    *planar = std::fabs(nx) < 1e-9 && std::fabs(ny) < 1e-9 && std::fabs(nz) > 0;
    return nz < 0;
}

// One INSERT being drawn: its block, the entity reached and the map.
struct InsertFrame {
    const std::vector<Entity>* entities;
    std::size_t next;
    Affine map;
    std::string layer;
    int chain;  // index into the chain of blocks being inserted
};

class DxfReader {
public:
    DxfReader(std::string_view bytes, double tolerance, const ImportLimits& limits)
        : groups_(bytes), design_(limits.design()), builder_(&design_, tolerance)
    {
    }

    VectorDesign read()
    {
        Group g;
        bool entities_done = false;
        while (groups_.next(&g)) {
            if (g.code == 0 && g.value == "EOF") {
                break;
            }
            if (g.code == 0 && g.value == "SECTION" && groups_.next(&g) && g.code == 2) {
                entities_done |= section(g.value);
            }
        }
        if (!entities_done) {
            throw ImportFailure("the DXF has no complete ENTITIES section (cut short?)");
        }
        for (const auto& [type, count] : skipped_) {
            add_warning(&design_, std::to_string(count) + " " + type + " entit" +
                                      (count == 1 ? "y is" : "ies are") + " not cut");
        }
        return std::move(design_);
    }

private:
    // Reads a section; true for a complete ENTITIES section.
    bool section(std::string_view name)
    {
        Group g;
        if (name == "HEADER") {
            header();
        } else if (name == "BLOCKS") {
            blocks();
        } else if (name == "ENTITIES") {
            std::vector<Entity> list;
            const bool complete = entity_list(&list, "ENDSEC");
            draw_all(list);
            return complete;
        } else {
            while (groups_.next(&g) && !(g.code == 0 && g.value == "ENDSEC")) {
            }
        }
        return false;
    }

    void header()
    {
        Group g;
        while (groups_.next(&g) && !(g.code == 0 && g.value == "ENDSEC")) {
            if (g.code == 9 && g.value == "$INSUNITS" && groups_.next(&g) && g.code == 70) {
                const int u = int_value(number(g));
                if (u >= 0 && u <= 14) {
                    mm_per_unit_ = MM_PER_UNIT[u];
                } else {
                    add_warning(&design_, "drawing units " + std::to_string(u) +
                                              " are not known: taken as millimetres");
                }
            }
        }
    }

    // Reads entities up to the end marker; false when the file ends first.
    bool entity_list(std::vector<Entity>* list, std::string_view end)
    {
        Group g;
        while (groups_.next(&g)) {
            if (g.code != 0) {
                continue;
            }
            if (g.value == end) {
                return true;
            }
            if (g.value == "ENDSEC" || g.value == "EOF") {
                groups_.hold();
                return false;
            }
            Entity e{g.value, {}, groups_.line_number()};
            const bool polyline = g.value == "POLYLINE";
            while (groups_.next(&g)) {
                if (g.code == 0 && !(polyline && (g.value == "VERTEX" || g.value == "SEQEND"))) {
                    groups_.hold();
                    break;
                }
                e.groups.push_back(g);
            }
            list->push_back(std::move(e));
        }
        return false;
    }

    void blocks()
    {
        Group g;
        while (groups_.next(&g) && !(g.code == 0 && g.value == "ENDSEC")) {
            if (g.code != 0 || g.value != "BLOCK") {
                continue;
            }
            std::string name;
            Block block;
            while (groups_.next(&g) && g.code != 0) {
                if (g.code == 2) {
                    name = std::string(g.value);
                } else if (g.code == 10) {
                    block.base.x = number(g);
                } else if (g.code == 20) {
                    block.base.y = number(g);
                }
            }
            groups_.hold();
            entity_list(&block.entities, "ENDBLK");
            blocks_[name] = std::move(block);
        }
    }

    // Draws model space, expanding INSERTs with a stack of frames.
    void draw_all(const std::vector<Entity>& list)
    {
        const double pu = mm_per_unit_ * PU_PER_MM;
        stack_.push_back({&list, 0, affine_scale(pu, -pu), "0", -1});
        while (!stack_.empty()) {
            InsertFrame& f = stack_.back();
            if (f.next >= f.entities->size()) {
                stack_.pop_back();
                continue;
            }
            const Entity& e = (*f.entities)[f.next++];
            const InsertFrame frame = f;  // the stack may grow below
            count_element(&design_);
            if (value_of(e, 67, 0) != 0) {
                ++skipped_["paper space"];
                continue;
            }
            std::string layer(text_of(e, 8, "0"));
            if (layer == "0" && frame.chain >= 0) {
                layer = frame.layer;  // block entities on layer 0 take the INSERT's
            }
            draw_entity(e, frame, layer);
        }
    }

    void draw_entity(const Entity& e, const InsertFrame& f, const std::string& layer)
    {
        bool planar = true;
        const bool mirror = mirrored(e, &planar);
        if (!planar) {
            ++skipped_[std::string(e.type) + " (not in the drawing plane)"];
            return;
        }
        // The entity's own coordinates, mirrored for a -Z extrusion.
        const Affine map = mirror && e.type != "LINE" && e.type != "SPLINE" && e.type != "ELLIPSE"
                               ? f.map.after(affine_scale(-1, 1))
                               : f.map;
        builder_.set_source(design_.source_index(layer));
        const std::string_view t = e.type;
        if (t == "LINE") {
            builder_.move_to(map.apply({value_of(e, 10, 0), value_of(e, 20, 0)}));
            builder_.line_to(map.apply({value_of(e, 11, 0), value_of(e, 21, 0)}));
            builder_.finish();
        } else if (t == "CIRCLE" || t == "ARC") {
            arc(e, map, t == "CIRCLE");
        } else if (t == "ELLIPSE") {
            ellipse(e, map, mirror);
        } else if (t == "LWPOLYLINE") {
            lwpolyline(e, map);
        } else if (t == "POLYLINE") {
            polyline(e, map);
        } else if (t == "SPLINE") {
            spline(e, map);
        } else if (t == "INSERT") {
            insert(e, f, layer, mirror);
        } else {
            ++skipped_[std::string(t)];
        }
    }

    void arc(const Entity& e, const Affine& map, bool full)
    {
        const Vec2 c{value_of(e, 10, 0), value_of(e, 20, 0)};
        const double r = value_of(e, 40, 0);
        if (!(r > 0)) {
            return;
        }
        const double deg = std::numbers::pi / 180.0;
        double a0 = full ? 0 : value_of(e, 50, 0) * deg;
        double a1 = full ? 2 * std::numbers::pi : value_of(e, 51, 360) * deg;
        a0 = std::fmod(a0, 2 * std::numbers::pi);
        a1 = std::fmod(a1, 2 * std::numbers::pi);
        if (full || a1 <= a0) {
            a1 += 2 * std::numbers::pi;
        }
        builder_.move_to(map.apply({c.x + r * std::cos(a0), c.y + r * std::sin(a0)}));
        builder_.ellipse_arc(map, c, r, r, 0, a0, a1);
        if (full) {
            builder_.close();
        }
        builder_.finish();
    }

    void ellipse(const Entity& e, const Affine& map, bool mirror)
    {
        const Vec2 c{value_of(e, 10, 0), value_of(e, 20, 0)};
        const Vec2 major{value_of(e, 11, 0), value_of(e, 21, 0)};
        const double ratio = value_of(e, 40, 1);
        const double a = std::hypot(major.x, major.y);
        if (!(a > 0) || !(ratio > 0)) {
            return;
        }
        double t0 = value_of(e, 41, 0), t1 = value_of(e, 42, 2 * std::numbers::pi);
        while (t1 <= t0) {
            t1 += 2 * std::numbers::pi;
        }
        // The minor axis turns the major one a quarter about the extrusion;
        // a -Z extrusion runs the parameter the other way.
        const Affine frame =
            mirror ? Affine{major.x / a, major.y / a, major.y / a, -major.x / a, c.x, c.y}
                   : Affine{major.x / a, major.y / a, -major.y / a, major.x / a, c.x, c.y};
        const Affine m = map.after(frame);
        builder_.move_to(m.apply({a * std::cos(t0), a * ratio * std::sin(t0)}));
        builder_.ellipse_arc(m, {0, 0}, a, a * ratio, 0, t0, t1);
        builder_.finish();
    }

    // A straight or bulged segment to p (bulge = tan of a quarter of the
    // included angle, positive counter-clockwise).
    void bulge_to(Vec2 from, Vec2 to, double bulge, const Affine& map)
    {
        if (bulge == 0 || (from.x == to.x && from.y == to.y)) {
            builder_.line_to(map.apply(to));
            return;
        }
        const double theta = 4 * std::atan(bulge);
        const double chord = std::hypot(to.x - from.x, to.y - from.y);
        const double r = chord / (2 * std::sin(std::fabs(theta) / 2));
        const double mx = (from.x + to.x) / 2, my = (from.y + to.y) / 2;
        const double d = r * std::cos(theta / 2);  // centre's distance from the chord's middle
        const double ux = -(to.y - from.y) / chord, uy = (to.x - from.x) / chord;
        const double s = bulge > 0 ? 1 : -1;
        const Vec2 c{mx + s * ux * d, my + s * uy * d};
        const double a0 = std::atan2(from.y - c.y, from.x - c.x);
        builder_.ellipse_arc(map, c, r, r, 0, a0, a0 + theta);
    }

    // Vertices with bulges, as LWPOLYLINE and POLYLINE give them.
    void vertices(const std::vector<Vec2>& v, const std::vector<double>& bulge, bool closed,
                  const Affine& map)
    {
        if (v.size() < 2) {
            return;
        }
        builder_.move_to(map.apply(v[0]));
        for (std::size_t i = 1; i < v.size(); ++i) {
            bulge_to(v[i - 1], v[i], bulge[i - 1], map);
        }
        if (closed) {
            bulge_to(v.back(), v[0], bulge.back(), map);
            builder_.close();
        }
        builder_.finish();
    }

    void lwpolyline(const Entity& e, const Affine& map)
    {
        std::vector<Vec2> v;
        std::vector<double> bulge;
        for (const Group& g : e.groups) {
            if (g.code == 10) {
                v.push_back({number(g), 0});
                bulge.push_back(0);
            } else if (g.code == 20 && !v.empty()) {
                v.back().y = number(g);
            } else if (g.code == 42 && !v.empty()) {
                bulge.back() = number(g);
            }
        }
        vertices(v, bulge, (int_value(value_of(e, 70, 0)) & 1) != 0, map);
    }

    void polyline(const Entity& e, const Affine& map)
    {
        const int flags = int_value(value_of(e, 70, 0));
        if (flags & (16 | 64)) {
            ++skipped_["POLYLINE (mesh)"];
            return;
        }
        std::vector<Vec2> v;
        std::vector<double> bulge;
        int vertex_flags = 0;
        bool in_vertex = false;
        auto keep = [&] { return in_vertex && (vertex_flags & 16) == 0; };
        for (const Group& g : e.groups) {
            if (g.code == 0) {
                if (!keep() && in_vertex) {
                    v.pop_back(), bulge.pop_back();
                }
                in_vertex = g.value == "VERTEX";
                vertex_flags = 0;
                if (in_vertex) {
                    v.push_back({}), bulge.push_back(0);
                }
            } else if (in_vertex && g.code == 10) {
                v.back().x = number(g);
            } else if (in_vertex && g.code == 20) {
                v.back().y = number(g);
            } else if (in_vertex && g.code == 42) {
                bulge.back() = number(g);
            } else if (in_vertex && g.code == 70) {
                vertex_flags = int_value(number(g));
            }
        }
        if (in_vertex && !keep()) {
            v.pop_back(), bulge.pop_back();
        }
        vertices(v, bulge, (flags & 1) != 0, map);
    }

    void spline(const Entity& e, const Affine& map)
    {
        Nurbs c;
        c.degree = int_value(value_of(e, 71, 3));
        std::vector<Vec2> fit;
        Vec2 t0{}, t1{};
        for (const Group& g : e.groups) {
            switch (g.code) {
            case 40:
                c.knots.push_back(number(g));
                break;
            case 41:
                c.weights.push_back(number(g));
                break;
            case 11:
                fit.push_back({number(g), 0});
                break;
            case 21:
                if (!fit.empty()) {
                    fit.back().y = number(g);
                }
                break;
            case 12: // start tangent x, y (22); end tangent x (13), y (23)
            case 22:
            case 13:
            case 23: {
                Vec2& tangent = g.code % 10 == 2 ? t0 : t1;
                (g.code < 20 ? tangent.x : tangent.y) = number(g);
                break;
            }
            default:
                break;
            }
        }
        control_points(e, map, &c.control);
        if (c.weights.size() == c.control.size() &&
            std::all_of(c.weights.begin(), c.weights.end(), [](double w) { return w == 1; })) {
            c.weights.clear();
        }
        if (!c.control.empty() && draw_nurbs(c, &builder_)) {
            return;
        }
        if (fit.size() >= 2) {
            draw_fit_curve(fit, t0, t1, map, &builder_);
            return;
        }
        ++skipped_["SPLINE (without a valid curve)"];
    }

    // The control points (10, 20) mapped, in order.
    static void control_points(const Entity& e, const Affine& map, std::vector<Vec2>* out)
    {
        out->clear();
        for (const Group& g : e.groups) {
            if (g.code == 10) {
                out->push_back({number(g), 0});
            } else if (g.code == 20 && !out->empty()) {
                out->back().y = number(g);
            }
        }
        for (Vec2& p : *out) {
            p = map.apply(p);
        }
    }

    void insert(const Entity& e, const InsertFrame& f, const std::string& layer, bool mirror);

    GroupReader groups_;
    VectorDesign design_;
    PathBuilder builder_;
    double mm_per_unit_ = 1;
    std::unordered_map<std::string, Block> blocks_;
    std::vector<InsertFrame> stack_;
    std::vector<std::string> chain_;  // names of the blocks being inserted
    std::vector<int> chain_outer_;
    std::map<std::string, std::int64_t> skipped_;
};

// A block drawn at the insertion point with scale and rotation, once per
// cell of its array; a block that inserts itself is an error.
void DxfReader::insert(const Entity& e, const InsertFrame& f, const std::string& layer, bool mirror)
{
    const std::string name(text_of(e, 2, ""));
    const auto it = blocks_.find(name);
    if (it == blocks_.end()) {
        ++skipped_["INSERT of a missing block"];
        return;
    }
    int depth = 0;
    for (int k = f.chain; k >= 0; k = chain_outer_[static_cast<std::size_t>(k)], ++depth) {
        if (chain_[static_cast<std::size_t>(k)] == name) {
            throw ImportFailure("block \"" + name + "\" inserts itself (line " +
                                std::to_string(e.line) + ")");
        }
    }
    if (depth >= MAX_USE_DEPTH) {
        throw ImportFailure("blocks nested deeper than " + std::to_string(MAX_USE_DEPTH) +
                            " at block \"" + name + "\"");
    }
    const Block& block = it->second;
    chain_.push_back(name);
    chain_outer_.push_back(f.chain);
    const int chain = static_cast<int>(chain_.size() - 1);
    const double sx = value_of(e, 41, 1), sy = value_of(e, 42, 1);
    const auto cols = static_cast<int>(std::clamp(value_of(e, 70, 1), 1.0, 10000.0));
    const auto rows = static_cast<int>(std::clamp(value_of(e, 71, 1), 1.0, 10000.0));
    const double col_step = value_of(e, 44, 0), row_step = value_of(e, 45, 0);
    const Affine place = (mirror ? f.map.after(affine_scale(-1, 1)) : f.map)
                             .after(affine_translate(value_of(e, 10, 0), value_of(e, 20, 0)))
                             .after(affine_rotate(value_of(e, 50, 0)));
    // Cells are pushed last first, so that the first cell is drawn first.
    for (int r = rows - 1; r >= 0; --r) {
        for (int c = cols - 1; c >= 0; --c) {
            const Affine m = place.after(affine_translate(c * col_step, r * row_step))
                                 .after(affine_scale(sx, sy))
                                 .after(affine_translate(-block.base.x, -block.base.y));
            stack_.push_back({&block.entities, 0, m, layer, chain});
            count_element(&design_);
        }
    }
}

}  // namespace

VectorDesign read_dxf(std::string_view bytes, double tolerance_pu, const ImportLimits& limits)
{
    return DxfReader(bytes, tolerance_pu, limits).read();
}

}  // namespace design
