// vemtrac-serve: the estimate service and its page, started by
// "vemtrac serve [OPTIONS]" with the same arguments.
#include <cstdio>

#include "base/shown_text.h"
#include "cli/cli_options.h"
#include "job/job_run.h"
#include "serve/serve.h"

#ifndef VEMTRAC_VERSION
#define VEMTRAC_VERSION "0.0.0"
#endif

int main(int argc, char** argv)
{
    const CliOptions options = parse_cli(argc, argv, replay_from_environment());
    if (options.mode == CliMode::usage_error) {
        std::fprintf(stderr, "vemtrac: %s\n%s", shown::text(options.error).c_str(),
                     cli_usage_text().c_str());
        return 2;
    }
    if (options.mode == CliMode::help && options.serve_help) {
        std::fputs(cli_serve_help_text().c_str(), stdout);
        return 0;
    }
    if (options.mode != CliMode::serve) {
        std::fputs("vemtrac-serve: start the service as: vemtrac serve [OPTIONS]\n", stderr);
        return 2;
    }
    return run_serve(options.serve, VEMTRAC_VERSION);
}
