// The estimate service's designs: a body that is an SVG, DXF, plot file,
// PNG or JPEG rather than a job file is imported first, with the import
// settings the query gives, within the request's memory, and the job it
// imports to is run in its place. Built without the design import, every
// body is a job and /v1/import says there is no import.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report/pass_times.h"

// The import settings of a query in the order given: (name, value), the
// names as the import's JSON has them.
using ImportArgs = std::vector<std::pair<std::string, std::string>>;

// True when name (as the import's JSON names it) is an import setting;
// false for every name in a build without the import.
bool import_setting_known(std::string_view name);

// Why the settings do not hold together ("import ..."), or nothing.
std::string import_args_problem(const ImportArgs& args);

// A request's body after the import.
struct ImportedBody {
    bool is_design = false;    // the body is a design, not a job file
    bool ok = false;           // imported: job holds the job file's bytes
    std::string error;         // why not: "NAME: the problem"
    std::string job;
    std::vector<std::string> warnings;
    std::string summary_json;  // what the import did, a JSON object
    // The pens cut more than once and the design's jobs at other passes,
    // for the time one pass adds (the design is kept only for those).
    std::vector<PassTime> pass_times;
    JobWithPasses with_passes;
};

// Imports the body when it is a design (when it is not a job file, with
// must), named name (its extension a hint at the format), within
// memory_limit bytes besides the body.
ImportedBody import_body(std::string_view body, const std::string& name, const ImportArgs& args,
                         std::size_t memory_limit, bool must);

// The memory a request's import may take besides its body: the budget and
// three times the body, as every request may grow the service by.
std::size_t import_allowance(std::size_t memory_budget, std::size_t body_bytes);

// Why a design could not be imported, for the 422 answer: the problem,
// and the request's allowance when memory was short.
std::string design_refusal(const ImportedBody& design, std::size_t memory_budget,
                           std::size_t body_bytes);
