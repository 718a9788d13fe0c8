#pragma once
// Work over many pictures on several threads with everything the user sees
// in input order: each picture's work runs on a worker (one recognition
// context per worker), its results are delivered on the calling thread one
// index after the other, and a work function may hold a section that runs in
// input order too (acceptance against one marking session).

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace cli {

// More workers than this only cost memory (a recognition context is about 8 MB).
inline constexpr int MaxJobs = 64;

// The workers when --jobs is not given: the cores this process may run on.
int DefaultJobCount();
// A --jobs value: a whole number from 1 to MaxJobs.
bool ParseJobCount(const std::string& text, int& jobs);

class OrderedBatch {
public:
    // `jobs` is cut to the number of pictures (and raised to 1).
    OrderedBatch(std::size_t count, int jobs);

    int Jobs() const { return jobs_; }

    // Runs work(index, worker) for every index and deliver(index) on the
    // calling thread strictly in index order, each after its index's work.
    // deliver returns false to stop: no later work starts, later turns are
    // refused and nothing later is delivered. With one job no thread starts:
    // work and delivery alternate on the calling thread as a plain loop.
    // An exception from work stops the batch and is rethrown here.
    void Run(const std::function<void(std::size_t index, int worker)>& work,
             const std::function<bool(std::size_t index)>& deliver);

    // For work: blocks until every earlier index has ended its turn. False
    // when the batch has stopped; the ordered section must not run then.
    bool WaitForTurn(std::size_t index);
    // Ends a turn before its work returns; otherwise it ends with the work.
    void EndTurn(std::size_t index);

private:
    void WorkerLoop(const std::function<void(std::size_t, int)>& work, int worker);
    void EndTurnLocked(std::size_t index);

    const std::size_t count_;
    const int jobs_;
    // Work runs at most this far ahead of delivery, which bounds the memory
    // held by results not yet delivered (a session snapshot per accepted card).
    const std::size_t window_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t nextToClaim_ = 0;
    std::size_t delivered_ = 0;
    std::size_t turn_ = 0;  // every index before it has ended its turn
    std::vector<char> turnEnded_;
    std::vector<char> workDone_;
    bool stopped_ = false;
    std::exception_ptr failure_;
};

} // namespace cli
