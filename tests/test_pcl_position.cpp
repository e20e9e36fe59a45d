// Plot-bed and PCL positions: the head taken as the PCL cursor on the
// switch from HPGL to PCL, and the cursor turned into absolute dots and
// raster lines.
#include "machine_fixture.h"

#include <string>

#include "fwShare/machine_params.h"
#include "fwShare/pcl_position.h"
#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/vector_cutting.h"
#include "job/job_clock.h"

class PclCursor : public MachineTest {
protected:
    void SetUp() override
    {
        MachineTest::SetUp();
        srvo_off_to_on();
    }

    // Moves the head to the plot-bed point (x, y) and takes it as the cursor.
    void cursor_from_head_at(std::int32_t x, std::int32_t y)
    {
        svo_wait_idle();
        srvo_on_ve(x - positionx, y - positiony);
        HandleHpglToPclPosition();
    }
};

TEST_F(PclCursor, HeadBecomesTheCursorInDotsAndLines)
{
    ptCurrentFile->RasterDPI = 300;
    ptCurrentFile->RasterUnit = 600;
    capture_stdout([&] { HandleToHpglMode(); });
    cursor_from_head_at(240 + 3048, 55920 - 6096);
    EXPECT_EQ(positionx, 240 + 3048);
    EXPECT_EQ(positiony, 55920 - 6096);
    EXPECT_EQ(pcl_pos.pclx, 3048);
    EXPECT_EQ(pcl_pos.pcly, 6096);
    EXPECT_EQ(abs_x, 300);
    EXPECT_EQ(abs_y, 1200);
}

TEST_F(PclCursor, PartialDotsAndLinesTruncateTowardZero)
{
    ptCurrentFile->RasterDPI = 300;
    ptCurrentFile->RasterUnit = 600;
    // Right of and below the PCL origin.
    cursor_from_head_at(240 + 100, 55920 - 100);
    EXPECT_EQ(pcl_pos.pclx, 100);
    EXPECT_EQ(abs_x, 9);
    EXPECT_EQ(abs_y, 19);
    // Left of and above it: -9, not -10.
    cursor_from_head_at(240 - 100, 55920 + 100);
    EXPECT_EQ(pcl_pos.pclx, -100);
    EXPECT_EQ(pcl_pos.pcly, -100);
    EXPECT_EQ(abs_x, -9);
    EXPECT_EQ(abs_y, -19);
}

TEST_F(PclCursor, NoRasterResolutionGivesTheOriginInDots)
{
    abs_x = 55;
    abs_y = 66;
    cursor_from_head_at(1000, 2000);
    EXPECT_EQ(pcl_pos.pclx, 760);
    EXPECT_EQ(pcl_pos.pcly, 53920);
    EXPECT_EQ(abs_x, 0);
    EXPECT_EQ(abs_y, 0);
}

// The language switch as the interpreter drives it.
TEST(PclModeJob, OnlyASwitchFromHpglTakesTheHead)
{
    JobFolder job;
    job.write_job("RasterDPI 300\nRasterUnit 600\n"
                  "ToPclMode 0\n"
                  "ToHpglMode 0\n"
                  "pu_default 1096 16608\n"
                  "ToPclMode 0\n"
                  "pu_default 100 100\n"
                  "ToPclMode 0\n");
    ASSERT_EQ(job.run("VEMTRAC_DEBUG=TempOff"), 0);
    const std::string& out = job.stdout_text;
    const std::string entry = "HandleHpglToPclPosition()";
    const std::size_t first = out.find(entry);
    ASSERT_NE(first, std::string::npos) << out;
    EXPECT_EQ(out.find(entry, first + 1), std::string::npos) << out;
    // The head was sent to the start-up cursor (plot bed 0, 0) and then
    // moved 1096 x 3 and 16608 x 3 plot-bed units.
    EXPECT_NE(out.find("lsr_TransPlotbedtoPCL(dpi:300, unit:600) => pcl(3048,6096) abs(300,1200)"),
              std::string::npos)
        << out;
    EXPECT_TRUE(job.stderr_text.empty()) << job.stderr_text;
}
