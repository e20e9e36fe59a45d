// The C interface's cost per call over the in-process job run, on the
// example jobs: the typed estimate against run_job with the same request,
// and the JSON report against run_job with the tick log kept and the
// report built and written as JSON in-process.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

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

} // namespace
