// The report laid out for a terminal: per job its estimate, how the job
// file ended and where the ticks go by motion phase and by activity; after
// several jobs their total.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "report/job_report.h"
#include "report/what_if.h"

// Writes the report of one job; with a rate, what its machine time costs.
void write_text_report(std::FILE* out, const JobReport& report,
                       const std::optional<CostRate>& rate = std::nullopt);

// The total's heading: "Total of 5 jobs", or with jobs that have no
// estimate (refused, unreadable) "Total of 3 of 5 jobs (2 could not be
// estimated)"; "1 job", never "1 jobs".
std::string total_heading(std::size_t jobs, std::size_t estimated);

// Writes the total of several jobs; with a rate, what they cost.
void write_text_total(std::FILE* out, const std::vector<JobReport>& reports,
                      const std::optional<CostRate>& rate = std::nullopt);

// Writes a sweep as a table: each value's run time, in ms, its difference
// from the job as written, its cost with a rate, and whether it fits the
// slot with one.
void write_sweep_table(std::FILE* out, const SweepResult& sweep, const std::string& job,
                       const std::optional<CostRate>& rate,
                       const std::optional<std::uint32_t>& fit_ms);

// The settings overridden as a report line shows them:
// "RasterSpeedX 800, VectorSpeed.4 500".
std::string overrides_text(const SettingOverrides& overrides);

// The name of a motion phase for people ("acceleration"), and for programs
// the same in the JSON report.
const char* phase_label(int phase_index);
