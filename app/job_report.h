// The figures of one job's report: how it ended, and where its ticks go,
// counted exactly from the tick log — every tick between the job clock's
// start and end mark once by motion phase and once by activity — with the
// vectors planned, the raster lines, the distances, each entry's span of
// machine time and the head's path.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/job_run.h"
#include "fwShare/servo/servo_isr.h"

// The ticks of one kind of work: cutting with a pen, pen-up travel, one
// image's passes or line steps, the raster carriage moves, other moves.
struct ActivityTicks {
    std::uint8_t kind = 0;      // WorkKind
    std::int32_t index = 0;     // pen (cutting) or image number (raster passes and line steps)
    std::int64_t ticks = 0;
    std::uint64_t moves = 0;    // VECTOR records
    double distance_mm = 0.0;
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

// One move of the head on the table, plot-bed units, with its activity
// (an index into JobReport::activities).
struct PathMove {
    std::int64_t x0, y0, x1, y1;
    std::uint32_t activity;
};

struct JobReport {
    std::string job;               // as named on the command line
    JobOutcome outcome = JobOutcome::unreadable;
    std::string unreadable_reason; // why it could not be read
    bool complete = false;         // the job file was read to its end
    std::int32_t stop_entry = 0;   // where reading stopped early: entry, keyword, why
    std::string stop_keyword;
    std::string stop_reason;
    std::uint32_t run_time_ms = 0; // the estimate the status file holds
    std::int64_t ticks = 0;        // job clock's end mark minus its start mark
    std::array<std::int64_t, SVO_PHASE_COUNT> phases{};  // ticks per SvoPhase
    std::vector<ActivityTicks> activities;
    std::int64_t vectors_planned = 0;
    std::int64_t raster_lines = 0;
    double cut_mm = 0.0;
    double travel_mm = 0.0;
    std::vector<TimelineRow> timeline;
    std::vector<PathMove> path;
    std::int32_t table_x = 0, table_y = 0;  // the table, plot-bed units
};

// A report for a job that could not be read.
JobReport unreadable_job_report(const std::string& job, const std::string& reason);

// The report of a job just run with account_ticks, from its result and the
// machine's state after it (tick log, entry log, planner counters).
JobReport make_job_report(const std::string& job, const JobResult& result);

// Milliseconds as h:mm:ss, whole seconds (the seconds left over dropped,
// as the machine's own run-time line does).
std::string hours_minutes_seconds(std::uint64_t ms);

// Milliseconds of machine time for a count of ticks (2 ticks / 5).
std::uint64_t ticks_to_ms(std::int64_t ticks);

// The activity's name for people, e.g. "cutting, pen 2", "image 1 passes".
std::string activity_label(const ActivityTicks& a);

// The activity's name for programs: cut, travel, raster_pass,
// raster_line_step, raster_carriage, other.
const char* activity_kind_name(std::uint8_t kind);

// Average speed of the activity's moves, mm per second (0 without ticks).
double activity_speed_mm_s(const ActivityTicks& a);
