#include "serve/serve_openapi.h"

#include <nlohmann/json.hpp>

using json = nlohmann::ordered_json;

std::string openapi_text(const std::string& version)
{
    const auto number = [](const char* name, const char* type, const char* description) {
        return json{{"name", name},
                    {"in", "query"},
                    {"description", description},
                    {"schema", {{"type", type}}}};
    };
    json job_query = json::array(
        {{{"name", "replay"},
          {"in", "query"},
          {"schema", {{"type", "string"}, {"enum", {"fast", "full", "literal"}}}}},
         {{"name", "tick_limit"},
          {"in", "query"},
          {"schema", {{"type", "integer"}, {"minimum", 1}}}},
         {{"name", "name"},
          {"in", "query"},
          {"description", "the job's name in the answer"},
          {"schema", {{"type", "string"}}}},
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
    job_query.push_back(number(
        "rate", "number",
        "an amount per hour of machine time: the estimate (each run of a sweep) gets a cost"));
    job_query.push_back(number("setup", "number", "minutes of setup per job, priced at the rate"));
    json sweep_query = job_query;
    sweep_query.push_back({{"name", "key"},
                           {"in", "query"},
                           {"required", true},
                           {"description", "the setting swept, as set= names it"},
                           {"schema", {{"type", "string"}}}});
    sweep_query.push_back(
        number("values", "string", "the values, comma-separated (or from, to and step)"));
    sweep_query.push_back(number("from", "integer", "the first value"));
    sweep_query.push_back(
        number("to", "integer", "the last value, included when the steps reach it"));
    sweep_query.push_back(number("step", "integer", "from one value to the next, at least 1"));
    sweep_query.push_back(
        number("fit_ms", "integer", "a slot in milliseconds: each run says whether it fits"));

    const json job_body = {
        {"required", true},
        {"content",
         {{"application/octet-stream", {{"schema", {{"type", "string"}, {"format", "binary"}}}}}}}};
    const json errors = {{"400", {{"description", "malformed request"}}},
                         {"413", {{"description", "body over the size limit"}}},
                         {"503", {{"description", "too many estimates waiting; see Retry-After"}}}};
    const auto post = [&](const char* summary, const char* type) {
        json responses = errors;
        responses["200"] = {{"description", summary}, {"content", {{type, json::object()}}}};
        return json{{"post",
                     {{"summary", summary},
                      {"parameters", job_query},
                      {"requestBody", job_body},
                      {"responses", responses}}}};
    };
    json sweep = post("the job once as written and once per value of one setting (at most 1001): "
                      "run times, and costs with a rate",
                      "application/json");
    sweep["post"]["parameters"] = sweep_query;
    const auto get = [](const char* summary) {
        return json{
            {"get", {{"summary", summary}, {"responses", {{"200", {{"description", summary}}}}}}}};
    };
    const json doc = {
        {"openapi", "3.0.3"},
        {"info", {{"title", "vemtrac estimate service"}, {"version", version}}},
        {"paths",
         {{"/v1/estimate", post("the job's estimate and where its time goes, as in the JSON report",
                                "application/json")},
          {"/v1/timeline", post("the machine time of each entry: CSV, or JSON (with the head's "
                                "moves) with Accept: application/json",
                                "text/csv")},
          {"/v1/picture", post("the job drawn on the table", "image/svg+xml")},
          {"/v1/sweep", sweep},
          {"/v1/version", get("version and machine model")},
          {"/healthz", get("the service is up")},
          {"/v1/openapi.json", get("this document")}}}};
    return doc.dump(2) + "\n";
}
