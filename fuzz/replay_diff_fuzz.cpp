// Fuzz target: any bytes as a job file, run four times in this process: as
// the literal replay (each tick through the servo interrupt, nothing else),
// the full replay and the default run (position loop left out, runs of
// alike ticks in one step), with the tick log and without it (where it
// replays repeated waits from its memo). Any difference from the literal replay in what the
// job shows (console output, status lines but the estimator's own run
// time, the per-phase report, where it stopped, the tick counts, the final
// position, the log of where the ticks went) is a finding. The console and
// the diagnostics are caught through the run's sink.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "job/job_machine.h"

namespace {

// Harness limit, as in the other target: each run at most this many ticks.
constexpr std::uint64_t fuzz_tick_cap = 1'000'000;

// What one run showed, as one string of bytes; the log of where the ticks
// went last, when kept.
std::string run_one_way(const std::string& job, ReplayMode replay, bool tick_log = true)
{
    ConsoleCapture console;
    JobRequest request;
    request.job_bytes = job;
    request.trace_names = "ShowJobTime";
    request.tick_limit = fuzz_tick_cap;
    request.replay = replay;
    request.account_ticks = tick_log;
    request.console = console.sink();
    JobMachine& m = thread_job_machine();
    JobResult result = m.run_job(request);

    std::string shown = console.console + "\ndiagnostics " + console.diagnostic;
    if (result.end.status.size() > 3) {
        result.end.status[3].clear();  // the estimator's own run time
    }
    for (const std::string& line : result.end.status) {
        shown += "\nstatus " + line;
    }
    shown += "\nend " + std::to_string(result.end.complete) + ' ' +
             std::to_string(result.end.entry) + ' ' + result.end.reason;
    const std::int32_t values[] = {result.ticks, m.svo_tick_count, m.svo_pos_x, m.svo_pos_y,
                                   m.svo_step_x,  m.svo_step_y};
    for (const std::int32_t v : values) {
        shown += ' ' + std::to_string(v);
    }
    for (const std::int32_t count : m.phase_tick_count) {
        shown += ' ' + std::to_string(count);
    }
    shown += "\nlog";
    for (const TickRun& run : m.tick_account_state.runs) {
        shown += ' ' + std::to_string(run.first_tick) + ':' + std::to_string(run.work) + ':' +
                 std::to_string(run.phase);
    }
    return shown;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string job(reinterpret_cast<const char*>(data), size);
    const std::string literal = run_one_way(job, ReplayMode::literal);
    if (run_one_way(job, ReplayMode::full) != literal) {
        std::fprintf(stderr, "the full replay differs from the literal replay\n");
        std::abort();
    }
    if (run_one_way(job, ReplayMode::fast) != literal) {
        std::fprintf(stderr, "the default run differs from the literal replay\n");
        std::abort();
    }
    const std::string unlogged = run_one_way(job, ReplayMode::fast, false);
    if (unlogged != literal.substr(0, literal.rfind("\nlog") + 4)) {
        std::fprintf(stderr,
                     "the default run without the tick log differs from the literal replay\n");
        std::abort();
    }
    return 0;
}
