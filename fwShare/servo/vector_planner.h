// Vector planning: one relative move becomes the motion fields of a VECTOR
// record (major/minor axis distances, slope, start velocities and
// per-step changes, top speed in acceleration steps, direction and end
// delay). Then the planner looks back over the records still queued:
// it blends the turn angles of runs of short segments and raises the corner
// speeds of up to 13 earlier records, so that a curve made of short vectors
// is driven through its joints without stopping.
#pragma once

#include <cstdint>

#include "fwShare/units.h"
#include "fwShare/servo/vector_queue.h"

struct Machine;

// The corner ramp starts at creep speed and gains majrdvel per acceleration
// step. Velocity is counts per tick with 23 fraction bits, distance is counts
// with 8 fraction bits; each step adds the velocity, shifted down to distance
// units, to the distance.
inline constexpr unsigned ramp_vel_frac = svo_vel_frac;
inline constexpr unsigned ramp_dist_frac = 8;
inline constexpr unsigned ramp_travel_shift = ramp_vel_frac - ramp_dist_frac;

// A solver of corner ramps on machine m that finds what walk_corner_ramp
// finds (the arguments of corner_ramp_steps below, at the machine's
// CREEP_VELOCITY). The machine comes last: the planner has the other
// arguments at hand where the machine's own walk would take them.
using CornerRampSolver = void (*)(std::uint32_t len, std::uint32_t psuedodist, std::uint32_t h,
                                  std::uint32_t majrdvel, std::uint32_t* steps,
                                  std::uint32_t* dist, Machine& m);

// The deepest the corner pass looks back: it raises at most this many
// records before the one planned.
inline constexpr int corner_look_back_limit = 13;

// A memo of whole corner passes. The pass over rec reads, of rec and of
// each record before it that it looks at, the fields cmd, acc_index,
// anglediff, cnrvel, majrdvel, majrdisth and acclcount, and of rec also
// psuedodist; of the settings svo_reso_mm_x, min_corner_vel and
// CREEP_VELOCITY. It looks at the records before rec up to one past the
// last it raises (no more than corner_look_back_limit), and changes only
// their cnrvel, psuedodist and smoothCnt.
//
// Before a pass, recall may stand in for it: recalled when it raised the
// records as the pass would have, with the records raised and the last
// record changed (rec when none). Else the pass runs, and when recall asked
// for it, remember is told what it did.
enum class CornerPassRecall : std::uint8_t { run, run_and_remember, recalled };
struct CornerPassMemo {
    CornerPassRecall (*recall)(Machine& m, VdbData* rec, std::int32_t* raised,
                               VdbData** last_changed);
    void (*remember)(Machine& m, const VdbData* rec, std::int32_t raised, std::int32_t looked_at,
                     const VdbData* last_changed);
};

// The planner's own count, with its power-on value, and the seams through
// which the estimator solves corner ramps (null: walked step by step) and
// remembers corner passes (null: each pass runs).
struct VectorPlannerState {
    std::int32_t vect_count = 0;  // planned vectors so far (shown by the end-of-job report)
    CornerRampSolver corner_ramp_solver = nullptr;
    const CornerPassMemo* corner_pass_memo = nullptr;
    std::uint32_t corner_passes_unasked = 0;  // passes the memo asked to sit out
};

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

// The corner ramp as the machine runs it: one acceleration step per pass
// from creep, in 32-bit registers that wrap, stopping past the target h,
// when the speed reaches the vector's length len or the distance reaches
// target (its length plus braking distance); then one step is taken back.
// Gives the steps and the distance covered (24.8).
void walk_corner_ramp(std::uint32_t len, std::uint32_t target, std::uint32_t h,
                      std::uint32_t majrdvel, std::uint32_t creep, std::uint32_t* steps,
                      std::uint32_t* dist);
