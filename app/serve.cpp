#include "app/serve.h"

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

#include "app/entry_log.h"
#include "app/job_report.h"
#include "app/job_run.h"
#include "app/report_tally.h"
#include "app/job_svg.h"
#include "app/report_json.h"
#include "app/status_file.h"
#include "app/timeline_csv.h"
#include "app/web_assets.h"
#include "app/what_if.h"
#include "base/console.h"
#include "base/platform.h"
#include "fwShare/resolution.h"
#include "replay/tick_account.h"

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

// What one estimate request asks the machine for.
struct EstimateAsk {
    ReplayMode replay = ReplayMode::fast;
    std::uint64_t tick_limit = replay_max_job_ticks;
    std::string name = "upload";
    SettingOverrides overrides;  // the set= parameters
    std::optional<CostRate> rate;  // rate= and setup=: the estimate's cost
};

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

// Answers with a JSON error document.
void send_error(httplib::Response& res, int status, const std::string& message)
{
    res.status = status;
    res.set_content(json{{"error", message}}.dump() + "\n", "application/json");
}

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

// A whole number of decimal digits within 1..limit, or 0.
std::uint64_t positive_number(const std::string& text, std::uint64_t limit)
{
    if (text.empty() || text.size() > 19) {
        return 0;
    }
    std::uint64_t n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n <= limit ? n : 0;
}

// The job's name for the answers: at most 255 bytes of valid UTF-8 (JSON
// holds nothing else); a name that is not keeps its ASCII, '?' for the rest.
std::string job_name(const std::string& asked)
{
    std::string name = asked.substr(0, 255);
    try {
        (void)json(name).dump();
        return name;
    } catch (const json::exception&) {
        for (char& c : name) {
            c = (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) ? '?' : c;
        }
        return name;
    }
}

// The value of a hexadecimal digit, or -1.
int hex_digit(char c)
{
    return c >= '0' && c <= '9' ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// A query's text with %XX and '+' decoded; a '%' without two hex digits
// stands as it is.
std::string query_decoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex_digit(text[i + 1]) >= 0 &&
            hex_digit(text[i + 2]) >= 0) {
            out += static_cast<char>(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]));
            i += 2;
        } else {
            out += text[i] == '+' ? ' ' : text[i];
        }
    }
    return out;
}

// Every value of a query parameter, in order, read from the request's own
// target: httplib keeps only what follows a value's last '=', and
// "set=RasterSpeedX=800" is written with the '=' as it stands.
std::vector<std::string> query_values(const httplib::Request& req, std::string_view name)
{
    std::vector<std::string> values;
    const std::size_t mark = req.target.find('?');
    if (mark == std::string::npos) {
        return values;
    }
    std::string_view query = std::string_view(req.target).substr(mark + 1);
    while (!query.empty()) {
        const std::size_t amp = std::min(query.find('&'), query.size());
        const std::string_view part = query.substr(0, amp);
        const std::size_t eq = std::min(part.find('='), part.size());
        if (query_decoded(part.substr(0, eq)) == name) {
            values.push_back(query_decoded(part.substr(std::min(eq + 1, part.size()))));
        }
        query.remove_prefix(std::min(amp + 1, query.size()));
    }
    return values;
}

// A non-negative decimal amount of the query, or nothing; false with the
// error answered when it is there and not such an amount.
bool read_amount(const httplib::Request& req, httplib::Response& res, const char* name,
                 std::optional<double>* amount)
{
    if (!req.has_param(name)) {
        return true;
    }
    const std::string text = req.get_param_value(name);
    const bool decimal = !text.empty() && text.size() <= 32 &&
                         std::all_of(text.begin(), text.end(), [](char c) {
                             return (c >= '0' && c <= '9') || c == '.';
                         }) &&
                         std::count(text.begin(), text.end(), '.') <= 1 && text != ".";
    if (!decimal) {
        send_error(res, 400, std::string(name) + " must be a non-negative decimal number");
        return false;
    }
    *amount = std::strtod(text.c_str(), nullptr);
    return true;
}

// The rate and setup of the query (rate= per hour, setup= minutes), when a
// rate is given; false with the error answered.
bool read_cost_rate(const httplib::Request& req, httplib::Response& res,
                    std::optional<CostRate>* rate)
{
    std::optional<double> per_hour;
    std::optional<double> setup;
    if (!read_amount(req, res, "rate", &per_hour) || !read_amount(req, res, "setup", &setup)) {
        return false;
    }
    if (per_hour) {
        *rate = CostRate{*per_hour, setup.value_or(0.0)};
    }
    return true;
}

// Reads the query of an estimate request; false with the error answered.
bool read_ask(const httplib::Request& req, const std::string& body, httplib::Response& res,
              const ServeOptions& options, EstimateAsk* ask)
{
    ask->tick_limit = options.tick_limit;
    if (req.has_param("replay") && !replay_by_name(req.get_param_value("replay"), &ask->replay)) {
        send_error(res, 400, "replay must be fast, full or literal");
        return false;
    }
    if (req.has_param("tick_limit")) {
        ask->tick_limit = positive_number(req.get_param_value("tick_limit"), options.tick_limit);
        if (ask->tick_limit == 0) {
            send_error(res, 400, "tick_limit must be a whole number from 1 to " +
                                     std::to_string(options.tick_limit));
            return false;
        }
    }
    if (req.has_param("name")) {
        ask->name = job_name(req.get_param_value("name"));
    }
    for (const std::string& text : query_values(req, "set")) {
        SettingOverride setting;
        std::string error;
        if (!parse_setting_override(text, &setting, &error)) {
            send_error(res, 400, "set: " + error);
            return false;
        }
        add_setting_override(&ask->overrides, setting);
    }
    if (!read_cost_rate(req, res, &ask->rate)) {
        return false;
    }
    if (body.empty()) {
        send_error(res, 400, "the body must hold the bytes of a job file");
        return false;
    }
    return true;
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
        if (!read_ask(req, body, res, options_, &ask)) {
            return false;
        }
        *name = ask.name;
        // The whole sweep has one estimate's time: a point still running
        // when it is over is cut short, and so are the points after it.
        return hold_machine(res, [&] {
            JobRequest request;
            request.job_bytes = body;
            request.replay = ask.replay;
            request.tick_limit = ask.tick_limit;
            request.overrides = ask.overrides;
            request.deadline = machine_deadline();
            request.console = ConsoleSink{drop_console, nullptr};
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
        JobRequest request;
        request.job_bytes = bytes;
        request.account_ticks = true;
        request.tally_report = true;
        request.keep_moves = true;
        request.timeline_row = keep_timeline_row;
        request.timeline_context = out;
        request.replay = ask.replay;
        request.tick_limit = ask.tick_limit;
        request.deadline = deadline;
        request.overrides = ask.overrides;
        request.console = ConsoleSink{feed_warnings, nullptr};
        const JobResult result = run_job(request);
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

// Reads the request's body, as the bytes it is, whatever its content type
// says (a form's fields are not parsed out of it); false with the error
// answered.
bool read_body(httplib::Response& res, const httplib::ContentReader& reader, std::size_t max_body,
               std::string* body)
{
    bool too_large = false;
    const bool read = reader([&](const char* data, std::size_t size) {
        too_large = size > max_body - body->size();
        if (!too_large) {
            body->append(data, size);
        }
        return !too_large;
    });
    if (too_large || res.status == 413) {
        send_error(res, 413, "the body is larger than " + std::to_string(max_body) + " bytes");
        return false;
    }
    if (!read) {
        send_error(res, 400, "the body could not be read");
        return false;
    }
    return true;
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

// A whole number as a query writes it: an optional minus and 1 to 19 digits.
bool whole_number_text(const std::string& text)
{
    const std::size_t digits = text.starts_with('-') ? text.size() - 1 : text.size();
    return digits >= 1 && digits <= 19 &&
           std::all_of(text.end() - static_cast<std::ptrdiff_t>(digits), text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// Reads the sweep a query asks for: key, and values=V,V,... or from, to
// and step; false with the error answered.
bool read_sweep_query(const httplib::Request& req, httplib::Response& res, SweepSpec* sweep)
{
    const std::string key = req.get_param_value("key");
    if (key.empty()) {
        send_error(res, 400, "key must name the setting to sweep");
        return false;
    }
    std::string error;
    if (req.has_param("values")) {
        std::vector<std::int64_t> values;
        const std::string list = req.get_param_value("values");
        std::size_t at = 0;
        while (at <= list.size() && values.size() <= SWEEP_MAX_VALUES) {
            const std::size_t comma = std::min(list.find(',', at), list.size());
            const std::string value = list.substr(at, comma - at);
            if (!whole_number_text(value)) {
                send_error(res, 400, "values must be whole numbers separated by commas");
                return false;
            }
            // A number past the signed range fits no field: make_sweep says so.
            std::int64_t v = 0;
            if (std::from_chars(value.data(), value.data() + value.size(), v).ec != std::errc{}) {
                v = value.starts_with('-') ? INT64_MIN : INT64_MAX;
            }
            values.push_back(v);
            at = comma + 1;
        }
        if (make_sweep(key, values, sweep, &error)) {
            return true;
        }
    } else {
        for (const char* name : {"from", "to", "step"}) {
            if (!whole_number_text(req.get_param_value(name))) {
                send_error(res, 400, "a sweep needs values=V,V,... or whole numbers from, to and step");
                return false;
            }
        }
        if (parse_sweep(key + "=" + req.get_param_value("from") + ":" + req.get_param_value("to") +
                            ":" + req.get_param_value("step"),
                        sweep, &error)) {
            return true;
        }
    }
    send_error(res, 400, error);
    return false;
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
    server.Get(R"(/(app\.(?:js|css)))", [](const httplib::Request& req, httplib::Response& res) {
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
