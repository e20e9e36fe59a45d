// The job clock: the run time of the servo ticks counted between the first
// time motion leaves ISRHOLD after the job started and the last time it
// returns there (the counters are the servo's, fwShare/servo/servo_ticks.h),
// and the job's start and end steps.
#pragma once

#include <cstdint>

#include "fwShare/servo/servo_ticks.h"

struct JobRunTime {
    std::uint32_t ms;
    std::int32_t minutes;
    std::int32_t seconds;
};

// Converts a tick difference: ms = 2 d / 5 in 32-bit unsigned arithmetic,
// then whole minutes and the seconds left over.
JobRunTime job_run_time(std::int32_t start_tick, std::int32_t end_tick);

// Job start: waits for rest, puts the servo on line, arms the clock.
void srvo_off_to_on();
// Job end: takes the servo off line.
void srvo_on_to_off();
// Stops the clock and prints the per-phase report when it is enabled.
void JobTimeTick();

// Recomputes the encoder readings enc_x, enc_y from the commanded position
// (as the position loop does) and stores them, then formats
// "Pbd:x,y  Svo:x,y  Enc:x,y" for the current position (static buffer).
const char* svo_position_text();
