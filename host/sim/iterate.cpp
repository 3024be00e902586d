#include "host/sim/iterate.h"

#include <algorithm>
#include <climits>
#include <string>

#include "host/sim/host.h"

namespace Sim {

namespace {

// One call of the generic iteration as the pool's tasks see it.
struct IterationRun {
    PF_IterateGenericFunc fn = nullptr;
    void* refcon = nullptr;
    int32_t iterations = 0;
    std::mutex mutex;
    int failedIndex = INT_MAX;
    PF_Err err = PF_Err_NONE;
    bool escaped = false;
};

// The error of the lowest failing iteration wins, so the result does not depend on timing when
// several fail. After a failure no further iterations are started.
bool runIteration(void* context, int thread_index, int index) {
    auto* run = static_cast<IterationRun*>(context);
    PF_Err err = PF_Err_NONE;
    bool escaped = false;
    try {
        err = run->fn(run->refcon, thread_index, index, run->iterations);
    } catch (...) {
        // An effect must not throw into the host; we survive it but report it.
        err = PF_Err_INTERNAL_STRUCT_DAMAGED;
        escaped = true;
    }
    if (err == PF_Err_NONE) return true;
    std::lock_guard lock(run->mutex);
    run->escaped = run->escaped || escaped;
    if (index < run->failedIndex) {
        run->failedIndex = index;
        run->err = err;
    }
    return false;
}

PF_Err iterateGeneric(int32_t iterations, void* refcon, PF_IterateGenericFunc fn) {
    return Host::current().iteration().iterate(iterations, refcon, fn);
}

PF_Err getNumThreads(int32_t* threads) { return Host::current().iteration().numThreads(threads); }

PF_Err abortCallback(PF_ProgPtr) { return Host::current().iteration().pollAbort(); }

PF_Err progressCallback(PF_ProgPtr, int32_t current, int32_t total) {
    return Host::current().iteration().reportProgress(current, total);
}

const PF_Iterate8Suite1 kIterate8Suite1 = {iterateGeneric};
const AEGP_IterateSuite1 kIterateSuite1 = {getNumThreads};

// Beyond the pixels of the largest world a band count is absurd; refused rather than attempted.
constexpr int32_t kMaxIterations = int32_t(1) << 26;

int machineProcessors() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : static_cast<int>(count);
}

}  // namespace

Iteration::Iteration() : processors_(machineProcessors()) {}

Iteration::~Iteration() = default;

void Iteration::setProcessors(int processors) {
    std::lock_guard lock(mutex_);
    processors_ = std::max(1, processors);
    if (pool_ && pool_->threads() != processors_) pool_.reset();
}

int Iteration::processors() const {
    std::lock_guard lock(mutex_);
    return processors_;
}

void Iteration::setReportedThreads(int threads) {
    std::lock_guard lock(mutex_);
    reportedThreads_ = threads;
}

int Iteration::reportedThreads() const {
    std::lock_guard lock(mutex_);
    return reportedThreads_ < 0 ? processors_ : reportedThreads_;
}

void Iteration::setDeterministic(bool deterministic) {
    std::lock_guard lock(mutex_);
    deterministic_ = deterministic;
}

bool Iteration::deterministic() const {
    std::lock_guard lock(mutex_);
    return deterministic_;
}

void Iteration::abortAfterPolls(int polls) {
    std::lock_guard lock(mutex_);
    abortAfter_ = polls;
    polls_ = 0;
    pollThreads_.clear();
}

int Iteration::abortPolls() const {
    std::lock_guard lock(mutex_);
    return polls_;
}

std::vector<std::thread::id> Iteration::abortPollThreads() const {
    std::lock_guard lock(mutex_);
    return pollThreads_;
}

std::vector<Iteration::Progress> Iteration::progressReports() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

ThreadPool& Iteration::pool() {
    std::lock_guard lock(mutex_);
    if (!pool_) pool_ = std::make_unique<ThreadPool>(processors_);
    return *pool_;
}

ThreadPool* Iteration::poolFor(int64_t pixels) {
    // Small work stays on the caller's thread and doesn't start the workers.
    if (pixels < kPixelsWorthAThread * 2 || deterministic()) return nullptr;
    return &pool();
}

PF_Err Iteration::iterate(int32_t iterations, void* refcon, PF_IterateGenericFunc fn) {
    Host& host = Host::current();
    host.log().add("iterate_generic " + std::to_string(iterations));
    if (PF_Err err = host.faults().onCall("iterate_generic")) return err;
    if (fn == nullptr || iterations < PF_Iterations_ONCE_PER_PROCESSOR) {
        host.log().add("error: iterate_generic with a null callback or a negative count");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (iterations > kMaxIterations) {
        host.log().add("error: iterate_generic: refused absurd count " + std::to_string(iterations));
        return PF_Err_OUT_OF_MEMORY;
    }
    IterationRun run;
    run.fn = fn;
    run.refcon = refcon;
    if (deterministic()) {
        run.iterations = iterations == PF_Iterations_ONCE_PER_PROCESSOR ? processors() : iterations;
        for (int index = 0; index < run.iterations; ++index) {
            if (!runIteration(&run, 0, index)) break;
        }
    } else {
        ThreadPool& threads = pool();
        run.iterations = iterations == PF_Iterations_ONCE_PER_PROCESSOR ? threads.threads() : iterations;
        threads.run(run.iterations, runIteration, &run);
    }
    if (run.escaped) host.log().add("error: an exception escaped an iteration callback");
    return run.err;
}

PF_Err Iteration::numThreads(int32_t* threads) {
    Host& host = Host::current();
    if (PF_Err err = host.faults().onCall("AEGP_GetNumThreads")) return err;
    if (threads == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *threads = reportedThreads();
    return PF_Err_NONE;
}

PF_Err Iteration::pollAbort() {
    if (PF_Err err = Host::current().faults().onCall("abort")) return err;
    std::lock_guard lock(mutex_);
    ++polls_;
    pollThreads_.push_back(std::this_thread::get_id());
    return abortAfter_ >= 0 && polls_ > abortAfter_ ? PF_Interrupt_CANCEL : PF_Err_NONE;
}

PF_Err Iteration::reportProgress(int32_t current, int32_t total) {
    if (PF_Err err = Host::current().faults().onCall("progress")) return err;
    std::lock_guard lock(mutex_);
    progress_.push_back({current, total});
    if (progressListener_) progressListener_({current, total});
    return PF_Err_NONE;
}

void Iteration::setProgressListener(std::function<void(Progress)> listener) {
    std::lock_guard lock(mutex_);
    progressListener_ = std::move(listener);
}

void installIterateSuites(Host& host) {
    host.faults().registerNames({"AEGP_GetNumThreads", "abort", "iterate_generic", "progress"});

    host.addSuite(kPFIterate8Suite, kPFIterate8SuiteVersion1, &kIterate8Suite1);
    host.addSuite(kAEGPIterateSuite, kAEGPIterateSuiteVersion1, &kIterateSuite1);
    host.addInDataInstaller([](PF_InData& in_data) {
        in_data.inter.abort = abortCallback;
        in_data.inter.progress = progressCallback;
    });
}

}  // namespace Sim
