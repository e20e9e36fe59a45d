// Console dumps of vector records and servo globals, and whole jobs run by
// the built estimator.
#include "machine_fixture.h"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "base/debug_trace.h"
#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/planner_dump.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_planner.h"
#include "fwShare/servo/vector_queue.h"

namespace {

// Splits console output into lines ending "\n\r" (the ending removed).
std::vector<std::string> dump_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\n\r", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string pointer_text(const void* p)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%08llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p)));
    return buf;
}

} // namespace

class PlannerDump : public MachineTest {};

TEST_F(PlannerDump, SimpleRecordsDumpTheirHeaderOnly)
{
    srvo_on_pd();
    EXPECT_EQ(capture_stdout([&] { dump_vdb(&vdb_pool[0]); }),
              "==== VdbData S-PenDn  ====================\n\r");
    srvo_on_pu();
    EXPECT_EQ(capture_stdout([&] { dump_vdb(&vdb_pool[1]); }),
              "==== VdbData S-PenUp  ====================\n\r");
    EXPECT_EQ(capture_stdout([&] { dump_vdb(&vdb_pool[5]); }),
              "==== VdbData Free     ====================\n\r");
}

TEST_F(PlannerDump, VectorRecordDumpsEveryFieldInOrder)
{
    VdbData r = vdb_pool[3];
    r.cmd = VECTOR;
    r.octant = 5;
    r.slope = 32768;
    r.majrdisth = -5;
    r.majrfract = 7;
    r.minrdisth = 1200;
    r.minrfract = 3000000000u;
    r.acclcount = 65535;
    r.currvel = 12;
    r.minrdvel = 1024;
    r.minrdvel_fract = 0;
    r.minrvel = 12582912;
    r.minrvel_fract = 4;
    r.majrdvel = 1843200;
    r.majrvel = 0x80000000u;
    r.creep = 32;
    r.angle = 270;
    r.relativeAngle = 45;
    r.anglediff = 360448;
    r.cnrvel = 93;
    r.psuedodist = 1187;
    r.ddr = 62u * 65536u;
    r.high_ddr = 1;
    r.end_delay = 65000;
    r.xcrash = 255;
    r.ycrash = 2;
    r.dx = -300;
    r.dy = 4000;
    r.acc_index = 21;
    r.smoothCnt = 2;
    r.smoothLoop1 = 13;
    r.smoothLoop2 = 12;
    r.vectIdx = -1;
    EXPECT_EQ(capture_stdout([&] { dump_vdb(&r); }),
              "==== VdbData Vector   5 ==================\n\r"
              "slope                = 32768(0.50)\n\r"
              "majrdisth            = -5\n\r"
              "majrfract            = 7\n\r"
              "minrdisth            = 1200\n\r"
              "minrfract            = -1294967296\n\r"
              "acclcount            = 65535\n\r"
              "currvel              = 12\n\r"
              "minrdvel             = 1024(2.00)\n\r"
              "minrdvel_fract       = 0\n\r"
              "minrvel              = 12582912(1.50)\n\r"
              "minrvel_fract        = 4\n\r"
              "majrdvel             = 1843200(3600.00)\n\r"
              "majrvel              = -2147483648(256.00)\n\r"
              "creep                = 32\n\r"
              "angle                = 270\n\r"
              "relativeAngle        = 45\n\r"
              "anglediff            = 360448(5.50)\n\r"
              "cnrvel               = 93\n\r"
              "psuedodist           = 1187\n\r"
              "ddr                  = 4063232(62.00)\n\r"
              "high_ddr             = 1\n\r"
              "end_delay            = 65000\n\r"
              "xcrash               = 255\n\r"
              "ycrash               = 2\n\r"
              "dx                   = -300\n\r"
              "dy                   = 4000\n\r"
              "acc_index            = 21\n\r"
              "smoothCnt            = 2\n\r"
              "smoothLoop1          = 13\n\r"
              "smoothLoop2          = 12\n\r"
              "vectIdx              = -1\n\r");
}

TEST_F(PlannerDump, HighVelocityPrintsSignedAndUnsignedParts)
{
    VdbData r = vdb_pool[0];
    r.cmd = VECTOR;
    r.majrvel = 0xFFFFFFFFu;
    r.minrdvel = 0x80000000u;
    const std::vector<std::string> lines = dump_lines(capture_stdout([&] { dump_vdb(&r); }));
    ASSERT_EQ(lines.size(), 32u);
    EXPECT_EQ(lines[13], "majrvel              = -1(512.00)");
    EXPECT_EQ(lines[8], "minrdvel             = -2147483648(4194304.00)");
}

TEST_F(PlannerDump, QueuedMoveIsDumpedBeforeItsCommit)
{
    dbg_set(DBG_ShowVdbVect, true);
    pbdVelType = PEN_DOWN;
    const std::vector<std::string> lines =
        dump_lines(capture_stdout([&] { srvo_on_ve(-600, -1200); }));
    ASSERT_EQ(lines.size(), 32u);
    EXPECT_EQ(lines[0], "==== VdbData Vector   7 ==================");
    EXPECT_EQ(lines[1], "slope                = 32768(0.50)");
    EXPECT_EQ(lines[25], "dx                   = -600");
    EXPECT_EQ(lines[26], "dy                   = -1200");
}

TEST_F(PlannerDump, PlannerDumpsTheLastRecordItRaised)
{
    load_pen_down_planning();
    vdb_dump_flags = 2;
    std::vector<std::string> lines = dump_lines(capture_stdout([&] { plan_and_commit(300, 0); }));
    ASSERT_EQ(lines.size(), 32u);
    EXPECT_EQ(lines[25], "dx                   = 300");
    EXPECT_EQ(lines[18], "cnrvel               = 0");

    lines = dump_lines(capture_stdout([&] { plan_and_commit(300, 30); }));
    ASSERT_EQ(lines.size(), 32u);
    EXPECT_EQ(lines[26], "dy                   = 0");
    EXPECT_EQ(lines[18], "cnrvel               = 93");

    vdb_dump_flags = 3;
    lines = dump_lines(capture_stdout([&] { plan_and_commit(300, 60); }));
    ASSERT_EQ(lines.size(), 28u + 32u);
    EXPECT_EQ(lines[0], std::string(40, '='));
    EXPECT_EQ(lines[27], std::string(40, '='));
    EXPECT_EQ(lines[28], "==== VdbData Vector   0 ==================");
    EXPECT_EQ(lines[28 + 18], "cnrvel               = 137");  // the first record
}

TEST_F(PlannerDump, ServoGlobalsDumpInOrder)
{
    pbdAxiaVel = 800;
    pbdAccel = -7;
    End_Delay_1 = 65535;
    End_Delay_2 = 100;
    End_Delay_3 = 3;
    null_vector = 200;
    boundary_speed = 0xFFFFFFFFu;
    pVelAccelPointer = &VelAccelPool[PEN_UP];
    const std::vector<std::string> lines =
        dump_lines(capture_stdout([&] { dump_servo_globals(); }));
    const char* const labels[26] = {
        "pbdAxiaVel", "pbdAccel", "min_corner_vel", "CREEP_VELOCITY", "LowSpeed",
        "lowspeedflag", "pbdVelType", "End_Delay_1", "End_Delay_2", "End_Delay_3", "CI_Flag",
        "CREEP_SPEED", "diag_vel", "factor_num", "boundary_speed", "pbdSps", "pipeflag",
        "null_vector", "save_real_pen_pos_is_down", "stopptr", "SVO_VectPtr", "freeptr",
        "autoptr", "offline_freeptr", "pVelAccelPointer", "VelAccelPool",
    };
    ASSERT_EQ(lines.size(), 28u);
    EXPECT_EQ(lines[0], "========================================");
    EXPECT_EQ(lines[27], "========================================");
    for (int i = 0; i < 26; ++i) {
        const std::string label = labels[i];
        EXPECT_EQ(lines[static_cast<std::size_t>(i) + 1].substr(0, 28),
                  label + std::string(25 - label.size(), ' ') + " = ");
    }
    EXPECT_EQ(lines[1], "pbdAxiaVel                = 800");
    EXPECT_EQ(lines[2], "pbdAccel                  = -7");
    EXPECT_EQ(lines[8], "End_Delay_1               = 65535");
    EXPECT_EQ(lines[15], "boundary_speed            = -1");
    EXPECT_EQ(lines[18], "null_vector               = 200");
    EXPECT_EQ(lines[21], "SVO_VectPtr               = 0x00000000");
    EXPECT_EQ(lines[22], "freeptr                   = " + pointer_text(&vdb_pool[0]));
    EXPECT_EQ(lines[24], "offline_freeptr           = " + pointer_text(&vdb_offline_pool[0]));
    EXPECT_EQ(lines[25], "pVelAccelPointer          = " + pointer_text(&VelAccelPool[PEN_UP]));
    EXPECT_EQ(lines[26], "VelAccelPool              = " + pointer_text(VelAccelPool));
}

// Whole jobs through the built estimator.
namespace {

// Pen moves around a hexagon, then 180 chords of about 2.6 mm (HPGL
// units): along a circle, each joint a 2 degree turn, or back and forth
// along X, each joint a reversal.
std::string hexagon_and_chords_job(bool circle)
{
    std::ostringstream job;
    job << "VemtracCmdVer 1\n";
    job << "execute_penselect 1\n";
    job << "pu_default 2000 2000\n";
    const int hexagon[6][2] = {{2000, 0}, {1000, 1732}, {-1000, 1732},
                               {-2000, 0}, {-1000, -1732}, {1000, -1732}};
    for (const auto& side : hexagon) {
        job << "pd_default " << side[0] << ' ' << side[1] << '\n';
    }
    job << "pu_default 6000 0\n";
    const double pi = std::acos(-1.0);
    const double radius = 3000.0;
    long x = std::lround(radius);
    long y = 0;
    for (int i = 1; i <= 180; ++i) {
        if (circle) {
            const long nx = std::lround(radius * std::cos(2 * pi * i / 180));
            const long ny = std::lround(radius * std::sin(2 * pi * i / 180));
            job << "pd_default " << nx - x << ' ' << ny - y << '\n';
            x = nx;
            y = ny;
        } else {
            job << "pd_default " << (i % 2 != 0 ? 105 : -105) << " 0\n";
        }
    }
    job << "pu_default -8000 -2000\n";
    return job.str();
}

struct ProgramRun {
    std::vector<std::string> status;
    std::string console;
};

ProgramRun run_job(const std::string& job)
{
    ProgramRun result;
    JobFolder folder;
    folder.write_job(job);
    EXPECT_EQ(folder.run(), 0);
    EXPECT_EQ(folder.stderr_text, "");
    result.console = folder.stdout_text;
    result.status = status_lines(folder.read_file("Vemtrac.sts"));
    return result;
}

} // namespace

TEST(PlannerJob, CircleOfShortChordsIsTimedTheSameEveryRun)
{
    const std::string job = hexagon_and_chords_job(true);
    const ProgramRun first = run_job(job);
    const ProgramRun second = run_job(job);
    ASSERT_EQ(first.status.size(), 5u);
    ASSERT_EQ(second.status.size(), 5u);
    EXPECT_EQ(first.status[0], "VMTC_OK");
    // About 30.4 inches of cutting at no more than 20 inches per second.
    const long ms = std::stol(first.status[2]);
    EXPECT_GT(ms, 1500);
    for (std::size_t i = 0; i < 5; ++i) {
        if (i != 3) {
            EXPECT_EQ(first.status[i], second.status[i]) << "status line " << i + 1;
        }
    }
    EXPECT_EQ(first.console, second.console);
    EXPECT_EQ(first.console.find("majrdisth"), std::string::npos);

    // The same chords reversing at every joint stop at each one.
    const ProgramRun zigzag = run_job(hexagon_and_chords_job(false));
    ASSERT_EQ(zigzag.status.size(), 5u);
    EXPECT_GT(std::stol(zigzag.status[2]), 2 * ms);
}
