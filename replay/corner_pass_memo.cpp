#include "replay/corner_pass_memo.h"

#include <bit>
#include <cstdint>

#include "fwShare/resolution.h"
#include "fwShare/servo/servo_state.h"
#include "fwShare/servo/speed_profiles.h"
#include "replay/memo_space.h"
#include "replay/tick_runner.h"

namespace {

// Words a record gives the key: the fields the pass reads of it.
constexpr int record_words = 3;
// Records in the key: the one planned and those the pass may look at.
constexpr int max_key_records = 1 + corner_look_back_limit;

// The settings the pass reads and the braking distance of the record
// planned, which the pass reads before it raises anything.
struct PassHead {
    std::uint64_t settings;  // svo_reso_mm_x in the low half, min_corner_vel in the high
    std::uint64_t start;     // rec's psuedodist in the low half, CREEP_VELOCITY in the high

    bool operator==(const PassHead&) const = default;
};

// A pass that ran: what it started from and what it left. Record p counts
// back from the one planned (0); the pass looked at records 1 to looked_at.
struct RememberedPass {
    std::uint64_t prefix;  // hash of the head and records 0 and 1, compared first
    PassHead head;
    std::uint8_t looked_at;     // 0: the slot is empty
    std::uint8_t raised;        // what the pass returned
    std::uint8_t last_changed;  // the record it changed last (0: none)
    std::uint64_t key[max_key_records * record_words];
    // Each record looked at as the pass left it: cnrvel in bits 0-15, the
    // rise of smoothCnt in bits 16-31, psuedodist in bits 32-63.
    std::uint64_t after[corner_look_back_limit];
};

// Two remembered passes per hash, the one taken last marked. A curve's
// chords meet a few hundred distinct passes, text thousands: 256 sets
// (236 KB), 4 before 64 passes were remembered.
constexpr unsigned pass_set_bits = 8;

using PassSet = TwoWaySet<RememberedPass>;
static_assert((sizeof(PassSet) << pass_set_bits) <= corner_pass_memo_bytes);
using PassSets = MemoTable<PassSet, 2, pass_set_bits, corner_pass_memo_offset, 64>;

// The settings and start of the pass over rec.
PassHead pass_head(const VdbData* rec)
{
    return PassHead{static_cast<std::uint32_t>(svo_reso_mm_x) | std::uint64_t{min_corner_vel} << 32,
                    rec->psuedodist | std::uint64_t{static_cast<std::uint32_t>(CREEP_VELOCITY)} << 32};
}

// The key words of record r with corner speed cnrvel: the fields the pass
// reads of it.
inline void record_key(const VdbData* r, std::uint16_t cnrvel, std::uint64_t* w)
{
    w[0] = r->anglediff | std::uint64_t{static_cast<std::uint32_t>(r->majrdisth)} << 32;
    w[1] = r->majrdvel | std::uint64_t{cnrvel} << 32 | std::uint64_t{r->acclcount} << 48;
    w[2] = static_cast<std::uint32_t>(r->acc_index) | std::uint64_t{r->cmd} << 32;
}

// The key words of record r as it is.
inline void record_key(const VdbData* r, std::uint64_t* w)
{
    record_key(r, r->cnrvel, w);
}

// The hash of a pass's head and its first two records; its top bits pick the set.
std::uint64_t prefix_hash(const PassHead& head, const std::uint64_t* first_two)
{
    std::uint64_t h = head.settings * 0x9E3779B97F4A7C15u + head.start;
    for (int i = 0; i < 2 * record_words; ++i) {
        h = std::rotl(h, 23) + first_two[i];
    }
    h ^= h >> 31;
    h *= 0x9E3779B97F4A7C15u;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9u;
    return h;
}

// What a pass the memo did not hold started from, for remember to key it:
// the fields the pass may change of each record it may look at. The others
// it only reads, and they are as the key has them when it has run.
struct PassStart {
    bool armed = false;  // set by a recall that missed, for the remember that follows
    const VdbData* rec = nullptr;
    std::uint64_t prefix = 0;
    PassHead head{};
    std::uint16_t cnrvel[max_key_records] = {};
    std::int32_t smooth[max_key_records] = {};
};
PassStart pass_start;

// Whether the remembered pass e starts from rec as it is now; first_two
// holds the key words of rec and the record before it.
bool starts_here(const RememberedPass& e, std::uint64_t prefix, const PassHead& head,
                 const std::uint64_t* first_two, const VdbData* rec)
{
    if (e.prefix != prefix || e.looked_at == 0 || !(e.head == head)) {
        return false;
    }
    // A pass found by its hash nearly always matches: every word is
    // compared, without a branch per record.
    std::uint64_t diff = 0;
    for (int i = 0; i < 2 * record_words; ++i) {
        diff |= first_two[i] ^ e.key[i];
    }
    const VdbData* r = rec->prev;
    for (int p = 2; p <= e.looked_at; ++p) {
        r = r->prev;
        std::uint64_t now[record_words];
        record_key(r, now);
        const std::uint64_t* was = &e.key[p * record_words];
        diff |= (now[0] ^ was[0]) | (now[1] ^ was[1]) | (now[2] ^ was[2]);
    }
    return diff == 0;
}

// Leaves the records before rec as the remembered pass left them.
void replay(const RememberedPass& e, VdbData* rec, std::int32_t* raised, VdbData** last_changed)
{
    VdbData* r = rec;
    *last_changed = rec;
    for (int p = 1; p <= e.looked_at; ++p) {
        r = r->prev;
        const std::uint64_t a = e.after[p - 1];
        r->cnrvel = static_cast<std::uint16_t>(a);
        r->smoothCnt = static_cast<std::int32_t>(static_cast<std::uint32_t>(r->smoothCnt) +
                                                 static_cast<std::uint16_t>(a >> 16));
        r->psuedodist = static_cast<std::uint32_t>(a >> 32);
        if (p == e.last_changed) {
            *last_changed = r;
        }
    }
    *raised = e.raised;
    replay_state.corner_passes_remembered += 1;
}

// Keeps what the pass about to run over rec may change.
void arm_start(const VdbData* rec, std::uint64_t prefix, const PassHead& head)
{
    PassStart& s = pass_start;
    s.armed = true;
    s.rec = rec;
    s.prefix = prefix;
    s.head = head;
    const VdbData* r = rec;
    for (int p = 0; p < max_key_records; ++p, r = r->prev) {
        s.cnrvel[p] = r->cnrvel;
        s.smooth[p] = r->smoothCnt;
    }
}

// The memo's recall: the pass over rec, when a pass from the same start was remembered.
CornerPassRecall recall(VdbData* rec, std::int32_t* raised, VdbData** last_changed)
{
    pass_start.armed = false;
    MemoPace& pace = replay_state.corner_pass_pace;
    if (pace.resting()) {
        // The planner counts the rest down without asking.
        vector_planner_state.corner_passes_unasked = pace.take_rest();
        return CornerPassRecall::run;
    }
    const PassHead head = pass_head(rec);
    std::uint64_t first_two[2 * record_words];
    record_key(rec, first_two);
    record_key(rec->prev, first_two + record_words);
    const std::uint64_t prefix = prefix_hash(head, first_two);
    PassSet& set = PassSets::set_of_hash(prefix);
    for (int i = 0; i < 2; ++i) {
        if (starts_here(set.way[i], prefix, head, first_two, rec)) {
            set.recent = static_cast<std::uint8_t>(i);
            // A pass that raised nothing cost little more than its look-up.
            if (set.way[i].raised != 0) {
                pace.hit();
            }
            replay(set.way[i], rec, raised, last_changed);
            return CornerPassRecall::recalled;
        }
    }
    arm_start(rec, prefix, head);
    return CornerPassRecall::run_and_remember;
}

// The memo's remember: keeps the pass that just ran over rec in the way of
// its set not taken last.
void remember(const VdbData* rec, std::int32_t raised, std::int32_t looked_at,
              const VdbData* last_changed)
{
    PassStart& s = pass_start;
    if (!s.armed || s.rec != rec || looked_at < 1 || looked_at > corner_look_back_limit) {
        s.armed = false;
        return;
    }
    s.armed = false;
    PassSet& set = PassSets::set_of_hash(s.prefix);
    set.recent = static_cast<std::uint8_t>(1 - set.recent);
    RememberedPass& e = set.way[set.recent];
    e.looked_at = 0;  // empty until complete
    e.prefix = s.prefix;
    e.head = s.head;
    e.raised = static_cast<std::uint8_t>(raised);
    e.last_changed = 0;
    record_key(rec, e.key);
    const VdbData* r = rec;
    for (int p = 1; p <= looked_at; ++p) {
        r = r->prev;
        // The record as the pass found it: its corner speed before.
        record_key(r, s.cnrvel[p], &e.key[p * record_words]);
        const std::uint32_t rise = static_cast<std::uint32_t>(r->smoothCnt) -
                                   static_cast<std::uint32_t>(s.smooth[p]);
        if (rise > 0xFFFF) {
            return;
        }
        e.after[p - 1] = r->cnrvel | std::uint64_t{rise} << 16 | std::uint64_t{r->psuedodist} << 32;
        if (r == last_changed) {
            e.last_changed = static_cast<std::uint8_t>(p);
        }
    }
    if (last_changed != rec && e.last_changed == 0) {
        return;
    }
    e.looked_at = static_cast<std::uint8_t>(looked_at);
    PassSets::took_entry();
}

} // namespace

const CornerPassMemo corner_pass_memo{recall, remember};
