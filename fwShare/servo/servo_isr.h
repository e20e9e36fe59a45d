// The servo interrupt: one call of svo_isr is one servo tick (0.4 ms).
//
// Each tick runs the two-axis position loop (a simulated plant whose
// encoders follow the commanded position, and the firmware's loop that
// turns the following error into a motor command word per axis), then the
// handler of the current motion state. The loop's outputs are never read by
// the motion logic; the state machine alone decides the run time.
#pragma once

#include <cstdint>

struct VdbData;

enum SvoState : std::int16_t {
    ISRIDLE, ISRHOLD, ISRACC, ISRSLEW, ISRDCC, ISRCREEP, ISRCORN, ISRPENUP,
    ISRPENDOWN, ISRDELAY, R_HOME, RY_FOCUS, ISRPAUSE, ISRPLANMOVE
};

// Motion phase of a tick, counted per phase by the job clock.
enum SvoPhase : std::uint8_t { IDLE, HOLD, ACC, SLEW, DCC, CREEP, DELAY };

inline constexpr int SVO_PHASE_COUNT = 7;
extern const char* const svo_phase_names[SVO_PHASE_COUNT];
extern const char* const svo_state_names[14];

extern std::int16_t svo_state;
extern std::uint8_t phase;

// Live loop settings, loaded by servo_init and servo_set_gains.
struct SvoGains {
    std::int16_t XGain, YGain;              // proportional gains
    std::int16_t XRateFactor, YRateFactor;  // weight of the error change, /256
    std::int16_t XIGain, YIGain;            // integrator right shift (low 5 bits)
    std::uint16_t K3X, K3Y;                 // weight of the change of the error term, /256
    std::int32_t XILimit, YILimit;          // integrator clamp
    std::int32_t ff_gain_x, ff_gain_y;      // weight of the last commanded step
};
extern SvoGains svo_gains;

// Commanded position, servo counts (12192 per inch).
extern std::int32_t svo_pos_x, svo_pos_y;
// Following error (wrapping 16-bit) and the 16-bit fraction carried
// between ticks in its update.
extern std::int16_t svo_err_x, svo_err_y;
extern std::uint16_t svo_err_frac_x, svo_err_frac_y;
// Signed step of the last tick that emitted one.
extern std::int32_t svo_step_x, svo_step_y;
// Simulated encoder readings, the previous tick's readings, encoder origin.
extern std::int32_t enc_x, enc_y, enc_last_x, enc_last_y, enc_base_x, enc_base_y;
extern std::int32_t svo_integ_x, svo_integ_y;         // integrators
extern std::int32_t svo_prev_term_x, svo_prev_term_y; // previous tick's error term
extern std::int16_t svo_gain_base_x, svo_gain_base_y; // gains before the position reduction
extern std::int16_t svo_gain_x, svo_gain_y;           // effective gains of this tick
// Motor command words: magnitude 0..1024 in the low 11 bits, direction in
// bit 15. On the machine they go out to the motor drivers every tick, so
// they are written every tick here too, although nothing reads them back.
extern volatile std::uint16_t svo_out_x, svo_out_y;
extern std::uint8_t svo_off;                          // loop switched off

// Between-vector state.
extern std::int32_t delay_count;      // remaining ISRDELAY ticks
extern std::int16_t hold_gain_count;  // ISRHOLD ticks until the standstill gains

// Vector settings of the servo, written by start-up and the laser input layer.
extern std::int16_t creep_min;        // a vector ends when majrdisth drops below this
extern std::int32_t CREEP_VELOCITY;   // creep velocity, servo counts per tick (1, 2 or 4)
extern std::int32_t CREEP_SPEED;      // creep speed, plot-bed units per second
extern std::uint16_t End_Delay_1, End_Delay_2, End_Delay_3;  // end delays, ticks
extern std::int32_t corner_chain_enable;                     // corner continuation on

// One servo tick: the position loop, then the current state's handler.
void svo_isr();

// Why a run of ticks ended.
enum class SvoRunEnd { condition, stuck, budget };

// Runs servo ticks as the waits do, each exactly as svo_isr: until wait_rec
// is free (with wait_rec null: until the interrupt has no record left),
// stopping before a tick when no record can run or max_ticks have run.
// Counts each tick and its phase in the job clock. *ran gets the ticks run.
SvoRunEnd svo_run_ticks(const VdbData* wait_rec, std::uint64_t max_ticks, std::uint64_t* ran);

void svo_set_state(std::int16_t new_state);
void svo_hold_tick();

// The two-axis position loop alone (the first part of every tick).
void svo_feedback_loop();

// Encoder readings derived from the commanded position.
std::int32_t svo_encoder_x();
std::int32_t svo_encoder_y();

// Encoding of a loop output into a motor command word.
std::uint16_t svo_encode_out_x(std::int32_t value);
std::uint16_t svo_encode_out_y(std::int32_t value);
