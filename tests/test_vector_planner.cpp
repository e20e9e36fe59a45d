// Planning of vector records: octants, distances, slopes and velocities of
// a single move, the joint with the record before, angle smoothing and the
// corner pass over the records still queued.
#include "machine_fixture.h"

#include <algorithm>
#include <climits>
#include <string>

#include "base/debug_trace.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_exec.h"
#include "fwShare/servo/vector_planner.h"
#include "fwShare/servo/vector_queue.h"

class VectorPlanner : public MachineTest {
protected:
    void SetUp() override
    {
        MachineTest::SetUp();
        load_pen_down_planning();
    }
};

TEST_F(VectorPlanner, ThreeShallowJointsRaiseCornerSpeedsBackwards)
{
    ASSERT_EQ(VARRESO_PbdToSvoX, 4);
    ASSERT_EQ(VARRESO_PbdToSvoY, 4);
    ASSERT_EQ(svo_reso_mm_x, 480);

    VdbData* r0 = plan_and_commit(300, 0);
    EXPECT_EQ(r0->octant, 0);
    EXPECT_EQ(r0->slope, 0);
    EXPECT_EQ(r0->majrdisth, 1200);
    EXPECT_EQ(r0->minrdisth, 0);
    EXPECT_EQ(r0->acclcount, 800);
    EXPECT_EQ(r0->majrdvel, 1843200u);
    EXPECT_EQ(r0->majrvel, 16777216u);
    EXPECT_EQ(r0->minrvel, 0u);
    EXPECT_EQ(r0->angle, 0);
    EXPECT_EQ(r0->ddr, 62u * 65536u);
    EXPECT_EQ(r0->end_delay, 24);
    EXPECT_EQ(r0->creep, 32u);
    EXPECT_EQ(r0->cmd, VECTOR);

    VdbData* r1 = plan_and_commit(300, 30);
    EXPECT_EQ(r1->slope, 6553);
    EXPECT_EQ(r1->minrdisth, 120);
    EXPECT_EQ(r1->acclcount, 796);
    EXPECT_EQ(r1->minrdvel, 184303u);
    EXPECT_EQ(r1->minrvel, 1677568u);
    EXPECT_EQ(r1->angle, 5);
    EXPECT_EQ(r1->relativeAngle, 5);
    EXPECT_EQ(r1->anglediff, 327680u);
    EXPECT_EQ(r1->smoothLoop1, 1);
    EXPECT_EQ(r1->smoothLoop2, 1);
    EXPECT_EQ(r0->end_delay, 3);
    EXPECT_EQ(r0->anglediff, 327680u);
    EXPECT_EQ(r0->cnrvel, 93);
    EXPECT_EQ(r0->psuedodist, 1187u);
    EXPECT_EQ(r0->smoothCnt, 1);

    VdbData* r2 = plan_and_commit(300, 60);
    EXPECT_EQ(r2->slope, 13107);
    EXPECT_EQ(r2->minrdisth, 240);
    EXPECT_EQ(r2->acclcount, 785);
    EXPECT_EQ(r2->minrdvel, 368634u);
    EXPECT_EQ(r2->minrvel, 3355392u);
    EXPECT_EQ(r2->angle, 11);
    EXPECT_EQ(r2->relativeAngle, 6);
    EXPECT_EQ(r2->anglediff, 360448u);
    EXPECT_EQ(r2->smoothLoop1, 2);
    EXPECT_EQ(r2->smoothLoop2, 2);
    EXPECT_EQ(r1->end_delay, 3);
    EXPECT_EQ(r1->anglediff, 393216u);
    EXPECT_EQ(r1->cnrvel, 93);
    EXPECT_EQ(r1->psuedodist, 1187u);
    EXPECT_EQ(r1->smoothCnt, 1);
    EXPECT_EQ(r0->anglediff, 360448u);
    EXPECT_EQ(r0->cnrvel, 137);
    EXPECT_EQ(r0->psuedodist, 2382u);
    EXPECT_EQ(r0->smoothCnt, 2);
    EXPECT_EQ(r2->cnrvel, 0);
    EXPECT_EQ(vect_count, 3);
}

TEST_F(VectorPlanner, OctantSlopeAndDirectionOfSingleMoves)
{
    struct Case {
        std::int32_t dx, dy;
        int octant;
        std::int32_t majr, minr;
        int slope, angle;
    };
    const Case cases[] = {
        {1000, 0, 0, 4000, 0, 0, 0},
        {-500, 500, 2, 2000, 2000, 0xFFFF, 135},  // a tie makes X major
        {0, -700, 5, 2800, 0, 0, 270},
        {3, -4000, 5, 16000, 12, 49, 270},
        {-3, -4000, 7, 16000, 12, 49, 270},
        {1000, -1, 4, 4000, 4, 65, 360},          // along +X, slightly down
        {-100, -400, 7, 1600, 400, 16384, 256},   // |-270 + 14|
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "move (" << c.dx << "," << c.dy << ")");
        reset_machine();
        load_pen_down_planning();
        VdbData* r = plan_and_commit(c.dx, c.dy);
        EXPECT_EQ(r->octant, c.octant);
        EXPECT_EQ(r->majrdisth, c.majr);
        EXPECT_EQ(r->minrdisth, c.minr);
        EXPECT_EQ(r->slope, c.slope);
        EXPECT_EQ(r->angle, c.angle);
        EXPECT_EQ(r->dx, c.dx);
        EXPECT_EQ(r->dy, c.dy);
        if (c.slope == 0) {
            EXPECT_EQ(r->acclcount, 800);
        }
        if (c.slope == 0xFFFF) {
            EXPECT_EQ(r->minrdvel, r->majrdvel);
            EXPECT_EQ(r->minrvel, 2u << 23);
        }
    }
}

TEST_F(VectorPlanner, ConstantSpeedProfileScalesByDirectionCosine)
{
    pbdAxiaVel = 0;
    LowSpeed = 65;
    VdbData* r0 = plan_and_commit(1000, 180);  // 10 degrees off the X axis
    EXPECT_EQ(r0->acclcount, 0);
    EXPECT_EQ(r0->creep, 1u);
    EXPECT_EQ(r0->slope, 11796);
    EXPECT_EQ(r0->majrvel, 33554432u);     // 64540 * 65 * 8, low word cleared
    EXPECT_EQ(r0->minrvel, 6039552u);      // majrvel * slope / 65536
    EXPECT_EQ(r0->minrdvel, 331762u);
    VdbData* r1 = plan_and_commit(500, 500);
    EXPECT_EQ(r1->majrvel, 24096800u);     // 46340 * 65 * 8
    EXPECT_EQ(r1->minrvel, 24096800u);
    EXPECT_EQ(r1->minrdvel, r1->majrdvel);
    EXPECT_EQ(r0->end_delay, 0);           // no ramp: no delay at the joint
}

TEST_F(VectorPlanner, VectorAfterPenRecordLeavesTheJointAlone)
{
    VdbData* r0 = plan_and_commit(300, 0);
    srvo_on_pu();
    VdbData* pen = &vdb_pool[1];
    ASSERT_EQ(pen->cmd, SHORT_PEN_UP);
    pen->end_delay = 555;
    pen->anglediff = 0x30000;
    vdb_pool[2].relativeAngle = 77;
    VdbData* r2 = plan_and_commit(300, 30);
    ASSERT_EQ(r2, &vdb_pool[2]);
    EXPECT_EQ(r2->relativeAngle, 77);
    EXPECT_EQ(pen->end_delay, 555);
    EXPECT_EQ(r2->smoothLoop1, 0);
    EXPECT_EQ(r2->smoothLoop2, 0);
    EXPECT_EQ(r2->anglediff, 0x30000u);  // taken over from the pen record
    EXPECT_EQ(r0->end_delay, 24);
    EXPECT_EQ(r0->cnrvel, 0);
    EXPECT_EQ(r0->smoothCnt, 0);
}

TEST_F(VectorPlanner, SharpJointsGetEndDelaysAndNoCornerSpeed)
{
    struct Case {
        std::int32_t dx1, dy1, dx2, dy2;
        int rel;
        int delay;
    };
    const Case cases[] = {
        {600, 0, 0, 600, 90, 100},
        {30, 0, 0, 600, 90, 100},      // 120 counts: a quarter millimetre
        {29, 0, 0, 600, 90, 3},
        {1000, 0, 580, 1000, 60, 100},
        {1000, 0, 600, 1000, 59, 3},
        {300, 0, -300, 0, 180, 100},   // reversal
        {-300, 0, 300, 0, 180, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.dx1 << "," << c.dy1 << ") then (" << c.dx2
                                        << "," << c.dy2 << ")");
        reset_machine();
        load_pen_down_planning();
        VdbData* first = plan_and_commit(c.dx1, c.dy1);
        VdbData* second = plan_and_commit(c.dx2, c.dy2);
        EXPECT_EQ(second->relativeAngle, c.rel);
        EXPECT_EQ(first->end_delay, c.delay);
        EXPECT_EQ(first->anglediff, static_cast<std::uint32_t>(c.rel) << 16);
        EXPECT_EQ(first->cnrvel, 0);
        EXPECT_EQ(first->psuedodist, 0u);
        EXPECT_EQ(second->smoothLoop1, 0);
        EXPECT_EQ(second->smoothLoop2, 0);
    }
}

TEST_F(VectorPlanner, TurnsUpToTwentyFiveDegreesGetCornerSpeed)
{
    VdbData* first = plan_and_commit(300, 0);
    VdbData* second = plan_and_commit(360, 169);
    ASSERT_EQ(second->relativeAngle, 25);
    EXPECT_EQ(second->acclcount, 725);
    EXPECT_EQ(first->cnrvel, 103);  // the ramp over 1440 counts, below 106 steps
    EXPECT_EQ(first->psuedodist, 1422u);
    EXPECT_EQ(second->smoothLoop1, 1);

    reset_machine();
    load_pen_down_planning();
    first = plan_and_commit(300, 0);
    second = plan_and_commit(300, 146);
    ASSERT_EQ(second->relativeAngle, 26);
    EXPECT_EQ(first->cnrvel, 0);
    EXPECT_EQ(first->end_delay, 3);
    EXPECT_EQ(second->smoothLoop1, 0);
    EXPECT_EQ(second->smoothLoop2, 0);
}

TEST_F(VectorPlanner, TurnAcrossTheXAxisIsMeasuredTheShortWay)
{
    VdbData* first = plan_and_commit(1000, -180);
    VdbData* second = plan_and_commit(1000, 180);
    EXPECT_EQ(first->angle, 350);
    EXPECT_EQ(second->angle, 10);
    EXPECT_EQ(second->relativeAngle, 20);
    EXPECT_EQ(first->anglediff, 20u << 16);
}

TEST_F(VectorPlanner, ShallowJointBeforeLongVectorTakesLowestCornerSpeed)
{
    VdbData* first = plan_and_commit(300, 0);
    VdbData* second = plan_and_commit(1000, 180);  // 10 degrees, 4000 counts
    EXPECT_EQ(second->relativeAngle, 10);
    EXPECT_EQ(first->end_delay, 3);
    EXPECT_EQ(first->cnrvel, 1);
    EXPECT_EQ(first->psuedodist, 1440u);
    EXPECT_EQ(first->smoothCnt, 0);
    EXPECT_EQ(second->smoothLoop2, 0);

    // A next vector of exactly 3 mm is still short: the ramp decides.
    reset_machine();
    load_pen_down_planning();
    first = plan_and_commit(300, 0);
    second = plan_and_commit(360, 65);
    ASSERT_EQ(second->majrdisth, 1440);
    EXPECT_EQ(second->relativeAngle, 10);
    EXPECT_GT(first->cnrvel, 1);
    EXPECT_EQ(first->smoothCnt, 1);
    EXPECT_EQ(second->smoothLoop2, 1);
}

TEST_F(VectorPlanner, ThreeMillimetreVectorsStillSmoothTheirJoints)
{
    VdbData* first = plan_and_commit(360, 0);  // 1440 counts
    VdbData* second = plan_and_commit(360, 36);
    EXPECT_EQ(second->smoothLoop1, 1);
    EXPECT_EQ(first->anglediff, 327680u);
    VdbData* third = plan_and_commit(361, 0);  // 1444 counts: too long to smooth
    EXPECT_EQ(third->smoothLoop1, 0);
    EXPECT_EQ(third->anglediff, second->anglediff);
}

TEST_F(VectorPlanner, CornerTargetIsFlooredByTheLowestCornerSpeed)
{
    // A top speed of 50 steps alone would cap the corner at 49 steps.
    pbdAxiaVel = 50;
    VdbData* r0 = plan_and_commit(300, 0);
    plan_and_commit(300, 0);
    EXPECT_EQ(r0->cnrvel, 93);
    min_corner_vel = 0;
    VdbData* r2 = plan_and_commit(300, 0);
    plan_and_commit(300, 0);
    EXPECT_EQ(r2->cnrvel, 49);
}

TEST_F(VectorPlanner, RampFromCreepSetsCornerSpeedAndBrakingDistance)
{
    // 100 counts after the joint: 11 steps from creep, 96 counts of ramp.
    VdbData* r0 = plan_and_commit(25, 0);
    plan_and_commit(25, 0);
    EXPECT_EQ(r0->cnrvel, 11);
    EXPECT_EQ(r0->psuedodist, 96u);

    reset_machine();
    load_pen_down_planning();
    dbg_set(DBG_AngleSmooth, true);
    EXPECT_EQ(capture_stdout([&] { plan_and_commit(300, 0); }),
              "T00000 AngleSmooth prev:361 rel:0   chg:0    0=>0\n\r");
    EXPECT_EQ(capture_stdout([&] { plan_and_commit(300, 30); }),
              "T00000 AngleSmooth prev:5   rel:5   chg:1    5=>5\n\r"
              "T00000  00 cnrvel:93  psuedoDist:304091  angleDiff:5\n\r");
}

TEST_F(VectorPlanner, TopSpeedStepsAllowForTheMinorAxis)
{
    // With one acceleration unit per step the minor-axis term is large.
    pbdAccel = 1;
    EXPECT_EQ(plan_and_commit(1000, 180)->acclcount, 538);  // 787 - 249
    // At 45 degrees the difference goes below zero: the full top speed.
    EXPECT_EQ(plan_and_commit(500, 500)->acclcount, 800);
    pbdAccel = 3600;
    EXPECT_EQ(plan_and_commit(500, 500)->acclcount, 564);  // 565 - 1
}

TEST_F(VectorPlanner, RasterOffsetMovesWaitFortyTicks)
{
    pbdVelType = RASTER_OFFSET;
    EXPECT_EQ(plan_and_commit(0, 300)->end_delay, 40);
    pbdVelType = RASTER_MOVE;
    EXPECT_EQ(plan_and_commit(0, 300)->end_delay, 24);
}

TEST_F(VectorPlanner, OneDegreeTurnWithCloseSlopesCountsAsStraight)
{
    // A major distance of 65536 counts makes the slope four times dy.
    VdbData* a = plan_and_commit(16384, 301);  // slope 1204, 1 degree
    VdbData* b = plan_and_commit(16384, 550);  // slope 2200, 2 degrees
    EXPECT_EQ(a->angle, 1);
    EXPECT_EQ(b->angle, 2);
    EXPECT_EQ(b->relativeAngle, 0);
    EXPECT_EQ(a->anglediff, 0u);

    reset_machine();
    load_pen_down_planning();
    a = plan_and_commit(16384, 300);  // slope 1200: the slopes differ by exactly 1000
    b = plan_and_commit(16384, 550);
    EXPECT_EQ(b->relativeAngle, 1);
    EXPECT_EQ(a->anglediff, 65536u);
}

TEST_F(VectorPlanner, LookBackStopsAtRecordWithDoubledAcceleration)
{
    VdbData* r0 = plan_and_commit(300, 0);
    VdbData* r1 = plan_and_commit(300, 0);
    const std::uint16_t r0_cnrvel = r0->cnrvel;
    ASSERT_GT(r0_cnrvel, 0);
    r1->acc_index = 21;
    VdbData* r2 = plan_and_commit(300, 0);
    EXPECT_EQ(r1->cnrvel, 0);
    EXPECT_EQ(r1->smoothCnt, 0);
    EXPECT_EQ(r0->cnrvel, r0_cnrvel);
    EXPECT_EQ(r0->smoothCnt, 1);
    EXPECT_EQ(r2->smoothLoop2, 0);
    EXPECT_EQ(r1->end_delay, 3);  // the joint itself is still planned

    // Not even the lowest corner speed before a long vector.
    r2->acc_index = 21;
    plan_and_commit(1000, 0);
    EXPECT_EQ(r2->cnrvel, 0);
    EXPECT_EQ(r2->psuedodist, 0u);
}

TEST_F(VectorPlanner, LongChainOfShortVectorsLooksBackAtMostThirteen)
{
    pipeflag = 1;
    int max_loop1 = 0;
    int max_loop2 = 0;
    for (int n = 0; n < 60; ++n) {
        VdbData* r = getfreevdb();
        ASSERT_NE(r, nullptr) << "vector " << n;
        std::uint32_t before[VDB_POOL_SIZE];
        std::int32_t raised[VDB_POOL_SIZE];
        for (int i = 0; i < VDB_POOL_SIZE; ++i) {
            before[i] = vdb_pool[i].anglediff;
            raised[i] = vdb_pool[i].smoothCnt;
        }
        _delta_move(200, 0, r);
        EXPECT_LE(r->smoothLoop1, 13);
        EXPECT_LE(r->smoothLoop2, 13);
        max_loop1 = std::max(max_loop1, r->smoothLoop1);
        max_loop2 = std::max(max_loop2, r->smoothLoop2);
        // Records 14 or more back are never touched.
        const VdbData* far = r;
        for (int back = 1; back < VDB_POOL_SIZE; ++back) {
            far = far->prev;
            if (back > 13) {
                EXPECT_EQ(far->anglediff, before[far->vdb_index]) << "vector " << n;
                EXPECT_EQ(far->smoothCnt, raised[far->vdb_index]) << "vector " << n;
            }
        }
        sendvdb(r);
    }
    EXPECT_EQ(max_loop1, 13);
    EXPECT_GT(max_loop2, 0);
    EXPECT_GT(run_ticks_until_idle(), 0);
    EXPECT_EQ(SVO_VectPtr, nullptr);
    for (const VdbData& rec : vdb_pool) {
        EXPECT_EQ(rec.cmd, NULL_CMD);
    }
}

TEST_F(VectorPlanner, ZeroAccelerationIsPlannedWithTheSmallestStep)
{
    pbdAccel = 0;
    VdbData* r = plan_and_commit(1000, 180);
    EXPECT_EQ(r->majrdvel, 0u);
    EXPECT_EQ(r->minrdvel, 0u);
    EXPECT_EQ(r->acclcount, 800);
    VdbData* next = plan_and_commit(300, 30);
    EXPECT_EQ(next->cmd, VECTOR);
}

TEST_F(VectorPlanner, MajorDistanceOverflowIsReportedAndWraps)
{
    VdbData* r = nullptr;
    const std::string out = capture_stdout([&] { r = plan_and_commit(0x20000000, 0); });
    EXPECT_EQ(out,
              "vect->majrdisth < 0\n"
              "xdelta(536870912)ydelta(0)\n"
              "VARRESO_PbdToSvoX(4)VARRESO_PbdToSvoY(4)\n");
    EXPECT_EQ(r->majrdisth, INT32_MIN);
    EXPECT_EQ(r->slope, 0);
    EXPECT_EQ(r->angle, 0);
    EXPECT_EQ(r->cmd, VECTOR);

    const std::string left = capture_stdout([&] { r = plan_and_commit(-0x30000000, 5); });
    EXPECT_EQ(left,
              "vect->majrdisth < 0\n"
              "xdelta(805306368)ydelta(5)\n"
              "VARRESO_PbdToSvoX(4)VARRESO_PbdToSvoY(4)\n");
    EXPECT_EQ(r->majrdisth, static_cast<std::int32_t>(0xC0000000u));
    EXPECT_EQ(r->octant, 2);
    EXPECT_EQ(r->angle, 180);
}

TEST_F(VectorPlanner, WrappedMajorBelowMinorIsPlannedAsDiagonal)
{
    // |dx| * 4 wraps to 64 counts while |dy| * 4 stays near 2^32.
    VdbData* r = plan_and_commit(0x40000010, 0x3FFFFFFF);
    EXPECT_EQ(r->majrdisth, 64);
    EXPECT_EQ(r->slope, 0xFFFF);
    EXPECT_EQ(r->angle, 45);
    EXPECT_EQ(r->minrdvel, r->majrdvel);

    // A major distance that wraps to exactly 0.
    r = plan_and_commit(INT32_MIN, INT32_MIN + 1);
    EXPECT_EQ(r->majrdisth, 0);
    EXPECT_EQ(r->slope, 0xFFFF);
    EXPECT_EQ(r->octant, 6);
    EXPECT_EQ(r->angle, 225);
}

TEST(Muldiv, SignFollowsTheOddNumberOfNegatives)
{
    EXPECT_EQ(muldiv(10, 20, 3), 66);
    EXPECT_EQ(muldiv(-10, 20, 3), -66);
    EXPECT_EQ(muldiv(10, -20, 3), -66);
    EXPECT_EQ(muldiv(10, 20, -3), -66);
    EXPECT_EQ(muldiv(-10, -20, 3), 66);
    EXPECT_EQ(muldiv(-10, 20, -3), 66);
    EXPECT_EQ(muldiv(-10, -20, -3), -66);
    EXPECT_EQ(muldiv(-7, 1, 2), -3);  // truncated toward zero
    EXPECT_EQ(muldiv(INT32_MIN, 3, 6), -1073741824);
}

TEST(Muldiv, ProductIsFormedInSixtyFourBits)
{
    EXPECT_EQ(muldiv(100000, 100000, 100000), 100000);
    EXPECT_EQ(muldiv(0x40000, 0x40000, 40), 1717986918);
    EXPECT_EQ(muldiv(INT32_MAX, INT32_MAX, INT32_MAX), INT32_MAX);
}

TEST(Muldiv, TooLargeQuotientGivesZero)
{
    // (x / 65536) * (y / 65536) = 16 is not below 16.
    EXPECT_EQ(muldiv(0x40000, 0x40000, 16), 0);
    EXPECT_EQ(muldiv(-0x40000, 0x40000, -16), 0);
    EXPECT_EQ(muldiv(5, 5, 0), 0);
}
