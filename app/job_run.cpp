#include "app/job_run.h"

#include <cstdio>

#include "app/command_file.h"
#include "base/debug_trace.h"
#include "app/exe_dir.h"
#include "app/machine_reset.h"
#include "fwShare/machine_params.h"
#include "fwShare/servo/planner_dump.h"

int run_job(const JobRequest& request)
{
    std::printf("Start job working time calculating....\n");
    machine_reset();
    set_exe_dir(request.program_path);

    dbg_set(DBG_Event, false);
    if (request.trace_names != nullptr) {
        dbg_enable_list(request.trace_names);
    }
    vdb_dump_flags = request.planner_dump_flags;

    InitHardwareScaleFactor();
    svo_start_job_ticks(request.tick_limit);
    return job_run_command_file();
}
