#include "app/tick_thread.h"

#include <cstdio>

#include "app/job_clock.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/vector_queue.h"

platform::Lock isr_lock;
std::int32_t job_done;
std::int32_t job_abort;
std::int32_t positionx, positiony;

namespace {

enum class TickWait { none, record_free, idle };
enum class TickResult { done, stuck, too_long };

// The request the main thread hands over and the answer it gets back.
// Written by one side before it raises its signal and read by the other
// after it has seen that signal, so the signals order every access.
TickWait request_wait = TickWait::none;
const VdbData* request_record = nullptr;
TickResult request_result = TickResult::done;

platform::Signal run_requested;
platform::Signal run_finished;
platform::Thread tick_thread;
bool tick_thread_running = false;

// Ticks the current job has run, and the most it may run.
std::uint64_t ticks_run = 0;
std::uint64_t tick_limit = svo_max_job_ticks;

bool wait_condition_holds(TickWait wait, const VdbData* rec)
{
    switch (wait) {
    case TickWait::record_free:
        return rec->cmd == NULL_CMD;
    case TickWait::idle:
        return SVO_VectPtr == nullptr;
    case TickWait::none:
        break;
    }
    return true;
}

// Runs whole servo ticks until the wait's condition holds. One tick: count
// it, count its phase while the job clock is armed or running, run the
// servo interrupt.
TickResult run_ticks(TickWait wait, const VdbData* rec)
{
    std::uint64_t budget = tick_limit - ticks_run;
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

void svo_tick_thread()
{
    for (;;) {
        run_requested.wait_and_clear();
        if (job_done != 0) {
            return;
        }
        isr_lock.enter();
        request_result = run_ticks(request_wait, request_record);
        isr_lock.leave();
        run_finished.raise();
    }
}

TickResult run_ticks_for_main(TickWait wait, const VdbData* rec)
{
    if (!tick_thread_running) {
        isr_lock.enter();
        TickResult result = run_ticks(wait, rec);
        isr_lock.leave();
        return result;
    }
    request_wait = wait;
    request_record = rec;
    run_requested.raise();
    run_finished.wait_and_clear();
    return request_result;
}

// Runs the wait; reports and ends the job when it cannot be satisfied.
bool wait_for(TickWait wait, const VdbData* rec)
{
    if (job_abort != 0) {
        return false;
    }
    switch (run_ticks_for_main(wait, rec)) {
    case TickResult::done:
        return true;
    case TickResult::stuck:
        std::fprintf(stderr,
                     "vemtrac: internal error: waiting for the servo while no vector record "
                     "can run; the job ends here\n");
        break;
    case TickResult::too_long:
        if (tick_limit == svo_max_job_ticks) {
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
        break;
    }
    job_abort = 1;
    return false;
}

} // namespace

void svo_tick_thread_start()
{
    if (tick_thread_running) {
        return;
    }
    job_done = 0;
    tick_thread.start(svo_tick_thread);
    tick_thread_running = true;
}

void svo_tick_thread_stop()
{
    if (!tick_thread_running) {
        return;
    }
    job_done = 1;
    run_requested.raise();
    tick_thread.join();
    tick_thread_running = false;
}

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

void svo_tick_handoff_probe()
{
    run_ticks_for_main(TickWait::none, nullptr);
}
