#include "design/read/svg_style.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "design/read/colour.h"

namespace design {

namespace {

std::string trimmed(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) {
        ++b;
    }
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) {
        --e;
    }
    return s.substr(b, e - b);
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The text without /* comments */.
std::string without_comments(const std::string& text)
{
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = text.find("/*", pos);
        if (open == std::string::npos) {
            out.append(text, pos, std::string::npos);
            break;
        }
        out.append(text, pos, open - pos);
        const std::size_t close = text.find("*/", open + 2);
        pos = close == std::string::npos ? text.size() : close + 2;
    }
    return out;
}

// Skips a block from its opening brace, nested blocks included.
std::size_t skip_block(const std::string& text, std::size_t open)
{
    int depth = 0;
    for (std::size_t i = open; i < text.size(); ++i) {
        depth += text[i] == '{' ? 1 : text[i] == '}' ? -1 : 0;
        if (depth == 0) {
            return i + 1;
        }
    }
    return text.size();
}

}  // namespace

int SvgStyles::paint(const std::string& text)
{
    const std::string value = lower(text);
    const auto [it, added] = paint_index_.emplace(value, static_cast<int>(paints_.size()));
    if (added) {
        paints_.push_back(value);
    }
    return it->second;
}

// Sets one property; values other than these leave the style as it is.
void SvgStyles::set_property(const std::string& name, const std::string& value, SvgStyle* style,
                             bool* displayed)
{
    if (value == "inherit" || value.empty()) {
        return;
    }
    if (name == "fill") {
        style->fill = paint(value);
    } else if (name == "stroke") {
        style->stroke = paint(value);
    } else if (name == "color") {
        style->color = paint(value);
    } else if (name == "display") {
        *displayed = value != "none";
    } else if (name == "visibility") {
        style->visible = value == "visible";
    }
}

const std::string* SvgStyles::pen_source(const SvgStyle& style)
{
    const int none = 0;
    const int chosen = style.stroke != none ? style.stroke : style.fill != none ? style.fill : none;
    if (chosen == none) {
        return nullptr;
    }
    const std::string& value = paints_[static_cast<std::size_t>(chosen)];
    source_ = source_key(value == "currentcolor" ? paints_[static_cast<std::size_t>(style.color)]
                                                 : value);
    return &source_;
}

std::vector<std::pair<std::string, std::string>> css_declarations(const std::string& text)
{
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find(';', pos);
        end = end == std::string::npos ? text.size() : end;
        const std::string item = text.substr(pos, end - pos);
        const std::size_t colon = item.find(':');
        if (colon != std::string::npos) {
            std::string value = trimmed(item.substr(colon + 1));
            const std::size_t bang = value.find("!important");
            if (bang != std::string::npos) {
                value = trimmed(value.substr(0, bang));
            }
            out.emplace_back(lower(trimmed(item.substr(0, colon))), value);
        }
        pos = end + 1;
    }
    return out;
}

void SvgStyles::load(const pugi::xml_document& doc, VectorDesign* design)
{
    walk_nodes(doc.document_element(), [&](const pugi::xml_node& n) {
        const std::string_view name = n.name();
        if (name == "style" || name == "svg:style") {
            std::string text;
            for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
                text += c.value();
            }
            parse_sheet(text, design);
        }
    });
}

void SvgStyles::parse_sheet(const std::string& raw, VectorDesign* design)
{
    const std::string text = without_comments(raw);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = text.find('{', pos);
        if (open == std::string::npos) {
            break;
        }
        const std::string selectors = trimmed(text.substr(pos, open - pos));
        if (!selectors.empty() && selectors[0] == '@') {
            add_warning(design,
                        "style sheet at-rules (" + selectors.substr(0, 40) + ") are ignored");
            pos = skip_block(text, open);
            continue;
        }
        const std::size_t close = text.find('}', open);
        const std::size_t end = close == std::string::npos ? text.size() : close;
        const Declarations d = css_declarations(text.substr(open + 1, end - open - 1));
        std::size_t s = 0;
        while (s <= selectors.size()) {
            std::size_t comma = selectors.find(',', s);
            comma = comma == std::string::npos ? selectors.size() : comma;
            add_rule(trimmed(selectors.substr(s, comma - s)), d, design);
            s = comma + 1;
        }
        pos = end + 1;
    }
}

void SvgStyles::add_rule(const std::string& selector, const Declarations& d, VectorDesign* design)
{
    if (selector.empty()) {
        return;
    }
    if (selector.find_first_of(" >+~:[") != std::string::npos ||
        std::count(selector.begin(), selector.end(), '.') > 1) {
        add_warning(design, "style sheet selectors other than tag, .class, tag.class and #id "
                            "are ignored (such as \"" +
                                selector.substr(0, 40) + "\")");
        return;
    }
    const int index = static_cast<int>(rules_.size());
    const std::size_t dot = selector.find('.');
    if (selector[0] == '#') {
        rules_.push_back({2, index, d});
        by_id_[selector.substr(1)].push_back(index);
    } else if (dot != std::string::npos) {
        // "tag.class" is kept as a class rule that checks its tag.
        Declarations checked = d;
        if (dot > 0) {
            checked.insert(checked.begin(), {"\x01tag", lower(selector.substr(0, dot))});
        }
        rules_.push_back({1, index, checked});
        by_class_[selector.substr(dot + 1)].push_back(index);
    } else if (selector == "*") {
        rules_.push_back({0, index, d});
        universal_.push_back(index);
    } else {
        rules_.push_back({0, index, d});
        by_tag_[lower(selector)].push_back(index);
    }
}

bool SvgStyles::apply(const pugi::xml_node& node, SvgStyle* style)
{
    bool displayed = true;
    for (const char* name : {"fill", "stroke", "color", "display", "visibility"}) {
        if (const pugi::xml_attribute a = node.attribute(name)) {
            set_property(name, trimmed(a.value()), style, &displayed);
        }
    }
    if (!rules_.empty()) {
        apply_rules(node, style, &displayed);
    }
    if (const char* inline_style = node.attribute("style").value(); *inline_style != '\0') {
        for (const auto& [name, value] : css_declarations(inline_style)) {
            set_property(name, value, style, &displayed);
        }
    }
    return displayed;
}

// The style sheets' rules that match the element, least specific first.
void SvgStyles::apply_rules(const pugi::xml_node& node, SvgStyle* style, bool* displayed)
{
    std::string tag = lower(node.name());
    if (tag.rfind("svg:", 0) == 0) {
        tag.erase(0, 4);
    }
    std::vector<int> matched = universal_;
    auto add = [&](const auto& map, const std::string& key) {
        if (const auto it = map.find(key); it != map.end()) {
            matched.insert(matched.end(), it->second.begin(), it->second.end());
        }
    };
    add(by_tag_, tag);
    add(by_id_, node.attribute("id").value());
    const std::string classes = node.attribute("class").value();
    std::size_t pos = 0;
    while (pos < classes.size()) {
        const std::size_t start = classes.find_first_not_of(" \t\r\n", pos);
        if (start == std::string::npos) {
            break;
        }
        const std::size_t end = std::min(classes.find_first_of(" \t\r\n", start), classes.size());
        add(by_class_, classes.substr(start, end - start));
        pos = end;
    }
    std::sort(matched.begin(), matched.end(), [&](int a, int b) {
        const Rule &ra = rules_[static_cast<std::size_t>(a)],
                   &rb = rules_[static_cast<std::size_t>(b)];
        return ra.specificity != rb.specificity ? ra.specificity < rb.specificity
                                                : ra.order < rb.order;
    });
    for (int r : matched) {
        const Declarations& d = rules_[static_cast<std::size_t>(r)].declarations;
        if (!d.empty() && d[0].first == "\x01tag" && d[0].second != tag) {
            continue;
        }
        for (const auto& [name, value] : d) {
            set_property(name, value, style, displayed);
        }
    }
}

}  // namespace design
