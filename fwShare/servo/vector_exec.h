// Execution of a VECTOR record, tick by tick: acceleration, slew with
// deceleration, creep to the exact end point, and corner continuation into
// the next record.
//
// The motion is a two-axis digital differential analyser: the record drives
// its major axis (the longer distance) and its minor axis, each with a
// velocity in counts per tick with 23 fraction bits and a fraction
// accumulator; the octant bits map major/minor onto +-X/+-Y. The stopping
// distance D is a 64-bit accumulator of 2^-16 counts held in ddr/high_ddr.
#pragma once

#include <cstdint>

#include "base/wrap_math.h"
#include "fwShare/servo/vector_queue.h"

// One acceleration tick, or the slew tick when the ramp is over.
void svo_isr_acc();
// One slew tick, or a deceleration tick when the stopping distance is reached.
void svo_isr_slew();
// One deceleration tick, or the creep tick when the speed is down.
void svo_dcc_step();
// One creep tick, or the vector's last step and the release of its record.
void svo_isr_creep();
// Applies a moving tick's step, taking the corner into the next record when it may.
void svo_emit_step(std::int32_t major_step, std::int32_t minor_step);

// Runs of alike ticks in closed form: up to max_ticks ticks of slew at
// constant speed, or of creep, advanced in one step exactly as the ticks
// would leave the record, the commanded position and the last step; never a
// tick that changes state, takes a corner, releases a record or prints.
// Returns the ticks advanced, 0 when fewer than two can be (the next tick
// then runs as usual). The caller counts the ticks.
std::uint64_t svo_slew_run(std::uint64_t max_ticks);
// The same for a run of creep ticks.
std::uint64_t svo_creep_run(std::uint64_t max_ticks);

// Runs of ramp ticks, each computed as the handler computes it but with
// the record's values kept in registers: up to max_ticks acceleration
// ticks, stopping before a tick that leaves the ramp, doubles the
// acceleration or takes a corner; or deceleration ticks, stopping before a
// tick that slews, prints, enters creep or takes a corner. Return the ticks
// run (0: none); the caller counts them.
std::uint64_t svo_acc_run(std::uint64_t max_ticks);
// The same for a run of deceleration ticks.
std::uint64_t svo_dcc_run(std::uint64_t max_ticks);

// A record slewing at constant speed, with the values its slew ticks change
// held in registers, so that the full replay can run slew ticks one by one
// with the position loop but without reloading the record every tick.
struct SlewTicks {
    std::int32_t majrdisth, minrdisth;  // distances left, counts
    std::uint32_t majrfract, minrfract; // fraction accumulators, 23 bits
    std::uint32_t majrvel, minrvel;     // counts per tick, 23 fraction bits
    std::int32_t extra;       // corner distance added to the major distance
    std::int32_t dcc;         // stopping distance in counts, compared signed
    std::int32_t warn_above;  // distance above which the tick would warn
    bool corner_possible;     // a corner may be taken where the distance ends
    std::uint8_t octant;
};

// Takes up the executing record's slew; false when its ticks may print
// whatever the distance (too many records waiting).
bool svo_slew_ticks_begin(SlewTicks* s);
// Puts the slew's changed values back into the executing record.
void svo_slew_ticks_end(const SlewTicks& s);

// The coming slew tick on s, as the slew handler computes it: advances s
// and gives the X and Y step, or returns false, s untouched, when that tick
// would do anything but slew (decelerate, warn, mend a negative distance or
// take a corner); the handler then runs it.
[[gnu::always_inline]] inline bool svo_plain_slew_step(SlewTicks& s, std::int32_t& step_x, std::int32_t& step_y)
{
    constexpr std::uint32_t fraction_mask = 0x7FFFFF;
    const std::int32_t rem =
        wrap_sub(wrap_add(s.majrdisth, s.extra), static_cast<std::int32_t>(s.majrvel >> 23));
    if (rem > s.warn_above || rem < 0 || rem < s.dcc) {
        return false;
    }
    const std::uint32_t t = s.majrvel + s.majrfract;
    const std::int32_t m = static_cast<std::int32_t>(t >> 23);
    const std::int32_t majrdisth = wrap_sub(s.majrdisth, m);
    if (s.corner_possible && majrdisth <= 0) {
        return false;
    }
    const std::uint32_t u = s.minrvel + s.minrfract;
    std::int32_t n = static_cast<std::int32_t>(u >> 23);
    const std::int32_t limit = wrap_add(s.minrdisth, 1);
    if (n > limit) {
        n = limit;
    }
    s.majrdisth = majrdisth;
    s.majrfract = t & fraction_mask;
    s.minrfract = u & fraction_mask;
    s.minrdisth = wrap_sub(s.minrdisth, n);
    // Bit 0 puts the major step on Y, bit 1 makes X negative, bit 2 Y.
    const bool y_major = (s.octant & 1u) != 0;
    step_x = y_major ? n : m;
    step_y = y_major ? m : n;
    if ((s.octant & 2u) != 0) {
        step_x = wrap_neg(step_x);
    }
    if ((s.octant & 4u) != 0) {
        step_y = wrap_neg(step_y);
    }
    return true;
}

// Forgets which record the long-vector warning was last printed for.
void svo_exec_reset();

// One routine per octant: adds a major step a and a minor step b to the
// commanded position and the following errors, and records the step.
extern const OctantMoveFn octant_move[8];
