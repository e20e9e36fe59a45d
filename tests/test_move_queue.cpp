// Queueing of moves: the profile of the current move kind, the reshaping
// of pen-up travel by length band and shape, and what reaches the record.
#include "machine_fixture.h"

#include "fwShare/resolution.h"
#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_planner.h"
#include "fwShare/servo/vector_queue.h"

namespace {

struct Profile {
    std::int32_t diag, axia, accel, sps;
};

} // namespace

// The pen-up entry of a 40 inch per second profile at acceleration code 3.
class MoveQueue : public MachineTest {
protected:
    Profile loaded() const { return {diag_vel, pbdAxiaVel, pbdAccel, pbdSps}; }

    void expect_profile(const Profile& expected) const
    {
        EXPECT_EQ(diag_vel, expected.diag);
        EXPECT_EQ(pbdAxiaVel, expected.axia);
        EXPECT_EQ(pbdAccel, expected.accel);
        EXPECT_EQ(pbdSps, expected.sps);
    }

    void SetUp() override
    {
        MachineTest::SetUp();
        ASSERT_EQ(one_g / 1000, 12);
        VelAccelPool[PEN_UP] = VelAccelEntry{PEN_UP, 700, 900, 3705, 120000, 0, 0};
        VelAccelPool[PEN_DOWN] = VelAccelEntry{PEN_DOWN, 500, 600, 720, 50000, 0, 0};
        pbdVelType = PEN_UP;
    }

    // Queues the move and returns the record it planned.
    VdbData* move(std::int32_t dx, std::int32_t dy)
    {
        VdbData* expected = freeptr;
        srvo_on_ve(dx, dy);
        EXPECT_EQ(freeptr, expected->next) << "one record per move";
        return expected;
    }
};

TEST_F(MoveQueue, PenUpTravelIsReshapedByBandAndShape)
{
    struct Case {
        std::int32_t dx, dy;
        Profile expected;
    };
    const Case cases[] = {
        // D = 35, diagonal band 3: Acc 433, Vel 80, factor 71.
        {-300, -4000, {994, 1278, 5218, 240000}},
        // D = 20, diagonal band 2: Acc 300, Vel 80, factor 102.
        {1200, 1200, {1428, 1836, 3632, 240000}},
        // D = 5, along X, band 1: Acc 3000, Vel 175, factor 10.
        {600, 0, {306, 393, 37050, 525000}},
        // D = 616, along Y, band 3: Acc 1500, Vel 80, factor 20.
        {0, 74000, {280, 360, 18525, 240000}},
        // D = 320, diagonal band 4: Acc 800, Vel 90, factor 38.
        {19200, -19200, {598, 769, 9750, 270000}},
        // D = 700, diagonal band 5: Acc 3050, Vel 137, factor 10.
        {42000, 42000, {239, 308, 37050, 411000}},
        // D = 1000 (|dx| + |dy|, not the straight line): band 6, speed only.
        {60000, 60000, {3062, 3937, 3705, 120000}},
        // Along X: D = 1020 is the last band with an acceleration, 1021 is beyond.
        {122400, 0, {306, 393, 37050, 525000}},
        {-122520, 0, {3062, 3937, 3705, 120000}},
        // Along Y: D = 15 still band 1 (Acc 300, Vel 40).
        {0, -1800, {714, 918, 3632, 120000}},
        // D = 315, along Y, band 2: Acc 900, Vel 60, factor 34.
        {0, 37800, {357, 459, 10897, 180000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "move (" << c.dx << "," << c.dy << ")");
        VdbData* r = move(c.dx, c.dy);
        expect_profile(c.expected);
        EXPECT_EQ(pVelAccelPointer, &VelAccelPool[PEN_UP]);
        // The record is planned with the reshaped profile.
        EXPECT_EQ(r->majrdvel, static_cast<std::uint32_t>(c.expected.accel) << 9);
        EXPECT_EQ(r->cmd, VECTOR);
        EXPECT_EQ(r->sent_cmd, VECTOR);
        EXPECT_EQ(isr_holdoff, 0);
        // The pool entry itself is never changed by the reshaping.
        EXPECT_EQ(VelAccelPool[PEN_UP].diag_vel, 700);
        EXPECT_EQ(VelAccelPool[PEN_UP].pbdAccel, 3705);
        SetUp();
    }
}

TEST_F(MoveQueue, ReshapingDoesNotAccumulateOverMoves)
{
    move(-300, -4000);
    move(1200, 1200);
    expect_profile({1428, 1836, 3632, 240000});
    move(-300, -4000);
    expect_profile({994, 1278, 5218, 240000});
}

TEST_F(MoveQueue, PenDownMoveUsesItsProfileUnchanged)
{
    pbdVelType = PEN_DOWN;
    for (std::int32_t dx : {600, 60000, -2}) {
        VdbData* r = move(dx, 1200);
        expect_profile({500, 600, 720, 50000});
        EXPECT_EQ(pVelAccelPointer, &VelAccelPool[PEN_DOWN]);
        EXPECT_EQ(r->majrdvel, 720u << 9);
    }
}

TEST_F(MoveQueue, ZeroMoveQueuesNothing)
{
    // Fill the whole ring: a zero move must not even ask for a record.
    for (int i = 0; i < VDB_POOL_SIZE; ++i) {
        move(600, 0);
    }
    const Profile before = loaded();
    VelAccelPool[PEN_UP].pbdAccel = 1;
    const std::int32_t planned = vect_count;
    VdbData* next = freeptr;
    ::testing::internal::CaptureStderr();
    const std::string out = capture_stdout([&] { srvo_on_ve(0, 0); });
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_EQ(freeptr, next);
    EXPECT_EQ(vect_count, planned);
    EXPECT_EQ(loaded().accel, before.accel);
    EXPECT_EQ(job_abort, 0);
}

TEST_F(MoveQueue, TooGentlePenUpProfileTakesTheSmallestFactor)
{
    // 10 * 100 is below 12 * 300: the factor would be 0.
    VelAccelPool[PEN_UP] = VelAccelEntry{PEN_UP, 750, 950, 10, 120000, 0, 0};
    VdbData* r = move(1200, 1200);
    expect_profile({14, 18, 1000, 240000});
    EXPECT_EQ(r->majrdvel, 1000u << 9);
    EXPECT_EQ(r->cmd, VECTOR);
}

TEST_F(MoveQueue, EveryMoveOfAJobIsExecuted)
{
    pipeflag = 1;
    pbdVelType = PEN_DOWN;
    capture_stdout([&] { setup_plotbed_speeds(PEN_DOWN, 60960, 60); });
    const std::int32_t x0 = svo_pos_x;
    const std::int32_t y0 = svo_pos_y;
    std::int32_t sx = 0;
    std::int32_t sy = 0;
    for (int i = 0; i < 45; ++i) {
        const std::int32_t dx = (i % 7) * 50 - 100;
        const std::int32_t dy = (i % 5) * 25 - 50;
        srvo_on_ve(dx, dy);
        sx += dx;
        sy += dy;
    }
    run_ticks_until_idle();
    EXPECT_EQ(SVO_VectPtr, nullptr);
    EXPECT_EQ(vect_count, 45 - 2);  // the two (0, 0) moves queue nothing
    EXPECT_EQ(svo_pos_x - x0, sx * 4);
    EXPECT_EQ(svo_pos_y - y0, sy * 4);
}
