// Settings overridden must run the job exactly as the job file edited by
// hand would: an entry "KEY VALUE" before the first entry and every entry
// of KEY setting VALUE (for a pen's speed code, a VectorSpeed entry of
// start-up codes first and the pen's code replaced in every VectorSpeed
// entry). Report text and status figures must match byte for byte.
#include "machine_fixture.h"

#include <cstdio>
#include <iterator>
#include <regex>
#include <sstream>

#include "job/job_run.h"
#include "job_generator.h"
#include "report/job_report.h"
#include "report/report_text.h"
#include "report/what_if.h"

namespace {

// A run's console as a report takes it: every line kept off the test's
// output (the report's tally reads the machine's warnings before).
void report_console(void*, ConsoleStream, const char*, std::size_t) {}
const ConsoleSink report_sink{report_console, nullptr};

// The job's text report and status lines (but the estimator's own time).
struct Figures {
    std::string report;
    std::vector<std::string> status;
};

Figures run_figures(const std::string& job, const SettingOverrides& overrides)
{
    JobRequest request;
    request.job_bytes = job;
    request.overrides = overrides;
    request.account_ticks = true;
    request.tally_report = true;
    request.console = report_sink;
    JobMachine& machine = thread_job_machine();
    const JobResult result = machine.run_job(request);
    Figures f;
    f.status = result.end.status;
    if (f.status.size() > 3) {
        f.status[3].clear();
    }
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    write_text_report(out, make_job_report(machine, "job", result));
    std::fclose(out);
    f.report.assign(buffer, size);
    std::free(buffer);
    return f;
}

// The job edited by hand: the setting's entry joins the first line (so that
// line numbers stay), and every entry of the key gets the value.
std::string edited_by_hand(const std::string& job, const SettingOverride& o)
{
    const std::size_t dot = o.key.find('.');
    const std::string keyword = o.key.substr(0, dot);
    const int pen = dot == std::string::npos ? 0 : std::stoi(o.key.substr(dot + 1));
    std::string first = keyword;
    for (int p = 1; pen > 0 && p <= 16; ++p) {
        first += ' ' + std::to_string(p == pen ? o.value : 500);
    }
    first += pen > 0 ? " " : ' ' + std::to_string(o.value) + ' ';
    std::istringstream in(job);
    std::string edited = first;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
        if (!w.empty() && w[0] == keyword) {
            const std::size_t at = pen > 0 ? static_cast<std::size_t>(pen) : 1;
            if (at < w.size()) {
                w[at] = std::to_string(o.value);
            }
            line.clear();
            for (const std::string& word : w) {
                line += (line.empty() ? "" : " ") + word;
            }
        }
        edited += line + '\n';
    }
    return edited;
}

// The edited job's report numbered as the job's own entries: the setting's
// entry put before them shifts each by one.
std::string entries_as_in_job(const std::string& report)
{
    static const std::regex entry("entry ([0-9]+)");
    std::string out;
    auto last = report.cbegin();
    for (std::sregex_iterator m(report.begin(), report.end(), entry), end; m != end; ++m) {
        out.append(last, (*m)[0].first);
        out += "entry " + std::to_string(std::stoi((*m)[1].str()) - 1);
        last = (*m)[0].second;
    }
    out.append(last, report.cend());
    return out;
}

// The report of an overridden run without its line naming the settings.
std::string without_settings_line(const std::string& report)
{
    return std::regex_replace(report, std::regex("  Settings    [^\n]*\n"), "");
}

// One value per key, away from what the jobs hold, in reach of every field.
const std::pair<const char*, std::int32_t> key_values[] = {
    {"RasterSpeedX", 700},    {"RasterSpeedY", 250},     {"RasterBandingFree", 2},
    {"RasterFiringType", 1},  {"RasterDPI", 200},        {"RasterUnit", 500},
    {"RasterPower", 999},     {"RasterAccelEngrave", 9}, {"RasterBuEngrave", 1},
    {"ImageWidth", 40},       {"ImageHeight", 3},        {"VectorSpeed.1", 120},
    {"VectorSpeed.4", 900},   {"VectorSpeed.16", 40},
};

void expect_override_is_edit(const std::string& job, const std::string& name)
{
    for (const auto& [key, value] : key_values) {
        const SettingOverride o{key, value};
        const Figures overridden = run_figures(job, {o});
        const Figures edited = run_figures(edited_by_hand(job, o), {});
        EXPECT_NE(overridden.report.find(std::string("  Settings    ") + key), std::string::npos);
        EXPECT_EQ(without_settings_line(overridden.report), entries_as_in_job(edited.report))
            << key << " on " << name;
        EXPECT_EQ(overridden.status, edited.status) << key << " on " << name;
    }
}

} // namespace

TEST(WhatIf, EveryKeyOverriddenRunsAsTheJobEditedByHand)
{
    for (const char* name : {"vector_job.cmd", "raster_job.cmd", "mixed_job.cmd"}) {
        expect_override_is_edit(example_job(name), name);
    }
    job_generator::Prng rng(20261209u);
    for (int i = 0; i < 40 && !HasFailure(); ++i) {
        const std::string job = job_generator::random_job(rng);
        expect_override_is_edit(job, "generated job " + std::to_string(i) + ":\n" + job);
    }
}

TEST(WhatIf, SettingsChangeTheEstimateAndSeveralApplyTogether)
{
    const std::string raster = example_job("raster_job.cmd");
    const Figures slow = run_figures(raster, {{"RasterSpeedX", 500}});
    const Figures fast = run_figures(raster, {{"RasterSpeedX", 1000}});
    EXPECT_NE(slow.status[2], fast.status[2]);
    // A key given twice in a request runs at its later value throughout.
    EXPECT_EQ(run_figures(raster, {{"RasterSpeedX", 500}, {"RasterSpeedX", 1000}}).status,
              fast.status);
    // Two settings at once are the job with both edits.
    const std::string mixed = example_job("mixed_job.cmd");
    const SettingOverride a{"VectorSpeed.2", 200};
    const SettingOverride b{"RasterSpeedY", 400};
    const Figures both = run_figures(mixed, {a, b});
    EXPECT_EQ(both.status, run_figures(edited_by_hand(edited_by_hand(mixed, a), b), {}).status);
    EXPECT_NE(both.report.find("VectorSpeed.2 200, RasterSpeedY 400"), std::string::npos);
}

TEST(WhatIf, KeysAndValuesAreCheckedAgainstTheirFields)
{
    SettingOverride o;
    std::string error;
    EXPECT_TRUE(parse_setting_override("RasterBandingFree=255", &o, &error));
    EXPECT_EQ(o.value, 255);
    // Speeds keep to what the machine honours, 1000 per mille.
    EXPECT_TRUE(parse_setting_override("RasterSpeedX=1000", &o, &error));
    EXPECT_TRUE(parse_setting_override("VectorSpeed.04=7", &o, &error));
    EXPECT_EQ(o.key, "VectorSpeed.4");
    EXPECT_TRUE(parse_setting_override("ImageWidth=-2147483648", &o, &error));
    for (const char* bad : {"RasterSpeedX=1001", "RasterSpeedX=-1", "RasterBuEngrave=256",
                            "RasterBandingFree=300", "ImageHeight=2147483648", "VectorSpeed.0=5",
                            "VectorSpeed.17=5", "VectorSpeed.1=70000", "VectorSpeed=5",
                            "rasterspeedx=5", "SetStartRasterGraphics=0", "RasterSpeedX=8x",
                            "RasterSpeedX=", "=5", "RasterSpeedX"}) {
        error.clear();
        EXPECT_FALSE(parse_setting_override(bad, &o, &error)) << bad;
        const std::string key = std::string(bad).substr(0, std::string(bad).find('='));
        EXPECT_NE(error.find(key.empty() ? "KEY=VALUE" : key), std::string::npos) << error;
    }
}

TEST(WhatIf, SweepsTakeTheirRangeWithBothEnds)
{
    SweepSpec s;
    std::string error;
    ASSERT_TRUE(parse_sweep("RasterSpeedX=100:1000:200", &s, &error)) << error;
    EXPECT_EQ(s.values, (std::vector<std::int32_t>{100, 300, 500, 700, 900, 1000}));
    ASSERT_TRUE(parse_sweep("VectorSpeed.3=5:5:1", &s, &error));
    EXPECT_EQ(s.values, std::vector<std::int32_t>{5});
    EXPECT_TRUE(parse_sweep("ImageWidth=0:1000:1", &s, &error));
    EXPECT_EQ(s.values.size(), SWEEP_MAX_VALUES);
    for (const char* bad : {"RasterSpeedX=900:100:100", "RasterSpeedX=100:900:0",
                            "RasterSpeedX=100:900:-5", "ImageWidth=0:1001:1",
                            "RasterSpeedX=0:70000:100", "Nothing=1:2:1", "RasterSpeedX=1:2",
                            "RasterSpeedX=1:2:3:4"}) {
        EXPECT_FALSE(parse_sweep(bad, &s, &error)) << bad;
    }
    EXPECT_FALSE(make_sweep("RasterSpeedX", {}, &s, &error));
    EXPECT_FALSE(make_sweep("RasterSpeedX", std::vector<std::int64_t>(1002, 5), &s, &error));
    EXPECT_EQ(error, "a sweep of RasterSpeedX takes at most 1001 values");
}

TEST(WhatIf, ASweepRunsEachValueAsItsOwnOverride)
{
    const std::string job = example_job("vector_job.cmd");
    EXPECT_EQ(setting_as_written(job, "VectorSpeed.2"), 800);
    EXPECT_EQ(setting_as_written(job, "RasterSpeedX"), 0);
    EXPECT_EQ(setting_as_written("VemtracCmdVer 1\n", "VectorSpeed.9"), 500);
    EXPECT_EQ(setting_as_written("RasterSpeedX 65537\n", "RasterSpeedX"), 1);
    JobRequest request;
    request.job_bytes = job;
    request.console = report_sink;
    SweepSpec sweep_asked;
    std::string error;
    ASSERT_TRUE(make_sweep("VectorSpeed.2", {300, 800}, &sweep_asked, &error));
    const SweepResult sweep = run_sweep(request, sweep_asked);
    ASSERT_EQ(sweep.points.size(), 2u);
    EXPECT_EQ(sweep.written_value, 800);
    EXPECT_EQ(sweep.points[1].result.ticks, sweep.as_written.ticks);
    EXPECT_NE(sweep.points[0].result.ticks, sweep.points[1].result.ticks);
    JobRequest edited = request;
    const std::string slow = edited_by_hand(job, {"VectorSpeed.2", 300});
    edited.job_bytes = slow;
    EXPECT_EQ(sweep.points[0].result.ticks, run_job(edited).ticks);
}

TEST(WhatIf, CostIsRunTimeAndSetupAtTheRate)
{
    EXPECT_EQ(cost_text(3600000, {60, 0}), "60.00");
    EXPECT_EQ(cost_text(1800000, {45.5, 15}), "34.13");  // 0.75 h x 45.5 = 34.125
    EXPECT_EQ(cost_text(0, {0, 30}), "0.00");
    EXPECT_EQ(total_cost_text(1800000, 2, {10, 15}), "10.00");
}
