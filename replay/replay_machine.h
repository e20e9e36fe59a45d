// The machine with the estimator's machinery: the tick runner and its
// tallies, the log of where the ticks go, and the memos of corner ramps,
// corner passes and waits, each with the memory of its tables (the tables
// outlive the machine's jobs; no reset touches them, since each is a memo
// of a pure function).
//
// The machine reaches the estimator only through its seams, which take the
// machine they run on; the functions the estimator installs there know it
// is a replay machine and turn it back into one.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "base/platform.h"
#include "fwShare/machine.h"
#include "replay/memo_space.h"
#include "replay/ramp_closed_form.h"
#include "replay/ramp_ticks.h"
#include "replay/tick_account.h"
#include "replay/tick_runner.h"

struct ReplayMachine : Machine {
    ReplayMachine();
    ~ReplayMachine();

    // What the runner keeps for the current job, and the log of where the
    // ticks go (replay/tick_runner.h, replay/tick_account.h).
    ReplayState replay_state;
    TickAccountState tick_account_state;

    // The block the memo tables move to once a job fills them (2 MB, a large
    // page where the host has one), taken when the first table moves.
    platform::MemoBlock memo_block;
    // Where each memo table's sets are (replay/memo_space.h).
    MemoIndex solved_ramps_index, corner_passes_index, waits_index;

    // --- The tick runner (replay/tick_runner.h) ---

    // Starts a job's ticks from zero in the given way, at most tick_limit of
    // them (never more than replay_max_job_ticks) and, with a deadline, none
    // after it has passed; installs the runner in the machine's waits. Call
    // after the machine's reset.
    void replay_start_job(ReplayMode mode, std::uint64_t tick_limit = replay_max_job_ticks,
                          std::optional<ReplayClock::time_point> deadline = std::nullopt);
    // Runs servo ticks as a wait does, in the current way: until wait_rec is
    // free (with wait_rec null: until the interrupt has no record left),
    // stopping before a tick when no record can run or max_ticks have run.
    // Counts each tick and its phase in the job clock. *ran gets the ticks run.
    SvoRunEnd replay_run_ticks(const VdbData* wait_rec, std::uint64_t max_ticks,
                               std::uint64_t* ran);

    // --- Tick accounting (replay/tick_account.h) ---

    // Switches accounting off and forgets every tag and run.
    void tick_account_reset() { tick_account_state = TickAccountState{}; }
    // Switches accounting on from the next record on: every record the queue
    // commits from then on is tagged.
    void tick_account_enable();
    // The entry of the job file now being read (1 = first).
    void work_set_entry(std::int32_t entry) { tick_account_state.entry = entry; }
    // A new raster image starts.
    void work_start_image() { ++tick_account_state.image; }
    // Tags a record being committed with the work of the current move kind
    // (pbdVelType), entry, pen and image, and counts its move (the queue's
    // commit observer).
    void work_tag_record(VdbData* rec);
    // Logs a run start when the work or the phase changed.
    void tick_account_note(std::uint32_t tick, std::uint32_t work, std::uint8_t tick_phase)
    {
        TickAccountState& s = tick_account_state;
        if (work != s.run_work || tick_phase != s.run_phase) {
            s.runs.push_back({tick, work, tick_phase});
            s.run_work = work;
            s.run_phase = tick_phase;
        }
    }

    // --- Runs of alike ticks (replay/closed_forms.h, replay/ramp_ticks.h) ---

    // Slew ticks at constant speed (0 also when fewer than two can be advanced).
    std::uint64_t svo_slew_run(std::uint64_t max_ticks);
    // Creep ticks at constant velocity (0 also when fewer than two).
    std::uint64_t svo_creep_run(std::uint64_t max_ticks);
    // Acceleration ticks, up to the tick that leaves the ramp, doubles the
    // acceleration or takes a corner.
    std::uint64_t svo_acc_run(std::uint64_t max_ticks, std::uint64_t* stepped);
    // Deceleration ticks, up to the tick that slews, prints, enters creep or
    // takes a corner.
    std::uint64_t svo_dcc_run(std::uint64_t max_ticks, std::uint64_t* stepped);
    // Takes up the executing record's acceleration ramp.
    void svo_acc_ticks_begin(RampTicks* t);
    // Takes up its deceleration; false when its ticks may print whatever the
    // distance (too many records waiting).
    bool svo_dcc_ticks_begin(RampTicks* t);
    // Takes up the executing record's slew; false when its ticks may print
    // whatever the distance (too many records waiting).
    bool svo_slew_ticks_begin(SlewTicks* s);
    // Puts the slew's changed values back into the executing record.
    void svo_slew_ticks_end(const SlewTicks& s);

    // --- The memos (replay/corner_ramp.h, replay/wait_memo.h) ---

    // A corner ramp as corner_ramp_steps solves it, taken from the table of
    // recent ramps when it was solved before (the result depends on the
    // inputs alone); the planner's solver.
    void corner_ramp_solved(std::uint32_t len, std::uint32_t psuedodist, std::uint32_t h,
                            std::uint32_t majrdvel, std::int32_t creep_velocity,
                            std::uint32_t* steps, std::uint32_t* dist);

    // A wait's ticks as the runner runs them: until wait_rec is free, at most
    // max_ticks; *ran gets the ticks run.
    using WaitTicks = SvoRunEnd (*)(ReplayMachine& m, const VdbData* wait_rec,
                                    std::uint64_t max_ticks, std::uint64_t* ran);
    // Runs a wait's ticks with run, or replays them from the memo when the
    // same wait ran before, counting those in replay_state; remembers waits
    // it may replay later. Only for the default run: it leaves the position
    // loop out. With the tick log, a remembered wait logs the runs the wait
    // logged.
    SvoRunEnd wait_memo_run(const VdbData* wait_rec, std::uint64_t max_ticks, std::uint64_t* ran,
                            WaitTicks run);

    // The memos' own state, each defined by the file of its memo and made
    // with the machine.
    struct CornerRampMemo;  // replay/corner_ramp.cpp
    struct CornerPassMemory;  // replay/corner_pass_memo.cpp
    struct WaitMemo;  // replay/wait_memo.cpp
    const MemoState<CornerRampMemo> corner_ramp_memo;
    const MemoState<CornerPassMemory> corner_pass_memory;
    const MemoState<WaitMemo> wait_memo;

private:
    // Each memo's state, empty (replay/corner_ramp.cpp and its siblings).
    static MemoState<CornerRampMemo> new_corner_ramp_memo(MemoIndex& index);
    static MemoState<CornerPassMemory> new_corner_pass_memory(MemoIndex& index);
    static MemoState<WaitMemo> new_wait_memo(MemoIndex& index);

    // replay/tick_runner.cpp
    std::uint64_t delay_run(std::uint64_t max_ticks);
    bool slew_tick_possible(const VdbData* r) const;
    std::uint64_t alike_ticks_run(std::uint64_t max_ticks, bool* handler_next);
    void count_ticks(std::uint32_t k, std::uint8_t first_phase, std::uint8_t later_phase);
    std::uint32_t tick_work() const;
    void account_ticks(std::uint32_t first_tick, std::uint32_t work);
    template <bool accounting, typename Step>
    std::uint64_t ticks_with_loop(const svo_loop::AxisScales& kx, const svo_loop::AxisScales& ky,
                                  const svo_loop::LoopSettings& settings,
                                  svo_loop::LoopMemory& memory, std::uint64_t max_ticks,
                                  std::uint32_t work, std::uint8_t tick_phase, Step step);
    template <bool accounting>
    std::uint64_t moving_ticks_with_loop(const svo_loop::AxisScales& kx,
                                         const svo_loop::AxisScales& ky,
                                         const svo_loop::LoopSettings& settings,
                                         svo_loop::LoopMemory& memory, std::uint64_t max_ticks,
                                         std::uint32_t work);
    bool run_ends(const VdbData* wait_rec, std::uint64_t n, std::uint64_t max_ticks,
                  SvoRunEnd* end) const;
    template <bool accounting>
    struct WaitRun;
    void handler_tick_without_loop();
    template <bool accounting>
    SvoRunEnd default_run(const VdbData* wait_rec, std::uint64_t max_ticks, std::uint64_t* ran);
    template <bool accounting>
    static SvoRunEnd default_run_of(ReplayMachine& m, const VdbData* wait_rec,
                                    std::uint64_t max_ticks, std::uint64_t* ran)
    {
        return m.default_run<accounting>(wait_rec, max_ticks, ran);
    }
    template <bool accounting>
    SvoRunEnd full_replay(const svo_loop::AxisScales& kx, const svo_loop::AxisScales& ky,
                          const VdbData* wait_rec, std::uint64_t max_ticks, std::uint64_t* ran);
    template <bool accounting>
    SvoRunEnd full_replay_with_scales(const VdbData* wait_rec, std::uint64_t max_ticks,
                                      std::uint64_t* ran);
    template <bool accounting>
    SvoRunEnd literal_ticks(const VdbData* wait_rec, std::uint64_t max_ticks, std::uint64_t* ran);
    SvoRunEnd counted_ticks(const VdbData* wait_rec, std::uint64_t max_ticks);
    bool deadline_passed();
    SvoRunEnd ticks_before_deadline(const VdbData* wait_rec);

public:
    // The runner installed in the machine's waits: the ticks of one wait
    // within what is left of the job's budget and before its deadline.
    SvoRunEnd wait_ticks(const VdbData* wait_rec);

private:
    // replay/closed_forms.cpp
    struct AxisRun;
    void advance_axes(VdbData* r, const AxisRun& major, const AxisRun& minor, std::uint64_t k,
                      std::int64_t minor_cap);
    void move_by_run(std::uint8_t octant, std::uint64_t a, std::uint64_t b, std::int32_t last_a,
                     std::int32_t last_b);
    void finish_ramp(VdbData* r, const RampValues& v, const RampSteps& steps);
    std::uint64_t finish_ramp_run(VdbData* r, const RampValues& v, const RampSteps& steps,
                                  const RampRun& run, const CornerTick& corner,
                                  std::uint8_t ramp_phase, std::uint64_t* stepped);

    // replay/tick_account.cpp
    WorkTag work_of_move_kind(std::int32_t move_kind) const;
};
