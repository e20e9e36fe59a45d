// The report as one JSON document for programs:
// {"version": ..., "jobs": [...], "total": {...}}.
#pragma once

#include <string>
#include <vector>

#include "app/job_report.h"

// The document for all jobs, indented, ending with a newline.
std::string json_report(const std::vector<JobReport>& reports, const char* version);

// One job's object, as it stands in the document's "jobs", without indent.
std::string json_job_text(const JobReport& report);
