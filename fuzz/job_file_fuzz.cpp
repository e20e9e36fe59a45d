// Fuzz target: any bytes as a job file, run as a whole job in this process.
// The estimator must finish every job cleanly: no crash, no undefined
// behaviour, no hang, and a status file every time it could create one.
//
// An input whose first line is "#trace <names>" switches those trace
// categories on first, as VEMTRAC_DEBUG does, and the planner dumps, so that
// the trace lines and dumps see hostile jobs too; the job is the rest.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "job/job_machine.h"

namespace {

// Harness limit, not a product limit: a valid job may run billions of
// ticks, which would stall the fuzzer on slow but correct inputs. Each
// input runs at most this many servo ticks (about 13 minutes of machine
// time), then ends as a job that runs too long does.
constexpr std::uint64_t fuzz_tick_cap = 2'000'000;

std::string job_dir;
std::string job_file;
std::string status_file;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The machine's console lines would drown the fuzzer's own report: the
    // job runs with them dropped (the diagnostics still go to standard error;
    // run with -close_fd_mask=2 to silence them too).
    job_dir = (std::filesystem::temp_directory_path() /
               ("vemtrac-fuzz-" + std::to_string(::getpid())))
                  .string();
    std::filesystem::create_directories(job_dir);
    job_file = job_dir + "/Vemtrac.cmd";
    status_file = job_dir + "/Vemtrac.sts";
    return 0;
}

// Splits off a leading "#trace <names>" line; returns the names.
std::string take_trace_line(const std::uint8_t*& data, std::size_t& size)
{
    static constexpr char tag[] = "#trace ";
    constexpr std::size_t tag_size = sizeof tag - 1;
    if (size < tag_size || std::memcmp(data, tag, tag_size) != 0) {
        return {};
    }
    std::size_t end = tag_size;
    while (end < size && data[end] != '\n') {
        ++end;
    }
    std::string names(reinterpret_cast<const char*>(data) + tag_size, end - tag_size);
    names = names.c_str();  // a NUL ends the list, as it would end an environment string
    const std::size_t rest = end < size ? end + 1 : end;
    data += rest;
    size -= rest;
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string trace_names = take_trace_line(data, size);
    std::FILE* f = std::fopen(job_file.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    std::remove(status_file.c_str());

    const std::string program = job_dir + "/vemtrac";
    JobRequest request;
    request.program_path = program.c_str();
    if (!trace_names.empty()) {
        request.trace_names = trace_names.c_str();
        request.planner_dump_flags = 3;  // and both planner dumps after every move
    }
    request.tick_limit = fuzz_tick_cap;
    request.console = console_quiet_sink();
    run_job(request);

    // Every job the tool can open ends with a status file of its own.
    if (!std::filesystem::exists(status_file)) {
        std::fprintf(stderr, "job file gave no status file\n");
        std::abort();
    }
    return 0;
}
