#include "job/entry_log.h"

#include "job/job_machine.h"

// Keeps the move of each VECTOR record as the queue commits it; a report
// tallied as the job runs keeps only what it shows, and hands each move to
// the move sink when there is one.
void JobMachine::log_committed_record(VdbData* rec)
{
    EntryLogState& s = entry_log_state;
    ++s.committed;
    if (rec->sent_cmd != VECTOR) {
        return;
    }
    if (report_tally_state.enabled) {
        report_tally_move(rec->dx, rec->dy, rec->work);
    }
    if (report_tally_state.enabled && s.move_sink == nullptr) {
        return;
    }
    const std::vector<WorkTag>& works = tick_account_state.works;
    const WorkTag tag = rec->work < works.size() ? works[rec->work] : WorkTag{};
    const HeadMove move{rec->dx, rec->dy, rec->work, tag.entry, tag.kind, tag.index};
    if (report_tally_state.enabled) {
        s.move_sink(move, s.move_context);
    } else {
        s.moves.push_back(move);
    }
}

namespace {

// The queue's observer of committed records on a job machine.
void observe_commit(Machine& m, VdbData* rec)
{
    static_cast<JobMachine&>(m).log_committed_record(rec);
}

} // namespace

void JobMachine::entry_log_start()
{
    const MoveSink sink = entry_log_state.move_sink;
    void* const context = entry_log_state.move_context;
    entry_log_reset();
    entry_log_state.move_sink = sink;
    entry_log_state.move_context = context;
    entry_log_state.enabled = tick_account_state.enabled;
    entry_log_state.start_x = positionx;
    entry_log_state.start_y = positiony;
    if (entry_log_state.enabled) {
        vdb_add_commit_observer(observe_commit);
    }
    if (report_tally_state.enabled) {
        report_tally_start(positionx, positiony);
    }
}

void JobMachine::entry_log_note(std::int32_t entry, const char* keyword)
{
    EntryLogState& s = entry_log_state;
    if (!s.enabled) {
        return;
    }
    if (report_tally_state.enabled) {
        report_tally_check_entry(entry, keyword);
    }
    if (s.committed == s.committed_at_last_note) {
        return;  // the entry queued nothing
    }
    s.committed_at_last_note = s.committed;
    if (report_tally_state.enabled) {
        report_tally_entry(entry, keyword);
    } else {
        s.entries.push_back({entry, keyword});
    }
}
