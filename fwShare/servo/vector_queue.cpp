#include "fwShare/servo/vector_queue.h"

#include <cinttypes>
#include <cstdio>

#include "base/console.h"
#include "base/debug_trace.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/tick_account.h"

VectorQueueState vector_queue_state;

void vector_queue_reset()
{
    vector_queue_state = VectorQueueState{};
}

namespace {

const char* const vdb_cmd_short_names[VDB_CMD_COUNT] = {
    "Free", "S-PenUp", "S-PenDn", "Vector", "PenUpcal", "L-PenUp", "L-PenDn",
    "StepMove", "FindIdx", "ChkTuret", "SoftLand", "Null-10", "Null-11", "PlanMove",
};

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

// Hands out a record for a simple command, sets the move kind that the
// following moves use, and commits it.
void queue_simple_record(std::uint8_t kind, std::int32_t vel_type)
{
    VdbData* rec = getfreevdb();
    if (rec == nullptr) {
        return;
    }
    pbdVelType = vel_type;
    rec->cmd = kind;
    sendvdb(rec);
}

} // namespace

const char* vdb_cmd_name(unsigned kind)
{
    return kind < VDB_CMD_COUNT ? vdb_cmd_short_names[kind] : "?";
}

void servo_online_comrst()
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

void servo_offline_comrst()
{
    dbg_trace(DBG_PbdFun, "servo_offline_comrst()\n\r");
    reset_ring(vdb_offline_pool, VDB_POOL_SIZE);
    offline_freeptr = &vdb_offline_pool[0];
}

VdbData* getfreevdb()
{
    m_npbdrvCnt = 0;
    while (freeptr->cmd != NULL_CMD) {
        m_npbdrvCnt += 1;
        if (m_npbdrvCnt >= 100) {
            console_printf("m_npbdrvCnt(%d)\n", m_npbdrvCnt);
        }
        // The servo interrupt runs until it has freed this very record.
        if (!svo_wait_record_free(freeptr)) {
            return nullptr;
        }
    }
    VdbData* rec = freeptr;
    freeptr = freeptr->next;
    rec->alloc_tick = static_cast<std::uint32_t>(svo_tick_count);
    rec->sent_cmd = 0;
    return rec;
}

void sendvdb(VdbData* rec)
{
    if (dbg_enabled(DBG_SendVdb)) {
        dbg_trace(DBG_SendVdb, "sendvdb(%s) %08" PRIxPTR "\n\r", vdb_cmd_name(vdb_kind(rec)),
                  reinterpret_cast<std::uintptr_t>(rec));
    }
    rec->sent_cmd = static_cast<std::uint8_t>(vdb_kind(rec));
    work_tag_record(rec);
    if (rec->cmd != NULL_CMD && pipeflag != 0 && SVO_VectPtr == nullptr) {
        SVO_VectPtr = rec;
    }
}

void srvo_on_pu()
{
    dbg_trace(DBG_PbdFun, "srvo_on_pu()\n\r");
    dbg_line(DBG_SvoVdbCmd, "    srvo_on_pu();\n\r");
    queue_simple_record(SHORT_PEN_UP, 1);
}

void srvo_on_pd()
{
    dbg_trace(DBG_PbdFun, "srvo_on_pd()\n\r");
    dbg_line(DBG_SvoVdbCmd, "    srvo_on_pd();\n\r");
    queue_simple_record(SHORT_PEN_DOWN, 0);
}

void srvo_on_raster_move(std::int32_t kind)
{
    dbg_trace(DBG_PbdFun, "srvo_on_raster_move(%d)\n\r", kind);
    dbg_line(DBG_SvoVdbCmd, "    srvo_on_raster_move(%d);\n\r", kind);
    queue_simple_record(SHORT_PEN_UP, kind);
}
