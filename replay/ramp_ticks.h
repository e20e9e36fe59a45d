// The estimator's register runs: acceleration, deceleration and slew ticks
// computed exactly as their handlers compute them, but on the record's
// moving values held in registers, so that a run of such ticks need not
// reload and store the record every tick. Each tick says when it cannot be
// taken this way (it changes state, prints, doubles the acceleration or
// takes a corner); that tick then runs through its handler.
#pragma once

#include <cstdint>

#include "base/wrap_math.h"
#include "fwShare/machine.h"

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

// The distance a slew or deceleration tick compares with the stopping
// distance: what is left of the record and its corner distance extra after
// a tick at majrvel, whole counts, wrapping as the handler's 32 bits wrap.
[[gnu::always_inline]] inline std::int32_t svo_distance_left(std::int32_t majrdisth,
                                                             std::int32_t extra,
                                                             std::uint32_t majrvel)
{
    return wrap_sub(wrap_add(majrdisth, extra), static_cast<std::int32_t>(majrvel >> svo_vel_frac));
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

// A ramp tick that reaches a corner: the record's values after it and its
// major and minor steps, which the corner then takes (svo_emit_step).
struct CornerTick {
    bool due = false;
    RampValues v{};
    std::int32_t major = 0, minor = 0;
};

// Notes a tick that would take a corner, when the caller asked for it.
[[gnu::always_inline]] inline void note_corner_tick(CornerTick* corner, const RampValues& t,
                                                    std::int32_t m, std::int32_t n)
{
    if (corner != nullptr) {
        *corner = {true, t, m, n};
    }
}

// The end of a ramp tick whose major velocity t holds already: both axes
// step (the minor axis's velocity moves by its step first, up while
// accelerating, down while decelerating; its step is limited as the
// handler limits it), then the tick is taken into v and steps, or, when it
// reaches a corner, left to the handler (noted in corner when given).
template <bool accelerating>
[[gnu::always_inline]] inline bool svo_ramp_tick_moves(const Machine& machine, const VdbData* r,
                                                       RampValues& t, RampValues& v,
                                                       RampSteps& steps, CornerTick* corner)
{
    const std::int32_t m = svo_axis_step(t.majrvel, t.majrfract);
    t.majrdisth = wrap_sub(t.majrdisth, m);
    t.minrvel = accelerating ? t.minrvel + r->minrdvel : t.minrvel - r->minrdvel;
    const std::int32_t minor = svo_axis_step(t.minrvel, t.minrfract);
    const std::int32_t n = accelerating ? svo_minor_limit_signed(minor, t.minrdisth)
                                        : svo_minor_limit_unsigned(minor, t.minrdisth);
    t.minrdisth = wrap_sub(t.minrdisth, n);
    if (machine.svo_corner_due(r, t.majrdisth)) {
        note_corner_tick(corner, t, m, n);
        return false;
    }
    v = t;
    steps.add(m, n);
    return true;
}

// One acceleration tick on the values in v, exactly as svo_isr_acc; false
// (v unchanged) when the tick would leave the ramp, double the
// acceleration or take a corner (with corner given, a tick that takes a
// corner is noted there).
[[gnu::always_inline]] inline bool svo_acc_tick(const Machine& machine, const VdbData* r,
                                                std::int32_t extra, bool doubling, RampValues& v,
                                                RampSteps& steps, CornerTick* corner = nullptr)
{
    if (static_cast<std::uint32_t>(v.currvel) + 1u > r->acclcount ||
        (doubling && v.acc_index >= svo_ticks_before_doubling)) {
        return false;
    }
    RampValues t = v;
    if (doubling) {
        ++t.acc_index;
    }
    const std::uint32_t new_ddr = t.ddr + (t.majrvel >> svo_vel_to_stop_dist_shift);
    if (new_ddr < t.ddr) {
        ++t.high_ddr;
    }
    const std::uint32_t vel = t.majrvel + r->majrdvel;
    const std::uint32_t new_dcc = (t.high_ddr << 16) + (new_ddr >> 16);
    const std::uint32_t rem =
        static_cast<std::uint32_t>(wrap_add(t.majrdisth, extra)) - (vel >> svo_vel_frac);
    if (rem < new_dcc) {
        return false;
    }
    t.majrvel = vel;
    ++t.currvel;
    t.ddr = new_ddr;
    return svo_ramp_tick_moves<true>(machine, r, t, v, steps, corner);
}

// One deceleration tick on the values in v, exactly as svo_isr_slew taking
// svo_dcc_step; false (v unchanged) when the tick would slew, print, enter
// creep or take a corner (with corner given, a tick that takes a corner is
// noted there).
[[gnu::always_inline]] inline bool svo_dcc_tick(const Machine& machine, const VdbData* r,
                                                std::int32_t extra, bool warned, RampValues& v,
                                                RampSteps& steps, CornerTick* corner = nullptr)
{
    const std::int32_t rem = svo_distance_left(v.majrdisth, extra, v.majrvel);
    const std::uint32_t dcc = (v.high_ddr << 16) + (v.ddr >> 16);
    if (svo_long_vector_warning_due(rem, warned) || rem < 0 ||
        rem >= static_cast<std::int32_t>(dcc) || v.currvel <= 1 || r->majrdvel > v.majrvel) {
        return false;
    }
    RampValues t = v;
    --t.currvel;
    t.majrvel -= r->majrdvel;
    const std::uint32_t travel = t.majrvel >> svo_vel_to_stop_dist_shift;
    if (t.ddr < travel) {
        --t.high_ddr;
    }
    t.ddr -= travel;
    return svo_ramp_tick_moves<false>(machine, r, t, v, steps, corner);
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


// The coming acceleration (or deceleration) tick on t, as its handler
// computes it: advances t and gives the X and Y step, or returns false, t
// untouched, when the handler must run that tick.
template <bool accelerating>
[[gnu::always_inline]] inline bool svo_ramp_step(const Machine& m, RampTicks& t,
                                                 std::int32_t& step_x, std::int32_t& step_y)
{
    RampSteps steps;
    const bool ran = accelerating ? svo_acc_tick(m, t.rec, t.extra, t.flag, t.v, steps)
                                  : svo_dcc_tick(m, t.rec, t.extra, t.flag, t.v, steps);
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
    bool warned;              // the long-vector warning was given for the record
    bool corner_possible;     // a corner may be taken where the distance ends
    std::uint8_t octant;
};


// The coming slew tick on s, as the slew handler computes it: advances s
// and gives the X and Y step, or returns false, s untouched, when that tick
// would do anything but slew (decelerate, warn, mend a negative distance or
// take a corner); the handler then runs it.
[[gnu::always_inline]] inline bool svo_plain_slew_step(SlewTicks& s, std::int32_t& step_x,
                                                       std::int32_t& step_y)
{
    const std::int32_t rem = svo_distance_left(s.majrdisth, s.extra, s.majrvel);
    if (svo_long_vector_warning_due(rem, s.warned) || rem < 0 || rem < s.dcc) {
        return false;
    }
    std::uint32_t majrfract = s.majrfract;
    const std::int32_t m = svo_axis_step(s.majrvel, majrfract);
    const std::int32_t majrdisth = wrap_sub(s.majrdisth, m);
    if (s.corner_possible && majrdisth <= 0) {
        return false;
    }
    const std::int32_t n =
        svo_minor_limit_signed(svo_axis_step(s.minrvel, s.minrfract), s.minrdisth);
    s.majrdisth = majrdisth;
    s.majrfract = majrfract;
    s.minrdisth = wrap_sub(s.minrdisth, n);
    svo_octant_steps(s.octant, m, n, step_x, step_y);
    return true;
}

