#include "fwShare/machine.h"

#include <cstdio>

namespace {

// Stopping distance from which a doubled ramp's distance is halved: 63
// counts, 16 fraction bits.
constexpr std::uint64_t doubling_base = 0x3F0000;

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

// One tick of the major axis at velocity v.
inline std::int32_t major_step(VdbData* r, std::uint32_t v)
{
    const std::int32_t m = svo_axis_step(v, r->majrfract);
    r->majrdisth = wrap_sub(r->majrdisth, m);
    return m;
}

// Minor step while accelerating or slewing: limited to minrdisth + 1,
// compared as signed numbers.
inline std::int32_t minor_step_signed(VdbData* r)
{
    const std::int32_t n =
        svo_minor_limit_signed(svo_axis_step(r->minrvel, r->minrfract), r->minrdisth);
    r->minrdisth = wrap_sub(r->minrdisth, n);
    return n;
}

// Minor step while decelerating or creeping: the same limit compared as
// unsigned numbers.
inline std::int32_t minor_step_unsigned(VdbData* r)
{
    const std::int32_t n =
        svo_minor_limit_unsigned(svo_axis_step(r->minrvel, r->minrfract), r->minrdisth);
    r->minrdisth = wrap_sub(r->minrdisth, n);
    return n;
}

} // namespace

// Notes that the long-vector warning is printed for this record now.
void Machine::note_long_vector_warning(const VdbData* r)
{
    warned_record = r;
    warned_alloc_tick = r->alloc_tick;
}

namespace {

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
    r->acc_index = svo_acc_doubled;
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

} // namespace

// Adds a step to the commanded position and the following errors, and
// records it as the last step.
inline void Machine::move_axes(std::int32_t dx, std::int32_t dy)
{
    svo_pos_x = wrap_add(svo_pos_x, dx);
    svo_pos_y = wrap_add(svo_pos_y, dy);
    svo_err_x = static_cast<std::int16_t>(wrap_add(svo_err_x, dx));
    svo_err_y = static_cast<std::int16_t>(wrap_add(svo_err_y, dy));
    svo_step_x = dx;
    svo_step_y = dy;
}

void Machine::print_slew_distance(std::int32_t rem, const VdbData* r)
{
    console_printf("SVO_GetMajrDistH(%d) SVO_Vect().psuedodist(%d)\n", r->majrdisth,
                static_cast<std::int32_t>(r->psuedodist));
    console_printf("disth(%d)= (SVO_Vect().majrvel(%d), FPF_Vel_ShiftI(%d)\n", rem,
                static_cast<std::int32_t>(r->majrvel), 23);
}

// Corner overrun: the step ran past the end of rec into nxt. Carries the
// distance beyond the corner and the speed into nxt and emits the step
// through nxt's octant routine.
void Machine::continue_past_corner(VdbData* rec, VdbData* nxt, std::int32_t m, std::int32_t n)
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
    svo_octant_move(nxt->octant, a, b);
    svo_set_state(ISRACC);
}

// The corner is taken without stopping: rec ends here and its next record
// carries on within the same tick.
void Machine::take_corner(VdbData* rec, std::int32_t m, std::int32_t n)
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
        svo_octant_move(rec->octant, m, wrap_add(n, rec->minrdisth));
        return;
    }

    if (rec->acc_index == svo_acc_doubled) {
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
inline void Machine::emit_step(std::int32_t m, std::int32_t n)
{
    VdbData* rec = SVO_VectPtr;
    if (corner_chain_enable == 0 || rec->cnrvel == 0 || rec->majrdisth > 0) {
        svo_octant_move(rec->octant, m, n);
        return;
    }
    take_corner(rec, m, n);
}

void Machine::svo_isr_acc()
{
    VdbData* r = SVO_VectPtr;
    if (static_cast<std::uint32_t>(r->currvel) + 1u > r->acclcount) {
        svo_set_state(ISRSLEW);
        svo_isr_slew();
        return;
    }

    if (svo_ramp_doubles(r)) {
        if (r->acc_index < svo_ticks_before_doubling) {
            ++r->acc_index;
        } else if (r->acc_index == svo_ticks_before_doubling) {
            double_acceleration(r);
        }
    }

    // D grows by this tick's travel at the old velocity; the carry out of
    // ddr goes to high_ddr at once.
    const std::uint32_t new_ddr = r->ddr + (r->majrvel >> svo_vel_to_stop_dist_shift);
    if (new_ddr < r->ddr) {
        ++r->high_ddr;
    }
    const std::uint32_t v = r->majrvel + r->majrdvel;
    const std::uint32_t new_dcc = (r->high_ddr << 16) + (new_ddr >> 16);
    const std::uint32_t rem =
        static_cast<std::uint32_t>(wrap_add(r->majrdisth, svo_corner_extra(r))) -
        (v >> svo_vel_frac);
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

void Machine::svo_isr_slew()
{
    VdbData* r = SVO_VectPtr;
    std::int32_t rem = wrap_sub(wrap_add(r->majrdisth, svo_corner_extra(r)),
                                static_cast<std::int32_t>(r->majrvel >> svo_vel_frac));
    const std::uint32_t dcc = svo_dcc_dist(r);

    if (svo_long_vector_warning_due(rem, svo_long_vector_warning_given(r))) {
        note_long_vector_warning(r);
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
    if (svo_queue_crowded()) {
        console_printf("disth1(%d)SVO_Vect().majrvel(%d)\n", rem,
                       static_cast<std::int32_t>(r->majrvel >> svo_vel_frac));
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

void Machine::svo_dcc_step()
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
    const std::uint32_t travel = r->majrvel >> svo_vel_to_stop_dist_shift;
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

void Machine::svo_isr_creep()
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
        svo_octant_move(r->octant, maj, min);
        return;
    }
    // Creep at CREEP_VELOCITY counts per tick, or at the constant speed of
    // a move without acceleration ramp.
    const std::uint32_t v = r->acclcount != 0 ? r->creep << svo_creep_to_vel_shift : r->majrvel;
    std::int32_t m = major_step(r, v);
    std::int32_t n = minor_step_unsigned(r);
    svo_octant_move(r->octant, m, n);
}

void Machine::svo_emit_step(std::int32_t m, std::int32_t n)
{
    emit_step(m, n);
}

void Machine::svo_octant_move(std::uint8_t octant, std::int32_t a, std::int32_t b)
{
    std::int32_t x = 0;
    std::int32_t y = 0;
    svo_octant_steps(octant, a, b, x, y);
    move_axes(x, y);
}
