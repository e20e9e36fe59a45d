#include "replay/corner_ramp.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <utility>

#include "replay/floor_sum.h"
#include "replay/memo_key.h"
#include "replay/memo_space.h"
#include "replay/replay_machine.h"

namespace {

constexpr std::uint64_t ramp_travel_mask = (std::uint64_t{1} << ramp_travel_shift) - 1;
constexpr std::uint64_t ramp_word = std::uint64_t{1} << 32;
// Creep speeds the exact ramp handles (others only come from odd settings).
constexpr std::int32_t ramp_max_creep = 63;
// Largest step target the exact ramp handles: the caller's are 16-bit.
constexpr std::uint32_t ramp_max_steps = 0xFFFF;
// Steps walked one at a time after the estimated exit before bisecting.
constexpr int ramp_short_walk = 8;


// A ramp in exact (unwrapped) arithmetic: step i runs at v0 + i * dv.
struct ExactRamp {
    std::uint64_t v0;
    std::uint64_t dv;
    std::uint64_t d0;

    // Speed at step n.
    std::uint64_t speed(std::uint64_t n) const { return v0 + n * dv; }

    // Sum of the speeds of steps 0 .. n-1, velocity units.
    std::uint64_t speed_sum(std::uint64_t n) const { return n * v0 + dv * (n * (n - 1) / 2); }

    // Distance the first n steps add: each step's speed shifted down. The
    // creep speed is whole counts per tick, so only dv has fraction bits:
    // the sum is the whole parts plus the carries of i * dv's fraction.
    std::uint64_t travel(std::uint64_t n) const
    {
        const std::uint64_t whole = n * (v0 >> ramp_travel_shift) +
                                    (dv >> ramp_travel_shift) * (n * (n - 1) / 2);
        const std::uint64_t frac = dv & ramp_travel_mask;
        if (frac == 0) {
            return whole;
        }
        // Fraction bits below the lowest set one never carry; dropping them
        // shrinks the modulus the carries are counted in.
        const int low = std::countr_zero(frac);
        const unsigned bits = ramp_travel_shift - static_cast<unsigned>(low);
        const std::uint64_t m = std::uint64_t{1} << bits;
        return whole + floor_sum(n, m, frac >> low, 0);
    }
};

// First step count n <= lim + 1 whose speed sum reaches y (lim + 1 when
// none up to lim). The sum is quadratic in n: solved in floating point as a
// first guess, then settled exactly.
std::uint64_t first_speed_sum(const ExactRamp& r, std::uint64_t y, std::uint64_t lim)
{
    if (r.v0 == 0 && r.dv == 0) {
        return lim + 1;
    }
    const double half_dv = static_cast<double>(r.dv) / 2;
    const double b = static_cast<double>(r.v0) - half_dv;
    const double yd = static_cast<double>(y);
    const double root = std::sqrt(b * b + 4 * half_dv * yd);
    const double guess = b > 0 ? 2 * yd / (b + root) : (root - b) / (2 * half_dv);
    std::uint64_t n = 0;
    if (guess >= static_cast<double>(lim + 1)) {
        n = lim + 1;
    } else if (guess > 0) {
        n = static_cast<std::uint64_t>(guess);
    }
    while (n > 0 && r.speed_sum(n - 1) >= y) {
        --n;
    }
    while (n <= lim && r.speed_sum(n) < y) {
        ++n;
    }
    return n;
}

// First step count n <= cap whose travel reaches x, cap + 1 when none; the
// travel there goes to *s. The travel is at most the speed sum shifted down,
// so the search starts where the speed sum reaches x; from there a few single
// steps nearly always settle it, and ramps that gain distance slowly are
// bisected.
std::uint64_t first_travel(const ExactRamp& r, std::uint64_t x, std::uint64_t cap,
                           std::uint64_t* s)
{
    std::uint64_t n = first_speed_sum(r, x << ramp_travel_shift, cap);
    if (n > cap) {
        return cap + 1;
    }
    *s = r.travel(n);
    std::uint64_t v = r.speed(n);
    for (int i = 0;; ++i) {
        if (*s >= x) {
            return n;
        }
        if (n == cap) {
            return cap + 1;
        }
        if (i == ramp_short_walk) {
            break;
        }
        *s += v >> ramp_travel_shift;
        v += r.dv;
        ++n;
    }
    std::uint64_t lo = n;  // travel below x
    std::uint64_t hi = cap + 1;
    while (hi - lo > 1) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        if (r.travel(mid) >= x) {
            hi = mid;
        } else {
            lo = mid;
        }
    }
    if (hi <= cap) {
        *s = r.travel(hi);
    }
    return hi;
}

// Step count and distance at which a ramp that starts short of its target
// stops: past h, on reaching speed len, or on reaching distance target,
// whichever comes first. The machine's registers only match the exact ramp
// while they hold its values: false when the speed would wrap by then, or
// the distance before reaching a target the register can hold.
bool corner_ramp_exit(const ExactRamp& r, std::uint32_t len, std::uint32_t target,
                      std::uint32_t h, std::uint64_t* exit, std::uint64_t* dist)
{
    std::uint64_t stop = std::uint64_t{h} + 1;
    const std::uint64_t top_speed = std::uint64_t{len} << ramp_vel_frac;
    if (r.v0 >= top_speed) {
        stop = 0;
    } else if (r.dv != 0) {
        stop = std::min(stop, (top_speed - r.v0 + r.dv - 1) / r.dv);
    }
    // Last step whose speed fits in 32 bits.
    const std::uint64_t last_speed = r.dv == 0 ? stop : (ramp_word - 1 - r.v0) / r.dv;
    const std::uint64_t cap = std::min(stop, last_speed);
    // A target beyond the distance register is never reached, however the
    // distance wraps; below it, a distance that would wrap first needs the walk.
    const std::uint64_t goal = std::uint64_t{target} << ramp_dist_frac;
    if (goal < ramp_word) {
        std::uint64_t s = 0;
        const std::uint64_t n = first_travel(r, goal - r.d0, cap, &s);
        if (n <= cap) {
            *exit = n;
            *dist = r.d0 + s;
            return *dist < ramp_word;
        }
    }
    *exit = stop;
    *dist = r.d0 + r.travel(stop);
    return cap == stop;
}

// The inputs of a corner ramp but its target, in its key: len, psuedodist,
// majrdvel and the creep speed.
using RampKey = MemoKey<2>;

// The key of a corner ramp's inputs but its target.
inline RampKey ramp_key(std::uint32_t len, std::uint32_t psuedodist, std::uint32_t majrdvel,
                        std::int32_t creep_velocity)
{
    return pack_key(len, psuedodist, majrdvel, creep_velocity);
}

// A corner ramp already solved: its inputs but the target h, and its steps
// and distance. A ramp its target did not stop gives the same steps and
// distance for every target from its steps up: the run checks the target
// once per step. So one entry serves all such targets, and the chords of a
// curve, whose corners ask the same ramp with targets that differ by a few
// steps, share it.
struct SolvedRamp {
    RampKey key;
    std::uint32_t steps;        // also the least target steps and dist hold for
    std::uint32_t past_most_h;  // one past the most such target (0: empty)
    std::uint32_t dist;

    // True when the entry holds the ramp of these inputs and target.
    bool holds(const RampKey& k, std::uint32_t h) const
    {
        return same_key(key, k) && steps <= h && h < past_most_h;
    }
};
// Chords of curves repeat the same few ramps, joint after joint and curve
// after curve: the ramps solved lately, two slots per hash of the inputs,
// the one used last first, so that two ramps of one hash that alternate do
// not evict each other. A job of curves or text meets hundreds of distinct
// ramps; the table takes 256 KB of the memo block, for jobs of many more.
// The table is a memo of a pure function, not machine state: no
// reset touches it, since a ramp taken from it is the ramp solved anew.
constexpr unsigned solved_ramp_set_bits = 12;

struct SolvedRampSet {
    SolvedRamp slot[2];
};
static_assert((sizeof(SolvedRampSet) << solved_ramp_set_bits) <= corner_ramp_memo_bytes);
// 128 sets (8 KB) until 512 ramps were solved anew.
using SolvedRamps = MemoTable<SolvedRampSet, 7, solved_ramp_set_bits, 0, 512>;

} // namespace

// A machine's table of solved ramps.
struct ReplayMachine::CornerRampMemo {
    SolvedRamps solved;
};

// Made empty with the machine.
MemoState<ReplayMachine::CornerRampMemo> ReplayMachine::new_corner_ramp_memo(MemoIndex& index)
{
    return new_memo_state<CornerRampMemo, &CornerRampMemo::solved>(index);
}

// The ramp solved in closed form; walked step by step where its registers
// would wrap, or for creep speeds and targets outside the machine's range.
void corner_ramp_steps(std::uint32_t len, std::uint32_t psuedodist, std::uint32_t h,
                       std::uint32_t majrdvel, std::int32_t creep_velocity, std::uint32_t* steps,
                       std::uint32_t* dist)
{
    const std::uint32_t target = len + psuedodist;
    const std::uint32_t creep = static_cast<std::uint32_t>(creep_velocity);
    if (creep_velocity < 0 || creep_velocity > ramp_max_creep || h > ramp_max_steps) {
        walk_corner_ramp(len, target, h, majrdvel, creep, steps, dist);
        return;
    }
    const ExactRamp r{std::uint64_t{creep} << ramp_vel_frac, majrdvel,
                      std::uint64_t{64u - creep} << ramp_dist_frac};
    std::uint64_t k = 0;
    std::uint64_t d = r.d0;
    if ((r.d0 >> ramp_dist_frac) < target && !corner_ramp_exit(r, len, target, h, &k, &d)) {
        walk_corner_ramp(len, target, h, majrdvel, creep, steps, dist);
        return;
    }
    // Take back the step the ramp stopped on (its speed wraps below zero
    // when it never started).
    const std::uint32_t back = static_cast<std::uint32_t>(r.speed(k)) - majrdvel;
    *steps = k > 0 ? static_cast<std::uint32_t>(k - 1) : 0u;
    *dist = static_cast<std::uint32_t>(d) - (back >> ramp_travel_shift);
}

namespace {

// Solves a ramp the table does not hold into the set's first slot, the
// ramp there moving to the second; kept out of line, so that the lookup
// that nearly always finds its ramp saves no registers.
[[gnu::noinline]] void solve_into_set(SolvedRamp* set, RampKey key, std::uint32_t h,
                                      std::uint32_t* steps, std::uint32_t* dist)
{
    const auto [len, psuedodist, majrdvel, creep_velocity] =
        unpack_key<std::uint32_t, std::uint32_t, std::uint32_t, std::int32_t>(key);
    set[1] = set[0];
    SolvedRamp& slot = set[0];
    corner_ramp_steps(len, psuedodist, h, majrdvel, creep_velocity, &slot.steps, &slot.dist);
    slot.key = key;
    // The run stopped on step steps + 1, on its target, speed or distance;
    // a target of steps stops it on that same step, the least target the
    // answer holds for. Steps below the target: speed or distance stopped
    // it, so every target from steps up gives the same. Steps at the target:
    // the target may have stopped it; no higher.
    slot.past_most_h = slot.steps < h ? ramp_max_steps + 1 : h + 1;
    *steps = slot.steps;
    *dist = slot.dist;
}

} // namespace

void ReplayMachine::corner_ramp_solved(std::uint32_t len, std::uint32_t psuedodist,
                                       std::uint32_t h, std::uint32_t majrdvel,
                                       std::int32_t creep_velocity, std::uint32_t* steps,
                                       std::uint32_t* dist)
{
    if (h > ramp_max_steps) {
        corner_ramp_steps(len, psuedodist, h, majrdvel, creep_velocity, steps, dist);
        return;
    }
    const RampKey key = ramp_key(len, psuedodist, majrdvel, creep_velocity);
    SolvedRamp* set = SolvedRamps::set_of_hash(solved_ramps_index, key_hash(key)).slot;
    if (set[0].holds(key, h)) {
        *steps = set[0].steps;
        *dist = set[0].dist;
        return;
    }
    if (!set[1].holds(key, h)) {
        solve_into_set(set, key, h, steps, dist);
        SolvedRamps::took_entry(solved_ramps_index, memo_block);
        return;
    }
    std::swap(set[0], set[1]);
    *steps = set[0].steps;
    *dist = set[0].dist;
}
