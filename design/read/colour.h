// Colours as pens see them, and the names that choose a pen.
#pragma once

#include <string>
#include <string_view>

namespace design {

// Reads a CSS colour ("#f00", "#ff0000", "rgb(255,0,0)", "rgb(100%,0%,0%)",
// a colour keyword) as "#rrggbb"; false when the text is none of these.
bool parse_colour(std::string_view text, std::string* hex);

// The form in which a pen's source is compared: a colour as "#rrggbb",
// anything else (a layer, a plot pen) as it stands, lower-cased.
std::string source_key(std::string_view source);

}  // namespace design
