#include "replay/closed_forms.h"

#include <algorithm>
#include <limits>

#include "replay/replay_machine.h"

// The accumulator of one axis over a run of ticks at constant velocity:
// j ticks at v from fraction f give (j v + f) >> 23 whole counts.
struct ReplayMachine::AxisRun {
    std::uint32_t v;  // velocity, 23 fraction bits
    std::uint32_t f;  // fraction accumulator at the start

    std::uint64_t counts(std::uint64_t j) const
    {
        return (j * v + f) >> svo_vel_frac;
    }
    // Most ticks j (at most cap) whose counts stay at or below limit.
    std::uint64_t ticks_within(std::int64_t limit, std::uint64_t cap) const
    {
        if (limit < 0) {
            return 0;
        }
        if (v == 0) {
            return cap;
        }
        const std::uint64_t j =
            ((static_cast<std::uint64_t>(limit) + 1u) << svo_vel_frac) - 1u - f;
        return std::min(j / v, cap);
    }
    // A tick's sum v + fraction must not wrap for the closed form to hold.
    bool fits() const
    {
        return v <= 0xFFFFFFFFu - svo_fraction_mask;
    }
};

// Moves the commanded position and the following errors by a run's whole
// travel, a major and b minor counts in the record's octant, and leaves its
// last tick's steps as the last step: what the run's ticks, each adding its
// own step, leave behind (the sums wrap as the position and errors do).
void ReplayMachine::move_by_run(std::uint8_t octant, std::uint64_t a, std::uint64_t b,
                                std::int32_t last_a, std::int32_t last_b)
{
    std::int32_t x = 0;
    std::int32_t y = 0;
    svo_octant_steps(octant, static_cast<std::int32_t>(static_cast<std::uint32_t>(a)),
                     static_cast<std::int32_t>(static_cast<std::uint32_t>(b)), x, y);
    svo_pos_x = wrap_add(svo_pos_x, x);
    svo_pos_y = wrap_add(svo_pos_y, y);
    svo_err_x = static_cast<std::int16_t>(wrap_add(svo_err_x, x));
    svo_err_y = static_cast<std::int16_t>(wrap_add(svo_err_y, y));
    svo_octant_steps(octant, last_a, last_b, svo_step_x, svo_step_y);
}

// Advances k ticks of both axes at constant velocity: the record's
// distances and fractions, the commanded position by the whole run, and
// the last step as the run's final tick emitted it. The minor axis stops
// at minor_cap counts when it is not negative: a tick whose step would
// pass minrdisth + 1 takes only what is left, every later tick none.
void ReplayMachine::advance_axes(VdbData* r, const AxisRun& major, const AxisRun& minor,
                                 std::uint64_t k, std::int64_t minor_cap)
{
    const auto capped = [&](std::uint64_t j) {
        const std::uint64_t n = minor.counts(j);
        return minor_cap >= 0 ? std::min(n, static_cast<std::uint64_t>(minor_cap)) : n;
    };
    const std::uint64_t big_m = major.counts(k);
    const std::uint64_t big_n = capped(k);
    const auto last_m = static_cast<std::int32_t>(big_m - major.counts(k - 1));
    const auto last_n = static_cast<std::int32_t>(big_n - capped(k - 1));
    r->majrfract = static_cast<std::uint32_t>(k * major.v + major.f) & svo_fraction_mask;
    r->minrfract = static_cast<std::uint32_t>(k * minor.v + minor.f) & svo_fraction_mask;
    r->majrdisth = wrap_sub(r->majrdisth, static_cast<std::int32_t>(big_m));
    r->minrdisth = wrap_sub(r->minrdisth, static_cast<std::int32_t>(big_n));
    move_by_run(r->octant, big_m, big_n, last_m, last_n);
}

std::uint64_t ReplayMachine::svo_slew_run(std::uint64_t max_ticks)
{
    VdbData* r = SVO_VectPtr;
    const AxisRun major{r->majrvel, r->majrfract};
    const AxisRun minor{r->minrvel, r->minrfract};
    if (svo_queue_crowded() || !major.fits() || !minor.fits() ||
        r->minrdisth == std::numeric_limits<std::int32_t>::max()) {
        return 0;
    }
    // rem of the first tick, exactly as the tick computes it but without a wrap.
    const std::int64_t base = static_cast<std::int64_t>(r->majrdisth) + svo_corner_extra(r);
    const std::int64_t rem = base - (r->majrvel >> svo_vel_frac);
    const std::int64_t dcc = std::max<std::int64_t>(static_cast<std::int32_t>(svo_dcc_dist(r)), 0);
    const bool warning_due = svo_long_vector_warning_due(rem, svo_long_vector_warning_given(r));
    if (base != static_cast<std::int32_t>(base) || rem < dcc || warning_due) {
        return 0;
    }
    // Tick j slews while rem - M(j - 1) >= dccDist and no corner is reached;
    // the minor axis stops at its limit (below -1 it first jumps back to -1
    // in a tick of its own).
    const std::int64_t minor_cap = static_cast<std::int64_t>(r->minrdisth) + 1;
    std::uint64_t k = major.ticks_within(rem - dcc, max_ticks - 1) + 1;
    if (corner_chain_enable != 0 && r->cnrvel != 0) {
        k = major.ticks_within(static_cast<std::int64_t>(r->majrdisth) - 1, k);
    }
    if (k < 2 || minor_cap < 0) {
        return 0;
    }
    advance_axes(r, major, minor, k, minor_cap);
    phase = SLEW;
    return k;
}

std::uint64_t ReplayMachine::svo_creep_run(std::uint64_t max_ticks)
{
    VdbData* r = SVO_VectPtr;
    const AxisRun major{r->acclcount != 0 ? r->creep << svo_creep_to_vel_shift : r->majrvel,
                        r->majrfract};
    const AxisRun minor{r->minrvel, r->minrfract};
    if (!major.fits() || !minor.fits() || r->majrdisth < creep_min) {
        return 0;
    }
    // Tick j creeps while majrdisth - M(j - 1) >= creep_min.
    std::uint64_t k =
        major.ticks_within(static_cast<std::int64_t>(r->majrdisth) - creep_min, max_ticks - 1) + 1;
    // The minor limit, compared unsigned, binds only where minrdisth + 1 is
    // small and not negative: there the axis stops at it; below -1 it never
    // binds as long as minrdisth does not wrap.
    const std::int64_t minr = r->minrdisth;
    if (minr < -1) {
        k = minor.ticks_within(minr - std::numeric_limits<std::int32_t>::min(), k);
    }
    if (k < 2) {
        return 0;
    }
    advance_axes(r, major, minor, k, minr >= -1 ? minr + 1 : -1);
    phase = CREEP;
    return k;
}

// Writes back the values of the k ticks a ramp ran and moves the head by
// their steps, the last step as the last tick emitted it.
void ReplayMachine::finish_ramp(VdbData* r, const RampValues& v, const RampSteps& steps)
{
    svo_store_ramp_values(r, v);
    move_by_run(r->octant, steps.major_sum, steps.minor_sum, steps.last_major, steps.last_minor);
}

// Leaves the values of the ticks a ramp run advanced in the record and the
// phase they leave, and counts its ticks that went one at a time in *stepped.
// A run that stopped before a tick that takes a corner takes that tick too,
// as its handler ends it: the record as the tick leaves it, then the step
// through the corner, which hands the tick on to the next record.
std::uint64_t ReplayMachine::finish_ramp_run(VdbData* r, const RampValues& v,
                                             const RampSteps& steps, const RampRun& run,
                                             const CornerTick& corner, std::uint8_t ramp_phase,
                                             std::uint64_t* stepped)
{
    *stepped += run.stepped;
    if (corner.due) {
        finish_ramp(r, corner.v, steps);
        phase = ramp_phase;
        ++*stepped;
        svo_emit_step(corner.major, corner.minor);
        return run.ticks + 1;
    }
    if (run.ticks != 0) {
        finish_ramp(r, v, steps);
        phase = ramp_phase;
    }
    return run.ticks;
}

std::uint64_t ReplayMachine::svo_acc_run(std::uint64_t max_ticks, std::uint64_t* stepped)
{
    VdbData* r = SVO_VectPtr;
    RampValues v = svo_ramp_values(r);
    RampSteps steps;
    CornerTick corner;
    const RampRun run = ramp_acc_closed_form(*this, r, svo_corner_extra(r), svo_ramp_doubles(r),
                                             v, steps, max_ticks, &corner);
    return finish_ramp_run(r, v, steps, run, corner, ACC, stepped);
}

std::uint64_t ReplayMachine::svo_dcc_run(std::uint64_t max_ticks, std::uint64_t* stepped)
{
    VdbData* r = SVO_VectPtr;
    if (svo_queue_crowded()) {
        return 0;
    }
    RampValues v = svo_ramp_values(r);
    RampSteps steps;
    CornerTick corner;
    const RampRun run = ramp_dcc_closed_form(*this, r, svo_corner_extra(r),
                                             svo_long_vector_warning_given(r), v, steps, max_ticks,
                                             &corner);
    return finish_ramp_run(r, v, steps, run, corner, DCC, stepped);
}

