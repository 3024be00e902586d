#include "host/sim/thread_pool.h"

namespace Sim {

namespace {

// The pool whose task the current thread is running, and its thread index there.
thread_local const ThreadPool* tlPool = nullptr;
thread_local int tlThreadIndex = 0;

}  // namespace

ThreadPool::ThreadPool(int threads) {
    const int workers = threads > 1 ? threads - 1 : 0;
    workers_.reserve(static_cast<size_t>(workers));
    for (int index = 1; index <= workers; ++index) workers_.emplace_back([this, index] { workerLoop(index); });
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard lock(mutex_);
        shutdown_ = true;
    }
    wake_.notify_all();
    for (auto& worker : workers_) worker.join();
}

void ThreadPool::run(int count, Task task, void* context) {
    if (count <= 0 || task == nullptr) return;
    if (tlPool == this) {
        for (int index = 0; index < count; ++index) {
            if (!task(context, tlThreadIndex, index)) break;
        }
        return;
    }

    std::lock_guard runLock(runMutex_);
    bool wakeWorkers = false;
    {
        std::lock_guard lock(mutex_);
        task_ = task;
        context_ = context;
        count_ = count;
        // Index 0 is kept for the calling thread.
        next_.store(1, std::memory_order_relaxed);
        stop_.store(false, std::memory_order_relaxed);
        busyWorkers_ = count > 1 ? static_cast<int>(workers_.size()) : 0;
        wakeWorkers = busyWorkers_ > 0;
        if (wakeWorkers) ++generation_;
    }
    if (wakeWorkers) wake_.notify_all();

    tlPool = this;
    tlThreadIndex = 0;
    if (task(context, 0, 0)) {
        claimLoop(0);
    } else {
        stop_.store(true, std::memory_order_relaxed);
    }
    tlPool = nullptr;

    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return busyWorkers_ == 0; });
    task_ = nullptr;
    context_ = nullptr;
}

void ThreadPool::claimLoop(int thread_index) {
    while (!stop_.load(std::memory_order_relaxed)) {
        const int index = next_.fetch_add(1, std::memory_order_relaxed);
        if (index >= count_) return;
        if (!task_(context_, thread_index, index)) stop_.store(true, std::memory_order_relaxed);
    }
}

void ThreadPool::workerLoop(int thread_index) {
    tlPool = this;
    tlThreadIndex = thread_index;
    uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return shutdown_ || generation_ != seen; });
        if (shutdown_) return;
        seen = generation_;
        lock.unlock();
        claimLoop(thread_index);
        lock.lock();
        if (--busyWorkers_ == 0) done_.notify_one();
    }
}

}  // namespace Sim
