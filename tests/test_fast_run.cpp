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

#include "app/job_run.h"
#include "fwShare/servo/servo_isr.h"
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
};

RunOutcome run_one_way(const std::string& job, ReplayMode replay, std::uint64_t tick_limit,
                       std::optional<ReplayClock::time_point> deadline = std::nullopt)
{
    RunOutcome o;
    JobRequest request;
    request.job_bytes = job;
    request.trace_names = "ShowJobTime";
    request.tick_limit = tick_limit;
    request.deadline = deadline;
    request.replay = replay;
    request.account_ticks = true;
    JobResult result;
    ::testing::internal::CaptureStderr();
    o.out = capture_stdout([&] { result = run_job(request); });
    o.err = ::testing::internal::GetCapturedStderr();
    o.status = result.end.status;
    if (o.status.size() > 3) {
        o.status[3].clear();  // the estimator's own run time
    }
    o.complete = result.end.complete;
    o.entry = result.end.entry;
    o.reason = result.end.reason;
    o.ticks = result.ticks;
    o.svo_tick_count = svo_tick_count;
    o.pos_x = svo_pos_x;
    o.pos_y = svo_pos_y;
    o.step_x = svo_step_x;
    o.step_y = svo_step_y;
    std::memcpy(o.phases.data(), phase_tick_count, sizeof phase_tick_count);
    for (const TickRun& run : tick_account_state.runs) {
        o.tick_log.insert(o.tick_log.end(), {run.first_tick, run.work, run.phase});
    }
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
    EXPECT_TRUE(run.tick_log == literal.tick_log) << name;
}

// Runs the job every way and expects the full replay and the default run
// to give what the literal replay gives; returns the ticks.
std::int32_t expect_same_every_way(const std::string& job, const std::string& name,
                                   std::uint64_t tick_limit = replay_max_job_ticks)
{
    const RunOutcome literal = run_one_way(job, ReplayMode::literal, tick_limit);
    expect_same(run_one_way(job, ReplayMode::full, tick_limit), literal, "full replay, " + name);
    expect_same(run_one_way(job, ReplayMode::fast, tick_limit), literal, "default run, " + name);
    return literal.ticks;
}

// A fixed-seed xorshift generator, the same on every host.
class Prng {
public:
    explicit Prng(std::uint32_t seed) : state_(seed | 1u) {}
    // A number in lo..hi, both included.
    std::int32_t in(std::int32_t lo, std::int32_t hi)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return lo + static_cast<std::int32_t>(state_ % (static_cast<std::uint32_t>(hi - lo) + 1u));
    }
    // One of the values given.
    std::int32_t pick(std::initializer_list<std::int32_t> values)
    {
        return values.begin()[in(0, static_cast<std::int32_t>(values.size()) - 1)];
    }
    bool chance(std::int32_t percent) { return in(1, 100) <= percent; }

private:
    std::uint32_t state_;
};

void entry(std::string& job, std::string_view keyword, std::initializer_list<std::int32_t> values)
{
    job += keyword;
    for (const std::int32_t v : values) {
        job += ' ' + std::to_string(v);
    }
    job += '\n';
}

// A chain of pen-down moves: tiny, short, long or (rarely) huge steps that
// turn by a random angle each, so that corners of every angle and every
// octant come up.
void vector_chain(std::string& job, Prng& rng)
{
    const std::int32_t moves = rng.pick({1, 2, 3, 5, 12, 40});
    const std::int32_t scale = rng.pick({2, 12, 60, 400, 3000});
    std::int32_t dx = rng.in(-scale, scale);
    std::int32_t dy = rng.in(-scale, scale);
    entry(job, "pu_default", {rng.in(-3000, 3000), rng.in(-3000, 3000)});
    for (std::int32_t i = 0; i < moves; ++i) {
        if (rng.chance(50)) {
            const std::int32_t turn = rng.pick({0, 1, 2, 3, 4});
            dx = turn == 0 ? dx : turn == 1 ? -dy : turn == 2 ? dy : rng.in(-scale, scale);
            dy = turn == 0 ? dy : turn == 1 ? dx : turn == 2 ? -dx : rng.in(-scale, scale);
        }
        const std::int32_t big = rng.chance(2) ? 40 : 1;
        entry(job, "pd_default", {dx * big, dy * big});
    }
}

// A raster image with random resolution, speeds, banding, direction and
// placement, a few lines, in PCL mode and back.
void raster_image(std::string& job, Prng& rng)
{
    entry(job, "ToPclMode", {0});
    entry(job, "RasterDPI", {rng.pick({75, 150, 300, 500, 600, 1000})});
    entry(job, "RasterUnit", {rng.pick({100, 150, 254, 300, 500, 1000})});
    entry(job, "RasterSpeedX", {rng.pick({30, 200, 600, 1000})});
    entry(job, "RasterSpeedY", {rng.pick({100, 500, 1000})});
    entry(job, "RasterPower", {600});
    entry(job, "RasterFiringType", {0});
    entry(job, "RasterBandingFree", {rng.in(0, 1)});
    entry(job, "RasterBuEngrave", {rng.in(0, 1)});
    entry(job, "ImageWidth", {rng.in(1, 1500)});
    const std::int32_t lines = rng.in(1, 12);
    entry(job, "ImageHeight", {lines});
    entry(job, "SetHorizontalPositionPCL", {rng.in(0, 1), rng.in(0, 2000)});
    entry(job, "SetVerticalPositionPCL", {rng.in(0, 1), rng.in(0, 2000)});
    entry(job, "SetStartRasterGraphics", {0});
    for (std::int32_t i = 0; i < lines; ++i) {
        entry(job, "RasterLineOut", {0});
    }
    entry(job, "SetEndRasterGraphics", {0});
    entry(job, "ToHpglMode", {0});
}

// A whole job: pen speed codes, then pen changes, vector chains and raster
// images in random order; some end early at an entry the interpreter
// does not know.
std::string random_job(Prng& rng)
{
    std::string job;
    entry(job, "VemtracCmdVer", {1});
    job += "VectorSpeed";
    for (int pen = 0; pen < 16; ++pen) {
        job += ' ' + std::to_string(rng.pick({9, 20, 100, 300, 500, 800, 1000}));
    }
    job += '\n';
    entry(job, "ToHpglMode", {0});
    entry(job, "execute_penselect", {rng.in(1, 16)});
    const std::int32_t parts = rng.in(1, 6);
    for (std::int32_t i = 0; i < parts; ++i) {
        const std::int32_t what = rng.in(0, 9);
        if (what < 6) {
            vector_chain(job, rng);
        } else if (what < 8) {
            raster_image(job, rng);
        } else {
            entry(job, "execute_penselect", {rng.in(1, 16)});
        }
        if (rng.chance(3)) {
            entry(job, "NoSuchEntry", {1});
        }
    }
    return job;
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
        ticks += expect_same_every_way(job, "generated job " + std::to_string(i) + ":\n" + job, limit);
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_GT(ticks, 1000000);
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
