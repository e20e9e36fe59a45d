// Where the job file and the status file live: the directory of the
// executable, taken from argv[0].
#pragma once

inline constexpr int EXE_PATH_SIZE = 260;

// Where the files live, with the power-on values: the directory of the
// executable without a trailing separator, whether it was taken, and the
// buffer for the path of each file before it is opened.
struct ExeDirState {
    char exe_dir[EXE_PATH_SIZE] = {};
    bool exe_dir_valid = false;
    char path_buf[EXE_PATH_SIZE] = {};
};
