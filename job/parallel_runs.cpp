#include "job/parallel_runs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "job/job_machine.h"

namespace {

// One write of a run's console that waits for the runs before it.
struct HeldWrite {
    ConsoleStream stream;
    std::string text;
};

// The console of the runs: the sink, the lowest run not finished (whose
// writes go through) and what the later runs wrote so far.
class OrderedConsole {
public:
    OrderedConsole(ConsoleSink sink, std::size_t count, const RunFinished& finished)
        : sink_(sink.receive != nullptr ? sink : console_standard_sink()), finished_(finished),
          done_(count, false), held_(count)
    {
    }

    // A write of run i.
    void write(std::size_t i, ConsoleStream stream, const char* text, std::size_t size)
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        if (i == head_) {
            sink_.receive(sink_.context, stream, text, size);
        } else {
            held_[i].push_back({stream, std::string(text, size)});
        }
    }

    // Run i has finished (failed: by an exception, after which no run is
    // told finished): every finished run from the head on goes out, and
    // what the next unfinished run wrote so far.
    void run_finished(std::size_t i, bool failed)
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        done_[i] = true;
        failed_ = failed_ || failed;
        while (head_ < done_.size()) {
            release(head_);
            if (!done_[head_]) {
                break;
            }
            if (finished_ && !failed_) {
                finished_(head_);
            }
            ++head_;
        }
    }

private:
    void release(std::size_t i)
    {
        for (const HeldWrite& w : held_[i]) {
            sink_.receive(sink_.context, w.stream, w.text.data(), w.text.size());
        }
        held_[i].clear();
        held_[i].shrink_to_fit();
    }

    std::mutex mutex_;
    ConsoleSink sink_;
    const RunFinished& finished_;
    std::size_t head_ = 0;
    bool failed_ = false;
    std::vector<bool> done_;
    std::vector<std::vector<HeldWrite>> held_;
};

// The sink one run writes through.
struct RunConsole {
    OrderedConsole* console;
    std::size_t index;
};

void write_in_order(void* context, ConsoleStream stream, const char* text, std::size_t size)
{
    const auto* run = static_cast<const RunConsole*>(context);
    run->console->write(run->index, stream, text, size);
}

} // namespace

unsigned hardware_threads()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n != 0 ? n : 1;
}

void run_in_order(std::size_t count, unsigned threads, ConsoleSink sink, const ParallelRun& run,
                  const RunFinished& finished, JobMachine* own)
{
    const std::size_t workers = std::min<std::size_t>(threads, count);
    if (workers <= 1) {
        JobMachine& machine = own != nullptr ? *own : thread_job_machine();
        for (std::size_t i = 0; i < count; ++i) {
            run(i, machine, sink);
            if (finished) {
                finished(i);
            }
        }
        return;
    }
    OrderedConsole console(sink, count, finished);
    std::vector<RunConsole> consoles(count);
    for (std::size_t i = 0; i < count; ++i) {
        consoles[i] = {&console, i};
    }
    std::atomic<std::size_t> next{0};
    std::mutex failure_mutex;
    std::exception_ptr failure;
    const auto work = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            bool failed = false;
            try {
                run(i, thread_job_machine(), ConsoleSink{write_in_order, &consoles[i]});
            } catch (...) {
                failed = true;
                const std::lock_guard<std::mutex> hold(failure_mutex);
                if (failure == nullptr) {
                    failure = std::current_exception();
                }
            }
            console.run_finished(i, failed);
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(workers - 1);
    for (std::size_t t = 1; t < workers; ++t) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // the threads started so far (and this one) run them all
        }
    }
    work();
    for (std::thread& t : pool) {
        t.join();
    }
    if (failure != nullptr) {
        std::rethrow_exception(failure);
    }
}
