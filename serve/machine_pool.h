// The service's job machines: one per worker, each running one estimate at
// a time, so that as many estimates run at once as there are workers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

struct JobMachine;

class MachinePool {
public:
    // workers machines, made now (at least one).
    explicit MachinePool(unsigned workers);
    ~MachinePool();
    MachinePool(const MachinePool&) = delete;
    MachinePool& operator=(const MachinePool&) = delete;

    unsigned workers() const { return workers_; }

    // A machine that is free, waited for up to wait; null when none became
    // free in time. It is the caller's until given back.
    JobMachine* take(std::chrono::milliseconds wait);

    // Gives a machine taken back to the pool.
    void give_back(JobMachine* machine);

private:
    const unsigned workers_;
    std::vector<std::unique_ptr<JobMachine>> machines_;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<JobMachine*> free_;
};
