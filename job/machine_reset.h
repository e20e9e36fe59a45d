// Power-on reset of a whole machine (JobMachine::machine_reset): every
// global of the interpreter, the laser layer, the planner, the vector
// queues, the servo loop, the speed profiles and the job clock goes back to
// the value a fresh machine starts with, so that a machine can run a job
// more than once.
//
// The machine start-up (InitHardwareScaleFactor) and set_exe_dir must run
// again afterwards, as they do at program start (run_job does all three).
#pragma once
