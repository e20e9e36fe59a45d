#include "fwShare/machine.h"

#include <cstdio>
#include <cstring>

// The ticks one by one, as the machine runs them: each counts itself and
// calls the interrupt.
SvoRunEnd Machine::ticks_one_by_one(const VdbData* wait_rec)
{
    while (!svo_wait_over(wait_rec)) {
        if (svo_ticks_stuck()) {
            return SvoRunEnd::stuck;
        }
        svo_count_tick();
        svo_isr();
    }
    return SvoRunEnd::condition;
}

// Says in the diagnostics why the wait cannot be satisfied.
void Machine::report_wait_failure(SvoRunEnd end)
{
    if (end == SvoRunEnd::stuck) {
        svo_set_abort_reason("internal error: waiting for the servo while no vector record can "
                             "run; the job ends here");
    }
    diag_printf("vemtrac: %s\n", job_abort_reason);
}

// Runs the wait's ticks under the lock; reports and ends the job when the
// wait cannot be satisfied.
bool Machine::wait_for(TickWait wait, const VdbData* rec)
{
    if (job_abort != 0) {
        return false;
    }
    const VdbData* wait_rec = wait == TickWait::record_free ? rec : nullptr;
    const SvoTickRunner runner = tick_runner;
    isr_lock.enter();
    const SvoRunEnd end = runner != nullptr ? runner(*this, wait_rec) : ticks_one_by_one(wait_rec);
    isr_lock.leave();
    if (end == SvoRunEnd::condition) {
        return true;
    }
    report_wait_failure(end);
    job_abort = 1;
    return false;
}

void Machine::svo_wait_idle()
{
    if (SVO_VectPtr != nullptr) {
        wait_for(TickWait::idle, nullptr);
    }
    positionx = svo_pos_x / VARRESO_PbdToSvoX;
    positiony = svo_pos_y / VARRESO_PbdToSvoY;
}

void Machine::svo_set_idle()
{
    svo_wait_idle();
    svo_off = 1;
    svo_set_state(ISRIDLE);
}

bool Machine::svo_wait_record_free(const VdbData* rec)
{
    return wait_for(TickWait::record_free, rec);
}

void Machine::svo_set_abort_reason(const char* reason)
{
    std::snprintf(job_abort_reason, sizeof job_abort_reason, "%s", reason);
}
