// The machine with its job driver: the estimator's machine (replay/) and
// the state of the job being run: the interpreter of the job file, the
// executable's folder, the entry log and the report's tally. One job at a
// time runs on a job machine, from its power-on reset (run_job); the
// reports of a job read what its machine gathered.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "job/command_file.h"
#include "job/entry_log.h"
#include "job/exe_dir.h"
#include "job/job_clock.h"
#include "job/job_run.h"
#include "job/report_tally.h"
#include "replay/replay_machine.h"

struct JobMachine : ReplayMachine, CommandFileState, ExeDirState {
    // What each entry set in motion, and the report's figures gathered as
    // the job runs (job/entry_log.h, job/report_tally.h).
    EntryLogState entry_log_state;
    ReportTallyState report_tally_state;
    // The sink of the job being run, when the tally watches the console in
    // front of it.
    ConsoleSink tallied_console;
    // A job is running on the machine (run_job has not returned).
    bool job_running = false;

    // Prints the banner, puts the machine in its power-on state, starts it up
    // and runs the job. Everything the run writes goes to the request's sink;
    // a job file that cannot be opened ends the run before the banner.
    JobResult run_job(const JobRequest& request);

    // Puts every module back to its power-on state (job/machine_reset.h).
    void machine_reset();

    // --- The interpreter (job/command_file.h) ---

    // Puts the interpreter's state back to its power-on values.
    void command_file_reset() { static_cast<CommandFileState&>(*this) = CommandFileState{}; }
    // Runs the entries of a job (an open job file or bytes in memory) as the
    // job: arms the job clock, reads and runs every entry, then (unless the
    // job is refused) waits for the last motion, stops the clock, takes the
    // servo off line and prints the run-time line. file_label names the file
    // in messages about bad entries; app_start is the host's millisecond
    // clock when the job began.
    JobEnd job_run_entries(const CmdSource& cmd, const char* file_label, std::uint32_t app_start);
    // The machine's job: Vemtrac.cmd and Vemtrac.sts in the program's folder.
    // Returns 1 when a status file with "VMTC_OK" was written, 0 otherwise (no
    // job file, no status file, or the job refused); *end says how it ended.
    int job_run_command_file(JobEnd* end);

    // The entries' own routines, by keyword: moves in HPGL units with the
    // pen lowered or raised, and the switch to PCL mode.
    void pen_down_move(std::int32_t dx, std::int32_t dy);
    void pen_up_move(std::int32_t dx, std::int32_t dy);
    void to_pcl_mode(std::int32_t);

    // --- The executable's folder (job/exe_dir.h) ---

    // Takes the directory from argv[0]: everything before its last separator.
    // Without a separator, the directory the operating system reports for the
    // running executable (or the current directory when it cannot tell).
    // Returns false, after saying why in the diagnostics, when the path does
    // not fit; the files then count as impossible to open.
    bool set_exe_dir(const char* argv0);
    // Forgets the directory and the path, as before set_exe_dir: no job file
    // can be found.
    void exe_dir_reset() { static_cast<ExeDirState&>(*this) = ExeDirState{}; }
    // Formats path_buf as exe_dir, separator, file name. Returns false, after
    // saying why in the diagnostics, when there is no directory or the path
    // does not fit.
    bool format_job_path(const char* file_name);

    // --- The job clock (job/job_clock.h) ---

    // Job start: waits for rest, puts the servo on line, arms the clock.
    void srvo_off_to_on();
    // Job end: takes the servo off line.
    void srvo_on_to_off();
    // Stops the clock and prints the per-phase report when it is enabled.
    void JobTimeTick();
    // Recomputes the encoder readings enc_x, enc_y from the commanded
    // position (as the position loop does) and stores them, then formats
    // "Pbd:x,y  Svo:x,y  Enc:x,y" for the current position.
    std::string svo_position_text();

    // --- The entry log (job/entry_log.h) ---

    // Forgets every entry and move and stops logging.
    void entry_log_reset() { entry_log_state = EntryLogState{}; }
    // Starts logging a job's entries (when ticks are accounted).
    void entry_log_start();
    // Notes the entry just run when it committed records since the last note.
    void entry_log_note(std::int32_t entry, const char* keyword);
    // Keeps the move of a VECTOR record the queue commits (its observer).
    void log_committed_record(VdbData* rec);

    // --- The report's tally (job/report_tally.h) ---

    // Forgets everything and stops tallying.
    void report_tally_reset() { report_tally_state = ReportTallyState{}; }
    // Tallies the coming job (ticks must be accounted); rows of the timeline
    // go to sink as their entries finish, when a sink is given.
    void report_tally_enable(TimelineSink sink, void* context);
    // The head's position when the job starts, plot-bed units.
    void report_tally_start(std::int32_t x, std::int32_t y);
    // A VECTOR record the entry just read committed: its move and its work.
    void report_tally_move(std::int32_t dx, std::int32_t dy, std::uint32_t work);
    // Notes the machine's own console line as the job runs: its long-vector
    // and crowded-queue warnings become the report's, with the entry of the
    // record they concern.
    void report_tally_console(std::string_view text);
    // Notes an entry just run (whether or not it queued motion), for the
    // warnings that depend on what it set: an image started without its size.
    void report_tally_check_entry(std::int32_t entry, const char* keyword);
    // Adds a warning (only counted past warnings_per_kind_max of its kind).
    void report_tally_warn(const char* kind, std::int32_t entry, const std::string& message);
    // An entry that queued motion has been read: its keyword for the
    // timeline; then adds up what the ticks logged since the last entry.
    void report_tally_entry(std::int32_t entry, const char* keyword);
    // After the job: adds up the rest of the log, clipped to the job window
    // (job_ticks from its start mark), writes the remaining timeline rows and
    // clears any progress line.
    void report_tally_finish(std::int64_t job_ticks);

private:
    // The helpers of the job driver's routines, by the file that holds them.

    // job/job_run.cpp
    std::FILE* open_requested_file(const char* path, std::string* reason);
    bool refused_as_no_job_file(const JobRequest& request, std::FILE* file, std::string* reason);
    // Puts the machine in its power-on state, starts it up and sets it to
    // run the request's job at the settings overrides.
    void start_up_for(const JobRequest& request, const CmdOverrides& overrides);

    // job/command_file.cpp
    void hpgl_move(std::int32_t dx, std::int32_t dy);
    void printable_keyword(char* out, std::size_t size) const;
    int entry_line() const;
    void report_entry(const char* what);
    void note_stop(const char* what);
    void stop_at_entry(const char* what);
    void note_entry_motion();
    std::int32_t setting_value(const char* keyword, std::int32_t value) const;
    void override_pen_speeds();
    void run_override_entries();
    void read_vector_speeds(CmdReader* reader, std::int32_t s1, std::int32_t s2);
    bool stop_at_misfit(bool known_with_other_count, const char* expected);
    bool run_entry(CmdReader* reader, const char* keyword, int fields, std::int32_t a,
                   std::int32_t b);
    void report_read_error(const CmdReader& reader);
    bool run_entries(const CmdSource& cmd);
    void remove_stale_status_file();

    // job/report_tally.cpp
    std::uint32_t activity_of(const std::tuple<int, std::int32_t, int>& key);
    std::uint32_t activity_of_work(std::uint32_t work);
    std::int64_t from_start(std::uint32_t counter) const;
    void add_span(std::uint32_t work, std::int64_t lo, std::int64_t hi);
    void add_run(const TickRun& run, std::int64_t lo, std::int64_t hi, std::int64_t end_mark,
                 bool final);
    void count_pending();
    void fold_runs(bool final, std::int64_t job_ticks);
    std::uint32_t first_live_work() const;
    void add_work_moves(std::uint32_t work);
    void drop_finished_works(std::uint32_t first_live);
    void write_rows_before(std::int32_t first_entry);
    void keep_held_point();
    void extend_path(const PathPoint& p);
    void add_path_point(const PathPoint& p);
    void coarsen_path();
    void note_machine_warnings(std::int32_t entry);
    void show_progress(std::int32_t entry);
    void warn_pen_speed(std::int32_t entry);
    void warn_raster_speeds(std::int32_t entry);
    std::int32_t entry_of_current_record() const;
};

// The job machine of the calling thread, made on its first job and kept
// until the thread ends; look it up once per job, never per tick.
JobMachine& thread_job_machine();

// Runs a job on the calling thread's job machine (thread_job_machine()).
JobResult run_job(const JobRequest& request);
