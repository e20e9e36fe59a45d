// The C interface (include/vemtrac/vemtrac.h) over the one way a job is
// run. Each call runs its job on the job machine of the calling thread, so
// that calls from any number of threads run at once, with no lock between
// them; whatever goes wrong inside becomes an error value or an error
// object, never an exception across the boundary.
#include "vemtrac/vemtrac.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/debug_trace.h"
#include "base/shown_text.h"
#include "capi/design_job.h"
#include "job/job_machine.h"
#include "job/report_tally.h"
#include "report/job_report.h"
#include "report/report_json.h"
#include "report/what_if.h"

#ifndef VEMTRAC_VERSION
#define VEMTRAC_VERSION "0.0.0"
#endif

namespace {

// Passes the job's text on to the caller's callback.
void write_to_caller(void* context, ConsoleStream stream, const char* text, std::size_t size)
{
    const auto* options = static_cast<const vemtrac_options*>(context);
    options->console(options->console_context,
                     stream == ConsoleStream::console ? VEMTRAC_STREAM_CONSOLE
                                                      : VEMTRAC_STREAM_DIAGNOSTIC,
                     text, size);
}

// Drops the job's text: a library writes nothing the caller did not ask for.
void drop_text(void*, ConsoleStream, const char*, std::size_t) {}

// A newly allocated copy of text, NUL-terminated (null when memory runs out).
char* copy_out(const std::string& text)
{
    auto* out = static_cast<char*>(std::malloc(text.size() + 1));
    if (out != nullptr) {
        std::memcpy(out, text.data(), text.size() + 1);
    }
    return out;
}

// The error object of the JSON call.
std::string error_json(const std::string& reason)
{
    return nlohmann::ordered_json{{"result", "error"}, {"reason", reason}}.dump();
}

// The error object for a failure inside the library (null when even that
// cannot be made).
char* internal_error() noexcept
{
    try {
        return copy_out(error_json("internal error"));
    } catch (...) {
        return nullptr;
    }
}

// Reads the "set" object into the request's overrides; an empty string, or
// what is wrong with it.
std::string read_settings(const nlohmann::json& set, JobRequest* request)
{
    if (!set.is_object()) {
        return "\"set\" must be an object of integers";
    }
    for (const auto& [key, value] : set.items()) {
        if (!value.is_number_integer()) {
            return "\"set\": the value of \"" + key + "\" must be an integer";
        }
        // An unsigned value past the signed range is out of every field.
        const std::int64_t v = value.is_number_unsigned() &&
                                       value.get<std::uint64_t>() > INT64_MAX
                                   ? INT64_MAX
                                   : value.get<std::int64_t>();
        SettingOverride setting;
        std::string error;
        if (!make_setting_override(key, v, &setting, &error)) {
            return "\"set\": " + error;
        }
        add_setting_override(&request->overrides, setting);
    }
    return {};
}

// A non-negative number of options_json.
std::optional<double> read_amount(const nlohmann::json& value)
{
    if (!value.is_number() || value.get<double>() < 0 || !std::isfinite(value.get<double>())) {
        return std::nullopt;
    }
    return value.get<double>();
}

// What options_json holds besides the request's own fields.
struct JsonOptions {
    std::string name;
    std::optional<double> rate;  // per hour of machine time
    double setup_minutes = 0;
    std::optional<std::uint32_t> fit_ms;  // a sweep's slot
    std::string import_settings;          // a design's import settings, JSON

    // The rate the times are priced at, when one is given.
    std::optional<CostRate> cost_rate() const
    {
        return rate ? std::optional<CostRate>(CostRate{*rate, setup_minutes}) : std::nullopt;
    }
};

// Reads options_json into the request and the rest of the options; an
// empty string, or what is wrong with the options. A slot is for sweeps
// only (with_sweep).
std::string read_json_options(const char* options_json, JobRequest* request, JsonOptions* out,
                              bool with_sweep)
{
    if (options_json == nullptr) {
        return {};
    }
    const auto options = nlohmann::json::parse(options_json, nullptr, false);
    if (options.is_discarded() || !options.is_object()) {
        return "options_json is not a JSON object";
    }
    for (const auto& [key, value] : options.items()) {
        if (key == "replay") {
            if (!value.is_string() || !replay_by_name(value.get<std::string>(), &request->replay)) {
                return "\"replay\" must be \"fast\", \"full\" or \"literal\"";
            }
        } else if (key == "tick_limit") {
            // The parser reads every integer from 0 up as unsigned.
            if (value.is_number_unsigned()) {
                request->tick_limit = value.get<std::uint64_t>();
            } else if (!value.is_null()) {
                return "\"tick_limit\" must be a non-negative integer or null";
            }
        } else if (key == "job") {
            if (!value.is_string()) {
                return "\"job\" must be a string";
            }
            out->name = value.get<std::string>();
        } else if (key == "set") {
            const std::string wrong = read_settings(value, request);
            if (!wrong.empty()) {
                return wrong;
            }
        } else if (key == "rate") {
            out->rate = read_amount(value);
            if (!out->rate) {
                return "\"rate\" must be a non-negative number";
            }
        } else if (with_sweep && key == "fit_ms") {
            if (!value.is_number_unsigned() || value.get<std::uint64_t>() > UINT32_MAX) {
                return "\"fit_ms\" must be a whole number of milliseconds";
            }
            out->fit_ms = value.get<std::uint32_t>();
        } else if (key == "import") {
            if (!value.is_object()) {
                return "\"import\" must be an object of import settings";
            }
            out->import_settings = value.dump();
        } else if (key == "setup_minutes") {
            const std::optional<double> minutes = read_amount(value);
            if (!minutes) {
                return "\"setup_minutes\" must be a non-negative number";
            }
            out->setup_minutes = *minutes;
        } else {
            return "unknown option \"" + key + "\"";
        }
    }
    return {};
}

// Runs the request with the tick log kept and gives its report as JSON.
char* report_json(JobRequest request, const char* options_json, const std::string& name)
{
    try {
        JsonOptions options;
        options.name = name;
        const std::string wrong = read_json_options(options_json, &request, &options, false);
        if (!wrong.empty()) {
            return copy_out(error_json(wrong));
        }
        const DesignRun design = import_if_design(request, options.name, options.import_settings);
        if (design.is_design && !design.ok) {
            return copy_out(json_job_text(unreadable_job_report(options.name, design.reason),
                                          options.cost_rate()));
        }
        run_design_job(design, &request);
        request.account_ticks = true;
        request.tally_report = true;
        // The report's tally reads the machine's warnings from its console;
        // nothing reaches the caller.
        request.console = ConsoleSink{drop_text, nullptr};
        JobMachine& machine = thread_job_machine();
        const JobResult result = machine.run_job(request);
        JobReport report = result.outcome == JobOutcome::unreadable
                               ? unreadable_job_report(options.name, result.unreadable_reason)
                               : make_job_report(machine, options.name, result);
        add_design_warnings(design, &report.warnings);
        if (design.ok) {
            add_pass_times(machine, request, result, design.pass_times, design.with_passes,
                           &report);
        }
        return copy_out(json_job_text(report, options.cost_rate()));
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (...) {
        return internal_error();
    }
}

// Runs the sweep the request and the values ask for and gives its JSON.
char* sweep_json(JobRequest request, const char* key, const std::int64_t* values,
                 std::size_t count, const char* options_json)
{
    try {
        JsonOptions options;
        const std::string wrong = read_json_options(options_json, &request, &options, true);
        if (!wrong.empty()) {
            return copy_out(error_json(wrong));
        }
        // More values than a sweep takes are refused before any is copied.
        const std::vector<std::int64_t> asked(
            values, values + (count <= SWEEP_MAX_VALUES ? count : SWEEP_MAX_VALUES + 1));
        SweepSpec sweep;
        std::string error;
        if (!make_sweep(key, asked, &sweep, &error) ||
            !sweep_leaves_settings(sweep, request.overrides, &error)) {
            return copy_out(error_json(error));
        }
        const DesignRun design = import_if_design(request, options.name, options.import_settings);
        if (design.is_design && !design.ok) {
            return copy_out(error_json(design.reason));
        }
        run_design_job(design, &request);
        request.console = ConsoleSink{drop_text, nullptr};
        return copy_out(sweep_json_text(run_sweep(request, sweep), options.cost_rate(),
                                        options.name, options.fit_ms));
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (...) {
        return internal_error();
    }
}

// Copies text into a fixed field of the result, cut to fit.
template <std::size_t N>
void copy_field(char (&field)[N], const std::string& text)
{
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// The bytes of the options a caller of an API version passes: a caller of
// API 1 has the fields before the settings only.
std::size_t options_size(int api_version)
{
    return api_version >= 2 ? sizeof(vemtrac_options) : offsetof(vemtrac_options, settings);
}

// The first trace category of a comma-separated list that has no such
// name (blanks around names and empty names are let be), or empty.
std::string unknown_trace_category(const char* list)
{
    std::string_view rest = list != nullptr ? list : "";
    while (!rest.empty()) {
        const std::size_t comma = std::min(rest.find(','), rest.size());
        std::string_view name = rest.substr(0, comma);
        rest.remove_prefix(std::min(comma + 1, rest.size()));
        while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) {
            name.remove_prefix(1);
        }
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) {
            name.remove_suffix(1);
        }
        if (!name.empty() && dbg_category_by_name(std::string(name).c_str()) < 0) {
            return std::string(name);
        }
    }
    return {};
}

// What is wrong with the options beyond their settings: an API version
// this library does not know, or a trace category it does not have; empty
// when nothing is.
std::string options_problem(const vemtrac_options& o)
{
    if (o.api_version < 1 || o.api_version > VEMTRAC_API_VERSION) {
        return "api_version " + std::to_string(o.api_version) +
               " is not one this library knows (1 to " + std::to_string(VEMTRAC_API_VERSION) +
               "): set the options with vemtrac_options_init";
    }
    const std::string unknown = unknown_trace_category(o.trace_categories);
    if (!unknown.empty()) {
        return "no trace category \"" + shown::text(unknown) +
               "\" (the names are those of "
               "VEMTRAC_DEBUG, e.g. ShowJobTime, DeltaMove)";
    }
    return {};
}

// Runs the request with the caller's options and fills the typed result.
int estimate(JobRequest request, const vemtrac_options* options, vemtrac_result* result)
{
    if (result == nullptr) {
        return VEMTRAC_ERROR_ARGUMENT;
    }
    vemtrac_options o;
    vemtrac_options_init(&o);
    if (options != nullptr) {
        // A version this library does not know is refused before its
        // fields are read.
        const int version = options->api_version;
        std::memcpy(&o, options,
                    options_size(version >= 1 && version <= VEMTRAC_API_VERSION ? version : 1));
        o.api_version = version;
    }
    try {
        const std::string problem = options_problem(o);
        if (!problem.empty()) {
            *result = vemtrac_result{};
            copy_field(result->reason, problem);
            return VEMTRAC_ERROR_ARGUMENT;
        }
    } catch (const std::bad_alloc&) {
        return VEMTRAC_ERROR_MEMORY;
    } catch (...) {
        return VEMTRAC_ERROR_INTERNAL;
    }
    if (o.settings == nullptr && o.settings_count != 0) {
        return VEMTRAC_ERROR_ARGUMENT;
    }
    try {
        for (std::size_t i = 0; i < o.settings_count; ++i) {
            SettingOverride setting;
            std::string error;
            const char* key = o.settings[i].key;
            if (!make_setting_override(key != nullptr ? key : "", o.settings[i].value, &setting,
                                       &error)) {
                *result = vemtrac_result{};
                copy_field(result->reason, error);
                return VEMTRAC_ERROR_ARGUMENT;
            }
            add_setting_override(&request.overrides, setting);
        }
    } catch (const std::bad_alloc&) {
        return VEMTRAC_ERROR_MEMORY;
    } catch (...) {
        return VEMTRAC_ERROR_INTERNAL;
    }
    switch (o.replay) {
    case VEMTRAC_REPLAY_FAST:
        request.replay = ReplayMode::fast;
        break;
    case VEMTRAC_REPLAY_FULL:
        request.replay = ReplayMode::full;
        break;
    case VEMTRAC_REPLAY_LITERAL:
        request.replay = ReplayMode::literal;
        break;
    default:
        return VEMTRAC_ERROR_ARGUMENT;
    }
    if (o.tick_limit != 0) {
        request.tick_limit = o.tick_limit;
    }
    request.trace_names = o.trace_categories;
    request.console = o.console != nullptr
                          ? ConsoleSink{write_to_caller, &o}
                          : ConsoleSink{drop_text, nullptr};
    try {
        const DesignRun design =
            import_if_design(request, request.job_path != nullptr ? request.job_path : "", "");
        if (design.is_design && !design.ok) {
            *result = vemtrac_result{};
            result->outcome = VEMTRAC_OUTCOME_UNREADABLE;
            copy_field(result->reason, design.reason);
            return VEMTRAC_SUCCESS;
        }
        run_design_job(design, &request);
        const JobResult run = thread_job_machine().run_job(request);
        *result = vemtrac_result{};
        result->outcome = run.outcome == JobOutcome::ok        ? VEMTRAC_OUTCOME_OK
                          : run.outcome == JobOutcome::refused ? VEMTRAC_OUTCOME_REFUSED
                                                               : VEMTRAC_OUTCOME_UNREADABLE;
        const bool read = run.outcome != JobOutcome::unreadable;
        result->complete = read && run.end.complete ? 1 : 0;
        result->run_time_ms = run.outcome == JobOutcome::ok ? run.end.run_time.ms : 0;
        result->ticks = run.ticks > 0 ? run.ticks : 0;
        result->stopped_entry = read && !run.end.complete ? run.end.entry : 0;
        copy_field(result->stopped_keyword, read && !run.end.complete ? run.end.keyword : "");
        copy_field(result->reason, read ? (run.end.complete ? "" : run.end.reason)
                                        : run.unreadable_reason);
        return VEMTRAC_SUCCESS;
    } catch (const std::bad_alloc&) {
        return VEMTRAC_ERROR_MEMORY;
    } catch (...) {
        return VEMTRAC_ERROR_INTERNAL;
    }
}

} // namespace

extern "C" {

const char* vemtrac_version(void)
{
    return VEMTRAC_VERSION;
}

char* vemtrac_report_json(const char* job, size_t job_len, const char* options_json)
{
    if (job == nullptr && job_len != 0) {
        return copy_out(error_json("job is NULL with a length of " + std::to_string(job_len)));
    }
    JobRequest request;
    request.job_bytes = std::string_view(job != nullptr ? job : "", job_len);
    return report_json(request, options_json, "");
}

char* vemtrac_report_json_file(const char* path, const char* options_json)
{
    if (path == nullptr) {
        return copy_out(error_json("path is NULL"));
    }
    JobRequest request;
    request.job_path = path;
    return report_json(request, options_json, path);
}

char* vemtrac_sweep_json(const char* job, size_t job_len, const char* key,
                         const int64_t* values, size_t count, const char* options_json)
{
    if (job == nullptr && job_len != 0) {
        return copy_out(error_json("job is NULL with a length of " + std::to_string(job_len)));
    }
    if (key == nullptr || (values == nullptr && count != 0)) {
        return copy_out(error_json(key == nullptr ? "key is NULL" : "values is NULL with a count"));
    }
    JobRequest request;
    request.job_bytes = std::string_view(job != nullptr ? job : "", job_len);
    return sweep_json(request, key, values, count, options_json);
}

void vemtrac_free(void* p)
{
    std::free(p);
}

void vemtrac_options_init_version(vemtrac_options* options, int api_version)
{
    if (options != nullptr) {
        vemtrac_options defaults{};
        defaults.api_version = api_version;
        defaults.replay = VEMTRAC_REPLAY_FAST;
        std::memcpy(options, &defaults, options_size(api_version));
    }
}

void(vemtrac_options_init)(vemtrac_options* options)
{
    vemtrac_options_init_version(options, 1);
}

int vemtrac_estimate(const char* job, size_t job_len, const vemtrac_options* options,
                     vemtrac_result* result)
{
    if (job == nullptr && job_len != 0) {
        return VEMTRAC_ERROR_ARGUMENT;
    }
    JobRequest request;
    request.job_bytes = std::string_view(job != nullptr ? job : "", job_len);
    return estimate(request, options, result);
}

int vemtrac_estimate_file(const char* path, const vemtrac_options* options,
                          vemtrac_result* result)
{
    if (path == nullptr) {
        return VEMTRAC_ERROR_ARGUMENT;
    }
    JobRequest request;
    request.job_path = path;
    return estimate(request, options, result);
}

} // extern "C"
