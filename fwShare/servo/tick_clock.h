// The job clock's counters: the servo ticks since power-on, the ticks per
// motion phase while the clock runs, and the ticks at which the job's motion
// started and last came to rest. The ticks move the counters; the motion
// state's changes (svo_set_state) move the marks.
#pragma once

#include <cstdint>


// Job clock states.
enum JobTimingState : std::int32_t { JOB_CLOCK_OFF, JOB_CLOCK_ARMED, JOB_CLOCK_RUNNING };

// The job clock, with its power-on values.
struct TickClockState {
    std::int32_t svo_tick_count = 0;       // servo ticks since power-on (0.4 ms each)
    std::int32_t phase_tick_count[7] = {}; // ticks per motion phase while the clock is on
    std::int32_t job_timing_state = JOB_CLOCK_OFF;
    // svo_tick_count at the first departure from ISRHOLD after the clock was
    // armed, and at the latest arrival in ISRHOLD while it runs.
    std::int32_t job_start_tick = 0;
    std::int32_t job_end_tick = 0;
};
