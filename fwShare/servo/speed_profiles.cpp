#include "fwShare/machine.h"

#include <cstdio>

namespace {

// Speeds (plot-bed units per second) from which a profile takes the creep
// speed as its low-speed boundary (0xE74), and the boundary below it (0x834).
constexpr std::uint32_t fast_profile_speed = 3700;
constexpr std::uint32_t slow_boundary_speed = 2100;
// LowSpeed of a profile without ramp is 65 x speed / boundary, in 2^-4
// counts per tick: the boundary speed itself gives 65.
constexpr std::int32_t low_speed_factor = 65;

} // namespace

const char* const move_kind_names[] = {
    "PEN_DOWN", "PEN_UP", "PEN_UPC", "RASTER_FORWARD", "RASTER_BACKWARD",
    "RASTER_OFFSET", "RASTER_MOVE", "SERVO_MOVE",
};

namespace {

// Ticks needed to reach speed s (plot-bed units per second) at acceleration
// accel (2^-14 counts per tick per tick): 839/32 converts units per second
// into 2^-14 counts per tick (4 counts per unit, 0.4 ms per tick).
std::uint32_t ticks_to_speed(std::uint32_t s, std::uint32_t accel)
{
    return (((s >> 2) * 839u) / accel) >> 3;
}

} // namespace

void Machine::setup_plotbed_speeds(std::int32_t kind, std::uint32_t speed, std::int32_t acc)
{
    const char* name = move_kind_names[kind];
    dbg_trace2(DBG_SvoVdbCmd, DBG_SvoSpeed, "setup_plotbed_speeds(%-15s,%d,%d);\n\r", name,
               static_cast<std::int32_t>(speed), acc);
    if (kind < 2) {
        console_printf("setup_plotbed_speeds(%-15s,%d,%d,%d);\n\r", name,
                    static_cast<std::int32_t>(speed), acc,
                    CurrentRomParam.MachParam.MaxVelocity.Y);
    }

    VelAccelEntry& e = VelAccelPool[kind];
    const std::int32_t g_unit = kind == PEN_DOWN ? one_g / 1000 : one_g / 10;
    e.pbdAccel = static_cast<std::int32_t>(static_cast<std::uint32_t>(g_unit) *
                                           static_cast<std::uint32_t>(acc));
    // An acceleration of 0 would stall every ramp and divide by zero below.
    if (e.pbdAccel < 1) {
        e.pbdAccel = 1;
    }
    const std::uint32_t accel = static_cast<std::uint32_t>(e.pbdAccel);
    e.pbdSps = static_cast<std::int32_t>(speed);

    boundary_speed = speed >= fast_profile_speed ? static_cast<std::uint32_t>(CREEP_SPEED)
                                                 : slow_boundary_speed;
    factor_num = low_speed_factor;

    if (speed <= boundary_speed && kind != RASTER_MOVE) {
        e.diag_vel = 0;
        e.pbdAxiaVel = 0;
        e.LowSpeed = static_cast<std::int32_t>(static_cast<std::uint32_t>(factor_num) * speed /
                                               boundary_speed);
        if (e.LowSpeed <= 0) {
            e.LowSpeed = 1;
        }
    } else {
        const std::uint32_t sps = speed - static_cast<std::uint32_t>(CREEP_SPEED);
        e.pbdSps = static_cast<std::int32_t>(sps);
        e.LowSpeed = 0;
        e.diag_vel = static_cast<std::int32_t>(ticks_to_speed(sps, accel));
        const std::uint32_t max_x =
            static_cast<std::uint32_t>(CurrentRomParam.MachParam.MaxVelocity.X);
        const std::uint32_t dpi = static_cast<std::uint32_t>(reso_dpi_x);
        const std::uint32_t limit = (max_x / dpi) * dpi - static_cast<std::uint32_t>(CREEP_SPEED);
        e.pbdAxiaVel = sps > limit ? static_cast<std::int32_t>(ticks_to_speed(limit, accel))
                                   : e.diag_vel;
        if (e.diag_vel == 0) {
            e.diag_vel = 1;
        }
        if (e.pbdAxiaVel == 0) {
            e.pbdAxiaVel = 1;
        }
    }

    const std::uint32_t max_y = static_cast<std::uint32_t>(CurrentRomParam.MachParam.MaxVelocity.Y);
    min_corner_vel = (30u * ticks_to_speed(max_y, accel)) / 100u;
}
