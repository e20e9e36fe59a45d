#include "serve/serve.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "base/platform.h"
#include "fwShare/resolution.h"
#include "job/parallel_runs.h"
#include "job/status_file.h"
#include "report/job_report.h"
#include "report/job_svg.h"
#include "report/report_json.h"
#include "report/timeline_csv.h"
#include "report/what_if.h"
#include "serve/estimate_queue.h"
#include "serve/serve_connection.h"
#include "serve/serve_openapi.h"
#include "serve/serve_query.h"
#include "serve/serve_timeline.h"
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

// The text of an error status httplib answers by itself.
std::string status_text(int status, const ServeOptions& options)
{
    switch (status) {
    case 400: return "malformed request";
    case 404: return "no such resource";
    case 405: return "method not allowed here";
    case 408:
        return "the request did not arrive within " + std::to_string(options.header_timeout_s) +
               " s (its headers) and " + std::to_string(options.body_timeout_s) + " s (its body)";
    case 413: return "the body is larger than " + std::to_string(options.max_body) + " bytes";
    case 414: return "the request line is too long";
    case 431: return "the request's headers are too large";
    default: return "HTTP error " + std::to_string(status);
    }
}

// The fields of the timeline's JSON before its rows and moves (the
// object's text without its closing brace): the job, its run time, the
// settings the page offers, the table, the activities and a design's
// import summary.
std::string timeline_head_text(const EstimateRun& run)
{
    const JobReport& r = run.report;
    json activities = json::array();
    for (const ActivityTicks& a : r.activities) {
        activities.push_back({{"kind", activity_kind_name(a.kind)}, {"label", activity_label(a)},
                              {"ms", ticks_to_ms(a.ticks)}});
    }
    const auto mm = [](std::int64_t v) {
        return std::round(static_cast<double>(v) / plotbed_per_mm * 100.0) / 100.0;
    };
    json settings = json::object();
    for (const auto& [key, value] : run.settings) {
        settings[key] = value;
    }
    json doc = {{"job", r.job},
                {"run_time_ms", r.run_time_ms},
                {"settings", settings},
                {"table_mm", {mm(r.table_x), mm(r.table_y)}},
                {"activities", activities}};
    if (!run.design_summary.empty()) {
        doc["design"] = json::parse(run.design_summary);
    }
    std::string text = doc.dump();
    text.pop_back();
    return text;
}

// Sends the text as it is made, in pieces (the answer is never held whole).
void send_text(httplib::Response& res, std::shared_ptr<TimelineText> text, const char* type)
{
    res.set_chunked_content_provider(type, [text](std::size_t, httplib::DataSink& sink) {
        std::string piece;
        if (text->next(&piece)) {
            return sink.write(piece.data(), piece.size());
        }
        sink.done();
        return true;
    });
}

// Answers 422: the timeline did not fit the request's budget; says what
// the budget is and how to ask for less.
void refuse_timeline(httplib::Response& res, const TimelineKeep& keep, bool json_asked,
                     const ServeOptions& options, std::size_t body_bytes)
{
    std::string text = "the timeline of this job needs more than the " +
                       std::to_string(keep.budget()) +
                       " bytes of memory a request's answer may keep here (--memory-budget-mib " +
                       std::to_string(options.memory_budget >> 20) +
                       " and three times the body's " + std::to_string(body_bytes) +
                       " bytes, less 8 MiB for the machine); ask for less: the entries of a part "
                       "of the job with entries=FIRST-LAST";
    if (json_asked) {
        text += ", or the timeline as CSV (Accept: text/csv), which leaves out the head's moves";
    }
    res.status = 422;
    res.set_content(json{{"error", text}, {"limit_bytes", keep.budget()}}.dump() + "\n",
                    "application/json");
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

// The bytes a request's timeline may keep: the budget, and three times
// the body besides the body itself (held all along), less what the
// machine's own work may take.
std::size_t timeline_allowance(const ServeOptions& options, std::size_t body_bytes)
{
    constexpr std::size_t machine_bytes = std::size_t{8} << 20;
    const std::size_t allowed = options.memory_budget + 3 * body_bytes;
    return allowed > machine_bytes ? allowed - machine_bytes : 0;
}

// Reads the job in the request's body, noting the memory it holds; false
// with the error answered.
bool read_job(const httplib::Request& req, httplib::Response& res,
              const httplib::ContentReader& reader, std::size_t max_body, std::string* body)
{
    const bool read = read_body(req, res, reader, max_body, body);
    connection_note_memory(body->capacity());
    return read;
}

// A route that runs the job in the request's body: prepare says what the
// run keeps for the answer (false with the error answered), answer answers.
template <class Prepare, class Answer>
void post_job(httplib::Server& server, const char* pattern,
              const std::shared_ptr<EstimateQueue>& queue, std::size_t max_body, Prepare prepare,
              Answer answer)
{
    server.Post(pattern, [=](const httplib::Request& req, httplib::Response& res,
                             const httplib::ContentReader& reader) {
        std::string body;
        EstimateRun run;
        if (!read_job(req, res, reader, max_body, &body) || !prepare(req, res, body.size(), &run)) {
            return;
        }
        run.body_bytes = body.size();
        if (queue->estimate(req, body, res, &run)) {
            std::string().swap(body);  // the answer needs the job's figures only
            answer(req, res, run);
        }
    });
}

// Whether the timeline is asked for as JSON, with what the page draws.
bool timeline_json_asked(const httplib::Request& req)
{
    return req.get_header_value("Accept").find("application/json") != std::string::npos;
}

// The timeline route: the rows of the CSV, or the JSON the page draws,
// made as they are sent, within the request's memory budget.
void route_timeline(httplib::Server& server, const std::shared_ptr<EstimateQueue>& queue,
                    const ServeOptions& options)
{
    using Req = const httplib::Request&;
    using Res = httplib::Response&;
    const auto prepare = [options](Req req, Res res, std::size_t body_bytes, EstimateRun* run) {
        EntryWindow window;
        if (!read_entry_window(req, res, &window)) {
            return false;
        }
        run->keep = std::make_shared<TimelineKeep>(timeline_allowance(options, body_bytes),
                                                   timeline_json_asked(req), window);
        return true;
    };
    post_job(server, "/v1/timeline", queue, options.max_body, prepare,
             [options](Req req, Res res, const EstimateRun& run) {
                 const bool as_json = timeline_json_asked(req);
                 if (run.keep->over_budget()) {
                     refuse_timeline(res, *run.keep, as_json, options, run.body_bytes);
                 } else if (as_json) {
                     send_text(res,
                               TimelineText::json(run.keep, timeline_head_text(run), run.report),
                               "application/json");
                 } else {
                     send_text(res, TimelineText::csv(run.keep), "text/csv; charset=utf-8");
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
        if (!read_job(req, res, reader, max_body, &body) ||
            !read_sweep_query(req, res, &sweep_asked) || !read_cost_rate(req, res, &rate)) {
            return;
        }
        std::optional<std::uint32_t> fit_ms;
        if (req.has_param("fit_ms")) {
            fit_ms = static_cast<std::uint32_t>(
                positive_number(req.get_param_value("fit_ms"), UINT32_MAX));
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

// The import route: the job file a design imports to, or with Accept:
// application/json the job's text and the import's summary.
void route_import(httplib::Server& server, const std::shared_ptr<EstimateQueue>& queue,
                  std::size_t max_body)
{
    server.Post("/v1/import", [queue, max_body](const httplib::Request& req,
                                                httplib::Response& res,
                                                const httplib::ContentReader& reader) {
        std::string body;
        ImportedBody design;
        if (!read_job(req, res, reader, max_body, &body) ||
            !queue->import(req, body, res, &design)) {
            return;
        }
        std::string().swap(body);
        if (timeline_json_asked(req)) {
            res.set_content(json{{"job", design.job},
                                 {"summary", json::parse(design.summary_json)}}
                                    .dump(2) + "\n",
                            "application/json");
        } else {
            res.set_content(design.job, "application/octet-stream");
        }
    });
}

// The routes that run a job.
void route_jobs(httplib::Server& server, const std::shared_ptr<EstimateQueue>& queue,
                const ServeOptions& options)
{
    using Req = const httplib::Request&;
    using Res = httplib::Response&;
    const auto keep_nothing = [](Req, Res, std::size_t, EstimateRun*) { return true; };
    post_job(server, "/v1/estimate", queue, options.max_body, keep_nothing,
             [](Req, Res res, const EstimateRun& run) {
                 res.set_content(json_job_text(run.report, run.rate, 2) + "\n", "application/json");
             });
    route_timeline(server, queue, options);
    post_job(server, "/v1/picture", queue, options.max_body, keep_nothing,
             [](Req, Res res, const EstimateRun& run) {
                 res.set_content(job_svg(run.report), "image/svg+xml");
                 res.set_header("Content-Security-Policy", picture_policy);
             });
    route_sweep(server, queue, options.max_body);
    route_import(server, queue, options.max_body);
}

// The routes that answer without the machine: the page, version, health
// and the API's description.
void route_static(httplib::Server& server, const ServeOptions& options, const std::string& version)
{
    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
        send_asset(res, "index.html");
    });
    server.Get(R"(/((?:app|charts|design)\.js|app\.css))", [](const httplib::Request& req,
                                                         httplib::Response& res) {
        send_asset(res, req.matches[1].str());
    });
    const std::string version_text = json{{"version", version},
                                          {"model", status_model_word},
                                          {"firmware", status_firmware_version},
                                          {"workers", options.workers}}
                                         .dump() +
                                     "\n";
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

// Answers, before any body is read, a request for a path in a way it is
// not served (405, with the methods it is) or with a body declared over
// the limit (413); the connection then closes.
httplib::Server::HandlerResponse
check_request_head(const httplib::Request& req, httplib::Response& res, const ServeOptions& options)
{
    const char* methods = path_methods(req.path, !options.cors.empty());
    if (methods != nullptr && !method_listed(methods, req.method)) {
        send_error(res, 405, req.path + " takes " + methods + ", not " + req.method);
        res.set_header("Allow", methods);
    } else if (declared_length(req) > options.max_body) {
        send_error(res, 413, status_text(413, options));
    } else {
        return httplib::Server::HandlerResponse::Unhandled;
    }
    if (declares_body(req)) {
        connection_close_after_answer();
    }
    return httplib::Server::HandlerResponse::Handled;
}

// Sets what every answer gets from the service: the errors as JSON (408
// for a request that missed its deadline), and a connection whose request
// was not read to its end closed after the answer.
void set_answer_handlers(httplib::Server& server, const ServeOptions& options)
{
    server.set_error_handler([options](const httplib::Request&, httplib::Response& res) {
        if (connection_timed_out()) {
            send_error(res, 408, status_text(408, options));
            connection_close_after_answer();
        } else if (res.body.empty()) {
            send_error(res, res.status, status_text(res.status, options));
        }
    });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            send_error(res, 500, "the estimate failed inside the service");
        });
    server.set_pre_routing_handler([options](const httplib::Request& req, httplib::Response& res) {
        return check_request_head(req, res, options);
    });
    // A body declared too large is refused before the client sends it.
    server.set_expect_100_continue_handler(
        [options](const httplib::Request& req, httplib::Response& res) {
            if (declared_length(req) <= options.max_body) {
                return 100;
            }
            connection_close_after_answer();
            return res.status = 413;
        });
    server.set_post_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (res.status >= 400 && declares_body(req)) {
            connection_close_after_answer();
        }
        if (connection_closing()) {
            res.headers.erase("Keep-Alive");
            res.set_header("Connection", "close");
        }
    });
}

} // namespace

std::unique_ptr<httplib::Server> make_estimate_server(const ServeOptions& asked,
                                                      const std::string& version)
{
    ServeOptions options = asked;
    if (options.workers == 0) {
        options.workers = hardware_threads();
    }
    auto server = std::make_unique<EstimateServer>(options);
    auto queue = std::make_shared<EstimateQueue>(options);
    server->set_payload_max_length(options.max_body);
    server->set_read_timeout(options.timeout_s, 0);
    server->set_write_timeout(options.timeout_s, 0);
    server->set_keep_alive_timeout(2);
    server->set_keep_alive_max_count(100);
    // An answer's head and body go out as separate writes: without this the
    // body waits for the client's delayed acknowledgement of the head.
    server->set_tcp_nodelay(true);
    server->set_default_headers(default_headers(options));
    set_answer_handlers(*server, options);
    route_jobs(*server, queue, options);
    route_static(*server, options, version);
    return server;
}

int run_serve(const ServeOptions& options, const char* version)
{
    platform::ignore_broken_pipe();
    platform::return_large_blocks_when_freed();
    const std::unique_ptr<httplib::Server> server = make_estimate_server(options, version);
    int port = options.port;
    if (port == 0) {
        port = server->bind_to_any_port(options.host);
    } else if (!server->bind_to_port(options.host, port)) {
        port = -1;
    }
    if (port <= 0) {
        std::fprintf(stderr, "vemtrac: cannot listen on %s port %d\n", options.host.c_str(),
                     options.port);
        return 1;
    }
    std::printf("vemtrac serve: listening on http://%s:%d/\n", options.host.c_str(), port);
    std::fflush(stdout);
    return server->listen_after_bind() ? 0 : 1;
}
