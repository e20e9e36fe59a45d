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

struct VdbData;

// Most ticks one job may run: the run time is a 32-bit tick difference that
// is doubled in 32-bit unsigned arithmetic.
inline constexpr std::uint64_t svo_max_job_ticks = 0x7FFFFFFFu;

// How the waits run their ticks. All three give the same estimate, console
// and status lines; the literal replay is the oracle the others are tested
// against.
//   literal  every tick counts itself and calls svo_isr, nothing else; the
//            planner walks its corner ramps step by step
//   full     every tick with the position loop, runs of ticks with the
//            record in registers
//   fast     the position loop left out, runs of alike ticks in one step
enum class ReplayMode : std::uint8_t { fast, full, literal };

// Job clock states.
enum JobTimingState : std::int32_t { JOB_CLOCK_OFF, JOB_CLOCK_ARMED, JOB_CLOCK_RUNNING };

// What the ticks and the waits keep, with the power-on values.
struct ServoTicksState {
    // The job clock's counters, moved by the ticks and by svo_set_state.
    std::int32_t svo_tick_count = 0;       // servo ticks since power-on (0.4 ms each)
    std::int32_t phase_tick_count[7] = {}; // ticks per motion phase while the clock is on
    std::int32_t job_timing_state = JOB_CLOCK_OFF;
    // svo_tick_count at the first departure from ISRHOLD after the clock was
    // armed, and at the latest arrival in ISRHOLD while it runs.
    std::int32_t job_start_tick = 0;
    std::int32_t job_end_tick = 0;

    // Set when the job cannot go on (a wait that can never end, or a job
    // that runs longer than the 32-bit tick clock can express). Later waits
    // return at once and the interpreter stops reading.
    std::int32_t job_abort = 0;
    char job_abort_reason[160] = {};  // why, as said in the diagnostics

    // Plot-bed position of the head, plot-bed units, refreshed by svo_wait_idle.
    std::int32_t positionx = 0, positiony = 0;

    // Ticks the current job has run, and the most it may run.
    std::uint64_t job_ticks_run = 0;
    std::uint64_t job_tick_limit = svo_max_job_ticks;

    ReplayMode replay_mode = ReplayMode::fast;
    // How the default run got through its ticks: through the state handlers
    // one by one, in ramps run with the record in registers, in closed form.
    std::uint64_t ticks_one_by_one = 0;
    std::uint64_t ticks_in_ramps = 0;
    std::uint64_t ticks_in_closed_form = 0;
};
extern ServoTicksState servo_ticks_state;

// Puts the ticks' state back to its power-on values.
void servo_ticks_reset();

// The ticks' state by its firmware names.
VEMTRAC_STATE_NAMES(servo_ticks_state, svo_tick_count, phase_tick_count, job_timing_state,
                    job_start_tick, job_end_tick, job_abort, positionx, positiony);

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

// Starts counting the ticks of a new job from zero and lets it run at most
// limit ticks (never more than svo_max_job_ticks). A job that reaches the
// limit ends as for an entry the machine cannot execute.
void svo_start_job_ticks(std::uint64_t limit = svo_max_job_ticks);
