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
#include "fwShare/servo/servo_state.h"
#include "fwShare/servo/vector_queue.h"

inline constexpr std::int32_t svo_long_vector_warning = 0x1000000;  // counts
// majrdvel at and above which a ramp never doubles its acceleration: the
// machine's own constant 0x5C418 = 377880 / 2^23 = 0.04505 counts per tick
// per tick; at 12192 counts per inch (480 000 per metre) and 2500 ticks per
// second that is 0.04505 * 2500^2 / 480000 = 0.587 m/s^2, about 0.06 g. Only
// gentler ramps double after 20 ticks.
inline constexpr std::uint32_t svo_doubling_limit = 0x5C418;
// Acceleration ticks a gentle ramp counts in acc_index before it doubles,
// and the marker acc_index holds once it has doubled.
inline constexpr std::int32_t svo_ticks_before_doubling = 20;
inline constexpr std::int32_t svo_acc_doubled = 21;

// What vector execution remembers between ticks, with its power-on value:
// the record the long-vector warning was last printed for, told apart from
// a later use of the same ring slot by its hand-out tick.
struct VectorExecState {
    const VdbData* warned_record = nullptr;
    std::uint32_t warned_alloc_tick = 0;
};

// The line-tracing step of one axis for one tick: the velocity (23
// fraction bits) plus the fraction carried from the tick before gives the
// whole counts of this tick; what is left over is carried to the next.
[[gnu::always_inline]] inline std::int32_t svo_axis_step(std::uint32_t vel, std::uint32_t& fract)
{
    const std::uint32_t t = vel + fract;
    fract = t & svo_fraction_mask;
    return static_cast<std::int32_t>(t >> svo_vel_frac);
}

// The minor axis never steps past its end: its step is limited to what is
// left plus one, compared as signed numbers while the record accelerates or
// slews...
[[gnu::always_inline]] inline std::int32_t svo_minor_limit_signed(std::int32_t n,
                                                                   std::int32_t minrdisth)
{
    const std::int32_t limit = wrap_add(minrdisth, 1);
    return n > limit ? limit : n;
}

// ...and as unsigned numbers while it decelerates or creeps.
[[gnu::always_inline]] inline std::int32_t svo_minor_limit_unsigned(std::int32_t n,
                                                                     std::int32_t minrdisth)
{
    const std::uint32_t limit = static_cast<std::uint32_t>(minrdisth) + 1u;
    const std::uint32_t u = static_cast<std::uint32_t>(n);
    return static_cast<std::int32_t>(u > limit ? limit : u);
}

// Whether a slew tick with rem counts left prints the long-vector warning:
// once per record, so that a vector of thousands of inches does not flood
// the console for hours. given: whether it was printed for it already.
[[gnu::always_inline]] inline bool svo_long_vector_warning_due(std::int64_t rem, bool given)
{
    return rem > svo_long_vector_warning && !given;
}

// The stopping distance in whole counts: D >> 16 in 32 bits.
inline std::uint32_t svo_dcc_dist(const VdbData* r)
{
    return (r->high_ddr << 16) + (r->ddr >> 16);
}

// Whether an acceleration ramp doubles its acceleration after 20 ticks.
inline bool svo_ramp_doubles(const VdbData* r)
{
    return r->psuedodist == 0 && r->cnrvel == 0 && r->majrdvel < svo_doubling_limit;
}

// The X and Y steps of a major step a and a minor step b in an octant: bit
// 0 puts the major step on Y, bit 1 makes X negative, bit 2 Y.
inline void svo_octant_steps(std::uint8_t octant, std::int32_t a, std::int32_t b,
                             std::int32_t& x, std::int32_t& y)
{
    const bool y_major = (octant & 1u) != 0;
    x = y_major ? b : a;
    y = y_major ? a : b;
    if ((octant & 2u) != 0) {
        x = wrap_neg(x);
    }
    if ((octant & 4u) != 0) {
        y = wrap_neg(y);
    }
}
