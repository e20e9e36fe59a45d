#include "app/job_run.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/exe_dir.h"
#include "app/machine_reset.h"
#include "base/debug_trace.h"
#include "base/platform.h"
#include "base/shown_text.h"
#include "base/wrap_math.h"
#include "fwShare/machine_params.h"
#include "fwShare/servo/servo_gains.h"
#include "fwShare/start_up.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/servo/planner_dump.h"
#include "replay/tick_runner.h"
#include "replay/tick_account.h"

namespace {

// Opens a job file given by path; says why on standard error when it cannot.
std::FILE* open_job_file(const char* path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        std::fprintf(stderr, "vemtrac: cannot open %s: it is a folder\n", shown::text(path).c_str());
        return nullptr;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "vemtrac: cannot open %s: %s\n", shown::text(path).c_str(), std::strerror(errno));
    }
    return file;
}

// The bytes of a job as a file to read from.
std::FILE* open_job_bytes(const std::string& bytes)
{
    std::FILE* file = std::tmpfile();
    if (file == nullptr) {
        std::fprintf(stderr, "vemtrac: cannot make a scratch file for the job: %s\n",
                     std::strerror(errno));
        return nullptr;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    return file;
}

// Runs the job from a file opened here; no status file is written.
bool run_job_from(std::FILE* file, const char* label, std::uint32_t app_start, JobEnd* end)
{
    if (file == nullptr) {
        return false;
    }
    *end = job_run_entries(file, label, app_start);
    std::fclose(file);
    return true;
}

// Frees a record as soon as it is committed, so that no tick ever runs
// (a job only read and planned).
void free_on_commit(VdbData* rec)
{
    rec->cmd = NULL_CMD;
}

} // namespace

bool replay_by_name(const std::string& name, ReplayMode* mode)
{
    if (name == "fast" || name == "full" || name == "literal") {
        *mode = name == "fast" ? ReplayMode::fast
                : name == "full" ? ReplayMode::full
                                 : ReplayMode::literal;
        return true;
    }
    return false;
}

ReplayMode replay_from_environment()
{
    const char* name = std::getenv("VEMTRAC_REPLAY");
    ReplayMode mode = ReplayMode::fast;
    if (name != nullptr) {
        replay_by_name(name, &mode);
    }
    return mode;
}

JobResult run_job(const JobRequest& request)
{
    const std::uint32_t app_start = platform::tick_count_ms();
    std::printf("Start job working time calculating....\n");
    machine_reset();
    set_exe_dir(request.program_path);

    dbg_set(DBG_Event, false);
    if (request.trace_names != nullptr) {
        dbg_enable_list(request.trace_names);
    }
    vdb_dump_flags = request.planner_dump_flags;

    InitHardwareScaleFactor();
    replay_start_job(request.replay, request.tick_limit);
    if (request.plan_only) {
        vdb_add_commit_observer(free_on_commit);
    }
    if (request.account_ticks) {
        tick_account_enable();
        if (request.tally_report) {
            report_tally_enable(request.timeline_row, request.timeline_context);
        }
    }

    JobResult result;
    if (request.job_bytes != nullptr) {
        result.read = run_job_from(open_job_bytes(*request.job_bytes), "the job", app_start,
                                   &result.end);
    } else if (request.job_path != nullptr) {
        result.read = run_job_from(open_job_file(request.job_path), request.job_path, app_start,
                                   &result.end);
    } else {
        job_run_command_file(&result.end);
        result.read = !result.end.status.empty();
    }
    result.status_ok = !result.end.status.empty() && result.end.status[0] == "VMTC_OK";
    result.ticks = wrap_sub(job_end_tick, job_start_tick);
    return result;
}
