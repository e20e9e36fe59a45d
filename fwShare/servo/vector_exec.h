// Execution of a VECTOR record, tick by tick: acceleration, slew with
// deceleration, creep to the exact end point, and corner continuation into
// the next record.
//
// The motion is a two-axis digital differential analyser: the record drives
// its major axis (the longer distance) and its minor axis, each with a
// velocity in counts per tick with 23 fraction bits and a fraction
// accumulator; the octant bits map major/minor onto +-X/+-Y. The stopping
// distance D is a 64-bit accumulator of 2^-16 counts held in ddr/high_ddr.
#pragma once

#include <cstdint>

#include "fwShare/servo/vector_queue.h"

// One acceleration tick, or the slew tick when the ramp is over.
void svo_isr_acc();
// One slew tick, or a deceleration tick when the stopping distance is reached.
void svo_isr_slew();
// One deceleration tick, or the creep tick when the speed is down.
void svo_dcc_step();
// One creep tick, or the vector's last step and the release of its record.
void svo_isr_creep();
// Applies a moving tick's step, taking the corner into the next record when it may.
void svo_emit_step(std::int32_t major_step, std::int32_t minor_step);

// Runs of alike ticks in closed form: up to max_ticks ticks of slew at
// constant speed, or of creep, advanced in one step exactly as the ticks
// would leave the record, the commanded position and the last step; never a
// tick that changes state, takes a corner, releases a record or prints.
// Returns the ticks advanced, 0 when fewer than two can be (the next tick
// then runs as usual). The caller counts the ticks.
std::uint64_t svo_slew_run(std::uint64_t max_ticks);
// The same for a run of creep ticks.
std::uint64_t svo_creep_run(std::uint64_t max_ticks);

// Runs of ramp ticks, each computed as the handler computes it but with
// the record's values kept in registers: up to max_ticks acceleration
// ticks, stopping before a tick that leaves the ramp, doubles the
// acceleration or takes a corner; or deceleration ticks, stopping before a
// tick that slews, prints, enters creep or takes a corner. Return the ticks
// run (0: none); the caller counts them.
std::uint64_t svo_acc_run(std::uint64_t max_ticks);
// The same for a run of deceleration ticks.
std::uint64_t svo_dcc_run(std::uint64_t max_ticks);

// Forgets which record the long-vector warning was last printed for.
void svo_exec_reset();

// One routine per octant: adds a major step a and a minor step b to the
// commanded position and the following errors, and records the step.
extern const OctantMoveFn octant_move[8];
