#include "report/job_report.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <map>

#include "fwShare/units.h"
#include "job/job_machine.h"
#include "replay/tick_account.h"

namespace {

// The activities with ticks or moves, in report order (cutting by pen,
// travel, each image, the raster carriage, other moves), the path's
// activities renumbered to match; the distances and raster lines.
void sum_activities(ReportTallyState& s, JobReport* r)
{
    std::vector<std::uint32_t> kept(s.activities.size(), 0);
    for (const auto& [key, index] : s.activity_of_key) {
        const ActivityTicks& a = s.activities[index];
        if (a.ticks == 0 && a.moves == 0) {
            continue;
        }
        kept[index] = static_cast<std::uint32_t>(r->activities.size());
        r->activities.push_back(a);
        if (a.kind == WORK_CUT) {
            r->cut_mm += a.distance_mm;
        } else if (a.kind == WORK_TRAVEL) {
            r->travel_mm += a.distance_mm;
        } else if (a.kind == WORK_RASTER_PASS) {
            r->raster_lines += static_cast<std::int64_t>(a.moves);
        }
    }
    r->path.swap(s.points);
    for (PathPoint& p : r->path) {
        p.activity = kept[p.activity];
    }
}

// The fastest the head can go: 80 inches per second on X, 40 on Y, and
// their diagonal, mm per second.
constexpr double fastest_mm_s = 25.4 * 89.45;  // hypot(80, 40) = 89.44 in/s

// Plot-bed units per millimetre.
constexpr double plotbed_per_mm = machine_plotbed_dpi / 25.4;

// A rectangle the head sweeps, plot-bed units, and the first entry at
// which it left the table.
struct HeadExtent {
    bool swept = false;
    std::int64_t min_x = 0, min_y = 0, max_x = 0, max_y = 0;
    std::int32_t off_entry = 0;

    void add(const ActivityTicks& a)
    {
        if (!a.swept) {
            return;
        }
        min_x = swept ? std::min(min_x, a.min_x) : a.min_x;
        min_y = swept ? std::min(min_y, a.min_y) : a.min_y;
        max_x = swept ? std::max(max_x, a.max_x) : a.max_x;
        max_y = swept ? std::max(max_y, a.max_y) : a.max_y;
        swept = true;
        if (a.off_table_entry > 0 && (off_entry == 0 || a.off_table_entry < off_entry)) {
            off_entry = a.off_table_entry;
        }
    }
    // How far it reaches past the left, right, bottom and top edge, plot-bed units.
    std::array<std::int64_t, 4> past(const JobReport& r) const
    {
        return {std::max<std::int64_t>(-min_x, 0), std::max<std::int64_t>(max_x - r.table_x, 0),
                std::max<std::int64_t>(-min_y, 0), std::max<std::int64_t>(max_y - r.table_y, 0)};
    }
};

// "20.7 mm past the table's left edge (to x = -20.7 mm)", for each edge
// the sweep reaches past, joined with "and"; empty when it stays on.
std::string past_edges_text(const HeadExtent& w, const JobReport& r)
{
    static const char* const edges[4] = {"left", "right", "bottom", "top"};
    const double to[4] = {static_cast<double>(w.min_x), static_cast<double>(w.max_x),
                          static_cast<double>(w.min_y), static_cast<double>(w.max_y)};
    const std::array<std::int64_t, 4> past = w.past(r);
    std::string text;
    for (std::size_t e = 0; e < 4; ++e) {
        if (past[e] > 0) {
            char part[120];
            std::snprintf(part, sizeof part, "%s%.1f mm past the table's %s edge (to %c = %.1f mm)",
                          text.empty() ? "" : " and ",
                          static_cast<double>(past[e]) / plotbed_per_mm, edges[e],
                          e < 2 ? 'x' : 'y', to[e] / plotbed_per_mm);
            text += part;
        }
    }
    return text;
}

// The raster work that takes the head off the table: each image's passes
// and line steps (their run-up and run-out reach beyond the image), and the
// carriage moves where they reach further still.
void add_raster_off_table(JobReport* r)
{
    std::map<std::int32_t, HeadExtent> images;
    HeadExtent carriage;
    for (const ActivityTicks& a : r->activities) {
        if (a.kind == WORK_RASTER_PASS || a.kind == WORK_RASTER_LINE_STEP) {
            images[a.index].add(a);
        } else if (a.kind == WORK_RASTER_CARRIAGE) {
            carriage.add(a);
        }
    }
    std::array<std::int64_t, 4> images_past{};
    for (const auto& [image, w] : images) {
        const std::string past = past_edges_text(w, *r);
        if (past.empty()) {
            continue;
        }
        const std::array<std::int64_t, 4> p = w.past(*r);
        for (std::size_t e = 0; e < 4; ++e) {
            images_past[e] = std::max(images_past[e], p[e]);
        }
        const bool sideways = p[0] > 0 || p[1] > 0;
        r->warnings.push_back({"raster_off_table", w.off_entry,
                               "image " + std::to_string(image) + " takes the head " + past +
                                   (sideways ? ": each pass runs up to speed before the image "
                                               "and runs out after it"
                                             : "")});
    }
    const std::array<std::int64_t, 4> p = carriage.past(*r);
    bool further = false;
    for (std::size_t e = 0; e < 4; ++e) {
        further = further || p[e] > images_past[e];
    }
    if (further) {
        r->warnings.push_back(
            {"raster_off_table", carriage.off_entry,
             "the raster carriage takes the head " + past_edges_text(carriage, *r)});
    }
}

// The machine's warnings found while the job ran, then what looks wrong
// in the figures: a job that moves nothing, a cut faster than the head can
// go (moves beyond what the machine's counters hold); past the kept
// warnings of a kind, how many more there were.
void add_sanity_warnings(const ReportTallyState& s, JobReport* r)
{
    r->warnings = s.warnings;
    if (r->outcome == JobOutcome::ok && r->ticks == 0 && r->vectors_planned == 0) {
        r->warnings.push_back({"empty_job", 0, "the job moves nothing: its estimate is 0"});
    }
    add_raster_off_table(r);
    for (const ActivityTicks& a : r->activities) {
        const double speed = activity_speed_mm_s(a);
        if (a.kind == WORK_CUT && speed > fastest_mm_s) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "cutting with pen %d averages %.0f mm/s, faster than the head can go "
                          "(%.0f mm/s): its moves exceed what the machine's counters hold",
                          a.index, speed, fastest_mm_s);
            r->warnings.push_back({"too_fast", 0, text});
        }
    }
    for (const auto& [kind, count] : s.warnings_of_kind) {
        if (count > warnings_per_kind_max) {
            r->warnings.push_back({kind, 0, std::to_string(count - warnings_per_kind_max) +
                                                " more of this kind"});
        }
    }
}

} // namespace

JobReport unreadable_job_report(const std::string& job, const std::string& reason)
{
    JobReport r;
    r.job = job;
    r.outcome = JobOutcome::unreadable;
    r.unreadable_reason = reason;
    return r;
}

JobReport make_job_report(JobMachine& m, const std::string& job, const JobResult& result)
{
    JobReport r;
    r.job = job;
    r.outcome = result.outcome;
    r.complete = result.end.complete;
    r.stop_entry = result.end.entry;
    r.stop_line = result.end.line;
    r.stop_keyword = result.end.keyword;
    r.stop_reason = result.end.reason;
    r.run_time_ms = result.end.run_time.ms;
    r.overrides = result.overrides;
    r.ticks = std::max<std::int64_t>(result.ticks, 0);
    r.vectors_planned = m.vect_count;
    r.table_x = m.CurrentRomParam.MachParam.TableSize.X;
    r.table_y = table_far_edge_y(m);

    m.report_tally_finish(r.ticks);
    ReportTallyState& s = m.report_tally_state;
    r.phases = s.phases;
    r.min_x = s.min_x;
    r.min_y = s.min_y;
    r.max_x = s.max_x;
    r.max_y = s.max_y;
    r.path_moves_not_drawn = s.moves_not_drawn;
    sum_activities(s, &r);
    add_sanity_warnings(s, &r);
    return r;
}

std::string hours_minutes_seconds(std::uint64_t ms)
{
    const std::uint64_t s = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02u:%02u",
                  static_cast<unsigned long long>(s / 3600), static_cast<unsigned>(s / 60 % 60),
                  static_cast<unsigned>(s % 60));
    return text;
}

std::string activity_label(const ActivityTicks& a)
{
    const std::string n = std::to_string(a.index);
    switch (a.kind) {
    case WORK_CUT:
        return "cutting, pen " + n;
    case WORK_TRAVEL:
        return "pen-up travel";
    case WORK_RASTER_PASS:
        return "image " + n + " passes";
    case WORK_RASTER_LINE_STEP:
        return "image " + n + " line steps";
    case WORK_RASTER_CARRIAGE:
        return "raster carriage";
    default:
        return "other moves";
    }
}

const char* activity_kind_name(std::uint8_t kind)
{
    static const char* const names[] = {
        "cut", "travel", "raster_pass", "raster_line_step", "raster_carriage", "other"};
    static_assert(std::size(names) == WORK_KIND_COUNT);
    return kind < WORK_KIND_COUNT ? names[kind] : "other";
}

double activity_speed_mm_s(const ActivityTicks& a)
{
    return a.ticks > 0 ? a.distance_mm / (static_cast<double>(a.ticks) * svo_tick_seconds) : 0.0;
}
