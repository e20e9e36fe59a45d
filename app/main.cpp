// vemtrac: estimates how long a laser cutter/engraver takes to run a job by
// replaying the job through the machine's own motion control, tick by tick.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/cli_options.h"
#include "app/job_run.h"
#include "app/report_run.h"
#include "app/status_file.h"
#include "base/platform.h"

#ifndef VEMTRAC_VERSION
#define VEMTRAC_VERSION "0.0.0"
#endif

namespace {

// The machine's own mode: the job file and the status file in the folder
// of the program, or in the folder given.
int run_machine(const char* argv0, const CliOptions& options)
{
    // The program's path as if it stood in that folder.
    const std::string in_folder = options.folder + platform::path_separator + "vemtrac";
    JobRequest request;
    request.program_path = options.folder.empty() ? argv0 : in_folder.c_str();
    // Trace categories asked for at run time, on top of the built-in ones.
    request.trace_names = std::getenv("VEMTRAC_DEBUG");
    request.replay = options.replay;
    run_job(request);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const CliOptions options = parse_cli(argc, argv, replay_from_environment());
    switch (options.mode) {
    case CliMode::help:
        std::fputs(cli_help_text().c_str(), stdout);
        return 0;
    case CliMode::version:
        std::printf("vemtrac %s\n%s %s\n", VEMTRAC_VERSION, status_model_word,
                    status_firmware_version);
        return 0;
    case CliMode::usage_error:
        std::fprintf(stderr, "vemtrac: %s\n%s", options.error.c_str(), cli_usage_text().c_str());
        return 2;
    case CliMode::report:
        return run_reports(options, VEMTRAC_VERSION);
    case CliMode::machine:
        break;
    }
    return run_machine(argc > 0 ? argv[0] : nullptr, options);
}
