// The job: reads Vemtrac.cmd beside the executable entry by entry, runs
// each entry through the laser input layer or the move routine, waits for
// the last motion and writes Vemtrac.sts.
#pragma once

#include <cstdint>

// 1 once a pen-down entry has lowered the pen, 0 once a pen-up entry has
// raised it (the interpreter's own flag, apart from the laser layer's).
extern std::int32_t cmd_pen_down;

// Runs the job. Returns 1 when a status file with "VMTC_OK" was written,
// 0 otherwise (no job file, no status file, or the job refused).
int job_run_command_file();
