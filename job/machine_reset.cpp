#include "job/machine_reset.h"

#include "base/debug_trace.h"
#include "base/job_stop.h"
#include "fwShare/machine_params.h"
#include "fwShare/pcl_position.h"
#include "fwShare/raster_graphics.h"
#include "fwShare/raster_motion.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/planner_dump.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/tick_clock.h"
#include "fwShare/servo/vector_exec.h"
#include "fwShare/servo/vector_planner.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/vector_cutting.h"
#include "job/command_file.h"
#include "job/entry_log.h"
#include "job/exe_dir.h"
#include "job/report_tally.h"
#include "replay/tick_account.h"

void machine_reset()
{
    // Every module restores its own power-on values; none of them reads
    // another module's, so the order only follows the layers, bottom up:
    // the trace words first, then the servo (ticks and job clock, the
    // interrupt, the queue, the profiles, the planner), the machine set-up,
    // the laser input layer, and last the job driver's own state.
    debug_trace_reset();
    job_stop_clear();

    tick_clock_reset();
    servo_ticks_reset();
    servo_isr_reset();
    svo_exec_reset();
    vector_queue_reset();
    speed_profiles_reset();
    move_queue_reset();
    vector_planner_reset();
    planner_dump_reset();
    tick_account_reset();

    resolution_reset();
    machine_params_reset();

    vector_cutting_reset();
    pcl_position_reset();
    raster_graphics_reset();
    raster_motion_reset();

    command_file_reset();
    entry_log_reset();
    report_tally_reset();
    exe_dir_reset();
}
