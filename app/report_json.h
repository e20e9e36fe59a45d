// The report as one JSON document for programs:
// {"schema": ..., "version": ..., "machine": ..., "jobs": [...], "total": {...}}.
#pragma once

#include <string>
#include <vector>

#include "app/job_report.h"

// The version of the document's layout: 2 added schema, machine, each
// job's warnings and stopped_at's line. A program reading the document
// checks it before it reads on.
inline constexpr int json_report_schema = 2;

// The document for all jobs, indented, ending with a newline.
std::string json_report(const std::vector<JobReport>& reports, const char* version);

// One job's object, as it stands in the document's "jobs", without indent.
std::string json_job_text(const JobReport& report);
