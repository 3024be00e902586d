#include "host/sim/thread_pool.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace Sim {

namespace {

// The pool whose task the current thread is running, and its thread index there.
thread_local const ThreadPool* tlPool = nullptr;
thread_local int tlThreadIndex = 0;

// How long a thread polls before it blocks: about the gap between the passes of one FFT, so that
// those find the workers awake, and short against the caller's own work between stages, through
// which seven polling workers would otherwise burn seven times its time.
constexpr auto kSpin = std::chrono::microseconds(10);

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

// Polls until ready() holds or the spin time is up; true when it holds. The clock is read only
// every few polls, since reading it costs more than a poll.
template <typename Ready>
bool spinUntil(Ready ready) {
    const auto deadline = std::chrono::steady_clock::now() + kSpin;
    for (;;) {
        for (int poll = 0; poll < 64; ++poll) {
            if (ready()) return true;
            relax();
        }
        if (std::chrono::steady_clock::now() >= deadline) return ready();
    }
}

}  // namespace

ThreadPool::ThreadPool(int threads) {
    const int workers = threads > 1 ? threads - 1 : 0;
    workers_.reserve(static_cast<size_t>(workers));
    for (int index = 1; index <= workers; ++index) workers_.push_back(std::make_unique<Worker>());
    try {
        for (int index = 1; index <= workers; ++index) {
            Worker& worker = *workers_[static_cast<size_t>(index - 1)];
            worker.thread = std::thread([this, &worker, index] { workerLoop(worker, index); });
        }
    } catch (const std::system_error& error) {
        // A running thread destroyed unjoined ends the program: the started ones are stopped first.
        stopWorkers();
        throw std::system_error(error.code(), "cannot start the host's worker threads");
    }
}

ThreadPool::~ThreadPool() { stopWorkers(); }

void ThreadPool::stopWorkers() {
    shutdown_.store(true);
    for (auto& worker : workers_) {
        { std::lock_guard lock(worker->mutex); }
        worker->wake.notify_one();
    }
    for (auto& worker : workers_) {
        if (worker->thread.joinable()) worker->thread.join();
    }
}

// The sleeper publishes `sleeping` and then reads the ticket; the waker publishes the ticket and
// then reads `sleeping`. Both sequentially consistent, so at least one of them sees the other and
// no wake-up is lost; the mutex closes the gap between the sleeper's check and its wait.
void ThreadPool::wakeWorker(Worker& worker, uint64_t ticket) {
    worker.ticket.store(ticket);
    if (worker.sleeping.load()) {
        { std::lock_guard lock(worker.mutex); }
        worker.wake.notify_one();
    }
}

// A worker counts itself in before it looks whether the run is still open, and the caller closes
// the run before it looks at the count (both sequentially consistent): either the caller sees the
// worker and waits for it, or the worker sees the run closed and leaves without touching it.
void ThreadPool::joinRun(uint64_t ticket, int thread_index) {
    active_.fetch_add(1);
    if (open_.load() == ticket) claimLoop(thread_index);
    if (active_.fetch_sub(1) == 1 && callerSleeping_.load()) {
        { std::lock_guard lock(doneMutex_); }
        done_.notify_one();
    }
}

void ThreadPool::awaitWorkers() {
    if (spinUntil([this] { return active_.load(std::memory_order_acquire) == 0; })) return;
    std::unique_lock lock(doneMutex_);
    callerSleeping_.store(true);
    done_.wait(lock, [this] { return active_.load() == 0; });
    callerSleeping_.store(false);
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
    task_ = task;
    context_ = context;
    count_ = count;
    // Index 0 is kept for the calling thread.
    next_.store(1, std::memory_order_relaxed);
    stop_.store(false, std::memory_order_relaxed);
    // Workers beyond count - 1 would find nothing to claim; they stay asleep.
    const int helpers = std::min(count - 1, static_cast<int>(workers_.size()));
    ++ticket_;
    if (helpers > 0) open_.store(ticket_);
    for (int k = 0; k < helpers; ++k) wakeWorker(*workers_[static_cast<size_t>(k)], ticket_);

    tlPool = this;
    tlThreadIndex = 0;
    if (task(context, 0, 0)) {
        claimLoop(0);
    } else {
        stop_.store(true, std::memory_order_relaxed);
    }
    tlPool = nullptr;

    if (helpers > 0) {
        open_.store(0);
        awaitWorkers();
    }
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

void ThreadPool::workerLoop(Worker& worker, int thread_index) {
    tlPool = this;
    tlThreadIndex = thread_index;
    uint64_t seen = 0;
    auto called = [&] { return worker.ticket.load(std::memory_order_acquire) != seen || shutdown_.load(); };
    for (;;) {
        if (!spinUntil(called)) {
            std::unique_lock lock(worker.mutex);
            worker.sleeping.store(true);
            worker.wake.wait(lock, [&] { return worker.ticket.load() != seen || shutdown_.load(); });
            worker.sleeping.store(false);
        }
        if (shutdown_.load()) return;
        seen = worker.ticket.load(std::memory_order_acquire);
        joinRun(seen, thread_index);
    }
}

}  // namespace Sim
