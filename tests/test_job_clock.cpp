// The job clock: which ticks count, and how a tick count becomes the run
// time that the status file reports.
#include "machine_fixture.h"

#include "base/debug_trace.h"
#include "fwShare/servo/vector_queue.h"
#include "job/job_clock.h"

TEST(RunTime, ConvertsTicksToMillisecondsMinutesAndSeconds)
{
    JobRunTime one_second = job_run_time(0, 2500);
    EXPECT_EQ(one_second.ms, 1000u);
    EXPECT_EQ(one_second.minutes, 0);
    EXPECT_EQ(one_second.seconds, 1);

    JobRunTime one_minute = job_run_time(100, 150100);
    EXPECT_EQ(one_minute.ms, 60000u);
    EXPECT_EQ(one_minute.minutes, 1);
    EXPECT_EQ(one_minute.seconds, 0);

    JobRunTime truncated = job_run_time(7, 12352);
    EXPECT_EQ(truncated.ms, 4938u);
    EXPECT_EQ(truncated.minutes, 0);
    EXPECT_EQ(truncated.seconds, 4);

    JobRunTime nothing = job_run_time(0, 0);
    EXPECT_EQ(nothing.ms, 0u);
    EXPECT_EQ(nothing.minutes, 0);
    EXPECT_EQ(nothing.seconds, 0);
}

TEST(RunTime, TickDifferenceWrapsAroundTheCounter)
{
    // A job that started just before the 32-bit tick counter wrapped.
    JobRunTime t = job_run_time(INT32_MAX - 1249, INT32_MIN + 1250);
    EXPECT_EQ(t.ms, 1000u);
}

class JobClock : public MachineTest {};

TEST_F(JobClock, StartsAtFirstDepartureFromHoldAndEndsAtLastArrival)
{
    job_timing_state = 1;
    svo_tick_count = 10;
    svo_set_state(ISRACC);
    EXPECT_EQ(job_timing_state, 2);
    EXPECT_EQ(job_start_tick, 10);

    svo_tick_count = 50;
    svo_set_state(ISRHOLD);
    EXPECT_EQ(job_end_tick, 50);

    // Later departures leave the start alone; later arrivals move the end.
    svo_tick_count = 70;
    svo_set_state(ISRACC);
    EXPECT_EQ(job_start_tick, 10);
    svo_tick_count = 90;
    svo_set_state(ISRDELAY);
    svo_tick_count = 95;
    svo_set_state(ISRHOLD);
    EXPECT_EQ(job_end_tick, 95);

    // Hold to hold touches neither mark.
    svo_tick_count = 120;
    svo_set_state(ISRHOLD);
    EXPECT_EQ(job_end_tick, 95);
}

TEST_F(JobClock, ArmedClockIgnoresArrivalsAndStoppedClockIgnoresEverything)
{
    job_timing_state = 1;
    svo_state = ISRACC;
    svo_tick_count = 30;
    svo_set_state(ISRHOLD);
    EXPECT_EQ(job_end_tick, 0);
    EXPECT_EQ(job_timing_state, 1);

    job_timing_state = 0;
    svo_tick_count = 40;
    svo_set_state(ISRACC);
    EXPECT_EQ(job_start_tick, 0);
    EXPECT_EQ(job_timing_state, 0);
}

TEST_F(JobClock, JobStartArmsTheClockAndClearsThePhaseCounts)
{
    phase_tick_count[ACC] = 17;
    capture_stdout([&] { srvo_off_to_on(); });
    EXPECT_EQ(job_timing_state, 1);
    EXPECT_EQ(pipeflag, 1);
    for (std::int32_t count : phase_tick_count) {
        EXPECT_EQ(count, 0);
    }
    capture_stdout([&] { JobTimeTick(); });
    EXPECT_EQ(job_timing_state, 0);
}

TEST_F(JobClock, PenRecordsAloneNeverStartTheClock)
{
    capture_stdout([&] { srvo_off_to_on(); });
    srvo_on_pd();
    srvo_on_pu();
    const int ticks = run_ticks_until_idle();
    // Two hold ticks, then the hold tick that finds the free record.
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(job_timing_state, 1);
    EXPECT_EQ(job_start_tick, 0);
    EXPECT_EQ(job_end_tick, 0);
    EXPECT_EQ(phase_tick_count[IDLE] + phase_tick_count[HOLD], 3);
}

TEST_F(JobClock, ReportShowsThePhaseCountsWhenEnabled)
{
    job_start_tick = 100;
    job_end_tick = 2600;
    phase_tick_count[HOLD] = 1;
    phase_tick_count[ACC] = 2;
    dbg_set(DBG_ShowJobTime, true);
    const std::string out = capture_stdout([&] { JobTimeTick(); });
    EXPECT_NE(out.find("T00000 PlanCnt:3 => IDLE:     0 HOLD:     1 ACC:     2 SLEW:     0 "
                       "DCC:     0 CREEP:     0 DELAY:     0 \n\r"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("T00000 JobTimeTick: 2500 1000ms 00:00:01  Vect:0\n\r"), std::string::npos)
        << out;
    EXPECT_NE(out.find("Pbd:0,0  Svo:0,0  Enc:-87987,6104\n\r"), std::string::npos) << out;
}
