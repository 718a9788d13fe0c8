#include "cli/OrderedBatch.h"

#include <sched.h>

#include <algorithm>
#include <thread>

namespace cli {

int DefaultJobCount()
{
    // The affinity mask, not the machine's count: a run confined by taskset
    // or a container's CPU set gains nothing from more workers than it may use.
    cpu_set_t set;
    CPU_ZERO(&set);
    int cores = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
    if (cores <= 0)
        cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, MaxJobs);
}

bool ParseJobCount(const std::string& text, int& jobs)
{
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int n = std::stoi(text);
    if (n < 1 || n > MaxJobs)
        return false;
    jobs = n;
    return true;
}

OrderedBatch::OrderedBatch(std::size_t count, int jobs)
    : count_(count),
      jobs_(static_cast<int>(std::clamp<std::size_t>(static_cast<std::size_t>(std::max(jobs, 1)), 1,
                                                     std::max<std::size_t>(count, 1)))),
      window_(4 * static_cast<std::size_t>(jobs_)),
      turnEnded_(count, 0),
      workDone_(count, 0)
{
}

void OrderedBatch::Run(const std::function<void(std::size_t, int)>& work,
                       const std::function<bool(std::size_t)>& deliver)
{
    if (jobs_ == 1) {
        for (std::size_t i = 0; i < count_; ++i) {
            work(i, 0);
            EndTurn(i);
            if (!deliver(i)) {
                std::lock_guard lock(mutex_);
                stopped_ = true;
                return;
            }
        }
        return;
    }

    std::vector<std::jthread> workers;
    workers.reserve(static_cast<std::size_t>(jobs_));
    for (int w = 0; w < jobs_; ++w)
        workers.emplace_back([this, &work, w] { WorkerLoop(work, w); });

    for (std::size_t i = 0; i < count_; ++i) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return workDone_[i] || failure_; });
            if (failure_)
                break;
        }
        const bool go = deliver(i);
        std::lock_guard lock(mutex_);
        delivered_ = i + 1;
        if (!go)
            stopped_ = true;
        changed_.notify_all();
        if (!go)
            break;
    }
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;  // nothing is left to claim after a full run; after a stop, nothing may be
        changed_.notify_all();
    }
    workers.clear();  // joins
    if (failure_)
        std::rethrow_exception(failure_);
}

void OrderedBatch::WorkerLoop(const std::function<void(std::size_t, int)>& work, int worker)
{
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] {
                return stopped_ || nextToClaim_ >= count_ || nextToClaim_ < delivered_ + window_;
            });
            if (stopped_ || nextToClaim_ >= count_)
                return;
            index = nextToClaim_++;
        }
        try {
            work(index, worker);
        } catch (...) {
            std::lock_guard lock(mutex_);
            if (!failure_)
                failure_ = std::current_exception();
            stopped_ = true;
        }
        std::lock_guard lock(mutex_);
        EndTurnLocked(index);
        workDone_[index] = 1;
        changed_.notify_all();
    }
}

bool OrderedBatch::WaitForTurn(std::size_t index)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || turn_ >= index; });
    return !stopped_;
}

void OrderedBatch::EndTurn(std::size_t index)
{
    std::lock_guard lock(mutex_);
    EndTurnLocked(index);
    changed_.notify_all();
}

void OrderedBatch::EndTurnLocked(std::size_t index)
{
    if (index >= count_)
        return;
    turnEnded_[index] = 1;
    while (turn_ < count_ && turnEnded_[turn_])
        ++turn_;
}

} // namespace cli
