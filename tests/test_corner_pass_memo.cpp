// The memo of corner passes against the planner's own pass: curves drawn
// again and again, between long moves and sharp turns, with the interrupt
// executing records as they are planned, must leave every record of the
// ring as the pass walked step by step leaves it, plan after plan.
#include "machine_fixture.h"

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fwShare/servo/move_profile.h"
#include "fwShare/servo/planner_dump.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_planner.h"
#include "fwShare/servo/vector_queue.h"
#include "replay/corner_pass_memo.h"
#include "replay/corner_ramp.h"
#include "replay/tick_runner.h"

namespace {

using Move = std::pair<std::int32_t, std::int32_t>;

// The chords of an elliptic arc of radii rx, ry, from angle a0 over sweep
// radians in n chords (plot-bed units): chords of one length in X that
// differ in Y, so in top speed.
void arc(std::vector<Move>& moves, double rx, double ry, double a0, double sweep, int n)
{
    double x = rx * std::cos(a0);
    double y = ry * std::sin(a0);
    for (int i = 1; i <= n; ++i) {
        const double a = a0 + sweep * i / n;
        const double nx = rx * std::cos(a);
        const double ny = ry * std::sin(a);
        const auto dx = static_cast<std::int32_t>(std::lround(nx) - std::lround(x));
        const auto dy = static_cast<std::int32_t>(std::lround(ny) - std::lround(y));
        if (dx != 0 || dy != 0) {
            moves.emplace_back(dx, dy);
        }
        x = nx;
        y = ny;
    }
}

// A field a pass reads, changed in one record after it is planned, so that
// passes come up that differ in that field alone.
enum class Change : std::uint8_t {
    doubled_acceleration,
    lower_top_speed,
    higher_corner_speed,
    sharper_turn_before,
};
constexpr unsigned change_kinds = 4;

// One drawing of a shape: its chords, the lowest corner speed and the
// acceleration set for it (settings a pass reads), and the chord changed
// after it is planned (-1: none), and how.
struct Drawing {
    const std::vector<Move>* chords;
    std::uint32_t min_corner_vel;
    std::int32_t accel;
    int changed;
    Change change;
};

// A few shapes, each drawn several times, with long moves and sharp turns
// between them: the same passes come back, and some differ only in a
// setting, a record far back or one field of one record.
std::vector<Drawing> drawings(std::mt19937& rng, std::vector<std::vector<Move>>& shape)
{
    shape.assign(4, {});
    for (std::size_t i = 0; i < shape.size(); i += 2) {
        std::vector<Move>& s = shape[i];
        std::uniform_real_distribution<double> radius(40, 900);
        const int n = std::uniform_int_distribution<int>(8, 90)(rng);
        const double a0 = std::uniform_real_distribution<double>(0, 6.3)(rng);
        const double sweep = std::uniform_real_distribution<double>(1, 6.3)(rng);
        arc(s, radius(rng), radius(rng), a0, rng() % 2 != 0 ? sweep : -sweep, n);
        s.emplace_back(rng() % 2 != 0 ? 3000 : -40, 35);  // longer than 3 mm, or a sharp turn
        // The same shape at twice the size: the same turns, other lengths.
        for (const auto& [dx, dy] : s) {
            shape[i + 1].emplace_back(2 * dx, 2 * dy);
        }
    }
    std::vector<Drawing> d;
    for (int i = 0; i < 40; ++i) {
        const std::vector<Move>& s = shape[rng() % shape.size()];
        // A lowest corner speed above the top speed decides the corner speeds.
        const std::uint32_t min_vel = rng() % 4 == 0 ? 1000 : 240;
        const std::int32_t accel = rng() % 4 == 0 ? 4000 : 3600;
        const int changed = rng() % 3 == 0 ? static_cast<int>(rng() % s.size()) : -1;
        d.push_back(
            Drawing{&s, min_vel, accel, changed, static_cast<Change>(rng() % change_kinds)});
    }
    return d;
}

// What the ring holds after a plan, the record dumped as changed last and
// the raises the pass reported.
struct RingState {
    std::vector<std::int64_t> fields;
    std::string dump;
};

// The planner's corner-ramp solver of the replay.
void solve_corner_ramp(std::uint32_t len, std::uint32_t psuedodist, std::uint32_t h,
                       std::uint32_t majrdvel, std::uint32_t* steps, std::uint32_t* dist,
                       Machine& m)
{
    static_cast<ReplayMachine&>(m).corner_ramp_solved(len, psuedodist, h, majrdvel,
                                                      m.CREEP_VELOCITY, steps, dist);
}

// A machine that plans drawings.
struct DrawingPlanner : TestMachine {
    std::vector<RingState> plan_moves(const std::vector<Drawing>& drawings, bool with_memo);
};

// Plans the drawings move by move, the interrupt executing whenever the
// ring is full, as the planner waits for a free record; the ring after
// every plan.
std::vector<RingState> DrawingPlanner::plan_moves(const std::vector<Drawing>& drawings,
                                                  bool with_memo)
{
    reset_machine();
    load_pen_down_planning();
    replay_state = ReplayState{};
    corner_ramp_solver = solve_corner_ramp;
    corner_pass_memo = with_memo ? &corner_pass_memo_of_replay : nullptr;
    vdb_dump_flags = 2;
    pipeflag = 1;
    std::vector<RingState> states;
    int plans = 0;
    for (const Drawing& d : drawings) {
        min_corner_vel = d.min_corner_vel;
        pbdAccel = d.accel;
        for (std::size_t i = 0; i < d.chords->size(); ++i) {
            VdbData* r = getfreevdb();
            for (int tries = 0; r == nullptr && tries < 1000000; ++tries) {
                run_ticks_until_idle(1);
                r = getfreevdb();
            }
            if (r == nullptr) {
                ADD_FAILURE() << "the ring never freed a record";
                return states;
            }
            const auto [dx, dy] = (*d.chords)[i];
            RingState s;
            s.dump = capture_stdout([&] { _delta_move(dx, dy, r); });
            for (const VdbData& v : vdb_pool) {
                s.fields.insert(s.fields.end(), {v.cnrvel, v.psuedodist, v.smoothCnt, v.smoothLoop1,
                                                 v.smoothLoop2, v.anglediff, v.majrdisth,
                                                 v.acc_index, v.cmd});
            }
            states.push_back(std::move(s));
            if (static_cast<int>(i) == d.changed) {
                switch (d.change) {
                case Change::doubled_acceleration:
                    // One planned before: later passes would raise its corner.
                    r->prev->acc_index = 21;
                    break;
                case Change::lower_top_speed:
                    r->acclcount = static_cast<std::uint16_t>(r->acclcount / 16);
                    break;
                case Change::higher_corner_speed:
                    r->cnrvel = static_cast<std::uint16_t>(r->cnrvel + 40);
                    break;
                case Change::sharper_turn_before:
                    // By a degree, or on odd chords past the 25 degrees
                    // beyond which no later pass raises that corner.
                    r->prev->anglediff += (i % 2 != 0 ? 30u : 1u) << 16;
                    break;
                }
            }
            sendvdb(r);
            // Now and then the planner falls behind and the queue runs dry.
            if (++plans % 97 == 0) {
                run_ticks_until_idle();
            }
        }
    }
    vdb_dump_flags = 0;
    corner_pass_memo = nullptr;
    corner_ramp_solver = nullptr;
    return states;
}

} // namespace

TEST(CornerPassMemo, LeavesEveryRecordAsThePassDoes)
{
    std::uint64_t remembered = 0;
    DrawingPlanner m;
    for (unsigned seed = 1; seed <= 6 && !::testing::Test::HasFailure(); ++seed) {
        std::mt19937 rng(seed);
        std::vector<std::vector<Move>> shapes;
        const std::vector<Drawing> d = drawings(rng, shapes);
        const std::vector<RingState> walked = m.plan_moves(d, false);
        const std::vector<RingState> memo = m.plan_moves(d, true);
        remembered += m.replay_state.corner_passes_remembered;
        ASSERT_EQ(memo.size(), walked.size());
        for (std::size_t i = 0; i < walked.size(); ++i) {
            ASSERT_EQ(memo[i].fields, walked[i].fields) << "seed " << seed << ", move " << i;
            ASSERT_EQ(memo[i].dump, walked[i].dump) << "seed " << seed << ", move " << i;
        }
    }
    EXPECT_GT(remembered, 1000u);
}
