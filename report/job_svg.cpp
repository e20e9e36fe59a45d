#include "report/job_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/shown_text.h"
#include "fwShare/resolution.h"
#include "replay/tick_account.h"
#include "report/report_text.h"

namespace {

constexpr double plotbed_per_mm = machine_plotbed_dpi / 25.4;
constexpr double margin = 24.0;       // px around the drawing
constexpr double title_height = 40.0; // px above it
constexpr double table_width = 760.0; // px the table's extent is drawn in
constexpr double bar_width = 44.0;    // px of the time bar
constexpr double legend_width = 330.0;
constexpr double legend_row = 18.0;
constexpr std::size_t legend_rows_max = 40;

// The colour of an activity: pens from one palette, images from another
// (line steps a darker shade of their image's passes).
std::string activity_colour(const ActivityTicks& a)
{
    static const char* const pens[17] = {
        "#000000", "#e6194b", "#3cb44b", "#4363d8", "#f58231", "#911eb4", "#42d4f4",
        "#f032e6", "#9a6324", "#469990", "#800000", "#808000", "#000075", "#bfef45",
        "#dcbeff", "#aaffc3", "#ffd8b1"};
    static const char* const passes[6] = {"#ffb000", "#00a0a0", "#c05090",
                                          "#6070ff", "#80b000", "#ff6040"};
    static const char* const steps[6] = {"#a06e00", "#006464", "#7a2f5a",
                                         "#2f3ca0", "#4e6b00", "#a83218"};
    const auto image = static_cast<std::size_t>(a.index > 0 ? (a.index - 1) % 6 : 0);
    switch (a.kind) {
    case WORK_CUT:
        return pens[a.index >= 0 && a.index <= 16 ? a.index : 0];
    case WORK_TRAVEL:
        return "#8a8a8a";
    case WORK_RASTER_PASS:
        return passes[image];
    case WORK_RASTER_LINE_STEP:
        return steps[image];
    case WORK_RASTER_CARRIAGE:
        return "#b5651d";
    default:
        return "#404040";
    }
}

// Text as XML: any bytes give a well-formed document.
std::string xml_text(const std::string& text)
{
    return shown::xml(text);
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// Plot-bed units to pixels: the extent of the table and the path, Y up.
struct Frame {
    double min_x = 0, min_y = 0, max_x = 0, max_y = 0;
    double scale = 1;  // px per plot-bed unit
    double px(double x) const { return margin + (x - min_x) * scale; }
    double py(double y) const { return title_height + margin + (max_y - y) * scale; }
    double height() const { return (max_y - min_y) * scale; }
};

Frame drawing_frame(const JobReport& r)
{
    Frame f;
    f.max_x = std::max(r.table_x, 1);
    f.max_y = std::max(r.table_y, 1);
    f.min_x = std::min(f.min_x, static_cast<double>(r.min_x));
    f.max_x = std::max(f.max_x, static_cast<double>(r.max_x));
    f.min_y = std::min(f.min_y, static_cast<double>(r.min_y));
    f.max_y = std::max(f.max_y, static_cast<double>(r.max_y));
    f.scale = table_width / (f.max_x - f.min_x);
    f.scale = std::min(f.scale, 560.0 / (f.max_y - f.min_y));
    return f;
}

// The stroke of a path activity, or empty for one drawn as a band or not at all.
std::string stroke_style(const ActivityTicks& a)
{
    const std::string colour = activity_colour(a);
    switch (a.kind) {
    case WORK_CUT:
        return "stroke=\"" + colour + "\" stroke-width=\"1.4\"";
    case WORK_TRAVEL:
    case WORK_RASTER_CARRIAGE:
        return "stroke=\"" + colour + "\" stroke-width=\"0.6\" stroke-dasharray=\"4 3\"";
    case WORK_OTHER:
        return "stroke=\"" + colour + "\" stroke-width=\"0.6\"";
    default:
        return "";
    }
}

// One polyline per run of consecutive moves of the same activity.
void draw_moves(std::string* svg, const JobReport& r, const Frame& f)
{
    std::size_t i = 0;
    while (i < r.path.size()) {
        const std::uint32_t act = r.path[i].activity;
        std::size_t j = i + 1;
        while (j < r.path.size() && !r.path[j].starts) {
            ++j;
        }
        const std::string style = act < r.activities.size() ? stroke_style(r.activities[act]) : "";
        if (!style.empty() && j > i + 1) {
            *svg += "<polyline class=\"" + std::string(activity_kind_name(r.activities[act].kind)) +
                    "\" fill=\"none\" " + style + " points=\"";
            for (std::size_t k = i; k < j; ++k) {
                if (k != i) {
                    *svg += ' ';
                }
                *svg += number(f.px(static_cast<double>(r.path[k].x)));
                *svg += ',';
                *svg += number(f.py(static_cast<double>(r.path[k].y)));
            }
            *svg += "\"/>\n";
        }
        i = j;
    }
}

// Each image's band: the rectangle its passes sweep.
void draw_bands(std::string* svg, const JobReport& r, const Frame& f)
{
    for (const ActivityTicks& a : r.activities) {
        if (a.kind != WORK_RASTER_PASS || !a.swept) {
            continue;
        }
        const auto x0 = static_cast<double>(a.min_x), x1 = static_cast<double>(a.max_x);
        const auto y0 = static_cast<double>(a.min_y), y1 = static_cast<double>(a.max_y);
        *svg += "<rect class=\"raster_band\" x=\"" + number(f.px(x0)) + "\" y=\"" +
                number(f.py(y1)) + "\" width=\"" + number(std::max((x1 - x0) * f.scale, 1.0)) +
                "\" height=\"" + number(std::max((y1 - y0) * f.scale, 1.0)) + "\" fill=\"" +
                activity_colour(a) + "\" fill-opacity=\"0.55\"/>\n";
    }
}

// The table's outline and a 100 mm scale under it.
void draw_table(std::string* svg, const JobReport& r, const Frame& f)
{
    *svg += "<rect class=\"table\" x=\"" + number(f.px(0)) + "\" y=\"" +
            number(f.py(r.table_y)) + "\" width=\"" + number(r.table_x * f.scale) +
            "\" height=\"" + number(r.table_y * f.scale) +
            "\" fill=\"#f7f7f2\" stroke=\"#b0b0b0\"/>\n";
    const double y = f.py(f.min_y) + 16;
    const double x0 = f.px(f.min_x);
    const double x1 = x0 + 100 * plotbed_per_mm * f.scale;
    *svg += "<line class=\"scale\" x1=\"" + number(x0) + "\" y1=\"" + number(y) + "\" x2=\"" +
            number(x1) + "\" y2=\"" + number(y) + "\" stroke=\"#000\" stroke-width=\"2\"/>\n";
    *svg += "<text x=\"" + number(x1 + 6) + "\" y=\"" + number(y + 4) + "\">100 mm (table " +
            std::to_string(std::lround(r.table_x / plotbed_per_mm)) + " x " +
            std::to_string(std::lround(r.table_y / plotbed_per_mm)) +
            " mm)</text>\n";
}

// The bar of where the time goes, an activity a segment from the top, and
// its legend: colour, name, h:mm:ss, share.
void draw_time_bar(std::string* svg, const JobReport& r, double left, double height)
{
    const double top = title_height + margin;
    *svg += "<g class=\"time_bar\">\n";
    *svg += "<rect x=\"" + number(left) + "\" y=\"" + number(top) + "\" width=\"" +
            number(bar_width) + "\" height=\"" + number(height) +
            "\" fill=\"#eeeeee\" stroke=\"#808080\"/>\n";
    double y = top;
    std::size_t row = 0;
    for (const ActivityTicks& a : r.activities) {
        if (a.ticks <= 0) {
            continue;
        }
        const double h = height * static_cast<double>(a.ticks) / static_cast<double>(r.ticks);
        *svg += "<rect class=\"segment\" x=\"" + number(left) + "\" y=\"" + number(y) +
                "\" width=\"" + number(bar_width) + "\" height=\"" + number(h) + "\" fill=\"" +
                activity_colour(a) + "\"/>\n";
        y += h;
        if (row++ < legend_rows_max) {
            const double ly = top + static_cast<double>(row - 1) * legend_row;
            const double lx = left + bar_width + 14;
            char share[16];
            std::snprintf(share, sizeof share, "%.1f %%",
                          100.0 * static_cast<double>(a.ticks) / static_cast<double>(r.ticks));
            *svg += "<rect x=\"" + number(lx) + "\" y=\"" + number(ly + 3) +
                    "\" width=\"12\" height=\"12\" fill=\"" + activity_colour(a) + "\"/>\n";
            *svg += "<text x=\"" + number(lx + 18) + "\" y=\"" + number(ly + 13) + "\">" +
                    xml_text(activity_label(a)) + "</text>\n";
            *svg += "<text x=\"" + number(lx + 200) + "\" y=\"" + number(ly + 13) +
                    "\" text-anchor=\"end\">" + hours_minutes_seconds(ticks_to_ms(a.ticks)) +
                    "</text>\n";
            *svg += "<text x=\"" + number(lx + 260) + "\" y=\"" + number(ly + 13) +
                    "\" text-anchor=\"end\">" + share + "</text>\n";
        }
    }
    if (row > legend_rows_max) {
        *svg += "<text x=\"" + number(left + bar_width + 14) + "\" y=\"" +
                number(top + static_cast<double>(legend_rows_max) * legend_row + 13) + "\">and " +
                std::to_string(row - legend_rows_max) + " more</text>\n";
    }
    *svg += "</g>\n";
}

} // namespace

std::string job_svg(const JobReport& r)
{
    const Frame f = drawing_frame(r);
    const double drawing_width = (f.max_x - f.min_x) * f.scale;
    const double bar_left = margin + drawing_width + 2 * margin;
    const double legend_height =
        static_cast<double>(std::min(r.activities.size(), legend_rows_max) + 1) * legend_row;
    const double height = std::max({f.height() + 24, legend_height, 200.0});
    const double width = bar_left + bar_width + legend_width;
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) + "\" height=\"" +
           number(title_height + 2 * margin + height) +
           "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    const std::string estimate = r.outcome == JobOutcome::ok
                                     ? hours_minutes_seconds(r.run_time_ms) + " (" +
                                           std::to_string(r.run_time_ms) + " ms)"
                                     : job_outcome_name(r.outcome);
    svg += "<text class=\"title\" x=\"" + number(margin) + "\" y=\"26\" font-size=\"16\">" +
           xml_text(r.job) + ": " + estimate + (r.complete ? "" : ", cut short") + "</text>\n";
    if (!r.overrides.empty()) {
        svg += "<text class=\"settings\" x=\"" + number(margin) +
               "\" y=\"44\" font-size=\"12\">at " + xml_text(overrides_text(r.overrides)) +
               ", in place of the job's own</text>\n";
    }
    svg += "<g class=\"drawing\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";
    draw_table(&svg, r, f);
    draw_bands(&svg, r, f);
    draw_moves(&svg, r, f);
    svg += "</g>\n";
    if (r.path_moves_not_drawn > 0) {
        svg += "<text class=\"note\" x=\"" + number(margin) + "\" y=\"" +
               number(title_height + 2 * margin + f.height() + 20) + "\">" +
               std::to_string(r.path_moves_not_drawn) +
               " later moves not drawn: the picture holds as many lines as it can show</text>\n";
    }
    if (r.ticks > 0) {
        draw_time_bar(&svg, r, bar_left, std::max(f.height(), 200.0));
    }
    svg += "</svg>\n";
    return svg;
}
