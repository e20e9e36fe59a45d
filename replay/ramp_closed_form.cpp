// Ramps in closed form: why a run of ramp ticks can be taken in one step.
//
// A ramp starts from the record's values: the major velocity V0 (majrvel),
// its change per tick dv (majrdvel), the major fraction f0 (majrfract, below
// p = 2^23, one count in velocity units), the stopping distance D0
// (high_ddr:ddr, 16 fraction bits) and the distance base = majrdisth +
// extra (counts; extra is the corner distance carried past the end). In
// exact arithmetic, with S(i) the sum of the velocities the first i ticks
// run at, the major axis has moved M(i) = floor((f0 + S(i)) / p) counts
// before tick i, and the fraction it carries is (f0 + S(i)) mod p.
//
// Acceleration. Tick i (from 0) adds floor(V(i) / 2^7) to D and runs at
// V(i + 1) = V0 + (i + 1) dv:
//   D(i + 1) = D0 + floor(V(0) / 2^7) + ... + floor(V(i) / 2^7)
//   rem(i)   = base - M(i) - floor(V(i + 1) / p)
// It stays on the ramp while
//   (A1)  rem(i) >= floor(D(i + 1) / 2^16).
// The model is exact while the velocities stay at most 2^32 - p (a
// velocity plus a fraction below p never wraps) and D below 2^48 (its
// whole counts fit dccDist's 32 bits): rem(i) then lies in [0, 2^32) for
// every tick (A1) takes, where the machine's unsigned 32-bit test is (A1).
// rem falls and D grows with i, so (A1) holds up to some tick and fails
// from there on, and a search finds that tick. Without the floors, (A1)
// is quadratic in i:
//   dv i^2 + 2 (V0 + dv) i + 2 V0 + dv + f0 <= p base - 2^7 D0,
// whose root is where the search starts.
//
// Corners. With corners chained and a corner speed, a tick that leaves
// the major distance at or below zero takes the corner into the next
// record, which only the handler does; a ramp run takes tick i while
//   (C)   majrdisth - M(i + 1) > 0,  smooth: S(i + 1) < p majrdisth - f0.
//
// Deceleration. Tick i (from 0) compares at the velocity U(i) = U0 - i dv
// before it, then runs at U(i + 1) and takes floor(U(i + 1) / 2^7) from D:
//   D(i)   = D0 - floor(U(1) / 2^7) - ... - floor(U(i) / 2^7)
//   rem(i) = base - M(i) - floor(U(i) / p)
// and decelerates while rem(i) < floor(D(i) / 2^16), 0 <= rem(i), and
// rem(i) <= 2^24 unless the long-vector warning was given. The first test
// is not monotone in i. With K(i) = f0 + S(i) + 2^7 D(i), which is f0 +
// 2^7 D0 plus the low 7 bits of U(1) ... U(i), so at least K = f0 + 2^7 D0,
// the floors of M(i) and of D(i) / 2^16 add up to floor(K(i) / p) - e,
// e 0 or 1, and
//   rem(i) - floor(D(i) / 2^16) = base - floor(K(i) / p) + e - floor(U(i) / p)
//                               <= base - floor(K / p) + 1 - floor(U(i) / p),
// so the tick surely decelerates while
//   (D1)  U(i) >= (base - floor(K / p) + 2) p;
// below that speed the ticks go one at a time. Since floor(a) + floor(b)
// <= a + b <= floor(a) + floor(b) + 2,
//   (D2)  f0 + S(i) + U(i) <= p base                 gives rem(i) >= 0,
// and since S(i) + U(i) - U0 = U(2) + ... + U(i + 1) >= 0,
//   (D3)  f0 + U0 >= p (base + 2 - 2^24)             gives rem(i) < 2^24
// for every tick once it holds for the first. D must not fall below zero
// (its two words would borrow) over the ticks taken:
//   (D4)  floor(U(1) / 2^7) + ... + floor(U(i + 1) / 2^7) <= D0.
// (D2), (D4) and (C) hold up to some tick and fail from there on: a search
// finds it, within the ticks that (D1), (D3), the tick count before creep
// and the velocities' room vouch for.
#include "replay/ramp_closed_form.h"
#include "replay/floor_sum.h"
#include "replay/monotone_search.h"

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
inline std::uint64_t ticks_above(std::uint64_t cap, std::uint64_t start, std::uint64_t dv,
                                 std::uint64_t least)
{
    if (start < least) {
        return 0;
    }
    return start - least >= cap * dv ? cap : std::min(cap, (start - least) / dv);
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

// No limit on an axis's counts: the major axis's.
constexpr std::uint64_t no_limit = std::numeric_limits<std::uint64_t>::max();

AxisAdvance advance_axis(std::uint64_t fract, std::uint64_t sum_before, std::uint64_t sum,
                         std::uint64_t limit)
{
    const std::uint64_t total = fract + sum;
    const std::uint64_t counts = std::min(total >> vel_frac, limit);
    const std::uint64_t counts_before = std::min((fract + sum_before) >> vel_frac, limit);
    return {counts, static_cast<std::int32_t>(counts - counts_before),
            static_cast<std::uint32_t>(total & (one_count - 1))};
}

// A distance register less counts, wrapping in 32 bits as the register does.
inline std::int32_t less_counts(std::int32_t distance, std::uint64_t counts)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(distance) -
                                     static_cast<std::uint32_t>(counts));
}

// Moves the distances and fractions by the axes' advances and records
// their steps.
void apply_axes(RampValues& v, RampSteps& steps, const AxisAdvance& a, const AxisAdvance& b)
{
    v.majrfract = a.fract;
    v.minrfract = b.fract;
    v.majrdisth = less_counts(v.majrdisth, a.counts);
    v.minrdisth = less_counts(v.minrdisth, b.counts);
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

// (C): a tick after which the major axis has moved moved counts stays short
// of the corner (or no corner is taken where the distance ends).
inline bool short_of_corner(bool corner, std::int32_t majrdisth, std::int64_t moved)
{
    return !corner || std::int64_t{majrdisth} - moved > 0;
}

// The smooth form of (C): the sum of velocities p majrdisth - f0 at which
// the major distance runs out.
inline double corner_reach(std::int32_t majrdisth, std::uint64_t f0)
{
    return static_cast<double>(majrdisth) * static_cast<double>(one_count) -
           static_cast<double>(f0);
}

// Whether the record takes a corner where its distance ends.
inline bool corner_ahead(const Machine& m, const VdbData* r)
{
    return m.corner_chain_enable != 0 && r->cnrvel != 0;
}

// The ticks a ramp may take at most before it leaves the exact model: the
// velocities of both axes stay within their room.
inline std::uint64_t ticks_in_room(std::uint64_t cap, const VdbData* r, const RampValues& v)
{
    cap = ticks_within_room(cap, v.majrvel, r->majrdvel);
    return ticks_within_room(cap, v.minrvel, r->minrdvel);
}

// An acceleration ramp from the values v of record r, as the top of the
// file models it.
struct AccRamp {
    Progression added;  // V(0), V(1), ...: what each tick adds to D
    Progression runs;   // V(1), V(2), ...: the velocity each tick runs at
    std::uint64_t f0;
    std::uint64_t d0;
    std::int64_t base;
    std::int32_t majrdisth;
    bool corner;

    // M(i).
    std::int64_t moved(std::uint64_t i) const
    {
        return static_cast<std::int64_t>((f0 + runs.sum(i)) >> vel_frac);
    }

    // (A1), with D(i + 1) within dccDist's room.
    bool stays_on_ramp(std::uint64_t i) const
    {
        const std::uint64_t d = d0 + added.travel(i + 1);
        const std::int64_t speed = static_cast<std::int64_t>((runs.lo + i * runs.dv) >> vel_frac);
        const std::int64_t rem = base - moved(i) - speed;
        return d < dcc_room_unsigned && rem >= static_cast<std::int64_t>(d >> dist_frac);
    }

    // Whether a ramp run takes tick i.
    bool takes(std::uint64_t i) const
    {
        return stays_on_ramp(i) && short_of_corner(corner, majrdisth, moved(i + 1));
    }

    // Where the smooth forms of (A1) and (C) fail first, within cap.
    std::uint64_t exit_guess(std::uint64_t cap) const
    {
        const double dv = static_cast<double>(added.dv);
        const double v0 = static_cast<double>(added.lo);
        const double f = static_cast<double>(f0);
        const double budget = static_cast<double>(base) * static_cast<double>(one_count) -
                              128.0 * static_cast<double>(d0) - 2 * v0 - dv - f;
        std::uint64_t guess =
            tick_guess(budget < 0 ? 0 : quadratic_reach(dv, 2 * (v0 + dv), budget) + 1, cap);
        if (corner) {
            const double reach = corner_reach(majrdisth, f0);
            guess = std::min(guess, tick_guess(quadratic_reach(dv / 2, v0 + dv / 2, reach), cap));
        }
        return guess;
    }
};

// The acceleration ticks of record r from v before the ramp's count runs
// out or, when it may double, before the doubling tick.
inline std::uint64_t acc_ticks_before_exit(const VdbData* r, bool doubling, const RampValues& v,
                                           std::uint64_t max_ticks)
{
    const std::uint64_t count_left = r->acclcount > v.currvel ? r->acclcount - v.currvel : 0u;
    std::uint64_t cap = std::min(max_ticks, count_left);
    if (doubling) {
        const std::int64_t left = doubling_index - v.acc_index;
        cap = std::min<std::uint64_t>(cap, left > 0 ? static_cast<std::uint64_t>(left) : 0u);
    }
    return cap;
}

// The acceleration ticks the exact model vouches for, advanced on v and
// steps; 0 when it vouches for none.
std::uint64_t acc_chunk(const Machine& m, const VdbData* r, std::int32_t extra, bool doubling,
                        RampValues& v, RampSteps& steps, std::uint64_t max_ticks)
{
    const std::uint64_t d0 = stopping_distance(v);
    if (!exact_model_holds(v, extra) || d0 >= dcc_room_unsigned) {
        return 0;
    }
    const std::uint64_t cap = ticks_in_room(acc_ticks_before_exit(r, doubling, v, max_ticks), r, v);
    if (cap == 0) {
        return 0;
    }
    const AccRamp ramp{{v.majrvel, r->majrdvel},
                       {v.majrvel + r->majrdvel, r->majrdvel},
                       v.majrfract,
                       d0,
                       std::int64_t{v.majrdisth} + extra,
                       v.majrdisth,
                       corner_ahead(m, r)};
    const std::uint64_t k =
        first_failing(cap, ramp.exit_guess(cap), [&](std::uint64_t i) { return ramp.takes(i); });
    if (k == 0) {
        return 0;
    }
    const Progression minor{std::uint64_t{v.minrvel} + r->minrdvel, r->minrdvel};
    const AxisAdvance a =
        advance_axis(v.majrfract, ramp.runs.sum(k - 1), ramp.runs.sum(k), no_limit);
    const AxisAdvance b =
        advance_axis(v.minrfract, minor.sum(k - 1), minor.sum(k), minor_limit(v));
    apply_axes(v, steps, a, b);
    set_stopping_distance(v, d0 + ramp.added.travel(k));
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

// A deceleration ramp from the values v of record r, as the top of the
// file models it.
struct DccRamp {
    std::uint64_t u0;
    std::uint64_t dv;
    std::uint64_t f0;
    std::uint64_t d0;
    std::int64_t base;
    std::int32_t majrdisth;
    bool corner;

    // S(i).
    std::uint64_t sum(std::uint64_t i) const { return falling_sum(u0, dv, i); }

    // M(i).
    std::int64_t moved(std::uint64_t i) const
    {
        return static_cast<std::int64_t>((f0 + sum(i)) >> vel_frac);
    }

    // The least U(i) at which (D1) holds (none below zero: every tick).
    std::int64_t sure_speed() const
    {
        const std::int64_t p = static_cast<std::int64_t>(one_count);
        const std::int64_t k = static_cast<std::int64_t>(f0 + (d0 << travel_shift));
        return (base - k / p + 2) * p;
    }

    // (D2).
    bool distance_left_stays_positive(std::uint64_t i) const
    {
        const std::uint64_t u = u0 - i * dv;
        return static_cast<std::int64_t>(f0 + sum(i) + u) <=
               base * static_cast<std::int64_t>(one_count);
    }

    // (D3), or the warning was given.
    bool warning_stays_off(bool warned) const
    {
        const std::int64_t warn_limit =
            (base + 2 - svo_long_vector_warning) * static_cast<std::int64_t>(one_count);
        return warned || static_cast<std::int64_t>(f0 + u0) >= warn_limit;
    }

    // (D4).
    bool stopping_distance_stays_positive(std::uint64_t i) const
    {
        return Progression{u0 - i * dv - dv, dv}.travel(i + 1) <= d0;
    }

    // Whether a ramp run takes tick i (among those (D1) vouches for).
    bool takes(std::uint64_t i) const
    {
        return distance_left_stays_positive(i) && stopping_distance_stays_positive(i) &&
               short_of_corner(corner, majrdisth, moved(i + 1));
    }

    // Where the smooth form of (C) fails first, within cap: S(n) = n U0 -
    // dv n (n + 1) / 2 reaches p majrdisth - f0.
    std::uint64_t exit_guess(std::uint64_t cap) const
    {
        if (!corner) {
            return cap;
        }
        const double reach = corner_reach(majrdisth, f0);
        const double b = static_cast<double>(u0) - static_cast<double>(dv) / 2;
        const double disc = b * b - 2 * static_cast<double>(dv) * reach;
        if (reach <= 0) {
            return 0;
        }
        if (disc >= 0 && b > 0) {
            return tick_guess(2 * reach / (b + std::sqrt(disc)), cap);
        }
        return cap;
    }
};

// The deceleration ticks the exact model vouches for, advanced on v and
// steps; 0 when it vouches for none.
std::uint64_t dcc_chunk(const Machine& m, const VdbData* r, std::int32_t extra, bool warned,
                        RampValues& v, RampSteps& steps, std::uint64_t max_ticks)
{
    const DccRamp ramp{v.majrvel,
                       r->majrdvel,
                       v.majrfract,
                       stopping_distance(v),
                       std::int64_t{v.majrdisth} + extra,
                       v.majrdisth,
                       corner_ahead(m, r)};
    const std::uint64_t w0 = v.minrvel;
    const std::uint64_t dn = r->minrdvel;
    if (!exact_model_holds(v, extra) || ramp.d0 >= dcc_room_signed || ramp.u0 > vel_room ||
        w0 > vel_room || v.currvel < 2) {
        return 0;
    }
    // Ticks before creep (currvel must stay above 1), before the velocity
    // falls below majrdvel, before the minor velocity would wrap.
    std::uint64_t cap = std::min<std::uint64_t>(max_ticks, v.currvel - 1u);
    cap = ticks_above(cap, ramp.u0, ramp.dv, 0);
    cap = ticks_above(cap, w0, dn, 0);
    const std::int64_t sure = ramp.sure_speed();
    if (sure > 0) {
        if (static_cast<std::int64_t>(ramp.u0) < sure) {
            return 0;
        }
        // (D1) for U(1) ... U(cap), which may fall to sure - dv.
        cap = ticks_above(cap, ramp.u0 + ramp.dv, ramp.dv, static_cast<std::uint64_t>(sure));
    }
    if (cap == 0 || !ramp.distance_left_stays_positive(0) || !ramp.warning_stays_off(warned)) {
        return 0;
    }
    const std::uint64_t k =
        first_failing(cap, ramp.exit_guess(cap), [&](std::uint64_t i) { return ramp.takes(i); });
    if (k == 0) {
        return 0;
    }
    const std::uint64_t uk = ramp.u0 - k * ramp.dv;
    const AxisAdvance a = advance_axis(ramp.f0, ramp.sum(k - 1), ramp.sum(k), no_limit);
    const AxisAdvance b = advance_axis(v.minrfract, falling_sum(w0, dn, k - 1),
                                       falling_sum(w0, dn, k), minor_limit(v));
    apply_axes(v, steps, a, b);
    set_stopping_distance(v, ramp.d0 - Progression{uk, ramp.dv}.travel(k));
    v.majrvel = static_cast<std::uint32_t>(uk);
    v.minrvel = static_cast<std::uint32_t>(w0 - k * dn);
    v.currvel = static_cast<std::uint16_t>(v.currvel - k);
    return k;
}

// Counts between the distance left and the stopping distance: what a
// ramp has before it must decelerate; may run to 48 bits below zero.
inline std::int64_t counts_before_stopping(std::int32_t extra, const RampValues& v)
{
    return std::int64_t{v.majrdisth} + extra -
           static_cast<std::int64_t>(stopping_distance(v) >> dist_frac);
}

// The ticks at speed counts per tick before the major distance runs out.
inline std::uint64_t ticks_to_distance_end(const RampValues& v, std::uint64_t speed)
{
    return static_cast<std::uint64_t>(std::max(v.majrdisth, 0)) / speed;
}

// A quick upper bound on an acceleration run's length, or more: the ticks
// left in the ramp, and roughly the ticks until the stopping distance or
// the corner at no less than the next tick's speed.
std::uint64_t acc_run_hint(const Machine& m, const VdbData* r, std::int32_t extra,
                           bool doubling, const RampValues& v)
{
    std::uint64_t hint = r->acclcount > v.currvel ? r->acclcount - v.currvel : 0u;
    if (hint < ramp_short_run) {
        return hint;  // short already: the bounds below only shorten it
    }
    if (doubling && v.acc_index < doubling_index) {
        hint = std::min(hint, static_cast<std::uint64_t>(doubling_index - v.acc_index));
    }
    const std::uint64_t speed = (std::uint64_t{v.majrvel} + r->majrdvel) >> vel_frac;
    if (speed != 0) {
        // The distance left shrinks and the stopping distance grows by about
        // the speed each tick.
        const std::int64_t gap = std::max<std::int64_t>(counts_before_stopping(extra, v), 0);
        hint = std::min(hint, static_cast<std::uint64_t>(gap) / (2 * speed) + 1);
        if (corner_ahead(m, r)) {
            hint = std::min(hint, ticks_to_distance_end(v, speed) + 1);
        }
    }
    return hint;
}

// A quick upper bound on a deceleration run's length, or more: the ticks
// before creep, roughly the ticks until its velocity comes near the point
// where it could slew, and until a corner.
std::uint64_t dcc_run_hint(const Machine& m, const VdbData* r, std::int32_t extra,
                           const RampValues& v)
{
    std::uint64_t hint = v.currvel;
    if (hint < ramp_short_run) {
        return hint;  // short already: the bounds below only shorten it
    }
    const std::uint64_t dv = r->majrdvel;
    // The counts before stopping, scaled to velocity units only when above
    // zero, where they are under 34 bits.
    const std::int64_t gap_counts = counts_before_stopping(extra, v) + 2;
    if (dv != 0 && gap_counts > 0) {
        const std::uint64_t gap = static_cast<std::uint64_t>(gap_counts) * one_count;
        hint = std::min<std::uint64_t>(hint, v.majrvel > gap ? (v.majrvel - gap) / dv + 1 : 0u);
    }
    // A corner close ahead at about the present speed.
    const std::uint64_t speed = v.majrvel >> vel_frac;
    if (corner_ahead(m, r) && speed != 0) {
        hint = std::min(hint, ticks_to_distance_end(v, speed));
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

// Runs a ramp of tick (on values and steps) and chunk (on values, steps
// and the most ticks it may take): a short one by hint one tick at a time,
// a longer one in chunks.
template <typename Chunk, typename Tick>
RampRun run_closed_form(std::uint64_t hint, std::uint64_t max_ticks, RampValues& v,
                        RampSteps& steps, Chunk chunk, Tick tick)
{
    if (hint < ramp_short_run) {
        return step_short_ramp(max_ticks, v, steps, tick);
    }
    return run_ramp(
        max_ticks, [&](std::uint64_t n) { return chunk(v, steps, n); },
        [&] { return tick(v, steps); });
}

} // namespace

RampRun ramp_acc_closed_form(const Machine& m, const VdbData* r, std::int32_t extra, bool doubling,
                             RampValues& v, RampSteps& steps, std::uint64_t max_ticks,
                             CornerTick* corner)
{
    return run_closed_form(
        acc_run_hint(m, r, extra, doubling, v), max_ticks, v, steps,
        [&](RampValues& w, RampSteps& s, std::uint64_t n) {
            return acc_chunk(m, r, extra, doubling, w, s, n);
        },
        [&](RampValues& w, RampSteps& s) {
            return svo_acc_tick(m, r, extra, doubling, w, s, corner);
        });
}

RampRun ramp_dcc_closed_form(const Machine& m, const VdbData* r, std::int32_t extra, bool warned,
                             RampValues& v, RampSteps& steps, std::uint64_t max_ticks,
                             CornerTick* corner)
{
    return run_closed_form(
        dcc_run_hint(m, r, extra, v), max_ticks, v, steps,
        [&](RampValues& w, RampSteps& s, std::uint64_t n) {
            return dcc_chunk(m, r, extra, warned, w, s, n);
        },
        [&](RampValues& w, RampSteps& s) {
            return svo_dcc_tick(m, r, extra, warned, w, s, corner);
        });
}
