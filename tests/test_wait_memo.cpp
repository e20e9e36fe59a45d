// The memo of waits against the interrupt's own ticks. At wait starts of a
// planned job (curves, long cuts, sharp turns, gentle ramps that double,
// end delays), every byte of the state the ticks could read is changed in
// turn: the interrupt's state, the job clock, the queue's flags and counts,
// the memory of the long-vector warning and the records the wait may meet.
// Wherever the memo still replays the wait it learnt from the unchanged
// start, the ticks run from the changed start must leave the same state,
// end and console. A field the ticks read that the memo's table does not
// list fails here, named by its place.
#include "machine_fixture.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/console.h"
#include "fwShare/servo/move_profile.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_exec.h"
#include "fwShare/servo/vector_planner.h"
#include "replay/tick_runner.h"

namespace {

// A stretch of bytes of the machine's state: of the object name, from
// its byte first.
struct Bytes {
    std::string name;
    unsigned char* at;
    std::size_t size;
    std::size_t first = 0;
};

Bytes bytes_of(const std::string& name, void* object, std::size_t size, std::size_t first = 0)
{
    return {name, static_cast<unsigned char*>(object) + first, size - first, first};
}

// The next move of a job: mostly chords of a curve, now and then a sharp
// turn, and long cuts with a sharp turn on either side, where gentle ramps
// double their acceleration (plot-bed units).
void next_move(std::mt19937& rng, double* heading, bool* after_long, std::int32_t* dx,
               std::int32_t* dy)
{
    const auto kind = rng() % 12;
    *heading += kind <= 1 || *after_long ? 2.5 : 0.12;
    *after_long = kind == 1;
    const double length = kind == 1 ? 6000 : 30 + static_cast<double>(rng() % 200);
    *dx = static_cast<std::int32_t>(std::lround(length * std::cos(*heading)));
    *dy = static_cast<std::int32_t>(std::lround(length * std::sin(*heading)));
}

// A machine whose waits are probed.
struct WaitProber : TestMachine {
    // The interrupt's ticks as the memo's runs take them, without the position
    // loop: each tick counted and handed to its state's handler.
    SvoRunEnd handler_ticks(const VdbData* wait_rec, std::uint64_t max_ticks, std::uint64_t* ran)
    {
        for (*ran = 0;; ++*ran) {
            if (svo_wait_over(wait_rec)) {
                return SvoRunEnd::condition;
            }
            if (svo_ticks_stuck()) {
                return SvoRunEnd::stuck;
            }
            if (*ran == max_ticks) {
                return SvoRunEnd::budget;
            }
            svo_count_tick();
            svo_dispatch_state();
        }
    }

    // The same on machine m, a prober, as the memo runs them.
    static SvoRunEnd handler_ticks_of(ReplayMachine& m, const VdbData* wait_rec,
                                      std::uint64_t max_ticks, std::uint64_t* ran)
    {
        return static_cast<WaitProber&>(m).handler_ticks(wait_rec, max_ticks, ran);
    }

    // Everything a wait may change, for putting back and comparing.
    std::vector<Bytes> machine_state()
    {
        ServoIsrState& servo_isr_state = *this;
        VectorQueueState& vector_queue_state = *this;
        TickClockState& tick_clock_state = *this;
        VectorExecState& vector_exec_state = *this;
        return {bytes_of("servo_isr_state", &servo_isr_state, sizeof servo_isr_state),
                bytes_of("vector_queue_state", &vector_queue_state, sizeof vector_queue_state),
                bytes_of("tick_clock_state", &tick_clock_state, sizeof tick_clock_state),
                bytes_of("vector_exec_state", &vector_exec_state, sizeof vector_exec_state)};
    }

    std::vector<unsigned char> state_now()
    {
        std::vector<unsigned char> all;
        for (const Bytes& b : machine_state()) {
            all.insert(all.end(), b.at, b.at + b.size);
        }
        return all;
    }

    void put_state(const std::vector<unsigned char>& all)
    {
        std::size_t at = 0;
        for (const Bytes& b : machine_state()) {
            std::memcpy(b.at, all.data() + at, b.size);
            at += b.size;
        }
    }

    // The bytes the ticks of a wait from rec could read: all of the state but
    // the queue's pointers, its observers and the records' ring links.
    std::vector<Bytes> readable_bytes(VdbData* rec)
    {
        ServoIsrState& servo_isr_state = *this;
        VectorQueueState& vector_queue_state = *this;
        TickClockState& tick_clock_state = *this;
        VectorExecState& vector_exec_state = *this;
        std::vector<Bytes> b = {
            bytes_of("servo_isr_state", &servo_isr_state, sizeof servo_isr_state),
            bytes_of("tick_clock_state", &tick_clock_state, sizeof tick_clock_state),
            bytes_of("vector_exec_state", &vector_exec_state, sizeof vector_exec_state),
            bytes_of("vector_queue_state", &vector_queue_state,
                     offsetof(VectorQueueState, commit_observers),
                     offsetof(VectorQueueState, pipeflag))};
        static_assert(offsetof(VdbData, next) == 0 && offsetof(VdbData, prev) == sizeof(VdbData*));
        for (int k = 0; k < 4; ++k, rec = rec->next) {
            b.push_back(bytes_of("the VdbData of the executing record + " + std::to_string(k), rec,
                                 sizeof(VdbData), 2 * sizeof(VdbData*)));
        }
        return b;
    }

    // What a wait did: how it ended, its ticks, its console writes, the state it left.
    struct WaitOutcome {
        SvoRunEnd end = SvoRunEnd::condition;
        std::uint64_t ticks = 0;
        std::uint64_t writes = 0;
        std::vector<unsigned char> state;
        bool operator==(const WaitOutcome&) const = default;
    };

    WaitOutcome run_wait(const VdbData* wait_rec, std::uint64_t max_ticks, bool through_memo)
    {
        replay_state.wait_pace = MemoPace{};  // never sits a look-up out
        const std::uint64_t writes = console_writes();
        WaitOutcome o;
        o.end = through_memo ? wait_memo_run(wait_rec, max_ticks, &o.ticks, handler_ticks_of)
                             : handler_ticks(wait_rec, max_ticks, &o.ticks);
        o.writes = console_writes() - writes;
        o.state = state_now();
        return o;
    }

    // Whether the memo replayed the wait from here rather than ran it.
    bool replayed(const VdbData* wait_rec, std::uint64_t max_ticks, WaitOutcome* o)
    {
        const std::uint64_t before = replay_state.waits_remembered;
        *o = run_wait(wait_rec, max_ticks, true);
        return replay_state.waits_remembered != before;
    }

    // Changes each readable byte of the wait's start in turn (by 0x01 and by
    // 0x80) and expects each replay of the memo to leave what the ticks leave;
    // leaves the start as it was. Returns the replays checked.
    int probe_wait(const VdbData* wait_rec)
    {
        constexpr std::uint64_t no_limit = 1u << 30;
        const std::vector<unsigned char> start = state_now();
        const std::vector<Bytes> readable = readable_bytes(SVO_VectPtr);
        const WaitOutcome ran = run_wait(wait_rec, no_limit, true);
        put_state(start);
        WaitOutcome again;
        if (!replayed(wait_rec, no_limit, &again)) {
            put_state(start);
            return 0;  // a wait the memo does not keep
        }
        EXPECT_TRUE(again == ran) << "the replay of the unchanged start";
        const std::uint64_t limit = 2 * ran.ticks + 1000;
        int checked = 0;
        for (const Bytes& b : readable) {
            for (std::size_t i = 0; i < b.size; ++i) {
                for (const unsigned flip : {0x01u, 0x80u}) {
                    put_state(start);
                    b.at[i] = static_cast<unsigned char>(b.at[i] ^ flip);
                    if (phase >= SVO_PHASE_COUNT) {
                        continue;  // no tick leaves it: the clock has no count for it
                    }
                    const std::vector<unsigned char> changed = state_now();
                    WaitOutcome memo;
                    if (!replayed(wait_rec, limit, &memo)) {
                        // The key told the starts apart; learn the wait again
                        // in case the one just run took its slot.
                        put_state(start);
                        run_wait(wait_rec, no_limit, true);
                        continue;
                    }
                    put_state(changed);
                    if (!(run_wait(wait_rec, limit, false) == memo)) {
                        ADD_FAILURE()
                            << "a wait replayed from the memo ran otherwise with byte "
                            << b.first + i << " of " << b.name << " changed by " << flip
                            << ": a field the ticks read is missing from the memo's table";
                        put_state(start);
                        return checked;
                    }
                    ++checked;
                }
            }
        }
        put_state(start);
        return checked;
    }

    // Runs a planned job and probes waits all along it; returns the replays
    // checked.
    int probe_job()
    {
        reset_machine();
        replay_start_job(ReplayMode::fast);
        load_pen_down_planning();
        capture_stdout([&] { srvo_off_to_on(); });
        std::mt19937 rng(36);
        double heading = 0;
        bool after_long = false;
        int checked = 0;
        {
            // The machine's console lines (of warnings) are dropped.
            const ConsoleScope quiet(*this, console_quiet_sink());
            for (int move = 0; move < 600 && !::testing::Test::HasFailure(); ++move) {
                // Gentle ramps double their acceleration after 20 ticks.
                pbdAccel = move % 200 < 100 ? 3600 : 400;
                if (freeptr->cmd != NULL_CMD && move % 5 == 0) {
                    // The ring is full: a wait for the executing record, from
                    // somewhere within it.
                    std::uint64_t ran = 0;
                    handler_ticks(SVO_VectPtr, rng() % 200, &ran);
                    if (SVO_VectPtr != nullptr) {
                        checked += probe_wait(SVO_VectPtr);
                    }
                } else if (move % 50 == 0) {
                    // A wait for idle over a last record.
                    svo_wait_idle();
                    plan_and_commit(3000, 0);
                    checked += probe_wait(nullptr);
                }
                if (move % 40 == 39) {
                    srvo_on_pd();  // a pen record: one hold tick
                }
                // The planner's own wait for a free record.
                VdbData* r = getfreevdb();
                std::int32_t dx = 0;
                std::int32_t dy = 0;
                next_move(rng, &heading, &after_long, &dx, &dy);
                _delta_move(dx, dy, r);
                sendvdb(r);
            }
        }
        return checked;
    }
};

} // namespace

TEST(WaitMemo, ReplaysOnlyWaitsWhoseTicksReadWhatItKeyed)
{
    WaitProber m;
    EXPECT_GT(m.probe_job(), 50000);
}
