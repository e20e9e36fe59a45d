#include "job/machine_reset.h"

#include "job/job_machine.h"

void JobMachine::machine_reset()
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
