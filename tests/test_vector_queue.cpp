// The vector queue: ring links, hand-out and commit, simple records, and
// the producer's wait for a free record.
#include "machine_fixture.h"

#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_queue.h"
#include "job/job_clock.h"

class VectorQueue : public MachineTest {};

TEST_F(VectorQueue, BothRingsAreLinkedAndNumbered)
{
    for (int i = 0; i < VDB_POOL_SIZE; ++i) {
        EXPECT_EQ(vdb_pool[i].next, &vdb_pool[(i + 1) % VDB_POOL_SIZE]);
        EXPECT_EQ(vdb_pool[i].prev, &vdb_pool[(i + VDB_POOL_SIZE - 1) % VDB_POOL_SIZE]);
        EXPECT_EQ(vdb_pool[i].vdb_index, i);
        EXPECT_EQ(vdb_pool[i].cmd, NULL_CMD);
        EXPECT_EQ(vdb_offline_pool[i].next, &vdb_offline_pool[(i + 1) % VDB_POOL_SIZE]);
        EXPECT_EQ(vdb_offline_pool[i].vdb_index, 20 + i);
    }
    EXPECT_EQ(offline_freeptr, &vdb_offline_pool[0]);
}

TEST_F(VectorQueue, HandsOutRecordsInRingOrder)
{
    svo_tick_count = 42;
    VdbData* first = getfreevdb();
    EXPECT_EQ(first, &vdb_pool[0]);
    EXPECT_EQ(first->alloc_tick, 42u);
    EXPECT_EQ(first->sent_cmd, 0);
    EXPECT_EQ(freeptr, &vdb_pool[1]);
    EXPECT_EQ(m_npbdrvCnt, 0);
}

TEST_F(VectorQueue, CommitStartsAnIdleQueueOnlyWhileOnLine)
{
    VdbData* rec = getfreevdb();
    rec->cmd = SHORT_PEN_DOWN;
    sendvdb(rec);
    EXPECT_EQ(rec->sent_cmd, SHORT_PEN_DOWN);
    EXPECT_EQ(SVO_VectPtr, nullptr);  // servo off line: queued only

    pipeflag = 1;
    VdbData* next = getfreevdb();
    next->cmd = SHORT_PEN_UP;
    sendvdb(next);
    EXPECT_EQ(SVO_VectPtr, next);

    // A commit while the interrupt is busy leaves the current record alone.
    VdbData* third = getfreevdb();
    third->cmd = SHORT_PEN_UP;
    sendvdb(third);
    EXPECT_EQ(SVO_VectPtr, next);
}

TEST_F(VectorQueue, SimpleRecordsSetTheMoveKindOfTheMovesThatFollow)
{
    srvo_on_pd();
    EXPECT_EQ(pbdVelType, PEN_DOWN);
    EXPECT_EQ(vdb_pool[0].cmd, SHORT_PEN_DOWN);
    srvo_on_raster_move(RASTER_MOVE);
    EXPECT_EQ(pbdVelType, RASTER_MOVE);
    EXPECT_EQ(vdb_pool[1].cmd, SHORT_PEN_UP);
    // No de-duplication at this level: two pen-ups are two records.
    srvo_on_pu();
    srvo_on_pu();
    EXPECT_EQ(vdb_pool[2].cmd, SHORT_PEN_UP);
    EXPECT_EQ(vdb_pool[3].cmd, SHORT_PEN_UP);
    EXPECT_EQ(pbdVelType, PEN_UP);
}

TEST_F(VectorQueue, FullRingWaitsUntilTheInterruptFreesTheRecord)
{
    pipeflag = 1;
    for (int i = 0; i < VDB_POOL_SIZE; ++i) {
        srvo_on_pd();
    }
    EXPECT_EQ(SVO_VectPtr, &vdb_pool[0]);
    EXPECT_EQ(freeptr, &vdb_pool[0]);
    const std::int32_t before = svo_tick_count;

    VdbData* rec = getfreevdb();
    // One hold tick released record 0; the wait ends right there.
    EXPECT_EQ(rec, &vdb_pool[0]);
    EXPECT_EQ(svo_tick_count - before, 1);
    EXPECT_EQ(m_npbdrvCnt, 1);
    EXPECT_EQ(SVO_VectPtr, &vdb_pool[1]);
    EXPECT_EQ(rec->alloc_tick, static_cast<std::uint32_t>(svo_tick_count));

    // The next request starts its count afresh.
    getfreevdb();
    EXPECT_EQ(m_npbdrvCnt, 1);
}

TEST_F(VectorQueue, AWaitThatCanNeverEndEndsTheJobInsteadOfHanging)
{
    // Records committed while off line never start: the ring fills up and
    // nothing can free it.
    for (int i = 0; i < VDB_POOL_SIZE; ++i) {
        srvo_on_pd();
    }
    ::testing::internal::CaptureStderr();
    VdbData* rec = getfreevdb();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(rec, nullptr);
    EXPECT_EQ(job_abort, 1);
    EXPECT_NE(err.find("internal error"), std::string::npos);

    // Later requests give up at once; the simple records queue nothing.
    srvo_on_pu();
    EXPECT_EQ(vdb_pool[0].cmd, SHORT_PEN_DOWN);
}

TEST_F(VectorQueue, ShortNamesOfTheCommandKinds)
{
    EXPECT_STREQ(vdb_cmd_name(NULL_CMD), "Free");
    EXPECT_STREQ(vdb_cmd_name(VECTOR), "Vector");
    EXPECT_STREQ(vdb_cmd_name(TPH_UP_VECTOR), "Null-10");
    EXPECT_STREQ(vdb_cmd_name(PLAN_MOVE), "PlanMove");
    EXPECT_STREQ(vdb_cmd_name(31), "?");
}
