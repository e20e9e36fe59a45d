// The timeline of a job as CSV, "entry,keyword,start_ms,end_ms": one row
// per entry of the job file that queued motion, in file order, with the
// machine time from the job clock's start at which its first record starts
// executing and its last one ends. A sender shows the time remaining with it.
#pragma once

#include <string>

#include "app/job_report.h"

// The CSV text, each line ending LF.
std::string timeline_csv(const JobReport& report);
