// Console dumps of what the planner produced: one vector record, and the
// servo globals that drive planning together with the queue pointers.
#pragma once

#include <cstdint>

#include "base/state_names.h"
#include "fwShare/servo/vector_queue.h"

struct PlannerDumpState {
    // Bit 0: dump the servo globals, bit 1: dump a record, at the end of
    // every planned move. Nothing in a job changes it.
    std::uint32_t vdb_dump_flags = 0;
};
extern PlannerDumpState planner_dump_state;
VEMTRAC_STATE_NAMES(planner_dump_state, vdb_dump_flags);

// Puts the dump flags back to their power-on value.
void planner_dump_reset();

// Prints a record's header line, and all its fields for a VECTOR.
void dump_vdb(const VdbData* rec);
// Prints the 31 motion fields of a VECTOR record.
void dump_vdb_fields(const VdbData* rec);
// Prints the planning globals and the queue pointers.
void dump_servo_globals();
