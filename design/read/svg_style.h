// The style properties that decide whether and with which pen an SVG shape
// is cut: fill, stroke, color, display and visibility, from presentation
// attributes, style sheets (tag, .class and #id rules) and style attributes.
#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "design/read/design_geometry.h"

namespace design {

// The inherited properties of one element; paints are indices into the
// paints the document names (SvgStyles::paint), so that a style is copied
// cheaply down any depth of nesting.
struct SvgStyle {
    int fill = 1;    // "black", SVG's initial fill
    int stroke = 0;  // "none"
    int color = 1;   // "black"
    bool visible = true;
};

// The document's style sheets.
class SvgStyles {
public:
    // Reads every <style> element of the document.
    void load(const pugi::xml_document& doc, VectorDesign* design);

    // Applies the element's own properties over the inherited ones; false
    // when the element is not displayed (display: none).
    bool apply(const pugi::xml_node& node, SvgStyle* style);

    // The source of the shape's pen (its stroke's colour, else its fill's),
    // or null when it has neither stroke nor fill.
    const std::string* pen_source(const SvgStyle& style);

private:
    using Declarations = std::vector<std::pair<std::string, std::string>>;
    struct Rule {
        int specificity;  // 0 tag or *, 1 class, 2 id
        int order;
        Declarations declarations;
    };

    int paint(const std::string& value);
    void set_property(const std::string& name, const std::string& value, SvgStyle* style,
                      bool* displayed);
    void apply_rules(const pugi::xml_node& node, SvgStyle* style, bool* displayed);
    void parse_sheet(const std::string& text, VectorDesign* design);
    void add_rule(const std::string& selector, const Declarations& d, VectorDesign* design);

    std::vector<Rule> rules_;
    std::unordered_map<std::string, std::vector<int>> by_tag_, by_class_, by_id_;
    std::vector<int> universal_;
    std::vector<std::string> paints_{"none", "black"};
    std::unordered_map<std::string, int> paint_index_{{"none", 0}, {"black", 1}};
    std::string source_;
};

// Calls visit on every node below root (root included), in document order,
// without recursion: a document nests as deep as it likes.
template <typename Visit> void walk_nodes(const pugi::xml_node& root, Visit&& visit)
{
    pugi::xml_node n = root;
    while (n) {
        visit(n);
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && n != root && !n.next_sibling()) {
            n = n.parent();
        }
        n = n == root ? pugi::xml_node() : n.next_sibling();
    }
}

// "prop: value; ..." as name-value pairs, names lower-cased, values trimmed.
std::vector<std::pair<std::string, std::string>> css_declarations(const std::string& text);

}  // namespace design
