#include "app/entry_log.h"

#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/vector_queue.h"
#include "replay/tick_account.h"

EntryLogState entry_log_state;

void entry_log_reset()
{
    entry_log_state = EntryLogState{};
}

namespace {

// Keeps the move of each VECTOR record as the queue commits it.
void log_committed_record(VdbData* rec)
{
    EntryLogState& s = entry_log_state;
    ++s.committed;
    if (rec->sent_cmd == VECTOR) {
        s.moves.push_back({rec->dx, rec->dy, rec->work});
    }
}

} // namespace

void entry_log_start()
{
    entry_log_reset();
    entry_log_state.enabled = tick_account_state.enabled;
    entry_log_state.start_x = positionx;
    entry_log_state.start_y = positiony;
    if (entry_log_state.enabled) {
        vdb_add_commit_observer(log_committed_record);
    }
}

void entry_log_note(std::int32_t entry, const char* keyword)
{
    EntryLogState& s = entry_log_state;
    if (!s.enabled || s.committed == s.committed_at_last_note) {
        return;  // the entry queued nothing
    }
    s.committed_at_last_note = s.committed;
    s.entries.push_back({entry, keyword});
}
