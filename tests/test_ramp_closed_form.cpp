// Acceleration and deceleration ramps in closed form against the literal
// walk (the per-tick ramp code, tick after tick), over random records drawn
// to leave the ramp by every exit and to run into every register limit.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "fwShare/machine.h"
#include "fwShare/servo/servo_state.h"
#include "replay/ramp_closed_form.h"

namespace {

enum Exit {
    MaxTicks, Count, Doubling, Stopping, Corner, Slews, Warns, Negative, Creeps, Slow, ExitKinds
};

// A number of up to 'bits' bits with its length spread evenly.
std::uint64_t any_size(std::mt19937_64& rng, int bits)
{
    const int b = static_cast<int>(rng() % static_cast<std::uint64_t>(bits + 1));
    return b == 0 ? 0u : rng() >> (64 - b);
}

// One drawn ramp: the record's constants, its moving values and the run's flags.
struct Case {
    VdbData rec{};
    RampValues v{};
    std::int32_t extra = 0;
    bool flag = false;
    std::uint64_t max_ticks = 0;
    bool corner_on = false;
};

bool same_values(const RampValues& a, const RampValues& b)
{
    return a.majrvel == b.majrvel && a.minrvel == b.minrvel && a.majrfract == b.majrfract &&
           a.minrfract == b.minrfract && a.majrdisth == b.majrdisth && a.minrdisth == b.minrdisth &&
           a.ddr == b.ddr && a.high_ddr == b.high_ddr && a.currvel == b.currvel &&
           a.acc_index == b.acc_index;
}

bool same_steps(const RampSteps& a, const RampSteps& b)
{
    return a.major_sum == b.major_sum && a.minor_sum == b.minor_sum &&
           a.last_major == b.last_major && a.last_minor == b.last_minor;
}

// Why a walk stopped where it did, from the values of the tick it did not take.
Exit acc_exit(const Case& c, const RampValues& v, std::uint64_t k)
{
    if (k == c.max_ticks) {
        return MaxTicks;
    }
    if (v.currvel + 1u > c.rec.acclcount) {
        return Count;
    }
    if (c.flag && v.acc_index >= 20) {
        return Doubling;
    }
    const std::uint64_t d = (std::uint64_t{v.high_ddr} << 32 | v.ddr) + (v.majrvel >> 7);
    const std::uint32_t rem = static_cast<std::uint32_t>(v.majrdisth + std::int64_t{c.extra}) -
                              ((v.majrvel + c.rec.majrdvel) >> 23);
    return rem < static_cast<std::uint32_t>(d >> 16) ? Stopping : Corner;
}

Exit dcc_exit(const Case& c, const RampValues& v, std::uint64_t k)
{
    if (k == c.max_ticks) {
        return MaxTicks;
    }
    const auto rem = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(v.majrdisth + std::int64_t{c.extra}) - (v.majrvel >> 23));
    const auto dcc = static_cast<std::int32_t>((std::uint64_t{v.high_ddr} << 32 | v.ddr) >> 16);
    if (rem > 0x1000000 && !c.flag) {
        return Warns;
    }
    if (rem < 0) {
        return Negative;
    }
    if (rem >= dcc) {
        return Slews;
    }
    if (v.currvel <= 1) {
        return Creeps;
    }
    return c.rec.majrdvel > v.majrvel ? Slow : Corner;
}

// What a batch of ramps went through.
struct Coverage {
    int exits[ExitKinds] = {};
    int stepped = 0;  // runs in which the closed form handed ticks to the per-tick code
    int solved = 0;   // runs with ticks advanced in closed form
    int long_runs = 0;
};

// Runs one ramp both ways on machine m; true when they agree.
template <bool accelerating>
bool same_ramp(Machine& m, const Case& c, Coverage* cov)
{
    m.corner_chain_enable = c.corner_on ? 1 : 0;
    RampValues walked = c.v;
    RampSteps walked_steps;
    std::uint64_t k = 0;
    while (k < c.max_ticks &&
           (accelerating ? svo_acc_tick(m, &c.rec, c.extra, c.flag, walked, walked_steps)
                         : svo_dcc_tick(m, &c.rec, c.extra, c.flag, walked, walked_steps))) {
        ++k;
    }
    RampValues v = c.v;
    RampSteps steps;
    const RampRun run =
        accelerating ? ramp_acc_closed_form(m, &c.rec, c.extra, c.flag, v, steps, c.max_ticks)
                     : ramp_dcc_closed_form(m, &c.rec, c.extra, c.flag, v, steps, c.max_ticks);
    ++cov->exits[accelerating ? acc_exit(c, walked, k) : dcc_exit(c, walked, k)];
    cov->stepped += run.stepped != 0;
    cov->solved += run.ticks > run.stepped;
    cov->long_runs += k >= 100;
    const bool same = run.ticks == k && same_values(v, walked) && same_steps(steps, walked_steps);
    EXPECT_TRUE(same) << (accelerating ? "acceleration" : "deceleration") << ": majrvel "
                      << c.v.majrvel << " majrdvel " << c.rec.majrdvel << " majrdisth "
                      << c.v.majrdisth << " extra " << c.extra << " D " << c.v.high_ddr << ":"
                      << c.v.ddr << " currvel " << c.v.currvel << " acclcount " << c.rec.acclcount
                      << " acc_index " << c.v.acc_index << ": ticks " << run.ticks << ", walk "
                      << k;
    return same;
}

// A record part way up or down a ramp: velocities on the progression from
// a creep speed, the stopping distance its ramp so far gave it, and a
// distance left near that stopping distance; now and then a value drawn
// from anywhere in its register.
Case draw_case(std::mt19937_64& rng, bool accelerating)
{
    Case c;
    VdbData& r = c.rec;
    RampValues& v = c.v;
    const bool wild = rng() % 16 == 0;
    r.majrdvel = static_cast<std::uint32_t>(1 + rng() % 20000) << 9;
    if (wild || rng() % 8 == 0) {
        r.majrdvel = static_cast<std::uint32_t>(any_size(rng, 32));
    }
    r.minrdvel = static_cast<std::uint32_t>(r.majrdvel * (rng() % 1000) / 1000);
    r.acclcount = static_cast<std::uint16_t>(accelerating ? any_size(rng, 10) : 0xFFFF);
    v.currvel = static_cast<std::uint16_t>(any_size(rng, accelerating ? 9 : 10));
    const std::uint64_t creep = 1 + rng() % 4;
    std::uint64_t vel = (creep << 23) + std::uint64_t{v.currvel} * r.majrdvel;
    std::uint64_t d = (64 - creep) << 16;
    const std::uint64_t steps = v.currvel;
    d += (steps * (creep << 23) + r.majrdvel * (steps * (steps - 1) / 2)) >> 7;
    if (wild) {
        vel = any_size(rng, 32);
        d = any_size(rng, 64);
    }
    v.majrvel = static_cast<std::uint32_t>(std::min<std::uint64_t>(vel, 0xFFFFFFFFu));
    v.minrvel = static_cast<std::uint32_t>(v.majrvel * (rng() % 1000) / 1000);
    v.high_ddr = static_cast<std::uint32_t>(d >> 32);
    v.ddr = static_cast<std::uint32_t>(d);
    v.majrfract = static_cast<std::uint32_t>(rng() & (wild ? 0xFFFFFFFFu : 0x7FFFFFu));
    v.minrfract = static_cast<std::uint32_t>(rng() & 0x7FFFFFu);
    c.corner_on = rng() % 2 == 0;
    r.cnrvel = static_cast<std::uint16_t>(rng() % 2);
    c.extra = static_cast<std::int32_t>(rng() % 3 == 0 ? any_size(rng, wild ? 31 : 12) : 0);
    const std::int64_t dcc = static_cast<std::int64_t>(d >> 16) + (v.majrvel >> 23);
    const std::int64_t ahead = accelerating ? static_cast<std::int64_t>(any_size(rng, 16)) - 64
                                            : static_cast<std::int64_t>(rng() % 40) - 30;
    std::int64_t left = dcc + ahead - c.extra;
    if (wild || rng() % 32 == 0) {
        left = static_cast<std::int32_t>(rng());
    }
    v.majrdisth = static_cast<std::int32_t>(left);
    v.minrdisth = static_cast<std::int32_t>(static_cast<std::int64_t>(any_size(rng, 12)) - 3);
    v.acc_index = static_cast<std::int32_t>(rng() % 22);
    c.flag = rng() % 2 == 0;
    c.max_ticks = rng() % 4 == 0 ? 1 + rng() % 64 : std::uint64_t{1} << 40;
    return c;
}

template <bool accelerating>
Coverage check_ramps(std::uint64_t seed, int count)
{
    std::mt19937_64 rng(seed);
    Coverage cov;
    int bad = 0;
    Machine m;
    for (int i = 0; i < count && bad < 10; ++i) {
        bad += !same_ramp<accelerating>(m, draw_case(rng, accelerating), &cov);
    }
    return cov;
}

} // namespace

TEST(RampClosedForm, AccelerationMatchesTheWalkThroughEveryExit)
{
    const Coverage cov = check_ramps<true>(0x5eed0025, 1000000);
    for (const Exit e : {MaxTicks, Count, Doubling, Stopping, Corner}) {
        EXPECT_GT(cov.exits[e], 0) << "exit " << e;
    }
    EXPECT_GT(cov.stepped, 0);
    EXPECT_GT(cov.solved, 10000);
    EXPECT_GT(cov.long_runs, 1000);
}

TEST(RampClosedForm, DecelerationMatchesTheWalkThroughEveryExit)
{
    const Coverage cov = check_ramps<false>(0x5eed0026, 1000000);
    for (const Exit e : {MaxTicks, Slews, Warns, Negative, Creeps, Slow, Corner}) {
        EXPECT_GT(cov.exits[e], 0) << "exit " << e;
    }
    EXPECT_GT(cov.stepped, 0);
    EXPECT_GT(cov.solved, 10000);
    EXPECT_GT(cov.long_runs, 1000);
}
