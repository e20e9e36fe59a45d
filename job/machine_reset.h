// Power-on reset of the whole machine in this process: every global of the
// interpreter, the laser layer, the planner, the vector queues, the servo
// loop, the speed profiles and the job clock goes back to the value a fresh
// process starts with, so that one process can run a job more than once.
//
// The machine start-up (InitHardwareScaleFactor) and set_exe_dir must run
// again afterwards, as they do at program start (run_job does all three).
#pragma once

// Puts every module back to its power-on state.
void machine_reset();
