// The servo ticks and the main thread's waits for motion.
//
// The servo interrupt runs on the main thread, inside the two waits: for a
// free vector record when the ring is full, and for motion to stop. Each
// wait runs whole ticks back to back until its condition holds, testing the
// condition before every tick; no tick ever runs while the planner works or
// a record is being committed, so the estimate never depends on host speed.
#pragma once

#include <cstdint>

#include "fwShare/servo/vector_queue.h"

struct Machine;

// Why a run of ticks for a wait ended: its condition holds, no record can
// run (the wait could never end), or the estimator's tick budget ran out.
enum class SvoRunEnd { condition, stuck, budget };

// The seam through which the waits run their ticks: until wait_rec is free
// (with wait_rec null: until the interrupt has no record left), testing the
// condition before every tick and stopping before a tick when no record can
// run. The estimator installs its own runners here; without one, each tick
// counts itself and calls svo_isr.
using SvoTickRunner = SvoRunEnd (*)(Machine& m, const VdbData* wait_rec);

// What a wait waits for: a record to be freed, or the interrupt to have no
// record left.
enum class TickWait { record_free, idle };

// What the ticks and the waits keep, with the power-on values.
struct ServoTicksState {
    // Set when the job cannot go on (a wait that can never end, or a job
    // that runs longer than the 32-bit tick clock can express). Later waits
    // return at once and the interpreter stops reading.
    std::int32_t job_abort = 0;
    char job_abort_reason[160] = {};  // why, as said in the diagnostics

    // Plot-bed position of the head, plot-bed units, refreshed by svo_wait_idle.
    std::int32_t positionx = 0, positiony = 0;

    // The runner of the waits' ticks (null: the ticks one by one).
    SvoTickRunner tick_runner = nullptr;
};
