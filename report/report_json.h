// The report as one JSON document for programs:
// {"schema": ..., "version": ..., "machine": ..., "jobs": [...], "total": {...}}.
#pragma once

#include <string>
#include <vector>

#include "report/job_report.h"
#include "report/what_if.h"

// The version of the document's layout: 2 added schema, machine, each
// job's warnings and stopped_at's line; 3 each job's overrides and, with a
// rate, the jobs' and the total's cost; 4 the total's estimated (the jobs
// with an estimate, which its figures add up); 5 the pass_times of a job
// imported from a design. A program reading the document checks it before
// it reads on.
inline constexpr int json_report_schema = 5;

// The document for all jobs, indented, ending with a newline; with a rate,
// each job and the total carry their cost.
std::string json_report(const std::vector<JobReport>& reports, const char* version,
                        const std::optional<CostRate>& rate = std::nullopt);

// One job's object, as it stands in the document's "jobs", without indent
// or with indent spaces per level as a document of its own.
std::string json_job_text(const JobReport& report,
                          const std::optional<CostRate>& rate = std::nullopt, int indent = -1);
