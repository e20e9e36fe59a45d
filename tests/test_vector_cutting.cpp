// Vector cutting: the pen's speed code turned into maximum velocities,
// creep settings, servo gains, end delays and pen profiles; pen up and
// down; the switch back to HPGL mode; pen numbers outside the pen tables.
#include "machine_fixture.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "base/debug_trace.h"
#include "fwShare/machine_params.h"
#include "fwShare/pcl_position.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/start_up.h"
#include "fwShare/vector_cutting.h"
#include "job/job_clock.h"

namespace {

// Live servo gains of m in the order servo_set_gains takes them.
std::vector<int> live_gains(const Machine& m)
{
    const SvoGains& g = m.svo_gains;
    return {g.XGain, g.YGain, g.XRateFactor, g.YRateFactor, g.XIGain,
            g.YIGain, g.K3X,  g.K3Y,  g.XILimit,     g.YILimit};
}

// The machine's configured set, and the low-speed set with the machine's
// third-order terms and integrator limits.
const std::vector<int> machine_gains{100, 140, 4000, 4100, 4, 5, 120, 160, 2400, 3200};
const std::vector<int> low_speed_gains{90, 160, 2500, 2600, 7, 6, 120, 160, 2400, 3200};

// creep_min, CREEP_SPEED, CREEP_VELOCITY of m.
std::vector<int> creep_settings(const Machine& m)
{
    return {m.creep_min, m.CREEP_SPEED, m.CREEP_VELOCITY};
}

std::string pen_down_line(int speed, int max_y)
{
    return "setup_plotbed_speeds(PEN_DOWN       ," + std::to_string(speed) + ",60," +
           std::to_string(max_y) + ");\n\r";
}

} // namespace

class PenSpeedCode : public MachineTest {
protected:
    void SetUp() override
    {
        MachineTest::SetUp();
        srvo_off_to_on();
    }

    std::string select(int pen, int code)
    {
        ptCurrentFile->VectorSpeed[pen] = static_cast<std::uint16_t>(code);
        return capture_stdout([this, pen] { execute_penselect(pen); });
    }
};

TEST_F(PenSpeedCode, DefaultCodeIsHalfTheMaxYVelocityWithMachineGains)
{
    const std::string out = capture_stdout([&] { execute_penselect(1); });
    EXPECT_EQ(out, "pen(1)spd(500)\npen(1)spd(500)acc(60)\n"
                   "setup_plotbed_speeds(PEN_UP         ,121920,3,121920);\n\r" +
                       pen_down_line(60960, 121920));
    EXPECT_EQ(ptCurrentFile->VectorCurrentPen, 1);
    EXPECT_EQ(creep_settings(*this), (std::vector<int>{2, 1250, 2}));
    EXPECT_EQ(live_gains(*this), machine_gains);
    // A code outside 1..10 keeps the start-up maximum velocities.
    EXPECT_EQ(CurrentRomParam.MachParam.MaxVelocity.X, 243840);
    EXPECT_EQ(CurrentRomParam.MachParam.MaxVelocity.Y, 121920);
}

TEST_F(PenSpeedCode, CreepSettingsSwitchAbove750)
{
    select(3, 751);
    EXPECT_EQ(creep_settings(*this), (std::vector<int>{1, 625, 1}));
    select(4, 750);
    EXPECT_EQ(creep_settings(*this), (std::vector<int>{2, 1250, 2}));
    select(3, 751);
    EXPECT_EQ(creep_settings(*this), (std::vector<int>{1, 625, 1}));
}

TEST_F(PenSpeedCode, CodesOneToTenSelectTheirMaxVelocityPair)
{
    struct Pair {
        int code;
        std::int32_t x;
        std::int32_t y;
    };
    const Pair pairs[] = {
        {1, 6096, 67056},    {2, 6096, 109728},   {3, 18288, 109728},  {4, 243840, 115824},
        {5, 243840, 121920}, {6, 243840, 121920}, {7, 243840, 121920}, {8, 243840, 121920},
        {9, 243840, 115824}, {10, 243840, 118872},
    };
    for (const Pair& p : pairs) {
        CurrentRomParam.MachParam.MaxAcceleration = {7, 7};
        select(5, p.code);
        EXPECT_EQ(CurrentRomParam.MachParam.MaxVelocity.X, p.x) << "code " << p.code;
        EXPECT_EQ(CurrentRomParam.MachParam.MaxVelocity.Y, p.y) << "code " << p.code;
        EXPECT_EQ(CurrentRomParam.MachParam.MaxAcceleration.X, 50) << "code " << p.code;
        EXPECT_EQ(CurrentRomParam.MachParam.MaxAcceleration.Y, 1) << "code " << p.code;
    }
}

TEST_F(PenSpeedCode, CodesBelowTenUseTheLowSpeedGains)
{
    const std::string out = select(2, 9);
    EXPECT_EQ(live_gains(*this), low_speed_gains);
    EXPECT_NE(out.find(pen_down_line(1042, 115824)), std::string::npos) << out;
    select(2, 10);
    EXPECT_EQ(live_gains(*this), machine_gains);
}

TEST_F(PenSpeedCode, CodeZeroKeepsTheLastPairAndStandsStill)
{
    select(1, 1);
    const std::string out = select(2, 0);
    EXPECT_EQ(CurrentRomParam.MachParam.MaxVelocity.X, 6096);
    EXPECT_EQ(CurrentRomParam.MachParam.MaxVelocity.Y, 67056);
    EXPECT_EQ(live_gains(*this), low_speed_gains);
    EXPECT_NE(out.find("pen(2)spd(0)\npen(2)spd(0)acc(60)\n"), std::string::npos) << out;
    EXPECT_NE(out.find(pen_down_line(0, 67056)), std::string::npos) << out;
    // Speed 0: a constant-speed profile without an acceleration ramp.
    EXPECT_EQ(VelAccelPool[PEN_DOWN].diag_vel, 0);
    EXPECT_GT(VelAccelPool[PEN_DOWN].LowSpeed, 0);
}

TEST_F(PenSpeedCode, VectorStartRestoresTheEndDelaysAfterRasterWork)
{
    ptCurrentFile->RasterDPI = 300;
    ptCurrentFile->RasterUnit = 254;
    HandleStartRasterGraphics();
    EXPECT_EQ((std::vector<int>{End_Delay_1, End_Delay_2, End_Delay_3}),
              (std::vector<int>{5, 0, 0}));
    EXPECT_EQ(creep_settings(*this), (std::vector<int>{4, 2500, 4}));
    select(1, 500);
    EXPECT_EQ((std::vector<int>{End_Delay_1, End_Delay_2, End_Delay_3}),
              (std::vector<int>{24, 100, 3}));
    EXPECT_EQ(creep_settings(*this), (std::vector<int>{2, 1250, 2}));
}

// Records stay queued here (the servo is not on line), so each queued
// record can be seen in the ring.
class PenRecords : public MachineTest {};

TEST_F(PenRecords, PenRecordIsQueuedOnlyOnARealChange)
{
    VdbData* const first = freeptr;
    EXPECT_EQ(queue_calls([&] {
                  pendnout();
                  pendnout();
                  penupout();
                  penupout();
              }),
              (std::vector<std::string>{"srvo_on_pd();", "srvo_on_pu();"}));
    EXPECT_EQ(first->cmd, SHORT_PEN_DOWN);
    EXPECT_EQ(first->next->cmd, SHORT_PEN_UP);
    EXPECT_EQ(freeptr, first->next->next);
    EXPECT_EQ(pen_up_flag, 1);
}

TEST_F(PenRecords, PenSelectWithThePenUpStillRestartsVectorCutting)
{
    VdbData* const first = freeptr;
    std::string out;
    const auto calls = queue_calls([&] { execute_penselect(2); }, &out);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(freeptr, first);
    EXPECT_NE(out.find("pen(2)spd(500)\npen(2)spd(500)acc(60)\n"), std::string::npos) << out;
}

TEST_F(PenRecords, PenSelectRaisesALoweredPen)
{
    pendnout();
    VdbData* const next = freeptr;
    execute_penselect(1);
    EXPECT_EQ(next->cmd, SHORT_PEN_UP);
    EXPECT_EQ(freeptr, next->next);
    EXPECT_EQ(pen_up_flag, 1);
}

TEST_F(PenRecords, HpglModeAtTheCursorQueuesOnlyTheRasterMoveRecord)
{
    VdbData* const first = freeptr;
    std::string out;
    const auto calls = queue_calls([&] { HandleToHpglMode(); }, &out);
    EXPECT_EQ(calls, (std::vector<std::string>{"srvo_on_raster_move(6);", "srvo_on_ve(0,0,0,0);"}));
    EXPECT_EQ(lsr_lang_mode, 1);
    EXPECT_EQ(first->cmd, SHORT_PEN_UP);
    EXPECT_EQ(pbdVelType, RASTER_MOVE);
    EXPECT_EQ(freeptr, first->next);  // the zero move queues nothing
    EXPECT_NE(out.find("pen(0)spd(500)acc(60)\n"), std::string::npos) << out;
}

TEST_F(PenRecords, HpglModeBringsTheHeadToThePclCursor)
{
    srvo_off_to_on();
    pcl_pos.pclx = 3048;
    pcl_pos.pcly = 6096;
    const auto calls = queue_calls([&] { HandleToHpglMode(); });
    EXPECT_EQ(calls, (std::vector<std::string>{"srvo_on_raster_move(6);",
                                               "srvo_on_ve(3288,49824,0,0);"}));
    svo_wait_idle();
    EXPECT_EQ(positionx, 240 + 3048);
    EXPECT_EQ(positiony, 55920 - 6096);
}

// Pen numbers outside the 17-entry pen tables, through the built program:
// the job ends at that entry with the run time of the entries before it.
TEST(PenSelectJob, PenAboveSixteenEndsTheJobAtThatEntry)
{
    const std::string before = "pd_default 1000 0\n";
    JobFolder ref;
    ref.write_job(before);
    ASSERT_EQ(ref.run(), 0);
    const auto ref_status = status_lines(ref.read_file("Vemtrac.sts"));
    ASSERT_EQ(ref_status.size(), 5u);
    ASSERT_NE(ref_status[2], "0");

    for (const char* pen : {"17", "273", "255"}) {
        JobFolder job;
        job.write_job(before + "execute_penselect " + pen + "\npd_default 0 1000\n");
        ASSERT_EQ(job.run(), 0);
        const auto status = status_lines(job.read_file("Vemtrac.sts"));
        ASSERT_EQ(status.size(), 5u) << pen;
        EXPECT_EQ(status[0], "VMTC_OK") << pen;
        EXPECT_EQ(status[2], ref_status[2]) << pen;
        EXPECT_EQ(std::count(job.stderr_text.begin(), job.stderr_text.end(), '\n'), 1)
            << job.stderr_text;
        EXPECT_NE(job.stderr_text.find("\"execute_penselect\""), std::string::npos);
        EXPECT_EQ(job.stdout_text.find("pen("), std::string::npos) << job.stdout_text;
    }

    // 257 is pen 1 in the low eight bits.
    JobFolder low;
    low.write_job("execute_penselect 257\n");
    ASSERT_EQ(low.run(), 0);
    EXPECT_TRUE(low.stderr_text.empty()) << low.stderr_text;
    EXPECT_NE(low.stdout_text.find("pen(1)spd(500)\n"), std::string::npos) << low.stdout_text;
}
