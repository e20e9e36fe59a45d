#include "serve/serve_openapi.h"

#include <nlohmann/json.hpp>

using json = nlohmann::ordered_json;

namespace {

// A query parameter of one type, described.
json parameter(const char* name, const char* type, const char* description)
{
    return json{{"name", name},
                {"in", "query"},
                {"description", description},
                {"schema", {{"type", type}}}};
}

// The query every route that runs a job reads.
json job_parameters()
{
    json query = json::array(
        {{{"name", "replay"},
          {"in", "query"},
          {"schema", {{"type", "string"}, {"enum", {"fast", "full", "literal"}}}}},
         {{"name", "tick_limit"},
          {"in", "query"},
          {"schema", {{"type", "integer"}, {"minimum", 1}}}},
         parameter("name", "string", "the job's name in the answer"),
         {{"name", "set"},
          {"in", "query"},
          {"style", "form"},
          {"explode", true},
          {"description", "KEY=VALUE, repeatable: the job runs as if the setting KEY (a job-file "
                          "keyword that sets one value, "
                          "or VectorSpeed.N for pen N's speed code) were VALUE throughout"},
          {"schema",
           {{"type", "array"},
            {"items", {{"type", "string"}, {"example", "RasterSpeedX=800"}}}}}}});
    query.push_back(parameter(
        "rate", "number",
        "an amount per hour of machine time: the estimate (each run of a sweep) gets a cost"));
    query.push_back(parameter("setup", "number", "minutes of setup per job, priced at the rate"));
    return query;
}

// The query of a sweep: the job's, and the setting and its values.
json sweep_parameters()
{
    json query = job_parameters();
    query.push_back({{"name", "key"},
                     {"in", "query"},
                     {"required", true},
                     {"description", "the setting swept, as set= names it"},
                     {"schema", {{"type", "string"}}}});
    query.push_back(
        parameter("values", "string", "the values, comma-separated (or from, to and step)"));
    query.push_back(parameter("from", "integer", "the first value"));
    query.push_back(parameter("to", "integer", "the last value, included when the steps reach it"));
    query.push_back(parameter("step", "integer", "from one value to the next, at least 1"));
    query.push_back(
        parameter("fit_ms", "integer", "a slot in milliseconds: each run says whether it fits"));
    return query;
}

// A route that runs the job in its body, with its answer and its errors.
json job_route(const char* summary, const char* type, json query)
{
    const json body = {
        {"required", true},
        {"content",
         {{"application/octet-stream", {{"schema", {{"type", "string"}, {"format", "binary"}}}}}}}};
    json responses = {
        {"200", {{"description", summary}, {"content", {{type, json::object()}}}}},
        {"400", {{"description", "malformed request"}}},
        {"405", {{"description", "a method the path does not take; Allow lists those it does"}}},
        {"408", {{"description", "the headers or the body did not arrive within their deadline"}}},
        {"413", {{"description", "body over the size limit (a declared length is refused "
                                 "before the body is read)"}}},
        {"503", {{"description", "too many estimates waiting; see Retry-After"}}}};
    return json{{"post",
                 {{"summary", summary},
                  {"parameters", std::move(query)},
                  {"requestBody", body},
                  {"responses", std::move(responses)}}}};
}

// The timeline's route: entries= narrows it, and one over the request's
// memory budget is refused.
json timeline_route()
{
    json query = job_parameters();
    query.push_back(parameter("entries", "string",
                              "FIRST-LAST: the rows and moves of those entries only"));
    json route = job_route("the machine time of each entry: CSV, or JSON (with the head's "
                           "moves) with Accept: application/json",
                           "text/csv", std::move(query));
    route["post"]["responses"]["422"] = {
        {"description", "the timeline needs more memory than a request may use: the error "
                        "says the limit (limit_bytes) and how to ask for less"}};
    return route;
}

} // namespace

std::string openapi_text(const std::string& version)
{
    const auto get = [](const char* summary) {
        return json{
            {"get", {{"summary", summary}, {"responses", {{"200", {{"description", summary}}}}}}}};
    };
    const json doc = {
        {"openapi", "3.0.3"},
        {"info", {{"title", "vemtrac estimate service"}, {"version", version}}},
        {"paths",
         {{"/v1/estimate",
           job_route("the job's estimate and where its time goes, as in the JSON report",
                     "application/json", job_parameters())},
          {"/v1/timeline", timeline_route()},
          {"/v1/picture",
           job_route("the job drawn on the table", "image/svg+xml", job_parameters())},
          {"/v1/sweep",
           job_route("the job once as written and once per value of one setting (at most 1001 "
                     "values): run times, and costs with a rate",
                     "application/json", sweep_parameters())},
          {"/v1/version", get("version, machine model and the estimates run at once (workers)")},
          {"/healthz", get("the service is up")},
          {"/v1/openapi.json", get("this document")}}}};
    return doc.dump(2) + "\n";
}
