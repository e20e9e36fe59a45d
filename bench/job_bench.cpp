// Whole jobs, end to end as an operator runs them: the generated job file
// read, replayed from power-on to the status file. Reports host
// milliseconds per job and simulated servo ticks per second.
//
// "vemtrac_bench --write-jobs DIR" writes the generated jobs as DIR/<name>.cmd
// and exits, so that whole builds can be compared on the same files
// (bench/compare_builds.sh).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

#include <unistd.h>

#include "bench_jobs.h"
#include "job/job_machine.h"

namespace {

// The folder a job runs in: it holds Vemtrac.cmd and gets Vemtrac.sts.
std::string job_folder(const BenchJob& job)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("vemtrac-bench-" + std::to_string(::getpid())) /
                                      std::string(job.name);
    std::filesystem::create_directories(dir);
    return dir.string();
}

// Runs the job with the console lines dropped; true when the status file
// says VMTC_OK.
bool run_quietly(JobMachine& m, JobRequest request)
{
    request.console = console_quiet_sink();
    return m.run_job(request).outcome == JobOutcome::ok;
}

// How a benchmark runs its job.
enum class JobMode { full_replay, default_run, read_and_plan, read_and_plan_ring_full };

// One whole job per iteration, read from its file as the program reads it,
// as the full replay of every tick, as the default run, or only read and
// planned (the floor of an exact estimate: no ticks, so no estimate) with
// each record freed as it is committed or with the ring held full.
void BM_Job(benchmark::State& state, BenchJob job, JobMode mode)
{
    const std::string folder = job_folder(job);
    if (!bench_write_file(folder + "/Vemtrac.cmd", bench_job_text(job.kind))) {
        state.SkipWithError("cannot write the job file");
        return;
    }
    const std::string program = folder + "/vemtrac";
    JobRequest request;
    request.program_path = program.c_str();
    request.replay = mode == JobMode::full_replay ? ReplayMode::full : ReplayMode::fast;
    request.plan_only = mode == JobMode::read_and_plan           ? PlanOnly::freed_at_commit
                        : mode == JobMode::read_and_plan_ring_full ? PlanOnly::ring_full
                                                                   : PlanOnly::off;

    JobMachine& m = thread_job_machine();
    std::int64_t ticks = 0;
    std::uint32_t job_ticks = 0;
    for (auto _ : state) {
        if (!run_quietly(m, request) && request.plan_only == PlanOnly::off) {
            state.SkipWithError("the job did not end with VMTC_OK");
            break;
        }
        // run_job restarts the servo tick counter at 0, so it now holds the
        // ticks the whole job ran, motion and start-up waits together.
        job_ticks = static_cast<std::uint32_t>(m.svo_tick_count);
        ticks += job_ticks;
    }
    state.counters["ticks/s"] =
        benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
    state.counters["ticks"] = static_cast<double>(job_ticks);
    state.counters["estimate_ms"] =
        static_cast<double>(job_run_time(m.job_start_tick, m.job_end_tick).ms);
    if (mode == JobMode::default_run && job_ticks != 0) {
        // Share of the ticks the default run still took through the handlers.
        state.counters["one_by_one_%"] =
            100.0 * static_cast<double>(m.replay_state.ticks_one_by_one) / job_ticks;
        state.counters["ramps_%"] =
            100.0 * static_cast<double>(m.replay_state.ticks_in_ramps) / job_ticks;
        // Of those, the ramp ticks that still went one at a time.
        state.counters["ramps_stepped_%"] =
            100.0 * static_cast<double>(m.replay_state.ticks_stepped_in_ramps) / job_ticks;
        // Ticks of the waits replayed from the memo of waits that ran before.
        state.counters["remembered_%"] =
            100.0 * static_cast<double>(m.replay_state.ticks_remembered) / job_ticks;
        // Corner passes taken from the memo of passes that ran before.
        state.counters["passes_remembered"] =
            static_cast<double>(m.replay_state.corner_passes_remembered);
    }
    std::filesystem::remove_all(folder);
}

// Each job gets a few runs, the full replay right before the default run and
// its read-and-plan floor: the short ones two seconds of runs, the ten-hour
// raster a fixed three.
// Rates are per CPU second of the process, so that other work on the host
// slows the wall time but not the figure.
void register_job_benchmarks()
{
    for (const BenchJob& job : bench_jobs) {
        const std::pair<JobMode, const char*> modes[] = {
            {JobMode::full_replay, "/full_replay"},
            {JobMode::default_run, "/default"},
            {JobMode::read_and_plan, "/read_and_plan"},
            {JobMode::read_and_plan_ring_full, "/read_and_plan_ring_full"}};
        for (const auto& [mode, suffix] : modes) {
            const std::string name = "BM_Job/" + std::string(job.name) + suffix;
            auto* b = benchmark::RegisterBenchmark(name.c_str(), BM_Job, job, mode);
            b->Unit(benchmark::kMillisecond);
            if (job.kind == BenchJobKind::raster_10h) {
                b->Iterations(3);
            } else {
                b->MinTime(2.0);
            }
        }
    }
}

} // namespace

// Handles --write-jobs before the benchmark library sees the arguments.
int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--write-jobs") == 0) {
        if (argc != 3) {
            std::fprintf(stderr, "usage: %s --write-jobs DIR\n", argv[0]);
            return 2;
        }
        return bench_write_jobs(argv[2]) ? 0 : 1;
    }
    register_job_benchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                ("vemtrac-bench-" + std::to_string(::getpid())));
    return 0;
}
