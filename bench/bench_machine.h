// A started machine for the benchmarks, with the start-up's console lines
// kept off the benchmark report.
#pragma once

#include "job/job_machine.h"

struct BenchMachine : JobMachine {
    // Starts the machine the first time: start-up with its console quiet,
    // pen 1 at the default speed code as a vector job starts, the servo on
    // line.
    void start();
    bool started = false;
};
