// Corner ramp of the vector planner: the closed-form ramp against the
// machine's step-by-step ramp, over the machine's own settings and over
// every exit and register wrap the 32-bit ramp can take.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>

#include "fwShare/servo/vector_planner.h"
#include "replay/corner_ramp.h"
#include "replay/replay_machine.h"

namespace {

enum Exit { AtTarget, PastTarget, TopSpeed, Distance, ExitKinds };

// What the step-by-step ramp found, how it stopped and whether its speed or
// distance register wrapped on the way.
struct Walk {
    std::uint32_t steps = 0;
    std::uint32_t dist = 0;
    Exit exit = AtTarget;
    bool speed_wrapped = false;
    bool dist_wrapped = false;
};

// The machine's ramp: one acceleration step per pass in wrapping registers.
Walk walk_ramp(std::uint32_t len, std::uint32_t psuedodist, std::uint32_t h, std::uint32_t dv,
               std::int32_t creep)
{
    const std::uint32_t target = len + psuedodist;
    const std::uint32_t c = static_cast<std::uint32_t>(creep);
    std::uint32_t v = c << 23;
    std::uint32_t d = (64u - c) << 8;
    std::uint32_t k = 0;
    Walk w;
    if ((d >> 8) < target) {
        do {
            if (k > h) {
                w.exit = PastTarget;
                break;
            }
            if ((v >> 23) >= len) {
                w.exit = TopSpeed;
                break;
            }
            w.dist_wrapped |= d + (v >> 15) < d;
            d += v >> 15;
            ++k;
            w.speed_wrapped |= v + dv < v;
            v += dv;
            w.exit = Distance;
        } while ((d >> 8) < target);
        if (k > 0) {
            --k;
        }
    }
    v -= dv;
    d -= v >> 15;
    w.steps = k;
    w.dist = d;
    return w;
}

// Tally of the exits and wraps a batch of ramps went through.
struct Coverage {
    int exits[ExitKinds] = {};
    int speed_wraps = 0;
    int dist_wraps = 0;
};

// Runs one ramp both ways; true when they agree.
bool same_ramp(std::uint32_t len, std::uint32_t pd, std::uint32_t h, std::uint32_t dv,
               std::int32_t creep, Coverage* cov)
{
    const Walk w = walk_ramp(len, pd, h, dv, creep);
    std::uint32_t steps = 0;
    std::uint32_t dist = 0;
    corner_ramp_steps(len, pd, h, dv, creep, &steps, &dist);
    ++cov->exits[w.exit];
    cov->speed_wraps += w.speed_wrapped;
    cov->dist_wraps += w.dist_wrapped;
    EXPECT_TRUE(steps == w.steps && dist == w.dist)
        << "len " << len << " psuedodist " << pd << " h " << h << " majrdvel " << dv << " creep "
        << creep << ": steps " << steps << " dist " << dist << ", machine " << w.steps << " "
        << w.dist;
    return steps == w.steps && dist == w.dist;
}

// A number of up to 'bits' bits with its length spread evenly, so small and
// large magnitudes are drawn alike.
std::uint32_t any_size(std::mt19937_64& rng, int bits)
{
    const int b = static_cast<int>(rng() % static_cast<std::uint64_t>(bits + 1));
    return b == 0 ? 0u : static_cast<std::uint32_t>(rng() >> (64 - b));
}

} // namespace

TEST(CornerRamp, WorkedCornersOfThreeShallowJoints)
{
    // pbdAccel 3600, creep 2: the 1200-count vector, first without and then
    // with the braking distance the first corner gave it.
    std::uint32_t steps = 0;
    std::uint32_t dist = 0;
    corner_ramp_steps(1200, 0, 564, 3600u << 9, 2, &steps, &dist);
    EXPECT_EQ(steps, 93u);
    EXPECT_EQ(dist, 304091u);
    corner_ramp_steps(1200, 1187, 564, 3600u << 9, 2, &steps, &dist);
    EXPECT_EQ(steps, 137u);
    EXPECT_EQ(dist, 609990u);
}

TEST(CornerRamp, MatchesStepRampOnMachineSettings)
{
    std::mt19937_64 rng(0x5eed0001);
    const std::int32_t creeps[] = {1, 2, 4};
    Coverage cov;
    int bad = 0;
    for (int i = 0; i < 1000000 && bad < 10; ++i) {
        const std::uint32_t dv = static_cast<std::uint32_t>(1 + rng() % 20000) << 9;
        const std::uint32_t len = 1 + any_size(rng, 22);
        const std::uint32_t pd = any_size(rng, 22);
        const std::uint32_t h = any_size(rng, 16);
        bad += !same_ramp(len, pd, h, dv, creeps[rng() % 3], &cov);
    }
    for (int e = 0; e < ExitKinds; ++e) {
        EXPECT_GT(cov.exits[e], 0) << "exit " << e;
    }
}

TEST(CornerRamp, MatchesStepRampThroughEveryExitAndWrap)
{
    std::mt19937_64 rng(0x5eed0002);
    const std::int32_t odd_creeps[] = {-1, 64, 100, INT32_MAX, INT32_MIN};
    Coverage cov;
    int bad = 0;
    for (int i = 0; i < 2000000 && bad < 10; ++i) {
        std::int32_t creep = static_cast<std::int32_t>(rng() % 64);
        if (i % 100 == 0) {
            creep = odd_creeps[rng() % 5];
        } else if (i % 2 == 0) {
            creep = creep % 2 == 0 ? 0 : 63;  // the slowest and fastest creep
        }
        std::uint32_t dv = any_size(rng, 32);
        if (i % 8 == 4) {
            dv = 1u << (rng() % 32);  // the speed can land on 2^32 exactly
        }
        const std::uint32_t len = any_size(rng, 32);
        std::uint32_t pd = any_size(rng, 32);
        if (i % 8 == 0) {
            pd = 0u - len + any_size(rng, 8);  // the target wraps to a few counts
        }
        const std::uint32_t h = any_size(rng, i % 16 == 0 ? 16 : 10);
        bad += !same_ramp(len, pd, h, dv, creep, &cov);
    }
    // Long ramps at a fast creep: the distance fills its register about
    // when the speed fills its own, on either side, with targets just below
    // and beyond what the register holds.
    const std::uint64_t full_speed = ((std::uint64_t{1} << 32) - (std::uint64_t{48} << 23)) / 65536;
    for (int i = 0; i < 400 && bad < 10; ++i) {
        const std::int32_t creep = static_cast<std::int32_t>(48 + rng() % 16);
        const std::uint32_t dv = static_cast<std::uint32_t>(full_speed * (90 + rng() % 20) / 100);
        const std::uint32_t len = 512 + static_cast<std::uint32_t>(rng() % 100000);
        const std::uint64_t past = i % 2 == 0 ? rng() % 512 : rng() >> 40;
        const std::uint32_t pd = (1u << 24) - len - 512 + static_cast<std::uint32_t>(past);
        bad += !same_ramp(len, pd, 65535 - any_size(rng, 10), dv, creep, &cov);
    }
    for (int e = 0; e < ExitKinds; ++e) {
        EXPECT_GT(cov.exits[e], 0) << "exit " << e;
    }
    EXPECT_GT(cov.speed_wraps, 0);
    EXPECT_GT(cov.dist_wraps, 0);
}

TEST(CornerRamp, TableAnswersEveryTargetLikeTheStepRamp)
{
    // Few distinct ramps asked over and over with targets around where each
    // stops, so entries are reused for targets above, at and below the step
    // they were solved at.
    std::mt19937_64 rng(0x5eed0003);
    Coverage cov;
    int bad = 0;
    ReplayMachine machine;
    for (int i = 0; i < 200000 && bad < 10; ++i) {
        const std::uint32_t len = 200 + static_cast<std::uint32_t>(rng() % 8) * 16;
        const std::uint32_t pd = static_cast<std::uint32_t>(rng() % 8) * 300;
        const std::uint32_t dv = (720u + static_cast<std::uint32_t>(rng() % 2) * 80u) << 9;
        const std::uint32_t h = static_cast<std::uint32_t>(rng() % 400);
        std::uint32_t steps = 0;
        std::uint32_t dist = 0;
        machine.corner_ramp_solved(len, pd, h, dv, 2, &steps, &dist);
        const Walk w = walk_ramp(len, pd, h, dv, 2);
        ++cov.exits[w.exit];
        bad += steps != w.steps || dist != w.dist;
        EXPECT_TRUE(steps == w.steps && dist == w.dist)
            << "len " << len << " psuedodist " << pd << " h " << h << " majrdvel " << dv;
    }
    EXPECT_GT(cov.exits[PastTarget], 1000);
    EXPECT_GT(cov.exits[Distance], 1000);
}
