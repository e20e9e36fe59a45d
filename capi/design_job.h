// The C interface's designs: bytes or a file handed in where a job goes
// that are a design are imported first, and vemtrac_import_json.
#pragma once

#include <string>
#include <vector>

#include "job/job_run.h"
#include "report/pass_times.h"

// A request's input after the import: a design imported (job holds the
// job's bytes), a design that could not be, or no design at all.
struct DesignRun {
    bool is_design = false;
    bool ok = false;
    std::string reason;  // why the design could not be imported
    std::string job;
    std::vector<std::string> warnings;
    std::vector<PassTime> pass_times;  // its pens cut more than once, not yet timed
    JobWithPasses with_passes;         // its job at other passes, when there are such pens
};

// Imports the request's input when it is a design, with the settings of
// settings_json (empty: the defaults); name names it (its extension a hint
// at the format). A bad setting is a reason too.
DesignRun import_if_design(const JobRequest& request, const std::string& name,
                           const std::string& settings_json);

// Runs design_run's job in the request's place: request.job_bytes then
// points into run, which must outlive the request.
inline void run_design_job(const DesignRun& run, JobRequest* request)
{
    if (run.ok) {
        request->job_bytes = run.job;
    }
}

// Puts the import's warnings before the report's own.
inline void add_design_warnings(const DesignRun& run, std::vector<ReportWarning>* warnings)
{
    std::vector<ReportWarning> first;
    for (const std::string& warning : run.warnings) {
        first.push_back(ReportWarning{"design_import", 0, warning});
    }
    warnings->insert(warnings->begin(), first.begin(), first.end());
}
