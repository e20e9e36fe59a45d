// The servo's two-axis position loop: a simulated plant whose encoders
// follow the commanded position, and the firmware's loop that turns the
// following error into a motor command word per axis. It runs first in
// every tick; the motion logic never reads what it computes, and the idle
// handler is the only one that reads its following error.
#pragma once

#include <cstdint>

#include "base/wrap_math.h"

namespace svo_loop {

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

// One axis of the loop for one tick: the simulated encoder follows the
// commanded position, the error takes out what the encoder saw move, and
// the error term, its change and the clamped integrator make the motor
// command value. Returns that value.
template <bool y_axis>
[[gnu::always_inline]] inline std::int32_t
run_axis(const AxisScales& k, const AxisGains& c, AxisMemory& m, std::int32_t pos,
         std::int16_t& err, std::int16_t gain, std::int32_t step)
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

    const std::int32_t damped =
        wrap_add(term, wrap_mul(static_cast<std::int32_t>(c.k3), diff) >> 8);
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

// What one tick's position loop reads of the shared servo state, as it
// stands when the tick starts.
struct LoopInputs {
    std::int32_t pos_x, pos_y;    // commanded position
    std::int32_t step_x, step_y;  // last commanded step
    std::int16_t gain_base_x, gain_base_y;
};

} // namespace svo_loop

// Encoding of a loop output into the X motor command word.
std::uint16_t svo_encode_out_x(std::int32_t value);
// The Y motor command word of a loop output.
std::uint16_t svo_encode_out_y(std::int32_t value);
