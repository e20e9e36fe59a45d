// The summary of an imported design as JSON and as console lines.
#include <cmath>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "design/design_import.h"

namespace {

using json = nlohmann::ordered_json;

// A length or speed to a thousandth.
double rounded(double value)
{
    return std::round(value * 1000.0) / 1000.0;
}

const char* order_name(CutOrder order)
{
    return order == CutOrder::travel   ? "travel"
           : order == CutOrder::inside ? "inside"
                                       : "document";
}

bool is_picture(const DesignSummary& s)
{
    return s.format == DesignFormat::png || s.format == DesignFormat::jpeg;
}

json pen_json(const DesignPen& p)
{
    json j = {{"pen", p.pen},
              {"sources", p.sources},
              {"speed_code", p.speed_code},
              {"speed_mm_s", rounded(p.speed_mm_s)}};
    j["asked_mm_s"] = p.asked_mm_s > 0 ? json(rounded(p.asked_mm_s)) : json(nullptr);
    j["passes"] = p.passes;
    j["subpaths"] = p.subpaths;
    j["cut_mm_per_pass"] = rounded(p.cut_mm_per_pass);
    return j;
}

json image_json(const DesignImage& i)
{
    return {{"x_mm", rounded(i.x_mm)},
            {"y_mm", rounded(i.y_mm)},
            {"width_mm", rounded(i.width_mm)},
            {"height_mm", rounded(i.height_mm)},
            {"dots", i.dots},
            {"lines", i.lines}};
}

std::string line(const char* format, double a, double b = 0, double c = 0, double d = 0)
{
    char text[200];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

}  // namespace

std::string design_summary_json(const DesignSummary& s)
{
    json j = {{"design", s.name}, {"format", design_format_name(s.format)}};
    j["x_mm"] = rounded(s.x_mm);
    j["y_mm"] = rounded(s.y_mm);
    j["width_mm"] = rounded(s.width_mm);
    j["height_mm"] = rounded(s.height_mm);
    if (is_picture(s)) {
        j["picture"] = {{"width_px", s.picture_width_px},
                        {"height_px", s.picture_height_px},
                        {"dpi_x", rounded(s.picture_dpi_x)},
                        {"dpi_y", rounded(s.picture_dpi_y)}};
        j["lpi"] = s.lpi;
        j["dpi"] = s.dpi;
        j["raster_speed_code"] = s.raster_speed_code;
        j["raster_speed_mm_s"] = rounded(s.raster_speed_mm_s);
        j["one_way"] = s.one_way;
        j["lines"] = s.lines;
        j["images"] = json::array();
        for (const DesignImage& i : s.images) {
            j["images"].push_back(image_json(i));
        }
    } else {
        j["cut_mm"] = rounded(s.cut_mm);
        j["travel_mm"] = rounded(s.travel_mm);
        j["order"] = order_name(s.order);
        j["travel_document_mm"] = rounded(s.travel_document_mm);
        j["travel_saved_mm"] = rounded(s.travel_document_mm - s.travel_mm);
        j["subpaths"] = s.subpaths;
        j["moves"] = s.moves;
        j["pens"] = json::array();
        for (const DesignPen& p : s.pens) {
            j["pens"].push_back(pen_json(p));
        }
    }
    j["warnings"] = s.warnings;
    return j.dump(2, ' ', false, json::error_handler_t::replace);
}

// The pens' lines: speed, code, passes and length per pass.
static std::string pens_text(const DesignSummary& s)
{
    std::string out;
    for (const DesignPen& p : s.pens) {
        std::string sources;
        for (const std::string& src : p.sources) {
            sources += (sources.empty() ? "" : ", ") + src;
        }
        out += line("  pen %.0f: %.1f mm/s (code %.0f)", p.pen, p.speed_mm_s, p.speed_code);
        if (p.asked_mm_s > 0) {
            out += line(", asked %.1f mm/s", p.asked_mm_s);
        }
        out += ", " + std::to_string(p.passes) + (p.passes == 1 ? " pass" : " passes");
        out += line(" of %.1f mm", p.cut_mm_per_pass) + ", " + std::to_string(p.subpaths) +
               (p.subpaths == 1 ? " subpath; " : " subpaths; ") + sources + "\n";
    }
    return out;
}

std::string design_summary_text(const DesignSummary& s)
{
    std::string out = (s.name.empty() ? std::string("design") : s.name) + " (" +
                      design_format_name(s.format) + ")\n";
    out += line("size on the table: %.2f x %.2f mm at %.2f,%.2f mm\n", s.width_mm, s.height_mm,
                s.x_mm, s.y_mm);
    if (is_picture(s)) {
        out += line("picture: %.0f x %.0f pixels at %.1f x %.1f pixels per inch\n",
                    s.picture_width_px, s.picture_height_px, s.picture_dpi_x, s.picture_dpi_y);
        out += line("raster: %.0f lines per inch, %.0f dots per inch, speed %.1f mm/s", s.lpi,
                    s.dpi, s.raster_speed_mm_s);
        out += line(" (code %.0f), ", s.raster_speed_code) +
               (s.one_way ? "one way\n" : "both directions\n");
        out += std::to_string(s.images.size()) + " image" + (s.images.size() == 1 ? "" : "s") +
               ", " + std::to_string(s.lines) + " lines\n";
        for (const DesignImage& i : s.images) {
            out +=
                line("  %.2f x %.2f mm at %.2f,%.2f mm", i.width_mm, i.height_mm, i.x_mm, i.y_mm) +
                ", " + std::to_string(i.lines) + " lines\n";
        }
    } else {
        out += line("cut: %.1f mm, travel: %.1f mm", s.cut_mm, s.travel_mm);
        out += std::string(", order: ") + order_name(s.order);
        // Inner contours first may cost travel rather than save it.
        const double saved = s.travel_document_mm - s.travel_mm;
        if (s.order != CutOrder::document) {
            out += saved >= 0 ? line(" (%.1f mm less travel than document order)", saved)
                              : line(" (%.1f mm more travel than document order)", -saved);
        }
        out += "\n" + std::to_string(s.subpaths) +
               (s.subpaths == 1 ? " subpath, " : " subpaths, ") + std::to_string(s.moves) +
               (s.moves == 1 ? " cutting move\n" : " cutting moves\n");
        out += pens_text(s);
    }
    for (const std::string& w : s.warnings) {
        out += "warning: " + w + "\n";
    }
    return out;
}
