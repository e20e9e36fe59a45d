// vemtrac: estimates how long a laser cutter/engraver takes to run a job by
// replaying the job through the machine's own motion control, tick by tick.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/platform.h"
#include "base/shown_text.h"
#include "cli/cli_options.h"
#include "cli/design_input.h"
#include "cli/report_run.h"
#include "job/job_machine.h"
#include "job/status_file.h"
#include "serve/serve.h"
#include "serve/serve_options.h"

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
    JobMachine machine;
    machine.run_job(request);
    // The machine's own mode ends with 0 whatever happened; a console that
    // could not be written is still said.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "vemtrac: cannot write the console to standard output: %s\n",
                     errno != 0 ? std::strerror(errno) : "write error");
    }
    return 0;
}

#ifndef VEMTRAC_SERVE_BUILT_IN
// Runs the service program beside this one with the same arguments; the
// exit code.
int hand_over_to_service(int argc, char** argv)
{
    char dir[4096];
    if (!platform::executable_dir(dir, sizeof dir)) {
        std::fputs(
            "vemtrac: cannot tell the folder of this program, where the service program is\n",
            stderr);
        return 1;
    }
    const std::string path = std::string(dir) + platform::path_separator + serve_program_name;
    std::vector<const char*> args(argv, argv + argc);
    args[0] = path.c_str();
    args.push_back(nullptr);
    int code = 1;
    if (!platform::hand_over_to(path, args.data(), &code)) {
        std::fprintf(stderr, "vemtrac: this build has no estimate service (%s: %s)\n",
                     shown::text(path).c_str(), std::strerror(errno));
        return 1;
    }
    return code;
}
#endif

// True when the folder of the executable holds a job file.
bool job_file_beside_program()
{
    char dir[4096];
    if (!platform::executable_dir(dir, sizeof dir)) {
        return false;
    }
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(dir) / "Vemtrac.cmd", ec);
}

// Started by a double-click with no job beside it, the program would only
// flash a window: it says what it is for and keeps the window open until a
// key is pressed. A print driver that starts it has put the job there first,
// so it is never kept waiting.
void explain_to_operator()
{
    std::fputs("\n"
               "vemtrac estimates how long the laser will take to run a job.\n"
               "It reads the job from the file Vemtrac.cmd in its own folder and writes\n"
               "the estimate to Vemtrac.sts beside it. The machine's print driver puts\n"
               "Vemtrac.cmd there and starts vemtrac by itself; to estimate a job of your\n"
               "own, copy it beside vemtrac.exe as Vemtrac.cmd and start vemtrac again.\n"
               "For a report of where the time goes, open a Command Prompt in this folder\n"
               "and type:  vemtrac --report JOBFILE\n"
               "README.txt beside vemtrac.exe tells more.\n"
               "\n"
               "Press any key to close this window.\n",
               stdout);
    std::fflush(stdout);
    platform::wait_for_key();
}

// Says on standard error when VEMTRAC_REPLAY holds a value no replay has:
// the run then takes the default.
void check_replay_environment()
{
    const char* replay = std::getenv("VEMTRAC_REPLAY");
    if (replay == nullptr || *replay == '\0') {
        return;
    }
    for (const char* known : {"full", "fast", "literal"}) {
        if (std::strcmp(replay, known) == 0) {
            return;
        }
    }
    std::fprintf(stderr,
                 "vemtrac: unknown VEMTRAC_REPLAY value \"%s\" (the values are full, fast and "
                 "literal); the default (fast) runs\n",
                 shown::text(replay).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    check_replay_environment();
    const CliOptions options = parse_cli(argc, argv, replay_from_environment());
    switch (options.mode) {
    case CliMode::help:
        std::fputs((options.serve_help ? cli_serve_help_text() : cli_help_text()).c_str(), stdout);
        return 0;
    case CliMode::version:
        std::printf("vemtrac %s\n%s %s\n", VEMTRAC_VERSION, status_model_word,
                    status_firmware_version);
        return 0;
    case CliMode::usage_error:
        std::fprintf(stderr, "vemtrac: %s\n%s", shown::text(options.error).c_str(),
                     cli_usage_text().c_str());
        return 2;
    case CliMode::report:
        return run_reports(options, VEMTRAC_VERSION);
    case CliMode::import_design:
        return run_import(options);
    case CliMode::serve:
#ifdef VEMTRAC_SERVE_BUILT_IN
        return run_serve(options.serve, VEMTRAC_VERSION);
#else
        return hand_over_to_service(argc, argv);
#endif
    case CliMode::machine:
        break;
    }
    const int code = run_machine(argc > 0 ? argv[0] : nullptr, options);
    if (argc <= 1 && platform::console_of_its_own() && !job_file_beside_program()) {
        explain_to_operator();
    }
    return code;
}
