#include "fwShare/servo/servo_ticks.h"

#include <cstdio>

#include "fwShare/resolution.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/vector_queue.h"

std::int32_t svo_tick_count;
std::int32_t phase_tick_count[7];
std::int32_t job_timing_state;
std::int32_t job_start_tick;
std::int32_t job_end_tick;

platform::Lock isr_lock;
std::int32_t job_abort;
std::int32_t positionx, positiony;

namespace {

enum class TickWait { record_free, idle };

// Ticks the current job has run, and the most it may run.
std::uint64_t ticks_run = 0;
std::uint64_t tick_limit = svo_max_job_ticks;

void report_wait_failure(SvoRunEnd end)
{
    if (end == SvoRunEnd::stuck) {
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
    std::uint64_t ran = 0;
    isr_lock.enter();
    const SvoRunEnd end =
        svo_run_ticks(wait == TickWait::record_free ? rec : nullptr, tick_limit - ticks_run, &ran);
    isr_lock.leave();
    ticks_run += ran;
    if (end == SvoRunEnd::condition) {
        return true;
    }
    report_wait_failure(end);
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
