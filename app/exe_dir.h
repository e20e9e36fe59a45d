// Where the job file and the status file live: the directory of the
// executable, taken from argv[0].
#pragma once

inline constexpr int EXE_PATH_SIZE = 260;

// Directory of the executable, without a trailing separator.
extern char exe_dir[EXE_PATH_SIZE];
// Buffer for the path of each file before it is opened.
extern char path_buf[EXE_PATH_SIZE];

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
