#include "job/exe_dir.h"

#include <cstdio>
#include <cstring>

#include "base/platform.h"
#include "base/shown_text.h"
#include "job/job_machine.h"

bool JobMachine::set_exe_dir(const char* argv0)
{
    exe_dir_valid = false;
    exe_dir[0] = '\0';
    const char* path = argv0 != nullptr ? argv0 : "";
    std::size_t len = std::strlen(path);
    if (len >= sizeof exe_dir) {
        diag_printf("vemtrac: the program path is %u characters long, more than %d: "
                             "cannot locate the job files\n",
                     static_cast<unsigned>(len), EXE_PATH_SIZE - 1);
        return false;
    }
    std::memcpy(exe_dir, path, len + 1);
    for (std::size_t i = len; i > 0; --i) {
        if (platform::is_path_separator(exe_dir[i - 1])) {
            exe_dir[i - 1] = '\0';
            exe_dir_valid = true;
            return true;
        }
    }
    if (!platform::executable_dir(exe_dir, sizeof exe_dir)) {
        std::strcpy(exe_dir, ".");
    }
    exe_dir_valid = true;
    return true;
}

bool JobMachine::format_job_path(const char* file_name)
{
    if (!exe_dir_valid) {
        return false;
    }
    int n = std::snprintf(path_buf, sizeof path_buf, "%s%c%s", exe_dir, platform::path_separator,
                          file_name);
    if (n < 0 || n >= static_cast<int>(sizeof path_buf)) {
        diag_printf("vemtrac: the path of %s in %s is longer than %d characters\n",
                    file_name, shown::text(exe_dir).c_str(), EXE_PATH_SIZE - 1);
        path_buf[0] = '\0';
        return false;
    }
    return true;
}
