#include "report/job_report.h"

#include <iterator>
#include <algorithm>
#include <cstdio>

#include "fwShare/machine_params.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/vector_planner.h"
#include "fwShare/units.h"
#include "replay/tick_account.h"

namespace {

// The activities with ticks or moves, in report order (cutting by pen,
// travel, each image, the raster carriage, other moves), the path's
// activities renumbered to match; the distances and raster lines.
void sum_activities(JobReport* r)
{
    ReportTallyState& s = report_tally_state;
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

// The machine's warnings found while the job ran, then what looks wrong
// in the figures: a job that moves nothing, a cut faster than the head can
// go (moves beyond what the machine's counters hold); past the kept
// warnings of a kind, how many more there were.
void add_sanity_warnings(JobReport* r)
{
    const ReportTallyState& s = report_tally_state;
    r->warnings = s.warnings;
    if (r->outcome == JobOutcome::ok && r->ticks == 0 && r->vectors_planned == 0) {
        r->warnings.push_back({"empty_job", 0, "the job moves nothing: its estimate is 0"});
    }
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

JobReport make_job_report(const std::string& job, const JobResult& result)
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
    r.vectors_planned = vect_count;
    r.table_x = CurrentRomParam.MachParam.TableSize.X;
    r.table_y = CurrentRomParam.MachParam.TableSize.Y;

    report_tally_finish(r.ticks);
    const ReportTallyState& s = report_tally_state;
    r.phases = s.phases;
    r.min_x = s.min_x;
    r.min_y = s.min_y;
    r.max_x = s.max_x;
    r.max_y = s.max_y;
    r.path_moves_not_drawn = s.moves_not_drawn;
    sum_activities(&r);
    add_sanity_warnings(&r);
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
