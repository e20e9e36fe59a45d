// Fuzz target: any bytes as a job file, run as a whole job in this process.
// The estimator must finish every job cleanly: no crash, no undefined
// behaviour, no hang, and a status file every time it could create one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "app/command_file.h"
#include "app/debug_trace.h"
#include "app/exe_dir.h"
#include "app/machine_reset.h"
#include "app/tick_thread.h"
#include "fwShare/machine_params.h"

namespace {

// Harness limit, not a product limit: a valid job may run billions of
// ticks, which would stall the fuzzer on slow but correct inputs. Each
// input runs at most this many servo ticks (about 13 minutes of machine
// time), then ends as a job that runs too long does.
constexpr std::uint64_t fuzz_tick_cap = 2'000'000;

std::string job_dir;
std::string job_file;
std::string status_file;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The machine's console lines would drown the fuzzer's own report; run
    // with -close_fd_mask=2 to silence the job's standard error too.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        return 1;
    }
    job_dir = (std::filesystem::temp_directory_path() /
               ("vemtrac-fuzz-" + std::to_string(::getpid())))
                  .string();
    std::filesystem::create_directories(job_dir);
    job_file = job_dir + "/Vemtrac.cmd";
    status_file = job_dir + "/Vemtrac.sts";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::FILE* f = std::fopen(job_file.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    std::remove(status_file.c_str());

    machine_reset();
    dbg_set(DBG_Event, false);
    set_exe_dir((job_dir + "/vemtrac").c_str());
    InitHardwareScaleFactor();
    svo_start_job_ticks(fuzz_tick_cap);
    job_run_command_file();

    // Every job the tool can open ends with a status file of its own.
    if (!std::filesystem::exists(status_file)) {
        std::fprintf(stderr, "job file gave no status file\n");
        std::abort();
    }
    return 0;
}
