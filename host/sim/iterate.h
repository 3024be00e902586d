#pragma once

// The host's iteration over its worker threads ("PF Iterate8 Suite", "AEGP Iterate Suite") and
// the abort and progress callbacks of the input record.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "host/sim/thread_pool.h"
#include "morvel_host/host.h"

namespace Sim {

class Iteration {
public:
    Iteration();
    ~Iteration();

    // Processors the iterations run on, the calling thread included (default: the machine's).
    // Takes effect at the next iteration; not to be changed while one runs.
    void setProcessors(int processors);
    int processors() const;
    // The count the thread-count query reports (default: the processors).
    void setReportedThreads(int threads);
    int reportedThreads() const;

    // Bands run one after another in index order on the calling thread, while the thread count and
    // the processors reported stay as they are: runs that must repeat exactly (fault sweeps) do not
    // depend on scheduling.
    void setDeterministic(bool deterministic);
    bool deterministic() const;

    // The first `polls` abort polls answer 0, every later one the user's cancel; -1: never.
    void abortAfterPolls(int polls);
    int abortPolls() const;
    std::vector<std::thread::id> abortPollThreads() const;

    struct Progress {
        int32_t current;
        int32_t total;
    };
    std::vector<Progress> progressReports() const;
    // Told of every progress report as it comes, under the iteration's lock.
    void setProgressListener(std::function<void(Progress)> listener);

    // What the suite and callbacks do.
    PF_Err iterate(int32_t iterations, void* refcon, PF_IterateGenericFunc fn);
    PF_Err numThreads(int32_t* threads);
    PF_Err pollAbort();
    PF_Err reportProgress(int32_t current, int32_t total);

    // The host's worker threads, started on first use.
    ThreadPool& pool();
    // The pool for the host's own work on this many pixels: null when it is too small to share
    // out or when runs must be deterministic.
    ThreadPool* poolFor(int64_t pixels);

private:
    mutable std::mutex mutex_;
    int processors_;
    int reportedThreads_ = -1;  // -1: the processors
    bool deterministic_ = false;
    int abortAfter_ = -1;
    int polls_ = 0;
    std::vector<std::thread::id> pollThreads_;
    std::vector<Progress> progress_;
    std::function<void(Progress)> progressListener_;
    std::unique_ptr<ThreadPool> pool_;
};

}  // namespace Sim
