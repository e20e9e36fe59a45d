// Raster graphics: the Y step tables, placement of an image, the pass and
// Y step of each raster line, the end of an image, and the raster entries
// that cannot run without the image's resolutions or a started image.
#include "machine_fixture.h"

#include <algorithm>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "base/debug_trace.h"
#include "fwShare/machine_params.h"
#include "fwShare/pcl_position.h"
#include "fwShare/servo/servo_ticks.h"
#include "job/job_clock.h"

namespace {

using Calls = std::vector<std::string>;

// The calls of one raster line: pass kind and length, then the Y step
// move (dx folds the return travel of one-way passes).
Calls line_calls(int pass_kind, int pass_dx, int step_dx, int step_dy)
{
    return {"srvo_on_raster_move(" + std::to_string(pass_kind) + ");",
            "srvo_on_ve(" + std::to_string(pass_dx) + ",0,0,0);", "srvo_on_raster_move(5);",
            "srvo_on_ve(" + std::to_string(step_dx) + "," + std::to_string(step_dy) + ",0,0);"};
}

long count_of(const std::int32_t* table, int n, std::int32_t value)
{
    return std::count(table, table + n, value);
}

} // namespace

class RasterStepTable : public MachineTest {};

TEST_F(RasterStepTable, UnitDividingAnInchStepsEqually)
{
    SetRasterDistance(254, 1000);
    ASSERT_EQ(raster_step_table, raster_steps_even);
    EXPECT_EQ(rasterindicator, 3);
    EXPECT_EQ(RasterIndicatorY, 0);
    EXPECT_EQ(raster_steps_even[0], 12);
    EXPECT_EQ(raster_steps_even[1], 12);
    EXPECT_EQ(raster_steps_even[2], 12);
}

TEST_F(RasterStepTable, FixedTablesSpreadOneInchExactly)
{
    EXPECT_EQ(std::accumulate(raster_steps_304.begin(), raster_steps_304.end(), 0), 3048);
    EXPECT_EQ(std::accumulate(raster_steps_609.begin(), raster_steps_609.end(), 0), 3048);
    for (int i = 0; i < 304; ++i) {
        EXPECT_EQ(raster_steps_304[static_cast<std::size_t>(i)], i % 38 == 37 ? 11 : 10) << i;
    }
    for (int i = 0; i < 609; ++i) {
        const bool long_step = i == 202 || i == 405 || i == 608;
        EXPECT_EQ(raster_steps_609[static_cast<std::size_t>(i)], long_step ? 6 : 5) << i;
    }
}

TEST_F(RasterStepTable, StartIndexFollowsThePositionWithinTheInch)
{
    SetRasterDistance(304, 20);
    EXPECT_EQ(raster_step_table, raster_steps_304.data());
    EXPECT_EQ(rasterindicator, 304);
    EXPECT_EQ(RasterIndicatorY, 2);
    SetRasterDistance(304, 10);
    EXPECT_EQ(RasterIndicatorY, 0);
    SetRasterDistance(609, 3048 * 4 + 6);
    EXPECT_EQ(raster_step_table, raster_steps_609.data());
    EXPECT_EQ(rasterindicator, 609);
    EXPECT_EQ(RasterIndicatorY, 2);
}

TEST_F(RasterStepTable, UnitWithoutATableOfItsOwnKeepsTheTableInForce)
{
    // The first image of a job at 600 lines per inch finds no table chosen:
    // it gets the even spread of its own unit, which then stays in force.
    ASSERT_EQ(raster_step_table, nullptr);
    SetRasterDistance(600, 0);
    const std::int32_t* spread = raster_step_table;
    ASSERT_NE(spread, nullptr);
    EXPECT_EQ(rasterindicator, 600);
    EXPECT_EQ(std::accumulate(spread, spread + 600, 0), 3048);
    EXPECT_EQ(count_of(spread, 600, 6), 48);
    EXPECT_EQ(count_of(spread, 600, 5), 552);

    // A 500 image after it keeps that table; only its start index is its own.
    SetRasterDistance(500, 1524);
    EXPECT_EQ(raster_step_table, spread);
    EXPECT_EQ(rasterindicator, 600);
    EXPECT_EQ(RasterIndicatorY, 251);

    // 609 chooses its fixed table, and a 300 image after it keeps that one.
    SetRasterDistance(609, 0);
    SetRasterDistance(300, 0);
    EXPECT_EQ(raster_step_table, raster_steps_609.data());
    EXPECT_EQ(rasterindicator, 609);

    // A unit that divides the inch always gets its own even table.
    SetRasterDistance(254, 0);
    EXPECT_EQ(raster_step_table, raster_steps_even);
    EXPECT_EQ(rasterindicator, 3);
    EXPECT_EQ(raster_steps_even[0], 12);
}

TEST_F(RasterStepTable, CursorAboveTheOriginStartsInsideTheTable)
{
    SetRasterDistance(304, -20);
    EXPECT_EQ(RasterIndicatorY, 303);
    SetRasterDistance(304, -3 * 3048 - 20);
    EXPECT_EQ(RasterIndicatorY, 303);
    SetRasterDistance(609, -3048);
    EXPECT_EQ(RasterIndicatorY, 0);
    SetRasterDistance(500, -1);
    EXPECT_GE(RasterIndicatorY, 0);
    EXPECT_LE(RasterIndicatorY, 500);
}

// A 3048-unit-wide image (300 dots at 300 dpi) at 254 lines per inch
// (12 units a line) with the fixed 1560-unit allowance: every pass is
// 3048 + 2 x 1560 = 6168 units long.
class RasterImage : public MachineTest {
protected:
    void SetUp() override
    {
        MachineTest::SetUp();
        start_raster_job();
        ptCurrentFile->RasterAccelEngrave = 1;
    }

    void place(std::int8_t flag, std::int32_t x_dots, std::int32_t y_lines)
    {
        ptCurrentFile->ImageAbsPosFlag = flag;
        ptCurrentFile->ImageOffsetX = x_dots;
        ptCurrentFile->ImageOffsetY = y_lines;
    }

    // Image at 600 dots, 254 lines: PCL (6096, 3048).
    void start_image_at_one_inch()
    {
        place(1, 600, 254);
        HandleStartRasterGraphics();
        svo_wait_idle();
    }
};

TEST_F(RasterImage, AbsolutePlacementIgnoresTheCursor)
{
    start_image_at_one_inch();
    EXPECT_EQ(pcl_pos.pclx, 6096);
    EXPECT_EQ(pcl_pos.pcly, 3048);
    EXPECT_EQ(pcl_pos.x_mrg, 6096);
    EXPECT_EQ(abs_x, 600);
    EXPECT_EQ(abs_y, 254);
    EXPECT_EQ(raster_distance, 6168);
    // The placement is used up by the image.
    EXPECT_EQ(ptCurrentFile->ImageAbsPosFlag, 0);
    EXPECT_EQ(ptCurrentFile->ImageOffsetX, 0);
    EXPECT_EQ(ptCurrentFile->ImageOffsetY, 0);
    // Raster servo settings.
    EXPECT_EQ(End_Delay_1, 5);
    EXPECT_EQ(End_Delay_2, 0);
    EXPECT_EQ(End_Delay_3, 0);
    EXPECT_EQ(creep_min, 4);
    EXPECT_EQ(CREEP_VELOCITY, 4);
    EXPECT_EQ(CREEP_SPEED, 2500);
    // The carriage waits at the image's PCL Y, at plot-bed X 0.
    EXPECT_EQ(positionx, 0);
    EXPECT_EQ(positiony, 55920 - 3048);
}

TEST_F(RasterImage, RelativePlacementAddsToTheCursor)
{
    start_image_at_one_inch();
    HandleEndRasterGraphics();
    ptCurrentFile->ImageWidth = 300;
    ptCurrentFile->ImageHeight = 3;
    place(0, 300, 127);
    HandleStartRasterGraphics();
    EXPECT_EQ(pcl_pos.pclx, 6096 + 3048);
    EXPECT_EQ(pcl_pos.pcly, 3048 + 1524);
    EXPECT_EQ(pcl_pos.x_mrg, 6096 + 3048);
    EXPECT_EQ(abs_x, 900);
    EXPECT_EQ(abs_y, 381);
}

TEST_F(RasterImage, BidirectionalPassesAlternate)
{
    start_image_at_one_inch();
    const std::int32_t y0 = positiony;
    EXPECT_EQ(queue_calls([&] { RasterLineOut(); }), line_calls(3, 6168, 0, -12));
    EXPECT_EQ(positionx, 6168);
    EXPECT_EQ(positiony, y0 - 12);
    EXPECT_EQ(queue_calls([&] { RasterLineOut(); }), line_calls(4, -6168, 0, -12));
    EXPECT_EQ(positionx, 0);
    EXPECT_EQ(positiony, y0 - 24);
    EXPECT_EQ(queue_calls([&] { RasterLineOut(); }), line_calls(3, 6168, 0, -12));
    EXPECT_EQ(raster_backward, 1);
}

TEST_F(RasterImage, OneWayPassesReturnWithTheStep)
{
    ptCurrentFile->RasterFiringType = 1;
    start_image_at_one_inch();
    for (int line = 0; line < 3; ++line) {
        EXPECT_EQ(queue_calls([&] { RasterLineOut(); }), line_calls(3, 6168, -6168, -12)) << line;
        EXPECT_EQ(positionx, 0);
        EXPECT_EQ(raster_backward, 0);
    }
}

TEST_F(RasterImage, BottomUpLinesStepUpThePage)
{
    ptCurrentFile->RasterBuEngrave = 1;
    start_image_at_one_inch();
    EXPECT_EQ(queue_calls([&] { RasterLineOut(); }), line_calls(3, 6168, 0, 12));
    ptCurrentFile->ImageHeight = 10;
    ptCurrentFile->RasterBandingFree = 2;
    HandleEndRasterGraphics();
    EXPECT_EQ(abs_y, 254 - 18);
    EXPECT_EQ(pcl_pos.pcly, (254 - 18) * 12);
}

TEST_F(RasterImage, BandingMultipliesStepsAndTheImageHeight)
{
    ptCurrentFile->RasterBandingFree = 2;
    ptCurrentFile->ImageHeight = 10;
    start_image_at_one_inch();
    EXPECT_EQ(queue_calls([&] { RasterLineOut(); }), line_calls(3, 6168, 0, -24));
    EXPECT_EQ(queue_calls([&] { RasterLineOut(); }), line_calls(4, -6168, 0, -24));
    HandleEndRasterGraphics();
    EXPECT_EQ(abs_y, 254 + 18);
    EXPECT_EQ(pcl_pos.pcly, 3264);
    EXPECT_EQ(pcl_pos.pclx, 6096);
    EXPECT_EQ(abs_x, 600);
    EXPECT_EQ(ptCurrentFile->ImageWidth, 0);
    EXPECT_EQ(ptCurrentFile->ImageHeight, 0);
}

TEST_F(RasterImage, NoBandingStepsOnceButEndsWithoutAdvance)
{
    ptCurrentFile->ImageHeight = 10;
    start_image_at_one_inch();
    EXPECT_EQ(queue_calls([&] { RasterLineOut(); }), line_calls(3, 6168, 0, -12));
    HandleEndRasterGraphics();
    EXPECT_EQ(abs_y, 254);
    EXPECT_EQ(pcl_pos.pcly, 3048);
}

TEST_F(RasterImage, EmptyImageEndLeavesTheCursor)
{
    // Start-up cursor: PCL Y 55920, which is not abs_y (0) in lines.
    place(0, 0, 0);
    HandleStartRasterGraphics();
    ptCurrentFile->ImageHeight = 0;
    HandleEndRasterGraphics();
    EXPECT_EQ(pcl_pos.pcly, 55920);
    EXPECT_EQ(abs_y, 0);
}

TEST_F(RasterImage, ImageAboveTheOriginWrapsThroughTheTable)
{
    // Two lines above the origin: PCL Y -20, the last entry of the inch.
    ptCurrentFile->RasterUnit = 304;
    place(1, 600, -2);
    HandleStartRasterGraphics();
    EXPECT_EQ(pcl_pos.pcly, -20);
    EXPECT_EQ(queue_calls([&] { RasterLineOut(); }), line_calls(3, 6168, 0, -11));
    EXPECT_EQ(queue_calls([&] { RasterLineOut(); }), line_calls(4, -6168, 0, -10));
    EXPECT_EQ(RasterIndicatorY, 1);
}

TEST_F(RasterImage, ImageAtAUnitWithoutATableStepsByTheTableInForce)
{
    ptCurrentFile->RasterUnit = 609;
    place(1, 600, 0);
    HandleStartRasterGraphics();
    queue_calls([&] { RasterLineOut(); });
    HandleEndRasterGraphics();

    // Line 200 of the inch at 600 lines per inch is PCL Y 1016, table index
    // 201: the steps are the 609 entries 201, 202 (the long one) and 203,
    // each times two lines of banding.
    CurrentFileRecord& f = *ptCurrentFile;
    f.RasterUnit = 600;
    f.RasterBandingFree = 2;
    f.ImageWidth = 300;
    f.ImageHeight = 3;
    place(1, 600, 200);
    HandleStartRasterGraphics();
    EXPECT_EQ(pcl_pos.pcly, 1016);
    EXPECT_EQ(RasterIndicatorY, 201);
    for (std::size_t index = 201; index <= 203; ++index) {
        const Calls calls = queue_calls([&] { RasterLineOut(); });
        ASSERT_EQ(calls.size(), 4u);
        EXPECT_EQ(calls[3],
                  "srvo_on_ve(0," + std::to_string(-2 * raster_steps_609[index]) + ",0,0);");
    }
}

// Raster entries through the built program.
namespace {

struct ProgramRun {
    std::vector<std::string> status;
    std::string out;
    std::string err;
};

ProgramRun run_job(const std::string& text, const std::string& env = "")
{
    JobFolder job;
    job.write_job(text);
    EXPECT_EQ(job.run(env), 0);
    return {status_lines(job.read_file("Vemtrac.sts")), job.stdout_text, job.stderr_text};
}

// The job ends at the bad entry: one line about it on standard error, and
// the run time of the entries before it.
void expect_job_ends_at(const std::string& before, const std::string& bad,
                        const std::string& keyword)
{
    const ProgramRun ref = run_job(before);
    ASSERT_EQ(ref.status.size(), 5u);
    ASSERT_NE(ref.status[2], "0");
    const ProgramRun r = run_job(before + bad + "pd_default 0 1000\n");
    ASSERT_EQ(r.status.size(), 5u) << bad;
    EXPECT_EQ(r.status[0], "VMTC_OK");
    EXPECT_EQ(r.status[2], ref.status[2]) << bad;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("\"" + keyword + "\""), std::string::npos) << r.err;
}

const char* const small_image = "ImageWidth 30\nImageHeight 2\n";

} // namespace

TEST(RasterJob, ImageStartNeedsBothResolutions)
{
    expect_job_ends_at("pd_default 1000 0\nRasterUnit 254\n",
                       "SetStartRasterGraphics 0\nRasterLineOut 0\n", "SetStartRasterGraphics");
    expect_job_ends_at("pd_default 1000 0\nRasterDPI 300\n",
                       "SetStartRasterGraphics 0\nRasterLineOut 0\n", "SetStartRasterGraphics");
}

TEST(RasterJob, ImageEndNeedsBothResolutions)
{
    const std::string image = std::string("RasterDPI 300\nRasterUnit 254\n") + small_image +
                              "SetStartRasterGraphics 0\nRasterLineOut 0\nRasterLineOut 0\n";
    expect_job_ends_at(image + "RasterUnit 0\n", "SetEndRasterGraphics 0\n",
                       "SetEndRasterGraphics");
    expect_job_ends_at(image + "RasterDPI 0\n", "SetEndRasterGraphics 0\n", "SetEndRasterGraphics");
}

TEST(RasterJob, RasterLineBeforeAnyImage)
{
    expect_job_ends_at("pd_default 1000 0\nRasterDPI 300\nRasterUnit 254\n", "RasterLineOut 0\n",
                       "RasterLineOut");
}

TEST(RasterJob, OddUnitsFastPassesAndImagesAboveTheOriginRun)
{
    for (const char* placement :
         {"RasterUnit 500\n", "RasterUnit 304\nSetVerticalPositionPCL 1 -2\n",
          "RasterUnit 7\nSetVerticalPositionPCL 1 -3\n", "RasterUnit 254\nRasterSpeedX 2000\n"}) {
        const ProgramRun r = run_job(std::string("RasterDPI 300\n") + placement + small_image +
                                    "SetStartRasterGraphics 0\nRasterLineOut 0\nRasterLineOut 0\n"
                                    "SetEndRasterGraphics 0\n");
        EXPECT_TRUE(r.err.empty()) << placement << r.err;
        ASSERT_EQ(r.status.size(), 5u) << placement;
        EXPECT_EQ(r.status[0], "VMTC_OK");
        EXPECT_NE(r.status[2], "0") << placement;
    }
}

TEST(RasterJob, ImageAtAUnitWithoutATableIsTimedWithTheTableInForce)
{
    // Two images: 609 lines per inch, then 600 lines per inch with two
    // lines a pass from line 200 of the inch. The second steps by the 609
    // table (10, 12, 10 units), not by a 600 spread (10, 10, 12).
    const std::string first = "RasterDPI 300\nRasterSpeedX 1000\nRasterSpeedY 500\n"
                              "RasterUnit 609\nImageWidth 30\nImageHeight 2\n"
                              "SetStartRasterGraphics 0\nRasterLineOut 0\nRasterLineOut 0\n"
                              "SetEndRasterGraphics 0\n";
    const std::string second = "RasterUnit 600\nRasterBandingFree 2\nImageWidth 30\n"
                               "ImageHeight 3\nSetVerticalPositionPCL 1 200\n"
                               "SetStartRasterGraphics 0\nRasterLineOut 0\nRasterLineOut 0\n"
                               "RasterLineOut 0\nSetEndRasterGraphics 0\n";
    const ProgramRun r = run_job(first + second);
    ASSERT_EQ(r.status.size(), 5u) << r.err;
    EXPECT_EQ(r.status[2], "1178");  // a 600 spread would give 1177
}

TEST(RasterJob, LaterPositionFlagDecidesForBothAxes)
{
    const std::string first = std::string("RasterDPI 300\nRasterUnit 254\n") + small_image +
                              "SetHorizontalPositionPCL 1 600\nSetVerticalPositionPCL 1 254\n"
                              "SetStartRasterGraphics 0\nSetEndRasterGraphics 0\n" +
                              small_image;
    // Image one at PCL (6096, 3048); image two 300 dots and 127 lines on.
    const ProgramRun relative = run_job(first +
                                           "SetHorizontalPositionPCL 1 300\n"
                                           "SetVerticalPositionPCL 0 127\n"
                                           "SetStartRasterGraphics 0\n",
                                       "VEMTRAC_DEBUG=RasterProc");
    EXPECT_NE(relative.out.find("HandleStartRasterGraphics(Leave) PCL(09144,04572)"),
              std::string::npos)
        << relative.out;
    const ProgramRun absolute = run_job(first +
                                           "SetHorizontalPositionPCL 0 300\n"
                                           "SetVerticalPositionPCL 1 127\n"
                                           "SetStartRasterGraphics 0\n",
                                       "VEMTRAC_DEBUG=RasterProc");
    EXPECT_NE(absolute.out.find("HandleStartRasterGraphics(Leave) PCL(03048,01524)"),
              std::string::npos)
        << absolute.out;
}
