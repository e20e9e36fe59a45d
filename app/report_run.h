// The report mode: runs each job given with the tick log kept, and prints
// its report (text or JSON); writes the timeline and the picture of a
// single job when asked. No status file is written.
#pragma once

#include "app/cli_options.h"

// Runs the jobs and writes the reports. Returns the exit code: 0 when every
// job was read and every file written, 1 otherwise.
int run_reports(const CliOptions& options, const char* version);
