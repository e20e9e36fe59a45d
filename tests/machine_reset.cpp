#include "machine_reset.h"

#include "app/command_file.h"
#include "app/debug_trace.h"
#include "app/job_clock.h"
#include "app/tick_thread.h"
#include "fwShare/machine_params.h"
#include "fwShare/pcl_position.h"
#include "fwShare/raster_graphics.h"
#include "fwShare/raster_motion.h"
#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/planner_dump.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_planner.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/vector_cutting.h"

void reset_machine_globals()
{
    dbg_flags[0] = 0x1Fu;
    dbg_flags[1] = 0;
    dbg_flags[2] = 0;
    dbg_set(DBG_Event, false);

    job_done = 0;
    job_abort = 0;
    positionx = 0;
    positiony = 0;
    svo_tick_count = 0;
    for (std::int32_t& c : phase_tick_count) {
        c = 0;
    }
    job_timing_state = 0;
    job_start_tick = 0;
    job_end_tick = 0;

    CurrentRomParam = RomParamRecord{};
    *ptCurrentFile = CurrentFileRecord{};
    *pMsDirective = MsDirectiveRecord{};
    *pMsPlotbed = MsPlotbedRecord{};
    *pLaserVectorParam = LaserVectorParamRecord{};
    *pLaserRasterParam = LaserRasterParamRecord{};
    hard_min = PointXY{};
    hard_max = PointXY{};

    pcl_pos = PclPosition{};
    abs_x = 0;
    abs_y = 0;
    lsr_lang_mode = 2;
    raster_distance = 0;
    raster_backward = 0;
    raster_step_table = nullptr;
    rasterindicator = 0;
    RasterIndicatorY = 0;
    raster_accel_dist = 0;
    margin_l = margin_r = margin_mid = margin_base = 0;
    for (std::uint16_t& m : margin_speed_table) {
        m = 0;
    }

    svo_state = ISRIDLE;
    phase = IDLE;
    svo_gains = SvoGains{0, 0, 1000, 1000, 32, 32, 0, 0, 64000, 32000, 20, 5};
    svo_pos_x = svo_pos_y = 0;
    svo_err_x = svo_err_y = 0;
    svo_err_frac_x = svo_err_frac_y = 0;
    svo_step_x = svo_step_y = 0;
    enc_x = enc_y = enc_last_x = enc_last_y = 0;
    svo_integ_x = svo_integ_y = 0;
    svo_prev_term_x = svo_prev_term_y = 0;
    svo_gain_x = svo_gain_y = 0;
    svo_out_x = 0;
    svo_out_y = 0;
    delay_count = 0;
    End_Delay_1 = End_Delay_2 = End_Delay_3 = 0;

    SVO_VectPtr = nullptr;
    stopptr = nullptr;
    m_npbdrvCnt = 0;
    isr_holdoff = 0;
    for (VelAccelEntry& e : VelAccelPool) {
        e = VelAccelEntry{};
    }
    boundary_speed = 0;
    factor_num = 0;
    min_corner_vel = 0;
    pVelAccelPointer = nullptr;
    diag_vel = pbdAxiaVel = pbdAccel = pbdSps = LowSpeed = 0;
    vect_count = 0;
    vdb_dump_flags = 0;
}
