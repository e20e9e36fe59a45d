#include "app/platform.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

namespace {
// Polls before a waiter blocks; long enough to bridge the gap while the
// other thread finishes a short piece of work, short enough not to matter
// when the wait is long.
constexpr int spin_polls = 20000;
} // namespace

void Signal::raise()
{
    raised_.store(true, std::memory_order_seq_cst);
    if (sleeping_.load(std::memory_order_seq_cst)) {
        std::lock_guard<std::mutex> guard(mutex_);
        wake_.notify_one();
    }
}

void Signal::wait_and_clear()
{
    for (int i = 0; i < spin_polls; ++i) {
        if (raised_.load(std::memory_order_acquire)) {
            raised_.store(false, std::memory_order_relaxed);
            return;
        }
    }
    std::unique_lock<std::mutex> guard(mutex_);
    sleeping_.store(true, std::memory_order_seq_cst);
    wake_.wait(guard, [this] { return raised_.load(std::memory_order_seq_cst); });
    sleeping_.store(false, std::memory_order_relaxed);
    raised_.store(false, std::memory_order_relaxed);
}

void sleep_ms(unsigned milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::uint32_t tick_count_ms()
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

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

} // namespace platform
