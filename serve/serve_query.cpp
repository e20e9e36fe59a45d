#include "serve/serve_query.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

using json = nlohmann::ordered_json;

namespace {

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
            c = (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) ? '?'
                                                                                               : c;
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

// Every value of a query parameter, in order.
std::vector<std::string> query_values(const httplib::Request& req, std::string_view name)
{
    std::vector<std::string> values;
    for (auto& [key, value] : query_pairs(req)) {
        if (key == name) {
            values.push_back(std::move(value));
        }
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

// A whole number as a query writes it: an optional minus and 1 to 19 digits.
bool whole_number_text(const std::string& text)
{
    const std::size_t digits = text.starts_with('-') ? text.size() - 1 : text.size();
    return digits >= 1 && digits <= 19 &&
           std::all_of(text.end() - static_cast<std::ptrdiff_t>(digits), text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::vector<std::pair<std::string, std::string>> query_pairs(const httplib::Request& req)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    const std::string& target = req.target;
    std::size_t at = target.find('?');
    while (at < target.size()) {
        const std::size_t start = at + 1;
        const std::size_t end = std::min(target.find('&', start), target.size());
        const std::size_t eq = std::min(target.find('=', start), end);
        const std::string_view whole(target);
        pairs.emplace_back(query_decoded(whole.substr(start, eq - start)),
                           query_decoded(whole.substr(std::min(eq + 1, end),
                                                      end - std::min(eq + 1, end))));
        at = end;
    }
    return pairs;
}

// Answers with a JSON error document.
void send_error(httplib::Response& res, int status, const std::string& message)
{
    res.status = status;
    res.set_content(json{{"error", message}}.dump() + "\n", "application/json");
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

bool read_import_args(const httplib::Request& req, httplib::Response& res, ImportArgs* args)
{
    for (auto& [name, value] : query_pairs(req)) {
        std::replace(name.begin(), name.end(), '-', '_');
        if (import_setting_known(name)) {
            args->emplace_back(std::move(name), std::move(value));
        }
    }
    const std::string problem = import_args_problem(*args);
    if (!problem.empty()) {
        send_error(res, 400, problem);
        return false;
    }
    return true;
}

// Reads the query of an estimate request; false with the error answered.
bool read_ask(const httplib::Request& req, const std::string& /*body*/, httplib::Response& res,
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
    // An empty body is an empty job file, a job that moves nothing, answered
    // as the program answers one; but a length that is no number is no
    // empty body.
    const std::string length = req.get_header_value("Content-Length");
    if (!length.empty() && positive_number(length, UINT64_MAX) == 0 && length != "0") {
        send_error(res, 400, "the Content-Length header is not a number");
        return false;
    }
    return read_import_args(req, res, &ask->import_args) && read_cost_rate(req, res, &ask->rate);
}

// Reads the request's body, as the bytes it is, whatever its content type
// says (a form's fields are not parsed out of it); false with the error
// answered.
bool read_body(const httplib::Request& req, httplib::Response& res,
               const httplib::ContentReader& reader, std::size_t max_body, std::string* body)
{
    // The length declared is within the limit (larger ones are refused
    // before the body is read): taken at once, the body is held only once.
    body->reserve(std::min<std::uint64_t>(declared_length(req), max_body));
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

bool read_entry_window(const httplib::Request& req, httplib::Response& res, EntryWindow* window)
{
    if (!req.has_param("entries")) {
        return true;
    }
    const std::string text = req.get_param_value("entries");
    const std::size_t dash = text.find('-');
    const auto first = static_cast<std::int32_t>(positive_number(text.substr(0, dash), INT32_MAX));
    const auto last =
        dash == std::string::npos
            ? first
            : static_cast<std::int32_t>(positive_number(text.substr(dash + 1), INT32_MAX));
    if (first == 0 || last < first) {
        send_error(res, 400, "entries must be FIRST-LAST, entry numbers from 1 with FIRST <= LAST");
        return false;
    }
    *window = EntryWindow{first, last};
    return true;
}

const char* path_methods(const std::string& path, bool cors)
{
    static const std::set<std::string> jobs{"/v1/estimate", "/v1/timeline", "/v1/picture",
                                            "/v1/sweep", "/v1/import"};
    static const std::set<std::string> pages{"/",          "/app.js",      "/charts.js",
                                             "/design.js", "/app.css",     "/v1/version",
                                             "/healthz",   "/v1/openapi.json"};
    if (jobs.contains(path)) {
        return cors ? "POST, OPTIONS" : "POST";
    }
    if (pages.contains(path)) {
        return cors && path.starts_with("/v1/") ? "GET, HEAD, OPTIONS" : "GET, HEAD";
    }
    return nullptr;
}

bool method_listed(std::string_view methods, std::string_view method)
{
    while (!methods.empty()) {
        const std::size_t comma = std::min(methods.find(", "), methods.size());
        if (methods.substr(0, comma) == method) {
            return true;
        }
        methods.remove_prefix(std::min(comma + 2, methods.size()));
    }
    return false;
}

std::uint64_t declared_length(const httplib::Request& req)
{
    const std::string text = req.get_header_value("Content-Length");
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return 0;  // none, or not a length: the HTTP library answers for it
    }
    std::uint64_t length = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), length);
    return ec == std::errc{} ? length : UINT64_MAX;
}

bool declares_body(const httplib::Request& req)
{
    return declared_length(req) > 0 || req.has_header("Transfer-Encoding");
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
                send_error(res, 400,
                           "a sweep needs values=V,V,... or whole numbers from, to and step");
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
