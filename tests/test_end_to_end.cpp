// The built estimator, run as an operator runs it: the binary and the job
// file side by side in a folder.
#include "machine_fixture.h"

#include <filesystem>

namespace {

const std::string banner = "Start job working time calculating....\n";
const std::string start_up_profiles =
    "setup_plotbed_speeds(PEN_UP         ,1200,60,121920);\n\r"
    "setup_plotbed_speeds(PEN_DOWN       ,1200,60,121920);\n\r";

} // namespace

TEST(EndToEnd, EmptyJobPrintsTheBannerAndTheRunTime)
{
    JobFolder job;
    job.write_job("VemtracCmdVer 1\n");
    EXPECT_EQ(job.run(), 0);
    EXPECT_EQ(job.stdout_text, banner + start_up_profiles + "Job Run Time: 0:0\n\r");
    EXPECT_EQ(job.stderr_text, "");
    const auto lines = status_lines(job.read_file("Vemtrac.sts"));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "0");
}

TEST(EndToEnd, ExampleJobsGiveTheirKnownEstimates)
{
    const struct {
        const char* file;
        const char* ms;
        const char* minutes_seconds;
    } cases[] = {
        {"vector_job.cmd", "57809", "Job Run Time 0:57"},
        {"raster_job.cmd", "47747", "Job Run Time 0:47"},
        {"mixed_job.cmd", "91696", "Job Run Time 1:31"},
    };
    for (const auto& c : cases) {
        JobFolder job;
        job.write_job(example_job(c.file));
        EXPECT_EQ(job.run(), 0) << c.file;
        const auto lines = status_lines(job.read_file("Vemtrac.sts"));
        ASSERT_EQ(lines.size(), 5u) << c.file;
        EXPECT_EQ(lines[0], "VMTC_OK") << c.file;
        EXPECT_EQ(lines[2], c.ms) << c.file;
        EXPECT_EQ(lines[4], c.minutes_seconds) << c.file;
        EXPECT_EQ(job.stderr_text, "") << c.file;
    }
}

TEST(EndToEnd, TheSameJobGivesTheSameStatusEveryTime)
{
    JobFolder job;
    job.write_job(example_job("mixed_job.cmd"));
    job.run();
    auto first = status_lines(job.read_file("Vemtrac.sts"));
    const std::string first_out = job.stdout_text;
    for (int i = 0; i < 3; ++i) {
        job.run();
        auto again = status_lines(job.read_file("Vemtrac.sts"));
        ASSERT_EQ(again.size(), 5u);
        first[3] = again[3] = "";  // the estimator's own wall-clock time
        EXPECT_EQ(again, first);
        EXPECT_EQ(job.stdout_text, first_out);
    }
}

TEST(EndToEnd, PenSelectionPrintsThePenAndItsProfiles)
{
    JobFolder job;
    job.write_job("execute_penselect 1\npd_default 1016 0\n");
    job.run();
    EXPECT_NE(job.stdout_text.find("pen(1)spd(500)\n"
                                   "pen(1)spd(500)acc(60)\n"
                                   "setup_plotbed_speeds(PEN_UP         ,121920,3,121920);\n\r"
                                   "setup_plotbed_speeds(PEN_DOWN       ,60960,60,121920);\n\r"),
              std::string::npos)
        << job.stdout_text;
}

TEST(EndToEnd, FindsItsFilesWhenStartedThroughThePath)
{
    JobFolder job;
    job.write_job("execute_penselect 1\npd_default 1016 0\n");
    EXPECT_EQ(job.run("cd / && PATH='" + job.path() + "':\"$PATH\" vemtrac; cd - >/dev/null;"), 0);
    const auto lines = status_lines(job.read_file("Vemtrac.sts"));
    ASSERT_EQ(lines.size(), 5u) << job.stderr_text;
    EXPECT_NE(lines[2], "0");
}

TEST(EndToEnd, MissingJobFileEndsQuietlyWithAReason)
{
    JobFolder job;
    EXPECT_EQ(job.run(), 0);
    EXPECT_FALSE(job.has_file("Vemtrac.sts"));
    EXPECT_EQ(job.stdout_text, banner + start_up_profiles);
    EXPECT_NE(job.stderr_text.find("Vemtrac.cmd"), std::string::npos);

    // A status file from an earlier run would pass for this job's estimate.
    job.write_file("Vemtrac.sts", "VMTC_OK\r\n\rOrvane 03.09-04\r\n\r57809\r\n\r");
    EXPECT_EQ(job.run(), 0);
    EXPECT_FALSE(job.has_file("Vemtrac.sts"));
    EXPECT_EQ(job.stdout_text, banner + start_up_profiles);
    EXPECT_NE(job.stderr_text.find("removed"), std::string::npos) << job.stderr_text;
}

TEST(EndToEnd, RefusedVersionWritesTheErrorStatusOnly)
{
    JobFolder job;
    job.write_job("VemtracCmdVer 2\n");
    EXPECT_EQ(job.run(), 0);
    EXPECT_EQ(job.read_file("Vemtrac.sts"), "VMTC_Error\r\n\rVersionMisMatch\r\n\r");
    EXPECT_EQ(job.stdout_text.find("Job Run Time"), std::string::npos);
}

TEST(EndToEnd, BadEntryEndsTheJobWithTheTimeOfWhatRanBefore)
{
    JobFolder whole;
    whole.write_job("execute_penselect 1\npd_default 2032 0\n");
    whole.run();
    const auto expected = status_lines(whole.read_file("Vemtrac.sts"));

    JobFolder cut;
    cut.write_job(
        "execute_penselect 1\npd_default 2032 0\nexecute_penselect 40\npd_default 2032 0\n");
    EXPECT_EQ(cut.run(), 0);
    const auto lines = status_lines(cut.read_file("Vemtrac.sts"));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "VMTC_OK");
    EXPECT_EQ(lines[2], expected[2]);
    EXPECT_NE(cut.stderr_text.find("entry 3 \"execute_penselect\""), std::string::npos)
        << cut.stderr_text;
}

TEST(EndToEnd, DebugCategoriesCanBeSwitchedOnForOneRun)
{
    JobFolder job;
    job.write_job("execute_penselect 1\npd_default 2032 0\n");
    EXPECT_EQ(job.run("VEMTRAC_DEBUG=ShowJobTime,NoSuchCategory"), 0);
    EXPECT_NE(job.stdout_text.find("T00000 PlanCnt:"), std::string::npos) << job.stdout_text;
    EXPECT_NE(job.stdout_text.find("T00000 JobTimeTick: "), std::string::npos);
    EXPECT_NE(job.stderr_text.find("unknown debug category \"NoSuchCategory\""), std::string::npos)
        << job.stderr_text;
    EXPECT_EQ(status_lines(job.read_file("Vemtrac.sts"))[0], "VMTC_OK");

    JobFolder plain;
    plain.write_job("execute_penselect 1\npd_default 2032 0\n");
    plain.run();
    EXPECT_EQ(plain.stdout_text.find("T00000"), std::string::npos);
}

TEST(EndToEnd, HugeMovesAreReportedAndTheJobStillEnds)
{
    JobFolder job;
    // 2^31 / 12 HPGL units: the servo distance overflows 32 bits.
    job.write_job("execute_penselect 1\npd_default 715827883 0\npu_default -715827883 0\n");
    EXPECT_EQ(job.run(), 0);
    EXPECT_NE(job.stdout_text.find("vect->majrdisth < 0\n"), std::string::npos);
    EXPECT_EQ(status_lines(job.read_file("Vemtrac.sts"))[0], "VMTC_OK");
}

TEST(EndToEnd, VectorLongerThanTheWarningLimitWarnsOnce)
{
    JobFolder job;
    // 1476 inches: more than 0x1000000 servo counts left when slewing starts.
    job.write_job("execute_penselect 1\npd_default 1500000 0\n");
    EXPECT_EQ(job.run(), 0);
    std::size_t count = 0;
    for (std::size_t at = job.stdout_text.find("disth > 0x1000000\n"); at != std::string::npos;
         at = job.stdout_text.find("disth > 0x1000000\n", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 1u);
    EXPECT_NE(job.stdout_text.find("SVO_GetMajrDistH("), std::string::npos);
    EXPECT_EQ(status_lines(job.read_file("Vemtrac.sts"))[0], "VMTC_OK");
}
