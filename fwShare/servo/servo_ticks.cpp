#include "fwShare/servo/servo_ticks.h"

#include <cstdio>

#include "base/console.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/vector_queue.h"

ServoTicksState servo_ticks_state;
platform::Lock isr_lock;

void servo_ticks_reset()
{
    servo_ticks_state = ServoTicksState{};
}

namespace {

enum class TickWait { record_free, idle };

// Says in the diagnostics why the wait cannot be satisfied, and keeps it.
void report_wait_failure(SvoRunEnd end)
{
    char* reason = servo_ticks_state.job_abort_reason;
    const std::size_t size = sizeof servo_ticks_state.job_abort_reason;
    const auto limit = static_cast<unsigned long long>(servo_ticks_state.job_tick_limit);
    if (end == SvoRunEnd::stuck) {
        std::snprintf(reason, size,
                      "internal error: waiting for the servo while no vector record can run; "
                      "the job ends here");
    } else if (servo_ticks_state.job_tick_limit == svo_max_job_ticks) {
        std::snprintf(reason, size,
                      "the job runs longer than %llu servo ticks, more than the run time can "
                      "express; the job ends here",
                      limit);
    } else {
        std::snprintf(reason, size,
                      "the job runs longer than the %llu servo ticks allowed for this run; the "
                      "job ends here",
                      limit);
    }
    diag_printf("vemtrac: %s\n", reason);
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
        svo_run_ticks(wait == TickWait::record_free ? rec : nullptr,
                      servo_ticks_state.job_tick_limit - servo_ticks_state.job_ticks_run, &ran);
    isr_lock.leave();
    servo_ticks_state.job_ticks_run += ran;
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

const char* servo_ticks_abort_reason()
{
    return servo_ticks_state.job_abort_reason;
}

void svo_start_job_ticks(std::uint64_t limit)
{
    servo_ticks_state.job_ticks_run = 0;
    servo_ticks_state.job_tick_limit = limit < svo_max_job_ticks ? limit : svo_max_job_ticks;
}
