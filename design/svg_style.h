// The style properties that decide whether and with which pen an SVG shape
// is cut: fill, stroke, color, display and visibility, from presentation
// attributes, style sheets (tag, .class and #id rules) and style attributes.
#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "design/design_geometry.h"

namespace design {

// The inherited properties of one element.
struct SvgStyle {
    std::string fill = "black";  // SVG's initial fill
    std::string stroke = "none";
    std::string color = "black";
    bool visible = true;

    // The source of the shape's pen (its stroke's colour, else its fill's),
    // or null when it has neither stroke nor fill.
    const std::string* pen_source() const;

private:
    mutable std::string source_;
};

// The document's style sheets.
class SvgStyles {
public:
    // Reads every <style> element of the document.
    void load(const pugi::xml_document& doc, VectorDesign* design);

    // Applies the element's own properties over the inherited ones; false
    // when the element is not displayed (display: none).
    bool apply(const pugi::xml_node& node, SvgStyle* style) const;

private:
    using Declarations = std::vector<std::pair<std::string, std::string>>;
    struct Rule {
        int specificity;  // 0 tag or *, 1 class, 2 id
        int order;
        Declarations declarations;
    };

    void parse_sheet(const std::string& text, VectorDesign* design);
    void add_rule(const std::string& selector, const Declarations& d, VectorDesign* design);

    std::vector<Rule> rules_;
    std::unordered_map<std::string, std::vector<int>> by_tag_, by_class_, by_id_;
    std::vector<int> universal_;
};

// "prop: value; ..." as name-value pairs, names lower-cased, values trimmed.
std::vector<std::pair<std::string, std::string>> css_declarations(const std::string& text);

}  // namespace design
