// Import settings from JSON and from the text form of the command line and
// of a query, and their checks.
#include <cmath>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "design/read/design_geometry.h"
#include "design/design_import.h"
#include "design/read/design_readers.h"

namespace {

using json = nlohmann::json;

// A setting that cannot be taken, with the reason.
struct BadSetting {
    std::string message;
};

[[noreturn]] void bad(const std::string& name, const std::string& why)
{
    throw BadSetting{"setting \"" + name + "\": " + why};
}

double number_of(const std::string& name, std::string_view text)
{
    const std::string s(text);
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(v)) {
        bad(name, "\"" + s + "\" is not a number");
    }
    return v;
}

int integer_of(const std::string& name, std::string_view text)
{
    const double v = number_of(name, text);
    if (v != std::floor(v) || std::fabs(v) > 1e9) {
        bad(name, "\"" + std::string(text) + "\" is not a whole number");
    }
    return static_cast<int>(v);
}

bool bool_of(const std::string& name, std::string_view text)
{
    if (text == "true" || text == "1" || text == "yes" || text == "on" || text.empty()) {
        return true;
    }
    if (text == "false" || text == "0" || text == "no" || text == "off") {
        return false;
    }
    bad(name, "\"" + std::string(text) + "\" is neither true nor false");
}

// "KEY=VALUE" split at its last '=' (a colour or layer may hold one).
std::pair<std::string, std::string> key_value(const std::string& name, std::string_view text)
{
    const std::size_t eq = text.rfind('=');
    if (eq == std::string_view::npos || eq == 0) {
        bad(name, "\"" + std::string(text) + "\" is not KEY=VALUE");
    }
    return {std::string(text.substr(0, eq)), std::string(text.substr(eq + 1))};
}

int pen_of(const std::string& name, std::string_view text)
{
    const int pen = integer_of(name, text);
    if (pen < 1 || pen > design::PEN_COUNT) {
        bad(name, "pen " + std::string(text) + " is not one of the pens 1 to 16");
    }
    return pen;
}

CutOrder order_of(const std::string& name, std::string_view text)
{
    if (text == "document") {
        return CutOrder::document;
    }
    if (text == "travel") {
        return CutOrder::travel;
    }
    if (text == "inside") {
        return CutOrder::inside;
    }
    bad(name, "\"" + std::string(text) + "\" is none of document, travel, inside");
}

// A pen's KEY=VALUE: the pen, and the value's text.
std::pair<int, std::string> pen_value(const std::string& name, std::string_view text)
{
    const auto [pen, value] = key_value(name, text);
    return {pen_of(name, pen), value};
}

// Sets one setting from its text; throws BadSetting.
using Setter = void (*)(DesignSettings* s, const std::string& name, std::string_view value);

// Setters of a field that takes a number, a whole number or true or false.
template <auto Field>
void set_number(DesignSettings* s, const std::string& name, std::string_view value)
{
    s->*Field = number_of(name, value);
}
template <auto Field>
void set_integer(DesignSettings* s, const std::string& name, std::string_view value)
{
    s->*Field = integer_of(name, value);
}
template <auto Field>
void set_bool(DesignSettings* s, const std::string& name, std::string_view value)
{
    s->*Field = bool_of(name, value);
}

// The setter of a pen's value in one of the maps by pen, read with of.
template <auto Field, auto of>
void set_per_pen(DesignSettings* s, const std::string& name, std::string_view value)
{
    const auto [pen, v] = pen_value(name, value);
    (s->*Field)[pen] = of(name, v);
}

// The format forced, by its name or a file extension.
void set_format(DesignSettings* s, const std::string& name, std::string_view value)
{
    if (!design_format_from_name(value, &s->format)) {
        bad(name, "\"" + std::string(value) + "\" is none of svg, dxf, hpgl, png, jpeg");
    }
}

// COLOUR=N: the pen of a colour, layer or plot pen.
void set_pen(DesignSettings* s, const std::string& name, std::string_view value)
{
    const auto [key, pen] = key_value(name, value);
    s->pen_of.emplace_back(key, pen_of(name, pen));
}

// X,Y: the design's top-left corner on the table, mm.
void set_at(DesignSettings* s, const std::string& name, std::string_view value)
{
    const std::size_t comma = value.find(',');
    if (comma == std::string_view::npos) {
        bad(name, "\"" + std::string(value) + "\" is not X,Y in millimetres");
    }
    s->at_x_mm = number_of(name, value.substr(0, comma));
    s->at_y_mm = number_of(name, value.substr(comma + 1));
    s->at_set = true;
}

// The order subpaths are cut in.
void set_order(DesignSettings* s, const std::string& name, std::string_view value)
{
    s->order = order_of(name, value);
}

// Each setting by its name (the JSON's, the query's, the command line's
// without "--" and with '_' for '-').
const std::pair<const char*, Setter> setters[] = {
    {"format", set_format},
    {"tolerance", set_number<&DesignSettings::tolerance_mm>},
    {"order", set_order},
    {"pen", set_pen},
    {"speed", set_per_pen<&DesignSettings::speed_mm_s, number_of>},
    {"speed_code", set_per_pen<&DesignSettings::speed_code, integer_of>},
    {"passes", set_per_pen<&DesignSettings::passes, integer_of>},
    {"raster_speed", set_number<&DesignSettings::raster_speed_mm_s>},
    {"raster_speed_code", set_integer<&DesignSettings::raster_speed_code>},
    {"one_way", set_bool<&DesignSettings::one_way>},
    {"at", set_at},
    {"lpi", set_integer<&DesignSettings::lpi>},
    {"lpi_round", set_bool<&DesignSettings::lpi_round>},
    {"dpi", set_integer<&DesignSettings::dpi>},
    {"image_dpi", set_number<&DesignSettings::image_dpi>},
    {"keep_blank", set_bool<&DesignSettings::keep_blank>},
};

// The setter of a name ("pens" is "pen"), or null.
Setter setter_of(std::string_view name)
{
    if (name == "pens") {
        name = "pen";
    }
    for (const auto& [known, set] : setters) {
        if (name == known) {
            return set;
        }
    }
    return nullptr;
}

// Sets the named setting from its text; throws BadSetting.
void set_one(DesignSettings* s, const std::string& name, std::string_view value)
{
    const Setter set = setter_of(name);
    if (set == nullptr) {
        bad(name, "no such setting");
    }
    set(s, name, value);
}

// A JSON value as the text form takes it.
std::string text_of(const json& v)
{
    if (v.is_string()) {
        return v.get<std::string>();
    }
    if (v.is_boolean()) {
        return v.get<bool>() ? "true" : "false";
    }
    if (v.is_number()) {
        return v.dump();
    }
    throw BadSetting{"a setting's value is neither a number, a text nor true or false"};
}

// One JSON member: maps ("pens", "speed", ...) give one KEY=VALUE per
// member, "at" an [x, y] array or "x,y".
void set_json_member(DesignSettings* s, const std::string& name, const json& v)
{
    if (v.is_object()) {
        if (name != "pens" && name != "pen" && name != "speed" && name != "speed_code" &&
            name != "passes") {
            bad(name, "takes no object");
        }
        for (const auto& [key, value] : v.items()) {
            set_one(s, name, key + "=" + text_of(value));
        }
    } else if (name == "at" && v.is_array()) {
        if (v.size() != 2 || !v[0].is_number() || !v[1].is_number()) {
            bad(name, "is not [x, y] in millimetres");
        }
        set_one(s, name, text_of(v[0]) + "," + text_of(v[1]));
    } else if (v.is_null()) {
        // null leaves the default.
    } else {
        set_one(s, name, text_of(v));
    }
}

void check_ranges(const DesignSettings& s)
{
    if (!(s.tolerance_mm >= 0.001 && s.tolerance_mm <= 10)) {
        bad("tolerance", "must lie between 0.001 and 10 mm");
    }
    for (const auto& [pen, mm_s] : s.speed_mm_s) {
        if (!(mm_s >= 0.5 && mm_s <= 1016)) {
            bad("speed", "pen " + std::to_string(pen) + ": the machine cuts at 0.5 to 1016 mm/s");
        }
    }
    for (const auto& [pen, code] : s.speed_code) {
        if (code < 1 || code > 1000) {
            bad("speed_code", "pen " + std::to_string(pen) + ": codes run from 1 to 1000");
        }
    }
    for (const auto& [pen, passes] : s.passes) {
        if (passes < 1 || passes > design::MAX_PASSES) {
            bad("passes", "pen " + std::to_string(pen) + ": 1 to 100 passes");
        }
    }
    if (s.raster_speed_mm_s != 0 &&
        !(s.raster_speed_mm_s >= 2.032 && s.raster_speed_mm_s <= 2032)) {
        bad("raster_speed", "the machine engraves at 2.032 to 2032 mm/s");
    }
    if (s.raster_speed_code < 1 || s.raster_speed_code > 1000) {
        bad("raster_speed_code", "codes run from 1 to 1000");
    }
    if (!(s.at_x_mm >= 0 && s.at_x_mm <= 640 && s.at_y_mm >= 0 && s.at_y_mm <= 460)) {
        bad("at", "the table runs from 0,0 to 640,460 mm");
    }
    if (s.lpi < 1 || s.lpi > 3048) {
        bad("lpi", "lines per inch run from 1 to 3048");
    }
    if (s.dpi < 1 || s.dpi > 3048) {
        bad("dpi", "dots per inch run from 1 to 3048");
    }
    if (s.image_dpi != 0 && !(s.image_dpi >= 1 && s.image_dpi <= 100000)) {
        bad("image_dpi", "pixels per inch run from 1 to 100000");
    }
}

}  // namespace

bool design_setting_known(std::string_view name)
{
    return setter_of(name) != nullptr;
}

bool design_setting_set(DesignSettings* settings, std::string_view name, std::string_view value,
                        std::string* error)
{
    try {
        DesignSettings s = *settings;
        set_one(&s, std::string(name), value);
        *settings = std::move(s);
        return true;
    } catch (const BadSetting& b) {
        *error = b.message;
        return false;
    }
}

bool design_settings_from_json(std::string_view json_text, DesignSettings* settings,
                               std::string* error)
{
    const json doc = json::parse(json_text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        *error = "the settings are not a JSON object";
        return false;
    }
    try {
        DesignSettings s = *settings;
        for (const auto& [name, value] : doc.items()) {
            set_json_member(&s, name, value);
        }
        *settings = std::move(s);
        return true;
    } catch (const BadSetting& b) {
        *error = b.message;
        return false;
    }
}

bool design_settings_check(const DesignSettings& settings, std::string* error)
{
    try {
        check_ranges(settings);
        return true;
    } catch (const BadSetting& b) {
        *error = b.message;
        return false;
    }
}
