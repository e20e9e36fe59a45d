#include "fwShare/servo/vector_exec.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "base/console.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/speed_profiles.h"
#include "base/wrap_math.h"

namespace {

constexpr std::uint32_t fraction_mask = svo_fraction_mask;
// majrdvel at and above which a ramp never doubles its acceleration: the
// machine's own constant 0x5C418 = 377880 / 2^23 = 0.04505 counts per tick
// per tick; at 12192 counts per inch (480 000 per metre) and 2500 ticks per
// second that is 0.04505 * 2500^2 / 480000 = 0.587 m/s^2, about 0.06 g. Only
// gentler ramps double after 20 ticks.
constexpr std::uint32_t doubling_limit = 0x5C418;
constexpr std::uint64_t doubling_base = 0x3F0000;       // 63 counts, 16 fraction bits
constexpr std::int32_t long_vector_warning = svo_long_vector_warning;

// Stopping distance as one 64-bit value and its whole-count part.
inline std::uint64_t stop_distance(const VdbData* r)
{
    return (static_cast<std::uint64_t>(r->high_ddr) << 32) | r->ddr;
}

inline void set_stop_distance(VdbData* r, std::uint64_t d)
{
    r->high_ddr = static_cast<std::uint32_t>(d >> 32);
    r->ddr = static_cast<std::uint32_t>(d);
}

inline std::uint32_t dcc_dist(const VdbData* r)
{
    return (r->high_ddr << 16) + (r->ddr >> 16);
}

inline std::int32_t major_step(VdbData* r, std::uint32_t v)
{
    std::uint32_t t = v + r->majrfract;
    r->majrfract = t & fraction_mask;
    std::int32_t m = static_cast<std::int32_t>(t >> 23);
    r->majrdisth = wrap_sub(r->majrdisth, m);
    return m;
}

// Minor step while accelerating or slewing: limited to minrdisth + 1,
// compared as signed numbers.
inline std::int32_t minor_step_signed(VdbData* r)
{
    std::uint32_t t = r->minrvel + r->minrfract;
    r->minrfract = t & fraction_mask;
    std::int32_t n = static_cast<std::int32_t>(t >> 23);
    std::int32_t limit = wrap_add(r->minrdisth, 1);
    if (n > limit) {
        n = limit;
    }
    r->minrdisth = wrap_sub(r->minrdisth, n);
    return n;
}

// Minor step while decelerating or creeping: the same limit compared as
// unsigned numbers.
inline std::int32_t minor_step_unsigned(VdbData* r)
{
    std::uint32_t t = r->minrvel + r->minrfract;
    r->minrfract = t & fraction_mask;
    std::uint32_t n = t >> 23;
    std::uint32_t limit = static_cast<std::uint32_t>(r->minrdisth) + 1u;
    if (n > limit) {
        n = limit;
    }
    r->minrdisth = wrap_sub(r->minrdisth, static_cast<std::int32_t>(n));
    return static_cast<std::int32_t>(n);
}

// The record the long-vector warning was last printed for, told apart from
// a later use of the same ring slot by its hand-out tick.
struct LongVectorWarning {
    const VdbData* record = nullptr;
    std::uint32_t alloc_tick = 0;
};
LongVectorWarning long_vector_warned;

// Whether the long-vector warning was printed for this record already.
bool long_vector_warning_given(const VdbData* r)
{
    return long_vector_warned.record == r && long_vector_warned.alloc_tick == r->alloc_tick;
}

// The warning comes once per record: repeated on every slew tick, a vector
// of thousands of inches would flood the console for hours.
bool first_long_vector_warning(const VdbData* r)
{
    if (long_vector_warning_given(r)) {
        return false;
    }
    long_vector_warned = {r, r->alloc_tick};
    return true;
}

inline std::int32_t corner_extra(const VdbData* r)
{
    return corner_chain_enable != 0 ? static_cast<std::int32_t>(r->psuedodist) : 0;
}

// Doubles the acceleration once a ramp has run 20 ticks: the rest of the
// ramp climbs twice as fast in half the steps.
inline void double_acceleration(VdbData* r)
{
    r->majrdvel <<= 1;
    r->minrdvel <<= 1;
    r->currvel = static_cast<std::uint16_t>(r->currvel >> 1);
    r->acclcount = static_cast<std::uint16_t>(r->acclcount >> 1);
    std::uint64_t d = stop_distance(r);
    std::uint64_t excess = d >= doubling_base ? d - doubling_base : doubling_base;
    set_stop_distance(r, (excess >> 1) + doubling_base);
    r->acc_index = 21;
}

inline void undo_doubling(VdbData* r)
{
    r->majrdvel >>= 1;
    r->minrdvel >>= 1;
    r->currvel = static_cast<std::uint16_t>(r->currvel << 1);
    r->acclcount = static_cast<std::uint16_t>(r->acclcount << 1);
    set_stop_distance(r, stop_distance(r) << 1);
    r->acc_index = 0;
}

// Adds a step to the commanded position and the following errors, and
// records it as the last step.
inline void move_axes(std::int32_t dx, std::int32_t dy)
{
    svo_pos_x = wrap_add(svo_pos_x, dx);
    svo_pos_y = wrap_add(svo_pos_y, dy);
    svo_err_x = static_cast<std::int16_t>(wrap_add(svo_err_x, dx));
    svo_err_y = static_cast<std::int16_t>(wrap_add(svo_err_y, dy));
    svo_step_x = dx;
    svo_step_y = dy;
}

// The octant routine of a record: bit 0 puts the major step a on Y, bit 1
// makes the X step negative, bit 2 the Y step.
inline void run_octant(std::uint8_t octant, std::int32_t a, std::int32_t b)
{
    std::int32_t x = 0;
    std::int32_t y = 0;
    svo_octant_steps(octant, a, b, x, y);
    move_axes(x, y);
}

void print_slew_distance(std::int32_t rem, const VdbData* r)
{
    console_printf("SVO_GetMajrDistH(%d) SVO_Vect().psuedodist(%d)\n", r->majrdisth,
                static_cast<std::int32_t>(r->psuedodist));
    console_printf("disth(%d)= (SVO_Vect().majrvel(%d), FPF_Vel_ShiftI(%d)\n", rem,
                static_cast<std::int32_t>(r->majrvel), 23);
}

// Corner overrun: the step ran past the end of rec into nxt. Carries the
// distance beyond the corner and the speed into nxt and emits the step
// through nxt's octant routine.
void continue_past_corner(VdbData* rec, VdbData* nxt, std::int32_t m, std::int32_t n)
{
    const std::uint32_t cv = rec->currvel;
    const std::int32_t slope = nxt->slope;
    std::int32_t a = m;
    std::int32_t b = 0;
    if (((nxt->octant ^ rec->octant) & 1u) == 0) {
        nxt->majrdisth = wrap_add(nxt->majrdisth, rec->majrdisth);
        std::int32_t t = wrap_mul(slope, rec->majrdisth) >> 16;
        nxt->minrdisth = wrap_add(nxt->minrdisth, t);
        nxt->minrvel += (nxt->minrdvel & ~3u) * cv;
        nxt->majrvel += (nxt->majrdvel & ~3u) * cv;
        std::int32_t carried = wrap_add(n, rec->minrdisth);
        b = nxt->octant == rec->octant ? wrap_sub(carried, t) : wrap_neg(wrap_add(carried, t));
    } else {
        // Major and minor axes swap at this corner.
        std::int32_t t = 0;
        if (rec->minrdisth <= 0) {
            nxt->majrdisth = wrap_add(nxt->majrdisth, rec->minrdisth);
            t = wrap_mul(slope, rec->minrdisth) >> 16;
            nxt->minrdisth = wrap_add(nxt->minrdisth, t);
        }
        nxt->minrvel += nxt->minrdvel * cv;
        nxt->majrvel += (nxt->majrdvel & ~3u) * cv;
        if (rec->minrdisth > 0) {
            a = wrap_add(n, rec->minrdisth);
            b = wrap_add(m, rec->majrdisth);
        } else {
            a = n;
            b = wrap_sub(wrap_add(m, rec->majrdisth), t);
        }
    }
    run_octant(nxt->octant, a, b);
    svo_set_state(ISRACC);
}

} // namespace

namespace {

// The corner is taken without stopping: rec ends here and its next record
// carries on within the same tick.
void take_corner(VdbData* rec, std::int32_t m, std::int32_t n)
{
    VdbData* nxt = rec->next;
    if (rec->majrdisth == 0) {
        rec->cmd = NULL_CMD;
        SVO_SetVectPtr(nxt);
        if (rec->currvel != 0) {
            nxt->currvel = rec->currvel;
            nxt->high_ddr = rec->high_ddr;
            nxt->ddr = rec->ddr;
            nxt->minrvel += (nxt->minrdvel & ~3u) * rec->currvel;
            nxt->majrvel = rec->majrvel;
            svo_set_state(ISRACC);
        } else {
            svo_set_state(ISRHOLD);
        }
        run_octant(rec->octant, m, wrap_add(n, rec->minrdisth));
        return;
    }

    if (rec->acc_index == 21) {
        undo_doubling(rec);
    }
    rec->cmd = NULL_CMD;
    SVO_SetVectPtr(nxt);
    nxt->currvel = rec->currvel;
    nxt->high_ddr = rec->high_ddr;
    nxt->ddr = rec->ddr;
    continue_past_corner(rec, nxt, m, n);
}

// Applies a moving tick's step; the common case (no corner reached) stays
// inline in the tick handlers.
inline void emit_step(std::int32_t m, std::int32_t n)
{
    VdbData* rec = SVO_VectPtr;
    if (corner_chain_enable == 0 || rec->cnrvel == 0 || rec->majrdisth > 0) {
        run_octant(rec->octant, m, n);
        return;
    }
    take_corner(rec, m, n);
}

} // namespace

void svo_isr_acc()
{
    VdbData* r = SVO_VectPtr;
    if (static_cast<std::uint32_t>(r->currvel) + 1u > r->acclcount) {
        svo_set_state(ISRSLEW);
        svo_isr_slew();
        return;
    }

    if (r->psuedodist == 0 && r->cnrvel == 0 && r->majrdvel < doubling_limit) {
        if (r->acc_index < 20) {
            ++r->acc_index;
        } else if (r->acc_index == 20) {
            double_acceleration(r);
        }
    }

    // D grows by this tick's travel at the old velocity; the carry out of
    // ddr goes to high_ddr at once.
    const std::uint32_t new_ddr = r->ddr + (r->majrvel >> 7);
    if (new_ddr < r->ddr) {
        ++r->high_ddr;
    }
    const std::uint32_t v = r->majrvel + r->majrdvel;
    const std::uint32_t new_dcc = (r->high_ddr << 16) + (new_ddr >> 16);
    const std::uint32_t rem = static_cast<std::uint32_t>(wrap_add(r->majrdisth, corner_extra(r))) -
                              (v >> 23);
    if (rem < new_dcc) {
        svo_set_state(ISRSLEW);
        svo_isr_slew();
        return;
    }

    r->majrvel = v;
    ++r->currvel;
    r->ddr = new_ddr;
    std::int32_t m = major_step(r, v);
    r->minrvel += r->minrdvel;
    std::int32_t n = minor_step_signed(r);
    phase = ACC;
    emit_step(m, n);
}

void svo_isr_slew()
{
    VdbData* r = SVO_VectPtr;
    std::int32_t rem = wrap_sub(wrap_add(r->majrdisth, corner_extra(r)),
                                static_cast<std::int32_t>(r->majrvel >> 23));
    const std::uint32_t dcc = dcc_dist(r);

    if (rem > long_vector_warning && first_long_vector_warning(r)) {
        console_printf("disth > 0x1000000\n");
        print_slew_distance(rem, r);
        console_printf("dccDist(%d)\n", static_cast<std::int32_t>(dcc));
    }
    if (rem < 0) {
        console_printf("disth < 0\n");
        print_slew_distance(rem, r);
        console_printf("disth(%d), dccDist(%d)dccDist(%d)\n", rem, static_cast<std::int32_t>(dcc),
                    static_cast<std::int32_t>(dcc));
        r->majrdisth = static_cast<std::int32_t>(dcc - 1u);
        rem = r->majrdisth;
    }
    if (m_npbdrvCnt > 100) {
        console_printf("disth1(%d)SVO_Vect().majrvel(%d)\n", rem,
                    static_cast<std::int32_t>(r->majrvel >> 23));
        console_printf("dccDist(%d)\n", static_cast<std::int32_t>(dcc));
        rem = static_cast<std::int32_t>(dcc);
    }
    if (rem < static_cast<std::int32_t>(dcc)) {
        svo_dcc_step();
        return;
    }

    std::int32_t m = major_step(r, r->majrvel);
    std::int32_t n = minor_step_signed(r);
    phase = SLEW;
    emit_step(m, n);
}

void svo_dcc_step()
{
    VdbData* r = SVO_VectPtr;
    if (r->currvel == 0 || r->majrdvel > r->majrvel) {
        r->currvel = 0;
        svo_set_state(ISRCREEP);
        svo_isr_creep();
        return;
    }
    if (r->currvel == 1) {
        svo_set_state(ISRCREEP);
    }
    --r->currvel;
    r->majrvel -= r->majrdvel;
    const std::uint32_t travel = r->majrvel >> 7;
    if (r->ddr < travel) {
        --r->high_ddr;
    }
    r->ddr -= travel;

    std::int32_t m = major_step(r, r->majrvel);
    r->minrvel -= r->minrdvel;
    std::int32_t n = minor_step_unsigned(r);
    phase = DCC;
    emit_step(m, n);
}

void svo_isr_creep()
{
    phase = CREEP;
    VdbData* r = SVO_VectPtr;
    if (r->majrdisth < creep_min) {
        // Last step: release the record and emit whatever is left of both axes.
        r->cmd = NULL_CMD;
        const std::int32_t maj = r->majrdisth;
        const std::int32_t min = r->minrdisth;
        r->majrdisth = 0;
        delay_count = r->end_delay;
        svo_set_state(r->end_delay != 0 ? ISRDELAY : ISRHOLD);
        SVO_SetVectPtr(r->next);
        run_octant(r->octant, maj, min);
        return;
    }
    // Creep at CREEP_VELOCITY counts per tick, or at the constant speed of
    // a move without acceleration ramp.
    const std::uint32_t v = r->acclcount != 0 ? r->creep << 19 : r->majrvel;
    std::int32_t m = major_step(r, v);
    std::int32_t n = minor_step_unsigned(r);
    run_octant(r->octant, m, n);
}

namespace {

// The accumulator of one axis over a run of ticks at constant velocity:
// j ticks at v from fraction f give (j v + f) >> 23 whole counts.
struct AxisRun {
    std::uint32_t v;  // velocity, 23 fraction bits
    std::uint32_t f;  // fraction accumulator at the start

    std::uint64_t counts(std::uint64_t j) const
    {
        return (j * v + f) >> 23;
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
            ((static_cast<std::uint64_t>(limit) + 1u) << 23) - 1u - f;
        return std::min(j / v, cap);
    }
    // A tick's sum v + fraction must not wrap for the closed form to hold.
    bool fits() const
    {
        return v <= 0xFFFFFFFFu - fraction_mask;
    }
};

// Advances k ticks of both axes at constant velocity: the record's
// distances and fractions, the commanded position by the whole run, and
// the last step as the run's final tick emitted it. The minor axis stops
// at minor_cap counts when it is not negative: a tick whose step would
// pass minrdisth + 1 takes only what is left, every later tick none.
void advance_axes(VdbData* r, const AxisRun& major, const AxisRun& minor, std::uint64_t k,
                  std::int64_t minor_cap)
{
    const auto capped = [&](std::uint64_t j) {
        const std::uint64_t n = minor.counts(j);
        return minor_cap >= 0 ? std::min(n, static_cast<std::uint64_t>(minor_cap)) : n;
    };
    const std::uint64_t big_m = major.counts(k);
    const std::uint64_t big_n = capped(k);
    const auto last_m = static_cast<std::int32_t>(big_m - major.counts(k - 1));
    const auto last_n = static_cast<std::int32_t>(big_n - capped(k - 1));
    r->majrfract = static_cast<std::uint32_t>(k * major.v + major.f) & fraction_mask;
    r->minrfract = static_cast<std::uint32_t>(k * minor.v + minor.f) & fraction_mask;
    r->majrdisth = wrap_sub(r->majrdisth, static_cast<std::int32_t>(big_m));
    r->minrdisth = wrap_sub(r->minrdisth, static_cast<std::int32_t>(big_n));
    run_octant(r->octant, last_m, last_n);
    // The run's earlier ticks moved the position and the errors by the rest.
    const std::int32_t step_x = svo_step_x;
    const std::int32_t step_y = svo_step_y;
    run_octant(r->octant, static_cast<std::int32_t>(big_m - static_cast<std::uint64_t>(last_m)),
               static_cast<std::int32_t>(big_n - static_cast<std::uint64_t>(last_n)));
    svo_step_x = step_x;
    svo_step_y = step_y;
}

} // namespace

std::uint64_t svo_slew_run(std::uint64_t max_ticks)
{
    VdbData* r = SVO_VectPtr;
    const AxisRun major{r->majrvel, r->majrfract};
    const AxisRun minor{r->minrvel, r->minrfract};
    if (m_npbdrvCnt > 100 || !major.fits() || !minor.fits() ||
        r->minrdisth == std::numeric_limits<std::int32_t>::max()) {
        return 0;
    }
    // rem of the first tick, exactly as the tick computes it but without a wrap.
    const std::int64_t base = static_cast<std::int64_t>(r->majrdisth) + corner_extra(r);
    const std::int64_t rem = base - (r->majrvel >> 23);
    const std::int64_t dcc = std::max<std::int64_t>(static_cast<std::int32_t>(dcc_dist(r)), 0);
    const bool warning_due = rem > long_vector_warning && !long_vector_warning_given(r);
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

std::uint64_t svo_creep_run(std::uint64_t max_ticks)
{
    VdbData* r = SVO_VectPtr;
    const AxisRun major{r->acclcount != 0 ? r->creep << 19 : r->majrvel, r->majrfract};
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

namespace {

// Writes back the values of the k ticks a ramp ran and moves the head by
// their steps, the last step as the last tick emitted it.
void finish_ramp(VdbData* r, const RampValues& v, const RampSteps& steps)
{
    svo_store_ramp_values(r, v);
    run_octant(r->octant, static_cast<std::int32_t>(steps.major_sum - static_cast<std::uint32_t>(steps.last_major)),
               static_cast<std::int32_t>(steps.minor_sum - static_cast<std::uint32_t>(steps.last_minor)));
    run_octant(r->octant, steps.last_major, steps.last_minor);
}

} // namespace

namespace {

// Runs ticks while tick(v, steps) can take one more, at most max_ticks, and
// leaves their values in the record and the phase they leave.
template <typename Tick>
std::uint64_t run_ramp(std::uint64_t max_ticks, std::uint8_t ramp_phase, Tick tick)
{
    VdbData* r = SVO_VectPtr;
    RampValues v = svo_ramp_values(r);
    RampSteps steps;
    std::uint64_t k = 0;
    while (k < max_ticks && tick(v, steps)) {
        ++k;
    }
    if (k != 0) {
        finish_ramp(r, v, steps);
        phase = ramp_phase;
    }
    return k;
}

} // namespace

namespace {

// Whether an acceleration ramp doubles its acceleration after 20 ticks.
inline bool ramp_doubles(const VdbData* r)
{
    return r->psuedodist == 0 && r->cnrvel == 0 && r->majrdvel < doubling_limit;
}

} // namespace

void svo_acc_ticks_begin(RampTicks* t)
{
    VdbData* r = SVO_VectPtr;
    *t = {r, svo_ramp_values(r), corner_extra(r), ramp_doubles(r)};
}

bool svo_dcc_ticks_begin(RampTicks* t)
{
    VdbData* r = SVO_VectPtr;
    if (m_npbdrvCnt > 100) {
        return false;
    }
    *t = {r, svo_ramp_values(r), corner_extra(r), long_vector_warning_given(r)};
    return true;
}

std::uint64_t svo_acc_run(std::uint64_t max_ticks)
{
    const VdbData* r = SVO_VectPtr;
    const bool doubling = ramp_doubles(r);
    const std::int32_t extra = corner_extra(r);
    return run_ramp(max_ticks, ACC, [&](RampValues& v, RampSteps& steps) {
        return svo_acc_tick(r, extra, doubling, v, steps);
    });
}

std::uint64_t svo_dcc_run(std::uint64_t max_ticks)
{
    const VdbData* r = SVO_VectPtr;
    if (m_npbdrvCnt > 100) {
        return 0;
    }
    const bool warned = long_vector_warning_given(r);
    const std::int32_t extra = corner_extra(r);
    return run_ramp(max_ticks, DCC, [&](RampValues& v, RampSteps& steps) {
        return svo_dcc_tick(r, extra, warned, v, steps);
    });
}

void svo_emit_step(std::int32_t m, std::int32_t n)
{
    emit_step(m, n);
}

const OctantMoveFn octant_move[8] = {
    [](std::int32_t a, std::int32_t b) { run_octant(0, a, b); },
    [](std::int32_t a, std::int32_t b) { run_octant(1, a, b); },
    [](std::int32_t a, std::int32_t b) { run_octant(2, a, b); },
    [](std::int32_t a, std::int32_t b) { run_octant(3, a, b); },
    [](std::int32_t a, std::int32_t b) { run_octant(4, a, b); },
    [](std::int32_t a, std::int32_t b) { run_octant(5, a, b); },
    [](std::int32_t a, std::int32_t b) { run_octant(6, a, b); },
    [](std::int32_t a, std::int32_t b) { run_octant(7, a, b); },
};

bool svo_slew_ticks_begin(SlewTicks* s)
{
    const VdbData* r = SVO_VectPtr;
    if (m_npbdrvCnt > 100) {
        return false;
    }
    const bool warned = long_vector_warning_given(r);
    *s = {r->majrdisth,
          r->minrdisth,
          r->majrfract,
          r->minrfract,
          r->majrvel,
          r->minrvel,
          corner_extra(r),
          static_cast<std::int32_t>(dcc_dist(r)),
          warned ? std::numeric_limits<std::int32_t>::max() : long_vector_warning,
          corner_chain_enable != 0 && r->cnrvel != 0,
          r->octant};
    return true;
}

void svo_slew_ticks_end(const SlewTicks& s)
{
    VdbData* r = SVO_VectPtr;
    r->majrdisth = s.majrdisth;
    r->minrdisth = s.minrdisth;
    r->majrfract = s.majrfract;
    r->minrfract = s.minrfract;
}

void svo_exec_reset()
{
    long_vector_warned = LongVectorWarning{};
}
