// The default run (position loop left out, runs of alike ticks advanced in
// one step) and the full replay (every tick with the position loop, runs in
// registers) against the literal replay (each tick through the servo
// interrupt, nothing else; corner ramps walked step by step): the same job
// must give the same console output, standard error, status lines (but the
// estimator's own run time), per-phase report, tick log, final position and
// tick counts, on the example jobs, the fault inputs and a few hundred
// generated jobs.
#include "machine_fixture.h"

#include <array>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "job/job_run.h"
#include "job_generator.h"

using job_generator::Prng;
using job_generator::random_job;
#include "fwShare/servo/servo_ticks.h"
#include "replay/tick_account.h"

namespace {

// Everything a run shows or leaves behind that the two ways must agree on.
struct RunOutcome {
    std::string out, err;
    std::vector<std::string> status;
    bool complete = false;
    int entry = 0;
    std::string reason;
    std::int32_t ticks = 0, svo_tick_count = 0, pos_x = 0, pos_y = 0, step_x = 0, step_y = 0;
    std::array<std::int32_t, SVO_PHASE_COUNT> phases{};
    std::vector<std::uint32_t> tick_log;  // first tick, work, phase of every run
    std::uint64_t waits_remembered = 0;
    // Following errors: the default run moves them without the loop, so only
    // its two runs compare them.
    std::int16_t err_x = 0, err_y = 0;
};

RunOutcome run_one_way(const std::string& job, ReplayMode replay, std::uint64_t tick_limit,
                       std::optional<ReplayClock::time_point> deadline = std::nullopt,
                       bool tick_log = true)
{
    RunOutcome o;
    JobRequest request;
    request.job_bytes = job;
    request.trace_names = "ShowJobTime";
    request.tick_limit = tick_limit;
    request.deadline = deadline;
    request.replay = replay;
    request.account_ticks = tick_log;
    JobResult result;
    JobMachine& m = thread_job_machine();
    ::testing::internal::CaptureStderr();
    o.out = capture_stdout([&] { result = m.run_job(request); });
    o.err = ::testing::internal::GetCapturedStderr();
    o.status = result.end.status;
    if (o.status.size() > 3) {
        o.status[3].clear();  // the estimator's own run time
    }
    o.complete = result.end.complete;
    o.entry = result.end.entry;
    o.reason = result.end.reason;
    o.ticks = result.ticks;
    o.svo_tick_count = m.svo_tick_count;
    o.pos_x = m.svo_pos_x;
    o.pos_y = m.svo_pos_y;
    o.step_x = m.svo_step_x;
    o.step_y = m.svo_step_y;
    std::memcpy(o.phases.data(), m.phase_tick_count, sizeof m.phase_tick_count);
    for (const TickRun& run : m.tick_account_state.runs) {
        o.tick_log.insert(o.tick_log.end(), {run.first_tick, run.work, run.phase});
    }
    o.waits_remembered = m.replay_state.waits_remembered;
    o.err_x = m.svo_err_x;
    o.err_y = m.svo_err_y;
    return o;
}

// Expects a run to show and leave what the literal replay does.
void expect_same(const RunOutcome& run, const RunOutcome& literal, const std::string& name)
{
    EXPECT_EQ(run.out, literal.out) << name;
    EXPECT_EQ(run.err, literal.err) << name;
    EXPECT_EQ(run.status, literal.status) << name;
    EXPECT_EQ(run.complete, literal.complete) << name;
    EXPECT_EQ(run.entry, literal.entry) << name;
    EXPECT_EQ(run.reason, literal.reason) << name;
    EXPECT_EQ(run.ticks, literal.ticks) << name;
    EXPECT_EQ(run.svo_tick_count, literal.svo_tick_count) << name;
    EXPECT_EQ(run.pos_x, literal.pos_x) << name;
    EXPECT_EQ(run.pos_y, literal.pos_y) << name;
    EXPECT_EQ(run.step_x, literal.step_x) << name;
    EXPECT_EQ(run.step_y, literal.step_y) << name;
    EXPECT_EQ(run.phases, literal.phases) << name;
    EXPECT_TRUE(run.tick_log.empty() || run.tick_log == literal.tick_log) << name;
}

// Waits the default run replayed from its memo, over the jobs run so far.
std::uint64_t waits_remembered_so_far = 0;

// Runs the job every way and expects the full replay and the default run
// (with the tick log, and without it, where it replays waits from its memo)
// to give what the literal replay gives; returns the ticks.
std::int32_t expect_same_every_way(const std::string& job, const std::string& name,
                                   std::uint64_t tick_limit = replay_max_job_ticks)
{
    const RunOutcome literal = run_one_way(job, ReplayMode::literal, tick_limit);
    expect_same(run_one_way(job, ReplayMode::full, tick_limit), literal, "full replay, " + name);
    const RunOutcome logged = run_one_way(job, ReplayMode::fast, tick_limit);
    expect_same(logged, literal, "default run, " + name);
    const RunOutcome unlogged = run_one_way(job, ReplayMode::fast, tick_limit, std::nullopt, false);
    expect_same(unlogged, literal, "default run without the tick log, " + name);
    EXPECT_EQ(unlogged.err_x, logged.err_x) << name;
    EXPECT_EQ(unlogged.err_y, logged.err_y) << name;
    waits_remembered_so_far += unlogged.waits_remembered;
    return literal.ticks;
}

} // namespace

TEST(FastRun, ExampleJobsAndFaultInputsGiveWhatTheLiteralReplayGives)
{
    for (const char* name : {"vector_job.cmd", "raster_job.cmd", "mixed_job.cmd"}) {
        EXPECT_GT(expect_same_every_way(example_job(name), name), 0);
    }
    for (const auto& file : std::filesystem::directory_iterator(VEMTRAC_FAULT_INPUTS_DIR)) {
        expect_same_every_way(read_all(file.path()), file.path().filename().string());
    }
    // Cut short by the tick limit in the middle of a slew.
    expect_same_every_way(example_job("vector_job.cmd"), "tick limit", 40000);
}

TEST(FastRun, GeneratedJobsGiveWhatTheLiteralReplayGives)
{
    Prng rng(20261208u);
    std::int64_t ticks = 0;
    for (int i = 0; i < 300; ++i) {
        const std::string job = random_job(rng);
        const std::uint64_t limit = rng.chance(5) ? static_cast<std::uint64_t>(rng.in(1, 30000))
                                                  : replay_max_job_ticks;
        ticks +=
            expect_same_every_way(job, "generated job " + std::to_string(i) + ":\n" + job, limit);
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_GT(ticks, 1000000);
    // Repeated chains and raster lines: the memo of waits is put to the test.
    EXPECT_GT(waits_remembered_so_far, 1000u);
}

TEST(FastRun, DeadlineCutsAJobShortAndOtherwiseChangesNothing)
{
    // A deadline far off runs the waits in slices between clock readings
    // (the last wait here runs 360 000 ticks), and every way still gives
    // what the literal replay gives without one, cut short or not.
    const std::string job = slow_zigzag_job(3);
    const auto far_off = ReplayClock::now() + std::chrono::hours(1);
    for (const std::uint64_t limit : {replay_max_job_ticks, std::uint64_t{200000}}) {
        const RunOutcome literal = run_one_way(job, ReplayMode::literal, limit);
        EXPECT_EQ(literal.complete, limit == replay_max_job_ticks);
        for (const ReplayMode mode : {ReplayMode::literal, ReplayMode::full, ReplayMode::fast}) {
            expect_same(run_one_way(job, mode, limit, far_off), literal,
                        "deadline, tick limit " + std::to_string(limit));
        }
    }
    // A deadline already passed ends the job at its first wait, saying why.
    const RunOutcome late =
        run_one_way(slow_zigzag_job(1000), ReplayMode::fast, replay_max_job_ticks,
                    ReplayClock::now() - std::chrono::seconds(1));
    EXPECT_FALSE(late.complete);
    EXPECT_EQ(late.ticks, 0);
    EXPECT_NE(late.reason.find("wall-clock time allowed"), std::string::npos) << late.reason;
    EXPECT_NE(late.err.find("wall-clock time allowed"), std::string::npos) << late.err;
}

TEST(FastRun, JobsOnlyReadAndPlannedRunNoTickAndReadToTheEnd)
{
    std::vector<std::pair<std::string, std::string>> jobs;
    for (const char* name : {"vector_job.cmd", "raster_job.cmd", "mixed_job.cmd"}) {
        jobs.emplace_back(name, example_job(name));
    }
    for (const auto& file : std::filesystem::directory_iterator(VEMTRAC_FAULT_INPUTS_DIR)) {
        jobs.emplace_back(file.path().filename().string(), read_all(file.path()));
    }
    for (const auto& [name, job] : jobs) {
        const RunOutcome run = run_one_way(job, ReplayMode::fast, replay_max_job_ticks);
        for (const PlanOnly plan : {PlanOnly::freed_at_commit, PlanOnly::ring_full}) {
            JobRequest request;
            request.job_bytes = job;
            request.plan_only = plan;
            JobResult result;
            JobMachine& m = thread_job_machine();
            capture_stdout([&] { result = m.run_job(request); });
            EXPECT_EQ(m.svo_tick_count, 0) << name;
            EXPECT_EQ(result.end.entry, run.entry) << name;
            EXPECT_EQ(m.SVO_VectPtr, nullptr) << name;
        }
    }
}
