#include "base/platform.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <conio.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif
#if defined(__GLIBC__) || defined(_WIN32)
#include <malloc.h>
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

#ifdef _WIN32

bool replace_file(const std::string& from, const std::string& to, std::string* error)
{
    const std::wstring wide_from = std::filesystem::path(from).wstring();
    const std::wstring wide_to = std::filesystem::path(to).wstring();
    // A program reading the old file holds it open for a moment: try again
    // for up to half a second before giving up.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(wide_from.c_str(), wide_to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD code = GetLastError();
        const bool busy = code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION;
        if (!busy || attempt == 10) {
            *error = std::system_category().message(static_cast<int>(code));
            return false;
        }
        Sleep(50);
    }
}

unsigned long process_id()
{
    return static_cast<unsigned long>(_getpid());
}

bool stderr_is_terminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

#else

bool replace_file(const std::string& from, const std::string& to, std::string* error)
{
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

unsigned long process_id()
{
    return static_cast<unsigned long>(getpid());
}

bool stderr_is_terminal()
{
    return isatty(STDERR_FILENO) != 0;
}

#endif

namespace {

#ifdef _WIN32
// A descriptor of a new file for binary writing (-1 when one of that name
// exists or it cannot be made), its stream, and its close.
int open_new_file(const std::string& path)
{
    const std::wstring wide = std::filesystem::path(path).wstring();
    return _wopen(wide.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

std::FILE* stream_of(int fd)
{
    return _fdopen(fd, "wb");
}

void close_file(int fd)
{
    _close(fd);
}
#else
int open_new_file(const std::string& path)
{
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
}

std::FILE* stream_of(int fd)
{
    return fdopen(fd, "wb");
}

void close_file(int fd)
{
    close(fd);
}
#endif

} // namespace

std::FILE* create_new_file(const std::string& path)
{
    const int fd = open_new_file(path);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = stream_of(fd);
    if (file == nullptr) {
        close_file(fd);
    }
    return file;
}

void ignore_broken_pipe()
{
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void return_large_blocks_when_freed()
{
#ifdef __GLIBC__
    // Fixed thresholds: by default glibc raises both after each large block
    // freed, and a thread's arena then keeps up to twice the largest block
    // seen, free, for as long as the process lives.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024);
#endif
}

void return_free_memory()
{
#ifdef __GLIBC__
    // glibc keeps what is freed in its arenas (one per thread that
    // allocates, up to eight per core) until told otherwise.
    malloc_trim(0);
#elif defined(_WIN32)
    _heapmin();
#endif
}

bool hand_over_to(const std::string& path, const char* const* argv, int* exit_code)
{
    std::fflush(nullptr);
#ifdef _WIN32
    // The child gets one command line, split again at blanks: arguments
    // with blanks or quotes go in quotes, inner quotes escaped.
    std::vector<std::string> quoted;
    for (const char* const* a = argv; *a != nullptr; ++a) {
        std::string arg = *a;
        if (arg.empty() || arg.find_first_of(" \t\"") != std::string::npos) {
            std::string q = "\"";
            for (char c : arg) {
                q += c == '"' ? std::string("\\\"") : std::string(1, c);
            }
            arg = q + "\"";
        }
        quoted.push_back(arg);
    }
    std::vector<const char*> args;
    for (const std::string& q : quoted) {
        args.push_back(q.c_str());
    }
    args.push_back(nullptr);
    const intptr_t code = _spawnv(_P_WAIT, path.c_str(), args.data());
    if (code == -1) {
        return false;
    }
    *exit_code = static_cast<int>(code);
    return true;
#else
    (void)exit_code;
    // execv takes the argument vector as char* const[] for old C callers;
    // it never writes through it.
    execv(path.c_str(), const_cast<char* const*>(argv));
    return false;
#endif
}

namespace {

#ifndef _WIN32
// A block aligned to its size from a mapping twice as big, the rest given
// back, marked for a large page; null when the host maps nothing.
unsigned char* large_page_block()
{
    const std::size_t size = memo_block_bytes;
    void* mapped =
        mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
    auto* start = static_cast<unsigned char*>(mapped);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(start);
    const std::size_t head = (size - address % size) % size;
    if (head != 0) {
        munmap(start, head);
    }
    munmap(start + head + size, size - head);
#ifdef MADV_HUGEPAGE
    // Advice only: without a large page the block fills page by page.
    madvise(start + head, size, MADV_HUGEPAGE);
#endif
    return start + head;
}
#endif

} // namespace

void* zeroed_pages(std::size_t bytes)
{
#ifdef _WIN32
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mapped == MAP_FAILED ? nullptr : mapped;
#endif
}

void free_pages(void* pages, std::size_t bytes)
{
    if (pages != nullptr) {
#ifdef _WIN32
        static_cast<void>(bytes);
        VirtualFree(pages, 0, MEM_RELEASE);
#else
        munmap(pages, bytes);
#endif
    }
}

unsigned char* MemoBlock::get()
{
    if (block_ == nullptr && !failed_) {
#ifdef _WIN32
        // Committed pages read as zero and take memory only once touched.
        block_ = static_cast<unsigned char*>(
            VirtualAlloc(nullptr, memo_block_bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
#else
        block_ = large_page_block();
#endif
        failed_ = block_ == nullptr;
    }
    return block_;
}

MemoBlock::~MemoBlock()
{
    if (block_ != nullptr) {
#ifdef _WIN32
        VirtualFree(block_, 0, MEM_RELEASE);
#else
        munmap(block_, memo_block_bytes);
#endif
    }
}

} // namespace platform
