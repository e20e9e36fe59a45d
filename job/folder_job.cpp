// The machine's own job: Vemtrac.cmd beside the executable is read and run,
// and its estimate written to Vemtrac.sts beside it, complete or not at
// all; an earlier run's status file never passes for this job's.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/console.h"
#include "base/platform.h"
#include "base/shown_text.h"
#include "job/command_file.h"
#include "job/file_kind.h"
#include "job/job_machine.h"
#include "job/output_file.h"
#include "job/status_file.h"

// Without a job to run, a status file left by an earlier run would be read
// as this job's estimate: it is removed, and the diagnostics say so.
void JobMachine::remove_stale_status_file()
{
    if (!format_job_path("Vemtrac.sts")) {
        return;
    }
    std::error_code ec;
    if (file_reads_as_job_file(path_buf)) {
        diag_printf("vemtrac: %s is a job file, not a status file: it is left as it is\n",
                    shown::text(path_buf).c_str());
        return;
    }
    if (std::filesystem::is_regular_file(path_buf, ec) && std::remove(path_buf) == 0) {
        diag_printf("vemtrac: removed %s, left by an earlier run\n", shown::text(path_buf).c_str());
    }
}

int JobMachine::job_run_command_file(JobEnd* end)
{
    const std::uint32_t app_start = platform::tick_count_ms();

    if (!format_job_path("Vemtrac.cmd")) {
        return 0;
    }
    const JobFile job_file = open_job_file(path_buf);
    std::FILE* const cmd = job_file.file;
    if (cmd == nullptr) {
        diag_printf("vemtrac: cannot open %s: %s\n", shown::text(path_buf).c_str(),
                    job_file_error_text(job_file));
        remove_stale_status_file();
        return 0;
    }
    // Not a job file: the machine reads it all the same, and the operator
    // learns why its estimate is 0.
    const std::string not_a_job = not_a_job_file_reason(open_file_head(cmd));
    if (!not_a_job.empty()) {
        diag_printf("vemtrac: %s is %s\n", shown::text(path_buf).c_str(), not_a_job.c_str());
    }
    if (!format_job_path("Vemtrac.sts")) {
        std::fclose(cmd);
        return 0;
    }
    // The status lines go to a scratch file moved into place once complete:
    // a program reading Vemtrac.sts never finds it empty or half-written.
    OutputFile sts;
    std::string why;
    std::error_code ec;
    if (std::filesystem::is_directory(path_buf, ec)) {
        why = "it is a folder";
    } else if (file_reads_as_job_file(path_buf)) {
        why = "it is a job file, which no status file replaces";
    }
    if (!why.empty() || !sts.open(path_buf, &why)) {
        diag_printf("vemtrac: cannot create %s: %s\n", shown::text(path_buf).c_str(), why.c_str());
        std::fclose(cmd);
        return 0;
    }

    *end = job_run_entries(CmdSource{cmd, {}}, "Vemtrac.cmd", app_start);
    std::fclose(cmd);
    write_status_lines(sts.stream(), end->status);  // a failure shows at the commit
    if (!sts.commit(&why)) {
        diag_printf("vemtrac: could not write %s: %s\n", shown::text(path_buf).c_str(),
                    why.c_str());
        remove_stale_status_file();
        return 0;
    }
    return end->refused ? 0 : 1;
}
