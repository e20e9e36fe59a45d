// The time one pass adds, for the pens of a design cut more than once: the
// job is estimated again with one pass of the pen fewer, on the same
// machine and at the same settings, and the two estimates are subtracted.
// Exact, as every estimate is; it costs one more run per such pen.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "job/job_machine.h"
#include "report/job_report.h"

// The job the design gives with the pen cut passes times, or empty.
using JobWithPasses = std::function<std::string(std::int32_t pen, std::int32_t passes)>;

// Marks the report as that of a design's job, with pens, its pens cut
// more than once (pen, passes and cut per pass set), each with the time
// its last pass adds: whole, the job's result, against the job with_passes
// gives with one pass fewer, run on machine as request runs (its settings,
// replay, limits), with no report, timeline or console.
void add_pass_times(JobMachine& machine, JobRequest request, const JobResult& whole,
                    std::vector<PassTime> pens, const JobWithPasses& with_passes,
                    JobReport* report);
