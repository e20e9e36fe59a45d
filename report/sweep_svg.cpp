#include "report/sweep_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/shown_text.h"
#include "report/job_report.h"
#include "report/report_text.h"

namespace {

constexpr double chart_width = 820.0;
constexpr double chart_height = 480.0;
constexpr double plot_left = 90.0;   // px left of the plot: the run-time labels
constexpr double plot_right = 40.0;
constexpr double plot_top = 70.0;    // px above it: title and settings
constexpr double plot_bottom = 70.0; // px below it: the value labels and the key

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// A run's time in ms, or nothing when the machine gave no estimate.
std::optional<double> run_ms(const JobResult& r)
{
    if (r.outcome != JobOutcome::ok) {
        return std::nullopt;
    }
    return static_cast<double>(r.end.run_time.ms);
}

// A tick step of 1, 2 or 5 times a power of ten giving at most 8 ticks.
double value_step(double span)
{
    for (double power = 1;; power *= 10) {
        for (const double m : {1.0, 2.0, 5.0}) {
            if (span / (power * m) <= 8) {
                return power * m;
            }
        }
    }
}

// A tick step of run time that reads well as h:mm:ss, at most about 8 ticks.
double time_step(double span_ms)
{
    static const double steps_s[] = {1,    2,    5,    10,   15,    30,    60,    120,  300,
                                     600,  900,  1800, 3600, 7200,  18000, 36000, 86400};
    for (const double s : steps_s) {
        if (span_ms / (s * 1000) <= 8) {
            return s * 1000;
        }
    }
    return value_step(span_ms / 86400000.0) * 86400000.0;
}

// Where the plot's values and times fall, in px.
struct Axes {
    double x0 = 0, x1 = 1;     // values
    double y0 = 0, y1 = 1;     // ms
    double px(double v) const
    {
        return plot_left + (v - x0) / (x1 - x0) * (chart_width - plot_left - plot_right);
    }
    double py(double ms) const
    {
        return chart_height - plot_bottom -
               (ms - y0) / (y1 - y0) * (chart_height - plot_top - plot_bottom);
    }
};

Axes chart_axes(const SweepResult& s, const std::optional<std::uint32_t>& fit_ms)
{
    Axes a;
    std::vector<double> values{static_cast<double>(s.written_value)};
    std::vector<double> times;
    for (const SweepPoint& p : s.points) {
        values.push_back(p.value);
        if (const auto ms = run_ms(p.result)) {
            times.push_back(*ms);
        }
    }
    if (const auto ms = run_ms(s.as_written)) {
        times.push_back(*ms);
    }
    if (fit_ms) {
        times.push_back(*fit_ms);
    }
    a.x0 = *std::min_element(values.begin(), values.end());
    a.x1 = *std::max_element(values.begin(), values.end());
    const double x_pad = std::max((a.x1 - a.x0) * 0.03, 1.0);
    a.x0 -= x_pad;
    a.x1 += x_pad;
    const double top = times.empty() ? 0 : *std::max_element(times.begin(), times.end());
    const double low = times.empty() ? 0 : *std::min_element(times.begin(), times.end());
    a.y1 = std::max(top + (top - low) * 0.12, top + 1000.0);
    // Run times close together are drawn from just below the lowest, so
    // that their differences show; the labels say where the axis starts.
    if (low > top / 2) {
        const double step = time_step(a.y1 - low);
        a.y0 = std::max(0.0, std::floor((low - (top - low) * 0.12) / step) * step);
    }
    return a;
}

// The grid, with the values under the plot and the run times left of it.
void draw_grid(std::string* svg, const Axes& a, const std::string& key)
{
    const double bottom = chart_height - plot_bottom;
    const double right = chart_width - plot_right;
    *svg += "<g class=\"grid\" stroke=\"#dddddd\">\n";
    const double ty = time_step(a.y1 - a.y0);
    for (double ms = std::ceil(a.y0 / ty) * ty; ms <= a.y1; ms += ty) {
        *svg += "<line x1=\"" + number(plot_left) + "\" y1=\"" + number(a.py(ms)) + "\" x2=\"" +
                number(right) + "\" y2=\"" + number(a.py(ms)) + "\"/>\n";
        *svg += "<text x=\"" + number(plot_left - 8) + "\" y=\"" + number(a.py(ms) + 4) +
                "\" text-anchor=\"end\" stroke=\"none\" fill=\"#333333\">" +
                hours_minutes_seconds(static_cast<std::uint64_t>(ms)) + "</text>\n";
    }
    const double tx = value_step(a.x1 - a.x0);
    for (double v = std::ceil(a.x0 / tx) * tx; v <= a.x1; v += tx) {
        *svg += "<line x1=\"" + number(a.px(v)) + "\" y1=\"" + number(plot_top) + "\" x2=\"" +
                number(a.px(v)) + "\" y2=\"" + number(bottom) + "\"/>\n";
        char label[32];
        std::snprintf(label, sizeof label, "%.0f", v);
        *svg += "<text x=\"" + number(a.px(v)) + "\" y=\"" + number(bottom + 18) +
                "\" text-anchor=\"middle\" stroke=\"none\" fill=\"#333333\">" + label + "</text>\n";
    }
    *svg += "</g>\n";
    *svg += "<rect x=\"" + number(plot_left) + "\" y=\"" + number(plot_top) + "\" width=\"" +
            number(right - plot_left) + "\" height=\"" + number(bottom - plot_top) +
            "\" fill=\"none\" stroke=\"#808080\"/>\n";
    *svg += "<text x=\"" + number((plot_left + right) / 2) + "\" y=\"" + number(bottom + 36) +
            "\" text-anchor=\"middle\">" + shown::xml(key) + "</text>\n";
    *svg += "<text x=\"16\" y=\"" + number((plot_top + bottom) / 2) +
            "\" text-anchor=\"middle\" transform=\"rotate(-90 16 " +
            number((plot_top + bottom) / 2) + ")\">run time (h:mm:ss)</text>\n";
}

// The slot a run must fit in, as a dashed line across the plot.
void draw_slot(std::string* svg, const Axes& a, std::uint32_t fit_ms)
{
    const double y = a.py(fit_ms);
    *svg += "<line class=\"slot\" x1=\"" + number(plot_left) + "\" y1=\"" + number(y) +
            "\" x2=\"" + number(chart_width - plot_right) + "\" y2=\"" + number(y) +
            "\" stroke=\"#2a7f2a\" stroke-width=\"1.5\" stroke-dasharray=\"8 4\"/>\n";
    *svg += "<text x=\"" + number(plot_left + 6) + "\" y=\"" + number(y - 6) +
            "\" fill=\"#2a7f2a\">slot " + hours_minutes_seconds(fit_ms) +
            "</text>\n";
}

// The run times as a line through the points; a point that fits the slot
// green, one that does not red, one cut short hollow.
void draw_points(std::string* svg, const SweepResult& s, const Axes& a,
                 const std::optional<std::uint32_t>& fit_ms)
{
    std::string line;
    for (const SweepPoint& p : s.points) {
        if (const auto ms = run_ms(p.result)) {
            line += (line.empty() ? "" : " ") + number(a.px(p.value)) + "," + number(a.py(*ms));
        }
    }
    *svg += "<polyline class=\"run_time\" fill=\"none\" stroke=\"#4363d8\" stroke-width=\"2\" "
            "points=\"" + line + "\"/>\n";
    const double radius = s.points.size() > 120 ? 1.5 : 4;
    for (const SweepPoint& p : s.points) {
        const auto ms = run_ms(p.result);
        if (!ms) {
            continue;
        }
        const std::string colour = !fit_ms ? "#4363d8" : *ms <= *fit_ms ? "#2a9f2a" : "#d03030";
        const bool whole = p.result.end.complete;
        *svg += "<circle class=\"point\" cx=\"" + number(a.px(p.value)) + "\" cy=\"" +
                number(a.py(*ms)) + "\" r=\"" + number(radius) + "\" fill=\"" +
                (whole ? colour : "#ffffff") + "\" stroke=\"" + colour + "\"/>\n";
    }
}

// The job's own value: a dashed line up the plot and a diamond at its run time.
void draw_as_written(std::string* svg, const SweepResult& s, const Axes& a)
{
    const double x = a.px(s.written_value);
    *svg += "<line class=\"as_written\" x1=\"" + number(x) + "\" y1=\"" + number(plot_top) +
            "\" x2=\"" + number(x) + "\" y2=\"" + number(chart_height - plot_bottom) +
            "\" stroke=\"#f58231\" stroke-width=\"1.5\" stroke-dasharray=\"4 3\"/>\n";
    std::string label = "as written: " + std::to_string(s.written_value);
    if (const auto ms = run_ms(s.as_written)) {
        const double y = a.py(*ms);
        *svg += "<path class=\"as_written\" d=\"M" + number(x) + "," + number(y - 7) + " L" +
                number(x + 7) + "," + number(y) + " L" + number(x) + "," + number(y + 7) + " L" +
                number(x - 7) + "," + number(y) + " Z\" fill=\"#f58231\"/>\n";
        label += ", " + hours_minutes_seconds(static_cast<std::uint64_t>(*ms));
    }
    const bool right_half = x > (plot_left + chart_width - plot_right) / 2;
    *svg += "<text x=\"" + number(right_half ? x - 6 : x + 6) + "\" y=\"" + number(plot_top + 14) +
            "\" text-anchor=\"" + (right_half ? "end" : "start") + "\" fill=\"#b35a10\">" +
            label + "</text>\n";
}

// What the marks mean, under the plot.
void draw_key(std::string* svg, bool slot, bool cut_short)
{
    const double y = chart_height - 8;
    std::string key = "<g class=\"key\">\n";
    key += "<circle cx=\"100\" cy=\"" + number(y - 4) + "\" r=\"4\" fill=\"" +
           (slot ? "#2a9f2a" : "#4363d8") + "\"/>\n";
    key += "<text x=\"110\" y=\"" + number(y) + "\">" +
           (slot ? std::string("run time, fits the slot") : std::string("run time")) + "</text>\n";
    double x = slot ? 280 : 180;
    if (slot) {
        key += "<circle cx=\"" + number(x) + "\" cy=\"" + number(y - 4) +
               "\" r=\"4\" fill=\"#d03030\"/>\n";
        key += "<text x=\"" + number(x + 10) + "\" y=\"" + number(y) + "\">does not fit</text>\n";
        x += 110;
    }
    if (cut_short) {
        key += "<circle cx=\"" + number(x) + "\" cy=\"" + number(y - 4) +
               "\" r=\"4\" fill=\"#ffffff\" stroke=\"#4363d8\"/>\n";
        key += "<text x=\"" + number(x + 10) + "\" y=\"" + number(y) + "\">cut short</text>\n";
        x += 90;
    }
    key += "<path d=\"M" + number(x) + "," + number(y - 10) + " L" + number(x + 6) + "," +
           number(y - 4) + " L" + number(x) + "," + number(y + 2) + " L" + number(x - 6) + "," +
           number(y - 4) + " Z\" fill=\"#f58231\"/>\n";
    key += "<text x=\"" + number(x + 10) + "\" y=\"" + number(y) +
           "\">the job as written</text>\n</g>\n";
    *svg += key;
}

} // namespace

std::string sweep_svg(const SweepResult& s, const std::string& job,
                      const std::optional<std::uint32_t>& fit_ms)
{
    const Axes a = chart_axes(s, fit_ms);
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(chart_width) +
           "\" height=\"" + number(chart_height) +
           "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    svg += "<text class=\"title\" x=\"16\" y=\"26\" font-size=\"16\">" + shown::xml(job) +
           ": run time against " + shown::xml(s.key) + "</text>\n";
    if (!s.as_written.overrides.empty()) {
        svg += "<text class=\"settings\" x=\"16\" y=\"46\">at " +
               shown::xml(overrides_text(s.as_written.overrides)) +
               ", in place of the job's own</text>\n";
    }
    draw_grid(&svg, a, s.key);
    if (fit_ms) {
        draw_slot(&svg, a, *fit_ms);
    }
    draw_points(&svg, s, a, fit_ms);
    draw_as_written(&svg, s, a);
    bool cut_short = false;
    for (const SweepPoint& p : s.points) {
        cut_short = cut_short || (p.result.outcome == JobOutcome::ok && !p.result.end.complete);
    }
    draw_key(&svg, fit_ms.has_value(), cut_short);
    svg += "</svg>\n";
    return svg;
}
