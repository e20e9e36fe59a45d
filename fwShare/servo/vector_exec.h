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

#include <algorithm>

#include "base/wrap_math.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/vector_queue.h"

inline constexpr std::uint32_t svo_fraction_mask = 0x7FFFFF;       // 23 fraction bits
inline constexpr std::int32_t svo_long_vector_warning = 0x1000000; // counts

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

// The moving values of a record, kept in registers while a ramp runs tick
// after tick; written back only for the ticks that ran.
struct RampValues {
    std::uint32_t majrvel, minrvel;
    std::uint32_t majrfract, minrfract;
    std::int32_t majrdisth, minrdisth;
    std::uint32_t ddr, high_ddr;
    std::uint16_t currvel;
    std::int32_t acc_index;
};

// The moving values of a record as it stands.
inline RampValues svo_ramp_values(const VdbData* r)
{
    return {r->majrvel, r->minrvel, r->majrfract, r->minrfract, r->majrdisth,
            r->minrdisth, r->ddr, r->high_ddr, r->currvel, r->acc_index};
}

// The steps of a ramp's ticks: their sums and the last one.
struct RampSteps {
    std::uint32_t major_sum = 0, minor_sum = 0;
    std::int32_t last_major = 0, last_minor = 0;

    void add(std::int32_t m, std::int32_t n)
    {
        major_sum += static_cast<std::uint32_t>(m);
        minor_sum += static_cast<std::uint32_t>(n);
        last_major = m;
        last_minor = n;
    }
};

// Puts a ramp's moving values back into the record.
inline void svo_store_ramp_values(VdbData* r, const RampValues& v)
{
    r->majrvel = v.majrvel;
    r->minrvel = v.minrvel;
    r->majrfract = v.majrfract;
    r->minrfract = v.minrfract;
    r->majrdisth = v.majrdisth;
    r->minrdisth = v.minrdisth;
    r->ddr = v.ddr;
    r->high_ddr = v.high_ddr;
    r->currvel = v.currvel;
    r->acc_index = v.acc_index;
}

// One tick's whole counts of an axis at velocity vel, as major_step and
// the minor steps take them.
inline std::int32_t svo_counts_of(std::uint32_t vel, std::uint32_t& fract)
{
    const std::uint32_t t = vel + fract;
    fract = t & svo_fraction_mask;
    return static_cast<std::int32_t>(t >> 23);
}

// Whether an emitted step would take the corner into the next record.
inline bool svo_corner_due(const VdbData* r, std::int32_t majrdisth)
{
    return corner_chain_enable != 0 && r->cnrvel != 0 && majrdisth <= 0;
}

// One acceleration tick on the values in v, exactly as svo_isr_acc; false
// (v unchanged) when the tick would leave the ramp, double the
// acceleration or take a corner.
[[gnu::always_inline]] inline bool svo_acc_tick(const VdbData* r, std::int32_t extra,
                                                 bool doubling, RampValues& v, RampSteps& steps)
{
    if (static_cast<std::uint32_t>(v.currvel) + 1u > r->acclcount ||
        (doubling && v.acc_index >= 20)) {
        return false;
    }
    RampValues t = v;
    if (doubling) {
        ++t.acc_index;
    }
    const std::uint32_t new_ddr = t.ddr + (t.majrvel >> 7);
    if (new_ddr < t.ddr) {
        ++t.high_ddr;
    }
    const std::uint32_t vel = t.majrvel + r->majrdvel;
    const std::uint32_t new_dcc = (t.high_ddr << 16) + (new_ddr >> 16);
    const std::uint32_t rem = static_cast<std::uint32_t>(wrap_add(t.majrdisth, extra)) - (vel >> 23);
    if (rem < new_dcc) {
        return false;
    }
    t.majrvel = vel;
    ++t.currvel;
    t.ddr = new_ddr;
    const std::int32_t m = svo_counts_of(vel, t.majrfract);
    t.majrdisth = wrap_sub(t.majrdisth, m);
    t.minrvel += r->minrdvel;
    std::int32_t n = svo_counts_of(t.minrvel, t.minrfract);
    n = std::min(n, wrap_add(t.minrdisth, 1));
    t.minrdisth = wrap_sub(t.minrdisth, n);
    if (svo_corner_due(r, t.majrdisth)) {
        return false;
    }
    v = t;
    steps.add(m, n);
    return true;
}

// One deceleration tick on the values in v, exactly as svo_isr_slew taking
// svo_dcc_step; false (v unchanged) when the tick would slew, print, enter
// creep or take a corner.
[[gnu::always_inline]] inline bool svo_dcc_tick(const VdbData* r, std::int32_t extra,
                                                 bool warned, RampValues& v, RampSteps& steps)
{
    const std::int32_t rem =
        wrap_sub(wrap_add(v.majrdisth, extra), static_cast<std::int32_t>(v.majrvel >> 23));
    const std::uint32_t dcc = (v.high_ddr << 16) + (v.ddr >> 16);
    if ((rem > svo_long_vector_warning && !warned) || rem < 0 ||
        rem >= static_cast<std::int32_t>(dcc) || v.currvel <= 1 || r->majrdvel > v.majrvel) {
        return false;
    }
    RampValues t = v;
    --t.currvel;
    t.majrvel -= r->majrdvel;
    const std::uint32_t travel = t.majrvel >> 7;
    if (t.ddr < travel) {
        --t.high_ddr;
    }
    t.ddr -= travel;
    const std::int32_t m = svo_counts_of(t.majrvel, t.majrfract);
    t.majrdisth = wrap_sub(t.majrdisth, m);
    t.minrvel -= r->minrdvel;
    std::uint32_t n = static_cast<std::uint32_t>(svo_counts_of(t.minrvel, t.minrfract));
    n = std::min(n, static_cast<std::uint32_t>(t.minrdisth) + 1u);
    t.minrdisth = wrap_sub(t.minrdisth, static_cast<std::int32_t>(n));
    if (svo_corner_due(r, t.majrdisth)) {
        return false;
    }
    v = t;
    steps.add(m, static_cast<std::int32_t>(n));
    return true;
}

// A ramp taken up by the full replay for ticks one by one: the record, its
// moving values in registers, the corner distance added to its major
// distance, and whether it may double its acceleration (acceleration) or
// has printed the long-vector warning (deceleration).
struct RampTicks {
    VdbData* rec;
    RampValues v;
    std::int32_t extra;
    bool flag;
};

// Takes up the executing record's acceleration ramp.
void svo_acc_ticks_begin(RampTicks* t);
// Takes up its deceleration; false when its ticks may print whatever the
// distance (too many records waiting).
bool svo_dcc_ticks_begin(RampTicks* t);

// The coming acceleration (or deceleration) tick on t, as its handler
// computes it: advances t and gives the X and Y step, or returns false, t
// untouched, when the handler must run that tick.
template <bool accelerating>
[[gnu::always_inline]] inline bool svo_ramp_step(RampTicks& t, std::int32_t& step_x,
                                                 std::int32_t& step_y)
{
    RampSteps steps;
    const bool ran = accelerating ? svo_acc_tick(t.rec, t.extra, t.flag, t.v, steps)
                                  : svo_dcc_tick(t.rec, t.extra, t.flag, t.v, steps);
    if (ran) {
        svo_octant_steps(t.rec->octant, steps.last_major, steps.last_minor, step_x, step_y);
    }
    return ran;
}

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
    s.majrfract = t & svo_fraction_mask;
    s.minrfract = u & svo_fraction_mask;
    s.minrdisth = wrap_sub(s.minrdisth, n);
    svo_octant_steps(s.octant, m, n, step_x, step_y);
    return true;
}

// Forgets which record the long-vector warning was last printed for.
void svo_exec_reset();

// One routine per octant: adds a major step a and a minor step b to the
// commanded position and the following errors, and records the step.
extern const OctantMoveFn octant_move[8];
