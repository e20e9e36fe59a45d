#include "serve/serve.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "base/console.h"
#include "base/platform.h"
#include "fwShare/resolution.h"
#include "job/entry_log.h"
#include "job/job_run.h"
#include "job/report_tally.h"
#include "job/status_file.h"
#include "replay/tick_account.h"
#include "report/job_report.h"
#include "report/job_svg.h"
#include "report/report_json.h"
#include "report/timeline_csv.h"
#include "report/what_if.h"
#include "serve/serve_query.h"
#include "serve/web_assets.h"

using json = nlohmann::ordered_json;

namespace {

// The page may load only its own script, style and data: nothing inline,
// nothing from elsewhere, and no other site may frame it.
const char* const page_policy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// The picture is shown as an image: its own inline styles, nothing else.
const char* const picture_policy = "default-src 'none'; style-src 'unsafe-inline'";

// Plot-bed units per millimetre, for the moves the page draws.
constexpr double plotbed_per_mm = machine_plotbed_dpi / 25.4;

// A setting the job ran at: its key and value (overridden or its own).
using JobSetting = std::pair<std::string, std::int32_t>;

// A job run: its report, and for each move of report.path the entry of
// the job file that queued it.
struct EstimateRun {
    JobReport report;
    std::vector<TimelineRow> timeline;  // in file order
    std::vector<HeadMove> moves;        // as committed
    std::int32_t start_x = 0, start_y = 0;  // the head at the job's start, plot-bed units
    // The settings a what-if can change that the job uses: the speed code
    // of each pen it cuts with, and with raster work its raster speeds and
    // banding.
    std::vector<JobSetting> settings;
    std::optional<CostRate> rate;  // the rate the estimate is priced at
};

// The text of an error status httplib answers by itself.
std::string status_text(int status, const ServeOptions& options)
{
    switch (status) {
    case 400: return "malformed request";
    case 404: return "no such resource";
    case 405: return "method not allowed here";
    case 408: return "the request took too long to arrive";
    case 413: return "the body is larger than " + std::to_string(options.max_body) + " bytes";
    case 414: return "the request line is too long";
    case 431: return "the request's headers are too large";
    default: return "HTTP error " + std::to_string(status);
    }
}

// A request's job keeps its console to itself: the lines only feed the
// machine's warnings to the report, and the server's log stays clean.
void feed_warnings(void*, ConsoleStream stream, const char* text, std::size_t size)
{
    if (stream == ConsoleStream::console) {
        report_tally_console(std::string_view(text, size));
    }
}

// Drops a sweep's console: only the run times are answered.
void drop_console(void*, ConsoleStream, const char*, std::size_t) {}

// The value a setting ran at: the override's when there is one, else the
// job's own.
std::int32_t setting_value(const std::string& bytes, const SettingOverrides& overrides,
                           const std::string& key)
{
    for (const SettingOverride& setting : overrides) {
        if (setting.key == key) {
            return setting.value;
        }
    }
    return setting_as_written(bytes, key);
}

// The settings the job uses that a what-if can change: each pen it cuts
// with, in pen order, and with raster passes the raster speeds and banding.
std::vector<JobSetting> job_settings(const JobReport& report, const std::string& bytes,
                                     const SettingOverrides& overrides)
{
    std::vector<std::string> keys;
    bool raster = false;
    std::vector<std::int32_t> pens;
    for (const ActivityTicks& a : report.activities) {
        if (a.kind == WORK_CUT && a.index >= 1 && a.index <= 16) {
            pens.push_back(a.index);
        }
        raster = raster || a.kind == WORK_RASTER_PASS;
    }
    std::sort(pens.begin(), pens.end());
    pens.erase(std::unique(pens.begin(), pens.end()), pens.end());
    for (const std::int32_t pen : pens) {
        keys.push_back("VectorSpeed." + std::to_string(pen));
    }
    if (raster) {
        keys.insert(keys.end(), {"RasterSpeedX", "RasterSpeedY", "RasterBandingFree"});
    }
    std::vector<JobSetting> settings;
    for (const std::string& key : keys) {
        settings.emplace_back(key, setting_value(bytes, overrides, key));
    }
    return settings;
}

// Keeps a timeline row of the job being run.
void keep_timeline_row(const TimelineRow& row, void* run)
{
    static_cast<EstimateRun*>(run)->timeline.push_back(row);
}

// Runs the jobs sent, one at a time on the one machine, and lets a bounded
// number of requests wait for it.
class EstimateQueue {
public:
    explicit EstimateQueue(const ServeOptions& options) : options_(options) {}

    // Runs the job of the request; false with the error answered.
    bool run(const httplib::Request& req, const std::string& body, httplib::Response& res,
             EstimateRun* out)
    {
        EstimateAsk ask;
        if (!read_ask(req, body, res, options_, &ask)) {
            return false;
        }
        return hold_machine(res, [&] { run_locked(body, ask, machine_deadline(), out); });
    }

    // Runs the sweep of the request; false with the error answered.
    bool sweep(const httplib::Request& req, const std::string& body, httplib::Response& res,
               const SweepSpec& sweep_asked, SweepResult* out, std::string* name)
    {
        EstimateAsk ask;
        std::string clash;
        if (!read_ask(req, body, res, options_, &ask)) {
            return false;
        }
        if (!sweep_leaves_settings(sweep_asked, ask.overrides, &clash)) {
            send_error(res, 400, "set and key: " + clash);
            return false;
        }
        *name = ask.name;
        // The whole sweep has one estimate's time: a point still running
        // when it is over is cut short, and so are the points after it.
        return hold_machine(res, [&] {
            const JobRequest request{.job_bytes = body,
                                     .console = ConsoleSink{drop_console, nullptr},
                                     .tick_limit = ask.tick_limit,
                                     .deadline = machine_deadline(),
                                     .replay = ask.replay,
                                     .overrides = ask.overrides};
            *out = run_sweep(request, sweep_asked);
        });
    }

private:
    // Takes a place in the queue when one is free.
    bool enter_queue()
    {
        std::lock_guard<std::mutex> lock(count_mutex_);
        if (waiting_ >= options_.queue) {
            return false;
        }
        ++waiting_;
        return true;
    }

    // Gives the place up, the machine taken or the wait given up.
    void leave_queue()
    {
        std::lock_guard<std::mutex> lock(count_mutex_);
        --waiting_;
    }

    // Waits for the machine with a place in the queue and does the work
    // with it held; false with the error answered when it stays busy.
    template <class Work>
    bool hold_machine(httplib::Response& res, Work work)
    {
        if (!enter_queue()) {
            return busy(res, "too many estimates are waiting");
        }
        const bool got = machine_.try_lock_for(std::chrono::seconds(options_.timeout_s));
        leave_queue();
        if (!got) {
            return busy(res, "the machine stayed busy for " + std::to_string(options_.timeout_s) + " s");
        }
        std::lock_guard<std::timed_mutex> hold(machine_, std::adopt_lock);
        work();
        return true;
    }

    // When an estimate that starts now must end: the machine was just got.
    ReplayClock::time_point machine_deadline() const
    {
        return ReplayClock::now() + std::chrono::milliseconds(options_.time_limit_ms);
    }

    // Answers 503: the client may try again in a second.
    static bool busy(httplib::Response& res, const std::string& why)
    {
        send_error(res, 503, why + "; try again shortly");
        res.set_header("Retry-After", "1");
        return false;
    }

    // The job run itself, with the machine held and its console kept out
    // of the answers; a job still running at the deadline is cut short.
    static void run_locked(const std::string& bytes, const EstimateAsk& ask,
                           ReplayClock::time_point deadline, EstimateRun* out)
    {
        const JobResult result = run_job({.job_bytes = bytes,
                                          .console = ConsoleSink{feed_warnings, nullptr},
                                          .tick_limit = ask.tick_limit,
                                          .deadline = deadline,
                                          .replay = ask.replay,
                                          .overrides = ask.overrides,
                                          .account_ticks = true,
                                          .tally_report = true,
                                          .keep_moves = true,
                                          .timeline_row = keep_timeline_row,
                                          .timeline_context = out});
        const bool read = result.outcome != JobOutcome::unreadable;
        out->rate = ask.rate;
        out->report = read ? make_job_report(ask.name, result)
                           : unreadable_job_report(ask.name, result.unreadable_reason);
        if (read) {
            out->moves = std::move(entry_log_state.moves);
            out->start_x = entry_log_state.start_x;
            out->start_y = entry_log_state.start_y;
            out->settings = job_settings(out->report, bytes, ask.overrides);
        }
    }

    const ServeOptions options_;
    std::timed_mutex machine_;  // the machine's state is one per process
    std::mutex count_mutex_;
    int waiting_ = 0;
};

// The job object of the report's JSON document.
std::string job_json_text(const JobReport& report, const std::string& version,
                          const std::optional<CostRate>& rate)
{
    const json doc = json::parse(json_report({report}, version.c_str(), rate));
    return doc["jobs"][0].dump(2) + "\n";
}

// The timeline with what the page draws: the table, the activities and
// each move of the head in millimetres with the entry that queued it.
std::string timeline_json_text(const EstimateRun& run)
{
    const JobReport& r = run.report;
    json rows = json::array();
    for (const TimelineRow& row : run.timeline) {
        rows.push_back({{"entry", row.entry}, {"keyword", row.keyword},
                        {"start_ms", row.start_ms}, {"end_ms", row.end_ms}});
    }
    json activities = json::array();
    for (const ActivityTicks& a : r.activities) {
        activities.push_back({{"kind", activity_kind_name(a.kind)}, {"label", activity_label(a)},
                              {"ms", ticks_to_ms(a.ticks)}});
    }
    json moves = json::array();
    const auto mm = [](std::int64_t v) { return std::round(static_cast<double>(v) / plotbed_per_mm * 100.0) / 100.0; };
    std::int64_t x = run.start_x;
    std::int64_t y = run.start_y;
    for (const HeadMove& m : run.moves) {
        std::size_t activity = 0;
        while (activity < r.activities.size() &&
               (r.activities[activity].kind != m.kind || r.activities[activity].index != m.index)) {
            ++activity;
        }
        const std::int64_t x1 = x + m.dx;
        const std::int64_t y1 = y + m.dy;
        moves.push_back({mm(x), mm(y), mm(x1), mm(y1), activity, m.entry});
        x = x1;
        y = y1;
    }
    json settings = json::object();
    for (const auto& [key, value] : run.settings) {
        settings[key] = value;
    }
    const json doc = {{"job", r.job},
                      {"run_time_ms", r.run_time_ms},
                      {"settings", settings},
                      {"table_mm", {mm(r.table_x), mm(r.table_y)}},
                      {"activities", activities},
                      {"timeline", rows},
                      {"moves", moves}};
    return doc.dump() + "\n";
}

// The API as an OpenAPI document.
std::string openapi_text(const std::string& version)
{
    const auto number = [](const char* name, const char* type, const char* description) {
        return json{{"name", name}, {"in", "query"}, {"description", description}, {"schema", {{"type", type}}}};
    };
    json job_query = json::array(
        {{{"name", "replay"}, {"in", "query"}, {"schema", {{"type", "string"}, {"enum", {"fast", "full", "literal"}}}}},
         {{"name", "tick_limit"}, {"in", "query"}, {"schema", {{"type", "integer"}, {"minimum", 1}}}},
         {{"name", "name"}, {"in", "query"}, {"description", "the job's name in the answer"}, {"schema", {{"type", "string"}}}},
         {{"name", "set"}, {"in", "query"}, {"style", "form"}, {"explode", true},
          {"description", "KEY=VALUE, repeatable: the job runs as if the setting KEY (a job-file keyword that sets one value, "
                          "or VectorSpeed.N for pen N's speed code) were VALUE throughout"},
          {"schema", {{"type", "array"}, {"items", {{"type", "string"}, {"example", "RasterSpeedX=800"}}}}}}});
    job_query.push_back(number("rate", "number", "an amount per hour of machine time: the estimate (each run of a sweep) gets a cost"));
    job_query.push_back(number("setup", "number", "minutes of setup per job, priced at the rate"));
    json sweep_query = job_query;
    sweep_query.push_back({{"name", "key"}, {"in", "query"}, {"required", true},
                           {"description", "the setting swept, as set= names it"}, {"schema", {{"type", "string"}}}});
    sweep_query.push_back(number("values", "string", "the values, comma-separated (or from, to and step)"));
    sweep_query.push_back(number("from", "integer", "the first value"));
    sweep_query.push_back(number("to", "integer", "the last value, included when the steps reach it"));
    sweep_query.push_back(number("step", "integer", "from one value to the next, at least 1"));
    sweep_query.push_back(number("fit_ms", "integer", "a slot in milliseconds: each run says whether it fits"));

    const json job_body = {{"required", true},
                           {"content", {{"application/octet-stream", {{"schema", {{"type", "string"}, {"format", "binary"}}}}}}}};
    const json errors = {
        {"400", {{"description", "malformed request"}}},
        {"413", {{"description", "body over the size limit"}}},
        {"503", {{"description", "too many estimates waiting; see Retry-After"}}}};
    const auto post = [&](const char* summary, const char* type) {
        json responses = errors;
        responses["200"] = {{"description", summary}, {"content", {{type, json::object()}}}};
        return json{{"post", {{"summary", summary}, {"parameters", job_query},
                              {"requestBody", job_body}, {"responses", responses}}}};
    };
    json sweep = post("the job once as written and once per value of one setting (at most 1001): run times, and costs with a rate",
                      "application/json");
    sweep["post"]["parameters"] = sweep_query;
    const auto get = [](const char* summary) {
        return json{{"get", {{"summary", summary}, {"responses", {{"200", {{"description", summary}}}}}}}};
    };
    const json doc = {
        {"openapi", "3.0.3"},
        {"info", {{"title", "vemtrac estimate service"}, {"version", version}}},
        {"paths",
         {{"/v1/estimate", post("the job's estimate and where its time goes, as in the JSON report", "application/json")},
          {"/v1/timeline", post("the machine time of each entry: CSV, or JSON (with the head's moves) with Accept: application/json", "text/csv")},
          {"/v1/picture", post("the job drawn on the table", "image/svg+xml")},
          {"/v1/sweep", sweep},
          {"/v1/version", get("version and machine model")},
          {"/healthz", get("the service is up")},
          {"/v1/openapi.json", get("this document")}}}};
    return doc.dump(2) + "\n";
}

// The content type of a file of the page.
const char* asset_type(const std::string& name)
{
    if (name.ends_with(".html")) {
        return "text/html; charset=utf-8";
    }
    if (name.ends_with(".css")) {
        return "text/css; charset=utf-8";
    }
    return "text/javascript; charset=utf-8";
}

// Serves a file of the page from the program itself.
void send_asset(httplib::Response& res, const std::string& name)
{
    const WebAsset* a = find_web_asset(name);
    if (a == nullptr) {
        send_error(res, 404, "no such resource");
        return;
    }
    res.set_content(reinterpret_cast<const char*>(a->data), a->size, asset_type(name));
    res.set_header("Content-Security-Policy", page_policy);
    res.set_header("Cache-Control", "no-cache");
    res.set_header("Referrer-Policy", "no-referrer");
}

// The headers every answer carries: no type guessing, and the one origin
// allowed to call when there is one.
httplib::Headers default_headers(const ServeOptions& options)
{
    httplib::Headers h{{"X-Content-Type-Options", "nosniff"}};
    if (!options.cors.empty()) {
        h.emplace("Access-Control-Allow-Origin", options.cors);
        h.emplace("Vary", "Origin");
    }
    return h;
}

// A route that runs the job in the request's body.
template <class Answer>
void post_job(httplib::Server& server, const char* pattern,
              const std::shared_ptr<EstimateQueue>& queue, std::size_t max_body, Answer answer)
{
    server.Post(pattern, [queue, max_body, answer](const httplib::Request& req, httplib::Response& res,
                                                    const httplib::ContentReader& reader) {
        std::string body;
        if (!read_body(res, reader, max_body, &body)) {
            return;
        }
        EstimateRun run;
        if (queue->run(req, body, res, &run)) {
            answer(req, res, run);
        }
    });
}

// The sweep route: the job in the body run once as written and once per
// value of the sweep the query asks for.
void route_sweep(httplib::Server& server, const std::shared_ptr<EstimateQueue>& queue,
                 std::size_t max_body)
{
    server.Post("/v1/sweep", [queue, max_body](const httplib::Request& req, httplib::Response& res,
                                               const httplib::ContentReader& reader) {
        std::string body;
        SweepSpec sweep_asked;
        std::optional<CostRate> rate;
        if (!read_body(res, reader, max_body, &body) || !read_sweep_query(req, res, &sweep_asked) ||
            !read_cost_rate(req, res, &rate)) {
            return;
        }
        std::optional<std::uint32_t> fit_ms;
        if (req.has_param("fit_ms")) {
            fit_ms = static_cast<std::uint32_t>(positive_number(req.get_param_value("fit_ms"), UINT32_MAX));
            if (*fit_ms == 0) {
                send_error(res, 400, "fit_ms must be a whole number of milliseconds from 1");
                return;
            }
        }
        SweepResult result;
        std::string name;
        if (queue->sweep(req, body, res, sweep_asked, &result, &name)) {
            res.set_content(sweep_json_text(result, rate, name, fit_ms), "application/json");
        }
    });
}

// The routes that run a job.
void route_jobs(httplib::Server& server, const std::shared_ptr<EstimateQueue>& queue,
                const ServeOptions& options, const std::string& version)
{
    using Req = const httplib::Request&;
    using Res = httplib::Response&;
    post_job(server, "/v1/estimate", queue, options.max_body, [version](Req, Res res, const EstimateRun& run) {
        res.set_content(job_json_text(run.report, version, run.rate), "application/json");
    });
    post_job(server, "/v1/timeline", queue, options.max_body, [](Req req, Res res, const EstimateRun& run) {
        if (req.get_header_value("Accept").find("application/json") != std::string::npos) {
            res.set_content(timeline_json_text(run), "application/json");
        } else {
            std::string csv = timeline_csv_header();
            for (const TimelineRow& row : run.timeline) {
                csv += timeline_csv_row(row);
            }
            res.set_content(csv, "text/csv; charset=utf-8");
        }
    });
    post_job(server, "/v1/picture", queue, options.max_body, [](Req, Res res, const EstimateRun& run) {
        res.set_content(job_svg(run.report), "image/svg+xml");
        res.set_header("Content-Security-Policy", picture_policy);
    });
    route_sweep(server, queue, options.max_body);
}

// The routes that answer without the machine: the page, version, health
// and the API's description.
void route_static(httplib::Server& server, const ServeOptions& options, const std::string& version)
{
    server.Get("/", [](const httplib::Request&, httplib::Response& res) { send_asset(res, "index.html"); });
    server.Get(R"(/((?:app|charts)\.js|app\.css))", [](const httplib::Request& req,
                                                         httplib::Response& res) {
        send_asset(res, req.matches[1].str());
    });
    const std::string version_text =
        json{{"version", version}, {"model", status_model_word}, {"firmware", status_firmware_version}}.dump() + "\n";
    server.Get("/v1/version", [version_text](const httplib::Request&, httplib::Response& res) {
        res.set_content(version_text, "application/json");
    });
    server.Get("/healthz", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("{\"status\":\"ok\"}\n", "application/json");
    });
    const std::string openapi = openapi_text(version);
    server.Get("/v1/openapi.json", [openapi](const httplib::Request&, httplib::Response& res) {
        res.set_content(openapi, "application/json");
    });
    if (!options.cors.empty()) {
        server.Options(R"(/v1/.*)", [](const httplib::Request&, httplib::Response& res) {
            res.status = 204;
            res.set_header("Access-Control-Allow-Methods", "GET, POST");
            res.set_header("Access-Control-Allow-Headers", "Content-Type, Accept");
            res.set_header("Access-Control-Max-Age", "600");
        });
    }
}

} // namespace

std::unique_ptr<httplib::Server> make_estimate_server(const ServeOptions& options,
                                                      const std::string& version)
{
    auto server = std::make_unique<httplib::Server>();
    auto queue = std::make_shared<EstimateQueue>(options);
    // Enough threads that the queue can fill while others are still
    // answered (the page, health checks, errors).
    const auto threads = static_cast<std::size_t>(options.queue) + 4;
    server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server->set_payload_max_length(options.max_body);
    server->set_read_timeout(options.timeout_s, 0);
    server->set_write_timeout(options.timeout_s, 0);
    server->set_keep_alive_timeout(2);
    // An answer's head and body go out as separate writes: without this the
    // body waits for the client's delayed acknowledgement of the head.
    server->set_tcp_nodelay(true);
    server->set_default_headers(default_headers(options));
    server->set_error_handler([options](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            send_error(res, res.status, status_text(res.status, options));
        }
    });
    server->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        send_error(res, 500, "the estimate failed inside the service");
    });
    route_jobs(*server, queue, options, version);
    route_static(*server, options, version);
    return server;
}

int run_serve(const ServeOptions& options, const char* version)
{
    platform::ignore_broken_pipe();
    const std::unique_ptr<httplib::Server> server = make_estimate_server(options, version);
    int port = options.port;
    if (port == 0) {
        port = server->bind_to_any_port(options.host);
    } else if (!server->bind_to_port(options.host, port)) {
        port = -1;
    }
    if (port <= 0) {
        std::fprintf(stderr, "vemtrac: cannot listen on %s port %d\n", options.host.c_str(), options.port);
        return 1;
    }
    std::printf("vemtrac serve: listening on http://%s:%d/\n", options.host.c_str(), port);
    std::fflush(stdout);
    return server->listen_after_bind() ? 0 : 1;
}
