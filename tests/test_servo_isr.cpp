// The servo interrupt: position loop outputs, hold / delay handling, octant
// routines, and the corner continuation from one record into the next.
#include "machine_fixture.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_exec.h"
#include "fwShare/servo/vector_queue.h"
#include "job/job_clock.h"
#include "replay/tick_runner.h"


class ServoIsr : public MachineTest {};

TEST(OutputWords, MagnitudeIsLimitedAndDirectionSitsInBit15)
{
    EXPECT_EQ(svo_encode_out_x(0), 0x0000);
    EXPECT_EQ(svo_encode_out_x(1023), 0x83FF);
    EXPECT_EQ(svo_encode_out_x(1024), 0x8400);
    EXPECT_EQ(svo_encode_out_x(50000), 0x8400);
    EXPECT_EQ(svo_encode_out_x(-1023), 0x03FF);
    EXPECT_EQ(svo_encode_out_x(-1024), 0x0400);
    EXPECT_EQ(svo_encode_out_y(0), 0x8000);
    EXPECT_EQ(svo_encode_out_y(1023), 0x03FF);
    EXPECT_EQ(svo_encode_out_y(1024), 0x0400);
    EXPECT_EQ(svo_encode_out_y(-1023), 0x83FF);
    EXPECT_EQ(svo_encode_out_y(-1024), 0x8400);
    EXPECT_EQ(svo_encode_out_y(INT32_MIN), 0x8400);
}

TEST_F(ServoIsr, GainFallsWithTheXPositionButNotBelow30)
{
    svo_gain_base_x = 100;
    svo_gain_base_y = 100;
    svo_pos_x = 8192 * 80;
    svo_feedback_loop();
    EXPECT_EQ(svo_gain_x, 30);
    EXPECT_EQ(svo_gain_y, 30);
    svo_pos_x = 8192 * 10;
    svo_pos_y = 8192 * 1000;  // the Y position plays no part
    svo_feedback_loop();
    EXPECT_EQ(svo_gain_x, 90);
    EXPECT_EQ(svo_gain_y, 90);
}

TEST_F(ServoIsr, LoopCancelsTheErrorOfEachStepAndChangesNoMotion)
{
    commit_straight_vector(4000, 200, 0);
    const std::int16_t state = svo_state;
    svo_feedback_loop();
    EXPECT_EQ(svo_state, state);
    // Each tick the loop takes out what the encoder saw of the last step;
    // what is left is this tick's own step, give or take the encoder's
    // quarter-count resolution.
    for (int i = 0; i < 300; ++i) {
        svo_isr();
        EXPECT_LE(std::abs(svo_err_x - svo_step_x), 4) << "tick " << i;
    }
}

TEST_F(ServoIsr, EachOctantMovesTheAxesInTheDirectionOfItsBits)
{
    struct Expect {
        int dx;
        int dy;
    };
    // Major step 3, minor step 1.
    const Expect expected[8] = {{3, 1},  {1, 3},  {-3, 1},  {-1, 3},
                                {3, -1}, {1, -3}, {-3, -1}, {-1, -3}};
    for (int k = 0; k < 8; ++k) {
        const std::int32_t x0 = svo_pos_x;
        const std::int32_t y0 = svo_pos_y;
        const std::int16_t ex0 = svo_err_x;
        svo_octant_move(static_cast<std::uint8_t>(k), 3, 1);
        EXPECT_EQ(svo_pos_x - x0, expected[k].dx) << "octant " << k;
        EXPECT_EQ(svo_pos_y - y0, expected[k].dy) << "octant " << k;
        EXPECT_EQ(svo_err_x - ex0, expected[k].dx) << "octant " << k;
        EXPECT_EQ(svo_step_x, expected[k].dx);
        EXPECT_EQ(svo_step_y, expected[k].dy);
    }
}

TEST_F(ServoIsr, EndDelayKeepsTheMachineInDelayOneTickLonger)
{
    commit_straight_vector(400, 200, 3);
    int delay_ticks = 0;
    int delay_phase_ticks = 0;
    while (SVO_VectPtr != nullptr) {
        const bool in_delay = svo_state == ISRDELAY;
        phase = IDLE;  // to see which ticks set the phase
        svo_isr();
        if (in_delay) {
            ++delay_ticks;
            delay_phase_ticks += phase == DELAY ? 1 : 0;
        }
    }
    EXPECT_EQ(delay_ticks, 4);
    EXPECT_EQ(delay_phase_ticks, 3);
    EXPECT_EQ(svo_state, ISRHOLD);
}

TEST_F(ServoIsr, PenRecordsBetweenVectorsCostOneHoldTickEach)
{
    commit_straight_vector(400, 200, 0);
    const int alone = run_ticks_until_idle();

    reset_machine();
    commit_straight_vector(400, 200, 0);
    srvo_on_pu();
    srvo_on_pd();
    const int with_pens = run_ticks_until_idle();
    EXPECT_EQ(with_pens, alone + 2);
}

TEST_F(ServoIsr, HoldReleasesRecordsOfKindsThatAreNeverQueued)
{
    pipeflag = 1;
    VdbData* r = getfreevdb();
    r->cmd = LONG_PEN_UP;
    sendvdb(r);
    svo_isr();
    EXPECT_EQ(r->cmd, NULL_CMD);
    EXPECT_EQ(svo_state, ISRHOLD);
    EXPECT_EQ(SVO_VectPtr, r->next);
    EXPECT_EQ(phase, HOLD);
}

TEST_F(ServoIsr, StandstillGainsAfter250HoldTicksAndFullGainsAtTheNextVector)
{
    pipeflag = 1;
    for (int i = 0; i < 250; ++i) {
        srvo_on_pu();
    }
    run_ticks_until_idle();
    EXPECT_EQ(hold_gain_count, 0);
    EXPECT_EQ(svo_gain_base_x, svo_gains.XGain >> 2);
    EXPECT_EQ(svo_gain_base_y, svo_gains.YGain >> 2);

    commit_straight_vector(400, 200, 0);
    svo_isr();
    EXPECT_EQ(svo_gain_base_x, svo_gains.XGain);
    EXPECT_EQ(hold_gain_count, 249);
}

TEST_F(ServoIsr, VectorBelowCreepMinimumEndsInItsFirstCreepTick)
{
    VdbData* r = commit_straight_vector(400, 200, 0);
    svo_isr();  // hold tick, first step
    // Jump to creeping with less left than the creep minimum.
    svo_state = ISRCREEP;
    creep_min = 4;
    r->majrdisth = 3;
    r->minrdisth = -1;
    const std::int32_t x0 = svo_pos_x;
    svo_isr();
    EXPECT_EQ(phase, CREEP);
    EXPECT_EQ(r->cmd, NULL_CMD);
    EXPECT_EQ(r->majrdisth, 0);
    EXPECT_EQ(svo_pos_x - x0, 3);
    EXPECT_EQ(svo_step_y, -1);
    EXPECT_EQ(svo_state, ISRHOLD);
}

TEST_F(ServoIsr, SlewPastTheEndReportsAndDecelerates)
{
    VdbData* r = commit_straight_vector(400, 200, 0);
    svo_isr();
    svo_state = ISRSLEW;
    r->majrdisth = 1;
    r->majrvel = 5u << 23;
    r->currvel = 50;
    const std::string out = capture_stdout([&] { svo_isr(); });
    EXPECT_NE(out.find("disth < 0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("SVO_GetMajrDistH(1) SVO_Vect().psuedodist(0)\n"), std::string::npos);
    EXPECT_NE(out.find("disth(-4)= (SVO_Vect().majrvel(41943040), FPF_Vel_ShiftI(23)\n"),
              std::string::npos);
    EXPECT_NE(out.find("disth(-4), dccDist("), std::string::npos);
    EXPECT_EQ(phase, DCC);
    EXPECT_EQ(r->currvel, 49);
}

TEST_F(ServoIsr, MinorStepNeverOvershootsByMoreThanOneCount)
{
    VdbData* r = commit_straight_vector(4000, 200, 0);
    r->minrdisth = 10;
    r->minrvel = 3u << 23;  // far faster than the minor distance allows
    r->minrdvel = 0;
    for (int i = 0; i < 40; ++i) {
        svo_isr();
        EXPECT_GE(r->minrdisth, -1) << "tick " << i;
    }
}

// Corner continuation: the record ends in a corner with a corner speed, and
// the next record takes over within the same tick.
class CornerContinuation : public MachineTest {
protected:
    VdbData* rec = nullptr;
    VdbData* nxt = nullptr;

    void SetUp() override
    {
        MachineTest::SetUp();
        pipeflag = 1;
        rec = getfreevdb();
        plan_straight_vector(rec, 0, 200);
        rec->cnrvel = 5;
        rec->cmd = VECTOR;
        sendvdb(rec);
        nxt = getfreevdb();
        plan_straight_vector(nxt, 1000, 200);
        nxt->cmd = VECTOR;
        sendvdb(nxt);
        svo_state = ISRACC;
        job_timing_state = 2;
    }
};

TEST_F(CornerContinuation, EndingOnTheCornerAtRestGoesToHold)
{
    rec->currvel = 0;
    rec->minrdisth = 2;
    const std::int32_t y0 = svo_pos_y;
    svo_tick_count = 77;
    svo_emit_step(4, 1);
    EXPECT_EQ(rec->cmd, NULL_CMD);
    EXPECT_EQ(SVO_VectPtr, nxt);
    EXPECT_EQ(svo_state, ISRHOLD);
    EXPECT_EQ(job_end_tick, 77);
    EXPECT_EQ(svo_pos_y - y0, 3);  // the minor remainder goes with the last step
}

TEST_F(CornerContinuation, EndingOnTheCornerAtSpeedHandsTheSpeedOn)
{
    rec->currvel = 30;
    rec->majrvel = 40u << 23;
    rec->ddr = 0x12345678;
    rec->high_ddr = 2;
    nxt->minrdvel = 7;
    nxt->minrvel = 100;
    svo_emit_step(4, 0);
    EXPECT_EQ(svo_state, ISRACC);
    EXPECT_EQ(nxt->currvel, 30);
    EXPECT_EQ(nxt->majrvel, 40u << 23);
    EXPECT_EQ(nxt->ddr, 0x12345678u);
    EXPECT_EQ(nxt->high_ddr, 2u);
    EXPECT_EQ(nxt->minrvel, 100u + 4u * 30u);  // the low two bits of minrdvel are masked
}

TEST_F(CornerContinuation, OverrunUndoesADoubledAccelerationBeforeHandingOn)
{
    rec->majrdisth = -3;
    rec->acc_index = 21;
    rec->currvel = 10;
    rec->acclcount = 50;
    rec->majrdvel = 2 * 720u * 512u;
    rec->ddr = 0x80000000u;
    rec->high_ddr = 1;
    svo_emit_step(5, 0);
    EXPECT_EQ(rec->acc_index, 0);
    EXPECT_EQ(rec->majrdvel, 720u * 512u);
    EXPECT_EQ(rec->acclcount, 100);
    EXPECT_EQ(nxt->currvel, 20);
    EXPECT_EQ(nxt->ddr, 0u);
    EXPECT_EQ(nxt->high_ddr, 3u);
    EXPECT_EQ(svo_state, ISRACC);
}

TEST_F(CornerContinuation, OverrunWithEqualOctantsCarriesTheDistanceOn)
{
    rec->majrdisth = -3;
    rec->minrdisth = 1;
    rec->currvel = 2;
    nxt->slope = 32768;  // minor = half the major
    nxt->minrdisth = 500;
    nxt->majrdvel = 0x103;
    nxt->minrdvel = 0x81;
    const std::uint32_t majrvel0 = nxt->majrvel;
    const std::int32_t y0 = svo_pos_y;
    svo_emit_step(5, 1);
    EXPECT_EQ(nxt->majrdisth, 997);
    EXPECT_EQ(nxt->minrdisth, 498);  // t = (32768 x -3) >> 16 = -2
    EXPECT_EQ(nxt->majrvel, majrvel0 + 0x100u * 2u);
    // Emitted through the next record's octant: minor n + minrdisth - t.
    EXPECT_EQ(svo_pos_y - y0, 1 + 1 + 2);
}

TEST_F(CornerContinuation, OverrunIntoASwappedOctantTurnsTheStepAround)
{
    rec->majrdisth = -3;
    rec->minrdisth = 2;
    rec->currvel = 1;
    nxt->octant = 1;  // Y major next
    nxt->minrdvel = 0x81;
    const std::uint32_t minrvel0 = nxt->minrvel;
    const std::int32_t x0 = svo_pos_x;
    const std::int32_t y0 = svo_pos_y;
    svo_emit_step(5, 1);
    EXPECT_EQ(nxt->majrdisth, 1000);  // minor distance left: nothing carried
    EXPECT_EQ(nxt->minrvel, minrvel0 + 0x81u);  // not masked here
    // Octant 1 routine with (n + minrdisth, m + majrdisth) = (3, 2): X +2, Y +3.
    EXPECT_EQ(svo_pos_x - x0, 2);
    EXPECT_EQ(svo_pos_y - y0, 3);
}

TEST_F(CornerContinuation, OverrunIntoAnEvenOctantDifferenceNegatesTheMinorStep)
{
    rec->majrdisth = -2;
    rec->minrdisth = 1;
    rec->currvel = 0;
    nxt->octant = 4;  // X major, Y negative
    nxt->slope = 0;
    const std::int32_t y0 = svo_pos_y;
    svo_emit_step(5, 2);
    EXPECT_EQ(nxt->majrdisth, 998);
    // (m, -(n + minrdisth + t)) through octant 4 (Y negated): Y +3.
    EXPECT_EQ(svo_pos_y - y0, 3);
}

// A run of ticks as the waits run it must leave every value exactly as the
// same ticks one by one do.
namespace {

// The interrupt's, the ticks' and the queue's state at one moment.
struct ServoSnapshot {
    ServoIsrState isr;
    TickClockState ticks;
    VectorQueueState queue;
};

// The state of machine m.
ServoSnapshot snapshot(const Machine& m)
{
    return {m, m, m};
}

// Puts m back to the state s.
void restore(Machine& m, const ServoSnapshot& s)
{
    static_cast<ServoIsrState&>(m) = s.isr;
    static_cast<TickClockState&>(m) = s.ticks;
    static_cast<VectorQueueState&>(m) = s.queue;
}

// Every value of the interrupt and the job clock, and every record; without
// the position loop's own values (errors, encoders, integrators, gains,
// output words) when the loop was left out.
void expect_same(const ServoSnapshot& a, const ServoSnapshot& b, bool loop_values = true)
{
    const ServoIsrState& x = a.isr;
    const ServoIsrState& y = b.isr;
    EXPECT_EQ(std::memcmp(a.queue.vdb_pool, b.queue.vdb_pool, sizeof a.queue.vdb_pool), 0);
    EXPECT_EQ(a.queue.SVO_VectPtr, b.queue.SVO_VectPtr);
    EXPECT_EQ(std::memcmp(&x.svo_gains, &y.svo_gains, sizeof x.svo_gains), 0);
    const auto values = [](const ServoIsrState& v) {
        return std::array<std::int64_t, 26>{
            v.svo_state,       v.phase,           v.svo_pos_x,       v.svo_pos_y,
            v.svo_err_x,       v.svo_err_y,       v.svo_err_frac_x,  v.svo_err_frac_y,
            v.svo_step_x,      v.svo_step_y,      v.enc_x,           v.enc_y,
            v.enc_last_x,      v.enc_last_y,      v.svo_integ_x,     v.svo_integ_y,
            v.svo_prev_term_x, v.svo_prev_term_y, v.svo_gain_base_x, v.svo_gain_base_y,
            v.svo_gain_x,      v.svo_gain_y,      v.svo_out_x,       v.svo_out_y,
            v.delay_count,     v.hold_gain_count};
    };
    const auto xs = values(x);
    const auto ys = values(y);
    const auto loop_value = [](std::size_t i) {
        return (i >= 4 && i <= 7) || (i >= 10 && i <= 17) || (i >= 20 && i <= 23);
    };
    for (std::size_t i = 0; i < std::size(xs); ++i) {
        if (loop_values || !loop_value(i)) {
            EXPECT_EQ(xs[i], ys[i]) << "value " << i;
        }
    }
    EXPECT_EQ(a.ticks.svo_tick_count, b.ticks.svo_tick_count);
    EXPECT_EQ(std::memcmp(a.ticks.phase_tick_count, b.ticks.phase_tick_count,
                          sizeof a.ticks.phase_tick_count),
              0);
    EXPECT_EQ(a.ticks.job_start_tick, b.ticks.job_start_tick);
    EXPECT_EQ(a.ticks.job_end_tick, b.ticks.job_end_tick);
}

// Queues a pen-down, a chain of short vectors turning through every
// octant, long moves with sharp corners and a pen-up, without starting
// the interrupt.
void queue_mixed_moves(JobMachine& m)
{
    capture_stdout([&] { m.srvo_off_to_on(); });
    m.pipeflag = 0;
    VdbData* first = m.freeptr;
    m.srvo_on_pd();
    const std::int32_t moves[][2] = {{300, 20},   {250, 160}, {60, 300},  {-90, 280},
                                     {-300, 40},  {-280, -120}, {-40, -300}, {200, -260},
                                     {12000, 0},  {0, -9000}, {-7000, 7000}, {5, 3}};
    for (const auto& move : moves) {
        m.srvo_on_ve(move[0], move[1]);
    }
    m.srvo_on_pu();
    m.srvo_on_ve(-3000, 1500);
    m.pipeflag = 1;
    m.SVO_SetVectPtr(first);
}

} // namespace

TEST_F(ServoIsr, RunOfTicksLeavesEveryValueAsSingleTicks)
{
    queue_mixed_moves(*this);
    // Loop gains as vector cutting loads them, so that the integrators and
    // the feed-forward work.
    svo_gains.ff_gain_x = 20;
    svo_gains.ff_gain_y = 5;
    svo_gains.XIGain = 2;
    svo_gains.YIGain = 3;
    const ServoSnapshot start = snapshot(*this);
    run_ticks_until_idle();
    const ServoSnapshot one_by_one = snapshot(*this);

    restore(*this, start);
    replay_start_job(ReplayMode::full);
    svo_wait_idle();
    expect_same(snapshot(*this), one_by_one);
    EXPECT_GT(svo_tick_count - start.ticks.svo_tick_count, 1000);

    // Without the loop and with runs of alike ticks in one step.
    restore(*this, start);
    replay_start_job(ReplayMode::fast);
    svo_wait_idle();
    expect_same(snapshot(*this), one_by_one, false);
}

// A minor axis that reaches its distance while the major axis still slews
// or creeps is held at its limit on every later tick; the default run must
// clamp it on exactly the same ticks.
TEST_F(ServoIsr, DefaultRunClampsTheMinorAxisAsTheTicksDo)
{
    for (const std::int32_t minor_left : {0, 40, 300, -5}) {
        reset_machine();
        capture_stdout([&] { srvo_off_to_on(); });
        pipeflag = 0;
        VdbData* rec = commit_straight_vector(20000, 40);
        rec->minrvel = 3u << 21;  // 0.75 counts per tick from the start
        rec->minrdisth = minor_left;
        pipeflag = 1;
        SVO_SetVectPtr(rec);
        const ServoSnapshot start = snapshot(*this);
        replay_start_job(ReplayMode::full);
        svo_wait_idle();
        const ServoSnapshot full = snapshot(*this);
        restore(*this, start);
        replay_start_job(ReplayMode::fast);
        svo_wait_idle();
        expect_same(snapshot(*this), full, false);
    }
}

// The full replay runs plain slew ticks with the record in registers; a
// tick that warns of a long vector, or slews with too many records waiting
// (which prints every tick and never brakes), must still run and print
// exactly as the handler runs it.
TEST_F(ServoIsr, FullReplaySlewsAndPrintsAsTheHandlerDoes)
{
    for (const bool crowded : {false, true}) {
        reset_machine();
        capture_stdout([&] { srvo_off_to_on(); });
        pipeflag = 0;
        VdbData* rec =
            commit_straight_vector(crowded ? 9000 : 0x1000000 + 1000000, crowded ? 100 : 4000, 0);
        rec->minrvel = 1u << 22;  // half a count per tick, held at its limit halfway
        rec->minrdisth = 20000;
        pipeflag = 1;
        SVO_SetVectPtr(rec);
        m_npbdrvCnt = crowded ? 101 : 0;
        if (!crowded) {
            // Already at speed, so that the first tick is a slew tick that warns.
            rec->majrvel = 40u << 23;
            rec->currvel = rec->acclcount;
            svo_set_state(ISRSLEW);
        }
        const int budget = crowded ? 2000 : 1 << 24;
        const ServoSnapshot start = snapshot(*this);
        int ticks = 0;
        const std::string single = capture_stdout([&] { ticks = run_ticks_until_idle(budget); });
        const ServoSnapshot one_by_one = snapshot(*this);
        EXPECT_NE(single, "");
        EXPECT_LT(ticks, 1 << 24);
        restore(*this, start);
        svo_exec_reset();  // the warning comes again for the same record
        replay_start_job(ReplayMode::full);
        std::uint64_t ran = 0;
        EXPECT_EQ(capture_stdout(
                      [&] { replay_run_ticks(nullptr, static_cast<std::uint64_t>(ticks), &ran); }),
                  single);
        EXPECT_EQ(ran, static_cast<std::uint64_t>(ticks));
        expect_same(snapshot(*this), one_by_one);
    }
}
