// The servo ticks and the main thread's waits for motion.
//
// The servo interrupt runs on the main thread, inside the two waits: for a
// free vector record when the ring is full, and for motion to stop. Each
// wait runs whole ticks back to back until its condition holds, testing the
// condition before every tick; no tick ever runs while the planner works or
// a record is being committed, so the estimate never depends on host speed.
#pragma once

#include <cstdint>

#include "base/platform.h"
#include "base/state_names.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/tick_clock.h"
#include "fwShare/servo/vector_queue.h"

// Why a run of ticks for a wait ended: its condition holds, no record can
// run (the wait could never end), or the estimator's tick budget ran out.
enum class SvoRunEnd { condition, stuck, budget };

// The seam through which the waits run their ticks: until wait_rec is free
// (with wait_rec null: until the interrupt has no record left), testing the
// condition before every tick and stopping before a tick when no record can
// run. The estimator installs its own runners here; without one, each tick
// counts itself and calls svo_isr.
using SvoTickRunner = SvoRunEnd (*)(const VdbData* wait_rec);

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
extern ServoTicksState servo_ticks_state;

// Puts the ticks' state back to its power-on values.
void servo_ticks_reset();

// The ticks' state by its firmware names.
VEMTRAC_STATE_NAMES(servo_ticks_state, job_abort, positionx, positiony);

// The system's one lock: held across each run of ticks and while the main
// thread loads servo gains, so that the gains change between two ticks.
extern platform::Lock isr_lock;

// Waits until the servo interrupt has no record left (SVO_VectPtr null),
// then recomputes positionx and positiony from the commanded position.
void svo_wait_idle();

// Waits for idle, then switches the loop off and enters ISRIDLE.
void svo_set_idle();

// Waits until the interrupt has freed rec. False when it never can.
bool svo_wait_record_free(const VdbData* rec);

// Why the job could not go on (empty while it can).
const char* servo_ticks_abort_reason();
// Keeps why a tick runner stopped a wait (said when the wait gives up).
void svo_set_abort_reason(const char* reason);

// Counts one tick in the job clock: the phase the last tick left.
[[gnu::always_inline]] inline void svo_count_tick()
{
    svo_tick_count = static_cast<std::int32_t>(static_cast<std::uint32_t>(svo_tick_count) + 1u);
    if (job_timing_state != JOB_CLOCK_OFF) {
        phase_tick_count[phase] =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(phase_tick_count[phase]) + 1u);
    }
}

// Whether a wait's condition holds: wait_rec free, or with wait_rec null
// no record left to execute.
inline bool svo_wait_over(const VdbData* wait_rec)
{
    return wait_rec != nullptr ? wait_rec->cmd == NULL_CMD : SVO_VectPtr == nullptr;
}

// Whether no record can run: none to execute, or one being committed.
inline bool svo_ticks_stuck()
{
    return SVO_VectPtr == nullptr || isr_holdoff != 0;
}
