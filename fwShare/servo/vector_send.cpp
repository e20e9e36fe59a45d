#include "fwShare/machine.h"

#include <cinttypes>
#include <cstdio>

// Hands out a record for a simple command, sets the move kind that the
// following moves use, and commits it.
void Machine::queue_simple_record(std::uint8_t kind, std::int32_t vel_type)
{
    VdbData* rec = getfreevdb();
    if (rec == nullptr) {
        return;
    }
    pbdVelType = vel_type;
    rec->cmd = kind;
    sendvdb(rec);
}

VdbData* Machine::getfreevdb()
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

void Machine::sendvdb(VdbData* rec)
{
    if (dbg_enabled(DBG_SendVdb)) {
        dbg_trace(DBG_SendVdb, "sendvdb(%s) %08" PRIxPTR "\n\r", vdb_cmd_name(vdb_kind(rec)),
                  reinterpret_cast<std::uintptr_t>(rec));
    }
    rec->sent_cmd = static_cast<std::uint8_t>(vdb_kind(rec));
    rec->work = 0;
    for (int i = 0; i < commit_observer_count; ++i) {
        commit_observers[i](*this, rec);
    }
    if (rec->cmd != NULL_CMD && pipeflag != 0 && SVO_VectPtr == nullptr) {
        SVO_SetVectPtr(rec);
    }
}

void Machine::srvo_on_pu()
{
    dbg_trace(DBG_PbdFun, "srvo_on_pu()\n\r");
    dbg_line(DBG_SvoVdbCmd, "    srvo_on_pu();\n\r");
    queue_simple_record(SHORT_PEN_UP, 1);
}

void Machine::srvo_on_pd()
{
    dbg_trace(DBG_PbdFun, "srvo_on_pd()\n\r");
    dbg_line(DBG_SvoVdbCmd, "    srvo_on_pd();\n\r");
    queue_simple_record(SHORT_PEN_DOWN, 0);
}

void Machine::srvo_on_raster_move(std::int32_t kind)
{
    dbg_trace(DBG_PbdFun, "srvo_on_raster_move(%d)\n\r", kind);
    dbg_line(DBG_SvoVdbCmd, "    srvo_on_raster_move(%d);\n\r", kind);
    queue_simple_record(SHORT_PEN_UP, kind);
}

