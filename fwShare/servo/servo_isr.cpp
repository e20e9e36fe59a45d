#include "fwShare/servo/servo_isr.h"

#include "app/job_clock.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_exec.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/servo/wrap_math.h"

const char* const svo_phase_names[SVO_PHASE_COUNT] = {
    "IDLE", "HOLD", "ACC", "SLEW", "DCC", "CREEP", "DELAY",
};

const char* const svo_state_names[14] = {
    "ISRIDLE", "ISRHOLD", "ISRACC", "ISRSLEW", "ISRDCC", "ISRCREEP", "ISRCORN",
    "ISRPENUP", "ISRPENDOWN", "ISRDELAY", "R_HOME", "RY_FOCUS", "ISRPAUSE", "ISRPLANMOVE",
};

std::int16_t svo_state = ISRIDLE;
std::uint8_t phase = IDLE;

SvoGains svo_gains = {0, 0, 1000, 1000, 32, 32, 0, 0, 64000, 32000, 20, 5};

std::int32_t svo_pos_x, svo_pos_y;
std::int16_t svo_err_x, svo_err_y;
std::uint16_t svo_err_frac_x, svo_err_frac_y;
std::int32_t svo_step_x, svo_step_y;
std::int32_t enc_x, enc_y, enc_last_x, enc_last_y, enc_base_x, enc_base_y;
std::int32_t svo_integ_x, svo_integ_y;
std::int32_t svo_prev_term_x, svo_prev_term_y;
std::int16_t svo_gain_base_x, svo_gain_base_y;
std::int16_t svo_gain_x, svo_gain_y;
volatile std::uint16_t svo_out_x, svo_out_y;
std::uint8_t svo_off;

std::int32_t delay_count;
std::int16_t hold_gain_count;

std::int16_t creep_min;
std::int32_t CREEP_VELOCITY;
std::int32_t CREEP_SPEED;
std::uint16_t End_Delay_1, End_Delay_2, End_Delay_3;
std::int32_t corner_chain_enable;

namespace {

// Encoder count for a commanded position: pos * scale / 65536 with the
// exact product and the quotient truncated toward zero.
std::int32_t encoder_counts(std::int32_t pos, std::int32_t scale)
{
    std::int64_t product = static_cast<std::int64_t>(pos) * scale;
    return static_cast<std::int32_t>(product / 65536);
}

// Signed division by the current servo resolution. On this machine it is
// 12192 counts per inch; dividing by that as a constant lets the compiler
// multiply instead of divide, with the same truncated quotient.
inline std::int32_t divide_by_reso(std::int32_t n, std::int32_t reso)
{
    constexpr std::int32_t machine_reso = 12192;
    return reso == machine_reso ? n / machine_reso : n / reso;
}

// One axis of the position loop up to its error term (loop steps 2 to 6).
// enc_moved is the encoder's movement since the last tick, in the direction
// the axis counts.
struct AxisLoop {
    std::uint16_t* err_frac;
    std::int16_t* err;
    std::int32_t* integ;
    std::int32_t* prev_term;
    std::int32_t term;
    std::int32_t diff;
};

inline void loop_error_term(AxisLoop& a, std::int32_t enc_to_err, std::int32_t enc_moved,
                            std::int16_t rate_factor, std::int32_t reso_native,
                            std::int32_t reso, std::int32_t i_limit)
{
    std::int32_t acc = wrap_add(wrap_mul(wrap_mul(enc_to_err, enc_moved), 16), *a.err_frac);
    *a.err_frac = static_cast<std::uint16_t>(acc & 0xFFFF);
    std::int16_t chg = static_cast<std::int16_t>(acc >> 16);
    *a.err = static_cast<std::int16_t>(*a.err + chg);

    std::int32_t rate = (static_cast<std::int32_t>(rate_factor) * chg) >> 8;
    a.term = divide_by_reso(wrap_mul(wrap_add(*a.err, rate), reso_native), reso);

    *a.integ = wrap_add(*a.integ, a.term);
    if (*a.integ > i_limit) {
        *a.integ = i_limit;
    } else if (*a.integ < wrap_neg(i_limit)) {
        *a.integ = wrap_neg(i_limit);
    }
    a.diff = wrap_sub(a.term, *a.prev_term);
    *a.prev_term = a.term;
}

inline std::int32_t loop_output(const AxisLoop& a, std::uint16_t k3, std::int16_t gain,
                                std::int16_t i_gain, std::int32_t step, std::int32_t ff_gain)
{
    std::int32_t damped = wrap_add(a.term, wrap_mul(static_cast<std::int32_t>(k3), a.diff) >> 8);
    std::int32_t p = wrap_mul(damped, gain) >> 5;
    std::int32_t i = *a.integ >> (i_gain & 31);
    return wrap_add(wrap_add(p, i), wrap_mul(step, ff_gain));
}

// Both axes reduce their gain with the X position, never below 30.
inline std::int16_t gain_by_position(std::int16_t base)
{
    std::int16_t gain = static_cast<std::int16_t>(base - (svo_pos_x >> 13));
    return gain <= 30 ? std::int16_t{30} : gain;
}

void svo_isr_hold()
{
    VdbData* rec = SVO_VectPtr;
    std::uint32_t kind = vdb_kind(rec);
    if (kind == NULL_CMD) {
        SVO_VectPtr = nullptr;
        return;
    }
    if (kind == VECTOR) {
        svo_gain_base_x = svo_gains.XGain;
        svo_gain_base_y = svo_gains.YGain;
        hold_gain_count = 250;
        svo_set_state(ISRACC);
        svo_isr_acc();
    } else {
        // Pen records, and any kind this system never queues: one tick each.
        rec->cmd = NULL_CMD;
        SVO_SetVectPtr(rec->next);
        svo_set_state(ISRHOLD);
    }
    svo_hold_tick();
    phase = HOLD;
}

void svo_isr_delay()
{
    if (delay_count != 0) {
        --delay_count;
        phase = DELAY;
    } else {
        svo_set_state(ISRHOLD);
    }
}

void svo_isr_idle()
{
    if (SVO_VectPtr != nullptr) {
        VdbData* rec = SVO_VectPtr;
        rec->cmd = NULL_CMD;
        SVO_SetVectPtr(rec->next);
        if (SVO_VectPtr->cmd == NULL_CMD) {
            SVO_VectPtr = nullptr;
        }
    }
    svo_pos_x = wrap_sub(svo_pos_x, svo_err_x);
    svo_pos_y = wrap_sub(svo_pos_y, svo_err_y);
    svo_err_x = 0;
    svo_err_y = 0;
    svo_integ_x = 0;
    svo_integ_y = 0;
    svo_out_x = 0x8001;
    svo_out_y = 0x0001;
}

} // namespace

std::int32_t svo_encoder_x()
{
    return wrap_add(enc_base_x, encoder_counts(svo_pos_x, enc_scale_x));
}

std::int32_t svo_encoder_y()
{
    return wrap_sub(enc_base_y, encoder_counts(svo_pos_y, enc_scale_y));
}

std::uint16_t svo_encode_out_x(std::int32_t value)
{
    if (value >= 1024) {
        return 0x8400;
    }
    if (value >= 1) {
        return static_cast<std::uint16_t>(0x8000 | value);
    }
    if (value > -1024) {
        return static_cast<std::uint16_t>(-value);
    }
    return 0x0400;
}

std::uint16_t svo_encode_out_y(std::int32_t value)
{
    if (value >= 1024) {
        return 0x0400;
    }
    if (value >= 1) {
        return static_cast<std::uint16_t>(value);
    }
    if (value > -1024) {
        return static_cast<std::uint16_t>(0x8000 | -value);
    }
    return 0x8400;
}

void svo_feedback_loop()
{
    // Both axes take their gain from the X position, which the loop does
    // not move, so the gains can be set before either axis runs; each axis
    // then runs to its output on its own.
    svo_gain_x = gain_by_position(svo_gain_base_x);
    svo_gain_y = gain_by_position(svo_gain_base_y);
    const bool off = svo_off != 0;

    AxisLoop x{&svo_err_frac_x, &svo_err_x, &svo_integ_x, &svo_prev_term_x, 0, 0};
    enc_x = svo_encoder_x();
    loop_error_term(x, enc_to_err_x, wrap_sub(enc_last_x, enc_x), svo_gains.XRateFactor,
                    svo_reso_native_x, svo_reso_x, svo_gains.XILimit);
    enc_last_x = enc_x;
    if (!off) {
        svo_out_x = svo_encode_out_x(loop_output(x, svo_gains.K3X, svo_gain_x, svo_gains.XIGain,
                                                 svo_step_x, svo_gains.ff_gain_x));
    }

    AxisLoop y{&svo_err_frac_y, &svo_err_y, &svo_integ_y, &svo_prev_term_y, 0, 0};
    enc_y = svo_encoder_y();
    loop_error_term(y, enc_to_err_y, wrap_sub(enc_y, enc_last_y), svo_gains.YRateFactor,
                    svo_reso_native_y, svo_reso_y, svo_gains.YILimit);
    enc_last_y = enc_y;
    if (!off) {
        svo_out_y = svo_encode_out_y(loop_output(y, svo_gains.K3Y, svo_gain_y, svo_gains.YIGain,
                                                 svo_step_y, svo_gains.ff_gain_y));
    } else {
        // A switched-off loop keeps its output words and drops its integrators.
        svo_integ_x = 0;
        svo_integ_y = 0;
    }
}

[[gnu::noinline]] void svo_isr()
{
    svo_feedback_loop();
    switch (svo_state) {
    case ISRIDLE:
        svo_isr_idle();
        break;
    case ISRHOLD:
        svo_isr_hold();
        break;
    case ISRACC:
        svo_isr_acc();
        break;
    case ISRSLEW:
        svo_isr_slew();
        break;
    case ISRCREEP:
        svo_isr_creep();
        break;
    case ISRDELAY:
        svo_isr_delay();
        break;
    default:
        break;
    }
}

void svo_set_state(std::int16_t new_state)
{
    const std::int16_t old_state = svo_state;
    if (new_state == ISRHOLD) {
        if (job_timing_state == 2 && old_state != ISRHOLD) {
            job_end_tick = svo_tick_count;
        }
    } else if (job_timing_state == 1 && old_state == ISRHOLD) {
        job_start_tick = svo_tick_count;
        job_timing_state = 2;
    }
    svo_state = new_state;
}

void svo_hold_tick()
{
    if (hold_gain_count != 0) {
        --hold_gain_count;
        if (hold_gain_count == 0) {
            svo_gain_base_x = static_cast<std::int16_t>(svo_gains.XGain >> 2);
            svo_gain_base_y = static_cast<std::int16_t>(svo_gains.YGain >> 2);
        }
    }
}
