// A small well-formedness check for the documents the report writes: every
// character allowed in XML, entities known, tags nested and closed,
// attribute values quoted. Enough to tell whether a browser will draw it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/shown_text.h"

namespace xml_check {

// True when each character of the text is one XML allows (tab, line
// breaks and every printable character, as well-formed UTF-8).
inline bool characters_allowed(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const char c = text[at];
        if (c == '\t' || c == '\n' || c == '\r') {
            ++at;
            continue;
        }
        const std::size_t n = shown::printable_sequence(text, at);
        if (n == 0) {
            return false;
        }
        at += n;
    }
    return true;
}

// True when every & starts one of XML's own entities or a character reference.
inline bool entities_known(std::string_view text)
{
    for (std::size_t at = text.find('&'); at != std::string_view::npos;
         at = text.find('&', at + 1)) {
        const std::size_t end = text.find(';', at);
        if (end == std::string_view::npos) {
            return false;
        }
        const std::string_view name = text.substr(at + 1, end - at - 1);
        if (name != "amp" && name != "lt" && name != "gt" && name != "quot" && name != "apos" &&
            name.rfind("#", 0) != 0) {
            return false;
        }
    }
    return true;
}

// True when the document is well-formed in the ways above.
inline bool well_formed(std::string_view doc)
{
    if (!characters_allowed(doc) || !entities_known(doc)) {
        return false;
    }
    std::vector<std::string> open;
    std::size_t at = 0;
    while ((at = doc.find('<', at)) != std::string_view::npos) {
        if (doc.substr(at, 4) == "<!--") {
            at = doc.find("-->", at);
            if (at == std::string_view::npos) {
                return false;
            }
            continue;
        }
        // The tag's end: the first > outside a quoted attribute value.
        std::size_t end = at + 1;
        char quote = 0;
        for (; end < doc.size() && (quote != 0 || doc[end] != '>'); ++end) {
            if (doc[end] == '<' && quote == 0) {
                return false;
            }
            if (doc[end] == '"' || doc[end] == '\'') {
                quote = quote == 0 ? doc[end] : (quote == doc[end] ? 0 : quote);
            } else if (doc[end] == '<') {
                return false;  // < inside an attribute value
            }
        }
        if (end >= doc.size()) {
            return false;
        }
        const std::string_view tag = doc.substr(at + 1, end - at - 1);
        at = end + 1;
        if (tag.empty() || tag[0] == '?' || tag.back() == '/') {
            continue;
        }
        const bool closing = tag[0] == '/';
        const std::string_view rest = tag.substr(closing ? 1 : 0);
        const std::string name(rest.substr(0, rest.find_first_of(" \t\r\n")));
        if (!closing) {
            open.push_back(name);
        } else if (open.empty() || open.back() != name) {
            return false;
        } else {
            open.pop_back();
        }
    }
    return open.empty();
}

} // namespace xml_check
