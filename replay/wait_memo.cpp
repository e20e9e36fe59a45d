#include "replay/wait_memo.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>
#include <vector>

#include "base/console.h"
#include "fwShare/servo/servo_state.h"
#include "fwShare/servo/vector_exec.h"
#include "fwShare/servo/tick_clock.h"
#include "replay/memo_space.h"
#include "replay/tick_account.h"
#include "replay/tick_runner.h"

namespace {

// The motion state and the vector settings a wait's ticks read, and what
// the wait waits for, packed without padding so that equal starts compare
// and hash as equal bytes.
struct MotionKey {
    std::int32_t delay_count;
    std::int32_t creep_min;
    // With the tick log: which of the works a wait's ticks may be logged
    // under are the same (work_sources).
    std::uint32_t work_pattern;
    std::int16_t svo_state;
    std::int16_t hold_gain_count;
    std::int16_t gain_base_x, gain_base_y;
    std::int16_t gain_x, gain_y;  // the gains a vector's first hold tick loads
    std::uint8_t phase;
    std::uint8_t corner_chain;
    std::uint8_t crowded;           // the slew ticks' crowded-queue check
    std::uint8_t job_timing_state;  // whether the ticks count per phase
    std::uint8_t records;    // records the wait runs through: the executing one and those behind it
    std::uint8_t idle_wait;  // 1: until no record is left; 0: until the executing record is free
    std::uint8_t logged;     // 1: the ticks are logged
    std::uint8_t run_phase;  // with the tick log: the phase of the run logged last
};
static_assert(std::has_unique_object_representations_v<MotionKey>);

// The fields of a vector record that its ticks read or write: those they
// may change first, then those they only read.
struct RecordKey {
    std::int32_t majrdisth;
    std::uint32_t majrfract;
    std::int32_t minrdisth;
    std::uint32_t minrfract;
    std::uint32_t minrdvel, minrvel, majrdvel, majrvel;
    std::uint32_t ddr, high_ddr;
    std::int32_t acc_index;
    std::uint16_t acclcount, currvel;
    std::uint8_t cmd;
    std::uint8_t octant;
    std::uint16_t slope, cnrvel, end_delay;
    std::uint32_t creep, psuedodist;
};
static_assert(std::has_unique_object_representations_v<RecordKey>);

// Most records a remembered wait runs through. A raster pass waits for idle
// over two: the move to the pass and the pass.
constexpr int wait_max_records = 2;

// What a wait starts from: the motion state and the records it runs
// through (those it does not are zero).
struct WaitKey {
    MotionKey motion;
    RecordKey rec[wait_max_records];
};
static_assert(std::has_unique_object_representations_v<WaitKey>);
static_assert(wait_max_records == 2);

// With the tick log, the works a wait's ticks may be logged under: the
// first and the last record it runs through, the record after them, the
// work the last tick before the wait belonged to, and that of the run
// logged last. A remembered wait logs its runs by source, not by work, so
// that it replays under the works of the records it meets.
constexpr int work_source_count = 5;
struct WorkSources {
    std::uint32_t work[work_source_count];
};

// A run the wait logged: its first tick from the wait's start, the source
// of its work and its phase.
struct LoggedRun {
    std::uint32_t tick;
    std::uint8_t source;
    std::uint8_t phase;
};

// Most runs a remembered wait logs; a wait that logs more runs as it is.
constexpr std::size_t wait_max_logged_runs = 16;

// A wait that ran: what it started from and what it did. The record after
// the last it runs through is part of the key only when the wait read it
// (took the corner into it); the last step only when the wait left it as it
// found it, since it then either moved no axis or ended on the same step.
struct RememberedWait {
    std::uint64_t hash;  // of the key, compared first
    WaitKey key;
    RecordKey next;
    std::int32_t step_x, step_y;  // the last step at the start, when step_keyed
    bool used;
    bool reads_next;
    bool step_keyed;
    std::uint32_t ticks;
    std::uint32_t phase_ticks[SVO_PHASE_COUNT];
    std::uint32_t end_mark;  // job_end_tick less the tick count at the start, or no_end_mark
    std::uint32_t pos_x, pos_y;
    std::uint16_t err_x, err_y;
    std::int32_t last_step_x, last_step_y;
    MotionKey motion_after;
    RecordKey rec_after[wait_max_records];
    RecordKey next_after;
    // With the tick log: the runs logged and the source of the last tick's work.
    std::uint8_t logged_runs;
    std::uint8_t tick_work_source;
    LoggedRun log[wait_max_logged_runs];
};

constexpr std::uint32_t no_end_mark = 0xFFFFFFFFu;

// Two remembered waits per hash of the start, the one used last marked.
// Raster passes and repeated shapes meet a few hundred distinct waits, sixty
// circles of 360 chords some 900: 1024 sets (1.3 MB) once 64 waits were
// remembered, 16 sets before.
constexpr unsigned wait_set_bits = 10;

using WaitSet = TwoWaySet<RememberedWait>;
static_assert((sizeof(WaitSet) << wait_set_bits) <= wait_memo_bytes);
using WaitSets = MemoTable<WaitSet, 4, wait_set_bits, wait_memo_offset, 64>;

// The record fields the ticks read or write.
RecordKey record_key(const VdbData* r)
{
    return RecordKey{r->majrdisth, r->majrfract, r->minrdisth, r->minrfract, r->minrdvel,
                     r->minrvel,   r->majrdvel,  r->majrvel,   r->ddr,       r->high_ddr,
                     r->acc_index, r->acclcount, r->currvel,   r->cmd,       r->octant,
                     r->slope,     r->cnrvel,    r->end_delay, r->creep,     r->psuedodist};
}

// Puts back the fields a wait changed as it left them (the others it only
// read, and they are as its key has them).
void restore_record(VdbData* r, const RecordKey& k)
{
    r->majrdisth = k.majrdisth;
    r->majrfract = k.majrfract;
    r->minrdisth = k.minrdisth;
    r->minrfract = k.minrfract;
    r->minrdvel = k.minrdvel;
    r->minrvel = k.minrvel;
    r->majrdvel = k.majrdvel;
    r->majrvel = k.majrvel;
    r->ddr = k.ddr;
    r->high_ddr = k.high_ddr;
    r->acc_index = k.acc_index;
    r->acclcount = k.acclcount;
    r->currvel = k.currvel;
    r->cmd = k.cmd;
}

// The motion state and settings now, for a wait over records records.
MotionKey motion_key(std::uint8_t records, std::uint8_t idle_wait)
{
    return MotionKey{delay_count,
                     creep_min,
                     0,
                     svo_state,
                     hold_gain_count,
                     svo_gain_base_x,
                     svo_gain_base_y,
                     svo_gains.XGain,
                     svo_gains.YGain,
                     phase,
                     static_cast<std::uint8_t>(corner_chain_enable != 0),
                     static_cast<std::uint8_t>(svo_queue_crowded()),
                     static_cast<std::uint8_t>(job_timing_state),
                     records,
                     idle_wait,
                     0,
                     0};
}

// The works a wait from rec over records records may log its ticks under.
WorkSources work_sources(const VdbData* rec, int records, const VdbData* next)
{
    const VdbData* last = records > 1 ? rec->next : rec;
    const TickAccountState& a = tick_account_state;
    return WorkSources{{rec->work, last->work, next->work, a.tick_work, a.run_work}};
}

// Which sources hold the same work: a bit per pair.
std::uint32_t work_pattern(const WorkSources& s)
{
    std::uint32_t bits = 0;
    int bit = 0;
    for (int i = 0; i < work_source_count; ++i) {
        for (int j = i + 1; j < work_source_count; ++j, ++bit) {
            bits |= static_cast<std::uint32_t>(s.work[i] == s.work[j]) << bit;
        }
    }
    return bits;
}

// The first source that holds work, or work_source_count.
std::uint8_t source_of(const WorkSources& s, std::uint32_t work)
{
    std::uint8_t i = 0;
    while (i < work_source_count && s.work[i] != work) {
        ++i;
    }
    return i;
}

// The motion state a wait changes; the rest of its key it only reads.
void restore_motion(const MotionKey& m)
{
    servo_isr_state.svo_state = m.svo_state;
    phase = m.phase;
    delay_count = m.delay_count;
    hold_gain_count = m.hold_gain_count;
    svo_gain_base_x = m.gain_base_x;
    svo_gain_base_y = m.gain_base_y;
}

// Keys as 64-bit words: the motion state's, then each record's.
constexpr std::size_t motion_words = sizeof(MotionKey) / 8;
constexpr std::size_t record_words = sizeof(RecordKey) / 8;
static_assert(sizeof(MotionKey) % 8 == 0 && sizeof(RecordKey) % 8 == 0);

// The bytes of a key at a word.
inline const unsigned char* key_bytes(const void* key, std::size_t word)
{
    return static_cast<const unsigned char*>(key) + 8 * word;
}

// Folds N words into the hash h: rotate and add, cheap per word; the set
// index mixes the sum once.
template <std::size_t N>
inline std::uint64_t hash_words(const unsigned char* p, std::uint64_t h)
{
    for (std::size_t i = 0; i < N; ++i) {
        std::uint64_t w = 0;
        std::memcpy(&w, p + 8 * i, 8);
        h = std::rotl(h, 23) + w;
    }
    return h;
}

// Whether N words are the same.
template <std::size_t N>
inline bool same_words(const unsigned char* a, const unsigned char* b)
{
    std::uint64_t d = 0;
    for (std::size_t i = 0; i < N; ++i) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        std::memcpy(&x, a + 8 * i, 8);
        std::memcpy(&y, b + 8 * i, 8);
        d |= x ^ y;
    }
    return d == 0;
}

inline bool same_record(const RecordKey& a, const RecordKey& b)
{
    return same_words<record_words>(key_bytes(&a, 0), key_bytes(&b, 0));
}

// Whether two starts are the same; the records a wait does not run through
// are zero in both.
inline bool same_start(const WaitKey& a, const WaitKey& b)
{
    constexpr std::size_t first = motion_words + record_words;
    return same_words<first>(key_bytes(&a, 0), key_bytes(&b, 0)) &&
           (a.motion.records < 2 || same_words<record_words>(key_bytes(&a, first), key_bytes(&b, first)));
}

// The hash of a wait's start; its top bits pick the set.
std::uint64_t start_hash(const WaitKey& key)
{
    constexpr std::size_t first = motion_words + record_words;
    std::uint64_t h = hash_words<first>(key_bytes(&key, 0), 0);
    if (key.motion.records > 1) {
        h = hash_words<record_words>(key_bytes(&key, first), h);
    }
    h ^= h >> 31;
    h *= 0x9E3779B97F4A7C15u;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9u;
    return h;
}

// The records a wait runs through, from the executing one: 0 when it runs
// through more than the memo keeps, or cannot be told by its start.
int wait_records(const VdbData* wait_rec, const VdbData* rec)
{
    if (rec == nullptr || rec->cmd == NULL_CMD || isr_holdoff != 0) {
        return 0;
    }
    if (wait_rec != nullptr) {
        return wait_rec == rec ? 1 : 0;
    }
    const VdbData* r = rec->next;
    for (int n = 1; n <= wait_max_records; ++n, r = r->next) {
        if (r->cmd == NULL_CMD) {
            return n;
        }
    }
    return 0;
}

// Whether w is the wait that starts here and fits in max_ticks.
bool replays_here(const RememberedWait& w, std::uint64_t hash, const WaitKey& key,
                  const VdbData* next, std::uint64_t max_ticks)
{
    return w.hash == hash && w.used && w.ticks <= max_ticks && same_start(w.key, key) &&
           (!w.step_keyed || (w.step_x == svo_step_x && w.step_y == svo_step_y)) &&
           (!w.reads_next || same_record(w.next, record_key(next)));
}

// Logs the runs of a remembered wait that started at tick start under the
// works its sources hold now.
void replay_log(const RememberedWait& w, std::uint32_t start, const WorkSources& sources)
{
    for (std::size_t i = 0; i < w.logged_runs; ++i) {
        const LoggedRun& run = w.log[i];
        tick_account_note(start + run.tick, sources.work[run.source], run.phase);
    }
    tick_account_state.tick_work = sources.work[w.tick_work_source];
}

// Leaves the machine as the remembered wait left it.
void replay(const RememberedWait& w, VdbData* rec, VdbData* next, const WorkSources& sources)
{
    const std::uint32_t start = static_cast<std::uint32_t>(svo_tick_count);
    if (w.key.motion.logged != 0) {
        replay_log(w, start, sources);
    }
    svo_tick_count = static_cast<std::int32_t>(start + w.ticks);
    for (int p = 0; p < SVO_PHASE_COUNT; ++p) {
        phase_tick_count[p] =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(phase_tick_count[p]) + w.phase_ticks[p]);
    }
    if (w.end_mark != no_end_mark) {
        job_end_tick = static_cast<std::int32_t>(start + w.end_mark);
    }
    svo_pos_x = static_cast<std::int32_t>(static_cast<std::uint32_t>(svo_pos_x) + w.pos_x);
    svo_pos_y = static_cast<std::int32_t>(static_cast<std::uint32_t>(svo_pos_y) + w.pos_y);
    svo_err_x = static_cast<std::int16_t>(static_cast<std::uint16_t>(svo_err_x) + w.err_x);
    svo_err_y = static_cast<std::int16_t>(static_cast<std::uint16_t>(svo_err_y) + w.err_y);
    if (!w.step_keyed) {
        svo_step_x = w.last_step_x;
        svo_step_y = w.last_step_y;
    }
    restore_motion(w.motion_after);
    VdbData* r = rec;
    for (int i = 0; i < w.key.motion.records; ++i, r = r->next) {
        restore_record(r, w.rec_after[i]);
    }
    if (w.reads_next) {
        restore_record(next, w.next_after);
    }
    SVO_SetVectPtr(w.key.motion.idle_wait != 0 ? nullptr : next);
    replay_state.waits_remembered += 1;
    replay_state.ticks_remembered += w.ticks;
}

// What the machine looked like when a wait began that the memo did not
// have, kept in the slot it will take, for what the wait did to be told
// from its end.
struct WaitStart {
    std::uint32_t tick;
    std::uint32_t phase_ticks[SVO_PHASE_COUNT];
    std::int32_t job_start_tick, job_end_tick;
    std::int32_t pos_x, pos_y;
    std::int16_t err_x, err_y;
    std::uint64_t console_writes;
    std::size_t runs_logged;  // with the tick log
};

WaitStart wait_start(RememberedWait& w, const WaitKey& key, const VdbData* next)
{
    w.used = false;
    w.key = key;
    w.next = record_key(next);
    w.step_x = svo_step_x;
    w.step_y = svo_step_y;
    WaitStart s{static_cast<std::uint32_t>(svo_tick_count),
                {},
                job_start_tick,
                job_end_tick,
                svo_pos_x,
                svo_pos_y,
                svo_err_x,
                svo_err_y,
                console_writes(),
                tick_account_state.runs.size()};
    for (int p = 0; p < SVO_PHASE_COUNT; ++p) {
        s.phase_ticks[p] = static_cast<std::uint32_t>(phase_tick_count[p]);
    }
    return s;
}

// Whether the wait that ran can be replayed from what it left: it ended on
// its condition where such a wait ends, wrote no console line, and neither
// started the job clock nor changed its state.
bool may_remember(const RememberedWait& w, const WaitStart& s, SvoRunEnd end, std::uint64_t ran,
                  const VdbData* next)
{
    const VdbData* end_rec = w.key.motion.idle_wait != 0 ? nullptr : next;
    return end == SvoRunEnd::condition && ran != 0 && ran < no_end_mark && SVO_VectPtr == end_rec &&
           console_writes() == s.console_writes && job_timing_state == static_cast<std::int32_t>(w.key.motion.job_timing_state) &&
           job_start_tick == s.job_start_tick;
}

// Keeps the runs the wait logged by the sources of their works; false when
// it logged more than a remembered wait keeps or under a work of no source.
bool remember_log(RememberedWait& w, const WaitStart& s, const WorkSources& sources)
{
    const std::vector<TickRun>& runs = tick_account_state.runs;
    const std::size_t count = runs.size() - s.runs_logged;
    if (count > wait_max_logged_runs) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const TickRun& run = runs[s.runs_logged + i];
        const std::uint8_t source = source_of(sources, run.work);
        if (source == work_source_count) {
            return false;
        }
        w.log[i] = LoggedRun{run.first_tick - s.tick, source, run.phase};
    }
    w.logged_runs = static_cast<std::uint8_t>(count);
    w.tick_work_source = source_of(sources, tick_account_state.tick_work);
    return w.tick_work_source != work_source_count;
}

// Completes the slot w with what the wait that ran from s did; false when
// it cannot be replayed.
bool remember(RememberedWait& w, const WaitStart& s, std::uint64_t ran, const VdbData* rec,
              const VdbData* next, const WorkSources& sources)
{
    if (w.key.motion.logged != 0 && !remember_log(w, s, sources)) {
        return false;
    }
    w.next_after = record_key(next);
    // Only the tick that takes the corner reads the next record; it leaves
    // the interrupt accelerating there.
    w.reads_next = svo_state == ISRACC || !same_record(w.next, w.next_after);
    w.step_keyed = svo_step_x == w.step_x && svo_step_y == w.step_y;
    w.ticks = static_cast<std::uint32_t>(ran);
    for (int p = 0; p < SVO_PHASE_COUNT; ++p) {
        w.phase_ticks[p] = static_cast<std::uint32_t>(phase_tick_count[p]) - s.phase_ticks[p];
    }
    w.end_mark = job_end_tick != s.job_end_tick ? static_cast<std::uint32_t>(job_end_tick) - s.tick
                                                : no_end_mark;
    w.pos_x = static_cast<std::uint32_t>(svo_pos_x) - static_cast<std::uint32_t>(s.pos_x);
    w.pos_y = static_cast<std::uint32_t>(svo_pos_y) - static_cast<std::uint32_t>(s.pos_y);
    w.err_x = static_cast<std::uint16_t>(static_cast<std::uint16_t>(svo_err_x) -
                                         static_cast<std::uint16_t>(s.err_x));
    w.err_y = static_cast<std::uint16_t>(static_cast<std::uint16_t>(svo_err_y) -
                                         static_cast<std::uint16_t>(s.err_y));
    w.last_step_x = svo_step_x;
    w.last_step_y = svo_step_y;
    w.motion_after = motion_key(w.key.motion.records, w.key.motion.idle_wait);
    const VdbData* r = rec;
    for (int i = 0; i < w.key.motion.records; ++i, r = r->next) {
        w.rec_after[i] = record_key(r);
    }
    w.used = true;
    return true;
}

} // namespace

SvoRunEnd wait_memo_run(const VdbData* wait_rec, std::uint64_t max_ticks, std::uint64_t* ran,
                        WaitTicks run)
{
    VdbData* rec = SVO_VectPtr;
    if (replay_state.wait_pace.resting()) {
        return run(wait_rec, max_ticks, ran);
    }
    const int records = wait_records(wait_rec, rec);
    if (records == 0) {
        return run(wait_rec, max_ticks, ran);
    }
    WaitKey key;
    key.motion = motion_key(static_cast<std::uint8_t>(records), wait_rec == nullptr);
    key.rec[0] = record_key(rec);
    VdbData* next = rec->next;
    if (records > 1) {
        key.rec[1] = record_key(next);
        next = next->next;
    } else {
        key.rec[1] = RecordKey{};
    }
    WorkSources sources{};
    if (tick_account_state.enabled) {
        sources = work_sources(rec, records, next);
        key.motion.logged = 1;
        key.motion.run_phase = tick_account_state.run_phase;
        key.motion.work_pattern = work_pattern(sources);
    }
    const std::uint64_t hash = start_hash(key);
    WaitSet& set = WaitSets::set_of_hash(hash);
    for (int way = 0; way < 2; ++way) {
        const RememberedWait& w = set.way[way];
        if (replays_here(w, hash, key, next, max_ticks)) {
            set.recent = static_cast<std::uint8_t>(way);
            replay_state.wait_pace.hit();
            replay(w, rec, next, sources);
            *ran = w.ticks;
            return SvoRunEnd::condition;
        }
    }
    const int way = 1 - set.recent;
    set.recent = static_cast<std::uint8_t>(way);
    RememberedWait& w = set.way[way];
    w.hash = hash;
    const WaitStart start = wait_start(w, key, next);
    const SvoRunEnd end = run(wait_rec, max_ticks, ran);
    if (may_remember(w, start, end, *ran, next) && remember(w, start, *ran, rec, next, sources)) {
        WaitSets::took_entry();
    }
    return end;
}
