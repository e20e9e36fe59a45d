#include "app/entry_log.h"

#include "app/report_tally.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/tick_account.h"
#include "fwShare/servo/vector_queue.h"

EntryLogState entry_log_state;

void entry_log_reset()
{
    entry_log_state = EntryLogState{};
}

namespace {

// VECTOR records the queue has tagged so far.
std::uint64_t vector_records_tagged()
{
    EntryLogState& s = entry_log_state;
    const std::vector<WorkTag>& works = tick_account_state.works;
    if (works.empty()) {
        return 0;
    }
    for (; s.works_summed + 1 < works.size(); ++s.works_summed) {
        s.tagged_before_last += works[s.works_summed].moves;
    }
    return s.tagged_before_last + works.back().moves;
}

} // namespace

void entry_log_start()
{
    entry_log_reset();
    entry_log_state.enabled = tick_account_state.enabled;
    entry_log_state.next_record = freeptr;
    entry_log_state.start_x = positionx;
    entry_log_state.start_y = positiony;
    entry_log_state.tagged_at_last_note = vector_records_tagged();
    if (report_tally_state.enabled) {
        report_tally_start(positionx, positiony);
    }
}

void entry_log_note(std::int32_t entry, const char* keyword)
{
    EntryLogState& s = entry_log_state;
    if (!s.enabled || freeptr == nullptr) {
        return;
    }
    if (report_tally_state.enabled) {
        report_tally_check_entry(entry, keyword);
    }
    const std::uint64_t tagged = vector_records_tagged();
    if (s.next_record == freeptr && tagged == s.tagged_at_last_note) {
        return;  // the entry queued nothing
    }
    // The records handed out since the last note, oldest first; each keeps
    // its committed kind, move and work after the interrupt has freed it.
    // A report tallied as the job runs keeps only what it shows.
    const bool tally = report_tally_state.enabled;
    std::uint64_t seen = 0;
    const VdbData* rec = static_cast<const VdbData*>(s.next_record);
    for (int n = 0; rec != nullptr && rec != freeptr && n < VDB_POOL_SIZE; ++n) {
        if (rec->sent_cmd == VECTOR) {
            if (tally) {
                report_tally_move(rec->dx, rec->dy, rec->work, rec->majrdisth);
            } else {
                s.moves.push_back({rec->dx, rec->dy, rec->work});
            }
            ++seen;
        }
        rec = rec->next;
    }
    if (tagged - s.tagged_at_last_note > seen) {
        s.moves_missed += tagged - s.tagged_at_last_note - seen;
        if (tally) {
            report_tally_missed(tagged - s.tagged_at_last_note - seen);
        }
    }
    s.tagged_at_last_note = tagged;
    s.next_record = freeptr;
    if (tally) {
        report_tally_entry(entry, keyword);
    } else {
        s.entries.push_back({entry, keyword});
    }
}
