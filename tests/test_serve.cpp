// vemtrac serve: its command-line form, and the answers of a server in
// this process that the load test does not look at (headers, cross-origin
// access, the query's limits).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "cli/cli_options.h"
#include "job/parallel_runs.h"
#include "local_server.h"
#include "machine_fixture.h"
#include "serve/serve.h"
#include "vemtrac/vemtrac.h"

namespace {

CliOptions parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "vemtrac");
    return parse_cli(static_cast<int>(args.size()), args.data(), ReplayMode::fast);
}

// The library's answer to the same question, parsed.
nlohmann::json library_answer(char* text)
{
    nlohmann::json doc = nlohmann::json::parse(text);
    vemtrac_free(text);
    return doc;
}

// How four jobs far longer than an estimate may run, sent at once, were
// answered: those that ran and were cut short, and those turned away.
struct LongEstimates {
    int ran = 0, turned_away = 0;
};

LongEstimates send_long_estimates(const ServeOptions& options)
{
    LocalServer server(options);
    const std::string job = slow_zigzag_job(20000);
    struct Answer {
        int status = 0;
        std::string retry_after, body;
    };
    constexpr int clients = 4;
    std::vector<Answer> answers(clients);
    std::vector<std::thread> senders;
    for (Answer& answer : answers) {
        senders.emplace_back([&] {
            httplib::Client client("127.0.0.1", server.port());
            if (auto r =
                    client.Post("/v1/estimate?replay=literal", job, "application/octet-stream")) {
                answer = {r->status, r->get_header_value("Retry-After"), r->body};
            }
        });
    }
    for (std::thread& t : senders) {
        t.join();
    }
    LongEstimates answered;
    for (const Answer& a : answers) {
        if (a.status == 503) {
            ++answered.turned_away;
            EXPECT_EQ(a.retry_after, "1");
            EXPECT_TRUE(nlohmann::json::parse(a.body).contains("error"));
        } else {
            EXPECT_EQ(a.status, 200);
            ++answered.ran;
            EXPECT_FALSE(nlohmann::json::parse(a.body)["complete"].get<bool>());
        }
    }
    return answered;
}

} // namespace

TEST(ServeCli, FormDefaultsAndLimits)
{
    CliOptions o = parse({"serve"});
    ASSERT_EQ(o.mode, CliMode::serve);
    EXPECT_EQ(o.serve.host, "127.0.0.1");
    EXPECT_EQ(o.serve.port, 8080);
    EXPECT_EQ(o.serve.max_body, 64u << 20);
    EXPECT_EQ(o.serve.time_limit_ms, 60000u);
    EXPECT_TRUE(o.serve.cors.empty());
    EXPECT_EQ(o.serve.memory_budget, 64u << 20);
    EXPECT_EQ(o.serve.connections, 128);
    EXPECT_EQ(o.serve.header_timeout_s, 10);
    EXPECT_EQ(o.serve.body_timeout_s, 30);
    EXPECT_EQ(o.serve.workers, 0u);  // the host's hardware threads
    o = parse({"serve", "--port", "9", "--help"});
    EXPECT_EQ(o.mode, CliMode::help);
    EXPECT_TRUE(o.serve_help);
    EXPECT_NE(cli_serve_help_text().find("--memory-budget-mib N"), std::string::npos);

    o = parse({"serve",
               "--host",
               "0.0.0.0",
               "--port",
               "0",
               "--max-body",
               "100",
               "--queue",
               "2",
               "--tick-limit",
               "5000",
               "--time-limit-s",
               "5",
               "--timeout-s",
               "3",
               "--cors",
               "https://shop.example",
               "--memory-budget-mib",
               "0",
               "--connections",
               "4",
               "--header-timeout-s",
               "2",
               "--body-timeout-s",
               "7",
               "--workers",
               "3"});
    ASSERT_EQ(o.mode, CliMode::serve) << o.error;
    EXPECT_EQ(o.serve.host, "0.0.0.0");
    EXPECT_EQ(o.serve.port, 0);
    EXPECT_EQ(o.serve.max_body, 100u);
    EXPECT_EQ(o.serve.queue, 2);
    EXPECT_EQ(o.serve.tick_limit, 5000u);
    EXPECT_EQ(o.serve.time_limit_ms, 5000u);
    EXPECT_EQ(o.serve.timeout_s, 3);
    EXPECT_EQ(o.serve.cors, "https://shop.example");
    EXPECT_EQ(o.serve.memory_budget, 0u);
    EXPECT_EQ(o.serve.connections, 4);
    EXPECT_EQ(o.serve.header_timeout_s, 2);
    EXPECT_EQ(o.serve.body_timeout_s, 7);
    EXPECT_EQ(o.serve.workers, 3u);

    for (const std::vector<const char*>& bad :
         {std::vector<const char*>{"serve", "--port", "70000"},
          {"serve", "--queue", "0"},
          {"serve", "--tick-limit", "0"},
          {"serve", "--time-limit-s", "0"},
          {"serve", "--max-body", "-1"},
          {"serve", "job.cmd"},
          {"serve", "--connections", "0"},
          {"serve", "--workers", "0"},
          {"serve", "--memory-budget-mib", "-1"},
          {"serve", "--header-timeout-s", "0"},
          {"--report", "serve"},
          {"serve", "--bogus"}}) {
        EXPECT_EQ(parse(bad).mode, CliMode::usage_error) << bad.back();
    }
}

TEST(Serve, HeadersCrossOriginAndQueryLimits)
{
    ServeOptions options;
    options.tick_limit = 100000;
    LocalServer plain(options);
    auto page = plain.client().Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_NE(page->get_header_value("Content-Security-Policy").find("script-src 'self'"),
              std::string::npos);
    EXPECT_FALSE(page->has_header("Access-Control-Allow-Origin"));
    EXPECT_EQ(plain.client().Get("/../CMakeLists.txt")->status, 404);
    // A known path asked the wrong way: 405 and the methods it takes.
    auto wrong = plain.client().Get("/v1/estimate");
    EXPECT_EQ(wrong->status, 405);
    EXPECT_EQ(wrong->get_header_value("Allow"), "POST");
    EXPECT_TRUE(nlohmann::json::parse(wrong->body).contains("error"));
    wrong = plain.client().Post("/healthz", "x", "text/plain");
    EXPECT_EQ(wrong->status, 405);
    EXPECT_EQ(wrong->get_header_value("Allow"), "GET, HEAD");
    EXPECT_EQ(plain.client().Head("/healthz")->status, 200);

    const std::string job = example_job("mixed_job.cmd");
    const auto post = [&](const std::string& query, const std::string& body) {
        return plain.client().Post(("/v1/estimate" + query).c_str(), body,
                                   "application/octet-stream");
    };
    for (const char* query : {"?tick_limit=0", "?tick_limit=100001", "?tick_limit=1e3",
                              "?replay=sideways"}) {
        auto r = post(query, job);
        ASSERT_TRUE(r) << query;
        EXPECT_EQ(r->status, 400) << query;
        EXPECT_TRUE(nlohmann::json::parse(r->body).contains("error")) << query;
    }
    // The same mistakes get the program's answers: an empty body is a job
    // that moves nothing, a PDF is no job file.
    const auto empty = post("", "");
    ASSERT_EQ(empty->status, 200);
    const auto nothing = nlohmann::json::parse(empty->body);
    EXPECT_EQ(nothing["run_time_ms"], 0);
    EXPECT_EQ(nothing["warnings"][0]["kind"], "empty_job");
    const auto pdf = post("", "%PDF-1.7\n");
    ASSERT_EQ(pdf->status, 200);
    const auto document = nlohmann::json::parse(pdf->body);
    EXPECT_EQ(document["result"], "unreadable");
    EXPECT_EQ(document["reason"].get<std::string>().rfind("not a job file: it looks like a PDF", 0),
              0u) << document;
    // A name that is not UTF-8 cannot go into JSON as it is.
    auto odd = post("?name=a%FF%FEb&tick_limit=10", job);
    ASSERT_EQ(odd->status, 200);
    EXPECT_EQ(nlohmann::json::parse(odd->body)["job"], "a??b");
    // The server's own tick limit stops the job, as the report shows it.
    auto capped = post("?replay=full", job);
    ASSERT_EQ(capped->status, 200);
    const auto figures = nlohmann::json::parse(capped->body);
    EXPECT_FALSE(figures["complete"].get<bool>());
    EXPECT_LE(figures["ticks"].get<std::int64_t>(), 100000);
    EXPECT_TRUE(figures["stopped_at"].contains("reason"));

    options.cors = "https://shop.example";
    LocalServer shared(options);
    auto version = shared.client().Get("/v1/version");
    EXPECT_EQ(version->get_header_value("Access-Control-Allow-Origin"), "https://shop.example");
    EXPECT_EQ(nlohmann::json::parse(version->body)["workers"].get<unsigned>(), hardware_threads());
    auto preflight = shared.client().Options("/v1/estimate");
    EXPECT_EQ(preflight->status, 204);
    EXPECT_NE(preflight->get_header_value("Access-Control-Allow-Methods").find("POST"),
              std::string::npos);
}

TEST(Serve, CutsALongEstimateShortAndTurnsAwayAFullQueue)
{
    ServeOptions options;
    options.queue = 1;
    options.workers = 1;
    // No time at all: the estimate is cut short, and answered as such.
    options.time_limit_ms = 0;
    {
        LocalServer server(options);
        auto r =
            server.client().Post("/v1/estimate", slow_zigzag_job(10), "application/octet-stream");
        ASSERT_TRUE(r);
        ASSERT_EQ(r->status, 200);
        const auto figures = nlohmann::json::parse(r->body);
        EXPECT_FALSE(figures["complete"].get<bool>());
        EXPECT_NE(figures["stopped_at"]["reason"].get<std::string>().find("wall-clock time"),
                  std::string::npos);
    }
    // Jobs far longer than the second each may run, sent at once: one runs,
    // one waits, the rest are turned away until the queue has room.
    options.time_limit_ms = 1000;
    const LongEstimates answered = send_long_estimates(options);
    EXPECT_GE(answered.ran, 1);
    EXPECT_GE(answered.turned_away, 1);
}

TEST(Serve, WorkersRunEstimatesAtOnce)
{
    // Two workers and one place in the queue: of four long jobs sent at
    // once, two run side by side, one waits, the last is turned away.
    ServeOptions options;
    options.queue = 1;
    options.workers = 2;
    options.time_limit_ms = 1000;
    const LongEstimates answered = send_long_estimates(options);
    EXPECT_GE(answered.ran, 3);
    EXPECT_GE(answered.turned_away, 1);
}

TEST(Serve, SettingsAndSweepsAnswerAsTheLibraryDoes)
{
    ServeOptions options;
    LocalServer server(options);
    const std::string job = example_job("mixed_job.cmd");
    const auto post = [&](const std::string& path) {
        auto r = server.client().Post(path.c_str(), {{"Accept", "application/json"}}, job,
                                      "application/octet-stream");
        return r ? std::make_pair(r->status, r->body) : std::make_pair(0, std::string());
    };
    const std::string set = "set=VectorSpeed.2=400&set=RasterSpeedX=800";
    const auto [status, body] = post("/v1/estimate?name=m&rate=60&setup=5&" + set);
    ASSERT_EQ(status, 200) << body;
    const auto estimate = nlohmann::json::parse(body);
    EXPECT_EQ(estimate, library_answer(vemtrac_report_json(
                            job.data(), job.size(),
                            R"({"job": "m", "set": {"VectorSpeed.2": 400, "RasterSpeedX": 800},)"
                            R"( "rate": 60, "setup_minutes": 5})")));
    EXPECT_TRUE(estimate.contains("cost") && estimate.contains("overrides"));
    // The page's controls: each pen cut with and the raster settings, at the
    // values the job ran at.
    const auto timeline = nlohmann::ordered_json::parse(post("/v1/timeline?" + set).second);
    EXPECT_EQ(timeline["settings"].dump(),
              R"({"VectorSpeed.1":500,"VectorSpeed.2":400,"VectorSpeed.3":300,"VectorSpeed.4":9,)"
              R"("RasterSpeedX":800,"RasterSpeedY":1000,"RasterBandingFree":1})");

    const auto sweep = library_answer(vemtrac_sweep_json(
        job.data(), job.size(), "RasterSpeedX", std::vector<std::int64_t>{600, 800, 1000}.data(), 3,
        R"({"job": "upload", "set": {"VectorSpeed.2": 400}, "rate": 60, "setup_minutes": 5,)"
        R"( "fit_ms": 90000})"));
    for (const char* query : {"?key=RasterSpeedX&from=600&to=1000&step=200",
                              "?key=RasterSpeedX&values=600,800,1000"}) {
        const auto [swept, text] = post(std::string("/v1/sweep") + query +
                                        "&set=VectorSpeed.2=400&rate=60&setup=5&fit_ms=90000");
        ASSERT_EQ(swept, 200) << query << text;
        EXPECT_EQ(nlohmann::json::parse(text), sweep) << query;
    }

    for (const char* bad :
         {"/v1/estimate?set=Bogus=1", "/v1/timeline?set=RasterSpeedX=65536",
          "/v1/picture?set=VectorSpeed.0=5", "/v1/estimate?set=RasterSpeedX",
          "/v1/sweep?values=1,2", "/v1/sweep?key=Bogus&values=1",
          "/v1/sweep?key=RasterSpeedX&values=1,,2",
          "/v1/sweep?key=RasterSpeedX&values=99999999999999999999",
          "/v1/sweep?key=RasterSpeedX&from=1000&to=600&step=200",
          "/v1/sweep?key=RasterSpeedX&from=600&to=1000&step=0",
          "/v1/sweep?key=RasterSpeedX&from=0&to=2000&step=1",
          "/v1/sweep?key=RasterSpeedX&from=600&to=1000",
          "/v1/sweep?key=RasterSpeedX&values=1&rate=-1", "/v1/estimate?rate=1e3",
          "/v1/sweep?key=RasterSpeedX&values=1&fit_ms=0",
          "/v1/sweep?key=RasterSpeedX&values=1&setup=x", "/v1/estimate?set=VectorSpeed.4=1001",
          "/v1/sweep?key=VectorSpeed.4&values=100,200&set=VectorSpeed.4=300"}) {
        const auto [code, text] = post(bad);
        EXPECT_EQ(code, 400) << bad << " " << text;
        EXPECT_TRUE(nlohmann::json::parse(text).contains("error")) << bad;
    }
}

TEST(Serve, TimelinesNarrowToEntriesAndKeepToTheBudget)
{
    ServeOptions options;
    LocalServer server(options);
    const std::string job = example_job("mixed_job.cmd");
    const auto timeline = [&](LocalServer& at, const std::string& query, const char* accept) {
        auto r = at.client().Post(("/v1/timeline" + query).c_str(), {{"Accept", accept}}, job,
                                  "application/octet-stream");
        return r ? std::make_pair(r->status, r->body) : std::make_pair(0, std::string());
    };
    const auto [status, text] = timeline(server, "", "application/json");
    ASSERT_EQ(status, 200);
    const auto all = nlohmann::json::parse(text);
    const auto part =
        nlohmann::json::parse(timeline(server, "?entries=30-60", "application/json").second);
    // The entries asked for, their moves where the whole job has them.
    const auto within = [](const nlohmann::json& items, auto entry) {
        nlohmann::json kept = nlohmann::json::array();
        for (const auto& item : items) {
            if (entry(item) >= 30 && entry(item) <= 60) {
                kept.push_back(item);
            }
        }
        return kept;
    };
    const auto row_entry = [](const nlohmann::json& row) { return row["entry"].get<int>(); };
    const auto move_entry = [](const nlohmann::json& move) { return move[5].get<int>(); };
    ASSERT_FALSE(part["moves"].empty());
    EXPECT_EQ(part["timeline"], within(all["timeline"], row_entry));
    EXPECT_EQ(part["moves"], within(all["moves"], move_entry));
    EXPECT_EQ(part["activities"], all["activities"]);
    EXPECT_EQ(timeline(server, "?entries=9-2", "text/csv").first, 400);

    // No timeline fits a budget of four times the body: refused, saying the
    // limit and how to ask for less.
    options.memory_budget = 0;
    LocalServer tight(options);
    for (const char* accept : {"application/json", "text/csv"}) {
        const auto [code, error] = timeline(tight, "", accept);
        ASSERT_EQ(code, 422) << accept;
        const auto doc = nlohmann::json::parse(error);
        const std::string why = doc["error"];
        EXPECT_NE(why.find(std::to_string(doc["limit_bytes"].get<std::size_t>()) + " bytes"),
                  std::string::npos);
        EXPECT_NE(why.find("entries=FIRST-LAST"), std::string::npos);
        EXPECT_EQ(why.find("text/csv") != std::string::npos, accept[0] == 'a') << why;
    }
    EXPECT_EQ(tight.client().Post("/v1/estimate", job, "application/octet-stream")->status, 200);
}
