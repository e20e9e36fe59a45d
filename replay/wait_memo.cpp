#include "replay/wait_memo.h"

#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

#include "replay/memo_key.h"
#include "replay/memo_space.h"
#include "replay/replay_machine.h"
#include "replay/wait_fields.h"

namespace {

using namespace wait_fields;

using MotionKey = MotionFields::Key;
using RecordKey = RecordFields::Key;

// Which wait a start is of, and how its ticks are logged.
struct WaitShape {
    std::uint8_t records;  // records the wait runs through: the executing one and those behind it
    bool idle_wait;        // until no record is left (else until the executing record is free)
    bool logged;           // the ticks are logged
    std::uint8_t run_phase;      // with the tick log: the phase of the run logged last
    std::uint32_t work_pattern;  // with the tick log: which sources hold the same work

    MemoKey<1> key() const
    {
        return pack_key(records, idle_wait, logged, run_phase, work_pattern);
    }
};

// Most records a remembered wait runs through. A raster pass waits for idle
// over two: the move to the pass and the pass.
constexpr int wait_max_records = 2;

// What a wait starts from: which wait it is, the motion state and the
// records it runs through (those it does not are zero).
struct WaitKey {
    MemoKey<1> shape;
    MotionKey motion;
    RecordKey rec[wait_max_records];
};
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
    WaitShape shape;
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

// The works a wait from rec over records records may log its ticks under.
WorkSources work_sources(const ReplayMachine& m, const VdbData* rec, int records,
                         const VdbData* next)
{
    const VdbData* last = records > 1 ? rec->next : rec;
    const TickAccountState& a = m.tick_account_state;
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

// Whether two starts are the same; the records a wait does not run through
// are zero in both.
inline bool same_start(const WaitKey& a, const WaitKey& b, const WaitShape& shape)
{
    // All three compared without a branch between them.
    const bool first = (static_cast<unsigned>(same_key(a.shape, b.shape)) &
                        static_cast<unsigned>(same_key(a.motion, b.motion)) &
                        static_cast<unsigned>(same_key(a.rec[0], b.rec[0]))) != 0;
    return first && (shape.records < 2 || same_key(a.rec[1], b.rec[1]));
}

// The hash of a wait's start; its top bits pick the set.
std::uint64_t start_hash(const WaitKey& key, const WaitShape& shape)
{
    std::uint64_t h = fold_key_words<1>(key.shape.word);
    h = fold_key_words<MotionFields::words>(key.motion.word, h);
    h = fold_key_words<RecordFields::words>(key.rec[0].word, h);
    if (shape.records > 1) {
        h = fold_key_words<RecordFields::words>(key.rec[1].word, h);
    }
    return h;
}

// The records a wait runs through, from the executing one: 0 when it runs
// through more than the memo keeps, or cannot be told by its start.
int wait_records(const ReplayMachine& m, const VdbData* wait_rec, const VdbData* rec)
{
    if (rec == nullptr || rec->cmd == NULL_CMD || m.isr_holdoff != 0) {
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
bool replays_here(const ReplayMachine& m, const RememberedWait& w, std::uint64_t hash,
                  const WaitKey& key, const WaitShape& shape, const VdbData* next,
                  std::uint64_t max_ticks)
{
    return w.hash == hash && w.used && w.ticks <= max_ticks && same_start(w.key, key, shape) &&
           (!w.step_keyed || (w.step_x == m.svo_step_x && w.step_y == m.svo_step_y)) &&
           (!w.reads_next || same_key(w.next, RecordFields::key(m, next)));
}

// Logs the runs of a remembered wait that started at tick start under the
// works its sources hold now.
void replay_log(ReplayMachine& m, const RememberedWait& w, std::uint32_t start,
                const WorkSources& sources)
{
    for (std::size_t i = 0; i < w.logged_runs; ++i) {
        const LoggedRun& run = w.log[i];
        m.tick_account_note(start + run.tick, sources.work[run.source], run.phase);
    }
    m.tick_account_state.tick_work = sources.work[w.tick_work_source];
}

// Leaves the machine as the remembered wait left it.
void replay(ReplayMachine& m, const RememberedWait& w, VdbData* rec, VdbData* next,
            const WorkSources& sources)
{
    const std::uint32_t start = static_cast<std::uint32_t>(m.svo_tick_count);
    if (w.shape.logged) {
        replay_log(m, w, start, sources);
    }
    m.svo_tick_count = static_cast<std::int32_t>(start + w.ticks);
    for (int p = 0; p < SVO_PHASE_COUNT; ++p) {
        const std::uint32_t count = static_cast<std::uint32_t>(m.phase_tick_count[p]);
        m.phase_tick_count[p] = static_cast<std::int32_t>(count + w.phase_ticks[p]);
    }
    if (w.end_mark != no_end_mark) {
        m.job_end_tick = static_cast<std::int32_t>(start + w.end_mark);
    }
    m.svo_pos_x = static_cast<std::int32_t>(static_cast<std::uint32_t>(m.svo_pos_x) + w.pos_x);
    m.svo_pos_y = static_cast<std::int32_t>(static_cast<std::uint32_t>(m.svo_pos_y) + w.pos_y);
    m.svo_err_x = static_cast<std::int16_t>(static_cast<std::uint16_t>(m.svo_err_x) + w.err_x);
    m.svo_err_y = static_cast<std::int16_t>(static_cast<std::uint16_t>(m.svo_err_y) + w.err_y);
    if (!w.step_keyed) {
        m.svo_step_x = w.last_step_x;
        m.svo_step_y = w.last_step_y;
    }
    MotionFields::restore(m, rec, w.motion_after);
    VdbData* r = rec;
    for (int i = 0; i < w.shape.records; ++i, r = r->next) {
        RecordFields::restore(m, r, w.rec_after[i]);
    }
    if (w.reads_next) {
        RecordFields::restore(m, next, w.next_after);
    }
    m.SVO_SetVectPtr(w.shape.idle_wait ? nullptr : next);
    m.replay_state.waits_remembered += 1;
    m.replay_state.ticks_remembered += w.ticks;
}

// What the machine looked like when a wait began that the memo did not
// have, kept in the slot it will take, for what the wait did to be told
// from its end.
struct WaitStart {
    std::uint32_t tick;
    std::uint32_t phase_ticks[SVO_PHASE_COUNT];
    std::int32_t job_timing_state, job_start_tick, job_end_tick;
    std::int32_t pos_x, pos_y;
    std::int16_t err_x, err_y;
    std::uint64_t console_writes;
    std::size_t runs_logged;  // with the tick log
};

// Takes the slot w for the wait about to run from key and shape; what the
// machine looks like now.
WaitStart wait_start(const ReplayMachine& m, RememberedWait& w, const WaitKey& key,
                     const WaitShape& shape, const VdbData* next)
{
    w.used = false;
    w.key = key;
    w.shape = shape;
    w.next = RecordFields::key(m, next);
    w.step_x = m.svo_step_x;
    w.step_y = m.svo_step_y;
    WaitStart s{static_cast<std::uint32_t>(m.svo_tick_count),
                {},
                m.job_timing_state,
                m.job_start_tick,
                m.job_end_tick,
                m.svo_pos_x,
                m.svo_pos_y,
                m.svo_err_x,
                m.svo_err_y,
                m.console_writes(),
                m.tick_account_state.runs.size()};
    for (int p = 0; p < SVO_PHASE_COUNT; ++p) {
        s.phase_ticks[p] = static_cast<std::uint32_t>(m.phase_tick_count[p]);
    }
    return s;
}

// Whether the wait that ran can be replayed from what it left: it ended on
// its condition where such a wait ends, wrote no console line, and neither
// started the job clock nor changed its state.
bool may_remember(const ReplayMachine& m, const RememberedWait& w, const WaitStart& s,
                  SvoRunEnd end, std::uint64_t ran, const VdbData* next)
{
    const VdbData* end_rec = w.shape.idle_wait ? nullptr : next;
    return end == SvoRunEnd::condition && ran != 0 && ran < no_end_mark &&
           m.SVO_VectPtr == end_rec && m.console_writes() == s.console_writes &&
           m.job_timing_state == s.job_timing_state && m.job_start_tick == s.job_start_tick;
}

// Keeps the runs the wait logged by the sources of their works; false when
// it logged more than a remembered wait keeps or under a work of no source.
bool remember_log(const ReplayMachine& m, RememberedWait& w, const WaitStart& s,
                  const WorkSources& sources)
{
    const std::vector<TickRun>& runs = m.tick_account_state.runs;
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
    w.tick_work_source = source_of(sources, m.tick_account_state.tick_work);
    return w.tick_work_source != work_source_count;
}

// Completes the slot w with what the wait that ran from s did; false when
// it cannot be replayed.
bool remember(const ReplayMachine& m, RememberedWait& w, const WaitStart& s, std::uint64_t ran,
              const VdbData* rec, const VdbData* next, const WorkSources& sources)
{
    if (w.shape.logged && !remember_log(m, w, s, sources)) {
        return false;
    }
    w.next_after = RecordFields::key(m, next);
    // Only the tick that takes the corner reads the next record; it leaves
    // the interrupt accelerating there.
    w.reads_next = m.svo_state == ISRACC || !same_key(w.next, w.next_after);
    w.step_keyed = m.svo_step_x == w.step_x && m.svo_step_y == w.step_y;
    w.ticks = static_cast<std::uint32_t>(ran);
    for (int p = 0; p < SVO_PHASE_COUNT; ++p) {
        w.phase_ticks[p] = static_cast<std::uint32_t>(m.phase_tick_count[p]) - s.phase_ticks[p];
    }
    w.end_mark = m.job_end_tick != s.job_end_tick
                     ? static_cast<std::uint32_t>(m.job_end_tick) - s.tick
                     : no_end_mark;
    w.pos_x = static_cast<std::uint32_t>(m.svo_pos_x) - static_cast<std::uint32_t>(s.pos_x);
    w.pos_y = static_cast<std::uint32_t>(m.svo_pos_y) - static_cast<std::uint32_t>(s.pos_y);
    w.err_x = static_cast<std::uint16_t>(static_cast<std::uint16_t>(m.svo_err_x) -
                                         static_cast<std::uint16_t>(s.err_x));
    w.err_y = static_cast<std::uint16_t>(static_cast<std::uint16_t>(m.svo_err_y) -
                                         static_cast<std::uint16_t>(s.err_y));
    w.last_step_x = m.svo_step_x;
    w.last_step_y = m.svo_step_y;
    w.motion_after = MotionFields::key(m, rec);
    const VdbData* r = rec;
    for (int i = 0; i < w.shape.records; ++i, r = r->next) {
        w.rec_after[i] = RecordFields::key(m, r);
    }
    w.used = true;
    return true;
}

// The start of a wait of shape from the executing record rec.
WaitKey start_key(const ReplayMachine& m, const VdbData* rec, const WaitShape& shape)
{
    WaitKey key;
    key.shape = shape.key();
    key.motion = MotionFields::key(m, rec);
    key.rec[0] = RecordFields::key(m, rec);
    key.rec[1] = shape.records > 1 ? RecordFields::key(m, rec->next) : RecordKey{};
    return key;
}

// The remembered wait of set that starts here and fits in max_ticks, or null.
const RememberedWait* recalled_wait(const ReplayMachine& m, WaitSet& set, std::uint64_t hash,
                                    const WaitKey& key, const WaitShape& shape,
                                    const VdbData* next, std::uint64_t max_ticks)
{
    for (int way = 0; way < 2; ++way) {
        const RememberedWait& w = set.way[way];
        if (replays_here(m, w, hash, key, shape, next, max_ticks)) {
            set.recent = static_cast<std::uint8_t>(way);
            return &w;
        }
    }
    return nullptr;
}

} // namespace

// A machine's remembered waits.
struct ReplayMachine::WaitMemo {
    WaitSets waits;
};

// Made empty with the machine.
MemoState<ReplayMachine::WaitMemo> ReplayMachine::new_wait_memo(MemoIndex& index)
{
    return new_memo_state<WaitMemo, &WaitMemo::waits>(index);
}

SvoRunEnd ReplayMachine::wait_memo_run(const VdbData* wait_rec, std::uint64_t max_ticks,
                                       std::uint64_t* ran, WaitTicks run)
{
    VdbData* rec = SVO_VectPtr;
    if (replay_state.wait_pace.resting()) {
        return run(*this, wait_rec, max_ticks, ran);
    }
    const int records = wait_records(*this, wait_rec, rec);
    if (records == 0) {
        return run(*this, wait_rec, max_ticks, ran);
    }
    WaitShape shape{static_cast<std::uint8_t>(records), wait_rec == nullptr, false, 0, 0};
    VdbData* next = records > 1 ? rec->next->next : rec->next;
    WorkSources sources{};
    if (tick_account_state.enabled) {
        sources = work_sources(*this, rec, records, next);
        shape.logged = true;
        shape.run_phase = tick_account_state.run_phase;
        shape.work_pattern = work_pattern(sources);
    }
    const WaitKey key = start_key(*this, rec, shape);
    const std::uint64_t hash = start_hash(key, shape);
    WaitSet& set = WaitSets::set_of_hash(waits_index, hash);
    if (const RememberedWait* w = recalled_wait(*this, set, hash, key, shape, next, max_ticks)) {
        replay_state.wait_pace.hit();
        replay(*this, *w, rec, next, sources);
        *ran = w->ticks;
        return SvoRunEnd::condition;
    }
    const int way = 1 - set.recent;
    set.recent = static_cast<std::uint8_t>(way);
    RememberedWait& w = set.way[way];
    w.hash = hash;
    const WaitStart start = wait_start(*this, w, key, shape, next);
    const SvoRunEnd end = run(*this, wait_rec, max_ticks, ran);
    if (may_remember(*this, w, start, end, *ran, next) &&
        remember(*this, w, start, *ran, rec, next, sources)) {
        WaitSets::took_entry(waits_index, memo_block);
    }
    return end;
}
