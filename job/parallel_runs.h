// Several jobs at once: runs that each run their jobs on the job machine of
// their own thread, with what they write to their console reaching one sink
// in the order of the runs, as if they had run one after another.
#pragma once

#include <cstddef>
#include <functional>

#include "base/console.h"

struct JobMachine;

// One run: its index, the machine to run it on and the sink its jobs write
// their console through.
using ParallelRun =
    std::function<void(std::size_t index, JobMachine& machine, ConsoleSink console)>;

// Told that run i and every run before it have finished, in the order of
// the runs.
using RunFinished = std::function<void(std::size_t index)>;

// The hardware threads of this host (1 when it cannot tell).
unsigned hardware_threads();

// Runs run(i, ...) for every i below count on up to threads threads, and
// tells finished(i) (when given) of each in order. With one thread one
// machine runs them in turn (own when given, else the calling thread's),
// each writing through sink itself. With more, each thread takes the next run not taken and runs it
// on a machine of its own; the console of the lowest run not yet finished reaches sink at once, the
// others' is held until every run before theirs has finished. Calls to sink and to finished never
// overlap. An exception thrown by a run is thrown again here once every thread has ended.
void run_in_order(std::size_t count, unsigned threads, ConsoleSink sink, const ParallelRun& run,
                  const RunFinished& finished = nullptr, JobMachine* own = nullptr);
