// The report laid out for a terminal: per job its estimate, how the job
// file ended and where the ticks go by motion phase and by activity; after
// several jobs their total.
#pragma once

#include <cstdio>
#include <vector>

#include "app/job_report.h"

// Writes the report of one job.
void write_text_report(std::FILE* out, const JobReport& report);

// Writes the total of several jobs.
void write_text_total(std::FILE* out, const std::vector<JobReport>& reports);

// The name of a motion phase for people ("acceleration"), and for programs
// the same in the JSON report.
const char* phase_label(int phase_index);
