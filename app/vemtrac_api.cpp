// The C interface (include/vemtrac/vemtrac.h) over the one way a job is
// run. Each call holds the library's lock for the whole job, since the
// machine's state is process-wide; whatever goes wrong inside becomes an
// error value or an error object, never an exception across the boundary.
#include "vemtrac/vemtrac.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include <nlohmann/json.hpp>

#include "app/job_report.h"
#include "app/job_run.h"
#include "app/report_tally.h"
#include "app/report_json.h"

#ifndef VEMTRAC_VERSION
#define VEMTRAC_VERSION "0.0.0"
#endif

namespace {

// One job at a time: the machine's state belongs to the whole process.
std::mutex job_lock;

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

// The report's JSON job: the console only feeds the machine's warnings.
void warnings_only(void*, ConsoleStream stream, const char* text, std::size_t size)
{
    if (stream == ConsoleStream::console) {
        report_tally_console(std::string_view(text, size));
    }
}

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

// Reads options_json into the request and the job's name; an empty string,
// or what is wrong with the options.
std::string read_json_options(const char* options_json, JobRequest* request, std::string* name)
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
            *name = value.get<std::string>();
        } else {
            return "unknown option \"" + key + "\"";
        }
    }
    return {};
}

// Runs the request with the tick log kept and gives its report as JSON.
char* report_json(JobRequest request, const char* options_json, std::string name)
{
    try {
        const std::string wrong = read_json_options(options_json, &request, &name);
        if (!wrong.empty()) {
            return copy_out(error_json(wrong));
        }
        request.account_ticks = true;
        request.tally_report = true;
        request.console = ConsoleSink{warnings_only, nullptr};
        const std::lock_guard<std::mutex> hold(job_lock);
        const JobResult result = run_job(request);
        const JobReport report = result.outcome == JobOutcome::unreadable
                                     ? unreadable_job_report(name, result.unreadable_reason)
                                     : make_job_report(name, result);
        return copy_out(json_job_text(report));
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (...) {
        try {
            return copy_out(error_json("internal error"));
        } catch (...) {
            return nullptr;
        }
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

// Runs the request with the caller's options and fills the typed result.
int estimate(JobRequest request, const vemtrac_options* options, vemtrac_result* result)
{
    if (result == nullptr) {
        return VEMTRAC_ERROR_ARGUMENT;
    }
    vemtrac_options o;
    vemtrac_options_init(&o);
    if (options != nullptr) {
        o = *options;
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
        const std::lock_guard<std::mutex> hold(job_lock);
        const JobResult run = run_job(request);
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

void vemtrac_free(void* p)
{
    std::free(p);
}

void vemtrac_options_init(vemtrac_options* options)
{
    if (options != nullptr) {
        *options = vemtrac_options{};
        options->api_version = VEMTRAC_API_VERSION;
        options->replay = VEMTRAC_REPLAY_FAST;
    }
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
