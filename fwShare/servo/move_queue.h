// The move routine: every relative move of the head is queued here as one
// planned VECTOR record, with the speed profile of the current move kind.
// Pen-up travel gets its profile reshaped by the length and shape of the
// move: short moves a gentler acceleration and lower top speed, long ones
// the full speed.
#pragma once

#include <cstdint>

#include "base/state_names.h"
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
extern MoveProfileState move_profile_state;

// Puts the move routine's profile back to its power-on values.
void move_queue_reset();

// The profile by its firmware names.
VEMTRAC_STATE_NAMES(move_profile_state, pVelAccelPointer, diag_vel, pbdAxiaVel, pbdAccel, pbdSps,
                    LowSpeed, lowspeedflag, CI_Flag);

// Pen-up travel shapes and their length bands (millimetres of |dx| + |dy|),
// each bound with an acceleration (thousandths of g) and a speed (the
// profile's top speed is scaled by Vel / 40).
struct PenUpShape {
    const char* name;
    std::int32_t part[5];  // PartA .. PartE
    std::int32_t acc[5];
    std::int32_t vel[5];
};
extern const PenUpShape pen_up_shapes[3];  // PU-DxDy, PU-OnlyDx, PU-OnlyDy

// Reshapes the loaded pen-up profile for a move of travel_mm millimetres.
void reshape_pen_up_profile(const PenUpShape& shape, std::int32_t travel_mm);

// Queues the move (dx, dy) in plot-bed units; a zero move queues nothing.
void srvo_on_ve(std::int32_t dx, std::int32_t dy);
