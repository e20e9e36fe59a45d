// The C interface: the same figures as the program, any input answered
// with a result or an error (never a crash), and the same answers from
// several threads at once as from one.
#include "machine_fixture.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <cstring>
#include <thread>

#include "vemtrac/vemtrac.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

// The JSON call's answer, parsed (null when the library returned NULL).
json report(const std::string& job, const char* options = nullptr)
{
    char* text = vemtrac_report_json(job.data(), job.size(), options);
    if (text == nullptr) {
        return nullptr;
    }
    json doc = json::parse(text);
    vemtrac_free(text);
    return doc;
}

const std::array<const char*, 3> example_names = {"vector_job.cmd", "raster_job.cmd",
                                                  "mixed_job.cmd"};

// Keeps the console lines a job writes.
void keep_console(void* context, vemtrac_stream stream, const char* text, size_t len)
{
    if (stream == VEMTRAC_STREAM_CONSOLE) {
        static_cast<std::string*>(context)->append(text, len);
    }
}

// The text with its first "from" replaced by "to".
std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The figures of a report that say how long the job ran and where.
json figures(const json& r)
{
    return {r.at("run_time_ms"), r.at("ticks"), r.at("phases"), r.at("activities")};
}

} // namespace

TEST(Api, FiguresAreThoseOfTheProgram)
{
    JobFolder folder;
    std::string args;
    for (const char* name : example_names) {
        folder.write_file(name, example_job(name));
        args += std::string(" ") + name;
    }
    const std::string command = "cd '" + folder.path() + "' && '" + VEMTRAC_BINARY +
                                "' --report --json" + args + " > report.json";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const json program = json::parse(folder.read_file("report.json"));

    for (std::size_t i = 0; i < example_names.size(); ++i) {
        const std::string options = std::string("{\"job\": \"") + example_names[i] + "\"}";
        const json& expected = program.at("jobs")[i];
        EXPECT_EQ(report(example_job(example_names[i]), options.c_str()), expected);

        char* from_file = vemtrac_report_json_file(
            (folder.path() + "/" + example_names[i]).c_str(), "{\"replay\": \"full\"}");
        ASSERT_NE(from_file, nullptr);
        EXPECT_EQ(json::parse(from_file).at("phases"), expected.at("phases"));
        vemtrac_free(from_file);

        vemtrac_result result;
        const std::string job = example_job(example_names[i]);
        ASSERT_EQ(vemtrac_estimate(job.data(), job.size(), nullptr, &result), VEMTRAC_SUCCESS);
        EXPECT_EQ(result.outcome, VEMTRAC_OUTCOME_OK);
        EXPECT_EQ(result.complete, 1);
        EXPECT_EQ(result.run_time_ms, expected.at("run_time_ms").get<std::uint32_t>());
        EXPECT_EQ(result.ticks, expected.at("ticks").get<std::int64_t>());
    }
}

TEST(Api, HostileInputsGiveResultsOrErrors)
{
    for (const auto& file : fs::directory_iterator(VEMTRAC_FAULT_INPUTS_DIR)) {
        const json r = report(read_all(file.path()), "{\"tick_limit\": 2000000}");
        EXPECT_TRUE(r.at("result") == "ok" || r.at("result") == "refused") << file.path();
        vemtrac_result typed;
        EXPECT_EQ(vemtrac_estimate_file(file.path().c_str(), nullptr, &typed), VEMTRAC_SUCCESS);
    }
    EXPECT_EQ(report("").at("ticks"), 0);
    char* null_job = vemtrac_report_json(nullptr, 0, nullptr);
    ASSERT_NE(null_job, nullptr);
    EXPECT_EQ(json::parse(null_job).at("result"), "ok");
    vemtrac_free(null_job);

    for (const char* bad : {"", "{", "[]", "null", "{\"replay\": \"quick\"}", "{\"replay\": 1}",
                            "{\"tick_limit\": -1}", "{\"tick_limit\": 1.5}", "{\"speed\": 2}",
                            "{\"job\": 7}", "{\"tick_limit\": \"9\"}"}) {
        const json r = report("pd_default 1 1", bad);
        EXPECT_EQ(r.at("result"), "error") << bad;
        EXPECT_FALSE(r.at("reason").get<std::string>().empty());
    }
    const json cut = report(example_job("vector_job.cmd"), "{\"tick_limit\": 1000}");
    EXPECT_FALSE(cut.at("complete").get<bool>());

    char* missing_text = vemtrac_report_json_file("/no/such/job.cmd", nullptr);
    ASSERT_NE(missing_text, nullptr);
    const json missing = json::parse(missing_text);
    vemtrac_free(missing_text);
    EXPECT_EQ(missing.at("result"), "unreadable");
    EXPECT_EQ(missing.at("job"), "/no/such/job.cmd");

    vemtrac_result result;
    EXPECT_EQ(vemtrac_estimate(nullptr, 5, nullptr, &result), VEMTRAC_ERROR_ARGUMENT);
    EXPECT_EQ(vemtrac_estimate("x", 1, nullptr, nullptr), VEMTRAC_ERROR_ARGUMENT);
    EXPECT_EQ(vemtrac_estimate_file(nullptr, nullptr, &result), VEMTRAC_ERROR_ARGUMENT);
    vemtrac_options options;
    vemtrac_options_init(&options);
    options.replay = static_cast<vemtrac_replay>(3);
    EXPECT_EQ(vemtrac_estimate("x", 1, &options, &result), VEMTRAC_ERROR_ARGUMENT);
    ASSERT_EQ(vemtrac_estimate_file("/no/such/job.cmd", nullptr, &result), VEMTRAC_SUCCESS);
    EXPECT_EQ(result.outcome, VEMTRAC_OUTCOME_UNREADABLE);
    EXPECT_NE(std::string(result.reason).find("/no/such/job.cmd"), std::string::npos);
    ASSERT_EQ(vemtrac_estimate("VemtracCmdVer 2", 15, nullptr, &result), VEMTRAC_SUCCESS);
    EXPECT_EQ(result.outcome, VEMTRAC_OUTCOME_REFUSED);
    // No job file at all: the reason says what it looks like, as everywhere.
    const std::string pdf = "%PDF-1.7\n";
    ASSERT_EQ(vemtrac_estimate(pdf.data(), pdf.size(), nullptr, &result), VEMTRAC_SUCCESS);
    EXPECT_EQ(result.outcome, VEMTRAC_OUTCOME_UNREADABLE);
    EXPECT_EQ(std::string(result.reason).rfind("not a job file: it looks like a PDF document", 0),
              0u);
    EXPECT_EQ(report(pdf).at("result"), "unreadable");
}

TEST(Api, ConsoleLinesReachTheCallbackOnly)
{
    std::string console;
    vemtrac_options options;
    vemtrac_options_init(&options);
    options.console = keep_console;
    options.console_context = &console;
    options.trace_categories = "ShowJobTime";
    const std::string job = example_job("vector_job.cmd");
    vemtrac_result result;
    const std::string out = capture_stdout(
        [&] { EXPECT_EQ(vemtrac_estimate(job.data(), job.size(), &options, &result), 0); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(console.rfind("Start job working time calculating....\n", 0), 0u);
    EXPECT_NE(console.find("T00000 JobTimeTick: "), std::string::npos);
    EXPECT_NE(console.find("Job Run Time: 0:57\n\r"), std::string::npos);
}

TEST(Api, FourThreadsGiveTheAnswersOfOne)
{
    std::array<std::string, example_names.size()> alone;
    for (std::size_t i = 0; i < example_names.size(); ++i) {
        alone[i] = report(example_job(example_names[i])).dump();
    }
    std::array<std::array<std::string, example_names.size()>, 4> together;
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < together.size(); ++t) {
        threads.emplace_back([&together, t] {
            for (std::size_t n = 0; n < example_names.size(); ++n) {
                const std::size_t i = (n + t) % example_names.size();  // each its own order
                const std::string job = example_job(example_names[i]);
                char* text = vemtrac_report_json(job.data(), job.size(), nullptr);
                together[t][i] = text != nullptr ? json::parse(text).dump() : "";
                vemtrac_free(text);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const auto& answers : together) {
        EXPECT_EQ(answers, alone);
    }
}

TEST(Api, SettingsRunTheJobAsEditedAndSweepsAgree)
{
    // The mixed job sets both before it moves: editing its own entries is
    // what the overrides mean.
    const std::string job = example_job("mixed_job.cmd");
    std::string edited = replaced(job, "VectorSpeed 500 800 300", "VectorSpeed 500 400 300");
    edited = replaced(edited, "RasterSpeedX 1000", "RasterSpeedX 800");
    const json by_hand = report(edited);
    const json set = report(job, R"({"set": {"VectorSpeed.2": 400, "RasterSpeedX": 800}})");
    ASSERT_EQ(set.at("result"), "ok") << set.dump();
    EXPECT_EQ(figures(set), figures(by_hand));
    EXPECT_NE(set.at("run_time_ms"), report(job).at("run_time_ms"));

    const vemtrac_setting settings[] = {{"VectorSpeed.2", 400}, {"RasterSpeedX", 800}};
    vemtrac_options options;
    vemtrac_options_init(&options);
    options.settings = settings;
    options.settings_count = 2;
    vemtrac_result typed;
    ASSERT_EQ(vemtrac_estimate(job.data(), job.size(), &options, &typed), VEMTRAC_SUCCESS);
    EXPECT_EQ(typed.run_time_ms, set.at("run_time_ms").get<std::uint32_t>());

    // A sweep's point is the estimate at that value, with the other setting
    // held; its costs are (hours run + hours of setup) x rate.
    const std::int64_t values[] = {1000, 800};
    char* text =
        vemtrac_sweep_json(job.data(), job.size(), "RasterSpeedX", values, 2,
                           R"({"set": {"VectorSpeed.2": 400}, "rate": 60, "setup_minutes": 5})");
    ASSERT_NE(text, nullptr);
    const json sweep = json::parse(text).at("sweep");
    vemtrac_free(text);
    ASSERT_EQ(sweep.at("points").size(), 2u) << sweep.dump();
    const json& at800 = sweep.at("points")[1];
    EXPECT_EQ(at800.at("value"), 800);
    EXPECT_EQ(at800.at("run_time_ms"), set.at("run_time_ms"));
    EXPECT_EQ(sweep.at("as_written").at("value"), 1000);
    EXPECT_EQ(sweep.at("as_written").at("run_time_ms"), sweep.at("points")[0].at("run_time_ms"));
    const double hours = at800.at("run_time_ms").get<double>() / 3600000 + 5.0 / 60;
    EXPECT_NEAR(at800.at("cost").get<double>(), hours * 60, 0.005);
}

TEST(Api, BadSettingsAndSweepsAreErrors)
{
    for (const char* bad :
         {R"({"set": {"Bogus": 1}})", R"({"set": {"VectorSpeed.17": 1}})",
          R"({"set": {"VectorSpeed.0": 1}})", R"({"set": {"RasterSpeedX": 65536}})",
          R"({"set": {"RasterBandingFree": 256}})", R"({"set": {"RasterSpeedX": -1}})",
          R"({"set": {"RasterSpeedX": "800"}})", R"({"set": {"RasterSpeedX": 8.5}})",
          R"({"set": {"RasterSpeedX": 18446744073709551615}})", R"({"set": [1]})",
          R"({"rate": -1})", R"({"set": {"VectorSpeed.4": 1001}})"}) {
        const json r = report("pd_default 1 1", bad);
        EXPECT_EQ(r.at("result"), "error") << bad;
    }
    const std::vector<std::int64_t> many(1002, 500);
    const auto sweep = [](const char* key, const std::vector<std::int64_t>& values,
                          const char* options) {
        char* text = vemtrac_sweep_json("", 0, key, values.data(), values.size(), options);
        const json r = text != nullptr ? json::parse(text) : json(nullptr);
        vemtrac_free(text);
        return r;
    };
    EXPECT_EQ(sweep("VectorSpeed.1", many, nullptr).at("result"), "error");
    EXPECT_EQ(sweep("VectorSpeed.1", {}, nullptr).at("result"), "error");
    EXPECT_EQ(sweep("Bogus", {1}, nullptr).at("result"), "error");
    EXPECT_EQ(sweep("RasterSpeedX", {1, 70000}, nullptr).at("result"), "error");
    EXPECT_EQ(sweep("RasterSpeedX", {1}, R"({"rate": -1})").at("result"), "error");
    EXPECT_TRUE(
        sweep("RasterSpeedX", {1}, R"({"rate": 1.5, "setup_minutes": 0})").contains("sweep"));
    EXPECT_EQ(sweep(nullptr, {1}, nullptr).at("result"), "error");
    const json both = sweep("VectorSpeed.4", {100, 200}, R"({"set": {"VectorSpeed.4": 300}})");
    EXPECT_NE(both.at("reason").get<std::string>().find("VectorSpeed.4 is both set and swept"),
              std::string::npos) << both;

    const vemtrac_setting pen17[] = {{"VectorSpeed.17", 1}};
    vemtrac_options options;
    vemtrac_options_init(&options);
    options.settings = pen17;
    options.settings_count = 1;
    vemtrac_result result;
    EXPECT_EQ(vemtrac_estimate("", 0, &options, &result), VEMTRAC_ERROR_ARGUMENT);
    EXPECT_NE(std::string(result.reason).find("VectorSpeed.17"), std::string::npos);
    options.settings = nullptr;
    EXPECT_EQ(vemtrac_estimate("", 0, &options, &result), VEMTRAC_ERROR_ARGUMENT);
}

TEST(Api, CallersOfTheFirstVersionKeepWorking)
{
    // A program built against API 1 holds the options without the settings:
    // the library neither writes nor reads past them.
    vemtrac_options options;
    std::memset(&options, 0xA5, sizeof options);
    (vemtrac_options_init)(&options);
    EXPECT_EQ(options.api_version, 1);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&options);
    for (std::size_t i = offsetof(vemtrac_options, settings); i < sizeof options; ++i) {
        ASSERT_EQ(bytes[i], 0xA5) << i;
    }
    const std::string job = example_job("vector_job.cmd");
    vemtrac_result result;
    ASSERT_EQ(vemtrac_estimate(job.data(), job.size(), &options, &result), VEMTRAC_SUCCESS);
    EXPECT_EQ(result.run_time_ms, 57809u);
}

TEST(Api, UnknownVersionsAndTraceCategoriesAreErrors)
{
    const std::string job = example_job("vector_job.cmd");
    vemtrac_result result;
    for (const int version : {0, -5, VEMTRAC_API_VERSION + 1, 99}) {
        vemtrac_options options;
        vemtrac_options_init(&options);
        options.api_version = version;
        EXPECT_EQ(vemtrac_estimate(job.data(), job.size(), &options, &result),
                  VEMTRAC_ERROR_ARGUMENT)
            << version;
        EXPECT_NE(std::string(result.reason).find("api_version " + std::to_string(version)),
                  std::string::npos);
    }
    vemtrac_options options;
    vemtrac_options_init(&options);
    options.trace_categories = "ShowJobTime, NoSuchThing";
    EXPECT_EQ(vemtrac_estimate(job.data(), job.size(), &options, &result), VEMTRAC_ERROR_ARGUMENT);
    EXPECT_NE(std::string(result.reason).find("\"NoSuchThing\""), std::string::npos);
    options.trace_categories = " ShowJobTime ,,DeltaMove ";
    EXPECT_EQ(vemtrac_estimate(job.data(), job.size(), &options, &result), VEMTRAC_SUCCESS);
    EXPECT_EQ(result.run_time_ms, 57809u);
}

// A design turns into a job, and every estimate call takes the design as
// that job.
TEST(Api, DesignsImportAndEstimateAsTheirJobs)
{
    const std::string dxf = read_all(fs::path(VEMTRAC_EXAMPLES_DIR) / "design_bracket.dxf");
    char* job = nullptr;
    size_t job_len = 0;
    char* text = vemtrac_import_json(dxf.data(), dxf.size(), "bracket.dxf",
                                     R"({"speed": {"1": 20}})", &job, &job_len);
    ASSERT_NE(text, nullptr);
    const json answer = json::parse(text);
    vemtrac_free(text);
    ASSERT_EQ(answer.at("result"), "ok") << answer;
    EXPECT_EQ(answer.at("summary").at("pens")[0].at("asked_mm_s"), 20.0);
    ASSERT_NE(job, nullptr);
    const std::string job_bytes(job, job_len);
    vemtrac_free(job);

    json from_job = report(job_bytes);
    json from_design = report(dxf, R"({"import": {"speed": {"1": 20}}})");
    EXPECT_EQ(from_design.at("warnings")[0].at("kind"), "design_import");
    from_design["warnings"].erase(0);
    EXPECT_EQ(from_design.at("pass_times"), json::array());
    from_design.erase("pass_times");
    EXPECT_EQ(from_job, from_design);
    // A pen cut three times: its last pass adds the difference to two.
    const json thrice = report(dxf, R"({"import": {"passes": {"1": 3}}})");
    const json twice = report(dxf, R"({"import": {"passes": {"1": 2}}})");
    EXPECT_EQ(thrice.at("pass_times")[0].at("ticks").get<std::int64_t>(),
              thrice.at("ticks").get<std::int64_t>() - twice.at("ticks").get<std::int64_t>());
    vemtrac_result typed{};
    ASSERT_EQ(vemtrac_estimate(dxf.data(), dxf.size(), nullptr, &typed), VEMTRAC_SUCCESS);
    EXPECT_EQ(typed.outcome, VEMTRAC_OUTCOME_OK);
    // The defaults cut at 508 mm/s, far faster than 20 mm/s.
    EXPECT_LT(typed.run_time_ms, from_job.at("run_time_ms").get<std::uint32_t>());

    // Bad settings and broken designs are errors, never a crash.
    const std::string broken("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    for (const auto& [bytes, settings] :
         {std::pair{dxf, "{\"speed\": {\"1\": 0}}"}, std::pair{dxf, "[1]"},
          std::pair{broken, "{}"}}) {
        text = vemtrac_import_json(bytes.data(), bytes.size(), nullptr, settings, &job, &job_len);
        EXPECT_EQ(json::parse(text).at("result"), "error") << settings;
        EXPECT_EQ(job, nullptr);
        vemtrac_free(text);
    }
    EXPECT_EQ(report(broken).at("result"), "unreadable");
    EXPECT_EQ(report(dxf, R"({"import": {"lpi": 0}})").at("result"), "unreadable");
}
