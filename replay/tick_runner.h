// The estimator's tick runner: how the machine's waits run their ticks.
//
// Three ways, one result. All give the same estimate, console and status
// lines; the literal replay is the oracle the other two are tested against.
//   literal  every tick counts itself and calls svo_isr, nothing else; the
//            planner walks its corner ramps step by step
//   full     every tick with the position loop, runs of moving ticks with
//            the record in registers
//   fast     the position loop left out (nothing the estimate shows reads
//            it), runs of alike ticks advanced in one step
//
// The runner also keeps the job's tick budget and, when one is set, its
// wall-clock deadline: a job that reaches either ends as for an entry the
// machine cannot execute.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "fwShare/servo/servo_ticks.h"
#include "replay/memo_space.h"

enum class ReplayMode : std::uint8_t { fast, full, literal };

// Most ticks one job may run: the run time is a 32-bit tick difference that
// is doubled in 32-bit unsigned arithmetic.
inline constexpr std::uint64_t replay_max_job_ticks = 0x7FFFFFFFu;

// With a deadline, the clock is read before a wait once this many ticks
// have run since it was last read, or this many waits have begun; a long
// wait runs in slices of this many ticks, the clock read between them.
inline constexpr std::uint64_t replay_clock_check_ticks = 65536;
inline constexpr std::uint32_t replay_clock_check_waits = 256;

using ReplayClock = std::chrono::steady_clock;

// What the runner keeps for the current job.
struct ReplayState {
    ReplayMode mode = ReplayMode::fast;
    // Ticks the job has run, and the most it may run.
    std::uint64_t job_ticks_run = 0;
    std::uint64_t job_tick_limit = replay_max_job_ticks;
    // The wall-clock time by which the job must end, if any; the ticks run
    // and the waits begun since the clock was last read.
    std::optional<ReplayClock::time_point> deadline;
    std::uint64_t ticks_at_clock_check = 0;
    std::uint32_t waits_since_clock_check = replay_clock_check_waits;
    // How the default run got through its ticks: through the state handlers
    // one by one, in ramp runs (of which some ticks went one at a time
    // through the per-tick ramp code), in closed form.
    std::uint64_t ticks_one_by_one = 0;
    std::uint64_t ticks_in_ramps = 0;
    std::uint64_t ticks_stepped_in_ramps = 0;
    std::uint64_t ticks_in_closed_form = 0;
    // Waits replayed from the memo of waits that ran before, and their ticks.
    std::uint64_t waits_remembered = 0;
    std::uint64_t ticks_remembered = 0;
    // Corner passes taken from the memo of passes.
    std::uint64_t corner_passes_remembered = 0;
    // The paces of the memo of waits and of the memo of corner passes.
    MemoPace wait_pace;
    MemoPace corner_pass_pace;
};
