#include "serve/estimate_queue.h"

#include <algorithm>
#include <chrono>
#include <string_view>

#include "base/console.h"
#include "job/job_machine.h"
#include "job/job_run.h"
#include "job/report_tally.h"
#include "replay/tick_account.h"
#include "serve/serve_connection.h"

namespace {

// Drops a job's console: the report's tally reads the machine's warnings
// from it before, the answers hold what is asked, and the server's log
// stays clean.
void drop_console(void*, ConsoleStream, const char*, std::size_t) {}

// The value a setting ran at: the override's when there is one, else the
// job's own.
std::int32_t value_ran_at(const std::string& bytes, const SettingOverrides& overrides,
                           const std::string& key)
{
    for (const SettingOverride& setting : overrides) {
        if (setting.key == key) {
            return setting.value;
        }
    }
    return setting_as_written(bytes, key);
}

// The settings the job uses that a what-if can change: each pen it cuts
// with, in pen order, and with raster passes the raster speeds and banding.
std::vector<JobSetting> job_settings(const JobReport& report, const std::string& bytes,
                                     const SettingOverrides& overrides)
{
    std::vector<std::string> keys;
    bool raster = false;
    std::vector<std::int32_t> pens;
    for (const ActivityTicks& a : report.activities) {
        if (a.kind == WORK_CUT && a.index >= 1 && a.index <= 16) {
            pens.push_back(a.index);
        }
        raster = raster || a.kind == WORK_RASTER_PASS;
    }
    std::sort(pens.begin(), pens.end());
    pens.erase(std::unique(pens.begin(), pens.end()), pens.end());
    for (const std::int32_t pen : pens) {
        keys.push_back("VectorSpeed." + std::to_string(pen));
    }
    if (raster) {
        keys.insert(keys.end(), {"RasterSpeedX", "RasterSpeedY", "RasterBandingFree"});
    }
    std::vector<JobSetting> settings;
    for (const std::string& key : keys) {
        settings.emplace_back(key, value_ran_at(bytes, overrides, key));
    }
    return settings;
}

// When an estimate that starts now must end.
ReplayClock::time_point deadline_from_now(const ServeOptions& options)
{
    return ReplayClock::now() + std::chrono::milliseconds(options.time_limit_ms);
}

// Answers 503: the client may try again in a second.
bool busy(httplib::Response& res, const std::string& why)
{
    send_error(res, 503, why + "; try again shortly");
    res.set_header("Retry-After", "1");
    return false;
}

// The job run itself on a machine held, its console kept out of the
// answers; a job still running at the deadline is cut short.
void run_held(JobMachine& machine, const std::string& bytes, const EstimateAsk& ask,
              ReplayClock::time_point deadline, const DesignNote& design, EstimateRun* out)
{
    TimelineKeep* keep = out->keep.get();
    if (keep != nullptr) {
        keep->run_on(machine);
    }
    const JobRequest request{
        .job_bytes = bytes,
        .console = ConsoleSink{drop_console, nullptr},
        .tick_limit = ask.tick_limit,
        .deadline = deadline,
        .replay = ask.replay,
        .overrides = ask.overrides,
        .account_ticks = true,
        .tally_report = true,
        .timeline_row = keep ? TimelineKeep::keep_row : nullptr,
        .timeline_context = keep,
        .move_sink = keep && keep->with_moves() ? TimelineKeep::keep_move : nullptr,
        .move_context = keep};
    const JobResult result = machine.run_job(request);
    const bool read = result.outcome != JobOutcome::unreadable;
    out->rate = ask.rate;
    out->report = read ? make_job_report(machine, ask.name, result)
                       : unreadable_job_report(ask.name, result.unreadable_reason);
    if (read && design.is_design) {
        add_pass_times(machine, request, result, design.pass_times, design.with_passes,
                       &out->report);
    }
    if (keep != nullptr) {
        keep->start_x = machine.entry_log_state.start_x;
        keep->start_y = machine.entry_log_state.start_y;
    }
    if (read) {
        out->settings = job_settings(out->report, bytes, ask.overrides);
    }
    // What the run tallied grows with the job: it goes now, not at the
    // next run's start, so that the memory goes back to the host.
    machine.report_tally_reset();
    machine.entry_log_reset();
    machine.tick_account_reset();
}

// Puts the import's warnings before the report's own, as the program's
// report of a design has them.
void add_import_warnings(const std::vector<std::string>& warnings, JobReport* report)
{
    std::vector<ReportWarning> first;
    for (const std::string& warning : warnings) {
        first.push_back(ReportWarning{"design_import", 0, warning});
    }
    report->warnings.insert(report->warnings.begin(), first.begin(), first.end());
}

} // namespace

// Takes a place in the queue when one is free.
bool EstimateQueue::enter_queue()
{
    std::lock_guard<std::mutex> lock(count_mutex_);
    if (waiting_ >= options_.queue) {
        return false;
    }
    ++waiting_;
    return true;
}

// Gives the place up, a machine taken or the wait given up.
void EstimateQueue::leave_queue()
{
    std::lock_guard<std::mutex> lock(count_mutex_);
    --waiting_;
}

template <class Work>
bool EstimateQueue::hold_machine(httplib::Response& res, Work work)
{
    if (!enter_queue()) {
        return busy(res, "too many estimates are waiting");
    }
    JobMachine* const machine = machines_.take(std::chrono::seconds(options_.timeout_s));
    leave_queue();
    if (machine == nullptr) {
        return busy(res,
                    "the machine stayed busy for " + std::to_string(options_.timeout_s) + " s");
    }
    struct GiveBack {
        MachinePool& pool;
        JobMachine* machine;
        ~GiveBack() { pool.give_back(machine); }
    } const give_back{machines_, machine};
    return work(*machine);
}

bool EstimateQueue::import_in_place(std::string& body, const EstimateAsk& ask,
                                    httplib::Response& res, TimelineKeep* keep,
                                    DesignNote* note) const
{
    const std::size_t design_bytes = body.size();
    const std::size_t allowed = import_allowance(options_.memory_budget, design_bytes);
    ImportedBody design = import_body(body, ask.name, ask.import_args, allowed, false);
    if (!design.is_design) {
        return true;
    }
    if (!design.ok) {
        send_error(res, 422, design_refusal(design, options_.memory_budget, design_bytes));
        return false;
    }
    // The job takes the design's place, and the design's memory goes: what
    // the job holds beyond it comes out of what the timeline may keep.
    body.swap(design.job);
    std::string().swap(design.job);
    connection_note_memory(allowed);
    if (keep != nullptr && body.size() > design_bytes) {
        keep->hold_back(body.size() - design_bytes);
    }
    note->summary_json = std::move(design.summary_json);
    note->warnings = std::move(design.warnings);
    note->pass_times = std::move(design.pass_times);
    note->with_passes = std::move(design.with_passes);
    note->is_design = true;
    return true;
}

bool EstimateQueue::estimate(const httplib::Request& req, std::string& body, httplib::Response& res,
                        EstimateRun* out)
{
    EstimateAsk ask;
    if (!read_ask(req, body, res, options_, &ask)) {
        return false;
    }
    return hold_machine(res, [&](JobMachine& machine) {
        // The import's time counts against the estimate's.
        const ReplayClock::time_point deadline = deadline_from_now(options_);
        DesignNote design;
        if (!import_in_place(body, ask, res, out->keep.get(), &design)) {
            return false;
        }
        run_held(machine, body, ask, deadline, design, out);
        out->design_summary = std::move(design.summary_json);
        add_import_warnings(design.warnings, &out->report);
        return true;
    });
}

bool EstimateQueue::sweep(const httplib::Request& req, std::string& body, httplib::Response& res,
                          const SweepSpec& sweep_asked, SweepResult* out, std::string* name)
{
    EstimateAsk ask;
    std::string clash;
    if (!read_ask(req, body, res, options_, &ask)) {
        return false;
    }
    if (!sweep_leaves_settings(sweep_asked, ask.overrides, &clash)) {
        send_error(res, 400, "set and key: " + clash);
        return false;
    }
    *name = ask.name;
    // The whole sweep has one estimate's time and one machine: a point
    // still running when the time is over is cut short, and so are the
    // points after it.
    return hold_machine(res, [&](JobMachine& machine) {
        const ReplayClock::time_point deadline = deadline_from_now(options_);
        DesignNote design;
        if (!import_in_place(body, ask, res, nullptr, &design)) {
            return false;
        }
        const JobRequest request{.job_bytes = body,
                                 .console = ConsoleSink{drop_console, nullptr},
                                 .tick_limit = ask.tick_limit,
                                 .deadline = deadline,
                                 .replay = ask.replay,
                                 .overrides = ask.overrides};
        *out = run_sweep(machine, request, sweep_asked);
        return true;
    });
}

bool EstimateQueue::import(const httplib::Request& req, const std::string& body,
                           httplib::Response& res, ImportedBody* out)
{
    EstimateAsk ask;
    if (!read_ask(req, body, res, options_, &ask)) {
        return false;
    }
    // The import takes a worker's time as an estimate does: it waits for a
    // machine, which it leaves alone.
    return hold_machine(res, [&](JobMachine&) {
        const std::size_t allowed = import_allowance(options_.memory_budget, body.size());
        *out = import_body(body, ask.name, ask.import_args, allowed, true);
        connection_note_memory(allowed);
        if (!out->ok) {
            send_error(res, 422, design_refusal(*out, options_.memory_budget, body.size()));
        }
        return out->ok;
    });
}
