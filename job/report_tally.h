// The report's figures gathered while the job runs, so that what the report
// keeps does not grow with the job: after each entry the ticks logged so far
// are added up by phase, activity and entry and the log is emptied, the
// tags of finished work are dropped, each entry's span of machine time goes
// to the timeline as soon as the entry is done, and the head's moves are
// kept only as far as the picture can show them.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fwShare/machine_params.h"
#include "fwShare/servo/servo_state.h"

// The ticks of one kind of work: cutting with a pen, pen-up travel, one
// image's passes or line steps, the raster carriage moves, other moves.
struct ActivityTicks {
    std::uint8_t kind = 0;      // WorkKind
    std::int32_t index = 0;     // pen (cutting) or image number (raster passes and line steps)
    std::int64_t ticks = 0;
    std::uint64_t moves = 0;    // VECTOR records
    double distance_mm = 0.0;
    // The rectangle its moves sweep, plot-bed units (when swept).
    bool swept = false;
    std::int64_t min_x = 0, min_y = 0, max_x = 0, max_y = 0;
    // The entry of its first move that takes the head off the table (0: none).
    std::int32_t off_table_entry = 0;
};

// The machine time of one entry of the job file that queued motion, from
// the job clock's start: its first tick starts at start_ms, its last tick
// ends at end_ms (the estimate's rounding, ms = 2 ticks / 5).
struct TimelineRow {
    std::int32_t entry = 0;
    std::string keyword;
    std::uint64_t start_ms = 0;
    std::uint64_t end_ms = 0;
};

// Something about a job that looks wrong: a warning the machine itself
// prints (long_vector, crowded_queue) or a sanity note (empty_job,
// off_table, raster_off_table, image_without_size, speed_out_of_range,
// too_fast), with the entry it concerns
// (0: the job as a whole).
struct ReportWarning {
    std::string kind;
    std::int32_t entry = 0;
    std::string message;
};

// Warnings kept per kind; more of a kind are only counted.
inline constexpr std::size_t warnings_per_kind_max = 10;

// Where each finished timeline row goes.
using TimelineSink = void (*)(const TimelineRow& row, void* context);

// A corner of the head's path as the picture draws it, plot-bed units: a
// polyline of one activity starts at a point with starts set.
struct PathPoint {
    std::int64_t x, y;
    std::uint32_t activity;  // index into ReportTallyState::activities
    bool starts;
};

struct ReportTallyState {
    bool enabled = false;
    TimelineSink timeline_sink = nullptr;
    void* timeline_context = nullptr;

    // Activities in the order they were first met, and each one's place.
    std::vector<ActivityTicks> activities;
    std::map<std::tuple<int, std::int32_t, int>, std::uint32_t> activity_of_key;
    std::vector<std::uint32_t> activity_of_work;  // per tick_account_state.works entry

    // Ticks inside the job window, by phase and by activity; the ticks after
    // the job clock's latest end mark wait in pending until the head leaves
    // its hold state again (they count) or the job ends (they do not).
    std::array<std::int64_t, SVO_PHASE_COUNT> phases{};
    std::array<std::int64_t, SVO_PHASE_COUNT> pending_phases{};
    std::vector<std::int64_t> pending_activity_ticks;
    std::int32_t end_mark_seen = 0;

    // The timeline: the spans of the entries not yet written, and the
    // keywords of the entries that queued motion, oldest first.
    std::map<std::int32_t, TimelineRow> spans;
    std::deque<TimelineRow> keywords;

    // The head's path, simplified: the head's position, the extent of all
    // its moves, the corners kept and the one the simplification holds back.
    std::int64_t head_x = 0, head_y = 0;
    std::int64_t min_x = 0, min_y = 0, max_x = 0, max_y = 0;
    std::vector<PathPoint> points;
    double tolerance = 0.0;       // plot-bed units a dropped corner may lie off the path
    bool held = false;            // a corner is held back (the last point's successor)
    bool path_break = false;      // a move not drawn as a line came between
    bool path_full = false;       // as many corners as the picture draws: no more
    std::uint64_t moves_not_drawn = 0;
    PathPoint held_point{};
    double wedge_low = 0, wedge_high = 0;  // directions from the last kept corner still open
    bool wedge_open = false;

    // Warnings, at most warnings_per_kind_max of a kind, and how many more.
    std::vector<ReportWarning> warnings;
    std::map<std::string, std::uint64_t> warnings_of_kind;
    bool off_table_warned = false;

    // Progress on a terminal (when asked for): when the job began and when
    // it was last shown.
    bool show_progress = false;
    std::uint32_t started_ms = 0;
    std::uint32_t shown_ms = 0;
    bool progress_shown = false;
    std::int32_t entries_read = 0;
};
// The table's far edge in Y, plot-bed units: its length, or the page's top
// edge (the PCL origin's Y) where that lies beyond it, so that a design
// placed at the page's top-left corner lies on the table.
std::int32_t table_far_edge_y(const MachineParamState& params);


// Milliseconds of machine time for a count of ticks (2 ticks / 5).
std::uint64_t ticks_to_ms(std::int64_t ticks);
