#include "fwShare/machine.h"
#include "base/wrap_math.h"

#include <cstdio>

namespace {

constexpr int pen_count = 17;

// Maximum velocity pair (inches per second, X and Y) of speed codes 1..10.
struct MaxVelocityPair {
    double x_ips;
    double y_ips;
};
constexpr MaxVelocityPair code_max_velocity[10] = {
    {2, 22}, {2, 36}, {6, 36}, {80, 38}, {80, 40}, {80, 40}, {80, 40}, {80, 40}, {80, 38}, {80, 39},
};

} // namespace

void Machine::HandleStartVectorCutting()
{
    const std::int32_t start_tick = svo_tick_count;
    dbg_trace(DBG_TempOff, "HandleStartVectorCutting(Enter) tick:%d\n\r", start_tick);
    svo_wait_idle();
    lsrinp_SetVectParam();
    lsrinp_SetVectSpeed();
    dbg_trace(DBG_TempOff, "HandleStartVectorCutting(Leave) tick:%d %d\n\r", svo_tick_count,
              wrap_sub(svo_tick_count, start_tick));
}

void Machine::lsrinp_SetVectParam()
{
    const MachParamRecord& m = CurrentRomParam.MachParam;
    const std::uint8_t pen = ptCurrentFile->VectorCurrentPen;
    const std::uint16_t code = ptCurrentFile->VectorSpeed[pen];
    const std::int32_t delay1 = m.EndDelay1;
    const std::int32_t delay2 = m.EndDelay2;
    const std::int32_t delay3 = m.EndDelay3;

    if (code >= 1 && code <= 10) {
        const MaxVelocityPair& v = code_max_velocity[code - 1];
        lsrinp_SetMaxVelocity(v.x_ips, v.y_ips);
    }
    console_printf("pen(%d)spd(%d)\n", pen, code);

    if (code > 750) {
        creep_min = 1;
        CREEP_VELOCITY = 1;
        CREEP_SPEED = creep_speed_for(CREEP_VELOCITY);
    } else {
        creep_min = 2;
        CREEP_VELOCITY = 2;
        CREEP_SPEED = creep_speed_for(CREEP_VELOCITY);
    }

    const ServoVectorParam& s = m.ServoVector;
    if (code < 10) {
        // Low-speed gain set.
        servo_set_gains(90, 160, 2500, 2600, 7, 6, s.K3X, s.K3Y, s.XILimit, s.YILimit);
    } else {
        servo_set_gains(s.XGain, s.YGain, s.XRateFactor, s.YRateFactor, s.XIGain, s.YIGain, s.K3X,
                        s.K3Y, s.XILimit, s.YILimit);
    }

    End_Delay_1 = static_cast<std::uint16_t>(delay1);
    End_Delay_2 = static_cast<std::uint16_t>(delay2);
    End_Delay_3 = static_cast<std::uint16_t>(delay3);
}

void Machine::lsrinp_SetMaxVelocity(double x_ips, double y_ips)
{
    MachParamRecord& m = CurrentRomParam.MachParam;
    m.MaxAcceleration.X = 50;
    m.MaxAcceleration.Y = 1;
    m.MaxVelocity.X = static_cast<std::int32_t>(static_cast<long double>(x_ips) * reso_dpi_x);
    m.MaxVelocity.Y = static_cast<std::int32_t>(static_cast<long double>(y_ips) * reso_dpi_x);
}

void Machine::lsrinp_SetVectSpeed()
{
    const std::uint8_t pen = ptCurrentFile->VectorCurrentPen;
    const std::uint16_t spd = ptCurrentFile->VectorSpeed[pen];
    const std::int16_t acc = ptCurrentFile->VectorAccel[pen];
    const std::int32_t max_y = CurrentRomParam.MachParam.MaxVelocity.Y;
    console_printf("pen(%d)spd(%d)acc(%d)\n", pen, spd, acc);
    dbg_trace(DBG_SvoSpeed, "lsrinp_SetVectSpeed() pen:%d spd:%d acc:%d maxSpdY:%d\n\r", pen, spd,
              acc, max_y);

    setup_plotbed_speeds(PEN_UP, static_cast<std::uint32_t>(pen_up_speed), 3);
    // The pen-down speed is the speed code in per mille of the maximum Y velocity.
    const std::uint32_t speed = (static_cast<std::uint32_t>(max_y) * spd) / 1000u;
    setup_plotbed_speeds(PEN_DOWN, speed, acc);
}

void Machine::penupout()
{
    dbg_trace(DBG_PenSel, "penupout(%d)\n\r", pen_up_flag);
    if (pen_up_flag == 0) {
        pen_up_flag = 1;
        srvo_on_pu();
    }
}

void Machine::pendnout()
{
    dbg_trace(DBG_PenSel, "pendnout(%d)\n\r", pen_up_flag);
    if (pen_up_flag != 0) {
        pen_up_flag = 0;
        srvo_on_pd();
    }
}

void Machine::execute_penselect(std::int32_t pen)
{
    const std::uint8_t selected = static_cast<std::uint8_t>(pen);
    if (selected >= pen_count) {
        // The per-pen tables hold pens 0..16 only.
        char reason[64];
        std::snprintf(reason, sizeof reason, "pen %d is above 16", selected);
        job_stop_at_entry(reason);
        return;
    }
    svo_wait_idle();
    ptCurrentFile->VectorCurrentPen = selected;
    penupout();
    HandleStartVectorCutting();
}

void Machine::HandleToHpglMode()
{
    lsr_lang_mode = 1;
    svo_wait_idle();
    svo_wait_idle();
    const MachParamRecord& m = CurrentRomParam.MachParam;
    const std::int32_t cx = wrap_sub(positionx, m.InitDistance.X);
    const std::int32_t cy = wrap_sub(m.InitDistance.Y, positiony);
    srvo_on_raster_move(RASTER_MOVE);
    srvo_on_ve(wrap_sub(pcl_pos.pclx, cx), wrap_sub(cy, pcl_pos.pcly));
    HandleStartVectorCutting();
}
