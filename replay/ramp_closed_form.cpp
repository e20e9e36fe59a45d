#include "replay/ramp_closed_form.h"
#include "replay/floor_sum.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// Velocities are counts per tick with 23 fraction bits; the stopping
// distance D is counts with 16 fraction bits, so a tick's travel shifted
// down by 23 - 16 = 7 is what it adds to or takes from D.
constexpr unsigned vel_frac = 23;
constexpr unsigned dist_frac = 16;
constexpr unsigned travel_shift = vel_frac - dist_frac;
constexpr std::uint64_t one_count = std::uint64_t{1} << vel_frac;
constexpr std::uint64_t travel_mask = (std::uint64_t{1} << travel_shift) - 1;
// Largest velocity whose step (velocity plus a fraction below one count)
// stays within 32 bits.
constexpr std::uint64_t vel_room = (std::uint64_t{1} << 32) - one_count;
// Stopping distances whose whole counts fit the 32-bit dccDist unsigned
// (acceleration) and signed (deceleration).
constexpr std::uint64_t dcc_room_unsigned = std::uint64_t{1} << (32 + dist_frac);
constexpr std::uint64_t dcc_room_signed = std::uint64_t{1} << (31 + dist_frac);
// Corner distances beyond this might carry the major distance past the
// 32-bit range within one step; such records go tick by tick.
constexpr std::int64_t extra_room = std::int64_t{1} << 30;
// Ramps shorter than this run one tick at a time: most ramps between the
// corners of short chords end within a few ticks, and stepping those costs
// less than solving them.
constexpr std::uint64_t ramp_short_run = 6;
// Acceleration ticks before the doubling tick, counted by acc_index.
constexpr std::int64_t doubling_index = svo_ticks_before_doubling;


// The 64-bit stopping distance held in ddr / high_ddr.
inline std::uint64_t stopping_distance(const RampValues& v)
{
    return std::uint64_t{v.high_ddr} << 32 | v.ddr;
}

inline void set_stopping_distance(RampValues& v, std::uint64_t d)
{
    v.ddr = static_cast<std::uint32_t>(d);
    v.high_ddr = static_cast<std::uint32_t>(d >> 32);
}

// Velocities lo, lo + dv, ..., n of them, in exact arithmetic (the caller
// keeps them within 32 bits).
struct Progression {
    std::uint64_t lo;
    std::uint64_t dv;

    // Sum of the n velocities.
    std::uint64_t sum(std::uint64_t n) const { return n * lo + dv * (n * (n - 1) / 2); }

    // Sum of each velocity shifted down to stopping-distance units.
    std::uint64_t travel(std::uint64_t n) const
    {
        if ((dv & travel_mask) == 0) {
            return (sum(n) - n * (lo & travel_mask)) >> travel_shift;
        }
        return floor_sum(n, std::uint64_t{1} << travel_shift, dv, lo);
    }
};

// At most cap ticks i = 0, 1, ... for which a velocity start + (i + 1) * dv
// stays at most vel_room (cap below 2^16, so the product cannot overflow;
// the division only where the room binds).
inline std::uint64_t ticks_within_room(std::uint64_t cap, std::uint64_t start, std::uint64_t dv)
{
    if (start > vel_room) {
        return 0;
    }
    return start + cap * dv <= vel_room ? cap : std::min(cap, (vel_room - start) / dv);
}

// At most cap ticks i = 0, 1, ... for which a velocity start - (i + 1) * dv
// stays at or above least.
inline std::uint64_t ticks_above(std::uint64_t cap, std::uint64_t start, std::uint64_t dv, std::uint64_t least)
{
    if (start < least) {
        return 0;
    }
    return start - least >= cap * dv ? cap : std::min(cap, (start - least) / dv);
}

// First i in [0, hi) for which ok(i) fails (hi when none), for ok true up
// to some point and false from there on; looked for from guess outwards,
// then by halving.
template <typename Ok>
std::uint64_t first_failing(std::uint64_t hi, std::uint64_t guess, Ok ok)
{
    std::uint64_t lo = 0;
    guess = std::min(guess, hi - 1);
    if (ok(guess)) {
        lo = guess + 1;
        for (std::uint64_t step = 1; lo < hi; step *= 2) {
            const std::uint64_t probe = std::min(lo + step - 1, hi - 1);
            if (!ok(probe)) {
                hi = probe;
                break;
            }
            lo = probe + 1;
        }
    } else {
        hi = guess;
        for (std::uint64_t step = 1; hi > lo; step *= 2) {
            const std::uint64_t probe = hi - std::min(step, hi - lo);
            if (ok(probe)) {
                lo = probe + 1;
                break;
            }
            hi = probe;
        }
    }
    while (lo < hi) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        if (ok(mid)) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// Smallest x >= 0 with a * x^2 + b * x >= c (a, b >= 0, not both 0), as a
// real number: where to start looking for an exit.
inline double quadratic_reach(double a, double b, double c)
{
    if (c <= 0) {
        return 0;
    }
    return 2 * c / (b + std::sqrt(b * b + 4 * a * c));
}

// A real x as a tick count, clamped to [0, cap].
inline std::uint64_t tick_guess(double x, std::uint64_t cap)
{
    if (!(x < static_cast<double>(cap))) {
        return cap;
    }
    return x > 0 ? static_cast<std::uint64_t>(x) : 0;
}

// An axis over k ticks: from the fraction it starts with and the sums of
// the velocities of the first k - 1 and of all k ticks, the counts it
// moves, clamped in total to limit (minor axis), the last tick's counts,
// and the fraction it leaves.
struct AxisAdvance {
    std::uint64_t counts;
    std::int32_t last;
    std::uint32_t fract;
};

AxisAdvance advance_axis(std::uint64_t fract, std::uint64_t sum_before, std::uint64_t sum,
                         std::uint64_t limit)
{
    const std::uint64_t total = fract + sum;
    const std::uint64_t counts = std::min(total >> vel_frac, limit);
    const std::uint64_t counts_before = std::min((fract + sum_before) >> vel_frac, limit);
    return {counts, static_cast<std::int32_t>(counts - counts_before),
            static_cast<std::uint32_t>(total & (one_count - 1))};
}

// Moves the distances and fractions by the axes' advances and records
// their steps.
void apply_axes(RampValues& v, RampSteps& steps, const AxisAdvance& a, const AxisAdvance& b)
{
    v.majrfract = a.fract;
    v.minrfract = b.fract;
    v.majrdisth = static_cast<std::int32_t>(static_cast<std::uint32_t>(v.majrdisth) - static_cast<std::uint32_t>(a.counts));
    v.minrdisth = static_cast<std::int32_t>(static_cast<std::uint32_t>(v.minrdisth) - static_cast<std::uint32_t>(b.counts));
    steps.major_sum += static_cast<std::uint32_t>(a.counts);
    steps.minor_sum += static_cast<std::uint32_t>(b.counts);
    steps.last_major = a.last;
    steps.last_minor = b.last;
}

// Total limit of the minor axis's counts: it stops at one count past its end.
inline std::uint64_t minor_limit(const RampValues& v)
{
    return static_cast<std::uint64_t>(std::int64_t{v.minrdisth} + 1);
}

// Whether the values are in the range the exact model holds for: fractions
// below one count, the minor distance where its clamp is a plain minimum,
// a corner distance that cannot carry the major distance out of range.
inline bool exact_model_holds(const RampValues& v, std::int32_t extra)
{
    return v.majrfract <= svo_fraction_mask && v.minrfract <= svo_fraction_mask &&
           v.minrdisth >= -1 && v.minrdisth < std::numeric_limits<std::int32_t>::max() &&
           extra <= extra_room;
}

// The acceleration ticks the exact model vouches for, advanced on v and
// steps; 0 when it vouches for none. Tick i (from 0) runs at velocity
// V(i + 1) = majrvel + (i + 1) * majrdvel, adds V(i) >> 7 to D and is taken
// while rem = majrdisth + extra - M(i) - (V(i + 1) >> 23) >= D' >> 16 and
// no corner is due; both sides move one way, so the first tick that fails
// is found by a search.
std::uint64_t acc_chunk(const VdbData* r, std::int32_t extra, bool doubling, RampValues& v,
                        RampSteps& steps, std::uint64_t max_ticks)
{
    const std::uint64_t d0 = stopping_distance(v);
    if (!exact_model_holds(v, extra) || d0 >= dcc_room_unsigned) {
        return 0;
    }
    std::uint64_t cap = std::min<std::uint64_t>(max_ticks, r->acclcount > v.currvel ? r->acclcount - v.currvel : 0u);
    if (doubling) {
        const std::int64_t left = doubling_index - v.acc_index;
        cap = std::min<std::uint64_t>(cap, left > 0 ? static_cast<std::uint64_t>(left) : 0u);
    }
    cap = ticks_within_room(cap, v.majrvel, r->majrdvel);
    cap = ticks_within_room(cap, v.minrvel, r->minrdvel);
    if (cap == 0) {
        return 0;
    }
    const Progression major{v.majrvel, r->majrdvel};         // V(0), V(1), ...
    const Progression moved{v.majrvel + r->majrdvel, r->majrdvel};  // V(1), V(2), ...
    const std::uint64_t f0 = v.majrfract;
    const std::int64_t base = std::int64_t{v.majrdisth} + extra;
    const bool corner = corner_chain_enable != 0 && r->cnrvel != 0;
    const auto counts = [&](std::uint64_t i) { return static_cast<std::int64_t>((f0 + moved.sum(i)) >> vel_frac); };
    const auto ok = [&](std::uint64_t i) {
        const std::uint64_t d = d0 + major.travel(i + 1);
        const std::int64_t rem = base - counts(i) - static_cast<std::int64_t>((major.lo + (i + 1) * major.dv) >> vel_frac);
        if (d >= dcc_room_unsigned || rem < static_cast<std::int64_t>(d >> dist_frac)) {
            return false;
        }
        return !corner || std::int64_t{v.majrdisth} - counts(i + 1) > 0;
    };
    // Where the smooth forms of both tests cross: rem against D' is
    // dv i^2 + 2 (V0 + dv) i + 2 V0 + dv + f0 <= 2^23 base - 2^7 D0; the
    // corner S(i + 1) >= 2^23 majrdisth - f0.
    const double dv = static_cast<double>(r->majrdvel);
    const double v0 = static_cast<double>(v.majrvel);
    const double budget = static_cast<double>(base) * static_cast<double>(one_count) -
                          128.0 * static_cast<double>(d0) - 2 * v0 - dv - static_cast<double>(f0);
    std::uint64_t guess = tick_guess(budget < 0 ? 0 : quadratic_reach(dv, 2 * (v0 + dv), budget) + 1, cap);
    if (corner) {
        const double reach = static_cast<double>(v.majrdisth) * static_cast<double>(one_count) - static_cast<double>(f0);
        guess = std::min(guess, tick_guess(quadratic_reach(dv / 2, v0 + dv / 2, reach), cap));
    }
    const std::uint64_t k = first_failing(cap, guess, ok);
    if (k == 0) {
        return 0;
    }
    const Progression minor{std::uint64_t{v.minrvel} + r->minrdvel, r->minrdvel};
    const AxisAdvance a = advance_axis(v.majrfract, moved.sum(k - 1), moved.sum(k), std::numeric_limits<std::uint64_t>::max());
    const AxisAdvance b = advance_axis(v.minrfract, minor.sum(k - 1), minor.sum(k), minor_limit(v));
    apply_axes(v, steps, a, b);
    set_stopping_distance(v, d0 + major.travel(k));
    v.majrvel = static_cast<std::uint32_t>(v.majrvel + k * r->majrdvel);
    v.minrvel = static_cast<std::uint32_t>(v.minrvel + k * r->minrdvel);
    v.currvel = static_cast<std::uint16_t>(v.currvel + k);
    if (doubling) {
        v.acc_index = static_cast<std::int32_t>(v.acc_index + static_cast<std::int64_t>(k));
    }
    return k;
}

// Sum of the velocities start - dv, start - 2 dv, ..., n of them (the
// caller keeps them at or above zero).
inline std::uint64_t falling_sum(std::uint64_t start, std::uint64_t dv, std::uint64_t n)
{
    return n * start - dv * (n * (n + 1) / 2);
}

// The deceleration ticks the exact model vouches for, advanced on v and
// steps; 0 when it vouches for none. Tick i (from 0) runs at velocity
// U(i + 1) = majrvel - (i + 1) * majrdvel and takes U(i + 1) >> 7 from D.
// Its test of the distance left against the stopping distance is not
// monotone in i: with K = fract + 2^7 D0, rem - dccDist comes to
// majrdisth + extra - floor(K' / 2^23) + e - floor(U(i) / 2^23), where K'
// >= K grows by the velocities' low bits and e is 0 or 1, so while
// U(i) >= (majrdisth + extra - floor(K / 2^23) + 2) * 2^23 the tick
// surely decelerates; past that point the ticks go one at a time. Likewise
// rem surely stays >= 0 while fract + S(i) + U(i) <= (majrdisth + extra) *
// 2^23, and below the warning once it starts below it.
std::uint64_t dcc_chunk(const VdbData* r, std::int32_t extra, bool warned, RampValues& v,
                        RampSteps& steps, std::uint64_t max_ticks)
{
    const std::uint64_t d0 = stopping_distance(v);
    const std::uint64_t u0 = v.majrvel;
    const std::uint64_t dv = r->majrdvel;
    const std::uint64_t w0 = v.minrvel;
    const std::uint64_t dn = r->minrdvel;
    if (!exact_model_holds(v, extra) || d0 >= dcc_room_signed || u0 > vel_room || w0 > vel_room ||
        v.currvel < 2) {
        return 0;
    }
    const std::uint64_t f0 = v.majrfract;
    const std::int64_t base = std::int64_t{v.majrdisth} + extra;
    const std::int64_t p = static_cast<std::int64_t>(one_count);
    // Ticks before creep (currvel must stay above 1), before the velocity
    // falls below majrdvel, before the minor velocity would wrap.
    std::uint64_t cap = std::min<std::uint64_t>(max_ticks, v.currvel - 1u);
    cap = ticks_above(cap, u0, dv, 0);
    cap = ticks_above(cap, w0, dn, 0);
    // Ticks that surely decelerate by the distance test.
    const std::int64_t k0 = static_cast<std::int64_t>(f0 + (d0 << travel_shift));
    const std::int64_t sure_above = (base - k0 / p + 2) * p;
    if (sure_above > 0) {
        if (static_cast<std::int64_t>(u0) < sure_above) {
            return 0;
        }
        // Tick i is sure while U(i) = U0 - i dv >= sure_above: U(1) ... U(cap) may
        // fall to sure_above - dv.
        cap = ticks_above(cap, u0 + dv, dv, static_cast<std::uint64_t>(sure_above));
    }
    // rem starts below the warning (or it was given) and at or above zero.
    const std::int64_t rem_smooth_limit = base * p;
    const std::int64_t warn_limit = (base + 2 - svo_long_vector_warning) * p;
    if (cap == 0 || static_cast<std::int64_t>(f0 + u0) > rem_smooth_limit ||
        (!warned && static_cast<std::int64_t>(f0 + u0) < warn_limit)) {
        return 0;
    }
    const bool corner = corner_chain_enable != 0 && r->cnrvel != 0;
    const auto counts = [&](std::uint64_t i) { return static_cast<std::int64_t>((f0 + falling_sum(u0, dv, i)) >> vel_frac); };
    const auto ok = [&](std::uint64_t i) {
        const std::uint64_t u = u0 - i * dv;
        if (static_cast<std::int64_t>(f0 + falling_sum(u0, dv, i) + u) > rem_smooth_limit) {
            return false;
        }
        if (Progression{u - dv, dv}.travel(i + 1) > d0) {
            return false;
        }
        return !corner || std::int64_t{v.majrdisth} - counts(i + 1) > 0;
    };
    std::uint64_t guess = cap;
    if (corner) {
        // First n with S(n) >= 2^23 majrdisth - fract, S(n) = n U0 - dv n (n + 1) / 2.
        const double reach = static_cast<double>(v.majrdisth) * static_cast<double>(one_count) - static_cast<double>(f0);
        const double b = static_cast<double>(u0) - static_cast<double>(dv) / 2;
        const double disc = b * b - 2 * static_cast<double>(dv) * reach;
        if (reach <= 0) {
            guess = 0;
        } else if (disc >= 0 && b > 0) {
            guess = tick_guess(2 * reach / (b + std::sqrt(disc)), cap);
        }
    }
    const std::uint64_t k = first_failing(cap, guess, ok);
    if (k == 0) {
        return 0;
    }
    const std::uint64_t uk = u0 - k * dv;
    const AxisAdvance a = advance_axis(f0, falling_sum(u0, dv, k - 1), falling_sum(u0, dv, k), std::numeric_limits<std::uint64_t>::max());
    const AxisAdvance b = advance_axis(v.minrfract, falling_sum(w0, dn, k - 1), falling_sum(w0, dn, k), minor_limit(v));
    apply_axes(v, steps, a, b);
    set_stopping_distance(v, d0 - Progression{uk, dv}.travel(k));
    v.majrvel = static_cast<std::uint32_t>(uk);
    v.minrvel = static_cast<std::uint32_t>(w0 - k * dn);
    v.currvel = static_cast<std::uint16_t>(v.currvel - k);
    return k;
}

// A quick upper bound on an acceleration run's length, or more: the ticks
// left in the ramp, and roughly the ticks until the stopping distance or
// the corner at no less than the next tick's speed.
std::uint64_t acc_run_hint(const VdbData* r, std::int32_t extra, bool doubling, const RampValues& v)
{
    std::uint64_t hint = r->acclcount > v.currvel ? r->acclcount - v.currvel : 0u;
    if (hint < ramp_short_run) {
        return hint;  // short already: the bounds below only shorten it
    }
    if (doubling && v.acc_index < doubling_index) {
        hint = std::min<std::uint64_t>(hint, static_cast<std::uint64_t>(doubling_index - v.acc_index));
    }
    const std::uint64_t speed = (std::uint64_t{v.majrvel} + r->majrdvel) >> vel_frac;
    if (speed != 0) {
        const std::int64_t gap = std::int64_t{v.majrdisth} + extra - static_cast<std::int64_t>(stopping_distance(v) >> dist_frac);
        // The distance left shrinks and the stopping distance grows by about
        // the speed each tick.
        hint = std::min<std::uint64_t>(hint, static_cast<std::uint64_t>(std::max<std::int64_t>(gap, 0)) / (2 * speed) + 1);
        if (corner_chain_enable != 0 && r->cnrvel != 0) {
            hint = std::min<std::uint64_t>(hint, static_cast<std::uint64_t>(std::max(v.majrdisth, 0)) / speed + 1);
        }
    }
    return hint;
}

// A quick upper bound on a deceleration run's length, or more: the ticks
// before creep, roughly the ticks until its velocity comes near the point
// where it could slew, and until a corner.
std::uint64_t dcc_run_hint(const VdbData* r, std::int32_t extra, const RampValues& v)
{
    std::uint64_t hint = v.currvel;
    if (hint < ramp_short_run) {
        return hint;  // short already: the bounds below only shorten it
    }
    const std::uint64_t dv = r->majrdvel;
    // Counts between the distance left and the stopping distance, which
    // may run to 48 bits below zero: scaled to velocity units only when
    // above zero, where it is under 34 bits.
    const std::int64_t gap_counts = std::int64_t{v.majrdisth} + extra - static_cast<std::int64_t>(stopping_distance(v) >> dist_frac) + 2;
    if (dv != 0 && gap_counts > 0) {
        const std::uint64_t gap = static_cast<std::uint64_t>(gap_counts) * one_count;
        hint = std::min<std::uint64_t>(hint, v.majrvel > gap ? (v.majrvel - gap) / dv + 1 : 0u);
    }
    // A corner close ahead at about the present speed.
    const std::uint64_t speed = v.majrvel >> vel_frac;
    if (corner_chain_enable != 0 && r->cnrvel != 0 && speed != 0) {
        hint = std::min<std::uint64_t>(hint, static_cast<std::uint64_t>(std::max(v.majrdisth, 0)) / speed);
    }
    return hint;
}

// Runs a ramp that is not short: in chunks the model vouches for, each
// followed by one tick through tick (the exit, which the tick's own test
// confirms, or a tick the model could not vouch for), and one tick at a
// time from a chunk that vouched for none.
template <typename Chunk, typename Tick>
RampRun run_ramp(std::uint64_t max_ticks, Chunk chunk, Tick tick)
{
    RampRun run;
    bool solve = true;
    while (run.ticks < max_ticks) {
        if (solve) {
            const std::uint64_t k = chunk(max_ticks - run.ticks);
            run.ticks += k;
            // Where the model vouches for no tick (near a deceleration's
            // point of slewing, or a register about to wrap) the ramp most
            // often ends within a few ticks: the rest goes one at a time.
            solve = k != 0;
            if (run.ticks == max_ticks) {
                break;
            }
        }
        if (!tick()) {
            break;
        }
        ++run.ticks;
        ++run.stepped;
    }
    return run;
}

// Runs a short ramp one tick at a time on copies of its values, which the
// compiler keeps in registers, and writes them back once.
template <typename Tick>
RampRun step_short_ramp(std::uint64_t max_ticks, RampValues& v, RampSteps& steps, Tick tick)
{
    RampValues w = v;
    RampSteps s = steps;
    std::uint64_t n = 0;
    while (n < max_ticks && tick(w, s)) {
        ++n;
    }
    v = w;
    steps = s;
    return {n, n};
}

} // namespace

RampRun ramp_acc_closed_form(const VdbData* r, std::int32_t extra, bool doubling, RampValues& v,
                             RampSteps& steps, std::uint64_t max_ticks, CornerTick* corner)
{
    const std::uint64_t hint = acc_run_hint(r, extra, doubling, v);
    if (hint < ramp_short_run) {
        return step_short_ramp(max_ticks, v, steps, [&](RampValues& w, RampSteps& s) {
            return svo_acc_tick(r, extra, doubling, w, s, corner);
        });
    }
    return run_ramp(
        max_ticks,
        [&](std::uint64_t n) { return acc_chunk(r, extra, doubling, v, steps, n); },
        [&] { return svo_acc_tick(r, extra, doubling, v, steps, corner); });
}

RampRun ramp_dcc_closed_form(const VdbData* r, std::int32_t extra, bool warned, RampValues& v,
                             RampSteps& steps, std::uint64_t max_ticks, CornerTick* corner)
{
    const std::uint64_t hint = dcc_run_hint(r, extra, v);
    if (hint < ramp_short_run) {
        return step_short_ramp(max_ticks, v, steps, [&](RampValues& w, RampSteps& s) {
            return svo_dcc_tick(r, extra, warned, w, s, corner);
        });
    }
    return run_ramp(
        max_ticks,
        [&](std::uint64_t n) { return dcc_chunk(r, extra, warned, v, steps, n); },
        [&] { return svo_dcc_tick(r, extra, warned, v, steps, corner); });
}
