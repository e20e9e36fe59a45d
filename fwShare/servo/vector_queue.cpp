#include "fwShare/machine.h"

#include <iterator>

namespace {

const char* const vdb_cmd_short_names[] = {
    "Free", "S-PenUp", "S-PenDn", "Vector", "PenUpcal", "L-PenUp", "L-PenDn",
    "StepMove", "FindIdx", "ChkTuret", "SoftLand", "Null-10", "Null-11", "PlanMove",
};
static_assert(std::size(vdb_cmd_short_names) == VDB_CMD_COUNT);

// Zeroes a pool and links it into a ring, numbering its records from base.
void reset_ring(VdbData* pool, std::uint8_t base)
{
    for (int i = 0; i < VDB_POOL_SIZE; ++i) {
        pool[i] = VdbData{};
    }
    for (int i = 0; i < VDB_POOL_SIZE; ++i) {
        pool[i].next = &pool[(i + 1) % VDB_POOL_SIZE];
        pool[i].prev = &pool[(i + VDB_POOL_SIZE - 1) % VDB_POOL_SIZE];
        pool[i].vdb_index = static_cast<std::uint8_t>(base + i);
    }
}

} // namespace

const char* vdb_cmd_name(unsigned kind)
{
    return kind < VDB_CMD_COUNT ? vdb_cmd_short_names[kind] : "?";
}

void Machine::servo_online_comrst()
{
    dbg_trace2(DBG_PbdFun, DBG_VemtracDbg, "^^ servo_online_comrst()\n\r");
    reset_ring(vdb_pool, 0);
    pbdVelType = 1;
    save_real_pen_pos_is_down = 0;
    autoptr = nullptr;
    pipeflag = 0;
    null_vector = 0;
    freeptr = &vdb_pool[0];
}

void Machine::servo_offline_comrst()
{
    dbg_trace(DBG_PbdFun, "servo_offline_comrst()\n\r");
    reset_ring(vdb_offline_pool, VDB_POOL_SIZE);
    offline_freeptr = &vdb_offline_pool[0];
}

bool Machine::vdb_add_commit_observer(VdbCommitObserver observer)
{
    for (int i = 0; i < commit_observer_count; ++i) {
        if (commit_observers[i] == observer) {
            return true;
        }
    }
    if (commit_observer_count == VDB_COMMIT_OBSERVERS) {
        return false;
    }
    commit_observers[commit_observer_count++] = observer;
    return true;
}

