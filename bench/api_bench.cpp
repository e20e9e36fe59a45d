// The C interface's cost per call over the in-process job run, on the
// example jobs: the typed estimate against run_job with the same request,
// and the JSON report against run_job with the tick log kept and the
// report built and written as JSON in-process. And the interface on a
// mixed set of jobs from one thread and from two at once.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_jobs.h"
#include "job/job_machine.h"
#include "report/job_report.h"
#include "report/report_json.h"
#include "vemtrac/vemtrac.h"

namespace {

// An example job's bytes.
std::string example(const char* name)
{
    std::ifstream in(std::string(VEMTRAC_EXAMPLES_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void drop(void*, ConsoleStream, const char*, std::size_t) {}

void BM_Example_RunJob(benchmark::State& state, const char* name)
{
    const std::string job = example(name);
    JobRequest request;
    request.job_bytes = job;
    request.console = ConsoleSink{drop, nullptr};
    for (auto _ : state) {
        benchmark::DoNotOptimize(run_job(request).end.run_time.ms);
    }
}

void BM_Example_ApiEstimate(benchmark::State& state, const char* name)
{
    const std::string job = example(name);
    vemtrac_result result;
    for (auto _ : state) {
        if (vemtrac_estimate(job.data(), job.size(), nullptr, &result) != VEMTRAC_SUCCESS) {
            state.SkipWithError("the estimate failed");
            break;
        }
        benchmark::DoNotOptimize(result.run_time_ms);
    }
}

void BM_Example_RunJobReport(benchmark::State& state, const char* name)
{
    const std::string job = example(name);
    JobRequest request;
    request.job_bytes = job;
    request.account_ticks = true;
    request.console = ConsoleSink{drop, nullptr};
    for (auto _ : state) {
        JobMachine& m = thread_job_machine();
        const JobResult result = m.run_job(request);
        const std::string text = json_job_text(make_job_report(m, "", result));
        benchmark::DoNotOptimize(text.data());
    }
}

void BM_Example_ApiReportJson(benchmark::State& state, const char* name)
{
    const std::string job = example(name);
    for (auto _ : state) {
        char* text = vemtrac_report_json(job.data(), job.size(), nullptr);
        benchmark::DoNotOptimize(text);
        vemtrac_free(text);
    }
}

#define EXAMPLE_BENCHMARKS(fn)                                                             \
    BENCHMARK_CAPTURE(fn, vector_job, "vector_job.cmd")->Unit(benchmark::kMillisecond);   \
    BENCHMARK_CAPTURE(fn, raster_job, "raster_job.cmd")->Unit(benchmark::kMillisecond);   \
    BENCHMARK_CAPTURE(fn, mixed_job, "mixed_job.cmd")->Unit(benchmark::kMillisecond)

EXAMPLE_BENCHMARKS(BM_Example_RunJob);
EXAMPLE_BENCHMARKS(BM_Example_ApiEstimate);
EXAMPLE_BENCHMARKS(BM_Example_RunJobReport);
EXAMPLE_BENCHMARKS(BM_Example_ApiReportJson);

// A mixed set: the three examples and the short benchmark jobs (curves,
// a photo, long cuts), a few milliseconds to a few tens each.
const std::vector<std::string>& mixed_set()
{
    static const std::vector<std::string> jobs = [] {
        std::vector<std::string> set;
        for (const char* name : {"vector_job.cmd", "raster_job.cmd", "mixed_job.cmd"}) {
            set.push_back(example(name));
        }
        for (const BenchJobKind kind :
             {BenchJobKind::circles, BenchJobKind::raster_photo, BenchJobKind::long_cuts}) {
            set.push_back(bench_job_text(kind));
        }
        return set;
    }();
    return jobs;
}

// Every thread estimates the whole set through the C interface per
// iteration; jobs per second add up over the threads.
void BM_ApiMixedSet(benchmark::State& state)
{
    const std::vector<std::string>& jobs = mixed_set();
    vemtrac_result result;
    for (auto _ : state) {
        for (const std::string& job : jobs) {
            if (vemtrac_estimate(job.data(), job.size(), nullptr, &result) != VEMTRAC_SUCCESS) {
                state.SkipWithError("the estimate failed");
                return;
            }
            benchmark::DoNotOptimize(result.run_time_ms);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(jobs.size()));
}

// The set is made before the threads start.
void make_mixed_set(const benchmark::State&)
{
    mixed_set();
}

BENCHMARK(BM_ApiMixedSet)
    ->Setup(make_mixed_set)
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
