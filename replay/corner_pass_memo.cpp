#include "replay/corner_pass_memo.h"

#include <algorithm>
#include <cstdint>

#include "replay/memo_key.h"
#include "replay/memo_space.h"
#include "replay/replay_machine.h"

namespace {

// Words the settings the pass reads and the braking distance of the record
// planned take in a key; the pass reads that distance before it raises
// anything.
constexpr int head_words = 2;
// Words a record gives the key: the fields the pass reads of it.
constexpr int record_words = 3;
// Records in the key: the one planned and those the pass may look at.
constexpr int max_key_records = 1 + corner_look_back_limit;
// Words of the head and the first two records: what a pass always reads,
// hashed to find it.
constexpr int prefix_words = head_words + 2 * record_words;

// The key of the settings of machine m and the start of the pass over rec.
inline MemoKey<head_words> pass_head(const Machine& m, const VdbData* rec)
{
    return pack_key(m.svo_reso_mm_x, m.min_corner_vel, rec->psuedodist, m.CREEP_VELOCITY);
}

// The key of record r with corner speed cnrvel: the fields the pass reads
// of it.
inline MemoKey<record_words> record_key(const VdbData* r, std::uint16_t cnrvel)
{
    return pack_key(r->anglediff, r->majrdisth, r->majrdvel, cnrvel, r->acclcount, r->acc_index,
                    r->cmd);
}

// The key of record r as it is.
inline MemoKey<record_words> record_key(const VdbData* r)
{
    return record_key(r, r->cnrvel);
}

// What a pass left of a record it looked at: its corner speed, the rise of
// its smoothCnt (16 bits) and its braking distance.
using PassAfter = MemoKey<1>;

inline PassAfter pass_after(const VdbData* r, std::uint16_t rise)
{
    return pack_key(r->cnrvel, rise, r->psuedodist);
}

// A pass that ran: what it started from and what it left. Record p counts
// back from the one planned (0); the pass looked at records 1 to looked_at.
struct RememberedPass {
    std::uint64_t hash;         // of the key's prefix words, compared first
    std::uint8_t looked_at;     // 0: the slot is empty
    std::uint8_t raised;        // what the pass returned
    std::uint8_t last_changed;  // the record it changed last (0: none)
    // The head, then record p at head_words + p * record_words.
    std::uint64_t key[head_words + max_key_records * record_words];
    PassAfter after[corner_look_back_limit];  // record p at p - 1
};

// Two remembered passes per hash, the one taken last marked. A curve's
// chords meet a few hundred distinct passes, text thousands: 256 sets
// (236 KB), 4 before 64 passes were remembered.
constexpr unsigned pass_set_bits = 8;

using PassSet = TwoWaySet<RememberedPass>;
static_assert((sizeof(PassSet) << pass_set_bits) <= corner_pass_memo_bytes);
using PassSets = MemoTable<PassSet, 2, pass_set_bits, corner_pass_memo_offset, 64>;

// The prefix of the key of the pass over rec: its head, rec and the record
// before it.
struct PassPrefix {
    MemoKey<prefix_words> words;
    std::uint64_t hash;
};

inline PassPrefix pass_prefix(const Machine& m, const VdbData* rec)
{
    PassPrefix p;
    const MemoKey<head_words> head = pass_head(m, rec);
    const MemoKey<record_words> planned = record_key(rec);
    const MemoKey<record_words> before = record_key(rec->prev);
    std::copy_n(head.word, head_words, p.words.word);
    std::copy_n(planned.word, record_words, p.words.word + head_words);
    std::copy_n(before.word, record_words, p.words.word + head_words + record_words);
    p.hash = key_hash(p.words);
    return p;
}

// What a pass the memo did not hold started from, for remember to key it:
// the fields the pass may change of each record it may look at. The others
// it only reads, and they are as the key has them when it has run.
// It starts as zero bytes, with the machine's memos.
struct PassStart {
    bool armed;  // set by a recall that missed, for the remember that follows
    const VdbData* rec;
    PassPrefix prefix;
    std::uint16_t cnrvel[max_key_records];
    std::int32_t smooth[max_key_records];
};

// Whether the remembered pass e starts from rec as it is now, whose key
// begins with prefix.
bool starts_here(const RememberedPass& e, const PassPrefix& prefix, const VdbData* rec)
{
    if (e.hash != prefix.hash || e.looked_at == 0 ||
        !same_key_words<prefix_words>(e.key, prefix.words.word)) {
        return false;
    }
    // A pass found by its hash nearly always matches: every record's words
    // are compared, without a branch per record.
    std::uint64_t diff = 0;
    const VdbData* r = rec->prev;
    for (int p = 2; p <= e.looked_at; ++p) {
        r = r->prev;
        const MemoKey<record_words> now = record_key(r);
        const std::uint64_t* was = &e.key[head_words + p * record_words];
        for (int i = 0; i < record_words; ++i) {
            diff |= now.word[i] ^ was[i];
        }
    }
    return diff == 0;
}

// Leaves the records before rec as the remembered pass left them.
void replay(ReplayMachine& m, const RememberedPass& e, VdbData* rec, std::int32_t* raised,
            VdbData** last_changed)
{
    VdbData* r = rec;
    *last_changed = rec;
    for (int p = 1; p <= e.looked_at; ++p) {
        r = r->prev;
        const auto [cnrvel, rise, psuedodist] =
            unpack_key<std::uint16_t, std::uint16_t, std::uint32_t>(e.after[p - 1]);
        r->cnrvel = cnrvel;
        r->smoothCnt = static_cast<std::int32_t>(static_cast<std::uint32_t>(r->smoothCnt) + rise);
        r->psuedodist = psuedodist;
        if (p == e.last_changed) {
            *last_changed = r;
        }
    }
    *raised = e.raised;
    m.replay_state.corner_passes_remembered += 1;
}

// Keeps in s what the pass about to run over rec may change.
void arm_start(PassStart& s, const VdbData* rec, const PassPrefix& prefix)
{
    s.armed = true;
    s.rec = rec;
    s.prefix = prefix;
    const VdbData* r = rec;
    for (int p = 0; p < max_key_records; ++p, r = r->prev) {
        s.cnrvel[p] = r->cnrvel;
        s.smooth[p] = r->smoothCnt;
    }
}

} // namespace

// A machine's remembered passes, and what the pass that runs for remember
// started from.
struct ReplayMachine::CornerPassMemory {
    PassSets passes;
    PassStart pass_start;
};

// Made empty with the machine.
MemoState<ReplayMachine::CornerPassMemory> ReplayMachine::new_corner_pass_memory(MemoIndex& index)
{
    return new_memo_state<CornerPassMemory, &CornerPassMemory::passes>(index);
}

namespace {

// The memo's recall: the pass over rec, when a pass from the same start was remembered.
CornerPassRecall recall(Machine& machine, VdbData* rec, std::int32_t* raised,
                        VdbData** last_changed)
{
    auto& m = static_cast<ReplayMachine&>(machine);
    ReplayMachine::CornerPassMemory& memory = *m.corner_pass_memory;
    memory.pass_start.armed = false;
    MemoPace& pace = m.replay_state.corner_pass_pace;
    if (pace.resting()) {
        // The planner counts the rest down without asking.
        m.corner_passes_unasked = pace.take_rest();
        return CornerPassRecall::run;
    }
    const PassPrefix prefix = pass_prefix(m, rec);
    PassSet& set = PassSets::set_of_hash(m.corner_passes_index, prefix.hash);
    for (int i = 0; i < 2; ++i) {
        if (starts_here(set.way[i], prefix, rec)) {
            set.recent = static_cast<std::uint8_t>(i);
            // A pass that raised nothing cost little more than its look-up.
            if (set.way[i].raised != 0) {
                pace.hit();
            }
            replay(m, set.way[i], rec, raised, last_changed);
            return CornerPassRecall::recalled;
        }
    }
    arm_start(memory.pass_start, rec, prefix);
    return CornerPassRecall::run_and_remember;
}

// The memo's remember: keeps the pass that just ran over rec in the way of
// its set not taken last.
void remember(Machine& machine, const VdbData* rec, std::int32_t raised, std::int32_t looked_at,
              const VdbData* last_changed)
{
    auto& m = static_cast<ReplayMachine&>(machine);
    PassStart& s = m.corner_pass_memory->pass_start;
    if (!s.armed || s.rec != rec || looked_at < 1 || looked_at > corner_look_back_limit) {
        s.armed = false;
        return;
    }
    s.armed = false;
    PassSet& set = PassSets::set_of_hash(m.corner_passes_index, s.prefix.hash);
    set.recent = static_cast<std::uint8_t>(1 - set.recent);
    RememberedPass& e = set.way[set.recent];
    e.looked_at = 0;  // empty until complete
    e.hash = s.prefix.hash;
    e.raised = static_cast<std::uint8_t>(raised);
    e.last_changed = 0;
    std::copy_n(s.prefix.words.word, head_words + record_words, e.key);
    const VdbData* r = rec;
    for (int p = 1; p <= looked_at; ++p) {
        r = r->prev;
        // The record as the pass found it: its corner speed before.
        const MemoKey<record_words> found = record_key(r, s.cnrvel[p]);
        std::copy_n(found.word, record_words, &e.key[head_words + p * record_words]);
        const std::uint32_t rise = static_cast<std::uint32_t>(r->smoothCnt) -
                                   static_cast<std::uint32_t>(s.smooth[p]);
        if (rise > 0xFFFF) {
            return;
        }
        e.after[p - 1] = pass_after(r, static_cast<std::uint16_t>(rise));
        if (r == last_changed) {
            e.last_changed = static_cast<std::uint8_t>(p);
        }
    }
    if (last_changed != rec && e.last_changed == 0) {
        return;
    }
    e.looked_at = static_cast<std::uint8_t>(looked_at);
    PassSets::took_entry(m.corner_passes_index, m.memo_block);
}

} // namespace

const CornerPassMemo corner_pass_memo_of_replay{recall, remember};
