#include "replay/ramp_closed_form.h"

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
// Acceleration ticks before the doubling tick, counted by acc_index.
constexpr std::int64_t doubling_index = 20;

// Sum of floor((a * i + b) / m) over i = 0 .. n-1 (Euclid-like reduction).
std::uint64_t floor_sum(std::uint64_t n, std::uint64_t m, std::uint64_t a, std::uint64_t b)
{
    std::uint64_t sum = 0;
    for (;;) {
        if (a >= m) {
            sum += n * (n - 1) / 2 * (a / m);
            a %= m;
        }
        if (b >= m) {
            sum += n * (b / m);
            b %= m;
        }
        const std::uint64_t top = a * n + b;
        if (top < m) {
            return sum;
        }
        n = top / m;
        b = top % m;
        std::swap(m, a);
    }
}

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

// Ticks i = 0, 1, ... for which a velocity start + (i + 1) * dv (or
// start - (i + 1) * dv going down) stays at most vel_room.
inline std::uint64_t ticks_within_room(std::uint64_t start, std::uint64_t dv)
{
    if (start > vel_room) {
        return 0;
    }
    return dv == 0 ? std::numeric_limits<std::uint64_t>::max() : (vel_room - start) / dv;
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

// An axis over k ticks at the velocities of a progression: the counts it
// moves, clamped in total to limit (minor axis), the last tick's counts,
// and the fraction it leaves.
struct AxisAdvance {
    std::uint64_t counts;
    std::int32_t last;
    std::uint32_t fract;
};

AxisAdvance advance_axis(const Progression& vel, std::uint32_t fract, std::uint64_t k,
                         std::uint64_t limit)
{
    const std::uint64_t total = fract + vel.sum(k);
    const std::uint64_t before = fract + vel.sum(k - 1);
    const std::uint64_t counts = std::min(total >> vel_frac, limit);
    const std::uint64_t counts_before = std::min(before >> vel_frac, limit);
    return {counts, static_cast<std::int32_t>(counts - counts_before),
            static_cast<std::uint32_t>(total & (one_count - 1))};
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
    cap = std::min({cap, ticks_within_room(v.majrvel, r->majrdvel),
                    ticks_within_room(v.minrvel, r->minrdvel)});
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
    const AxisAdvance a = advance_axis(moved, v.majrfract, k, std::numeric_limits<std::uint64_t>::max());
    const Progression minor{std::uint64_t{v.minrvel} + r->minrdvel, r->minrdvel};
    const AxisAdvance b = advance_axis(minor, v.minrfract, k, static_cast<std::uint64_t>(std::int64_t{v.minrdisth} + 1));
    set_stopping_distance(v, d0 + major.travel(k));
    v.majrvel = static_cast<std::uint32_t>(v.majrvel + k * r->majrdvel);
    v.minrvel = static_cast<std::uint32_t>(v.minrvel + k * r->minrdvel);
    v.majrfract = a.fract;
    v.minrfract = b.fract;
    v.majrdisth = static_cast<std::int32_t>(static_cast<std::uint32_t>(v.majrdisth) - static_cast<std::uint32_t>(a.counts));
    v.minrdisth = static_cast<std::int32_t>(static_cast<std::uint32_t>(v.minrdisth) - static_cast<std::uint32_t>(b.counts));
    v.currvel = static_cast<std::uint16_t>(v.currvel + k);
    if (doubling) {
        v.acc_index = static_cast<std::int32_t>(v.acc_index + static_cast<std::int64_t>(k));
    }
    steps.major_sum += static_cast<std::uint32_t>(a.counts);
    steps.minor_sum += static_cast<std::uint32_t>(b.counts);
    steps.last_major = a.last;
    steps.last_minor = b.last;
    return k;
}

} // namespace

RampRun ramp_acc_closed_form(const VdbData* r, std::int32_t extra, bool doubling, RampValues& v,
                             RampSteps& steps, std::uint64_t max_ticks)
{
    RampRun run;
    while (run.ticks < max_ticks) {
        run.ticks += acc_chunk(r, extra, doubling, v, steps, max_ticks - run.ticks);
        // The tick the model could not vouch for: most often the exit,
        // which the tick's own test then confirms.
        if (run.ticks == max_ticks || !svo_acc_tick(r, extra, doubling, v, steps)) {
            break;
        }
        ++run.ticks;
        ++run.stepped;
    }
    return run;
}

RampRun ramp_dcc_closed_form(const VdbData* r, std::int32_t extra, bool warned, RampValues& v,
                             RampSteps& steps, std::uint64_t max_ticks)
{
    RampRun run;
    while (run.ticks < max_ticks && svo_dcc_tick(r, extra, warned, v, steps)) {
        ++run.ticks;
        ++run.stepped;
    }
    return run;
}
