// A job run writes through the sink it is given and nowhere else: the
// console lines and the diagnostics reach a caller's callback, the process's
// standard output and standard error stay untouched, and a job given as
// bytes runs as the same job read from its file.
#include "machine_fixture.h"

#include "job/job_run.h"
#include "job/report_tally.h"
#include "replay/tick_account.h"

namespace {

// A caller's callback: keeps each stream's writes and counts them.
struct CallerLines {
    std::string console, diagnostic;
    int writes = 0;
};

void keep_lines(void* context, ConsoleStream stream, const char* text, std::size_t size)
{
    auto* lines = static_cast<CallerLines*>(context);
    (stream == ConsoleStream::console ? lines->console : lines->diagnostic).append(text, size);
    ++lines->writes;
}

struct ProcessOutput {
    std::string out, err;
};

// Runs the request with the process's standard output and error captured.
ProcessOutput run_captured(const JobRequest& request, JobResult* result)
{
    ProcessOutput p;
    ::testing::internal::CaptureStderr();
    p.out = capture_stdout([&] { *result = run_job(request); });
    p.err = ::testing::internal::GetCapturedStderr();
    return p;
}

} // namespace

TEST(ConsoleSink, CallbackGetsEveryLineAndTheProcessNone)
{
    // A pen above 16 stops the job with a diagnostic; traces on as well.
    const std::string job = example_job("vector_job.cmd") + "execute_penselect 17\n";
    JobRequest request;
    request.job_bytes = job;
    request.trace_names = "ShowJobTime";
    JobResult standard;
    const ProcessOutput expected = run_captured(request, &standard);

    CallerLines lines;
    request.console = ConsoleSink{keep_lines, &lines};
    JobResult called;
    const ProcessOutput process = run_captured(request, &called);

    EXPECT_EQ(process.out, "");
    EXPECT_EQ(process.err, "");
    EXPECT_EQ(lines.console, expected.out);
    EXPECT_EQ(lines.diagnostic, expected.err);
    EXPECT_NE(lines.console.find("T00000 JobTimeTick: "), std::string::npos);
    EXPECT_NE(lines.diagnostic.find("entry"), std::string::npos) << lines.diagnostic;
    EXPECT_GT(lines.writes, 10);
    EXPECT_EQ(called.end.run_time.ms, standard.end.run_time.ms);
    EXPECT_EQ(called.outcome, JobOutcome::ok);

    // The sink was the run's alone: what follows goes to standard output again.
    EXPECT_EQ(capture_stdout([&] { thread_job_machine().console_printf("after\n"); }), "after\n");
}

TEST(ConsoleSink, JobFromMemoryRunsAsFromItsFileAndAnUnreadableOneNotAtAll)
{
    JobFolder folder;
    const std::string job = "\xEF\xBB\xBF" + example_job("mixed_job.cmd");
    folder.write_job(job);
    const std::string path = folder.path() + "/Vemtrac.cmd";

    ConsoleCapture from_file, from_memory;
    JobRequest request;
    request.job_path = path.c_str();
    request.console = from_file.sink();
    const JobResult file_result = run_job(request);
    request.job_path = nullptr;
    request.job_bytes = job;
    request.console = from_memory.sink();
    const JobResult memory_result = run_job(request);
    EXPECT_EQ(from_memory.console, from_file.console);
    EXPECT_EQ(memory_result.ticks, file_result.ticks);
    EXPECT_EQ(memory_result.end.run_time.ms, file_result.end.run_time.ms);
    EXPECT_TRUE(memory_result.end.complete);

    // A folder for a job file: nothing runs, the reason is the report's.
    ConsoleCapture none;
    JobRequest folder_request;
    folder_request.job_path = folder.path().c_str();
    folder_request.console = none.sink();
    const JobResult unreadable = run_job(folder_request);
    EXPECT_EQ(unreadable.outcome, JobOutcome::unreadable);
    EXPECT_EQ(unreadable.unreadable_reason, folder.path() + " is a folder");
    EXPECT_EQ(none.console, "");
    EXPECT_EQ(none.diagnostic, "vemtrac: " + folder.path() + " is a folder\n");
}

// The report takes the machine's own warnings from its console lines: the
// long-vector line once per record, the crowded-queue lines as they come
// (only counted past the kept number); other lines are no warnings.
using ReportWarnings = MachineTest;

TEST_F(ReportWarnings, ComeFromTheMachinesOwnConsoleLines)
{
    reset_machine();
    tick_account_enable();
    report_tally_enable(nullptr, nullptr);
    report_tally_console("disth > 0x1000000\n");
    report_tally_console("dccDist(12)\n");
    for (int i = 0; i < 30; ++i) {
        report_tally_console("disth1(40)SVO_Vect().majrvel(3)\n");
    }
    report_tally_console("m_npbdrvCnt(100)\n");
    std::size_t long_vector = 0;
    std::size_t crowded = 0;
    for (const ReportWarning& w : report_tally_state.warnings) {
        long_vector += w.kind == "long_vector" ? 1u : 0u;
        crowded += w.kind == "crowded_queue" ? 1u : 0u;
    }
    EXPECT_EQ(long_vector, 1u);
    EXPECT_EQ(crowded, warnings_per_kind_max);
    report_tally_reset();
    tick_account_reset();
}
