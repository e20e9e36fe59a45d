#include "job/job_run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "base/platform.h"
#include "base/shown_text.h"
#include "base/wrap_math.h"
#include "job/file_kind.h"
#include "job/job_machine.h"

// Opens the job file of the request; says why on the diagnostic stream, and
// in *reason, when it cannot.
std::FILE* JobMachine::open_requested_file(const char* path, std::string* reason)
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
bool JobMachine::refused_as_no_job_file(const JobRequest& request, std::FILE* file,
                                        std::string* reason)
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

namespace {

// Closes the job file when the run is over, however it ends.
struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using JobFileHandle = std::unique_ptr<std::FILE, CloseFile>;

// Frees a record as soon as it is committed, so that no tick ever runs
// (a job only read and planned).
void free_on_commit(Machine&, VdbData* rec)
{
    rec->cmd = NULL_CMD;
}

// A wait of a job only read and planned, with its ring held full: frees
// the record waited for (the oldest, the next to hand out), or every record
// when the wait is for idle; runs no tick.
SvoRunEnd free_waited_records(Machine& m, const VdbData* wait_rec)
{
    VdbData* pool = m.vdb_pool;
    if (wait_rec != nullptr) {
        pool[wait_rec->vdb_index % VDB_POOL_SIZE].cmd = NULL_CMD;
        return SvoRunEnd::condition;
    }
    for (int i = 0; i < VDB_POOL_SIZE; ++i) {
        pool[i].cmd = NULL_CMD;
    }
    m.SVO_SetVectPtr(nullptr);
    return SvoRunEnd::condition;
}

// Marks a machine as running a job for as long as it lives.
class JobRunning {
public:
    explicit JobRunning(bool& running) : running_(running) { running_ = true; }
    ~JobRunning() { running_ = false; }
    JobRunning(const JobRunning&) = delete;
    JobRunning& operator=(const JobRunning&) = delete;

private:
    bool& running_;
};

// The console of a job whose report is tallied: the machine's own lines
// go to the tally on their way to the job's sink.
void tally_then_write(void* context, ConsoleStream stream, const char* text, std::size_t size)
{
    auto& m = *static_cast<JobMachine*>(context);
    if (stream == ConsoleStream::console) {
        m.report_tally_console(std::string_view(text, size));
    }
    m.tallied_console.receive(m.tallied_console.context, stream, text, size);
}

// The sink a job runs with: the request's, behind the tally when the
// report is tallied.
ConsoleSink job_console(JobMachine& m, const JobRequest& request)
{
    if (!request.account_ticks || !request.tally_report) {
        return request.console;
    }
    m.tallied_console = request.console.receive != nullptr ? request.console
                                                         : console_standard_sink();
    return ConsoleSink{tally_then_write, &m};
}

} // namespace

const char* job_outcome_name(JobOutcome outcome)
{
    return outcome == JobOutcome::ok        ? "ok"
           : outcome == JobOutcome::refused ? "refused"
                                            : "unreadable";
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

JobResult JobMachine::run_job(const JobRequest& request)
{
    const JobRunning running(job_running);
    const ConsoleScope console(*this, job_console(*this, request));
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
    start_up_for(request, overrides);

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

void JobMachine::start_up_for(const JobRequest& request, const CmdOverrides& overrides)
{
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
        tick_runner = free_waited_records;
    }
    entry_log_state.move_sink = request.move_sink;
    entry_log_state.move_context = request.move_context;
    if (request.account_ticks) {
        tick_account_enable();
        if (request.tally_report) {
            report_tally_enable(request.timeline_row, request.timeline_context);
            report_tally_state.show_progress = request.show_progress;
        }
    }
}

JobMachine& thread_job_machine()
{
    // A job started from a callback of a job running on this thread gets a
    // machine of its own.
    thread_local std::vector<std::unique_ptr<JobMachine>> machines;
    for (const std::unique_ptr<JobMachine>& m : machines) {
        if (!m->job_running) {
            return *m;
        }
    }
    // Default-initialized: each member takes its power-on value once.
    machines.push_back(std::unique_ptr<JobMachine>(new JobMachine));
    return *machines.back();
}

JobResult run_job(const JobRequest& request)
{
    return thread_job_machine().run_job(request);
}
