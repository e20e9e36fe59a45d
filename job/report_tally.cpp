#include "job/report_tally.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <numbers>

#include "base/platform.h"
#include "fwShare/units.h"
#include "job/job_machine.h"

namespace {

// Plot-bed units per millimetre.
constexpr double plotbed_per_mm = machine_plotbed_dpi / 25.4;

// The picture draws the 640 mm table 760 px wide, or smaller when the path
// leaves it: a corner a fifth of a pixel off the path is not seen (a
// curve's chords keep it round; half a pixel shows as facets).
constexpr double table_px = 760.0;
constexpr double first_tolerance_px = 0.2;

// Corners the path keeps at most; beyond, the tolerance doubles and the
// path is simplified again (with the polylines' own markup, about 3 MB of SVG).
constexpr std::size_t path_points_max = 40000;

// Tags of finished work dropped at once, when that many have piled up.
constexpr std::uint32_t works_to_drop = 1024;

// Activities in report order: cutting by pen, travel, each image (its
// passes, then its line steps), the raster carriage, other moves.
std::tuple<int, std::int32_t, int> activity_key(std::uint8_t kind, std::int32_t index)
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

} // namespace

// The activity of a key, made when first met.
std::uint32_t JobMachine::activity_of(const std::tuple<int, std::int32_t, int>& key)
{
    ReportTallyState& s = report_tally_state;
    const auto [it, fresh] =
        s.activity_of_key.try_emplace(key, static_cast<std::uint32_t>(s.activities.size()));
    if (fresh) {
        ActivityTicks a;
        a.kind = static_cast<std::uint8_t>(std::get<2>(key));
        a.index = std::get<1>(key);
        s.activities.push_back(a);
        s.pending_activity_ticks.push_back(0);
    }
    return it->second;
}

// The activity of a work tag (a tag not known counts as other moves).
std::uint32_t JobMachine::activity_of_work(std::uint32_t work)
{
    ReportTallyState& s = report_tally_state;
    const std::vector<WorkTag>& works = tick_account_state.works;
    if (work >= works.size()) {
        return activity_of(activity_key(WORK_OTHER, 0));
    }
    while (s.activity_of_work.size() <= work) {
        const WorkTag& w = works[s.activity_of_work.size()];
        s.activity_of_work.push_back(activity_of(activity_key(w.kind, w.index)));
    }
    return s.activity_of_work[work];
}

// The job clock's marks as ticks from its start mark (wrapping as the
// 32-bit counters do).
std::int64_t JobMachine::from_start(std::uint32_t counter) const
{
    return static_cast<std::int32_t>(counter - static_cast<std::uint32_t>(job_start_tick));
}

// Adds the ticks [lo, hi] of one run to an entry's span.
void JobMachine::add_span(std::uint32_t work, std::int64_t lo, std::int64_t hi)
{
    ReportTallyState& s = report_tally_state;
    const std::vector<WorkTag>& works = tick_account_state.works;
    const std::int32_t entry = work < works.size() ? works[work].entry : 0;
    const auto [it, fresh] = s.spans.try_emplace(entry);
    TimelineRow& row = it->second;
    if (fresh || ticks_to_ms(lo - 1) < row.start_ms) {
        row.start_ms = ticks_to_ms(lo - 1);
    }
    row.end_ms = std::max(row.end_ms, ticks_to_ms(hi));
}

// Adds one run of ticks [lo, hi] (from the start mark): those up to the
// end mark count, those after it wait; after the job (final) they are
// dropped.
void JobMachine::add_run(const TickRun& run, std::int64_t lo, std::int64_t hi,
                         std::int64_t end_mark, bool final)
{
    ReportTallyState& s = report_tally_state;
    lo = std::max<std::int64_t>(lo, 1);
    if (final) {
        hi = std::min(hi, end_mark);
    }
    if (hi < lo) {
        return;
    }
    const std::size_t run_phase = run.phase < SVO_PHASE_COUNT ? run.phase : std::size_t{IDLE};
    const std::uint32_t activity = activity_of_work(run.work);
    const std::int64_t counted = std::max<std::int64_t>(std::min(hi, end_mark) - lo + 1, 0);
    s.phases[run_phase] += counted;
    s.activities[activity].ticks += counted;
    s.pending_phases[run_phase] += hi - lo + 1 - counted;
    s.pending_activity_ticks[activity] += hi - lo + 1 - counted;
    if (s.timeline_sink != nullptr) {
        add_span(run.work, lo, hi);
    }
}

// The ticks that waited past the end mark count once the head has left
// its hold state and come back (the end mark moved past them).
void JobMachine::count_pending()
{
    ReportTallyState& s = report_tally_state;
    for (std::size_t p = 0; p < s.phases.size(); ++p) {
        s.phases[p] += s.pending_phases[p];
        s.pending_phases[p] = 0;
    }
    for (std::size_t a = 0; a < s.activities.size(); ++a) {
        s.activities[a].ticks += s.pending_activity_ticks[a];
        s.pending_activity_ticks[a] = 0;
    }
}

// Adds up the logged runs of ticks and empties the log: every run but the
// last (which goes on), or after the job every run, up to the end mark.
void JobMachine::fold_runs(bool final, std::int64_t job_ticks)
{
    ReportTallyState& s = report_tally_state;
    std::vector<TickRun>& runs = tick_account_state.runs;
    if (job_end_tick != s.end_mark_seen) {
        count_pending();  // the end mark moved on past the waiting ticks
        s.end_mark_seen = job_end_tick;
    }
    const std::size_t done = final ? runs.size() : (runs.empty() ? 0 : runs.size() - 1);
    // Before the job clock starts, every tick so far lies before the window.
    const bool window_open = final || job_timing_state == JOB_CLOCK_RUNNING;
    const std::int64_t end_mark =
        final ? job_ticks : from_start(static_cast<std::uint32_t>(job_end_tick));
    for (std::size_t i = 0; window_open && i < done; ++i) {
        const std::uint32_t next = i + 1 < runs.size()
                                       ? runs[i + 1].first_tick - 1u
                                       : static_cast<std::uint32_t>(svo_tick_count);
        add_run(runs[i], from_start(runs[i].first_tick), from_start(next), end_mark, final);
    }
    runs.erase(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(done));
}

// The first work tag something still refers to: a record in the queue, the
// tag being filled, the run of ticks going on, the work of the last tick.
std::uint32_t JobMachine::first_live_work() const
{
    const TickAccountState& t = tick_account_state;
    const auto size = static_cast<std::uint32_t>(t.works.size());
    std::uint32_t first = size;
    const auto note = [&](std::uint32_t work) {
        if (work < size) {
            first = std::min(first, work);
        }
    };
    note(t.current);
    note(t.run_work);
    note(t.tick_work);
    for (const TickRun& run : t.runs) {
        note(run.work);
    }
    // Records in use (a free record's tag is stale: the ticks that spent it
    // have been logged, and the entry log has read its move).
    for (const VdbData* pool : {vdb_pool, vdb_offline_pool}) {
        for (int i = 0; i < VDB_POOL_SIZE; ++i) {
            if (pool[i].cmd != 0) {
                note(pool[i].work);
            }
        }
    }
    return first;
}

// Adds the moves and the length of a finished work to its activity.
void JobMachine::add_work_moves(std::uint32_t work)
{
    const WorkTag& w = tick_account_state.works[work];
    ActivityTicks& a = report_tally_state.activities[activity_of_work(work)];
    a.moves += w.moves;
    a.distance_mm += w.distance / plotbed_per_mm;
}

// Drops the tags of work that is done, once enough have piled up, and
// renumbers every reference to the others.
void JobMachine::drop_finished_works(std::uint32_t first_live)
{
    if (first_live < works_to_drop) {
        return;
    }
    ReportTallyState& s = report_tally_state;
    TickAccountState& t = tick_account_state;
    for (std::uint32_t w = 0; w < first_live; ++w) {
        add_work_moves(w);
    }
    const auto size = static_cast<std::uint32_t>(t.works.size());
    t.works.erase(t.works.begin(), t.works.begin() + first_live);
    s.activity_of_work.erase(
        s.activity_of_work.begin(),
        s.activity_of_work.begin() +
            std::min<std::ptrdiff_t>(first_live,
                                     static_cast<std::ptrdiff_t>(s.activity_of_work.size())));
    const auto shift = [&](std::uint32_t& work) {
        if (work < size) {
            work -= first_live;
        }
    };
    shift(t.current);
    shift(t.run_work);
    shift(t.tick_work);
    for (TickRun& run : t.runs) {
        shift(run.work);
    }
    for (VdbData& rec : vdb_pool) {
        shift(rec.work);
    }
    for (VdbData& rec : vdb_offline_pool) {
        shift(rec.work);
    }
}

// Writes the timeline rows of the entries before first_entry, in file order.
void JobMachine::write_rows_before(std::int32_t first_entry)
{
    ReportTallyState& s = report_tally_state;
    while (!s.spans.empty() && s.spans.begin()->first < first_entry) {
        TimelineRow row = s.spans.begin()->second;
        row.entry = s.spans.begin()->first;
        while (!s.keywords.empty() && s.keywords.front().entry < row.entry) {
            s.keywords.pop_front();
        }
        if (!s.keywords.empty() && s.keywords.front().entry == row.entry) {
            row.keyword = s.keywords.front().keyword;
        }
        s.timeline_sink(row, s.timeline_context);
        s.spans.erase(s.spans.begin());
    }
    while (!s.keywords.empty() && s.keywords.front().entry < first_entry) {
        s.keywords.pop_front();
    }
}

namespace {

// True for the activities the picture draws as lines (raster passes and
// line steps are drawn as the band they sweep).
bool drawn_as_path(const ActivityTicks& a)
{
    return a.kind != WORK_RASTER_PASS && a.kind != WORK_RASTER_LINE_STEP;
}

} // namespace

// Keeps the corner held back, if any: the path cannot bend through it
// within the tolerance.
void JobMachine::keep_held_point()
{
    ReportTallyState& s = report_tally_state;
    if (s.held) {
        s.points.push_back(s.held_point);
        s.held = false;
    }
    s.wedge_open = false;
}

namespace {

double angle_difference(double a, double b)
{
    return std::remainder(a - b, 2 * std::numbers::pi);
}

} // namespace

// Extends the path to p. The path from the last corner kept runs straight
// to p when every corner dropped since lies within the tolerance of that
// line: the directions that pass close enough to each dropped corner form
// a wedge, and p must lie inside it.
void JobMachine::extend_path(const PathPoint& p)
{
    ReportTallyState& s = report_tally_state;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const PathPoint& from = s.points.back();
        const double dx = static_cast<double>(p.x - from.x);
        const double dy = static_cast<double>(p.y - from.y);
        const double d = std::hypot(dx, dy);
        if (d <= s.tolerance) {
            if (!s.wedge_open) {
                s.held_point = p;
                s.held = true;
                return;
            }
        } else {
            const double a = std::atan2(dy, dx);
            const double half = std::asin(std::min(1.0, s.tolerance / d));
            if (!s.wedge_open) {
                s.wedge_low = a - half;
                s.wedge_high = a + half;
                s.wedge_open = true;
                s.held_point = p;
                s.held = true;
                return;
            }
            const double mid = (s.wedge_low + s.wedge_high) / 2;
            const double r = mid + angle_difference(a, mid);
            if (r >= s.wedge_low && r <= s.wedge_high) {
                s.wedge_low = std::max(s.wedge_low, r - half);
                s.wedge_high = std::min(s.wedge_high, r + half);
                s.held_point = p;
                s.held = true;
                return;
            }
        }
        keep_held_point();  // p bends away: the held corner stays, p goes on from it
    }
    s.held_point = p;
    s.held = true;
}

// Adds a point of the path, starting a polyline when asked.
void JobMachine::add_path_point(const PathPoint& p)
{
    ReportTallyState& s = report_tally_state;
    if (p.starts) {
        keep_held_point();
        s.points.push_back(p);
    } else {
        extend_path(p);
    }
}

// Simplifies the path kept again with twice the tolerance, when it holds
// more corners than the picture should draw; up to a tolerance of a few
// pixels. A path of more separate strokes than that still leaves is full:
// the moves after it are not drawn (the picture says how many).
void JobMachine::coarsen_path()
{
    ReportTallyState& s = report_tally_state;
    keep_held_point();
    const double tolerance_max = s.tolerance * 16;
    while (s.points.size() > path_points_max / 2 && s.tolerance < tolerance_max) {
        s.tolerance *= 2;
        std::vector<PathPoint> old;
        old.swap(s.points);
        for (const PathPoint& p : old) {
            add_path_point(p);
        }
        keep_held_point();
    }
    s.path_full = s.points.size() > path_points_max / 2;
}

// The machine's own warning of a crowded queue: a wait for a free record
// polled 100 times.
void JobMachine::note_machine_warnings(std::int32_t entry)
{
    if (m_npbdrvCnt >= 100) {
        report_tally_warn("crowded_queue", entry,
                          "the wait for a free vector record took 100 polls or more (the "
                          "machine prints \"m_npbdrvCnt\")");
    }
}

// The progress line on a terminal for a job that takes more than a second.
void JobMachine::show_progress(std::int32_t entry)
{
    ReportTallyState& s = report_tally_state;
    if (!s.show_progress || (entry & 0xFFF) != 0 || !platform::stderr_is_terminal()) {
        return;
    }
    const std::uint32_t now = platform::tick_count_ms();
    if (now - s.started_ms < 1000 || (s.progress_shown && now - s.shown_ms < 250)) {
        return;
    }
    std::int64_t ticks = 0;
    for (std::size_t p = 0; p < s.phases.size(); ++p) {
        ticks += s.phases[p] + s.pending_phases[p];
    }
    const std::uint64_t seconds = ticks_to_ms(ticks) / 1000;
    std::fprintf(stderr, "\rvemtrac: entry %d, %llu:%02u:%02u of machine time so far ", entry,
                 static_cast<unsigned long long>(seconds / 3600),
                 static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    std::fflush(stderr);
    s.progress_shown = true;
    s.shown_ms = now;
}

namespace {

// The most a speed code, per mille of the maximum speed, asks for.
constexpr std::uint32_t speed_code_max = 1000;

} // namespace

// A pen selected with a speed code above 1000: the machine cuts no faster
// than at 1000, and a code high enough overflows its 32-bit product with
// the maximum speed into a crawl.
void JobMachine::warn_pen_speed(std::int32_t entry)
{
    const std::uint8_t pen = ptCurrentFile->VectorCurrentPen;
    const std::uint16_t code =
        pen < std::size(ptCurrentFile->VectorSpeed) ? ptCurrentFile->VectorSpeed[pen] : 0;
    if (code <= speed_code_max) {
        return;
    }
    char text[240];
    std::snprintf(text, sizeof text,
                  "pen %d cuts at speed code %u, outside 0 to 1000 (per mille of the maximum "
                  "speed): the machine cuts no faster than at 1000, and very high codes overflow "
                  "its arithmetic into a slow speed",
                  pen, code);
    report_tally_warn("speed_out_of_range", entry, text);
}

// An image started with a raster speed above 1000: the head goes no faster
// than at 1000, while the run-up of each pass is planned for the speed
// asked (so it grows).
void JobMachine::warn_raster_speeds(std::int32_t entry)
{
    struct RasterSpeed {
        const char* key;
        std::uint16_t speed;
        const char* more;  // what else the speed does past 1000
    };
    const RasterSpeed speeds[] = {
        {"RasterSpeedX", ptCurrentFile->RasterSpeedX,
         ", while each pass's run-up is planned for the speed asked and grows"},
        {"RasterSpeedY", ptCurrentFile->RasterSpeedY, ""}};
    for (const RasterSpeed& r : speeds) {
        if (r.speed <= speed_code_max) {
            continue;
        }
        char text[240];
        std::snprintf(text, sizeof text,
                      "%s is %u, outside 0 to 1000 (per mille of the maximum speed): the head "
                      "goes no faster than at 1000%s",
                      r.key, r.speed, r.more);
        report_tally_warn("speed_out_of_range", entry, text);
    }
}

// The table's far edge in Y: its length, reaching up to the page's top edge.
std::int32_t table_far_edge_y(const MachineParamState& params)
{
    const auto& mach = params.CurrentRomParam.MachParam;
    return std::max(mach.TableSize.Y, mach.InitDistance.Y);
}

void JobMachine::report_tally_enable(TimelineSink sink, void* context)
{
    report_tally_reset();
    report_tally_state.enabled = true;
    report_tally_state.timeline_sink = sink;
    report_tally_state.timeline_context = context;
    report_tally_state.started_ms = platform::tick_count_ms();
}

void JobMachine::report_tally_start(std::int32_t x, std::int32_t y)
{
    ReportTallyState& s = report_tally_state;
    s.tolerance = first_tolerance_px *
                  static_cast<double>(std::max(CurrentRomParam.MachParam.TableSize.X, 1)) /
                  table_px;
    s.head_x = s.min_x = s.max_x = x;
    s.head_y = s.min_y = s.max_y = y;
}

void JobMachine::report_tally_move(std::int32_t dx, std::int32_t dy, std::uint32_t work)
{
    ReportTallyState& s = report_tally_state;
    const std::uint32_t activity = activity_of_work(work);
    ActivityTicks& a = s.activities[activity];
    const std::int64_t x0 = s.head_x, y0 = s.head_y;
    s.head_x += dx;
    s.head_y += dy;
    s.min_x = std::min(s.min_x, s.head_x);
    s.max_x = std::max(s.max_x, s.head_x);
    s.min_y = std::min(s.min_y, s.head_y);
    s.max_y = std::max(s.max_y, s.head_y);
    if (!a.swept) {
        a.swept = true;
        a.min_x = a.max_x = x0;
        a.min_y = a.max_y = y0;
    }
    a.min_x = std::min({a.min_x, x0, s.head_x});
    a.max_x = std::max({a.max_x, x0, s.head_x});
    a.min_y = std::min({a.min_y, y0, s.head_y});
    a.max_y = std::max({a.max_y, y0, s.head_y});
    const std::int64_t table_x = CurrentRomParam.MachParam.TableSize.X;
    const std::int64_t table_y = table_far_edge_y(*this);
    const bool vector_work = a.kind == WORK_CUT || a.kind == WORK_TRAVEL;
    const auto off = [&](std::int64_t x, std::int64_t y) {
        return x < 0 || y < 0 || x > table_x || y > table_y;
    };
    const bool off_table = off(s.head_x, s.head_y);
    const std::vector<WorkTag>& works = tick_account_state.works;
    if ((off_table || off(x0, y0)) && a.off_table_entry == 0) {
        a.off_table_entry = work < works.size() ? works[work].entry : 0;
    }
    if (vector_work && !s.off_table_warned && off_table) {
        s.off_table_warned = true;
        char text[160];
        std::snprintf(
            text, sizeof text, "the head is sent off the %lld x %lld mm table, to %.1f, %.1f mm",
            static_cast<long long>(std::llround(static_cast<double>(table_x) / plotbed_per_mm)),
            static_cast<long long>(std::llround(static_cast<double>(table_y) / plotbed_per_mm)),
            static_cast<double>(s.head_x) / plotbed_per_mm,
            static_cast<double>(s.head_y) / plotbed_per_mm);
        report_tally_warn("off_table", work < works.size() ? works[work].entry : 0, text);
    }
    if (!drawn_as_path(a)) {
        keep_held_point();
        s.path_break = true;
        return;
    }
    if (s.path_full) {
        ++s.moves_not_drawn;
        return;
    }
    if (s.points.empty() || s.path_break || s.points.back().activity != activity) {
        add_path_point({x0, y0, activity, true});
        s.path_break = false;
    }
    add_path_point({s.head_x, s.head_y, activity, false});
    if (s.points.size() > path_points_max) {
        coarsen_path();
    }
}

void JobMachine::report_tally_check_entry(std::int32_t entry, const char* keyword)
{
    if (std::strcmp(keyword, "SetStartRasterGraphics") == 0) {
        if (ptCurrentFile->ImageWidth == 0 || ptCurrentFile->ImageHeight == 0) {
            report_tally_warn("image_without_size", entry,
                              ptCurrentFile->ImageWidth == 0
                                  ? "an image starts without ImageWidth (0 dots wide: its "
                                    "passes do not move)"
                                  : "an image starts without ImageHeight");
        }
        warn_raster_speeds(entry);
    } else if (std::strcmp(keyword, "execute_penselect") == 0) {
        warn_pen_speed(entry);
    }
}

void JobMachine::report_tally_warn(const char* kind, std::int32_t entry, const std::string& message)
{
    ReportTallyState& s = report_tally_state;
    if (++s.warnings_of_kind[kind] <= warnings_per_kind_max) {
        s.warnings.push_back({kind, entry, message});
    }
}

void JobMachine::report_tally_entry(std::int32_t entry, const char* keyword)
{
    ReportTallyState& s = report_tally_state;
    if (s.timeline_sink != nullptr) {
        s.keywords.push_back({entry, keyword, 0, 0});
    }
    note_machine_warnings(entry);
    fold_runs(false, 0);
    const std::uint32_t first_live = first_live_work();
    if (s.timeline_sink != nullptr) {
        const std::vector<WorkTag>& works = tick_account_state.works;
        write_rows_before(first_live < works.size() ? works[first_live].entry : entry);
    }
    drop_finished_works(first_live);
    show_progress(entry);
}

void JobMachine::report_tally_finish(std::int64_t job_ticks)
{
    ReportTallyState& s = report_tally_state;
    fold_runs(true, job_ticks);
    for (std::uint32_t w = 0; w < tick_account_state.works.size(); ++w) {
        add_work_moves(w);
    }
    tick_account_state.works.clear();
    s.activity_of_work.clear();
    keep_held_point();
    if (s.timeline_sink != nullptr) {
        write_rows_before(std::numeric_limits<std::int32_t>::max());
    }
    if (s.progress_shown) {
        std::fprintf(stderr, "\r%70s\r", "");
        s.progress_shown = false;
    }
}

std::uint64_t ticks_to_ms(std::int64_t ticks)
{
    return ticks <= 0 ? 0 : svo_ms_of_ticks(static_cast<std::uint64_t>(ticks));
}

// The entry of the record the interrupt executes (while it prints from a
// tick), else of the entry being read (a wait of the main loop).
std::int32_t JobMachine::entry_of_current_record() const
{
    const std::vector<WorkTag>& works = tick_account_state.works;
    const VdbData* rec = SVO_VectPtr;
    if (rec != nullptr && rec->work < works.size()) {
        return works[rec->work].entry;
    }
    return tick_account_state.entry;
}

void JobMachine::report_tally_console(std::string_view text)
{
    if (!report_tally_state.enabled) {
        return;
    }
    // The slew handler's lines: once per record for a distance past the
    // counter's limit; on every slew tick while more than 100 polls wait
    // for a free record. The main loop's own line: a wait of 100 polls.
    if (text.starts_with("disth > 0x1000000")) {
        report_tally_warn("long_vector", entry_of_current_record(),
                          "a vector longer than the servo's distance counter holds (the "
                          "machine prints \"disth > 0x1000000\")");
    } else if (text.starts_with("disth1(") || text.starts_with("m_npbdrvCnt(")) {
        report_tally_warn("crowded_queue", entry_of_current_record(),
                          "the machine waited long for a free vector record (it prints \"" +
                              std::string(text.substr(0, text.find('('))) + "\")");
    }
}
