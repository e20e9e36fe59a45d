// Speed profiles: one entry per move kind, built from a speed and an
// acceleration code, and loaded by the move routine for every move.
#pragma once

#include <cstdint>

#include "fwShare/servo/vector_queue.h"

enum MoveKind : std::int32_t {
    PEN_DOWN, PEN_UP, PEN_UPC, RASTER_FORWARD, RASTER_BACKWARD, RASTER_OFFSET, RASTER_MOVE,
    SERVO_MOVE
};
inline constexpr int VEL_ACCEL_POOL_SIZE = SERVO_MOVE + 1;
extern const char* const move_kind_names[VEL_ACCEL_POOL_SIZE];

struct VelAccelEntry {
    std::int32_t kind;        // the entry's own move kind
    std::int32_t diag_vel;    // acceleration ticks up to pbdSps
    std::int32_t pbdAxiaVel;  // the same, limited to the machine's X speed
    // Velocity change per tick, 2^-14 servo counts per tick per tick.
    std::int32_t pbdAccel;
    std::int32_t pbdSps;      // slew speed above the creep speed, plot-bed units/s
    // Constant speed of a profile without acceleration ramp, 2^-4 counts per tick.
    std::int32_t LowSpeed;
    std::int32_t unused;
};

// The profile table and what the last profile built leaves, with the
// power-on values (start-up numbers the entries and builds six of them).
struct SpeedProfileState {
    VelAccelEntry VelAccelPool[VEL_ACCEL_POOL_SIZE] = {};
    // Speed at or below which the last profile built has no acceleration
    // ramp (plot-bed units per second), and the scale of its constant speed.
    std::uint32_t boundary_speed = 0;
    std::int32_t factor_num = 0;
    // Lowest corner speed the planner aims for, in acceleration steps.
    std::uint32_t min_corner_vel = 0;
};
