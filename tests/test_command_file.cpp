// The job-file interpreter and the status file, run in-process on job files
// in a scratch folder.
#include "machine_fixture.h"

#include <filesystem>

#include "app/command_file.h"
#include "app/exe_dir.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/machine_params.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/vector_cutting.h"

namespace fs = std::filesystem;

namespace {

class Interpreter : public MachineTest {
protected:
    JobFolder folder;
    int result = -1;
    std::string out;
    std::string err;

    // Runs the interpreter on the job text, with the folder as the
    // executable's directory.
    void run_job(const std::string& text)
    {
        folder.write_job(text);
        run_existing_job();
    }

    void run_existing_job()
    {
        ASSERT_TRUE(set_exe_dir((folder.path() + "/vemtrac").c_str()));
        ::testing::internal::CaptureStderr();
        out = capture_stdout([this] {
            JobEnd end;
            result = job_run_command_file(&end);
        });
        err = ::testing::internal::GetCapturedStderr();
    }

    std::vector<std::string> status() const { return status_lines(folder.read_file("Vemtrac.sts")); }

    // The command kinds committed so far, in ring order from record 0.
    std::vector<int> committed_kinds() const
    {
        std::vector<int> kinds;
        for (const VdbData& rec : vdb_pool) {
            if (rec.sent_cmd != 0) {
                kinds.push_back(rec.sent_cmd);
            }
        }
        return kinds;
    }
};

} // namespace

TEST_F(Interpreter, EmptyJobGivesTheFiveStatusLinesWithZeroTime)
{
    run_job("");
    EXPECT_EQ(result, 1);
    const std::string sts = folder.read_file("Vemtrac.sts");
    const std::vector<std::string> lines = status_lines(sts);
    ASSERT_EQ(lines.size(), 5u) << sts;
    EXPECT_EQ(lines[0], "VMTC_OK");
    EXPECT_EQ(lines[1], "Orvane 03.09-04");
    EXPECT_EQ(lines[2], "0");
    EXPECT_EQ(lines[3].rfind("APP Run Time ", 0), 0u);
    EXPECT_EQ(lines[3].substr(lines[3].size() - 2), "ms");
    EXPECT_EQ(lines[4], "Job Run Time 0:0");
    EXPECT_EQ(sts.substr(sts.size() - 3), "\r\n\r");
    EXPECT_EQ(out, "Job Run Time: 0:0\n\r");
    EXPECT_EQ(err, "");
}

TEST_F(Interpreter, VersionOneIsAccepted)
{
    run_job("VemtracCmdVer 1\n");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(status()[2], "0");
}

TEST_F(Interpreter, OtherVersionRefusesTheJobAfterWhatCameBefore)
{
    run_job("RasterDPI 600\nVemtracCmdVer 2\nRasterUnit 300\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(folder.read_file("Vemtrac.sts"), "VMTC_Error\r\n\rVersionMisMatch\r\n\r");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 600);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 0);
    EXPECT_EQ(out, "");  // no run-time line
}

TEST_F(Interpreter, EntriesAreSeparatedByAnyWhiteSpace)
{
    run_job("RasterDPI 600 RasterUnit\t300\r\n\r\nImageWidth\n-7 ImageHeight 12");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 600);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 300);
    EXPECT_EQ(ptCurrentFile->ImageWidth, -7);
    EXPECT_EQ(ptCurrentFile->ImageHeight, 12);
    EXPECT_EQ(err, "");
}

TEST_F(Interpreter, SettingsAreStoredAtTheWidthOfTheirField)
{
    run_job("RasterDPI 65837 RasterBandingFree 258 SetHorizontalPositionPCL 257 -5");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 301);
    EXPECT_EQ(ptCurrentFile->RasterBandingFree, 2);
    EXPECT_EQ(ptCurrentFile->ImageAbsPosFlag, 1);
    EXPECT_EQ(ptCurrentFile->ImageOffsetX, -5);
}

TEST_F(Interpreter, WrongNumberOfIntegersEndsReadingThere)
{
    run_job("RasterDPI 600 1 RasterUnit 300");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ptCurrentFile->RasterDPI, 0);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 0);
    EXPECT_NE(err.find("entry 1 \"RasterDPI\": expects one integer"), std::string::npos) << err;
    EXPECT_EQ(status()[0], "VMTC_OK");
}

TEST_F(Interpreter, TwoIntegerKeywordWithOneIntegerEndsReading)
{
    run_job("pd_default 10 RasterDPI 600");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 0);
    EXPECT_NE(err.find("\"pd_default\": expects two integers"), std::string::npos) << err;
}

TEST_F(Interpreter, UnknownKeywordOrMissingIntegerEndsReading)
{
    run_job("RasterDPI 600 rasterunit 300 RasterUnit 300");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 600);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 0);
    EXPECT_NE(err.find("entry 2 \"rasterunit\": unknown keyword"), std::string::npos) << err;

    reset_machine();
    run_job("RasterDPI");
    EXPECT_NE(err.find("no integer follows"), std::string::npos) << err;
    EXPECT_EQ(status()[0], "VMTC_OK");
}

TEST_F(Interpreter, OverlongKeywordAndOutOfRangeNumberEndReadingSafely)
{
    run_job("RasterDPI 600 " + std::string(300, 'K') + " 1 RasterUnit 300");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 600);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 0);
    EXPECT_NE(err.find("longer than 259"), std::string::npos) << err;

    reset_machine();
    run_job("ImageWidth -2147483648 ImageHeight 2147483648 RasterUnit 300");
    EXPECT_EQ(ptCurrentFile->ImageWidth, INT32_MIN);
    EXPECT_EQ(ptCurrentFile->ImageHeight, 0);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 0);
    EXPECT_NE(err.find("outside the signed 32-bit range"), std::string::npos) << err;
    EXPECT_EQ(status()[0], "VMTC_OK");
}

TEST_F(Interpreter, ByteOrderMarkAtTheStartIsSkipped)
{
    run_job("\xEF\xBB\xBFRasterDPI 600");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 600);
    EXPECT_EQ(err, "");
}

TEST_F(Interpreter, VectorSpeedReadsSixteenPenSpeeds)
{
    run_job("VectorSpeed 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 RasterDPI 7");
    EXPECT_EQ(ptCurrentFile->VectorSpeed[0], 500);
    for (int pen = 1; pen <= 16; ++pen) {
        EXPECT_EQ(ptCurrentFile->VectorSpeed[pen], pen);
    }
    EXPECT_EQ(ptCurrentFile->RasterDPI, 7);
}

TEST_F(Interpreter, ShortVectorSpeedListKeepsTheOtherPensAndReadsOn)
{
    run_job("VectorSpeed 1 2 3 4 5 RasterDPI 7");
    EXPECT_EQ(ptCurrentFile->VectorSpeed[5], 5);
    EXPECT_EQ(ptCurrentFile->VectorSpeed[6], 500);
    EXPECT_EQ(ptCurrentFile->VectorSpeed[16], 500);
    EXPECT_EQ(ptCurrentFile->RasterDPI, 7);
    EXPECT_NE(err.find("pens 6 to 16 keep their speeds"), std::string::npos) << err;
}

TEST_F(Interpreter, PenMovesAreScaledFromHpglToPlotBedUnits)
{
    run_job("pd_default 0 0 pd_default 10 -4 pd_default 5 0");
    EXPECT_EQ(pen_up_flag, 0);
    EXPECT_EQ(cmd_pen_down, 1);
    EXPECT_EQ(positionx, 45);
    EXPECT_EQ(positiony, -12);
    // One pen-down record only: the second and third entries keep the pen down.
    EXPECT_EQ(committed_kinds(), (std::vector<int>{SHORT_PEN_DOWN, VECTOR, VECTOR}));
    EXPECT_EQ(vdb_pool[1].dx, 30);
    EXPECT_EQ(vdb_pool[1].dy, -12);
}

TEST_F(Interpreter, PenUpMoveRaisesThePenOnce)
{
    run_job("pd_default 1 0 pu_default 0 0 pu_default 2 0");
    EXPECT_EQ(cmd_pen_down, 0);
    EXPECT_EQ(pen_up_flag, 1);
    EXPECT_EQ(committed_kinds(),
              (std::vector<int>{SHORT_PEN_DOWN, VECTOR, SHORT_PEN_UP, VECTOR}));
    EXPECT_EQ(positionx, 9);
}

TEST_F(Interpreter, MissingJobFileWritesNoStatusAndSaysWhy)
{
    fs::remove(fs::path(folder.path()) / "Vemtrac.cmd");
    run_existing_job();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(folder.has_file("Vemtrac.sts"));
    EXPECT_NE(err.find("cannot open"), std::string::npos);
    EXPECT_NE(err.find("Vemtrac.cmd"), std::string::npos);
    EXPECT_EQ(out, "");
}

TEST_F(Interpreter, StatusFileThatCannotBeCreatedIsReported)
{
    fs::create_directory(fs::path(folder.path()) / "Vemtrac.sts");
    run_job("RasterDPI 600");
    EXPECT_EQ(result, 0);
    EXPECT_NE(err.find("cannot create"), std::string::npos) << err;
    EXPECT_EQ(ptCurrentFile->RasterDPI, 0);  // nothing was run
}

TEST(ExeDir, TakesEverythingBeforeTheLastSeparator)
{
    ASSERT_TRUE(set_exe_dir("D:\\tools\\est.exe"));
    EXPECT_STREQ(exe_dir, "D:\\tools");
    ASSERT_TRUE(set_exe_dir("/opt/laser/bin/vemtrac"));
    EXPECT_STREQ(exe_dir, "/opt/laser/bin");
    ASSERT_TRUE(set_exe_dir("/vemtrac"));
    EXPECT_STREQ(exe_dir, "");
    ASSERT_TRUE(format_job_path("Vemtrac.cmd"));
    EXPECT_STREQ(path_buf, "/Vemtrac.cmd");
}

TEST(ExeDir, WithoutSeparatorUsesTheRunningExecutablesFolder)
{
    ASSERT_TRUE(set_exe_dir("vemtrac"));
    EXPECT_TRUE(fs::exists(fs::path(exe_dir) / "vemtrac_tests")) << exe_dir;
}

TEST(ExeDir, PathsTooLongForTheBufferAreRefused)
{
    ::testing::internal::CaptureStderr();
    const std::string long_path = "/" + std::string(300, 'd') + "/vemtrac";
    EXPECT_FALSE(set_exe_dir(long_path.c_str()));
    EXPECT_FALSE(format_job_path("Vemtrac.cmd"));

    const std::string almost = "/" + std::string(250, 'd') + "/vemtrac";
    EXPECT_TRUE(set_exe_dir(almost.c_str()));
    EXPECT_FALSE(format_job_path("Vemtrac.cmd"));  // 252 + 12 characters do not fit
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("more than 259"), std::string::npos) << err;
    EXPECT_NE(err.find("longer than 259"), std::string::npos) << err;
}
