// The servo interrupt: one call of svo_isr is one servo tick (0.4 ms): the
// two-axis position loop, then the handler of the current motion state
// (fwShare/servo/servo_state.h describes the states and their quantities).
#pragma once

#include <cstdint>

#include "fwShare/servo/servo_state.h"

// One servo tick: the position loop, then the current state's handler.
void svo_isr();
// The handler of the current motion state (the second part of every tick).
void svo_dispatch_state();

// The state handlers of the hold, end delay and idle states.
void svo_isr_hold();
// One end-delay tick: counts the delay down, then back to ISRHOLD.
void svo_isr_delay();
// Idle: the position takes up the following error; a record left is freed.
void svo_isr_idle();

// The two-axis position loop alone (the first part of every tick).
void svo_feedback_loop();

// Encoder readings derived from the commanded position.
std::int32_t svo_encoder_x();
// The Y encoder reading (it counts the other way).
std::int32_t svo_encoder_y();

// Encoding of a loop output into a motor command word.
std::uint16_t svo_encode_out_x(std::int32_t value);
// The Y motor command word of a loop output.
std::uint16_t svo_encode_out_y(std::int32_t value);
