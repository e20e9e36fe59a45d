#include "serve/serve_design.h"

#include "job/file_kind.h"

#ifdef VEMTRAC_DESIGN_IMPORT
#include "design/design_import.h"
#include "report/design_estimate.h"
#endif

namespace {

#ifdef VEMTRAC_DESIGN_IMPORT
// The settings of the query over the defaults, checked as a whole; false
// with *error.
bool settings_of(const ImportArgs& args, DesignSettings* settings, std::string* error)
{
    for (const auto& [name, value] : args) {
        if (!design_setting_set(settings, name, value, error)) {
            return false;
        }
    }
    return design_settings_check(*settings, error);
}
#endif

} // namespace

std::size_t import_allowance(std::size_t memory_budget, std::size_t body_bytes)
{
    return memory_budget + 3 * body_bytes;
}

#ifdef VEMTRAC_DESIGN_IMPORT
bool import_setting_known(std::string_view name)
{
    return design_setting_known(name);
}

std::string import_args_problem(const ImportArgs& args)
{
    DesignSettings settings;
    std::string error;
    return settings_of(args, &settings, &error) ? std::string() : "import " + error;
}

ImportedBody import_body(std::string_view body, const std::string& name, const ImportArgs& args,
                         std::size_t memory_limit, bool must)
{
    ImportedBody out;
    DesignSettings settings;
    std::string error;
    settings_of(args, &settings, &error);  // read_import_args has checked them
    settings.memory_limit = memory_limit;
    const std::string_view head = body.substr(0, file_head_size);
    out.is_design = must ? !reads_as_job_file(head) : is_design_input(head, name, settings);
    if (must && !out.is_design) {
        out.error = name + " is a job file already: estimate it as it is";
    }
    if (!out.is_design) {
        return out;
    }
    DesignImport result = design_import(body, name, settings);
    out.ok = result.ok;
    out.error = std::move(result.error);
    out.job = std::move(result.job);
    out.summary_json = design_summary_json(result.summary);
    out.warnings = std::move(result.summary.warnings);
    out.pass_times = repeated_pens(result.summary);
    if (out.ok && !out.pass_times.empty()) {
        out.with_passes = design_with_passes(std::string(body), name, settings);
    }
    return out;
}
#else
bool import_setting_known(std::string_view)
{
    return false;
}

std::string import_args_problem(const ImportArgs&)
{
    return {};
}

ImportedBody import_body(std::string_view, const std::string&, const ImportArgs&, std::size_t,
                         bool must)
{
    ImportedBody out;
    if (must) {
        out.is_design = true;
        out.error = "this build of the service has no design import";
    }
    return out;
}
#endif

std::string design_refusal(const ImportedBody& design, std::size_t memory_budget,
                           std::size_t body_bytes)
{
    std::string text = design.error;
    if (text.find("of memory allowed") != std::string::npos) {
        text += " (a request may take --memory-budget-mib " + std::to_string(memory_budget >> 20) +
                " and three times its " + std::to_string(body_bytes) + " bytes here)";
    }
    return text;
}
