#include "base/platform.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <csignal>
#include <cstdio>
#include <fcntl.h>

#ifdef _WIN32
#include <conio.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace platform {

std::uint32_t tick_count_ms()
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

#ifdef _WIN32
bool console_of_its_own()
{
    // A console's process list holds every program attached to it; a shell
    // or a program that started this one in its console is among them.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) {
        return false;
    }
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0 &&
           GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void wait_for_key()
{
    _getch();
}
#else
bool console_of_its_own()
{
    return false;
}

void wait_for_key() {}
#endif

bool executable_dir(char* buf, std::size_t size)
{
    std::string dir;
#ifdef _WIN32
    char module[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return false;
    }
    module[n] = '\0';
    dir = module;
    std::size_t cut = dir.find_last_of("\\/");
    if (cut == std::string::npos) {
        return false;
    }
    dir.resize(cut);
#else
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.has_parent_path()) {
        return false;
    }
    dir = exe.parent_path().string();
#endif
    if (dir.size() + 1 > size) {
        return false;
    }
    std::memcpy(buf, dir.c_str(), dir.size() + 1);
    return true;
}

namespace {

#ifdef _WIN32
int dup_fd(int fd) { return _dup(fd); }
int dup2_fd(int from, int to) { return _dup2(from, to); }
int close_fd(int fd) { return _close(fd); }
int open_null() { return _open("NUL", _O_WRONLY); }
#else
int dup_fd(int fd) { return dup(fd); }
int dup2_fd(int from, int to) { return dup2(from, to); }
int close_fd(int fd) { return close(fd); }
int open_null() { return open("/dev/null", O_WRONLY); }
#endif

// Standard output's own destination while it is diverted (-1 when it is not).
int saved_stdout = -1;

} // namespace

bool divert_stdout(bool to_stderr)
{
    if (saved_stdout >= 0) {
        return false;
    }
    std::fflush(stdout);
    const int target = to_stderr ? 2 : open_null();
    if (target < 0) {
        return false;
    }
    saved_stdout = dup_fd(1);
    const bool diverted = saved_stdout >= 0 && dup2_fd(target, 1) >= 0;
    if (!to_stderr) {
        close_fd(target);
    }
    if (!diverted && saved_stdout >= 0) {
        close_fd(saved_stdout);
        saved_stdout = -1;
    }
    return diverted;
}

void restore_stdout()
{
    if (saved_stdout < 0) {
        return;
    }
    std::fflush(stdout);
    dup2_fd(saved_stdout, 1);
    close_fd(saved_stdout);
    saved_stdout = -1;
}

void ignore_broken_pipe()
{
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

} // namespace platform
