// Where the job file and the status file live: the directory of the
// executable, taken from argv[0].
#pragma once

#include "base/state_names.h"

inline constexpr int EXE_PATH_SIZE = 260;

// Where the files live, with the power-on values: the directory of the
// executable without a trailing separator, whether it was taken, and the
// buffer for the path of each file before it is opened.
struct ExeDirState {
    char exe_dir[EXE_PATH_SIZE] = {};
    bool exe_dir_valid = false;
    char path_buf[EXE_PATH_SIZE] = {};
};
extern ExeDirState exe_dir_state;
VEMTRAC_STATE_NAMES(exe_dir_state, exe_dir, exe_dir_valid, path_buf);

// Takes the directory from argv[0]: everything before its last separator.
// Without a separator, the directory the operating system reports for the
// running executable (or the current directory when it cannot tell).
// Returns false, after saying why in the diagnostics, when the path does not
// fit; the files then count as impossible to open.
bool set_exe_dir(const char* argv0);

// Forgets the directory and the path, as before set_exe_dir: no job file
// can be found.
void exe_dir_reset();

// Formats path_buf as exe_dir, separator, file name. Returns false, after
// saying why in the diagnostics, when there is no directory or the path does
// not fit.
bool format_job_path(const char* file_name);
