// The tick thread and the main thread's waits for motion.
//
// The tick thread stands in for the servo interrupt. So that the estimate
// never depends on host speed, it runs only while the main thread waits (for
// a free vector record, or for motion to stop), and then runs whole ticks
// back to back until that wait's condition holds. It never runs while the
// main thread plans or commits records.
#pragma once

#include <cstdint>

#include "app/platform.h"

struct VdbData;

// The system's one lock: held by the tick thread across each run of ticks
// and by the main thread while it loads servo gains.
extern platform::Lock isr_lock;

// Set by main once the job is over; ends the tick thread.
extern std::int32_t job_done;

// Set when the job cannot go on (a wait that can never end, or a job that
// runs longer than the 32-bit tick clock can express). Later waits return
// at once and the interpreter stops reading.
extern std::int32_t job_abort;

// Plot-bed position of the head, refreshed by svo_wait_idle.
extern std::int32_t positionx, positiony;

// Starts and stops the tick thread. Without a running tick thread the waits
// run their ticks on the calling thread (start-up and tests).
void svo_tick_thread_start();
void svo_tick_thread_stop();

// Waits until the servo interrupt has no record left (SVO_VectPtr null),
// then recomputes positionx and positiony from the commanded position.
void svo_wait_idle();

// Waits for idle, then switches the loop off and enters ISRIDLE.
void svo_set_idle();

// Waits until the interrupt has freed rec. False when it never can.
bool svo_wait_record_free(const VdbData* rec);

// Most ticks one job may run: the run time is a 32-bit tick difference that
// is doubled in 32-bit unsigned arithmetic.
inline constexpr std::uint64_t svo_max_job_ticks = 0x7FFFFFFFu;

// Starts counting the ticks of a new job from zero and lets it run at most
// limit ticks (never more than svo_max_job_ticks). A job that reaches the
// limit ends as for an entry the machine cannot execute.
void svo_start_job_ticks(std::uint64_t limit = svo_max_job_ticks);

// Hands the tick thread an empty run and waits for its answer; used to
// measure the cost of one handoff between the two threads.
void svo_tick_handoff_probe();
