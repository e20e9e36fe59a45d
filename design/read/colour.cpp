#include "design/read/colour.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace design {

namespace {

struct NamedColour {
    const char* name;
    unsigned rgb;
};

// The colour keywords that drawing programs write; any other keyword is
// kept as its own name, which still makes it a pen of its own.
const NamedColour named_colours[] = {
    {"black", 0x000000},     {"white", 0xffffff},     {"red", 0xff0000},
    {"lime", 0x00ff00},      {"green", 0x008000},     {"blue", 0x0000ff},
    {"yellow", 0xffff00},    {"cyan", 0x00ffff},      {"aqua", 0x00ffff},
    {"magenta", 0xff00ff},   {"fuchsia", 0xff00ff},   {"silver", 0xc0c0c0},
    {"gray", 0x808080},      {"grey", 0x808080},      {"maroon", 0x800000},
    {"olive", 0x808000},     {"purple", 0x800080},    {"teal", 0x008080},
    {"navy", 0x000080},      {"orange", 0xffa500},    {"brown", 0xa52a2a},
    {"pink", 0xffc0cb},      {"gold", 0xffd700},      {"violet", 0xee82ee},
    {"darkgray", 0xa9a9a9},  {"darkgrey", 0xa9a9a9},  {"lightgray", 0xd3d3d3},
    {"lightgrey", 0xd3d3d3}, {"darkred", 0x8b0000},   {"darkgreen", 0x006400},
    {"darkblue", 0x00008b},  {"orangered", 0xff4500},
};

std::string lower_trimmed(std::string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) {
        ++b;
    }
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) {
        --e;
    }
    std::string out(text.substr(b, e - b));
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string hex_of(unsigned rgb)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%06x", rgb & 0xffffffu);
    return buf;
}

bool all_hex(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isxdigit(c); });
}

// "rgb(r, g, b)" with numbers 0..255 or percentages.
bool parse_rgb_function(const std::string& t, unsigned* rgb)
{
    const std::size_t open = t.find('(');
    const std::size_t close = t.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return false;
    }
    std::string body = t.substr(open + 1, close - open - 1);
    std::replace(body.begin(), body.end(), ',', ' ');
    const char* p = body.c_str();
    unsigned out = 0;
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        double v = std::strtod(p, &end);
        if (end == p || !std::isfinite(v)) {
            return false;
        }
        if (*end == '%') {
            v = v * 255.0 / 100.0;
            ++end;
        }
        out = (out << 8) | static_cast<unsigned>(std::clamp(std::lround(v), 0L, 255L));
        p = end;
    }
    *rgb = out;
    return true;
}

}  // namespace

bool parse_colour(std::string_view text, std::string* hex)
{
    const std::string t = lower_trimmed(text);
    if (t.size() == 7 && t[0] == '#' && all_hex(t.substr(1))) {
        *hex = t;
        return true;
    }
    if (t.size() == 4 && t[0] == '#' && all_hex(t.substr(1))) {
        *hex = {'#', t[1], t[1], t[2], t[2], t[3], t[3]};
        return true;
    }
    unsigned rgb = 0;
    if ((t.rfind("rgb(", 0) == 0 || t.rfind("rgba(", 0) == 0) && parse_rgb_function(t, &rgb)) {
        *hex = hex_of(rgb);
        return true;
    }
    for (const NamedColour& c : named_colours) {
        if (t == c.name) {
            *hex = hex_of(c.rgb);
            return true;
        }
    }
    return false;
}

std::string source_key(std::string_view source)
{
    std::string hex;
    if (parse_colour(source, &hex)) {
        return hex;
    }
    return lower_trimmed(source);
}

}  // namespace design
