// Vector planning: one relative move becomes the motion fields of a VECTOR
// record (major/minor axis distances, slope, start velocities and
// per-step changes, top speed in acceleration steps, direction and end
// delay). Then the planner looks back over the records still queued:
// it blends the turn angles of runs of short segments and raises the corner
// speeds of up to 13 earlier records, so that a curve made of short vectors
// is driven through its joints without stopping.
#pragma once

#include <cstdint>

#include "fwShare/servo/vector_queue.h"

// Planned vectors so far (shown by the end-of-job report).
extern std::int32_t vect_count;

// Direction of the octant's base axis in degrees; the direction of travel
// is |base + a|, a the angle from the major axis (0..45).
extern const std::int16_t octant_base_angle[8];
// arctan(i / 64) in whole degrees, indexed by slope / 1024.
extern const std::uint8_t atan_deg_table[64];
// cos(i degrees), 16.16 fixed point, i = 0..45.
extern const std::uint32_t cos_table[46];
// Corner speed factor by smoothed turn in whole degrees, 0.16 fixed point.
extern const std::uint16_t corner_factor_table[46];

// x * y / z with a 64-bit product of the magnitudes, truncated toward zero
// and negated when an odd number of the three is negative; 0 when the
// quotient would be too large (or z is 0).
std::int32_t muldiv(std::int32_t x, std::int32_t y, std::int32_t z);

// Plans the move (dx, dy), plot-bed units, not both 0, into rec, a record
// just handed out and not yet committed.
void _delta_move(std::int32_t dx, std::int32_t dy, VdbData* rec);
