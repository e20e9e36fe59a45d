// SVG documents: every displayed shape with a stroke or a fill, along its
// outline, through nested groups, transforms and use references, walked
// with a stack of its own so that no depth of nesting reaches the call
// stack.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <string>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "design/read/colour.h"
#include "design/read/design_readers.h"
#include "design/read/svg_parts.h"
#include "design/read/svg_style.h"

namespace design {

namespace {

// Plotter units per user unit (px, 96 per inch).
constexpr double PU_PER_PX = PU_PER_INCH / 96.0;
// Elements named in a warning of one kind; the rest are counted.
constexpr int NAMED_PER_WARNING = 5;

// An element's name without an "svg:" prefix; elements of other
// namespaces keep theirs and are never drawn.
std::string_view local_name(const pugi::xml_node& node)
{
    std::string_view name = node.name();
    if (name.rfind("svg:", 0) == 0) {
        name.remove_prefix(4);
    }
    return name;
}

bool in_list(std::string_view name, std::initializer_list<const char*> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

// A use's target (href or xlink:href, "#id").
std::string_view href_of(const pugi::xml_node& node)
{
    const char* h = node.attribute("href").value();
    if (*h == '\0') {
        h = node.attribute("xlink:href").value();
    }
    return *h == '#' ? std::string_view(h + 1) : std::string_view();
}

// One element waiting to be drawn, with what it inherits.
struct Frame {
    pugi::xml_node node;
    Affine map;
    SvgStyle style;
    int chain = -1;         // the innermost use being expanded (index into uses)
    double vw = 0, vh = 0;  // the viewport's size, for percentages
};

// A use being expanded: its target and the use around it.
struct UseLink {
    const void* target;
    int outer;
};

class SvgReader {
public:
    SvgReader(std::string_view bytes, double tolerance, const ImportLimits& limits)
        : bytes_(bytes), design_(limits.design()), builder_(&design_, tolerance)
    {
    }

    VectorDesign read()
    {
        const pugi::xml_parse_result parsed = doc_.load_buffer(
            bytes_.data(), bytes_.size(), pugi::parse_default, pugi::encoding_auto);
        if (!parsed) {
            throw ImportFailure(
                std::string("the SVG is not well-formed XML: ") + parsed.description() + " (line " +
                std::to_string(line_of(static_cast<std::size_t>(parsed.offset))) + ")");
        }
        const pugi::xml_node root = doc_.document_element();
        if (local_name(root) != "svg") {
            throw ImportFailure("an XML file whose root is <" + std::string(root.name()) +
                                ">, not <svg>");
        }
        index_ids(root);
        styles_.load(doc_, &design_);
        walk(root);
        report_named();
        return std::move(design_);
    }

private:
    std::size_t line_of(std::size_t offset) const
    {
        const std::string_view before = bytes_.substr(0, std::min(offset, bytes_.size()));
        return static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
    }

    // "<text id="a"> (line 12)".
    std::string describe(const pugi::xml_node& node) const
    {
        std::string out = "<" + std::string(node.name());
        if (const char* id = node.attribute("id").value(); *id != '\0') {
            out += " id=\"" + std::string(id) + "\"";
        }
        return out + "> (line " +
               std::to_string(line_of(static_cast<std::size_t>(node.offset_debug()))) + ")";
    }

    void note(const std::string& kind, const pugi::xml_node& node)
    {
        Named& n = named_[kind];
        if (n.count++ < NAMED_PER_WARNING) {
            n.names += (n.names.empty() ? "" : ", ") + describe(node);
        }
    }

    void report_named()
    {
        for (const auto& [kind, n] : named_) {
            std::string text = kind + ": " + n.names;
            if (n.count > NAMED_PER_WARNING) {
                text += " and " + std::to_string(n.count - NAMED_PER_WARNING) + " more";
            }
            add_warning(&design_, text);
        }
    }

    // Every element with an id, for use references.
    void index_ids(const pugi::xml_node& root)
    {
        walk_nodes(root, [&](const pugi::xml_node& n) {
            if (const char* id = n.attribute("id").value(); *id != '\0') {
                ids_.emplace(id, n);
            }
        });
    }

    // The map of a viewport of the given size onto a viewBox (with its
    // preserveAspectRatio), or the identity without a viewBox.
    static Affine viewbox_map(const pugi::xml_node& node, double width, double height)
    {
        const std::vector<double> vb = svg_numbers(node.attribute("viewBox").value());
        if (vb.size() != 4 || !(vb[2] > 0) || !(vb[3] > 0)) {
            return {};
        }
        double sx = width / vb[2], sy = height / vb[3];
        const std::string par = node.attribute("preserveAspectRatio").value();
        double ax = 0.5, ay = 0.5;
        if (par.find("none") != std::string::npos) {
            return Affine{sx, 0, 0, sy, -vb[0] * sx, -vb[1] * sy};
        }
        const double s =
            par.find("slice") != std::string::npos ? std::max(sx, sy) : std::min(sx, sy);
        ax = par.find("xMin") != std::string::npos   ? 0
             : par.find("xMax") != std::string::npos ? 1
                                                     : ax;
        ay = par.find("YMin") != std::string::npos   ? 0
             : par.find("YMax") != std::string::npos ? 1
                                                     : ay;
        return Affine{s,
                      0,
                      0,
                      s,
                      -vb[0] * s + (width - vb[2] * s) * ax,
                      -vb[1] * s + (height - vb[3] * s) * ay};
    }

    double length(const pugi::xml_node& node, const char* name, double reference,
                  double fallback = 0) const
    {
        double v = fallback;
        if (const pugi::xml_attribute a = node.attribute(name)) {
            if (!svg_length(a.value(), reference, &v)) {
                v = fallback;
            }
        }
        return v;
    }

    // The outermost svg: its width and height (in any unit) over its
    // viewBox, then user units to plotter units.
    void walk(const pugi::xml_node& root)
    {
        const std::vector<double> vb = svg_numbers(root.attribute("viewBox").value());
        const bool has_box = vb.size() == 4 && vb[2] > 0 && vb[3] > 0;
        const double w = length(root, "width", has_box ? vb[2] : 0, has_box ? vb[2] : 0);
        const double h = length(root, "height", has_box ? vb[3] : 0, has_box ? vb[3] : 0);
        Frame top;
        top.node = root;
        top.map = affine_scale(PU_PER_PX, PU_PER_PX).after(viewbox_map(root, w, h));
        top.vw = has_box ? vb[2] : w;
        top.vh = has_box ? vb[3] : h;
        stack_.push_back(top);
        while (!stack_.empty()) {
            Frame f = std::move(stack_.back());
            stack_.pop_back();
            visit(f);
        }
    }

    void push_children(const Frame& f)
    {
        const std::size_t mark = stack_.size();
        for (pugi::xml_node c = f.node.first_child(); c; c = c.next_sibling()) {
            if (c.type() == pugi::node_element) {
                Frame child = f;
                child.node = c;
                stack_.push_back(std::move(child));
            }
        }
        // The first child is drawn first.
        std::reverse(stack_.begin() + static_cast<std::ptrdiff_t>(mark), stack_.end());
    }

    void visit(Frame& f)
    {
        count_element(&design_);
        const std::string_view name = local_name(f.node);
        if (in_list(name,
                    {"defs", "clipPath", "mask", "symbol", "marker", "pattern", "style", "script",
                     "title", "desc", "metadata", "linearGradient", "radialGradient", "filter"})) {
            return;
        }
        if (name == "text") {
            note("text is not cut (convert it to paths)", f.node);
            return;
        }
        if (name == "image") {
            note("embedded images are not engraved", f.node);
            return;
        }
        if (!styles_.apply(f.node, &f.style)) {
            return;  // display: none
        }
        Affine local;
        if (const pugi::xml_attribute t = f.node.attribute("transform")) {
            if (!svg_transform(t.value(), &local)) {
                note("malformed transforms ignored", f.node);
            }
        }
        if (f.node.attribute("clip-path") &&
            std::strcmp(f.node.attribute("clip-path").value(), "none") != 0) {
            note("clip paths are ignored (the whole outline is cut)", f.node);
        }
        f.map = f.map.after(local);
        // The outermost svg's viewport is set up by walk().
        if (name == "g" || name == "a" || name == "switch" || f.node == doc_.document_element()) {
            push_children(f);
        } else if (name == "svg") {
            nested_viewport(f);
        } else if (name == "use") {
            use(f);
        } else if (in_list(name,
                           {"path", "rect", "circle", "ellipse", "line", "polyline", "polygon"})) {
            shape(f, name);
        }
    }

    // A nested svg: its own viewport at x, y with its viewBox.
    void nested_viewport(Frame& f)
    {
        const double x = length(f.node, "x", f.vw), y = length(f.node, "y", f.vh);
        const double w = length(f.node, "width", f.vw, f.vw);
        const double h = length(f.node, "height", f.vh, f.vh);
        f.map = f.map.after(affine_translate(x, y)).after(viewbox_map(f.node, w, h));
        push_children(f);
    }

    void use(Frame& f)
    {
        const auto it = ids_.find(std::string(href_of(f.node)));
        if (it == ids_.end()) {
            note("use elements whose target is missing are skipped", f.node);
            return;
        }
        const pugi::xml_node target = it->second;
        int depth = 0;
        for (int k = f.chain; k >= 0; k = uses_[static_cast<std::size_t>(k)].outer, ++depth) {
            if (uses_[static_cast<std::size_t>(k)].target == target.internal_object()) {
                note("use elements that show themselves are skipped", f.node);
                return;
            }
        }
        if (depth >= MAX_USE_DEPTH) {
            throw ImportFailure("use references nested deeper than " +
                                std::to_string(MAX_USE_DEPTH) + " at " + describe(f.node));
        }
        uses_.push_back({target.internal_object(), f.chain});
        Frame shown = f;
        shown.node = target;
        shown.chain = static_cast<int>(uses_.size() - 1);
        shown.map =
            f.map.after(affine_translate(length(f.node, "x", f.vw), length(f.node, "y", f.vh)));
        const std::string_view tname = local_name(target);
        if (tname == "symbol" || tname == "svg") {
            const double w = length(f.node, "width", f.vw, length(target, "width", f.vw, f.vw));
            const double h = length(f.node, "height", f.vh, length(target, "height", f.vh, f.vh));
            shown.map = shown.map.after(viewbox_map(target, w, h));
            styles_.apply(target, &shown.style);
            push_children(shown);
            return;
        }
        stack_.push_back(std::move(shown));
    }

    void shape(const Frame& f, std::string_view name)
    {
        const std::string* source = styles_.pen_source(f.style);
        if (source == nullptr || !f.style.visible) {
            return;
        }
        builder_.set_source(design_.source_index(*source));
        std::string error;
        if (name == "path") {
            svg_path_data(f.node.attribute("d").value(), f.map, &builder_, &error);
        } else if (name == "rect") {
            rect(f);
        } else if (name == "circle" || name == "ellipse") {
            ellipse(f, name == "circle");
        } else if (name == "line") {
            builder_.move_to(f.map.apply({length(f.node, "x1", f.vw), length(f.node, "y1", f.vh)}));
            builder_.line_to(f.map.apply({length(f.node, "x2", f.vw), length(f.node, "y2", f.vh)}));
            builder_.finish();
        } else {
            poly(f, name == "polygon");
        }
        if (!error.empty()) {
            note("path data with errors is drawn up to the error", f.node);
        }
    }

    void rect(const Frame& f)
    {
        const double x = length(f.node, "x", f.vw), y = length(f.node, "y", f.vh);
        const double w = length(f.node, "width", f.vw), h = length(f.node, "height", f.vh);
        if (!(w > 0) || !(h > 0)) {
            return;
        }
        const bool has_rx =
            f.node.attribute("rx") && std::strcmp(f.node.attribute("rx").value(), "auto") != 0;
        const bool has_ry =
            f.node.attribute("ry") && std::strcmp(f.node.attribute("ry").value(), "auto") != 0;
        double rx = length(f.node, "rx", f.vw), ry = length(f.node, "ry", f.vh);
        rx = has_rx ? rx : has_ry ? ry : 0;
        ry = has_ry ? ry : rx;
        rx = std::clamp(rx, 0.0, w / 2), ry = std::clamp(ry, 0.0, h / 2);
        const Affine& m = f.map;
        builder_.move_to(m.apply({x + rx, y}));
        builder_.line_to(m.apply({x + w - rx, y}));
        corner(m, {x + w - rx, y}, {x + w, y + ry}, rx, ry);
        builder_.line_to(m.apply({x + w, y + h - ry}));
        corner(m, {x + w, y + h - ry}, {x + w - rx, y + h}, rx, ry);
        builder_.line_to(m.apply({x + rx, y + h}));
        corner(m, {x + rx, y + h}, {x, y + h - ry}, rx, ry);
        builder_.line_to(m.apply({x, y + ry}));
        corner(m, {x, y + ry}, {x + rx, y}, rx, ry);
        builder_.close();
    }

    void corner(const Affine& m, Vec2 from, Vec2 to, double rx, double ry)
    {
        if (rx > 0 && ry > 0) {
            svg_arc(from, rx, ry, 0, false, true, to, m, &builder_);
        }
    }

    void ellipse(const Frame& f, bool circle)
    {
        const double cx = length(f.node, "cx", f.vw), cy = length(f.node, "cy", f.vh);
        const double diag = std::hypot(f.vw, f.vh) / std::numbers::sqrt2;
        const double rx = circle ? length(f.node, "r", diag) : length(f.node, "rx", f.vw);
        const double ry = circle ? rx : length(f.node, "ry", f.vh);
        if (!(rx > 0) || !(ry > 0)) {
            return;
        }
        builder_.move_to(f.map.apply({cx + rx, cy}));
        builder_.ellipse_arc(f.map, {cx, cy}, rx, ry, 0, 0, 2 * std::numbers::pi);
        builder_.close();
    }

    void poly(const Frame& f, bool closed)
    {
        const std::vector<double> v = svg_numbers(f.node.attribute("points").value());
        if (v.size() < 4) {
            return;
        }
        builder_.move_to(f.map.apply({v[0], v[1]}));
        for (std::size_t i = 2; i + 1 < v.size(); i += 2) {
            builder_.line_to(f.map.apply({v[i], v[i + 1]}));
        }
        if (closed) {
            builder_.close();
        }
        builder_.finish();
    }

    struct Named {
        std::int64_t count = 0;
        std::string names;
    };

    std::string_view bytes_;
    pugi::xml_document doc_;
    VectorDesign design_;
    PathBuilder builder_;
    SvgStyles styles_;
    std::unordered_map<std::string, pugi::xml_node> ids_;
    std::vector<Frame> stack_;
    std::vector<UseLink> uses_;
    std::map<std::string, Named> named_;
};

}  // namespace

VectorDesign read_svg(std::string_view bytes, double tolerance_pu, const ImportLimits& limits)
{
    return SvgReader(bytes, tolerance_pu, limits).read();
}

}  // namespace design
