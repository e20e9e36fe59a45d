// The figures of one job's report: how it ended, and where its ticks go,
// counted exactly from the tick log — every tick between the job clock's
// start and end mark once by motion phase and once by activity — with the
// vectors planned, the raster lines, the distances and the head's path as
// the picture shows it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fwShare/servo/servo_state.h"
#include "job/job_run.h"
#include "job/report_tally.h"

struct JobMachine;

// A pen of a design cut more than once, and the time one pass of it adds
// to the job: the estimate of the job minus that of the job with one pass
// of the pen fewer, all else alike (none when either is cut short).
struct PassTime {
    std::int32_t pen = 0;
    std::int32_t passes = 0;     // the passes the job cuts
    double cut_mm_per_pass = 0;
    bool timed = false;          // both jobs ran to the end of their file
    std::int64_t ms = 0;         // the run times' difference, ms
    std::int64_t ticks = 0;      // the tick counts' difference
};

struct JobReport {
    std::string job;               // as named on the command line
    JobOutcome outcome = JobOutcome::unreadable;
    std::string unreadable_reason; // why it could not be read
    bool complete = false;         // the job file was read to its end
    std::int32_t stop_entry = 0;   // where reading stopped early: entry, line, keyword, why
    std::int32_t stop_line = 0;
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
    // The head's path as the picture draws it (PathPoint::activity indexes
    // activities), and the extent of every move, plot-bed units.
    std::vector<PathPoint> path;
    std::int64_t min_x = 0, min_y = 0, max_x = 0, max_y = 0;
    std::uint64_t path_moves_not_drawn = 0;  // moves past the picture's corners
    std::int32_t table_x = 0, table_y = 0;  // the table, plot-bed units
    std::vector<ReportWarning> warnings;     // what looks wrong, in the order found
    SettingOverrides overrides;              // settings the job ran at in place of its own
    bool from_design = false;                // the job was imported from a design
    std::vector<PassTime> pass_times;        // its pens cut more than once
};

// A report for a job that could not be read.
JobReport unreadable_job_report(const std::string& job, const std::string& reason);

// The report of a job just run on m with account_ticks and tally_report,
// from its result and what m tallied (job/report_tally.h); writes the last
// timeline rows.
JobReport make_job_report(JobMachine& m, const std::string& job, const JobResult& result);

// Milliseconds as h:mm:ss, whole seconds (the seconds left over dropped,
// as the machine's own run-time line does).
std::string hours_minutes_seconds(std::uint64_t ms);

// The activity's name for people, e.g. "cutting, pen 2", "image 1 passes".
std::string activity_label(const ActivityTicks& a);

// The activity's name for programs: cut, travel, raster_pass,
// raster_line_step, raster_carriage, other.
const char* activity_kind_name(std::uint8_t kind);

// Average speed of the activity's moves, mm per second (0 without ticks).
double activity_speed_mm_s(const ActivityTicks& a);
