// Execution of single vector records through the real queue and the hold
// handler, tick by tick.
#include "machine_fixture.h"

#include "fwShare/servo/vector_exec.h"
#include "fwShare/servo/vector_queue.h"
#include "job/job_clock.h"

namespace {

struct PhaseSplit {
    int ticks = 0;
    int by_phase[7] = {};
    int doubled_in_step = -1;  // acceleration step (hold tick included) that doubled
};

// Ticks from the hold tick to the tick that returns to ISRHOLD, each
// counted under the phase it sets.
PhaseSplit run_vector(Machine& m, VdbData* r)
{
    PhaseSplit split;
    int acc_steps = 0;
    do {
        const std::int32_t before = r->acc_index;
        m.svo_isr();
        ++split.ticks;
        ++split.by_phase[m.phase];
        if (m.phase == HOLD || m.phase == ACC) {
            ++acc_steps;
        }
        if (before != 21 && r->acc_index == 21) {
            split.doubled_in_step = acc_steps;
        }
    } while (m.svo_state != ISRHOLD && split.ticks < 100000);
    return split;
}

} // namespace

class VectorExecution : public MachineTest {};

TEST_F(VectorExecution, LongStraightVectorRunsItsExactTickCount)
{
    const std::int32_t x0 = svo_pos_x;
    VdbData* r = commit_straight_vector(12192, 200);
    PhaseSplit s = run_vector(*this, r);
    EXPECT_EQ(s.ticks, 1400);
    EXPECT_EQ(s.by_phase[HOLD], 1);
    EXPECT_EQ(s.by_phase[ACC], 109);
    EXPECT_EQ(s.by_phase[SLEW], 1128);
    EXPECT_EQ(s.by_phase[DCC], 100);
    EXPECT_EQ(s.by_phase[CREEP], 62);
    EXPECT_EQ(s.doubled_in_step, 21);
    EXPECT_EQ(svo_pos_x - x0, 12192);
    EXPECT_EQ(r->cmd, NULL_CMD);
}

TEST_F(VectorExecution, ShortVectorNeverReachesFullSpeed)
{
    const std::int32_t x0 = svo_pos_x;
    VdbData* r = commit_straight_vector(400, 200);
    PhaseSplit s = run_vector(*this, r);
    EXPECT_EQ(s.ticks, 174);
    EXPECT_EQ(s.by_phase[HOLD], 1);
    EXPECT_EQ(s.by_phase[ACC], 59);
    EXPECT_EQ(s.by_phase[SLEW], 1);
    EXPECT_EQ(s.by_phase[DCC], 50);
    EXPECT_EQ(s.by_phase[CREEP], 63);
    EXPECT_EQ(svo_pos_x - x0, 400);
}
