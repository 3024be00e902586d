#pragma once

// The host's worker threads. They are started once and kept; each run hands out indices to the
// workers and to the calling thread, which takes part as thread 0.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace Sim {

class ThreadPool {
public:
    // A task returns false to stop further indices being handed out (an error or an abort).
    using Task = bool (*)(void* context, int thread_index, int index);

    // threads counts the calling thread too: threads - 1 workers are started.
    explicit ThreadPool(int threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    int threads() const { return static_cast<int>(workers_.size()) + 1; }

    // Runs task for every index in [0, count) and returns once all that were started are done.
    // Index 0 always runs on the calling thread. A run from inside a task of this pool runs
    // inline on the thread that asked, so nested iteration cannot deadlock.
    void run(int count, Task task, void* context);

private:
    void workerLoop(int thread_index);
    void claimLoop(int thread_index);

    std::vector<std::thread> workers_;
    std::mutex runMutex_;  // one run at a time across callers

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    uint64_t generation_ = 0;
    int busyWorkers_ = 0;
    bool shutdown_ = false;

    // The current run; written under mutex_ before the generation changes.
    Task task_ = nullptr;
    void* context_ = nullptr;
    int count_ = 0;
    std::atomic<int> next_{0};
    std::atomic<bool> stop_{false};
};

}  // namespace Sim
