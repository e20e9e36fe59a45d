// One whole job, from power-on to its result: the single way a job is run,
// by the program, the fuzz target, the tests and the benchmarks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/console.h"
#include "job/command_file.h"
#include "job/entry_log.h"
#include "job/report_tally.h"
#include "job/setting_override.h"
#include "replay/tick_runner.h"

// A job only read and planned, for the cost of that alone. With its
// records freed as they are committed, each record is planned with no
// record before it to look back on; with the ring held full (a record
// freed, oldest first, only when the next one is needed), each is planned
// with the look-back of a job whose queue stays full, as a job of short
// moves keeps it.
enum class PlanOnly { off, freed_at_commit, ring_full };

struct JobRequest {
    // The machine's own mode: the folder of this path (the program's argv[0])
    // holds Vemtrac.cmd, and Vemtrac.sts is written beside it.
    const char* program_path = nullptr;
    // Or a job file of any name, or the bytes of one (read where they
    // stand; job_path, when also set, then names them in messages): no
    // status file is written, the result holds its lines.
    const char* job_path = nullptr;
    std::optional<std::string_view> job_bytes;
    // Where the machine's console lines and the diagnostics go for this run
    // (by default standard output and standard error).
    ConsoleSink console = console_standard_sink();
    // Trace categories to switch on, as VEMTRAC_DEBUG names them (or null).
    const char* trace_names = nullptr;
    // Planner dumps after every planned move (bit 0 servo globals, bit 1 record).
    std::uint32_t planner_dump_flags = 0;
    // Most servo ticks the job may run.
    std::uint64_t tick_limit = replay_max_job_ticks;
    // The wall-clock time by which the job must have ended, if any: a job
    // still running then is cut short as by the tick limit.
    std::optional<ReplayClock::time_point> deadline;
    // How the ticks run: the default run, the full replay or the literal
    // replay (the oracle). Same estimate every way.
    ReplayMode replay = ReplayMode::fast;
    // Settings the job runs at in place of its own, each key once
    // (report/what_if.h).
    SettingOverrides overrides;
    // Keep the log of where the ticks go (tick_account_state) for a report.
    bool account_ticks = false;
    // Read and plan the job only, running no tick: what reading and
    // planning cost, not an estimate (PlanOnly).
    PlanOnly plan_only = PlanOnly::off;
    // With account_ticks: add the report up while the job runs, emptying the
    // log as it goes (job/report_tally.h), and hand each timeline row to
    // timeline_row (when set) as soon as its entry is done.
    bool tally_report = false;
    TimelineSink timeline_row = nullptr;
    void* timeline_context = nullptr;
    // With tally_report: hand each move of the head to move_sink (when set)
    // as the queue commits it (job/entry_log.h).
    MoveSink move_sink = nullptr;
    void* move_context = nullptr;
    // With tally_report: show the job's progress on standard error when it
    // is a terminal and the job takes more than a second.
    bool show_progress = true;
};

// How a job run came out.
enum class JobOutcome : std::uint8_t {
    ok,          // estimated: the status lines start with "VMTC_OK"
    refused,     // the job file's version is not 1
    unreadable,  // the job file could not be opened (or the status file not created),
                 // or what was handed in is no job file
};

// The outcome as reports write it: "ok", "refused", "unreadable".
const char* job_outcome_name(JobOutcome outcome);

struct JobResult {
    JobOutcome outcome = JobOutcome::unreadable;
    std::string unreadable_reason;  // why a job file could not be read, e.g. "X is a folder"
    JobEnd end;                     // how the job ended: estimate, stop, status lines
    std::int32_t ticks = 0;         // ticks between the job clock's start and end mark
    SettingOverrides overrides;     // the settings the job ran at in place of its own
};

// The replay VEMTRAC_REPLAY asks for ("full", "literal"; the default run
// otherwise).
ReplayMode replay_from_environment();

// The replay a name asks for; false when the name is none of "fast",
// "full" and "literal".
bool replay_by_name(const std::string& name, ReplayMode* mode);
