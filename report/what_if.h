// What if: a job run at settings other than its own, a sweep of one setting
// over a range of values, and what the machine time costs.
//
// A setting overridden to VALUE means: an entry "KEY VALUE" stands before
// the job's first entry, and every entry of the job that sets KEY sets VALUE
// instead. For "VectorSpeed.N" (pen N, 1..16): a VectorSpeed entry with the
// machine's power-on codes and code N = VALUE stands first, and every
// VectorSpeed entry of the job has its N-th code replaced.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/job_run.h"
#include "job/setting_override.h"

struct JobMachine;

// The keys a setting can be overridden by, in the order help texts list them
// ("VectorSpeed.N" stands for the sixteen pens).
const std::vector<std::string>& setting_override_keys();

// Checks a key and a value given apart (the library's "set" object): false,
// with a message naming the key, when the key is none of the overridable
// ones or the value does not fit the field it sets.
bool make_setting_override(std::string_view key, std::int64_t value, SettingOverride* setting,
                           std::string* error);

// Reads "KEY=VALUE" as --set and the service's set= give it.
bool parse_setting_override(std::string_view text, SettingOverride* setting, std::string* error);

// Adds a setting to a list: a later value for the same key replaces the
// earlier one.
void add_setting_override(SettingOverrides* settings, const SettingOverride& setting);

// Most values one sweep may take.
inline constexpr std::size_t SWEEP_MAX_VALUES = 1001;

// One setting and the values a sweep runs the job at, in order.
struct SweepSpec {
    std::string key;
    std::vector<std::int32_t> values;
};

// Reads "KEY=FROM:TO:STEP" (FROM and TO included, FROM <= TO, STEP > 0, at
// most SWEEP_MAX_VALUES values, each fitting the key's field).
bool parse_sweep(std::string_view text, SweepSpec* sweep, std::string* error);

// Checks a key and a list of values given apart (the library, the module and
// the service): the same checks as parse_sweep, values kept in the order given.
bool make_sweep(std::string_view key, const std::vector<std::int64_t>& values, SweepSpec* sweep,
                std::string* error);

// False, with why, when the settings held fixed for a sweep include the
// setting swept: the job's own value would be hidden (every surface refuses
// it).
bool sweep_leaves_settings(const SweepSpec& sweep, const SettingOverrides& overrides,
                           std::string* error);

// The value the job as written runs at for a key: the first value the job
// sets for it, or the machine's power-on value when the job never sets it.
std::int32_t setting_as_written(std::string_view job_bytes, const std::string& key);

// Machine time priced: (run time in hours + setup in hours) x rate.
struct CostRate {
    double per_hour = 0;       // amount per hour of machine time
    double setup_minutes = 0;  // per job
};

// The cost of a run time, rounded to two decimals, as "12.34".
std::string cost_text(double run_time_ms, const CostRate& rate);

// The cost of several jobs: each job's setup counted once per job estimated.
std::string total_cost_text(double run_time_ms, std::size_t jobs, const CostRate& rate);

// The same cost as a number for JSON documents.
double cost_number(double run_time_ms, const CostRate& rate);

// One value of a sweep and how the job ran at it.
struct SweepPoint {
    std::int32_t value = 0;
    JobResult result;
};

// A sweep's runs: the job as written (with the request's own overrides) and
// once per value of the sweep.
struct SweepResult {
    std::string key;
    std::int32_t written_value = 0;
    JobResult as_written;
    std::vector<SweepPoint> points;
};

// Runs the job once as written and once per value of the sweep, each run
// from power-on. The request holds the job's bytes (read once by the
// caller) and any fixed overrides, which leave the sweep's key alone
// (sweep_leaves_settings); each point adds the sweep's key.
SweepResult run_sweep(const JobRequest& request, const SweepSpec& sweep);

// Told after each run of a sweep: the runs done (the job as written is the
// first) and the runs in all.
using SweepProgress = void (*)(void* context, std::size_t done, std::size_t total);

// The same on up to threads threads at once, telling progress after each
// run. The results and what the runs write to the request's console come in
// the same order, whatever the number of threads.
SweepResult run_sweep(const JobRequest& request, const SweepSpec& sweep, unsigned threads,
                      SweepProgress progress, void* context);

// The same, every run on the one machine given.
SweepResult run_sweep(JobMachine& machine, const JobRequest& request, const SweepSpec& sweep);

// The sweep as the JSON object {"sweep": {"key", "points": [{"value",
// "run_time_ms", "run_time", "ticks", "complete"[, "cost"]}, ...],
// "as_written": {...}}}, text ready to print.
std::string sweep_json_text(const SweepResult& sweep, const std::optional<CostRate>& rate);

// The same as the program prints it: the sweep also names the job and the
// settings held fixed ("job", "overrides") and, with a slot, gives it
// ("fit_ms") and whether each run fits it ("fits").
std::string sweep_json_text(const SweepResult& sweep, const std::optional<CostRate>& rate,
                            const std::string& job, const std::optional<std::uint32_t>& fit_ms);
