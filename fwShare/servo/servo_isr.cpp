#include "fwShare/servo/servo_isr.h"

#include <algorithm>

#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/tick_account.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_exec.h"
#include "fwShare/servo/vector_queue.h"
#include "base/wrap_math.h"

const char* const svo_phase_names[SVO_PHASE_COUNT] = {
    "IDLE", "HOLD", "ACC", "SLEW", "DCC", "CREEP", "DELAY",
};

const char* const svo_state_names[14] = {
    "ISRIDLE", "ISRHOLD", "ISRACC", "ISRSLEW", "ISRDCC", "ISRCREEP", "ISRCORN",
    "ISRPENUP", "ISRPENDOWN", "ISRDELAY", "R_HOME", "RY_FOCUS", "ISRPAUSE", "ISRPLANMOVE",
};

ServoIsrState servo_isr_state;

void servo_isr_reset()
{
    servo_isr_state = ServoIsrState{};
}

namespace {

// Encoder count for a commanded position: pos * scale / 65536 with the
// exact product and the quotient truncated toward zero.
inline std::int32_t encoder_counts(std::int32_t pos, std::int32_t scale)
{
    std::int64_t product = static_cast<std::int64_t>(pos) * scale;
    return static_cast<std::int32_t>(product / 65536);
}

// One axis of the position loop: its scales, derived from the resolutions
// at start-up, and its gains, which change only at rest under the lock;
// both stay fixed for a run of ticks. Y counts its encoder the other way.
struct AxisScales {
    std::int32_t enc_base;     // encoder reading at servo position 0
    std::int32_t enc_scale;    // servo counts to encoder counts, /65536
    std::int32_t enc_to_err;   // encoder counts to following error, /2^16 after x16
    std::int32_t reso_native;  // servo counts per inch the loop was tuned for
    std::int32_t reso;         // servo counts per inch the machine runs at
};

struct AxisGains {
    std::int16_t rate_factor;  // weight of the error change, /256
    std::int32_t i_limit;      // integrator clamp
    std::uint16_t k3;          // weight of the change of the error term, /256
    std::int16_t i_gain;       // integrator right shift (low 5 bits)
    std::int32_t ff_gain;      // weight of the last commanded step
};

// The scales of this machine, as start-up derives them (encoder scale words
// 10923 and 5461, servo 12192 counts per inch tuned for 8128). A run of
// ticks with these scales uses them as constants.
constexpr AxisScales machine_scales_x{-87987, 16383, 16385, 8128, 12192};
constexpr AxisScales machine_scales_y{6104, 32768, 8192, 8128, 12192};

inline bool same_scales(const AxisScales& a, const AxisScales& b)
{
    return a.enc_base == b.enc_base && a.enc_scale == b.enc_scale &&
           a.enc_to_err == b.enc_to_err && a.reso_native == b.reso_native && a.reso == b.reso;
}

struct AxisMemory {
    std::uint16_t err_frac;
    std::int32_t enc;
    std::int32_t enc_last;
    std::int32_t integ;
    std::int32_t prev_term;
};

struct LoopSettings {
    AxisScales scales_x;
    AxisScales scales_y;
    AxisGains x;
    AxisGains y;
};

struct LoopMemory {
    AxisMemory x;
    AxisMemory y;
    std::int16_t gain_x;
    std::int16_t gain_y;
};

LoopSettings load_loop_settings()
{
    const SvoGains& g = svo_gains;
    return {{enc_base_x, enc_scale_x, enc_to_err_x, svo_reso_native_x, svo_reso_x},
            {enc_base_y, enc_scale_y, enc_to_err_y, svo_reso_native_y, svo_reso_y},
            {g.XRateFactor, g.XILimit, g.K3X, g.XIGain, g.ff_gain_x},
            {g.YRateFactor, g.YILimit, g.K3Y, g.YIGain, g.ff_gain_y}};
}

LoopMemory load_loop_memory()
{
    return {{svo_err_frac_x, enc_x, enc_last_x, svo_integ_x, svo_prev_term_x},
            {svo_err_frac_y, enc_y, enc_last_y, svo_integ_y, svo_prev_term_y},
            svo_gain_x,
            svo_gain_y};
}

void store_loop_memory(const LoopMemory& m)
{
    svo_err_frac_x = m.x.err_frac;
    enc_x = m.x.enc;
    enc_last_x = m.x.enc_last;
    svo_integ_x = m.x.integ;
    svo_prev_term_x = m.x.prev_term;
    svo_err_frac_y = m.y.err_frac;
    enc_y = m.y.enc;
    enc_last_y = m.y.enc_last;
    svo_integ_y = m.y.integ;
    svo_prev_term_y = m.y.prev_term;
    svo_gain_x = m.gain_x;
    svo_gain_y = m.gain_y;
}

// One axis of the loop for one tick: the simulated encoder follows the
// commanded position, the error takes out what the encoder saw move, and
// the error term, its change and the clamped integrator make the motor
// command value. Returns that value.
template <bool y_axis>
[[gnu::always_inline]] inline std::int32_t run_axis(const AxisScales& k, const AxisGains& c, AxisMemory& m,
                             std::int32_t pos, std::int16_t& err, std::int16_t gain,
                             std::int32_t step)
{
    const std::int32_t counts = encoder_counts(pos, k.enc_scale);
    m.enc = y_axis ? wrap_sub(k.enc_base, counts) : wrap_add(k.enc_base, counts);
    const std::int32_t moved = y_axis ? wrap_sub(m.enc, m.enc_last) : wrap_sub(m.enc_last, m.enc);
    m.enc_last = m.enc;

    const std::int32_t acc = wrap_add(wrap_mul(wrap_mul(k.enc_to_err, moved), 16), m.err_frac);
    m.err_frac = static_cast<std::uint16_t>(acc & 0xFFFF);
    const std::int16_t chg = static_cast<std::int16_t>(acc >> 16);
    err = static_cast<std::int16_t>(err + chg);

    const std::int32_t rate = (static_cast<std::int32_t>(c.rate_factor) * chg) >> 8;
    const std::int32_t term = wrap_mul(wrap_add(err, rate), k.reso_native) / k.reso;
    m.integ = wrap_add(m.integ, term);
    if (m.integ > c.i_limit) {
        m.integ = c.i_limit;
    } else if (m.integ < wrap_neg(c.i_limit)) {
        m.integ = wrap_neg(c.i_limit);
    }
    const std::int32_t diff = wrap_sub(term, m.prev_term);
    m.prev_term = term;

    const std::int32_t damped = wrap_add(term, wrap_mul(static_cast<std::int32_t>(c.k3), diff) >> 8);
    const std::int32_t p = wrap_mul(damped, gain) >> 5;
    const std::int32_t i = m.integ >> (c.i_gain & 31);
    return wrap_add(wrap_add(p, i), wrap_mul(step, c.ff_gain));
}

// Both axes reduce their gain with the X position, never below 30.
[[gnu::always_inline]] inline std::int16_t gain_by_position(std::int16_t base, std::int32_t pos_x)
{
    std::int16_t gain = static_cast<std::int16_t>(base - (pos_x >> 13));
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

namespace {

// Magnitude of a loop output limited to 1024 (0x400), the drivers' full scale.
[[gnu::always_inline]] inline std::uint16_t out_magnitude(std::int32_t value)
{
    const std::uint32_t magnitude = abs_u32(value);
    return static_cast<std::uint16_t>(magnitude < 1024u ? magnitude : 1024u);
}

// X drives forward with bit 15 set; the direction and the limited
// magnitude are chosen without branches, since the sign of the output
// changes from tick to tick.
[[gnu::always_inline]] inline std::uint16_t encode_out_x(std::int32_t value)
{
    const std::uint16_t direction = value >= 1 ? 0x8000 : 0;
    return static_cast<std::uint16_t>(direction | out_magnitude(value));
}

// Y is wired the other way round: bit 15 set for zero and below.
[[gnu::always_inline]] inline std::uint16_t encode_out_y(std::int32_t value)
{
    const std::uint16_t direction = value <= 0 ? 0x8000 : 0;
    return static_cast<std::uint16_t>(direction | out_magnitude(value));
}

} // namespace

// The X output word of a loop value.
std::uint16_t svo_encode_out_x(std::int32_t value)
{
    return encode_out_x(value);
}

// The Y output word of a loop value.
std::uint16_t svo_encode_out_y(std::int32_t value)
{
    return encode_out_y(value);
}

namespace {

// What one tick's position loop reads of the shared servo state, as it
// stands when the tick starts.
struct LoopInputs {
    std::int32_t pos_x, pos_y;    // commanded position
    std::int32_t step_x, step_y;  // last commanded step
    std::int16_t gain_base_x, gain_base_y;
};

inline LoopInputs loop_inputs()
{
    return {svo_pos_x, svo_pos_y, svo_step_x, svo_step_y, svo_gain_base_x, svo_gain_base_y};
}

// The position loop for one tick over the loop's own memory and the
// following errors. Both axes take their gain from the X position, which
// the loop does not move, so the gains are set before either axis runs.
[[gnu::always_inline]] inline void feedback_loop(const AxisScales& kx, const AxisScales& ky,
                                                 const LoopSettings& c, LoopMemory& m,
                                                 const LoopInputs& in, std::int16_t& err_x,
                                                 std::int16_t& err_y)
{
    m.gain_x = gain_by_position(in.gain_base_x, in.pos_x);
    m.gain_y = gain_by_position(in.gain_base_y, in.pos_x);
    const std::int32_t out_x = run_axis<false>(kx, c.x, m.x, in.pos_x, err_x, m.gain_x, in.step_x);
    const std::int32_t out_y = run_axis<true>(ky, c.y, m.y, in.pos_y, err_y, m.gain_y, in.step_y);
    if (svo_off == 0) {
        svo_out_x = encode_out_x(out_x);
        svo_out_y = encode_out_y(out_y);
    } else {
        // A switched-off loop keeps its output words and drops its integrators.
        m.x.integ = 0;
        m.y.integ = 0;
    }
}

// The handler of the current motion state.
inline void dispatch_state()
{
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

} // namespace

void svo_feedback_loop()
{
    LoopMemory m = load_loop_memory();
    const LoopSettings c = load_loop_settings();
    feedback_loop(c.scales_x, c.scales_y, c, m, loop_inputs(), svo_err_x, svo_err_y);
    store_loop_memory(m);
}

void svo_isr()
{
    svo_feedback_loop();
    dispatch_state();
}

namespace {

// A run of end-delay ticks: each only counts delay_count down.
std::uint64_t delay_run(std::uint64_t max_ticks)
{
    if (delay_count < 2 || max_ticks < 2) {
        return 0;
    }
    const std::uint64_t k = std::min(static_cast<std::uint64_t>(delay_count), max_ticks);
    delay_count = static_cast<std::int32_t>(static_cast<std::uint64_t>(delay_count) - k);
    phase = DELAY;
    return k;
}

// Counts k ticks of a run in one of the default run's tallies.
inline std::uint64_t tally(std::uint64_t& ticks, std::uint64_t k)
{
    ticks += k;
    return k;
}

// Ticks of the current state that can be advanced in one step (0: none).
inline std::uint64_t alike_ticks_run(std::uint64_t max_ticks)
{
    std::uint64_t& ramp = servo_ticks_state.ticks_in_ramps;
    std::uint64_t& closed = servo_ticks_state.ticks_in_closed_form;
    switch (svo_state) {
    case ISRACC:
        return tally(ramp, svo_acc_run(max_ticks));
    case ISRSLEW: {
        const std::uint64_t k = svo_slew_run(max_ticks);
        return k != 0 ? tally(closed, k) : tally(ramp, svo_dcc_run(max_ticks));
    }
    case ISRCREEP:
        return tally(closed, svo_creep_run(max_ticks));
    case ISRDELAY:
        return tally(closed, delay_run(max_ticks));
    default:
        return 0;
    }
}

// Counts one tick in the job clock: the phase the last tick left.
[[gnu::always_inline]] inline void count_tick()
{
    svo_tick_count = static_cast<std::int32_t>(static_cast<std::uint32_t>(svo_tick_count) + 1u);
    if (job_timing_state != JOB_CLOCK_OFF) {
        phase_tick_count[phase] =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(phase_tick_count[phase]) + 1u);
    }
}

// Counts a run of k ticks: its first tick counts the phase the tick before
// it left, the others the phase of the run.
inline void count_ticks(std::uint32_t k, std::uint8_t first_phase, std::uint8_t later_phase)
{
    svo_tick_count = static_cast<std::int32_t>(static_cast<std::uint32_t>(svo_tick_count) + k);
    if (job_timing_state != JOB_CLOCK_OFF) {
        std::int32_t& first = phase_tick_count[first_phase];
        first = static_cast<std::int32_t>(static_cast<std::uint32_t>(first) + 1u);
        std::int32_t& later = phase_tick_count[later_phase];
        later = static_cast<std::int32_t>(static_cast<std::uint32_t>(later) + (k - 1u));
    }
}

// The work the coming tick belongs to: the executing record's; during an
// end delay, or on the ring slot the interrupt stepped on to when a record
// ended but which holds no committed record yet, the record's that ended.
inline std::uint32_t tick_work()
{
    const VdbData* rec = SVO_VectPtr;
    return svo_state == ISRDELAY || rec->cmd == NULL_CMD ? tick_account_state.tick_work
                                                         : rec->work;
}

inline void account_ticks(std::uint32_t first_tick, std::uint32_t work)
{
    tick_account_state.tick_work = work;
    tick_account_note(first_tick, work, phase);
}

// Ticks of the full replay taken by step, each with the position loop, the
// commanded position, error and step held in registers: up to max_ticks,
// for as long as step gives the coming tick's X and Y step. Each tick
// leaves tick_phase. Returns the ticks run.
template <bool accounting, typename Step>
[[gnu::always_inline]] inline std::uint64_t ticks_with_loop(
    const AxisScales& kx, const AxisScales& ky, const LoopSettings& settings, LoopMemory& memory,
    std::uint64_t max_ticks, std::uint32_t work, std::uint8_t tick_phase, Step step)
{
    LoopInputs in = loop_inputs();
    std::int16_t err_x = svo_err_x;
    std::int16_t err_y = svo_err_y;
    std::uint64_t n = 0;
    std::int32_t dx = 0;
    std::int32_t dy = 0;
    while (n < max_ticks && step(dx, dy)) {
        ++n;
        count_tick();
        const std::uint32_t first_tick = static_cast<std::uint32_t>(svo_tick_count);
        feedback_loop(kx, ky, settings, memory, in, err_x, err_y);
        phase = tick_phase;
        in.pos_x = wrap_add(in.pos_x, dx);
        in.pos_y = wrap_add(in.pos_y, dy);
        err_x = static_cast<std::int16_t>(wrap_add(err_x, dx));
        err_y = static_cast<std::int16_t>(wrap_add(err_y, dy));
        in.step_x = dx;
        in.step_y = dy;
        if constexpr (accounting) {
            account_ticks(first_tick, work);
        }
    }
    svo_pos_x = in.pos_x;
    svo_pos_y = in.pos_y;
    svo_err_x = err_x;
    svo_err_y = err_y;
    svo_step_x = in.step_x;
    svo_step_y = in.step_y;
    return n;
}

// The moving ticks of the full replay that run with the record in
// registers: acceleration, slew, and deceleration once the slew ends.
// Returns the ticks run (0: the next tick runs through its handler).
template <bool accounting>
[[gnu::always_inline]] inline std::uint64_t moving_ticks_with_loop(
    const AxisScales& kx, const AxisScales& ky, const LoopSettings& settings, LoopMemory& memory,
    std::uint64_t max_ticks, std::uint32_t work)
{
    RampTicks ramp;
    if (svo_state == ISRACC) {
        svo_acc_ticks_begin(&ramp);
        const std::uint64_t k = ticks_with_loop<accounting>(
            kx, ky, settings, memory, max_ticks, work, ACC,
            [&](std::int32_t& dx, std::int32_t& dy) { return svo_ramp_step<true>(ramp, dx, dy); });
        svo_store_ramp_values(ramp.rec, ramp.v);
        return k;
    }
    SlewTicks slew;
    if (!svo_slew_ticks_begin(&slew)) {
        return 0;
    }
    const std::uint64_t k = ticks_with_loop<accounting>(
        kx, ky, settings, memory, max_ticks, work, SLEW,
        [&](std::int32_t& dx, std::int32_t& dy) { return svo_plain_slew_step(slew, dx, dy); });
    svo_slew_ticks_end(slew);
    if (k != 0 || !svo_dcc_ticks_begin(&ramp)) {
        return k;
    }
    const std::uint64_t d = ticks_with_loop<accounting>(
        kx, ky, settings, memory, max_ticks, work, DCC,
        [&](std::int32_t& dx, std::int32_t& dy) { return svo_ramp_step<false>(ramp, dx, dy); });
    svo_store_ramp_values(ramp.rec, ramp.v);
    return d;
}

// The run of ticks with the axes' scales kx, ky; inlined into each caller,
// so that the machine's own scales become constants of the loop. Without
// the loop, the position loop is left out (nothing reads what it computes)
// and runs of alike ticks advance in one step; with accounting, each tick's
// work and phase go to the tick log.
template <bool with_loop, bool accounting>
[[gnu::always_inline]] inline SvoRunEnd run_ticks(const AxisScales& kx, const AxisScales& ky,
                                                  const VdbData* wait_rec,
                                                  std::uint64_t max_ticks, std::uint64_t* ran)
{
    const LoopSettings settings = load_loop_settings();
    LoopMemory memory = load_loop_memory();
    std::uint64_t n = 0;
    SvoRunEnd end = SvoRunEnd::condition;
    for (;;) {
        if (wait_rec != nullptr ? wait_rec->cmd == NULL_CMD : SVO_VectPtr == nullptr) {
            break;
        }
        if (SVO_VectPtr == nullptr || isr_holdoff != 0) {
            end = SvoRunEnd::stuck;
            break;
        }
        if (n == max_ticks) {
            end = SvoRunEnd::budget;
            break;
        }
        const std::uint32_t work = accounting ? tick_work() : 0;
        const std::uint32_t first_tick = static_cast<std::uint32_t>(svo_tick_count) + 1u;
        if constexpr (!with_loop) {
            const std::uint8_t first_phase = phase;
            const std::uint64_t k = alike_ticks_run(max_ticks - n);
            if (k != 0) {
                count_ticks(static_cast<std::uint32_t>(k), first_phase, phase);
                n += k;
                if constexpr (accounting) {
                    account_ticks(first_tick, work);
                }
                continue;
            }
            ++servo_ticks_state.ticks_one_by_one;
        } else if (svo_state == ISRACC || svo_state == ISRSLEW) {
            const std::uint64_t k = moving_ticks_with_loop<accounting>(kx, ky, settings, memory,
                                                                       max_ticks - n, work);
            if (k != 0) {
                n += k;
                continue;
            }
        }
        ++n;
        count_tick();
        if constexpr (with_loop) {
            feedback_loop(kx, ky, settings, memory, loop_inputs(), svo_err_x, svo_err_y);
            if (svo_state == ISRIDLE) {
                // The idle handler drops the integrators: it works on the globals.
                store_loop_memory(memory);
                svo_isr_idle();
                memory = load_loop_memory();
            } else {
                dispatch_state();
            }
        } else if (svo_state == ISRIDLE) {
            // Set-up leaves ISRIDLE before any job tick; should a tick run
            // there, it takes the following error into the position, so it
            // runs whole.
            svo_feedback_loop();
            svo_isr_idle();
        } else {
            dispatch_state();
        }
        if constexpr (accounting) {
            account_ticks(first_tick, work);
        }
    }
    if constexpr (with_loop) {
        store_loop_memory(memory);
    }
    *ran = n;
    return end;
}

// Marked hot: the job spends its time here, and a compiler that guesses
// otherwise divides by the constant scales with a divide instruction.
template <bool with_loop, bool accounting>
[[gnu::hot]] SvoRunEnd run_ticks_with_scales(const VdbData* wait_rec, std::uint64_t max_ticks,
                                             std::uint64_t* ran)
{
    const LoopSettings s = load_loop_settings();
    if (same_scales(s.scales_x, machine_scales_x) && same_scales(s.scales_y, machine_scales_y)) {
        return run_ticks<with_loop, accounting>(machine_scales_x, machine_scales_y, wait_rec,
                                                max_ticks, ran);
    }
    return run_ticks<with_loop, accounting>(s.scales_x, s.scales_y, wait_rec, max_ticks, ran);
}

// The literal replay: each tick counts itself and calls the interrupt,
// nothing else; the tick log, when kept, only watches.
SvoRunEnd literal_ticks(const VdbData* wait_rec, std::uint64_t max_ticks, std::uint64_t* ran)
{
    const bool accounting = tick_account_state.enabled;
    std::uint64_t n = 0;
    SvoRunEnd end = SvoRunEnd::condition;
    for (;;) {
        if (wait_rec != nullptr ? wait_rec->cmd == NULL_CMD : SVO_VectPtr == nullptr) {
            break;
        }
        if (SVO_VectPtr == nullptr || isr_holdoff != 0) {
            end = SvoRunEnd::stuck;
            break;
        }
        if (n == max_ticks) {
            end = SvoRunEnd::budget;
            break;
        }
        const std::uint32_t work = accounting ? tick_work() : 0;
        ++n;
        count_tick();
        svo_isr();
        if (accounting) {
            account_ticks(static_cast<std::uint32_t>(svo_tick_count), work);
        }
    }
    *ran = n;
    return end;
}

} // namespace

SvoRunEnd svo_run_ticks(const VdbData* wait_rec, std::uint64_t max_ticks, std::uint64_t* ran)
{
    const bool accounting = tick_account_state.enabled;
    if (servo_ticks_state.replay_mode == ReplayMode::literal) {
        return literal_ticks(wait_rec, max_ticks, ran);
    }
    if (servo_ticks_state.replay_mode == ReplayMode::full) {
        return accounting ? run_ticks_with_scales<true, true>(wait_rec, max_ticks, ran)
                          : run_ticks_with_scales<true, false>(wait_rec, max_ticks, ran);
    }
    return accounting ? run_ticks_with_scales<false, true>(wait_rec, max_ticks, ran)
                      : run_ticks_with_scales<false, false>(wait_rec, max_ticks, ran);
}

void svo_set_state(std::int16_t new_state)
{
    const std::int16_t old_state = svo_state;
    if (new_state == ISRHOLD) {
        if (job_timing_state == JOB_CLOCK_RUNNING && old_state != ISRHOLD) {
            job_end_tick = svo_tick_count;
        }
    } else if (job_timing_state == JOB_CLOCK_ARMED && old_state == ISRHOLD) {
        job_start_tick = svo_tick_count;
        job_timing_state = JOB_CLOCK_RUNNING;
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
