#include "report/pass_times.h"

namespace {

// Swallows the console of a run whose figures alone are wanted.
void drop_console(void*, ConsoleStream, const char*, std::size_t) {}

// True when the run was estimated to the end of its job file.
bool ran_to_end(const JobResult& run)
{
    return run.outcome == JobOutcome::ok && run.end.complete;
}

} // namespace

void add_pass_times(JobMachine& machine, JobRequest request, const JobResult& whole,
                    std::vector<PassTime> pens, const JobWithPasses& with_passes,
                    JobReport* report)
{
    report->from_design = true;
    report->pass_times = std::move(pens);
    request.account_ticks = false;
    request.tally_report = false;
    request.timeline_row = nullptr;
    request.move_sink = nullptr;
    request.show_progress = false;
    request.console = ConsoleSink{drop_console, nullptr};
    for (PassTime& t : report->pass_times) {
        t.timed = false;
        if (!ran_to_end(whole) || t.passes < 2) {
            continue;
        }
        const std::string fewer = with_passes(t.pen, t.passes - 1);
        if (fewer.empty()) {
            continue;
        }
        request.job_bytes = fewer;
        const JobResult run = machine.run_job(request);
        if (ran_to_end(run)) {
            t.timed = true;
            t.ms = static_cast<std::int64_t>(whole.end.run_time.ms) -
                   static_cast<std::int64_t>(run.end.run_time.ms);
            t.ticks = static_cast<std::int64_t>(whole.ticks) - run.ticks;
        }
    }
}
