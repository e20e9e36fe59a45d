// The command line: the machine's own mode (no arguments, or a folder in
// place of the executable's), the report on job files, help and version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "replay/tick_runner.h"
#include "report/what_if.h"
#include "serve/serve_options.h"

enum class CliMode {
    machine,      // Vemtrac.cmd and Vemtrac.sts in the executable's folder or in folder
    report,       // estimate each job and print where the time goes
    import_design,  // turn a design into a job file and print its summary
    serve,        // the estimate service and its page over HTTP
    help,         // usage on standard output
    version,      // version and machine model
    usage_error,  // usage on standard error, exit 2
};

// The import settings as the command line gives them: (JSON name, value).
using DesignSettingArgs = std::vector<std::pair<std::string, std::string>>;

struct CliOptions {
    CliMode mode = CliMode::machine;
    std::string folder;               // machine mode: the folder given, or empty
    std::vector<std::string> jobs;    // report: job files or folders holding Vemtrac.cmd
    bool json = false;
    std::string timeline_file;        // empty: no timeline
    std::string svg_file;             // empty: no picture
    bool force = false;               // replace outputs that are not earlier outputs
    ReplayMode replay = ReplayMode::fast;  // --replay, or VEMTRAC_REPLAY
    SettingOverrides overrides;       // --set: settings every job runs at in place of its own
    std::optional<SweepSpec> sweep;   // --sweep: the one job once per value of a setting
    std::optional<std::uint32_t> fit_ms;  // --fit: the slot a sweep's run times must fit, ms
    std::optional<CostRate> rate;     // --rate and --setup: what machine time costs
    DesignSettingArgs design_settings;  // how designs are imported (report and import)
    std::string import_output;        // import: the job file to write (-o)
    unsigned threads = 0;             // --threads: runs at once (0: one per hardware thread)
    ServeOptions serve;               // serve: where to listen, the limits
    bool serve_help = false;          // help: the service's own (vemtrac serve --help)
    std::string error;                // usage_error: what is wrong
};

// Reads the arguments; replay_default is the replay the environment asks for.
CliOptions parse_cli(int argc, const char* const* argv, ReplayMode replay_default);

// The full help text: what is read and written, every option, VEMTRAC_DEBUG.
std::string cli_help_text();

// The service's help: what it answers and every option of vemtrac serve.
std::string cli_serve_help_text();

// The short usage written with a usage error.
std::string cli_usage_text();
