// Corner ramps in closed form: the planner's step-by-step walk of a corner
// ramp (walk_corner_ramp) solved with floor sums over the arithmetic
// progression of its speeds, and a table of the ramps solved lately, since
// the chords of a curve repeat the same few ramps joint after joint.
#pragma once

#include <cstdint>

// Acceleration steps from creep_velocity a corner ramp of majrdvel per step
// can brake away within len plus psuedodist counts, up to the 16-bit target
// h, and the distance that ramp covers (24.8), exactly as the machine's
// step-by-step ramp finds them. Walks where the registers would wrap.
void corner_ramp_steps(std::uint32_t len, std::uint32_t psuedodist, std::uint32_t h,
                       std::uint32_t majrdvel, std::int32_t creep_velocity, std::uint32_t* steps,
                       std::uint32_t* dist);
