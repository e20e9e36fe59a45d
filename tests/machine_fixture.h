// Test support: a freshly started machine for every test, captured console
// output, and runs of the built estimator on job files in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct VdbData;

// Puts every global back to its power-on value and runs the machine
// start-up, as the program does before a job. Console output of the
// start-up is swallowed.
void reset_machine();

// A test with a freshly started machine.
class MachineTest : public ::testing::Test {
protected:
    void SetUp() override { reset_machine(); }
};

// Runs fn with standard output captured and returns what it printed.
template <typename Fn>
std::string capture_stdout(Fn fn)
{
    ::testing::internal::CaptureStdout();
    fn();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

// Runs the servo interrupt tick by tick (as the tick thread does) until
// the queue is idle or max_ticks have run. Returns the ticks run.
int run_ticks_until_idle(int max_ticks = 100000000);

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
    // stdout_text and stderr_text; returns the exit code.
    int run(const std::string& env = "");
    std::string stdout_text;
    std::string stderr_text;

private:
    std::string path_;
};

// Splits the status file into its lines (each ending CR LF CR).
std::vector<std::string> status_lines(const std::string& bytes);
