#include "app/job_report.h"

#include <iterator>
#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "app/entry_log.h"
#include "fwShare/machine_params.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/units.h"
#include "replay/tick_account.h"
#include "fwShare/servo/vector_planner.h"

namespace {

// Plot-bed units per millimetre.
constexpr double plotbed_per_mm = machine_plotbed_dpi / 25.4;

// Activities in report order: cutting by pen, travel, each image (its
// passes, then its line steps), the raster carriage, other moves.
using ActivityKey = std::tuple<int, std::int32_t, int>;

ActivityKey activity_key(std::uint8_t kind, std::int32_t index)
{
    switch (kind) {
    case WORK_CUT:
        return {0, index, kind};
    case WORK_TRAVEL:
        return {1, 0, kind};
    case WORK_RASTER_PASS:
    case WORK_RASTER_LINE_STEP:
        return {2, index, kind};
    case WORK_RASTER_CARRIAGE:
        return {3, 0, kind};
    default:
        return {4, 0, WORK_OTHER};
    }
}

// The activities of the job's works, and the activity of every work.
struct Activities {
    std::vector<ActivityTicks> list;
    std::vector<std::uint32_t> of_work;
    std::uint32_t other = 0;  // for ticks whose work is unknown
};

Activities collect_activities()
{
    const std::vector<WorkTag>& works = tick_account_state.works;
    std::map<ActivityKey, ActivityTicks> by_key;
    for (const WorkTag& w : works) {
        const ActivityKey key = activity_key(w.kind, w.index);
        ActivityTicks& a = by_key[key];
        a.kind = static_cast<std::uint8_t>(std::get<2>(key));
        a.index = std::get<1>(key);
        a.moves += w.moves;
        a.distance_mm += w.distance / plotbed_per_mm;
    }
    ActivityTicks& other = by_key[activity_key(WORK_OTHER, 0)];
    other.kind = WORK_OTHER;
    Activities out;
    std::map<ActivityKey, std::uint32_t> position;
    for (const auto& [key, a] : by_key) {
        position[key] = static_cast<std::uint32_t>(out.list.size());
        out.list.push_back(a);
    }
    for (const WorkTag& w : works) {
        out.of_work.push_back(position[activity_key(w.kind, w.index)]);
    }
    out.other = position[activity_key(WORK_OTHER, 0)];
    return out;
}

// The ticks of the job window (job clock's start mark < counter <= end
// mark) as counters relative to the start mark, 1..ticks.
std::int64_t relative_tick(std::uint32_t counter)
{
    const auto start = static_cast<std::uint32_t>(job_start_tick);
    return static_cast<std::int32_t>(counter - start);
}

// Adds one run of ticks [lo, hi] (relative counters) to the phases, the
// activities and its entry's span.
void add_run(JobReport* r, Activities* acts, std::map<std::int32_t, TimelineRow>* spans,
             const TickRun& run, std::int64_t lo, std::int64_t hi)
{
    lo = std::max<std::int64_t>(lo, 1);
    hi = std::min(hi, r->ticks);
    if (hi < lo) {
        return;
    }
    const std::int64_t n = hi - lo + 1;
    r->phases[run.phase < SVO_PHASE_COUNT ? run.phase : std::uint8_t{IDLE}] += n;
    const std::vector<WorkTag>& works = tick_account_state.works;
    const bool known = run.work < works.size();
    acts->list[known ? acts->of_work[run.work] : acts->other].ticks += n;
    const std::int32_t entry = known ? works[run.work].entry : 0;
    auto [it, fresh] = spans->try_emplace(entry);
    TimelineRow& row = it->second;
    if (fresh || ticks_to_ms(lo - 1) < row.start_ms) {
        row.start_ms = ticks_to_ms(lo - 1);
    }
    row.end_ms = std::max(row.end_ms, ticks_to_ms(hi));
}

// Counts every tick of the job window by phase, activity and entry.
void count_ticks(JobReport* r, Activities* acts, std::map<std::int32_t, TimelineRow>* spans)
{
    const std::vector<TickRun>& runs = tick_account_state.runs;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::int64_t lo = relative_tick(runs[i].first_tick);
        const std::int64_t hi =
            i + 1 < runs.size() ? relative_tick(runs[i + 1].first_tick) - 1
                                : relative_tick(static_cast<std::uint32_t>(svo_tick_count));
        add_run(r, acts, spans, runs[i], lo, hi);
    }
}

// The timeline rows in file order, each with its entry's keyword.
std::vector<TimelineRow> timeline_rows(std::map<std::int32_t, TimelineRow>* spans)
{
    const std::vector<MotionEntry>& entries = entry_log_state.entries;
    std::vector<TimelineRow> rows;
    for (auto& [entry, row] : *spans) {
        row.entry = entry;
        const auto at = std::lower_bound(
            entries.begin(), entries.end(), entry,
            [](const MotionEntry& e, std::int32_t n) { return e.entry < n; });
        row.keyword = at != entries.end() && at->entry == entry ? at->keyword : "";
        rows.push_back(row);
    }
    return rows;
}

// The head's path from its start position, one segment per VECTOR record.
void head_path(JobReport* r, const Activities& acts)
{
    std::int64_t x = entry_log_state.start_x;
    std::int64_t y = entry_log_state.start_y;
    for (const HeadMove& m : entry_log_state.moves) {
        const std::uint32_t activity =
            m.work < acts.of_work.size() ? acts.of_work[m.work] : acts.other;
        r->path.push_back({x, y, x + m.dx, y + m.dy, activity});
        x += m.dx;
        y += m.dy;
    }
}

// Distances, raster lines and the activities with ticks or moves (the
// path's activities renumbered to match).
void sum_activities(JobReport* r, const Activities& acts)
{
    std::vector<std::uint32_t> kept(acts.list.size(), 0);
    for (std::size_t i = 0; i < acts.list.size(); ++i) {
        const ActivityTicks& a = acts.list[i];
        if (a.ticks == 0 && a.moves == 0) {
            continue;
        }
        kept[i] = static_cast<std::uint32_t>(r->activities.size());
        r->activities.push_back(a);
        if (a.kind == WORK_CUT) {
            r->cut_mm += a.distance_mm;
        } else if (a.kind == WORK_TRAVEL) {
            r->travel_mm += a.distance_mm;
        } else if (a.kind == WORK_RASTER_PASS) {
            r->raster_lines += static_cast<std::int64_t>(a.moves);
        }
    }
    for (PathMove& m : r->path) {
        m.activity = kept[m.activity];
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
    r.stop_keyword = result.end.keyword;
    r.stop_reason = result.end.reason;
    r.run_time_ms = result.end.run_time.ms;
    r.ticks = std::max<std::int64_t>(result.ticks, 0);
    r.vectors_planned = vect_count;
    r.table_x = CurrentRomParam.MachParam.TableSize.X;
    r.table_y = CurrentRomParam.MachParam.TableSize.Y;

    Activities acts = collect_activities();
    std::map<std::int32_t, TimelineRow> spans;
    count_ticks(&r, &acts, &spans);
    r.timeline = timeline_rows(&spans);
    head_path(&r, acts);
    sum_activities(&r, acts);
    return r;
}

std::uint64_t ticks_to_ms(std::int64_t ticks)
{
    return ticks <= 0 ? 0 : svo_ms_of_ticks(static_cast<std::uint64_t>(ticks));
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
