#include "replay/tick_runner.h"

#include <algorithm>
#include <cstdio>

#include "replay/corner_pass_memo.h"
#include "replay/machine_scales.h"
#include "replay/replay_machine.h"

namespace {

using namespace svo_loop;

inline bool same_scales(const AxisScales& a, const AxisScales& b)
{
    return a.enc_base == b.enc_base && a.enc_scale == b.enc_scale &&
           a.enc_to_err == b.enc_to_err && a.reso_native == b.reso_native && a.reso == b.reso;
}

} // namespace

// A run of end-delay ticks: each only counts delay_count down.
std::uint64_t ReplayMachine::delay_run(std::uint64_t max_ticks)
{
    if (delay_count < 2 || max_ticks < 2) {
        return 0;
    }
    const std::uint64_t k = std::min(static_cast<std::uint64_t>(delay_count), max_ticks);
    delay_count = static_cast<std::int32_t>(static_cast<std::uint64_t>(delay_count) - k);
    phase = DELAY;
    return k;
}

namespace {

// Counts k ticks of a run in one of the default run's tallies.
inline std::uint64_t tally(std::uint64_t& ticks, std::uint64_t k)
{
    ticks += k;
    return k;
}

} // namespace

// Whether the coming tick of the record in ISRSLEW may slew: the distance
// left after it is at least the stopping distance, as the slew handler
// compares them. When it may not, a deceleration run that ended short
// stopped on a tick that neither a slew run nor a deceleration run takes.
inline bool ReplayMachine::slew_tick_possible(const VdbData* r) const
{
    const std::int32_t rem = svo_distance_left(r->majrdisth, svo_corner_extra(r), r->majrvel);
    return rem >= static_cast<std::int32_t>(svo_dcc_dist(r));
}

// Ticks of the current state that can be advanced in one step (0: none).
// *handler_next is set when the tick after them surely goes through its
// handler, and a second run would advance none: a ramp run ends short on a
// tick it cannot take (unless it took a corner, which ends the run with the
// next record's ramp); creep and delay runs end on a tick that ends the
// record or the delay.
[[gnu::always_inline]] inline std::uint64_t ReplayMachine::alike_ticks_run(std::uint64_t max_ticks,
                                                                           bool* handler_next)
{
    std::uint64_t& ramp = replay_state.ticks_in_ramps;
    std::uint64_t& closed = replay_state.ticks_in_closed_form;
    switch (svo_state) {
    case ISRACC: {
        const VdbData* rec = SVO_VectPtr;
        const std::uint64_t k = svo_acc_run(max_ticks, &replay_state.ticks_stepped_in_ramps);
        // A run that took a corner leaves the next record's ramp to run.
        *handler_next = k < max_ticks && SVO_VectPtr == rec;
        return tally(ramp, k);
    }
    case ISRSLEW: {
        const std::uint64_t k = svo_slew_run(max_ticks);
        if (k != 0) {
            return tally(closed, k);
        }
        const VdbData* rec = SVO_VectPtr;
        const std::uint64_t d = svo_dcc_run(max_ticks, &replay_state.ticks_stepped_in_ramps);
        *handler_next = d < max_ticks && SVO_VectPtr == rec && !slew_tick_possible(rec);
        return tally(ramp, d);
    }
    case ISRCREEP: {
        const std::uint64_t k = svo_creep_run(max_ticks);
        // Below the creep distance the next tick ends the record.
        *handler_next = SVO_VectPtr->majrdisth < creep_min;
        return tally(closed, k);
    }
    case ISRDELAY: {
        const std::uint64_t k = delay_run(max_ticks);
        // With under two ticks left the next tick ends the delay.
        *handler_next = delay_count < 2;
        return tally(closed, k);
    }
    default:
        return 0;
    }
}

// Counts a run of k ticks: its first tick counts the phase the tick before
// it left, the others the phase of the run.
inline void ReplayMachine::count_ticks(std::uint32_t k, std::uint8_t first_phase,
                                       std::uint8_t later_phase)
{
    svo_tick_count = static_cast<std::int32_t>(static_cast<std::uint32_t>(svo_tick_count) + k);
    if (job_timing_state != JOB_CLOCK_OFF) {
        std::int32_t& first = phase_tick_count[first_phase];
        first = static_cast<std::int32_t>(static_cast<std::uint32_t>(first) + 1u);
        std::int32_t& later = phase_tick_count[later_phase];
        later = static_cast<std::int32_t>(static_cast<std::uint32_t>(later) + (k - 1u));
    }
}

// The work the coming tick belongs to: the executing record's; during an
// end delay, or on the ring slot the interrupt stepped on to when a record
// ended but which holds no committed record yet, the record's that ended.
inline std::uint32_t ReplayMachine::tick_work() const
{
    const VdbData* rec = SVO_VectPtr;
    return svo_state == ISRDELAY || rec->cmd == NULL_CMD ? tick_account_state.tick_work
                                                         : rec->work;
}

[[gnu::always_inline]] inline void ReplayMachine::account_ticks(std::uint32_t first_tick,
                                                                std::uint32_t work)
{
    tick_account_state.tick_work = work;
    tick_account_note(first_tick, work, phase);
}

// Ticks of the full replay taken by step, each with the position loop, the
// commanded position, error and step held in registers: up to max_ticks,
// for as long as step gives the coming tick's X and Y step. Each tick
// leaves tick_phase. Returns the ticks run.
template <bool accounting, typename Step>
[[gnu::always_inline]] inline std::uint64_t ReplayMachine::ticks_with_loop(
    const AxisScales& kx, const AxisScales& ky, const LoopSettings& settings, LoopMemory& memory,
    std::uint64_t max_ticks, std::uint32_t work, std::uint8_t tick_phase, Step step)
{
    LoopInputs in = loop_inputs();
    std::int16_t err_x = svo_err_x;
    std::int16_t err_y = svo_err_y;
    std::uint64_t n = 0;
    std::int32_t dx = 0;
    std::int32_t dy = 0;
    while (n < max_ticks && step(dx, dy)) {
        ++n;
        svo_count_tick();
        const std::uint32_t first_tick = static_cast<std::uint32_t>(svo_tick_count);
        feedback_loop(kx, ky, settings, memory, in, err_x, err_y);
        phase = tick_phase;
        in.pos_x = wrap_add(in.pos_x, dx);
        in.pos_y = wrap_add(in.pos_y, dy);
        err_x = static_cast<std::int16_t>(wrap_add(err_x, dx));
        err_y = static_cast<std::int16_t>(wrap_add(err_y, dy));
        in.step_x = dx;
        in.step_y = dy;
        if constexpr (accounting) {
            account_ticks(first_tick, work);
        }
    }
    svo_pos_x = in.pos_x;
    svo_pos_y = in.pos_y;
    svo_err_x = err_x;
    svo_err_y = err_y;
    svo_step_x = in.step_x;
    svo_step_y = in.step_y;
    return n;
}

// The moving ticks of the full replay that run with the record in
// registers: acceleration, slew, and deceleration once the slew ends.
// Returns the ticks run (0: the next tick runs through its handler).
template <bool accounting>
[[gnu::always_inline]] inline std::uint64_t ReplayMachine::moving_ticks_with_loop(
    const AxisScales& kx, const AxisScales& ky, const LoopSettings& settings, LoopMemory& memory,
    std::uint64_t max_ticks, std::uint32_t work)
{
    RampTicks ramp;
    if (svo_state == ISRACC) {
        svo_acc_ticks_begin(&ramp);
        const std::uint64_t k =
            ticks_with_loop<accounting>(kx, ky, settings, memory, max_ticks, work, ACC,
                                        [&](std::int32_t& dx, std::int32_t& dy) {
                                            return svo_ramp_step<true>(*this, ramp, dx, dy);
                                        });
        svo_store_ramp_values(ramp.rec, ramp.v);
        return k;
    }
    SlewTicks slew;
    if (!svo_slew_ticks_begin(&slew)) {
        return 0;
    }
    const std::uint64_t k = ticks_with_loop<accounting>(
        kx, ky, settings, memory, max_ticks, work, SLEW,
        [&](std::int32_t& dx, std::int32_t& dy) { return svo_plain_slew_step(slew, dx, dy); });
    svo_slew_ticks_end(slew);
    if (k != 0 || !svo_dcc_ticks_begin(&ramp)) {
        return k;
    }
    const std::uint64_t d = ticks_with_loop<accounting>(
        kx, ky, settings, memory, max_ticks, work, DCC, [&](std::int32_t& dx, std::int32_t& dy) {
            return svo_ramp_step<false>(*this, ramp, dx, dy);
        });
    svo_store_ramp_values(ramp.rec, ramp.v);
    return d;
}

// Whether a run of ticks ends before its next tick, and why: the wait's
// condition holds, no record can run, or max_ticks have run.
[[gnu::always_inline]] inline bool ReplayMachine::run_ends(const VdbData* wait_rec,
                                                           std::uint64_t n,
                                                           std::uint64_t max_ticks,
                                                           SvoRunEnd* end) const
{
    if (svo_wait_over(wait_rec)) {
        *end = SvoRunEnd::condition;
    } else if (svo_ticks_stuck()) {
        *end = SvoRunEnd::stuck;
    } else if (n == max_ticks) {
        *end = SvoRunEnd::budget;
    } else {
        return false;
    }
    return true;
}

// What every way of running a wait's ticks on machine m shares: the ticks
// run, the test before each step (one tick, or a run of ticks) of whether
// the wait is over, and, with accounting, the work and first tick of each
// step for the tick log.
template <bool accounting>
struct ReplayMachine::WaitRun {
    ReplayMachine& m;
    const VdbData* wait_rec;
    std::uint64_t max_ticks;
    std::uint64_t n = 0;
    SvoRunEnd end = SvoRunEnd::condition;
    std::uint32_t work = 0;        // with accounting: the work of the coming step
    std::uint32_t first_tick = 0;  // the tick count of the coming step's first tick

    // Whether the wait goes on; notes the coming step's work and first tick.
    [[gnu::always_inline]] bool next_step()
    {
        if (m.run_ends(wait_rec, n, max_ticks, &end)) {
            return false;
        }
        if constexpr (accounting) {
            work = m.tick_work();
        }
        first_tick = static_cast<std::uint32_t>(m.svo_tick_count) + 1u;
        return true;
    }

    // The ticks the wait may still run.
    std::uint64_t left() const { return max_ticks - n; }

    // Counts a tick that runs through its handler.
    [[gnu::always_inline]] void count_tick()
    {
        ++n;
        m.svo_count_tick();
    }

    // Logs the step's ticks under its work, in the phase its last tick left.
    [[gnu::always_inline]] void account() const
    {
        if constexpr (accounting) {
            m.account_ticks(first_tick, work);
        }
    }

    // Ends the wait: the ticks run go to *ran; returns why it ended.
    SvoRunEnd finish(std::uint64_t* ran) const
    {
        *ran = n;
        return end;
    }
};

// A tick of the default run that goes through its handler, without the
// position loop. Set-up leaves ISRIDLE before any job tick; should a tick
// run there, it takes the following error into the position, so it runs
// whole.
inline void ReplayMachine::handler_tick_without_loop()
{
    if (svo_state == ISRIDLE) {
        svo_feedback_loop();
        svo_isr_idle();
    } else {
        svo_dispatch_state();
    }
}

// The default run: the position loop left out (nothing reads what it
// computes), runs of alike ticks advanced in one step, the others through
// their handlers; with accounting, each step's work and phase go to the
// tick log. Marked hot: the job spends its time here.
template <bool accounting>
[[gnu::hot]] SvoRunEnd ReplayMachine::default_run(const VdbData* wait_rec,
                                                  std::uint64_t max_ticks, std::uint64_t* ran)
{
    WaitRun<accounting> run{*this, wait_rec, max_ticks};
    bool handler_next = false;
    while (run.next_step()) {
        const std::uint8_t first_phase = phase;
        const std::uint64_t k = handler_next ? 0 : alike_ticks_run(run.left(), &handler_next);
        if (k != 0) {
            count_ticks(static_cast<std::uint32_t>(k), first_phase, phase);
            run.n += k;
        } else {
            handler_next = false;
            ++replay_state.ticks_one_by_one;
            run.count_tick();
            handler_tick_without_loop();
        }
        run.account();
    }
    return run.finish(ran);
}

// The full replay with the axes' scales kx, ky: every tick with the
// position loop, the moving ones with the record in registers (they log
// themselves), the others through their handlers. Inlined into each
// caller, so that the machine's own scales become constants of the loop.
template <bool accounting>
[[gnu::always_inline]] inline SvoRunEnd
ReplayMachine::full_replay(const AxisScales& kx, const AxisScales& ky, const VdbData* wait_rec,
                           std::uint64_t max_ticks, std::uint64_t* ran)
{
    const LoopSettings settings = load_loop_settings();
    LoopMemory memory = load_loop_memory();
    WaitRun<accounting> run{*this, wait_rec, max_ticks};
    while (run.next_step()) {
        if (svo_state == ISRACC || svo_state == ISRSLEW) {
            const std::uint64_t k = moving_ticks_with_loop<accounting>(kx, ky, settings, memory,
                                                                       run.left(), run.work);
            if (k != 0) {
                run.n += k;
                continue;
            }
        }
        run.count_tick();
        feedback_loop(kx, ky, settings, memory, loop_inputs(), svo_err_x, svo_err_y);
        if (svo_state == ISRIDLE) {
            // The idle handler drops the integrators: it works on the machine's.
            store_loop_memory(memory);
            svo_isr_idle();
            memory = load_loop_memory();
        } else {
            svo_dispatch_state();
        }
        run.account();
    }
    store_loop_memory(memory);
    return run.finish(ran);
}

// The full replay with the machine's own scales as constants where the
// loop has them. Marked hot: a compiler that guesses otherwise divides by
// the constant scales with a divide instruction.
template <bool accounting>
[[gnu::hot]] SvoRunEnd ReplayMachine::full_replay_with_scales(const VdbData* wait_rec,
                                                              std::uint64_t max_ticks,
                                                              std::uint64_t* ran)
{
    const LoopSettings s = load_loop_settings();
    if (same_scales(s.scales_x, machine_scales_x) && same_scales(s.scales_y, machine_scales_y)) {
        return full_replay<accounting>(machine_scales_x, machine_scales_y, wait_rec, max_ticks,
                                       ran);
    }
    return full_replay<accounting>(s.scales_x, s.scales_y, wait_rec, max_ticks, ran);
}

// The literal replay: each tick counts itself and calls the interrupt,
// nothing else; the tick log, when kept, only watches.
template <bool accounting>
SvoRunEnd ReplayMachine::literal_ticks(const VdbData* wait_rec, std::uint64_t max_ticks,
                                       std::uint64_t* ran)
{
    WaitRun<accounting> run{*this, wait_rec, max_ticks};
    while (run.next_step()) {
        run.count_tick();
        svo_isr();
        run.account();
    }
    return run.finish(ran);
}

// Runs at most max_ticks ticks of a wait and counts them in the job's.
SvoRunEnd ReplayMachine::counted_ticks(const VdbData* wait_rec, std::uint64_t max_ticks)
{
    std::uint64_t ran = 0;
    const SvoRunEnd end = replay_run_ticks(wait_rec, max_ticks, &ran);
    replay_state.job_ticks_run += ran;
    return end;
}

// Whether the job's deadline has passed; reads the clock only once enough
// ticks have run or waits begun since it was last read.
bool ReplayMachine::deadline_passed()
{
    ReplayState& s = replay_state;
    if (s.job_ticks_run - s.ticks_at_clock_check < replay_clock_check_ticks &&
        ++s.waits_since_clock_check < replay_clock_check_waits) {
        return false;
    }
    s.ticks_at_clock_check = s.job_ticks_run;
    s.waits_since_clock_check = 0;
    return ReplayClock::now() >= *s.deadline;
}

// Runs a wait's ticks in slices, reading the clock between them, until the
// wait ends, the budget runs out or the deadline passes (which ends the
// job as the budget does, saying why).
SvoRunEnd ReplayMachine::ticks_before_deadline(const VdbData* wait_rec)
{
    for (;;) {
        if (deadline_passed()) {
            svo_set_abort_reason("the estimate took longer than the wall-clock time allowed for "
                                 "it; the job ends here");
            return SvoRunEnd::budget;
        }
        const std::uint64_t left = replay_state.job_tick_limit - replay_state.job_ticks_run;
        const std::uint64_t slice = std::min(left, replay_clock_check_ticks);
        const SvoRunEnd end = counted_ticks(wait_rec, slice);
        if (end != SvoRunEnd::budget || slice == left) {
            return end;
        }
    }
}

// Runs the ticks of one wait within what is left of the job's budget and
// before its deadline; says why when the budget runs out.
SvoRunEnd ReplayMachine::wait_ticks(const VdbData* wait_rec)
{
    const SvoRunEnd end =
        replay_state.deadline
            ? ticks_before_deadline(wait_rec)
            : counted_ticks(wait_rec, replay_state.job_tick_limit - replay_state.job_ticks_run);
    if (end == SvoRunEnd::budget && replay_state.job_ticks_run == replay_state.job_tick_limit) {
        char reason[160];
        const auto limit = static_cast<unsigned long long>(replay_state.job_tick_limit);
        if (replay_state.job_tick_limit == replay_max_job_ticks) {
            std::snprintf(reason, sizeof reason,
                          "the job runs longer than %llu servo ticks, more than the run time "
                          "can express; the job ends here",
                          limit);
        } else {
            std::snprintf(reason, sizeof reason,
                          "the job runs longer than the %llu servo ticks allowed for this run; "
                          "the job ends here",
                          limit);
        }
        svo_set_abort_reason(reason);
    }
    return end;
}

SvoRunEnd ReplayMachine::replay_run_ticks(const VdbData* wait_rec, std::uint64_t max_ticks,
                                          std::uint64_t* ran)
{
    const bool accounting = tick_account_state.enabled;
    switch (replay_state.mode) {
    case ReplayMode::literal:
        return accounting ? literal_ticks<true>(wait_rec, max_ticks, ran)
                          : literal_ticks<false>(wait_rec, max_ticks, ran);
    case ReplayMode::full:
        return accounting ? full_replay_with_scales<true>(wait_rec, max_ticks, ran)
                          : full_replay_with_scales<false>(wait_rec, max_ticks, ran);
    case ReplayMode::fast:
        break;
    }
    return wait_memo_run(wait_rec, max_ticks, ran,
                         accounting ? &ReplayMachine::default_run_of<true>
                                    : &ReplayMachine::default_run_of<false>);
}

namespace {

// The runner of the machine's waits on a replay machine.
SvoRunEnd run_wait(Machine& m, const VdbData* wait_rec)
{
    return static_cast<ReplayMachine&>(m).wait_ticks(wait_rec);
}

// The planner's corner-ramp solver on a replay machine.
void solve_corner_ramp(std::uint32_t len, std::uint32_t psuedodist, std::uint32_t h,
                       std::uint32_t majrdvel, std::uint32_t* steps, std::uint32_t* dist,
                       Machine& m)
{
    static_cast<ReplayMachine&>(m).corner_ramp_solved(len, psuedodist, h, majrdvel,
                                                      m.CREEP_VELOCITY, steps, dist);
}

} // namespace

void ReplayMachine::replay_start_job(ReplayMode mode, std::uint64_t tick_limit,
                                     std::optional<ReplayClock::time_point> deadline)
{
    replay_state = ReplayState{};
    replay_state.mode = mode;
    replay_state.job_tick_limit = std::min(tick_limit, replay_max_job_ticks);
    replay_state.deadline = deadline;
    tick_runner = run_wait;
    corner_ramp_solver = mode == ReplayMode::literal ? nullptr : solve_corner_ramp;
    corner_pass_memo = mode == ReplayMode::fast ? &corner_pass_memo_of_replay : nullptr;
}
