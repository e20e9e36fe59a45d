// Estimates at once: jobs run on several threads, each on a machine of its
// own, give byte for byte what they give one after another on one thread
// (console, diagnostics, status lines, ticks per phase, the tick log), on
// the examples and generated jobs; the C interface runs calls of several
// threads at the same time, and so does the service with several workers;
// sweeps and the runs of several jobs hand their
// results and their console on in the order of a single thread.
// The ThreadSanitizer build (the tsan preset) runs these tests alone.
#include "machine_fixture.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "job/parallel_runs.h"
#include "local_server.h"
#include "job_generator.h"
#include "report/what_if.h"
#include "vemtrac/vemtrac.h"

namespace {

// What a job shows and leaves behind.
struct Shown {
    std::string console, diagnostic;
    std::vector<std::string> status;
    std::int32_t ticks = 0;
    std::array<std::int32_t, SVO_PHASE_COUNT> phases{};
    std::vector<std::uint32_t> tick_log;  // first tick, work, phase of every run
    bool operator==(const Shown&) const = default;
};

// Runs the job on m with its console kept, the tick log and a trace on.
Shown run_shown(JobMachine& m, const std::string& job, ReplayMode replay)
{
    ConsoleCapture capture;
    JobRequest request;
    request.job_bytes = job;
    request.console = capture.sink();
    request.trace_names = "ShowJobTime";
    request.replay = replay;
    request.account_ticks = true;
    const JobResult result = m.run_job(request);
    Shown s{capture.console, capture.diagnostic, result.end.status, result.ticks, {}, {}};
    if (s.status.size() > 3) {
        s.status[3].clear();  // the estimator's own run time
    }
    std::memcpy(s.phases.data(), m.phase_tick_count, sizeof m.phase_tick_count);
    for (const TickRun& run : m.tick_account_state.runs) {
        s.tick_log.insert(s.tick_log.end(), {run.first_tick, run.work, run.phase});
    }
    return s;
}

// The examples and some of the differential test's generated jobs, each
// with the replay it runs in.
std::vector<std::pair<std::string, ReplayMode>> jobs_to_run()
{
    std::vector<std::pair<std::string, ReplayMode>> jobs;
    for (const char* name : {"vector_job.cmd", "raster_job.cmd", "mixed_job.cmd"}) {
        jobs.emplace_back(example_job(name), ReplayMode::fast);
        jobs.emplace_back(example_job(name), ReplayMode::full);
    }
    job_generator::Prng rng(20261208u);
    for (int i = 0; i < 24; ++i) {
        jobs.emplace_back(job_generator::random_job(rng),
                          i % 4 == 3 ? ReplayMode::literal : ReplayMode::fast);
    }
    return jobs;
}

// Runs fn(t) on threads threads at once and waits for them all.
template <typename Fn>
void on_threads(int threads, Fn fn)
{
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back(fn, t);
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
}

} // namespace

TEST(Concurrent, JobsOnSeveralThreadsGiveWhatTheyGiveOneAfterAnother)
{
    const auto jobs = jobs_to_run();
    std::vector<Shown> alone;
    for (const auto& [job, replay] : jobs) {
        alone.push_back(run_shown(thread_job_machine(), job, replay));
    }
    // Four threads run every job, each from another place in the list, so
    // that different jobs and the same job run side by side.
    constexpr int threads = 4;
    std::vector<std::vector<Shown>> together(threads, std::vector<Shown>(jobs.size()));
    on_threads(threads, [&](int t) {
        JobMachine& m = thread_job_machine();
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            const std::size_t i = (k + static_cast<std::size_t>(t) * jobs.size() / threads) %
                                  jobs.size();
            together[static_cast<std::size_t>(t)][i] = run_shown(m, jobs[i].first, jobs[i].second);
        }
    });
    for (int t = 0; t < threads; ++t) {
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            EXPECT_TRUE(together[static_cast<std::size_t>(t)][i] == alone[i])
                << "thread " << t << ", job " << i << ":\n" << jobs[i].first;
        }
    }
}

TEST(Concurrent, CInterfaceCallsOfTwoThreadsRunAtTheSameTime)
{
    // Each call's console waits until the other thread's job has written
    // too: with a lock around the jobs neither could go on.
    const std::string job = example_job("mixed_job.cmd");
    struct Meeting {
        std::atomic<int> arrived{0};
        std::atomic<bool> met{false};
    } meeting;
    const auto meet = [](void* context, vemtrac_stream, const char*, size_t) {
        auto* m = static_cast<Meeting*>(context);
        thread_local bool counted = false;
        if (!counted) {
            counted = true;
            ++m->arrived;
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (m->arrived.load() < 2 && std::chrono::steady_clock::now() < until) {
            std::this_thread::yield();
        }
        if (m->arrived.load() == 2) {
            m->met = true;
        }
    };
    vemtrac_result expected{};
    ASSERT_EQ(vemtrac_estimate(job.data(), job.size(), nullptr, &expected), VEMTRAC_SUCCESS);
    std::array<vemtrac_result, 2> results{};
    on_threads(2, [&](int t) {
        vemtrac_options options;
        vemtrac_options_init(&options);
        options.console = meet;
        options.console_context = &meeting;
        vemtrac_estimate(job.data(), job.size(), &options, &results[static_cast<std::size_t>(t)]);
    });
    EXPECT_TRUE(meeting.met);
    for (const vemtrac_result& r : results) {
        EXPECT_EQ(r.run_time_ms, expected.run_time_ms);
        EXPECT_EQ(r.ticks, expected.ticks);
    }
}

TEST(Concurrent, CInterfaceReportsOfManyThreadsAreTheReportsOfOne)
{
    std::vector<std::string> jobs;
    for (const char* name : {"vector_job.cmd", "raster_job.cmd", "mixed_job.cmd"}) {
        jobs.push_back(example_job(name));
    }
    const auto report = [](const std::string& job) {
        char* text = vemtrac_report_json(job.data(), job.size(), nullptr);
        std::string json = text != nullptr ? text : "";
        vemtrac_free(text);
        return json;
    };
    std::vector<std::string> alone;
    for (const std::string& job : jobs) {
        alone.push_back(report(job));
    }
    constexpr int threads = 3;
    std::vector<std::vector<std::string>> together(threads);
    on_threads(threads, [&](int t) {
        for (std::size_t k = 0; k < 2 * jobs.size(); ++k) {
            together[static_cast<std::size_t>(t)].push_back(
                report(jobs[(k + static_cast<std::size_t>(t)) % jobs.size()]));
        }
    });
    for (int t = 0; t < threads; ++t) {
        for (std::size_t k = 0; k < 2 * jobs.size(); ++k) {
            EXPECT_EQ(together[static_cast<std::size_t>(t)][k],
                      alone[(k + static_cast<std::size_t>(t)) % jobs.size()]);
        }
    }
}

TEST(Concurrent, SweepOnSeveralThreadsGivesTheRunsAndConsoleOfOne)
{
    JobRequest request;
    const std::string job = example_job("vector_job.cmd");
    request.job_bytes = job;
    request.trace_names = "ShowJobTime";
    SweepSpec sweep{"VectorSpeed.2", {}};
    for (std::int32_t v = 100; v <= 1000; v += 150) {
        sweep.values.push_back(v);
    }
    const auto run = [&](unsigned threads, std::string* console) {
        ConsoleCapture capture;
        JobRequest r = request;
        r.console = capture.sink();
        std::vector<std::size_t> told;
        const SweepResult result = run_sweep(
            r, sweep, threads,
            [](void* context, std::size_t done, std::size_t) {
                static_cast<std::vector<std::size_t>*>(context)->push_back(done);
            },
            &told);
        *console = capture.console + capture.diagnostic;
        for (std::size_t i = 0; i < told.size(); ++i) {
            EXPECT_EQ(told[i], i + 1);
        }
        return result;
    };
    std::string console_one, console_three;
    const SweepResult one = run(1, &console_one);
    const SweepResult three = run(3, &console_three);
    EXPECT_EQ(console_three, console_one);
    ASSERT_EQ(three.points.size(), one.points.size());
    EXPECT_EQ(three.as_written.ticks, one.as_written.ticks);
    for (std::size_t i = 0; i < one.points.size(); ++i) {
        EXPECT_EQ(three.points[i].value, one.points[i].value);
        EXPECT_EQ(three.points[i].result.ticks, one.points[i].result.ticks);
        EXPECT_EQ(three.points[i].result.end.status[2], one.points[i].result.end.status[2]);
    }
}

TEST(Concurrent, RunsHandTheirConsoleOnInTheirOrderWhicheverEndsFirst)
{
    // Later runs end first; each writes a line before and after its wait.
    constexpr std::size_t runs = 6;
    ConsoleCapture capture;
    std::vector<std::size_t> finished;
    run_in_order(
        runs, 3, capture.sink(),
        [](std::size_t i, JobMachine& m, ConsoleSink console) {
            const ConsoleScope scope(m, console);
            m.console_printf("run %zu starts\n", i);
            std::this_thread::sleep_for(std::chrono::milliseconds(10 * (runs - i)));
            m.diag_printf("run %zu ends\n", i);
        },
        [&](std::size_t i) { finished.push_back(i); });
    std::string expected;
    for (std::size_t i = 0; i < runs; ++i) {
        expected += "run " + std::to_string(i) + " starts\n";
    }
    std::string expected_diagnostic;
    for (std::size_t i = 0; i < runs; ++i) {
        expected_diagnostic += "run " + std::to_string(i) + " ends\n";
    }
    EXPECT_EQ(capture.console, expected);
    EXPECT_EQ(capture.diagnostic, expected_diagnostic);
    EXPECT_EQ(finished, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
}

TEST(Concurrent, ServiceWorkersAnswerWhatOneWorkerAnswers)
{
    std::vector<std::string> jobs;
    for (const auto& [job, replay] : jobs_to_run()) {
        if (replay == ReplayMode::fast) {
            jobs.push_back(job);
        }
    }
    const auto answer = [](httplib::Client& client, const std::string& job) {
        const auto r = client.Post("/v1/estimate", job, "application/octet-stream");
        return r ? std::to_string(r->status) + " " + r->body : std::string("no answer");
    };
    ServeOptions options;
    options.workers = 1;
    std::vector<std::string> alone;
    {
        LocalServer one(options);
        for (const std::string& job : jobs) {
            alone.push_back(answer(one.client(), job));
        }
    }
    options.workers = 2;
    options.queue = 4;
    LocalServer two(options);
    constexpr int clients = 4;
    std::vector<std::vector<std::string>> together(clients);
    on_threads(clients, [&](int t) {
        httplib::Client client("127.0.0.1", two.port());
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            together[static_cast<std::size_t>(t)].push_back(
                answer(client, jobs[(k + static_cast<std::size_t>(t)) % jobs.size()]));
        }
    });
    for (int t = 0; t < clients; ++t) {
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            EXPECT_EQ(together[static_cast<std::size_t>(t)][k],
                      alone[(k + static_cast<std::size_t>(t)) % jobs.size()]);
        }
    }
}
