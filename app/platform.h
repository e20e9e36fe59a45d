// Platform services the estimator needs from the host: one lock, one worker
// thread, a handoff between the two threads, a 1 ms sleep, a millisecond
// clock and the directory of the running executable. Everything that differs
// between Windows and POSIX hosts stays behind this header.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace platform {

// The system's one critical section (the servo interrupt's lock).
class Lock {
public:
    void enter() { mutex_.lock(); }
    void leave() { mutex_.unlock(); }

private:
    std::mutex mutex_;
};

// A worker thread that runs a routine without argument.
class Thread {
public:
    void start(void (*body)()) { thread_ = std::thread(body); }
    void join()
    {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    std::thread thread_;
};

// A flag one thread raises and another waits for. The waiter spins briefly
// (a handoff between the two threads usually completes within microseconds)
// and then blocks, so an idle side costs no processor time.
class Signal {
public:
    void raise();
    void wait_and_clear();

private:
    std::atomic<bool> raised_{false};
    std::atomic<bool> sleeping_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
};

void sleep_ms(unsigned milliseconds);

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

// Writes the directory of the running executable, as the operating system
// reports it, into buf (without a trailing separator). Returns false when
// the host cannot tell or the directory does not fit in size bytes.
bool executable_dir(char* buf, std::size_t size);

} // namespace platform
