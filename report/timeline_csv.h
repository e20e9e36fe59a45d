// The timeline of a job as CSV, "entry,keyword,start_ms,end_ms": one row
// per entry of the job file that queued motion, in file order, with the
// machine time from the job clock's start at which its first record starts
// executing and its last one ends. A sender shows the time remaining with it.
// The rows are written as the entries finish, while the job runs.
#pragma once

#include <string>

#include "job/report_tally.h"

// The header line, ending LF.
std::string timeline_csv_header();

// One row, ending LF.
std::string timeline_csv_row(const TimelineRow& row);
