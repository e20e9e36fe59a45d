// Console dumps of what the planner produced: one vector record, and the
// servo globals that drive planning together with the queue pointers.
#pragma once

#include <cstdint>

#include "fwShare/servo/vector_queue.h"

struct PlannerDumpState {
    // Bit 0: dump the servo globals, bit 1: dump a record, at the end of
    // every planned move. Nothing in a job changes it.
    std::uint32_t vdb_dump_flags = 0;
};
