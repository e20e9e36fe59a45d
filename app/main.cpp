// vemtrac: estimates how long a laser cutter/engraver takes to run a job by
// replaying the job through the machine's own motion control, tick by tick.
#include <cstdio>
#include <cstdlib>

#include "app/command_file.h"
#include "app/debug_trace.h"
#include "app/exe_dir.h"
#include "app/tick_thread.h"
#include "fwShare/machine_params.h"

int main(int argc, char** argv)
{
    std::printf("Start job working time calculating....\n");
    set_exe_dir(argc > 0 ? argv[0] : nullptr);

    dbg_set(DBG_Event, false);
    // Trace categories asked for at run time, on top of the built-in ones.
    if (const char* names = std::getenv("VEMTRAC_DEBUG")) {
        dbg_enable_list(names);
    }

    InitHardwareScaleFactor();
    svo_tick_thread_start();
    job_run_command_file();
    svo_tick_thread_stop();
    std::fflush(stdout);
    return 0;
}
