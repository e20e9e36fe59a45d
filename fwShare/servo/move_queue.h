// The move routine: every relative move of the head is queued here as one
// planned VECTOR record, with the speed profile of the current move kind.
// Pen-up travel gets its profile reshaped by the length and shape of the
// move: short moves a gentler acceleration and lower top speed, long ones
// the full speed.
#pragma once

#include <cstdint>

#include "fwShare/servo/move_profile.h"
#include "fwShare/servo/speed_profiles.h"

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
