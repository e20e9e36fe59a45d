// The job clock: the run time of the servo ticks counted between the first
// time motion leaves ISRHOLD after the job started and the last time it
// returns there (the counters are the servo's, fwShare/servo/tick_clock.h),
// and the job's start and end steps (JobMachine::srvo_off_to_on,
// srvo_on_to_off, JobTimeTick).
#pragma once

#include <cstdint>

struct JobRunTime {
    std::uint32_t ms;
    std::int32_t minutes;
    std::int32_t seconds;
};

// Converts a tick difference: ms = 2 d / 5 in 32-bit unsigned arithmetic,
// then whole minutes and the seconds left over.
JobRunTime job_run_time(std::int32_t start_tick, std::int32_t end_tick);
