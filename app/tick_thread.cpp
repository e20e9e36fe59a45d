#include "app/tick_thread.h"

#include <cstdio>

#include "app/job_clock.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/vector_queue.h"

platform::Lock isr_lock;
std::int32_t job_abort;
std::int32_t positionx, positiony;

namespace {

enum class TickWait { record_free, idle };
enum class TickResult { done, stuck, too_long };

// Ticks the current job has run, and the most it may run.
std::uint64_t ticks_run = 0;
std::uint64_t tick_limit = svo_max_job_ticks;

inline bool wait_condition_holds(TickWait wait, const VdbData* rec)
{
    return wait == TickWait::record_free ? rec->cmd == NULL_CMD : SVO_VectPtr == nullptr;
}

// The tick cycle, run until the wait's condition holds: one tick counts
// itself, counts the phase the previous tick left while the job clock is
// armed or running, and runs the servo interrupt. A wait whose condition
// can never hold (no record to run) or that would pass the job's tick
// limit stops before that tick.
TickResult run_ticks(TickWait wait, const VdbData* rec)
{
    const std::uint64_t budget = tick_limit - ticks_run;
    std::uint64_t ran = 0;
    TickResult result = TickResult::done;
    while (!wait_condition_holds(wait, rec)) {
        if (SVO_VectPtr == nullptr || isr_holdoff != 0) {
            result = TickResult::stuck;
            break;
        }
        if (ran == budget) {
            result = TickResult::too_long;
            break;
        }
        ++ran;
        svo_tick_count = static_cast<std::int32_t>(static_cast<std::uint32_t>(svo_tick_count) + 1u);
        if (job_timing_state != 0) {
            phase_tick_count[phase] =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(phase_tick_count[phase]) + 1u);
        }
        svo_isr();
    }
    ticks_run += ran;
    return result;
}

void report_wait_failure(TickResult result)
{
    if (result == TickResult::stuck) {
        std::fprintf(stderr,
                     "vemtrac: internal error: waiting for the servo while no vector record "
                     "can run; the job ends here\n");
    } else if (tick_limit == svo_max_job_ticks) {
        std::fprintf(stderr,
                     "vemtrac: the job runs longer than %llu servo ticks, more than the run "
                     "time can express; the job ends here\n",
                     static_cast<unsigned long long>(tick_limit));
    } else {
        std::fprintf(stderr,
                     "vemtrac: the job runs longer than the %llu servo ticks allowed for this "
                     "run; the job ends here\n",
                     static_cast<unsigned long long>(tick_limit));
    }
}

// Runs the wait's ticks under the lock; reports and ends the job when the
// wait cannot be satisfied.
bool wait_for(TickWait wait, const VdbData* rec)
{
    if (job_abort != 0) {
        return false;
    }
    isr_lock.enter();
    const TickResult result = run_ticks(wait, rec);
    isr_lock.leave();
    if (result == TickResult::done) {
        return true;
    }
    report_wait_failure(result);
    job_abort = 1;
    return false;
}

} // namespace

void svo_wait_idle()
{
    if (SVO_VectPtr != nullptr) {
        wait_for(TickWait::idle, nullptr);
    }
    positionx = svo_pos_x / VARRESO_PbdToSvoX;
    positiony = svo_pos_y / VARRESO_PbdToSvoY;
}

void svo_set_idle()
{
    svo_wait_idle();
    svo_off = 1;
    svo_set_state(ISRIDLE);
}

bool svo_wait_record_free(const VdbData* rec)
{
    return wait_for(TickWait::record_free, rec);
}

void svo_start_job_ticks(std::uint64_t limit)
{
    ticks_run = 0;
    tick_limit = limit < svo_max_job_ticks ? limit : svo_max_job_ticks;
}
