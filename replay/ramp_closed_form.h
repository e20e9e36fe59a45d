// Acceleration and deceleration ramps of the default run in closed form.
//
// A ramp tick changes the major velocity by a constant majrdvel, so over k
// ticks the velocities form an arithmetic progression: the counts moved are
// the whole part of its sum plus the fraction carried in, the stopping
// distance gains (or loses) the sum of each velocity shifted down by 7, and
// the tick that leaves the ramp is found by a search over k, settled
// exactly against the tick's own test. Where a 32-bit register could wrap,
// or a test is not monotone in k and no exact shortcut is known, the ramp
// goes on tick by tick through svo_acc_tick / svo_dcc_tick, which compute
// each tick as the handlers do.
#pragma once

#include <cstdint>

#include "replay/ramp_ticks.h"

// The ticks a ramp advanced, and how many of them went one at a time
// (through the per-tick code, or by a search walking candidate ticks).
struct RampRun {
    std::uint64_t ticks = 0;
    std::uint64_t stepped = 0;
};

// Up to max_ticks acceleration ticks of record r from the values v, exactly
// as svo_acc_tick would take them one after the other: stops before the
// first tick that leaves the ramp, doubles the acceleration or takes a
// corner. v and steps are advanced by the ticks taken; when the run stops
// before a tick that takes a corner, *corner holds that tick.
RampRun ramp_acc_closed_form(const Machine& m, const VdbData* r, std::int32_t extra, bool doubling,
                             RampValues& v, RampSteps& steps, std::uint64_t max_ticks,
                             CornerTick* corner = nullptr);

// The same for deceleration ticks as svo_dcc_tick takes them: stops before
// the first tick that slews, prints, enters creep or takes a corner.
RampRun ramp_dcc_closed_form(const Machine& m, const VdbData* r, std::int32_t extra, bool warned,
                             RampValues& v, RampSteps& steps, std::uint64_t max_ticks,
                             CornerTick* corner = nullptr);
