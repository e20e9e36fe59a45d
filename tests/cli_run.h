// The command line through the built binary: a scratch folder to run it
// in, its captured output, and checks the report's tests share.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "machine_fixture.h"

namespace cli_test {

namespace fs = std::filesystem;
using nlohmann::json;

// A scratch folder to run in, and the run's captured output kept apart
// from it, so that the folder holds only what the run wrote.
class CliRun {
public:
    CliRun()
    {
        char work[] = "/tmp/vemtrac_cli_XXXXXX";
        char capture[] = "/tmp/vemtrac_cap_XXXXXX";
        dir_ = mkdtemp(work);
        capture_ = mkdtemp(capture);
    }
    ~CliRun()
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
        fs::remove_all(capture_, ec);
    }
    CliRun(const CliRun&) = delete;
    CliRun& operator=(const CliRun&) = delete;

    fs::path dir() const { return dir_; }
    void write(const std::string& name, const std::string& text) const
    {
        fs::create_directories((dir_ / name).parent_path());
        std::FILE* f = std::fopen((dir_ / name).c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    std::set<std::string> files() const
    {
        std::set<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(dir_)) {
            names.insert(fs::relative(e.path(), dir_).string());
        }
        return names;
    }
    // Runs the binary in the folder with the arguments; returns the exit code.
    // Standard output goes to stdout_to when given (e.g. /dev/full).
    int run(const std::string& args, const std::string& env = "", const std::string& stdout_to = "")
    {
        const std::string out_file = stdout_to.empty() ? (capture_ / "out").string() : stdout_to;
        const std::string command = "cd '" + dir_.string() + "' && " + env + " '" VEMTRAC_BINARY
                                    "' " + args + " >'" + out_file + "' 2>'" +
                                    (capture_ / "err").string() + "'";
        const int status = std::system(command.c_str());
        out = stdout_to.empty() ? read_all(capture_ / "out") : "";
        err = read_all(capture_ / "err");
        return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string out, err;

private:
    fs::path dir_, capture_;
};

// Two raster images between vector work with three pens, cut short by an
// entry the interpreter does not know.
inline std::string pens_images_cut_short()
{
    std::string job =
        "VemtracCmdVer 1\nToHpglMode 0\nexecute_penselect 1\npu_default 1016 1016\n"
        "pd_default 2032 0\nexecute_penselect 2\npu_default 0 508\npd_default 0 2032\n"
        "ToPclMode 0\n"
        "RasterDPI 300\nRasterUnit 254\nRasterSpeedX 1000\nRasterSpeedY 1000\n"
        "RasterBandingFree 1\nImageWidth 300\nImageHeight 20\n";
    for (const char* at : {"SetHorizontalPositionPCL 1 300\nSetVerticalPositionPCL 1 254\n",
                           "SetHorizontalPositionPCL 1 1200\nSetVerticalPositionPCL 1 600\n"}) {
        job += std::string(at) + "SetStartRasterGraphics 0\n";
        for (int line = 0; line < 20; ++line) {
            job += "RasterLineOut 0\n";
        }
        job += "SetEndRasterGraphics 0\n";
    }
    return job + "ToHpglMode 0\nexecute_penselect 3\npu_default 508 0\npd_default -1016 -1016\n"
                 "bogus 0\n"
                 "pd_default 1016 0\n";
}

inline std::int64_t sum_values(const json& object)
{
    std::int64_t sum = 0;
    for (const auto& [name, ticks] : object.items()) {
        sum += ticks.get<std::int64_t>();
    }
    return sum;
}

// The report's own arithmetic: phases and activities each add up to the
// ticks, and the ticks give the estimate.
inline void expect_sums(const json& job)
{
    const auto ticks = job.at("ticks").get<std::int64_t>();
    EXPECT_EQ(sum_values(job.at("phases")), ticks) << job.at("job");
    std::int64_t activity_ticks = 0;
    for (const json& a : job.at("activities")) {
        activity_ticks += a.at("ticks").get<std::int64_t>();
    }
    EXPECT_EQ(activity_ticks, ticks) << job.at("job");
    EXPECT_EQ(job.at("run_time_ms").get<std::int64_t>(), ticks * 2 / 5) << job.at("job");
}

inline std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

}  // namespace cli_test
