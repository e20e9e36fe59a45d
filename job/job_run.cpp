#include "job/job_run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "base/console.h"
#include "base/debug_trace.h"
#include "base/platform.h"
#include "base/shown_text.h"
#include "base/wrap_math.h"
#include "fwShare/machine_params.h"
#include "fwShare/servo/planner_dump.h"
#include "fwShare/servo/servo_gains.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/start_up.h"
#include "job/entry_log.h"
#include "job/exe_dir.h"
#include "job/file_kind.h"
#include "job/machine_reset.h"
#include "replay/tick_account.h"
#include "replay/tick_runner.h"

namespace {

// Opens the job file of the request; says why on the diagnostic stream, and
// in *reason, when it cannot.
std::FILE* open_requested_file(const char* path, std::string* reason)
{
    const JobFile job_file = open_job_file(path);
    if (job_file.file == nullptr) {
        *reason = job_file.folder ? shown::text(path) + " is a folder"
                                  : "cannot open " + shown::text(path) + ": " +
                                        job_file_error_text(job_file);
        diag_printf("vemtrac: %s\n", reason->c_str());
    }
    return job_file.file;
}

// True, with the reason, when the job handed in is no job file at all (an
// image, a document, a drawing): it is not run, so that it is not taken for
// a job that moves nothing. The machine's own mode reads whatever it finds.
bool refused_as_no_job_file(const JobRequest& request, std::FILE* file, std::string* reason)
{
    if (request.job_bytes) {
        *reason = not_a_job_file_reason(request.job_bytes->substr(0, file_head_size));
    } else if (file != nullptr) {
        *reason = not_a_job_file_reason(open_file_head(file));
    }
    if (reason->empty()) {
        return false;
    }
    if (request.job_path != nullptr) {
        diag_printf("vemtrac: %s is %s\n", shown::text(request.job_path).c_str(), reason->c_str());
    }
    return true;
}

// Closes the job file when the run is over, however it ends.
struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using JobFileHandle = std::unique_ptr<std::FILE, CloseFile>;

// Frees a record as soon as it is committed, so that no tick ever runs
// (a job only read and planned).
void free_on_commit(VdbData* rec)
{
    rec->cmd = NULL_CMD;
}

// A wait of a job only read and planned, with its ring held full: frees
// the record waited for (the oldest, the next to hand out), or every record
// when the wait is for idle; runs no tick.
SvoRunEnd free_waited_records(const VdbData* wait_rec)
{
    VdbData* pool = vector_queue_state.vdb_pool;
    if (wait_rec != nullptr) {
        pool[wait_rec->vdb_index % VDB_POOL_SIZE].cmd = NULL_CMD;
        return SvoRunEnd::condition;
    }
    for (int i = 0; i < VDB_POOL_SIZE; ++i) {
        pool[i].cmd = NULL_CMD;
    }
    SVO_SetVectPtr(nullptr);
    return SvoRunEnd::condition;
}

} // namespace

const char* job_outcome_name(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::ok:
        return "ok";
    case JobOutcome::refused:
        return "refused";
    case JobOutcome::unreadable:
        break;
    }
    return "unreadable";
}

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
    const ConsoleScope console(request.console);
    const std::uint32_t app_start = platform::tick_count_ms();
    JobResult result;
    JobFileHandle file;
    if (request.job_path != nullptr && !request.job_bytes) {
        file.reset(open_requested_file(request.job_path, &result.unreadable_reason));
        if (file == nullptr) {
            return result;
        }
    }
    if (refused_as_no_job_file(request, file.get(), &result.unreadable_reason)) {
        return result;
    }
    CmdOverrides overrides;
    std::string bad_key;
    if (!command_file_resolve_overrides(request.overrides, &overrides, &bad_key)) {
        result.unreadable_reason = "no setting " + shown::text(bad_key) + " to override";
        diag_printf("vemtrac: %s\n", result.unreadable_reason.c_str());
        return result;
    }
    console_printf("Start job working time calculating....\n");
    machine_reset();
    cmd_overrides = overrides;
    set_exe_dir(request.program_path);

    dbg_set(DBG_Event, false);
    if (request.trace_names != nullptr) {
        dbg_enable_list(request.trace_names);
    }
    vdb_dump_flags = request.planner_dump_flags;

    InitHardwareScaleFactor();
    replay_start_job(request.replay, request.tick_limit, request.deadline);
    if (request.plan_only == PlanOnly::freed_at_commit) {
        vdb_add_commit_observer(free_on_commit);
    } else if (request.plan_only == PlanOnly::ring_full) {
        servo_ticks_state.tick_runner = free_waited_records;
    }
    entry_log_state.move_sink = request.move_sink;
    entry_log_state.move_context = request.move_context;
    if (request.account_ticks) {
        tick_account_enable();
        if (request.tally_report) {
            report_tally_enable(request.timeline_row, request.timeline_context);
        }
    }

    bool read = true;
    if (request.job_bytes) {
        const char* label = request.job_path != nullptr ? request.job_path : "the job";
        result.end = job_run_entries(CmdSource{nullptr, *request.job_bytes}, label, app_start);
    } else if (file != nullptr) {
        result.end = job_run_entries(CmdSource{file.get(), {}}, request.job_path, app_start);
    } else {
        job_run_command_file(&result.end);
        read = !result.end.status.empty();
    }
    result.outcome = !read                ? JobOutcome::unreadable
                     : result.end.refused ? JobOutcome::refused
                                          : JobOutcome::ok;
    result.ticks = wrap_sub(job_end_tick, job_start_tick);
    result.overrides = request.overrides;
    return result;
}
