// Test support: a freshly started machine for every test, captured console
// output, and runs of the built estimator on job files in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "job/job_machine.h"

// Runs fn with standard output captured and returns what it printed.
template <typename Fn>
std::string capture_stdout(Fn fn)
{
    ::testing::internal::CaptureStdout();
    fn();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

// Fills rec as the planner does for a move along +X at CREEP_VELOCITY 1:
// 1 count per tick to start, 720 x 2^9 (0.044 counts per tick) more per
// acceleration step, up to `steps` steps.
void plan_straight_vector(VdbData* rec, std::int32_t distance, std::uint16_t steps);

// A job machine with the tests' helpers: a test or a helper of its own
// made a member of a class derived from it reaches the machine's state by
// its firmware names.
struct TestMachine : JobMachine {
    // Puts every global back to its power-on value and runs the machine
    // start-up, as the program does before a job. Console output of the
    // start-up is swallowed.
    void reset_machine();

    // The lines fn prints under a trace category, each from prefix on; the
    // whole console output goes to *console when asked for.
    template <typename Fn>
    std::vector<std::string> traced_lines(int category, const std::string& prefix, Fn fn,
                                          std::string* console = nullptr)
    {
        const bool was_on = dbg_enabled(category);
        dbg_set(category, true);
        std::string out = capture_stdout(fn);
        dbg_set(category, was_on);
        if (console != nullptr) {
            *console = out;
        }
        std::erase(out, '\r');
        std::istringstream text(out);
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);) {
            const std::size_t at = line.find(prefix);
            if (at != std::string::npos) {
                lines.push_back(line.substr(at));
            }
        }
        return lines;
    }

    // The queue calls (pen and move-kind records, moves) that fn makes, as
    // the move-call trace prints them, e.g. "srvo_on_ve(30,-12,0,0);".
    template <typename Fn>
    std::vector<std::string> queue_calls(Fn fn, std::string* console = nullptr)
    {
        return traced_lines(DBG_SvoVdbCmd, "srvo_on_", fn, console);
    }

    // Hands out a record, plans it straight, commits it with the servo on line.
    VdbData* commit_straight_vector(std::int32_t distance, std::uint16_t steps,
                                    std::uint16_t end_delay = 0);

    // Profile globals and end delays of a pen-down move with 800 acceleration
    // steps of 3600 (CREEP_VELOCITY 2, lowest corner speed 240, delays
    // 24/100/3), as the planner reads them.
    void load_pen_down_planning();

    // Hands out the next record, plans the move (dx, dy) into it and commits it.
    VdbData* plan_and_commit(std::int32_t dx, std::int32_t dy);

    // Starts a job (servo on line, clock armed) and sets up a raster image
    // 3048 units wide (300 dots at 300 dpi), 3 lines at 254 lines per inch
    // (12 units a line), at full X speed and half Y speed.
    void start_raster_job();

    // Runs the servo interrupt one svo_isr call at a time (the reference a
    // run of ticks is held against) until the queue is idle or max_ticks have
    // run. Returns the ticks run.
    int run_ticks_until_idle(int max_ticks = 100000000);
};

// A test with a freshly started machine of its own: the test's body and
// the fixture's helpers reach the machine's state by its firmware names.
class MachineTest : public ::testing::Test, public TestMachine {
protected:
    void SetUp() override { reset_machine(); }
};

// A scratch folder with the estimator binary copied into it.
class JobFolder {
public:
    JobFolder();
    ~JobFolder();
    JobFolder(const JobFolder&) = delete;
    JobFolder& operator=(const JobFolder&) = delete;

    const std::string& path() const { return path_; }
    void write_job(const std::string& text) const;
    void write_file(const std::string& name, const std::string& bytes) const;
    bool has_file(const std::string& name) const;
    std::string read_file(const std::string& name) const;

    // Runs the copied binary with the given environment prefix; fills
    // stdout_text and stderr_text; returns the exit code (-1 when the
    // binary could not start or ended by a signal).
    int run(const std::string& env = "");
    std::string stdout_text;
    std::string stderr_text;

private:
    std::string path_;
};

// The whole content of a file, byte for byte.
std::string read_all(const std::filesystem::path& p);

// One of the example jobs in examples/.
std::string example_job(const std::string& name);

// A long, slow job: a zig-zag of cuts of 500 mm at speed code 9, about 48 s
// of machine time (120 000 ticks) each.
std::string slow_zigzag_job(int cuts);

// Splits the status file into its lines (each ending CR LF CR).
std::vector<std::string> status_lines(const std::string& bytes);
