// The report mode: runs each job given with the tick log kept, and prints
// its report (text or JSON); writes the timeline and the picture of a
// single job when asked. No status file is written.
#pragma once

#include "cli/cli_options.h"

// The exit codes of the report, the most serious first: an output lost
// outweighs a job that could not be read, which outweighs one cut short.
enum ReportExit : int {
    REPORT_ALL_COMPLETE = 0,  // every job read and run to the end of its file
    REPORT_UNREADABLE = 1,    // a job could not be read
    REPORT_USAGE = 2,         // the command line is wrong; nothing ran
    REPORT_CUT_SHORT = 3,     // a job stopped before its end, or was refused
    REPORT_OUTPUT_FAILED = 4, // an output could not be created or written
};

// Runs the jobs and writes the reports. Returns a ReportExit.
int run_reports(const CliOptions& options, const char* version);
