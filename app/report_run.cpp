#include "app/report_run.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/job_svg.h"
#include "app/report_json.h"
#include "app/report_text.h"
#include "app/timeline_csv.h"

namespace {

// The job file of a JOB: the file itself, or Vemtrac.cmd in a folder.
std::string job_file_of(const std::string& job)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    return fs::is_directory(job, ec) ? (fs::path(job) / "Vemtrac.cmd").string() : job;
}

// Runs one job with the machine's console out of the report's way: on
// standard error when traces are asked for, nowhere otherwise.
JobReport report_one(const std::string& job, const CliOptions& options)
{
    const std::string file = job_file_of(job);
    JobRequest request;
    request.job_path = file.c_str();
    request.trace_names = std::getenv("VEMTRAC_DEBUG");
    request.replay = options.replay;
    request.account_ticks = true;
    request.console =
        request.trace_names != nullptr ? console_stderr_sink() : console_quiet_sink();
    const JobResult result = run_job(request);
    if (result.outcome == JobOutcome::unreadable) {
        return unreadable_job_report(job, result.unreadable_reason);
    }
    return make_job_report(job, result);
}

// Writes text to a file; says why on standard error when it cannot.
bool write_file(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "vemtrac: cannot write %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

// The timeline and the picture of the one job, when asked for and read.
bool write_job_files(const CliOptions& options, const JobReport& report)
{
    if (report.outcome == JobOutcome::unreadable) {
        return options.timeline_file.empty() && options.svg_file.empty();
    }
    bool ok = true;
    if (!options.timeline_file.empty()) {
        ok = write_file(options.timeline_file, timeline_csv(report)) && ok;
    }
    if (!options.svg_file.empty()) {
        ok = write_file(options.svg_file, job_svg(report)) && ok;
    }
    return ok;
}

} // namespace

int run_reports(const CliOptions& options, const char* version)
{
    std::vector<JobReport> reports;
    bool ok = true;
    for (const std::string& job : options.jobs) {
        JobReport report = report_one(job, options);
        ok = report.outcome != JobOutcome::unreadable && ok;
        if (options.jobs.size() == 1) {
            ok = write_job_files(options, report) && ok;
        }
        if (!options.json) {
            write_text_report(stdout, report);
        }
        // The path and the timeline are only needed for the one job's files.
        report.path.clear();
        report.path.shrink_to_fit();
        reports.push_back(std::move(report));
    }
    if (options.json) {
        std::fputs(json_report(reports, version).c_str(), stdout);
    } else if (reports.size() > 1) {
        write_text_total(stdout, reports);
    }
    std::fflush(stdout);
    return ok ? 0 : 1;
}
