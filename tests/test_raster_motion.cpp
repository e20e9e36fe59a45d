// Raster motion planning: the acceleration allowance and pass length, the
// image margins and middle, the raster speed profiles, the first pass
// direction and the carriage move to the start of the first pass.
#include "machine_fixture.h"

#include <sstream>
#include <string>
#include <vector>

#include "base/debug_trace.h"
#include "fwShare/machine_params.h"
#include "fwShare/pcl_position.h"
#include "fwShare/raster_motion.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/speed_profiles.h"
#include "job/job_clock.h"

using Lines = std::vector<std::string>;

class RasterMotion : public MachineTest {
protected:
    void SetUp() override
    {
        MachineTest::SetUp();
        start_raster_job();
    }

    void TearDown() override
    {
        // Not part of the machine reset: leave the margin terms as start-up does.
        for (std::uint16_t& m : margin_speed_table) {
            m = 0;
        }
    }

    // Moves the head to the plot-bed point (x, y).
    void head_to(std::int32_t x, std::int32_t y)
    {
        svo_wait_idle();
        srvo_on_ve(x - positionx, y - positiony);
        svo_wait_idle();
    }
};

TEST_F(RasterMotion, AccelerationAllowanceGrowsWithTheSquareOfTheSpeed)
{
    struct Case {
        std::uint16_t speed;
        std::uint16_t dist;
    };
    for (const Case c : {Case{1000, 5168}, Case{500, 1382}, Case{250, 435}, Case{100, 170},
                         Case{0, 120}}) {
        ptCurrentFile->RasterSpeedX = c.speed;
        EXPECT_EQ(CalAccelDistance(), c.dist) << "speed " << c.speed;
    }
    // A pen with speed code 1 leaves 2 inches per second in X.
    CurrentRomParam.MachParam.MaxVelocity.X = 6096;
    ptCurrentFile->RasterSpeedX = 1000;
    EXPECT_EQ(CalAccelDistance(), 123);
}

TEST_F(RasterMotion, PassIsTheImageAndTwoAllowances)
{
    HandleRasterMoving();
    EXPECT_EQ(raster_accel_dist, 5768);
    EXPECT_EQ(raster_distance, 14584);
    ptCurrentFile->RasterAccelEngrave = 1;
    HandleRasterMoving();
    EXPECT_EQ(raster_accel_dist, 1560);
    EXPECT_EQ(raster_distance, 6168);
}

TEST_F(RasterMotion, ImageMiddleIsHalfTheWidthRightOfTheCursor)
{
    ptCurrentFile->ImageWidth = 600;
    pcl_pos.pclx = 1000;
    pcl_pos.x_mrg = 1000;
    HandleRasterMargin();
    EXPECT_EQ(margin_mid, 1000 + 3048);
    EXPECT_EQ(margin_l, 0);
    EXPECT_EQ(margin_r, 0);
}

TEST_F(RasterMotion, MarginTermBandsStopAtTheLastEntry)
{
    margin_speed_table[0] = 3;
    margin_speed_table[1] = 4;
    margin_speed_table[19] = 7;
    struct Case {
        std::uint16_t speed;
        std::int32_t term;
    };
    for (const Case c : {Case{0, 3}, Case{50, 3}, Case{51, 4}, Case{1000, 7}, Case{1001, 7},
                         Case{2000, 7}, Case{65535, 7}}) {
        ptCurrentFile->RasterSpeedX = c.speed;
        HandleRasterMargin();
        EXPECT_EQ(margin_l, -c.term) << "speed " << c.speed;
        EXPECT_EQ(margin_r, c.term) << "speed " << c.speed;
    }
}

TEST_F(RasterMotion, RasterProfilesScaleWithTheMaxVelocities)
{
    ptCurrentFile->RasterSpeedX = 2000;
    const Lines lines =
        traced_lines(DBG_SvoSpeed, "setup_plotbed_speeds(", [&] { HandleRasterMoving(); });
    EXPECT_EQ(lines, (Lines{"setup_plotbed_speeds(RASTER_FORWARD ,487680,50);",
                            "setup_plotbed_speeds(RASTER_BACKWARD,487680,50);",
                            "setup_plotbed_speeds(RASTER_OFFSET  ,60960,50);",
                            "setup_plotbed_speeds(RASTER_MOVE    ,121920,50);"}));
}

TEST_F(RasterMotion, MissingRasterAccelerationBecomesFifty)
{
    HandleRasterMoving();
    EXPECT_EQ(ptCurrentFile->RasterAccelX, 50);
    EXPECT_EQ(ptCurrentFile->RasterAccelY, 50);
    const std::int32_t fifty = VelAccelPool[RASTER_FORWARD].pbdAccel;
    EXPECT_EQ(fifty, (one_g / 10) * 50);
    HandleRasterMoving();
    EXPECT_EQ(ptCurrentFile->RasterAccelX, 50);
    EXPECT_EQ(VelAccelPool[RASTER_FORWARD].pbdAccel, fifty);

    ptCurrentFile->RasterAccelX = 20;
    HandleRasterMoving();
    EXPECT_EQ(ptCurrentFile->RasterAccelX, 20);
    EXPECT_EQ(VelAccelPool[RASTER_FORWARD].pbdAccel, (one_g / 10) * 20);
}

TEST_F(RasterMotion, CarriageMovesYFirstThenToTheBedEdge)
{
    head_to(5000, 40000);
    ptCurrentFile->RasterAccelEngrave = 1;
    ptCurrentFile->ImageAbsPosFlag = 1;
    ptCurrentFile->ImageOffsetX = 600;
    ptCurrentFile->ImageOffsetY = 254;
    // Head in the PCL frame: (4760, 15920); image at (6096, 3048).
    EXPECT_EQ(queue_calls([&] { HandleStartRasterGraphics(); }),
              (Lines{"srvo_on_raster_move(6);", "srvo_on_ve(0,12872,0,0);",
                     "srvo_on_raster_move(6);", "srvo_on_ve(-5000,0,0,0);"}));
    svo_wait_idle();
    EXPECT_EQ(positionx, 0);
    EXPECT_EQ(positiony, 55920 - 3048);
    EXPECT_EQ(raster_backward, 0);
}

TEST_F(RasterMotion, TargetLeftOfTheBedIsNotLimited)
{
    ptCurrentFile->RasterAccelEngrave = 1;
    ptCurrentFile->ImageAbsPosFlag = 1;
    ptCurrentFile->ImageOffsetX = 98;  // PCL X 995, less than the 1560 allowance
    ptCurrentFile->ImageOffsetY = 254;
    HandleStartRasterGraphics();
    svo_wait_idle();
    EXPECT_EQ(positionx, 240 + 995 - 1560);
    EXPECT_EQ(positiony, 55920 - 3048);
}

TEST_F(RasterMotion, ImageWithoutSizeKeepsDirectionAndTarget)
{
    raster_accel_dist = 1560;
    raster_distance = 6168;
    raster_backward = 1;
    ptCurrentFile->ImageWidth = 0;
    ptCurrentFile->ImageHeight = 0;
    HandleCarriagePosition(-100, 3048);
    EXPECT_EQ(raster_backward, 1);
    svo_wait_idle();
    EXPECT_EQ(positionx, 240 - 100);
    EXPECT_EQ(positiony, 55920 - 3048);

    ptCurrentFile->ImageWidth = 1;
    HandleCarriagePosition(-100, 3048);
    EXPECT_EQ(raster_backward, 0);
    svo_wait_idle();
    EXPECT_EQ(positionx, 240 - 100 - 1560);
}
