#include "app/machine_reset.h"

#include <cstring>

#include "app/command_file.h"
#include "base/debug_trace.h"
#include "app/exe_dir.h"
#include "app/job_clock.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/machine_params.h"
#include "fwShare/pcl_position.h"
#include "fwShare/raster_graphics.h"
#include "fwShare/raster_motion.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/planner_dump.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_exec.h"
#include "fwShare/servo/vector_planner.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/vector_cutting.h"

namespace {

template <typename T, std::size_t N> void clear(T (&a)[N])
{
    for (T& e : a) {
        e = T{};
    }
}

// Trace categories, the program's directory, the job clock and the tick
// counters.
void reset_job_driver()
{
    dbg_flags[0] = 0x1Fu;
    dbg_flags[1] = 0;
    dbg_flags[2] = 0;
    clear(exe_dir);
    clear(path_buf);
    set_exe_dir_invalid();
    cmd_pen_down = 0;

    job_abort = 0;
    positionx = 0;
    positiony = 0;
    svo_start_job_ticks();
    svo_tick_count = 0;
    clear(phase_tick_count);
    job_timing_state = 0;
    job_start_tick = 0;
    job_end_tick = 0;
}

// Resolutions and scale factors, machine parameters, the current-file
// record and the settings records.
void reset_machine_parameters()
{
    enc_scale_word_x = enc_scale_word_y = 0;
    enc_scale_native_x = enc_scale_native_y = 0;
    svo_reso_native_x = svo_reso_native_y = 0;
    reso_dpi_native_x = reso_dpi_native_y = 0;
    hpgl_reso_native_x = hpgl_reso_native_y = 0;
    enc_scale_current_x = enc_scale_current_y = 0;
    svo_reso_x = svo_reso_y = 0;
    reso_dpi_x = reso_dpi_y = 0;
    hpgl_reso_x = hpgl_reso_y = 0;
    svo_period = 0.0f;
    reso_mm_x = reso_mm_y = 0;
    svo_reso_mm_x = 0;
    VARRESO_PbdToSvoX = VARRESO_PbdToSvoY = 0;
    hpgl_to_pbd_x = hpgl_to_pbd_y = 0;
    varreso_ratio_x = varreso_ratio_y = 0.0f;
    enc_to_err_x = enc_to_err_y = 0;
    enc_scale_x = enc_scale_y = 0;
    one_g = 0;
    raster_move_speed = 0;

    CurrentRomParam = RomParamRecord{};
    *ptCurrentFile = CurrentFileRecord{};
    *pMsDirective = MsDirectiveRecord{};
    *pMsPlotbed = MsPlotbedRecord{};
    *pLaserVectorParam = LaserVectorParamRecord{};
    *pLaserRasterParam = LaserRasterParamRecord{};
    hard_min = PointXY{};
    hard_max = PointXY{};
    def_vect_accel = 0;
}

// Vector cutting, the PCL cursor, raster images and raster motion.
void reset_laser_layer()
{
    pen_up_flag = 0;
    lsr_lang_mode = 2;
    pen_up_speed = 0;

    pcl_pos = PclPosition{};
    abs_x = 0;
    abs_y = 0;

    raster_distance = 0;
    raster_backward = 0;
    raster_step_table = nullptr;
    rasterindicator = 0;
    RasterIndicatorY = 0;
    clear(raster_steps_even);

    raster_accel_dist = 0;
    margin_l = margin_r = margin_mid = margin_base = 0;
    clear(margin_speed_table);
    no_accel_dist = 0;
    accel_extra_dist = 0;
}

// The two record rings, the move routine's state, the planner and the
// speed profiles.
void reset_queues_and_planner()
{
    clear(vdb_pool);
    clear(vdb_offline_pool);
    freeptr = nullptr;
    SVO_VectPtr = nullptr;
    autoptr = nullptr;
    stopptr = nullptr;
    offline_freeptr = nullptr;
    pipeflag = 0;
    pbdVelType = 0;
    null_vector = 0;
    save_real_pen_pos_is_down = 0;

    pVelAccelPointer = nullptr;
    diag_vel = pbdAxiaVel = pbdAccel = pbdSps = 0;
    LowSpeed = 0;
    lowspeedflag = 0;
    CI_Flag = 0;
    m_npbdrvCnt = 0;
    isr_holdoff = 0;

    vect_count = 0;
    vdb_dump_flags = 0;

    clear(VelAccelPool);
    boundary_speed = 0;
    factor_num = 0;
    min_corner_vel = 0;
}

// The servo interrupt: state, position loop, hold and delay counters,
// creep and end-delay settings.
void reset_servo_loop()
{
    svo_state = ISRIDLE;
    phase = IDLE;
    svo_gains = SvoGains{0, 0, 1000, 1000, 32, 32, 0, 0, 64000, 32000, 20, 5};
    svo_pos_x = svo_pos_y = 0;
    svo_err_x = svo_err_y = 0;
    svo_err_frac_x = svo_err_frac_y = 0;
    svo_step_x = svo_step_y = 0;
    enc_x = enc_y = enc_last_x = enc_last_y = enc_base_x = enc_base_y = 0;
    svo_integ_x = svo_integ_y = 0;
    svo_prev_term_x = svo_prev_term_y = 0;
    svo_gain_base_x = svo_gain_base_y = 0;
    svo_gain_x = svo_gain_y = 0;
    svo_out_x = 0;
    svo_out_y = 0;
    svo_off = 0;
    delay_count = 0;
    hold_gain_count = 0;
    creep_min = 0;
    CREEP_VELOCITY = 0;
    CREEP_SPEED = 0;
    End_Delay_1 = End_Delay_2 = End_Delay_3 = 0;
    corner_chain_enable = 0;
    svo_exec_reset();
}

} // namespace

void machine_reset()
{
    reset_job_driver();
    reset_machine_parameters();
    reset_laser_layer();
    reset_queues_and_planner();
    reset_servo_loop();
}
