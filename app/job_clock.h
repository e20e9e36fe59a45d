// The job clock: servo ticks counted between the first time motion leaves
// ISRHOLD after the job started and the last time it returns there, and the
// job's start and end steps.
#pragma once

#include <cstdint>

// Servo ticks since program start (one tick = 0.4 ms); never reset.
extern std::int32_t svo_tick_count;
// Ticks per motion phase while the clock is armed or running.
extern std::int32_t phase_tick_count[7];
// 0 off, 1 armed, 2 running.
extern std::int32_t job_timing_state;
extern std::int32_t job_start_tick;
extern std::int32_t job_end_tick;

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

// "Pbd:x,y  Svo:x,y  Enc:x,y" for the current position (static buffer).
const char* svo_position_text();
