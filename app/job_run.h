// One whole job, from power-on to the status file: the single way a job is
// run, by the program, the fuzz target, the tests and the benchmarks.
#pragma once

#include <cstdint>

#include "fwShare/servo/servo_ticks.h"

struct JobRequest {
    // The program's own path (argv[0]): its folder holds Vemtrac.cmd, and
    // Vemtrac.sts is written beside it.
    const char* program_path = nullptr;
    // Trace categories to switch on, as VEMTRAC_DEBUG names them (or null).
    const char* trace_names = nullptr;
    // Planner dumps after every planned move (bit 0 servo globals, bit 1 record).
    std::uint32_t planner_dump_flags = 0;
    // Most servo ticks the job may run.
    std::uint64_t tick_limit = svo_max_job_ticks;
};

// Prints the banner, puts the machine in its power-on state, starts it up
// and runs the job. Returns 1 when a status file with "VMTC_OK" was written.
int run_job(const JobRequest& request);
