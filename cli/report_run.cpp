#include "cli/report_run.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "base/console.h"
#include "base/platform.h"
#include "base/shown_text.h"
#include "cli/design_input.h"
#include "job/job_machine.h"
#include "job/output_file.h"
#include "job/parallel_runs.h"
#include "report/job_svg.h"
#include "report/report_json.h"
#include "report/report_text.h"
#include "report/sweep_svg.h"
#include "report/timeline_csv.h"

namespace {

// The job file of a JOB: the file itself, or Vemtrac.cmd in a folder.
std::string job_file_of(const std::string& job)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    return fs::is_directory(job, ec) ? (fs::path(job) / "Vemtrac.cmd").string() : job;
}

// Writes a timeline row to the timeline file as its entry finishes.
void write_timeline_row(const TimelineRow& row, void* timeline)
{
    static_cast<OutputFile*>(timeline)->write(timeline_csv_row(row));
}

// The console of a report's job (whose tally reads the machine's own
// warnings from it): its lines go to standard error when traces are asked
// for (context non-null), nowhere otherwise; diagnostics to standard error.
void report_console(void* traced, ConsoleStream stream, const char* text, std::size_t size)
{
    if (stream == ConsoleStream::diagnostic || traced != nullptr) {
        std::fwrite(text, 1, size, stderr);
    }
}

// The request for a job file as the command line asks for it: the trace
// categories VEMTRAC_DEBUG names, the replay and the settings overridden.
// The file's name must outlive the request.
JobRequest job_request_for(const std::string& file, const CliOptions& options)
{
    JobRequest request;
    request.job_path = file.c_str();
    request.trace_names = std::getenv("VEMTRAC_DEBUG");
    request.replay = options.replay;
    request.overrides = options.overrides;
    return request;
}

// The threads the runs of a report take at once.
unsigned threads_of(const CliOptions& options)
{
    return options.threads != 0 ? options.threads : hardware_threads();
}

// The sink of a report's job: standard error for its diagnostics, and for
// its console lines when traces are asked for.
ConsoleSink report_sink()
{
    static int traced = 0;
    return ConsoleSink{report_console, std::getenv("VEMTRAC_DEBUG") != nullptr ? &traced : nullptr};
}

// Runs one job on machine with the machine's console out of the report's
// way, through console.
JobReport report_one(const std::string& job, const CliOptions& options, OutputFile* timeline,
                     JobMachine& machine, ConsoleSink console)
{
    const std::string file = job_file_of(job);
    const DesignJob design = design_job_of(file, options);
    if (design.is_design && !design.ok) {
        // Through the runs' console, so that it comes in the order of the jobs.
        const std::string line = "vemtrac: " + shown::text(design.error) + "\n";
        console.receive(console.context, ConsoleStream::diagnostic, line.data(), line.size());
        return unreadable_job_report(job, design.error);
    }
    JobRequest request = job_request_for(file, options);
    if (design.ok) {
        request.job_bytes = design.job;
    }
    request.account_ticks = true;
    request.tally_report = true;
    // Jobs that run at once would draw their progress over each other.
    request.show_progress = options.jobs.size() == 1 || threads_of(options) == 1;
    if (timeline != nullptr) {
        request.timeline_row = write_timeline_row;
        request.timeline_context = timeline;
    }
    request.console = console;
    const JobResult result = machine.run_job(request);
    if (result.outcome == JobOutcome::unreadable) {
        return unreadable_job_report(job, result.unreadable_reason);
    }
    JobReport report = make_job_report(machine, job, result);
    if (design.ok) {
        add_pass_times(machine, request, result, design.pass_times, design.with_passes, &report);
    }
    std::vector<ReportWarning> warnings;
    for (const std::string& warning : design.warnings) {
        warnings.push_back(ReportWarning{"design_import", 0, warning});
    }
    report.warnings.insert(report.warnings.begin(), warnings.begin(), warnings.end());
    return report;
}

// Says on standard error that an output could not be written, and why.
void report_output_failure(const std::string& what, const std::string& why)
{
    const std::string shown_what =
        what == standard_output_name ? "standard output" : shown::text(what);
    std::fprintf(stderr, "vemtrac: cannot write %s: %s\n", shown_what.c_str(),
                 shown::text(why).c_str());
}

// The timeline and the picture of the one job, opened before it runs so
// that a folder that does not exist or cannot be written is said at once.
struct JobOutputs {
    OutputFile timeline;
    OutputFile svg;
};

bool open_outputs(const CliOptions& options, JobOutputs* outputs)
{
    bool ok = true;
    std::string why;
    if (!options.timeline_file.empty()) {
        if (outputs->timeline.open(options.timeline_file, &why)) {
            outputs->timeline.write(timeline_csv_header());
        } else {
            report_output_failure(options.timeline_file, why);
            ok = false;
        }
    }
    if (!options.svg_file.empty() && !outputs->svg.open(options.svg_file, &why)) {
        report_output_failure(options.svg_file, why);
        ok = false;
    }
    return ok;
}

// Writes the timeline and the picture of the one job and moves them into
// place; an unreadable job leaves both places as they were.
bool write_job_files(const CliOptions& options, const JobReport& report, JobOutputs* outputs)
{
    if (report.outcome == JobOutcome::unreadable) {
        outputs->timeline.discard();
        outputs->svg.discard();
        return true;
    }
    bool ok = true;
    std::string why;
    if (!options.timeline_file.empty()) {
        if (!report.overrides.empty()) {
            outputs->timeline.write("# run with " + overrides_text(report.overrides) +
                                    " in place of the job's own\n");
        }
        if (!outputs->timeline.commit(&why)) {
            report_output_failure(options.timeline_file, why);
            ok = false;
        }
    }
    if (!options.svg_file.empty()) {
        outputs->svg.write(job_svg(report));
        if (!outputs->svg.commit(&why)) {
            report_output_failure(options.svg_file, why);
            ok = false;
        }
    }
    return ok;
}

// The exit code a job's report asks for.
int job_exit_code(const JobReport& report)
{
    if (report.outcome == JobOutcome::unreadable) {
        return REPORT_UNREADABLE;
    }
    return report.outcome == JobOutcome::ok && report.complete ? REPORT_ALL_COMPLETE
                                                               : REPORT_CUT_SHORT;
}

// The more serious of two exit codes.
int worse_exit(int a, int b)
{
    const auto rank = [](int code) {
        switch (code) {
        case REPORT_OUTPUT_FAILED: return 3;
        case REPORT_UNREADABLE: return 2;
        case REPORT_CUT_SHORT: return 1;
        default: return 0;
        }
    };
    return rank(a) >= rank(b) ? a : b;
}

// Where the report goes: standard output, or standard error when an
// output file is standard output ("-") and takes it.
std::FILE* report_stream(const CliOptions& options)
{
    const bool taken = options.timeline_file == standard_output_name ||
                       options.svg_file == standard_output_name;
    return taken ? stderr : stdout;
}

// Flushes standard output; says so when the report could not be written.
bool flush_stdout()
{
    errno = 0;
    const bool ok = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (!ok) {
        report_output_failure("the report to standard output",
                              errno != 0 ? std::strerror(errno) : "write error");
    }
    return ok;
}

// The console of a sweep's runs: each diagnostic line said once, however
// many runs give it; the machine's lines to standard error only when
// traces are asked for.
struct SweepConsole {
    bool traced = false;
    std::set<std::string> said;
};

void sweep_console(void* context, ConsoleStream stream, const char* text, std::size_t size)
{
    auto* console = static_cast<SweepConsole*>(context);
    if (stream == ConsoleStream::diagnostic) {
        if (console->said.insert(std::string(text, size)).second) {
            std::fwrite(text, 1, size, stderr);
        }
    } else if (console->traced) {
        std::fwrite(text, 1, size, stderr);
    }
}

// The progress of a sweep on a terminal, once it takes more than a second.
struct SweepProgressLine {
    std::uint32_t started_ms = platform::tick_count_ms();
    std::uint32_t shown_ms = 0;
    bool shown = false;
};

void show_sweep_progress(void* context, std::size_t done, std::size_t total)
{
    auto* line = static_cast<SweepProgressLine*>(context);
    const std::uint32_t now = platform::tick_count_ms();
    if (done == total) {
        if (line->shown) {
            std::fprintf(stderr, "\r%70s\r", "");
        }
        return;
    }
    if (now - line->started_ms < 1000 || (line->shown && now - line->shown_ms < 250) ||
        !platform::stderr_is_terminal()) {
        return;
    }
    std::fprintf(stderr, "\rvemtrac: sweep, %zu of %zu runs done ", done, total);
    std::fflush(stderr);
    line->shown = true;
    line->shown_ms = now;
}

// The exit code a sweep asks for: every run read to its end, or not.
int sweep_exit_code(const SweepResult& sweep)
{
    if (sweep.as_written.outcome == JobOutcome::unreadable) {
        return REPORT_UNREADABLE;
    }
    bool whole = sweep.as_written.outcome == JobOutcome::ok && sweep.as_written.end.complete;
    for (const SweepPoint& p : sweep.points) {
        whole = whole && p.result.outcome == JobOutcome::ok && p.result.end.complete;
    }
    return whole ? REPORT_ALL_COMPLETE : REPORT_CUT_SHORT;
}

// Runs the one job of --sweep at each value: the job file read once, its
// bytes replayed for each run; prints the table or the JSON, draws the chart.
int run_sweep_report(const CliOptions& options)
{
    OutputFile chart;
    std::string why;
    if (!options.svg_file.empty() && !chart.open(options.svg_file, &why)) {
        report_output_failure(options.svg_file, why);
        return REPORT_OUTPUT_FAILED;
    }
    const std::string& job = options.jobs.front();
    const std::string file = job_file_of(job);
    const DesignJob design = design_job_of(file, options);
    for (const std::string& line : design.is_design && !design.ok ? std::vector{design.error}
                                                                   : design.warnings) {
        std::fprintf(stderr, "vemtrac: %s\n", shown::text(line).c_str());
    }
    if (design.is_design && !design.ok) {
        return REPORT_UNREADABLE;
    }
    JobRequest request = job_request_for(file, options);
    if (design.ok) {
        request.job_bytes = design.job;
    }
    SweepConsole console;
    console.traced = request.trace_names != nullptr;
    request.console = ConsoleSink{sweep_console, &console};
    SweepProgressLine progress;
    const SweepResult sweep =
        run_sweep(request, *options.sweep, threads_of(options), show_sweep_progress, &progress);
    // Why the job could not be read, unless the run has said it already.
    const std::string& unread = sweep.as_written.unreadable_reason;
    if (sweep.as_written.outcome == JobOutcome::unreadable &&
        std::none_of(console.said.begin(), console.said.end(), [&](const std::string& line) {
            return line.find(unread) != std::string::npos;
        })) {
        std::fprintf(stderr, "vemtrac: %s\n", shown::text(unread).c_str());
    }
    int exit_code = sweep_exit_code(sweep);
    std::FILE* const out = report_stream(options);
    if (options.json) {
        std::fputs(sweep_json_text(sweep, options.rate, job, options.fit_ms).c_str(), out);
    } else {
        write_sweep_table(out, sweep, job, options.rate, options.fit_ms);
    }
    if (!options.svg_file.empty()) {
        if (sweep.as_written.outcome == JobOutcome::unreadable) {
            chart.discard();
        } else {
            chart.write(sweep_svg(sweep, job, options.fit_ms));
            if (!chart.commit(&why)) {
                report_output_failure(options.svg_file, why);
                exit_code = REPORT_OUTPUT_FAILED;
            }
        }
    }
    return flush_stdout() ? exit_code : REPORT_OUTPUT_FAILED;
}

} // namespace

int run_reports(const CliOptions& options, const char* version)
{
    if (options.sweep) {
        return run_sweep_report(options);
    }
    JobOutputs outputs;
    if (!open_outputs(options, &outputs)) {
        return REPORT_OUTPUT_FAILED;
    }
    // The jobs run at once on up to --threads machines; each report is
    // written once it and every one before it are done, in the order given.
    std::vector<JobReport> reports(options.jobs.size());
    int exit_code = REPORT_ALL_COMPLETE;
    std::FILE* const out = report_stream(options);
    OutputFile* const timeline = options.timeline_file.empty() ? nullptr : &outputs.timeline;
    run_in_order(
        options.jobs.size(), options.jobs.size() > 1 ? threads_of(options) : 1, report_sink(),
        [&](std::size_t i, JobMachine& machine, ConsoleSink console) {
            reports[i] = report_one(options.jobs[i], options, timeline, machine, console);
        },
        [&](std::size_t i) {
            JobReport& report = reports[i];
            exit_code = worse_exit(exit_code, job_exit_code(report));
            if (options.jobs.size() == 1 && !write_job_files(options, report, &outputs)) {
                exit_code = REPORT_OUTPUT_FAILED;
            }
            if (!options.json) {
                write_text_report(out, report, options.rate);
            }
            // The path is only needed for the one job's picture.
            report.path.clear();
            report.path.shrink_to_fit();
        });
    if (options.json) {
        std::fputs(json_report(reports, version, options.rate).c_str(), out);
    } else if (reports.size() > 1) {
        write_text_total(out, reports, options.rate);
    }
    return flush_stdout() ? exit_code : REPORT_OUTPUT_FAILED;
}
