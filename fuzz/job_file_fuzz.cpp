// Fuzz target: any bytes as a job file. The estimator must finish every job
// cleanly: no crash, no undefined behaviour, no hang.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "app/command_file.h"
#include "app/exe_dir.h"
#include "fwShare/machine_params.h"
#include "machine_reset.h"

namespace {
std::string job_dir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The machine's console lines would drown the fuzzer's own report.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        return 1;
    }
    job_dir = (std::filesystem::temp_directory_path() /
               ("vemtrac-fuzz-" + std::to_string(::getpid())))
                  .string();
    std::filesystem::create_directories(job_dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string job = job_dir + "/Vemtrac.cmd";
    std::FILE* f = std::fopen(job.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    reset_machine_globals();
    InitHardwareScaleFactor();
    set_exe_dir((job_dir + "/vemtrac").c_str());
    job_run_command_file();
    return 0;
}
