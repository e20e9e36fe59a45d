// Speed profiles built from a speed and an acceleration code: the
// acceleration by move kind, the boundary below which a profile has no
// ramp, the acceleration tick counts and the lowest corner speed.
#include "machine_fixture.h"

#include <string>

#include "base/debug_trace.h"
#include "fwShare/machine_params.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/speed_profiles.h"

class SpeedProfiles : public MachineTest {
protected:
    // Builds a profile with its console line swallowed; returns the entry.
    const VelAccelEntry& build(std::int32_t kind, std::uint32_t speed, std::int32_t acc)
    {
        capture_stdout([&] { setup_plotbed_speeds(kind, speed, acc); });
        return VelAccelPool[kind];
    }

    void SetUp() override
    {
        MachineTest::SetUp();
        ASSERT_EQ(one_g, 12350);
        ASSERT_EQ(CREEP_SPEED, 625);
        ASSERT_EQ(CurrentRomParam.MachParam.MaxVelocity.X, 243840);
        ASSERT_EQ(CurrentRomParam.MachParam.MaxVelocity.Y, 121920);
    }
};

TEST_F(SpeedProfiles, AccelerationCodeScalesByKind)
{
    EXPECT_EQ(build(PEN_DOWN, 60960, 60).pbdAccel, 720);
    EXPECT_EQ(build(PEN_UP, 121920, 3).pbdAccel, 3705);
    EXPECT_EQ(build(RASTER_OFFSET, 6000, 2).pbdAccel, 2470);
    EXPECT_EQ(build(RASTER_MOVE, 121920, 1).pbdAccel, 1235);
}

TEST_F(SpeedProfiles, SpeedBoundaryDecidesBetweenRampAndConstantSpeed)
{
    struct Case {
        std::int32_t kind;
        std::uint32_t speed;
        std::uint32_t boundary;
        std::int32_t diag, axia, sps, low;
    };
    const Case cases[] = {
        {PEN_DOWN, 3699, 2100, 111, 111, 3074, 0},
        {PEN_DOWN, 3700, 625, 111, 111, 3075, 0},
        {PEN_DOWN, 2100, 2100, 0, 0, 2100, 65},
        {PEN_DOWN, 2101, 2100, 53, 53, 1476, 0},
        {PEN_DOWN, 1050, 2100, 0, 0, 1050, 32},
        {PEN_DOWN, 10, 2100, 0, 0, 10, 1},     // 650 / 2100 raised to 1
        {PEN_DOWN, 0, 2100, 0, 0, 0, 1},
        {RASTER_MOVE, 2100, 2100, 31, 31, 1475, 0},  // always ramped
        {RASTER_FORWARD, 2100, 2100, 0, 0, 2100, 65},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << move_kind_names[c.kind] << " at " << c.speed);
        const VelAccelEntry& e = build(c.kind, c.speed, c.kind == PEN_DOWN ? 60 : 1);
        EXPECT_EQ(boundary_speed, c.boundary);
        EXPECT_EQ(factor_num, 65);
        EXPECT_EQ(e.diag_vel, c.diag);
        EXPECT_EQ(e.pbdAxiaVel, c.axia);
        EXPECT_EQ(e.pbdSps, c.sps);
        EXPECT_EQ(e.LowSpeed, c.low);
        EXPECT_EQ(e.kind, c.kind);
    }

    // A creep speed at the speed itself: the boundary holds above 3700 too.
    CREEP_SPEED = 4000;
    const VelAccelEntry& e = build(PEN_DOWN, 4000, 60);
    EXPECT_EQ(boundary_speed, 4000u);
    EXPECT_EQ(e.LowSpeed, 65);
    EXPECT_EQ(e.diag_vel, 0);
}

TEST_F(SpeedProfiles, AxisSpeedIsLimitedToTheMachinesXSpeed)
{
    // 2 inches per second (and a little) of X speed: limit 2 * 3048 - 625.
    CurrentRomParam.MachParam.MaxVelocity.X = 6196;
    const VelAccelEntry& e = build(PEN_UP, 121920, 3);
    EXPECT_EQ(e.pbdSps, 121295);
    EXPECT_EQ(e.diag_vel, 858);
    EXPECT_EQ(e.pbdAxiaVel, 38);
}

TEST_F(SpeedProfiles, TinyTickCountsAreRaisedToOne)
{
    const VelAccelEntry& e = build(RASTER_FORWARD, 4000, 10000);
    EXPECT_EQ(e.pbdAccel, 12350000);
    EXPECT_EQ(e.diag_vel, 1);
    EXPECT_EQ(e.pbdAxiaVel, 1);
}

TEST_F(SpeedProfiles, LowestCornerSpeedFollowsTheMachinesYSpeed)
{
    build(PEN_DOWN, 60960, 60);
    EXPECT_EQ(min_corner_vel, 1331u);
    build(PEN_UP, 121920, 3);
    EXPECT_EQ(min_corner_vel, 258u);
    build(PEN_DOWN, 2100, 60);  // no ramp, same acceleration
    EXPECT_EQ(min_corner_vel, 1331u);
}

TEST_F(SpeedProfiles, ZeroAccelerationIsTakenAsOne)
{
    const VelAccelEntry& down = build(PEN_DOWN, 60960, 0);
    EXPECT_EQ(down.pbdAccel, 1);
    EXPECT_EQ(down.diag_vel, 1581829);  // (15083 * 839) >> 3
    EXPECT_EQ(min_corner_vel, 958977u);
    EXPECT_EQ(build(RASTER_OFFSET, 6000, 0).pbdAccel, 1);
    EXPECT_EQ(build(RASTER_OFFSET, 6000, -5).pbdAccel, 1);
    one_g = 999;  // below one thousandth of g per code step
    EXPECT_EQ(build(PEN_DOWN, 60960, 60).pbdAccel, 1);
}

TEST_F(SpeedProfiles, UnbuiltKindsStayZero)
{
    for (std::int32_t kind : {PEN_DOWN, PEN_UP, RASTER_FORWARD, RASTER_BACKWARD, RASTER_OFFSET,
                              RASTER_MOVE}) {
        build(kind, 60960, 5);
    }
    for (std::int32_t kind : {PEN_UPC, SERVO_MOVE}) {
        const VelAccelEntry& e = VelAccelPool[kind];
        EXPECT_EQ(e.kind, kind);
        EXPECT_EQ(e.diag_vel, 0);
        EXPECT_EQ(e.pbdAxiaVel, 0);
        EXPECT_EQ(e.pbdAccel, 0);
        EXPECT_EQ(e.pbdSps, 0);
        EXPECT_EQ(e.LowSpeed, 0);
        EXPECT_EQ(e.unused, 0);
    }
}

TEST_F(SpeedProfiles, PenProfilesAlwaysPrintTheirSpeedLine)
{
    EXPECT_EQ(capture_stdout([&] { setup_plotbed_speeds(PEN_DOWN, 500, 60); }),
              "setup_plotbed_speeds(PEN_DOWN       ,500,60,121920);\n\r");
    EXPECT_EQ(capture_stdout([&] { setup_plotbed_speeds(PEN_UP, 121920, 3); }),
              "setup_plotbed_speeds(PEN_UP         ,121920,3,121920);\n\r");
    EXPECT_EQ(capture_stdout([&] { setup_plotbed_speeds(RASTER_FORWARD, 4000, 50); }), "");
    EXPECT_EQ(capture_stdout([&] { setup_plotbed_speeds(RASTER_MOVE, 121920, 1); }), "");

    dbg_set(DBG_SvoSpeed, true);
    EXPECT_EQ(capture_stdout([&] { setup_plotbed_speeds(RASTER_FORWARD, 4000, 50); }),
              "T00000 setup_plotbed_speeds(RASTER_FORWARD ,4000,50);\n\r");
    EXPECT_EQ(capture_stdout([&] { setup_plotbed_speeds(PEN_UP, 121920, 3); }),
              "T00000 setup_plotbed_speeds(PEN_UP         ,121920,3);\n\r"
              "setup_plotbed_speeds(PEN_UP         ,121920,3,121920);\n\r");
}
