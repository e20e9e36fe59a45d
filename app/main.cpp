// vemtrac: estimates how long a laser cutter/engraver takes to run a job by
// replaying the job through the machine's own motion control, tick by tick.
#include <cstdio>
#include <cstdlib>

#include "app/job_run.h"

int main(int argc, char** argv)
{
    JobRequest request;
    request.program_path = argc > 0 ? argv[0] : nullptr;
    // Trace categories asked for at run time, on top of the built-in ones.
    request.trace_names = std::getenv("VEMTRAC_DEBUG");
    request.full_replay = full_replay_from_environment();
    run_job(request);
    std::fflush(stdout);
    return 0;
}
