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

// The import settings of a design in the body, as the command line's
// import options name them ('_' for '-'; a flag's value may be left out).
void add_import_parameters(json* query)
{
    static const char* const settings[][3] = {
        {"format", "string", "svg, dxf, hpgl, png or jpeg: read the design as this format "
                             "(default: told from its content)"},
        {"tolerance", "number", "the chord deviation of curves, mm (default 0.025)"},
        {"order", "string", "document, travel or inside: the order subpaths are cut"},
        {"pen", "string", "COLOUR=N, repeatable (%23 for #): the pen of a stroke colour, DXF "
                          "layer or plot pen (SP3); by default one per colour, pen 1 first"},
        {"speed", "string", "N=MM_S, repeatable: pen N's cutting speed in mm/s"},
        {"speed_code", "string", "N=CODE, repeatable: pen N's speed as the machine's code"},
        {"passes", "string", "N=K, repeatable: pen N's geometry cut K times"},
        {"raster_speed", "number", "the engraving speed across, mm/s"},
        {"raster_speed_code", "integer", "the engraving speed as the machine's code (1000)"},
        {"one_way", "boolean", "every raster pass runs forward (default both directions)"},
        {"at", "string", "X,Y: the design's top-left corner on the table, mm"},
        {"lpi", "integer", "raster lines per inch (default 254)"},
        {"lpi_round", "boolean", "an lpi the machine lacks is rounded to the nearest, with a "
                                 "warning, instead of refused"},
        {"dpi", "integer", "raster dots per inch across (default 300)"},
        {"image_dpi", "number", "the picture's pixels per inch (default its own, or 96)"},
        {"keep_blank", "boolean", "send a picture whole, blank rows and margins too"}};
    for (const auto& [name, type, description] : settings) {
        query->push_back(parameter(name, type, description));
    }
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
         parameter("name", "string",
                   "the job's name in the answer; a design's file name (its extension a hint "
                   "at the format)"),
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
    add_import_parameters(&query);
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
        {"description", "a job file, or a design (SVG, DXF, HPGL/PLT, PNG or JPEG, told from "
                        "its content) imported with the query's import settings first"},
        {"content",
         {{"application/octet-stream", {{"schema", {{"type", "string"}, {"format", "binary"}}}}}}}};
    json responses = {
        {"200", {{"description", summary}, {"content", {{type, json::object()}}}}},
        {"400", {{"description", "malformed request"}}},
        {"405", {{"description", "a method the path does not take; Allow lists those it does"}}},
        {"408", {{"description", "the headers or the body did not arrive within their deadline"}}},
        {"413", {{"description", "body over the size limit (a declared length is refused "
                                 "before the body is read)"}}},
        {"422", {{"description", "a design that could not be imported: the error names the "
                                 "problem"}}},
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

// The import's route: the job file, or the job and the summary as JSON.
json import_route()
{
    json query = json::array({parameter("name", "string",
                                        "the design's file name: its extension is a hint at the "
                                        "format, and it names the design in errors")});
    add_import_parameters(&query);
    json route = job_route("the job file the design imports to; with Accept: application/json "
                           "{job: the job file's text, summary: cut and travel length, size "
                           "and place, pens and speeds, images and lines, warnings}",
                           "application/octet-stream", std::move(query));
    route["post"]["responses"]["422"] = {
        {"description", "a design that could not be imported, or a job file already"}};
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
          {"/v1/import", import_route()},
          {"/v1/version", get("version, machine model and the estimates run at once (workers)")},
          {"/healthz", get("the service is up")},
          {"/v1/openapi.json", get("this document")}}}};
    return doc.dump(2) + "\n";
}
