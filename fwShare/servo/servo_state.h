// The servo interrupt's state: its motion state, the position loop's
// memory and settings, and the vector settings the handlers work with.
//
// Each tick (fwShare/servo/servo_isr.h) runs the two-axis position loop (a simulated plant whose
// encoders follow the commanded position, and the firmware's loop that
// turns the following error into a motor command word per axis), then the
// handler of the current motion state. The loop's outputs are never read by
// the motion logic; the state machine alone decides the run time.
//
// Fixed-point quantities of the servo side:
//
//   quantity                         unit                      fraction bits  width
//   majrvel, minrvel                 servo counts per tick     23             u32
//   majrdvel, minrdvel               counts per tick per step  23             u32
//   majrfract, minrfract             count fraction            23 (of 32)     u32
//   pbdAccel, one_g                  counts per tick per tick  14             i32
//   LowSpeed, creep                  counts per tick            4             i32/u32
//   ddr + high_ddr (stopping dist.)  servo counts              16             u64 in 2 x u32
//   psuedodist, majrdisth            servo counts               0             u32/i32
//   corner ramp distance             servo counts               8             u32
//   slope                            minor / major             16             u16
//   anglediff                        degrees                   16             u32
//   cos_table, corner_factor_table   ratio                     16             u32/u16
//   acclcount, currvel, cnrvel       acceleration steps         0             u16
//
// Motion states of one VECTOR record:
//
//   ISRHOLD --VECTOR--> ISRACC --acclcount used up, or rem < dccDist--> ISRSLEW
//   ISRSLEW: slew while rem >= dccDist, else a deceleration tick (phase DCC)
//   ISRSLEW --currvel reaches 0--> ISRCREEP --majrdisth < creep_min--> ISRDELAY (end_delay)
//   ISRDELAY --end_delay ticks later--> ISRHOLD
//   at a corner with cnrvel: the next record continues in ISRACC in the same tick
//
// Speed profile of a vector (velocity over time):
//
//        slew
//       ______
//      /      \         acceleration: + majrdvel per tick (doubled after 20 ticks
//     /        \        on gentle ramps), deceleration: - majrdvel per tick,
//    /          \___    creep: CREEP_VELOCITY counts per tick to the end point
//   creep
#pragma once

#include <cstdint>

#include "fwShare/units.h"

enum SvoState : std::int16_t {
    ISRIDLE, ISRHOLD, ISRACC, ISRSLEW, ISRDCC, ISRCREEP, ISRCORN, ISRPENUP,
    ISRPENDOWN, ISRDELAY, R_HOME, RY_FOCUS, ISRPAUSE, ISRPLANMOVE
};

// Motion phase of a tick, counted per phase by the job clock.
enum SvoPhase : std::uint8_t { IDLE, HOLD, ACC, SLEW, DCC, CREEP, DELAY };

inline constexpr int SVO_PHASE_COUNT = 7;
extern const char* const svo_phase_names[SVO_PHASE_COUNT];
inline constexpr int SVO_STATE_COUNT = ISRPLANMOVE + 1;
static_assert(SVO_PHASE_COUNT == DELAY + 1);
extern const char* const svo_state_names[SVO_STATE_COUNT];

// Live loop settings, loaded by servo_init and servo_set_gains.
struct SvoGains {
    std::int16_t XGain, YGain;              // proportional gains
    std::int16_t XRateFactor, YRateFactor;  // weight of the error change, /256
    std::int16_t XIGain, YIGain;            // integrator right shift (low 5 bits)
    std::uint16_t K3X, K3Y;                 // weight of the change of the error term, /256
    std::int32_t XILimit, YILimit;          // integrator clamp
    std::int32_t ff_gain_x, ff_gain_y;      // weight of the last commanded step
};


// Everything the servo interrupt keeps, with its power-on values.
struct ServoIsrState {
    std::int16_t svo_state = ISRIDLE;  // motion state
    std::uint8_t phase = IDLE;         // motion phase the last tick left
    // Until the first gain load: rate factors 1000, integrator shift 32 & 31
    // = 0, integrator clamps 64000 / 32000, feed-forward 20 / 5.
    SvoGains svo_gains = {0, 0, 1000, 1000, 32, 32, 0, 0, 64000, 32000, 20, 5};

    // Commanded position, servo counts (12192 per inch).
    std::int32_t svo_pos_x = 0, svo_pos_y = 0;
    // Following error (wrapping 16-bit) and the 16-bit fraction carried
    // between ticks in its update.
    std::int16_t svo_err_x = 0, svo_err_y = 0;
    std::uint16_t svo_err_frac_x = 0, svo_err_frac_y = 0;
    // Signed step of the last tick that emitted one, servo counts.
    std::int32_t svo_step_x = 0, svo_step_y = 0;
    // Simulated encoder readings, the previous tick's readings, and the
    // encoder reading at servo position 0 (set at start-up), encoder counts.
    std::int32_t enc_x = 0, enc_y = 0, enc_last_x = 0, enc_last_y = 0;
    std::int32_t enc_base_x = 0, enc_base_y = 0;
    std::int32_t svo_integ_x = 0, svo_integ_y = 0;          // integrators
    std::int32_t svo_prev_term_x = 0, svo_prev_term_y = 0;  // previous tick's error term
    std::int16_t svo_gain_base_x = 0, svo_gain_base_y = 0;  // gains before the position reduction
    std::int16_t svo_gain_x = 0, svo_gain_y = 0;            // effective gains of this tick
    // Motor command words: magnitude 0..1024 in the low 11 bits, direction
    // in bit 15. On the machine they go out to the motor drivers every tick,
    // so they are written every tick here too, although nothing reads them.
    volatile std::uint16_t svo_out_x = 0, svo_out_y = 0;
    std::uint8_t svo_off = 0;  // loop switched off

    // Between vectors.
    std::int32_t delay_count = 0;      // remaining ISRDELAY ticks
    std::int16_t hold_gain_count = 0;  // ISRHOLD ticks until the standstill gains

    // Vector settings, written by start-up and the laser input layer.
    std::int16_t creep_min = 0;       // a vector ends when majrdisth drops below this, counts
    std::int32_t CREEP_VELOCITY = 0;  // creep velocity, servo counts per tick (1, 2 or 4)
    std::int32_t CREEP_SPEED = 0;     // creep speed, plot-bed units per second
    std::uint16_t End_Delay_1 = 0, End_Delay_2 = 0, End_Delay_3 = 0;  // end delays, ticks
    std::int32_t corner_chain_enable = 0;  // corner continuation on
};
