// Several jobs in one process: the power-on reset between them, and the
// per-job tick limit.
#include "machine_fixture.h"

#include "job/job_run.h"

namespace {

struct InProcessRun {
    std::string out;
    std::string err;
    std::vector<std::string> status;
};

// Runs a job in this process the way main runs it.
InProcessRun run_in_process(const JobFolder& folder, const std::string& job,
                            std::uint64_t tick_limit = replay_max_job_ticks)
{
    folder.write_job(job);
    InProcessRun r;
    ::testing::internal::CaptureStderr();
    const std::string program = folder.path() + "/vemtrac";
    r.out = capture_stdout([&] {
        JobRequest request;
        request.program_path = program.c_str();
        request.tick_limit = tick_limit;
        run_job(request);
    });
    r.err = ::testing::internal::GetCapturedStderr();
    r.status = status_lines(folder.read_file("Vemtrac.sts"));
    if (r.status.size() == 5) {
        r.status[3].clear();  // host time of the run
    }
    return r;
}

} // namespace

TEST(MachineReset, EveryJobInOneProcessRunsAsInAFreshProcess)
{
    // The vector example, then an image that relies on the power-on
    // settings: a fresh process has no raster resolution and refuses it.
    const std::string job = example_job("vector_job.cmd") +
                            "SetHorizontalPositionPCL 300 0\nSetStartRasterGraphics 0\n"
                            "RasterLineOut 0\nSetEndRasterGraphics 0\n";
    JobFolder fresh;
    fresh.write_job(job);
    ASSERT_EQ(fresh.run(), 0);
    std::vector<std::string> fresh_status = status_lines(fresh.read_file("Vemtrac.sts"));
    ASSERT_EQ(fresh_status.size(), 5u);
    fresh_status[3].clear();

    // Leave the machine in odd states: mid-image settings, another raster
    // unit, HPGL mode, a lowered pen, a job cut short, a job stopped by its
    // tick limit; then the same job again.
    JobFolder folder;
    run_in_process(folder, example_job("mixed_job.cmd"));
    run_in_process(folder, "RasterUnit 7\nRasterDPI 600\nImageWidth 90\nImageHeight 3\n"
                           "RasterSpeedX 3000\nSetStartRasterGraphics 0\nRasterLineOut 0\n"
                           "ToHpglMode 0\npd_default 100 100\nexecute_penselect 99\n");
    run_in_process(folder, example_job("raster_job.cmd"), 5000);
    for (int i = 0; i < 2; ++i) {
        const InProcessRun again = run_in_process(folder, job);
        EXPECT_EQ(again.out, fresh.stdout_text);
        EXPECT_EQ(again.err, fresh.stderr_text);
        EXPECT_EQ(again.status, fresh_status);
    }
}

TEST(MachineReset, AJobPastItsTickLimitEndsThereAndSaysSo)
{
    JobFolder folder;
    const InProcessRun whole = run_in_process(folder, example_job("vector_job.cmd"));
    EXPECT_EQ(whole.status[2], "57809");

    const InProcessRun cut = run_in_process(folder, example_job("vector_job.cmd"), 100000);
    ASSERT_EQ(cut.status.size(), 5u) << cut.err;
    EXPECT_EQ(cut.status[0], "VMTC_OK");
    // Run time counts only the ticks that ran: at most 100000 x 0.4 ms.
    EXPECT_LE(std::stoi(cut.status[2]), 40000);
    EXPECT_GT(std::stoi(cut.status[2]), 30000);
    EXPECT_NE(cut.err.find("longer than the 100000 servo ticks allowed for this run"),
              std::string::npos)
        << cut.err;
    EXPECT_NE(cut.out.find("Job Run Time: "), std::string::npos);
}
