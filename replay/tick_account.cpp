#include "replay/tick_account.h"

#include <cmath>

#include "replay/replay_machine.h"

namespace {

// The queue's observer of committed records on a replay machine.
void tag_committed_record(Machine& m, VdbData* rec)
{
    static_cast<ReplayMachine&>(m).work_tag_record(rec);
}

bool same_work(const WorkTag& a, const WorkTag& b)
{
    return a.kind == b.kind && a.index == b.index && a.entry == b.entry;
}

} // namespace

void ReplayMachine::tick_account_enable()
{
    tick_account_state.enabled = true;
    vdb_add_commit_observer(tag_committed_record);
}

// The work of a move of the given kind, with its pen or image number.
WorkTag ReplayMachine::work_of_move_kind(std::int32_t move_kind) const
{
    const TickAccountState& s = tick_account_state;
    switch (move_kind) {
    case PEN_DOWN:
        return {WORK_CUT, ptCurrentFile->VectorCurrentPen, s.entry, 0, 0.0};
    case PEN_UP:
    case PEN_UPC:
        return {WORK_TRAVEL, 0, s.entry, 0, 0.0};
    case RASTER_FORWARD:
    case RASTER_BACKWARD:
        return {WORK_RASTER_PASS, s.image, s.entry, 0, 0.0};
    case RASTER_OFFSET:
        return {WORK_RASTER_LINE_STEP, s.image, s.entry, 0, 0.0};
    case RASTER_MOVE:
        return {WORK_RASTER_CARRIAGE, 0, s.entry, 0, 0.0};
    default:
        return {WORK_OTHER, 0, s.entry, 0, 0.0};
    }
}

void ReplayMachine::work_tag_record(VdbData* rec)
{
    TickAccountState& s = tick_account_state;
    const WorkTag tag = work_of_move_kind(pbdVelType);
    if (s.current >= s.works.size() || !same_work(s.works[s.current], tag)) {
        s.works.push_back(tag);
        s.current = static_cast<std::uint32_t>(s.works.size() - 1);
    }
    rec->work = s.current;
    if (vdb_kind(rec) == VECTOR) {
        WorkTag& w = s.works[s.current];
        ++w.moves;
        w.distance += std::hypot(static_cast<double>(rec->dx), static_cast<double>(rec->dy));
    }
}
