// The job: reads Vemtrac.cmd beside the executable entry by entry, runs
// each entry through the laser input layer or the move routine, waits for
// the last motion and writes Vemtrac.sts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "job/command_reader.h"
#include "job/job_clock.h"
#include "job/setting_override.h"

// Most settings of one keyword a job can run at in place of its own.
inline constexpr int CMD_OVERRIDE_KEYWORDS_MAX = 16;
// Pens with a speed code: 1..16 (code 0 is never selected).
inline constexpr int CMD_PEN_COUNT = 16;

// Settings a job runs at in place of its own: each stands before the job's
// first entry, and every entry of the job that sets it sets this value
// instead.
struct CmdOverrides {
    int keyword_count = 0;
    const char* keyword[CMD_OVERRIDE_KEYWORDS_MAX] = {};  // one-integer setting keywords
    std::int32_t keyword_value[CMD_OVERRIDE_KEYWORDS_MAX] = {};
    bool pen_speed_set[CMD_PEN_COUNT + 1] = {};            // index = pen
    std::uint16_t pen_speed[CMD_PEN_COUNT + 1] = {};       // VectorSpeed code, per mille
};

// The interpreter's state, with the power-on values.
struct JobEnd;

struct CommandFileState {
    // 1 once a pen-down entry has lowered the pen, 0 once a pen-up entry has
    // raised it (the interpreter's own flag, apart from the laser layer's).
    std::int32_t cmd_pen_down = 0;
    // The entry being executed (1 = first) and its keyword (in the buffer
    // of the reading, CMD_KEYWORD_SIZE bytes), the reader it comes from (its
    // line and the keyword's length) and the file's name as messages give
    // it, for messages about bad input; and where the reading's end is kept.
    std::int32_t entry_number = 0;
    const char* entry_keyword = nullptr;
    const CmdReader* entry_reader = nullptr;
    const char* job_file_label = "Vemtrac.cmd";
    JobEnd* job_end = nullptr;
    // Settings the job runs at in place of its own (none at power-on).
    CmdOverrides cmd_overrides;
};

// The settings a job is to run at in place of its own, as the interpreter
// holds them (cmd_overrides): a key is a one-integer setting keyword or
// "VectorSpeed.N" (pen N, 1..16), its value already checked against the
// field it sets. False, with *bad_key, for a key the interpreter has no
// setting for.
bool command_file_resolve_overrides(const SettingOverrides& overrides, CmdOverrides* resolved,
                                    std::string* bad_key);

// True when an entry of this keyword with this many integers sets a
// setting or moves (the interpreter runs it rather than stopping there).
bool command_file_runs_entry(const char* keyword, int integers);

// How the reading of a job file ended.
struct JobEnd {
    bool refused = false;   // the version is not 1: no run time, no motion drained
    bool complete = true;   // the file was read to its end
    int entry = 0;          // the entry at which reading stopped early
    int line = 0;           // the line of the file on which that entry starts
    std::string keyword;    // its keyword, bytes outside printable ASCII as \xNN
    std::string reason;     // why reading stopped there
    JobRunTime run_time{};  // the estimate
    // The lines of the status file (written only in the machine's own mode).
    std::vector<std::string> status;
};

// A job file opened for reading, or why it could not be.
struct JobFile {
    std::FILE* file = nullptr;
    bool folder = false;  // the path names a folder
    int error = 0;        // the system's error number when it could not be opened
};

// Opens a job file: the one place where a job file is opened. A folder is
// refused: it cannot be opened as a file on the operator's machine, and
// here it would open and read as an empty job.
JobFile open_job_file(const char* path);

// Why a job file could not be opened, as in "cannot open PATH: <why>".
const char* job_file_error_text(const JobFile& job_file);
