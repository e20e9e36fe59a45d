// The report on big jobs: memory and time of --report, and the size of
// the picture it draws. Runs each generated benchmark job through the
// report path (tally, text, JSON, timeline, picture) in this process and
// prints its picture's size; then a generated job of many entries (by
// default 4 million, about 66 MB; give another count as the argument) and
// the process's peak resident memory after it, which must not grow with
// the job: compare two counts.
//
//   build/bench/vemtrac_report_memory [entries]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>


#include "bench_jobs.h"
#include "job/job_machine.h"
#include "report/job_report.h"
#include "report/job_svg.h"
#include "report/report_json.h"
#include "report/timeline_csv.h"

namespace {

void count_row(const TimelineRow& row, void* bytes)
{
    *static_cast<std::size_t*>(bytes) += timeline_csv_row(row).size();
}

// A job of many entries: strokes of 60..160 collinear chords with pen-up
// hops between them, four pens, each block of strokes ending where it began.
std::string many_entries_job(long entries)
{
    std::string job = "VemtracCmdVer 1\nToHpglMode 0\npu_default 12000 9000\n";
    std::uint32_t seed = 7;
    const auto next = [&](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    long written = 0;
    long net_x = 0, net_y = 0;
    for (int stroke = 0; written < entries; ++stroke) {
        if (stroke % 50 == 0) {
            job += "execute_penselect " + std::to_string(stroke / 50 % 4 + 1) + "\n";
        }
        const int hop_x = static_cast<int>(next(401)) - 200,
                  hop_y = static_cast<int>(next(401)) - 200;
        job += "pu_default " + std::to_string(hop_x) + " " + std::to_string(hop_y) + "\n";
        net_x += hop_x;
        net_y += hop_y;
        static const int steps[4][2] = {{2, 0}, {0, 2}, {1, 1}, {-1, 1}};
        const int* step = steps[next(4)];
        const int chords = 60 + static_cast<int>(next(101));
        for (int c = 0; c < chords; ++c) {
            job += "pd_default " + std::to_string(step[0]) + " " + std::to_string(step[1]) + "\n";
        }
        net_x += chords * step[0];
        net_y += chords * step[1];
        written += chords + 1;
        if (stroke % 2000 == 1999) {
            job += "pu_default " + std::to_string(-net_x) + " " + std::to_string(-net_y) + "\n";
            net_x = net_y = 0;
        }
    }
    return job;
}

struct ReportRun {
    JobReport report;
    std::size_t timeline_bytes = 0;
    double seconds = 0;
};

// Runs the job through the report path with its console out of the way.
ReportRun run_report(const std::string& job, const std::string& name)
{
    ReportRun run;
    JobRequest request;
    request.job_bytes = job;
    request.console = console_quiet_sink();
    request.account_ticks = true;
    request.tally_report = true;
    request.timeline_row = count_row;
    request.timeline_context = &run.timeline_bytes;
    const auto start = std::chrono::steady_clock::now();
    JobMachine& m = thread_job_machine();
    const JobResult result = m.run_job(request);
    run.report = make_job_report(m, name, result);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

// A figure of /proc/self/status in kB (VmRSS: resident now, VmHWM: the
// peak since the last reset_peak).
long status_kb(const char* field)
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    long kb = -1;
    char line[256];
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, field, std::strlen(field)) == 0) {
            kb = std::atol(line + std::strlen(field) + 1);
        }
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    return kb;
}

// Starts the peak over from the memory resident now.
void reset_peak()
{
    if (std::FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", clear);
        std::fclose(clear);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const long entries = argc > 1 ? std::atol(argv[1]) : 4'000'000;
    std::printf("%-14s %12s %12s %10s\n", "job", "svg bytes", "csv bytes", "seconds");
    for (const BenchJob& b : bench_jobs) {
        const ReportRun run = run_report(bench_job_text(b.kind), std::string(b.name));
        std::printf("%-14s %12zu %12zu %10.2f\n", std::string(b.name).c_str(),
                    job_svg(run.report).size(), run.timeline_bytes, run.seconds);
    }
    std::string job = many_entries_job(entries);
    const std::size_t job_bytes = job.size();
    reset_peak();
    const long before_kb = status_kb("VmRSS:");
    const ReportRun run = run_report(job, "many_entries");
    const std::size_t svg_bytes = job_svg(run.report).size();
    const std::size_t json_bytes = json_report({run.report}, "bench").size();
    std::printf("many_entries: %ld entries, %.1f MB job, %.2f s, estimate %u ms, svg %zu bytes, "
                "csv %zu bytes, json %zu bytes\n",
                entries, static_cast<double>(job_bytes) / 1e6, run.seconds, run.report.run_time_ms,
                svg_bytes, run.timeline_bytes, json_bytes);
    const long peak_kb = status_kb("VmHWM:");
    std::printf("resident memory: %ld kB before the job (its text held), peak %ld kB while it "
                "ran: %ld kB more\n",
                before_kb, peak_kb, peak_kb - before_kb);
    return 0;
}
