// The move profile in force: what the planner takes from the speed profile
// of the current move kind, loaded before each move is planned.
#pragma once

#include <cstdint>

#include "fwShare/servo/speed_profiles.h"

// The profile of the move being queued, loaded from VelAccelPool, with the
// power-on values.
struct MoveProfileState {
    VelAccelEntry* pVelAccelPointer = nullptr;  // the entry loaded
    std::int32_t diag_vel = 0;    // acceleration steps up to the slew speed
    std::int32_t pbdAxiaVel = 0;  // acceleration steps up to the top speed along an axis
    std::int32_t pbdAccel = 0;    // velocity change per step, 2^-14 counts per tick per tick
    std::int32_t pbdSps = 0;      // slew speed above the creep speed, plot-bed units/s
    std::int32_t LowSpeed = 0;    // constant speed without ramp, 2^-4 counts per tick
    // Servo flags that stay 0 on this machine.
    std::int32_t lowspeedflag = 0;
    std::int32_t CI_Flag = 0;
};
