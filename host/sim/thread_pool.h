#pragma once

// The host's worker threads. They are started once and kept; each run wakes only the workers it
// can use and hands out indices to them and to the calling thread, which takes part as thread 0
// and runs whatever the workers have not claimed.
// A worker that has just finished spins for a moment before it sleeps, so the short runs that
// follow one another in a render (the FFT's passes, a convolution's tiles) find it awake.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
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
    // Index 0 always runs on the calling thread; at most count - 1 workers are woken. A run from
    // inside a task of this pool runs inline on the thread that asked, so nested iteration
    // cannot deadlock.
    void run(int count, Task task, void* context);

private:
    // One worker's wake-up: the run number it is asked to join, and a sleep it can be woken from.
    struct Worker {
        std::atomic<uint64_t> ticket{0};
        std::atomic<bool> sleeping{false};
        std::mutex mutex;
        std::condition_variable wake;
        std::thread thread;
    };

    void workerLoop(Worker& worker, int thread_index);
    // Tells every started worker to end and waits for it.
    void stopWorkers();
    void joinRun(uint64_t ticket, int thread_index);
    void claimLoop(int thread_index);
    void wakeWorker(Worker& worker, uint64_t ticket);
    void awaitWorkers();

    std::vector<std::unique_ptr<Worker>> workers_;
    std::mutex runMutex_;  // one run at a time across callers
    uint64_t ticket_ = 0;  // the current run's number; written under runMutex_
    std::atomic<bool> shutdown_{false};

    // The run workers may join (0: none), and the workers inside it. Once the caller has claimed
    // the last index it closes the run and waits only for those inside, so a worker the system
    // has not scheduled yet costs the run nothing.
    std::atomic<uint64_t> open_{0};
    std::atomic<int> active_{0};
    std::atomic<bool> callerSleeping_{false};
    std::mutex doneMutex_;
    std::condition_variable done_;

    // The current run; written before any worker's ticket changes, read after.
    Task task_ = nullptr;
    void* context_ = nullptr;
    int count_ = 0;
    std::atomic<int> next_{0};
    std::atomic<bool> stop_{false};
};

// Runs fn(firstRow, endRow) over [0, rows), in bands on the pool when there is enough work.
// Below this many pixels a band costs more to hand over than to do.
constexpr int64_t kPixelsWorthAThread = int64_t(1) << 16;

template <typename Fn>
void forRowBands(ThreadPool* pool, int32_t rows, int64_t pixelsPerRow, Fn&& fn) {
    int bands = 1;
    if (pool != nullptr && rows > 1) {
        const int64_t gain = int64_t(rows) * pixelsPerRow / kPixelsWorthAThread;
        bands = int(std::min<int64_t>({gain, int64_t(pool->threads()) * 2, int64_t(rows)}));
    }
    if (bands <= 1) {
        fn(int32_t(0), rows);
        return;
    }
    struct Context {
        Fn* fn;
        int32_t rows;
        int bands;
    } context{&fn, rows, bands};
    pool->run(
        bands,
        [](void* raw, int, int band) {
            auto* c = static_cast<Context*>(raw);
            const int32_t first = int32_t(int64_t(c->rows) * band / c->bands);
            const int32_t end = int32_t(int64_t(c->rows) * (band + 1) / c->bands);
            (*c->fn)(first, end);
            return true;
        },
        &context);
}

}  // namespace Sim
