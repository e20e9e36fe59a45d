#include "job/job_clock.h"

#include <cstdio>

#include "job/job_machine.h"

JobRunTime job_run_time(std::int32_t start_tick, std::int32_t end_tick)
{
    std::uint32_t d = static_cast<std::uint32_t>(end_tick) - static_cast<std::uint32_t>(start_tick);
    JobRunTime t{};
    t.ms = (2u * d) / 5u;
    std::int32_t ms = static_cast<std::int32_t>(t.ms);
    t.minutes = (ms / 1000) / 60;
    t.seconds = (ms - t.minutes * 60000) / 1000;
    return t;
}

void JobMachine::srvo_off_to_on()
{
    dbg_trace(DBG_PbdFun, "srvo_off_to_on()\n\r");
    dbg_line(DBG_SvoVdbCmd, "    srvo_off_to_on();\n\r");
    svo_wait_idle();
    pipeflag = 1;
    job_timing_state = JOB_CLOCK_ARMED;
    for (std::int32_t& count : phase_tick_count) {
        count = 0;
    }
}

void JobMachine::srvo_on_to_off()
{
    dbg_trace(DBG_PbdFun, "srvo_on_to_off()\n\r");
    dbg_line(DBG_SvoVdbCmd, "    srvo_on_to_off();\n\r");
    pipeflag = 0;
}

void JobMachine::JobTimeTick()
{
    job_timing_state = JOB_CLOCK_OFF;
    if (!dbg_enabled(DBG_ShowJobTime)) {
        return;
    }

    char text[SVO_PHASE_COUNT * 16 + 1];
    int len = 0;
    std::uint32_t sum = 0;
    for (int i = 0; i < SVO_PHASE_COUNT; ++i) {
        len += std::snprintf(text + len, sizeof text - static_cast<std::size_t>(len), "%s:%6d ",
                             svo_phase_names[i], phase_tick_count[i]);
        sum += static_cast<std::uint32_t>(phase_tick_count[i]);
    }
    dbg_trace(DBG_ShowJobTime, "PlanCnt:%d => %s\n\r", static_cast<std::int32_t>(sum), text);

    std::int32_t d = static_cast<std::int32_t>(static_cast<std::uint32_t>(job_end_tick) -
                                               static_cast<std::uint32_t>(job_start_tick));
    JobRunTime t = job_run_time(job_start_tick, job_end_tick);
    std::int32_t s = static_cast<std::int32_t>(t.ms) / 1000;
    dbg_trace(DBG_ShowJobTime, "JobTimeTick: %d %dms %02d:%02d:%02d  Vect:%d\n\r", d,
              static_cast<std::int32_t>(t.ms), s / 3600, (s % 3600) / 60, (s % 3600) % 60,
              vect_count);

    svo_wait_idle();
    console_printf("%s\n\r", svo_position_text().c_str());
}

std::string JobMachine::svo_position_text()
{
    // Fixed text and six 32-bit numbers of at most 11 characters each.
    char text[32 + 6 * 11 + 1];
    enc_x = svo_encoder_x();
    enc_y = svo_encoder_y();
    std::snprintf(text, sizeof text, "Pbd:%d,%d  Svo:%d,%d  Enc:%d,%d", positionx, positiony,
                  svo_pos_x, svo_pos_y, enc_x, enc_y);
    return text;
}
