// Platform services the estimator needs from the host: one lock, a
// millisecond clock, memory for its memo tables, the directory of the
// running executable and its own console window. Everything that differs
// between Windows and POSIX hosts stays behind this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <atomic>
#include <string>
#include <thread>

namespace platform {

// A machine's one critical section (the servo interrupt's lock). Only the
// thread that runs a machine's job takes its lock, so it is never
// contended: a flag taken with one atomic exchange costs the tick runner's
// many short waits less than a system mutex would.
class Lock {
public:
    void enter()
    {
        while (held_.test_and_set(std::memory_order_acquire)) {
            std::this_thread::yield();
        }
    }
    void leave() { held_.clear(std::memory_order_release); }

private:
    std::atomic_flag held_;
};

// Milliseconds since an arbitrary start; wraps like a 32-bit tick counter.
std::uint32_t tick_count_ms();

// The separator this host joins directory and file names with.
#ifdef _WIN32
inline constexpr char path_separator = '\\';
#else
inline constexpr char path_separator = '/';
#endif

// True for the characters that end a directory part of argv[0]: a
// backslash everywhere, and on POSIX hosts also '/'.
inline bool is_path_separator(char c)
{
#ifdef _WIN32
    return c == '\\';
#else
    return c == '\\' || c == '/';
#endif
}

// True when the program's console window is its own: no other program is
// attached to it, and standard input and output are that console. So it is
// after a double-click on the program; never when it runs in a shell's
// console or with its input or output taken by a pipe or a file. Always
// false on hosts where programs get no console window of their own.
bool console_of_its_own();

// Waits for a key press in the program's own console.
void wait_for_key();

// Writes the directory of the running executable, as the operating system
// reports it, into buf (without a trailing separator). Returns false when
// the host cannot tell or the directory does not fit in size bytes.
bool executable_dir(char* buf, std::size_t size);

// Creates a new file for binary writing, failing (null, errno set) when
// one of that name exists already: a scratch file never replaces anything.
std::FILE* create_new_file(const std::string& path);

// Moves the file from into the place of to, replacing a file there in one
// step, so that a reader finds either the old file or the whole new one.
// Says why in *error when it cannot.
bool replace_file(const std::string& from, const std::string& to, std::string* error);

// True when standard error is a terminal (a person watching it).
bool stderr_is_terminal();

// This process's id, to keep the scratch names of two runs apart.
unsigned long process_id();

// A write to a connection the other end has closed fails with an error
// instead of ending the process (a server's clients may leave at any time).
void ignore_broken_pipe();

// Has the allocator take blocks of 256 KiB and more from the host and give
// them back as soon as they are freed, and give back what lies free at
// the end of its heaps past 1 MiB (a server whose requests come and go);
// where the allocator offers no such setting, nothing.
void return_large_blocks_when_freed();

// Gives the memory freed so far back to the host where the allocator keeps
// it for the process (a server after a large request); elsewhere nothing.
void return_free_memory();

// Runs the program at path with the arguments argv (argv[0] first, null at
// the end) in this process's place: on POSIX hosts it replaces this process
// and returns only when it could not be started; on Windows it runs as a
// child with this console and its exit code goes to *exit_code. False, with
// errno set, when the program could not be started.
bool hand_over_to(const std::string& path, const char* const* argv, int* exit_code);

// Zeroed memory of bytes in pages of its own, which take no work until
// they are touched (the memo tables' first sets, which a short job barely
// uses); null when the host has none. Given back with free_pages.
void* zeroed_pages(std::size_t bytes);
void free_pages(void* pages, std::size_t bytes);

// Bytes of a MemoBlock: one large page of the x86 hosts.
inline constexpr std::size_t memo_block_bytes = std::size_t{2} << 20;

// A zeroed block of memo_block_bytes for one machine's memo tables, taken
// on the first call of get and given back with its owner. Where the host
// offers large pages the block is one, so that filling the tables costs one
// page fault instead of one per 4 KB page (each fault costs some 10 us on a
// virtual machine); elsewhere its pages take memory only once touched.
class MemoBlock {
public:
    MemoBlock() = default;
    ~MemoBlock();
    MemoBlock(const MemoBlock&) = delete;
    MemoBlock& operator=(const MemoBlock&) = delete;

    // The block; null when the host has no memory for it (then never again).
    unsigned char* get();

private:
    unsigned char* block_ = nullptr;
    bool failed_ = false;
};

} // namespace platform
