// What a request to the estimate service asks: its query (the replay,
// the limits, the settings, the rate, a sweep) and its body, read with the
// errors answered as JSON documents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <httplib.h>

#include "replay/tick_runner.h"
#include "report/what_if.h"
#include "serve/serve_design.h"
#include "serve/serve_options.h"
#include "serve/serve_timeline.h"

// What one estimate request asks the machine for.
struct EstimateAsk {
    ReplayMode replay = ReplayMode::fast;
    std::uint64_t tick_limit = replay_max_job_ticks;
    std::string name = "upload";
    SettingOverrides overrides;  // the set= parameters
    std::optional<CostRate> rate;  // rate= and setup=: the estimate's cost
    ImportArgs import_args;        // how a design in the body is imported
};

// Every parameter of the request's query in order, (name, value) decoded,
// read from the request's own target: httplib keeps only what follows a
// value's last '=', and "set=RasterSpeedX=800" is written with the '=' as
// it stands.
std::vector<std::pair<std::string, std::string>> query_pairs(const httplib::Request& req);

// Answers with a JSON error document.
void send_error(httplib::Response& res, int status, const std::string& message);

// A whole number of decimal digits within 1..limit, or 0.
std::uint64_t positive_number(const std::string& text, std::uint64_t limit);

// Reads the import settings from the query's parameters, each named as the
// import's JSON names it or as the command line's option without "--"
// ("speed_code" or "speed-code"); other parameters are left alone. False
// with the error answered (400) for a setting that does not hold.
bool read_import_args(const httplib::Request& req, httplib::Response& res, ImportArgs* args);

// The rate and setup of the query (rate= per hour, setup= minutes), when a
// rate is given; false with the error answered.
bool read_cost_rate(const httplib::Request& req, httplib::Response& res,
                    std::optional<CostRate>* rate);

// Reads the query of an estimate request, the import settings of a design
// among it; false with the error answered. Any body that is no design is a
// job's bytes: an empty one is a job that moves nothing.
bool read_ask(const httplib::Request& req, const std::string& body, httplib::Response& res,
              const ServeOptions& options, EstimateAsk* ask);

// Reads the request's body, as the bytes it is, whatever its content type
// says (a form's fields are not parsed out of it); false with the error
// answered.
bool read_body(const httplib::Request& req, httplib::Response& res,
               const httplib::ContentReader& reader, std::size_t max_body, std::string* body);

// Reads entries=FIRST-LAST (or entries=N), the entries a timeline covers;
// false with the error answered.
bool read_entry_window(const httplib::Request& req, httplib::Response& res, EntryWindow* window);

// The methods a path of the service takes, as an Allow header lists them,
// or null for a path the service does not have.
const char* path_methods(const std::string& path, bool cors);

// True when the method is one of the methods listed.
bool method_listed(std::string_view methods, std::string_view method);

// The length of the body a request declares: 0 without one (or with a
// Content-Length that is no number), UINT64_MAX past what 64 bits hold.
std::uint64_t declared_length(const httplib::Request& req);

// True when the request says a body follows its headers.
bool declares_body(const httplib::Request& req);

// Reads the sweep a query asks for: key, and values=V,V,... or from, to
// and step; false with the error answered.
bool read_sweep_query(const httplib::Request& req, httplib::Response& res, SweepSpec* sweep);
