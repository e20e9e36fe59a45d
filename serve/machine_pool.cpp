#include "serve/machine_pool.h"

#include <algorithm>

#include "job/job_machine.h"

MachinePool::MachinePool(unsigned workers) : workers_(std::max(workers, 1u))
{
    machines_.reserve(workers_);
    free_.reserve(workers_);
    for (unsigned i = 0; i < workers_; ++i) {
        machines_.push_back(std::unique_ptr<JobMachine>(new JobMachine));
        free_.push_back(machines_.back().get());
    }
}

MachinePool::~MachinePool() = default;

JobMachine* MachinePool::take(std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!freed_.wait_for(lock, wait, [this] { return !free_.empty(); })) {
        return nullptr;
    }
    JobMachine* machine = free_.back();
    free_.pop_back();
    return machine;
}

void MachinePool::give_back(JobMachine* machine)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(machine);
    }
    freed_.notify_one();
}
