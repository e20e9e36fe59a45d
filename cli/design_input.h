// The command line's designs: vemtrac import, and the designs --report
// estimates as the jobs they import to. Built without the design import,
// every design is refused with a message that says so.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "report/pass_times.h"

// Why the settings cannot be used, or empty.
std::string design_settings_problem(const DesignSettingArgs& args);

// A report input that is a design, imported in memory.
struct DesignJob {
    bool is_design = false;  // the file is a design (not a job file)
    bool ok = false;         // imported: job holds its bytes
    std::string error;       // why not
    std::string job;
    std::vector<std::string> warnings;
    std::vector<PassTime> pass_times;  // its pens cut more than once, not yet timed
    JobWithPasses with_passes;         // its job at other passes, when there are such pens
};

// When the file at path is a design, imports it with the command line's
// settings; is_design false for anything else (a job file, a folder).
DesignJob design_job_of(const std::string& path, const CliOptions& options);

// vemtrac import DESIGN -o JOB: writes the job, prints the summary. The
// exit code: 0 written, 1 the design could not be read or imported, 2 a
// usage problem (nothing written), 4 the job could not be written.
int run_import(const CliOptions& options);
