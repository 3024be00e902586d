#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "host/sim/iterate.h"
#include "host/sim/thread_pool.h"
#include "host/tool_runner.h"
#include "support/host_fixture.h"

namespace {

// What one generic iteration saw: each index with its n and thread.
struct Seen {
    std::mutex mutex;
    std::vector<int> indices;
    std::vector<int> counts;
    std::vector<int> threadIndices;
    std::set<std::thread::id> threads;
    std::thread::id threadOfIndexZero;
    int failFrom = -1;  // indices >= failFrom fail with their own index + 1000
};

PF_Err record(void* refcon, int32_t thread_index, int32_t i, int32_t n) {
    auto* seen = static_cast<Seen*>(refcon);
    std::lock_guard lock(seen->mutex);
    seen->indices.push_back(i);
    seen->counts.push_back(n);
    seen->threadIndices.push_back(thread_index);
    seen->threads.insert(std::this_thread::get_id());
    if (i == 0) seen->threadOfIndexZero = std::this_thread::get_id();
    return seen->failFrom >= 0 && i >= seen->failFrom ? 1000 + i : PF_Err_NONE;
}

class ThreadedIterateSuiteTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        const void* table = nullptr;
        ASSERT_EQ(in_data_.pica_basicP->AcquireSuite(kPFIterate8Suite, 1, &table), kSPNoError);
        iterate_ = static_cast<const PF_Iterate8Suite1*>(table);
        ASSERT_EQ(in_data_.pica_basicP->AcquireSuite(kAEGPIterateSuite, 1, &table), kSPNoError);
        threads_ = static_cast<const AEGP_IterateSuite1*>(table);
    }
    void TearDown() override {
        in_data_.pica_basicP->ReleaseSuite(kPFIterate8Suite, 1);
        in_data_.pica_basicP->ReleaseSuite(kAEGPIterateSuite, 1);
        HostTest::TearDown();
    }
    Sim::Iteration& iteration() { return host().iteration(); }

    const PF_Iterate8Suite1* iterate_ = nullptr;
    const AEGP_IterateSuite1* threads_ = nullptr;
};

TEST_F(ThreadedIterateSuiteTest, EveryIndexRunsOnceWithTheCountAndTheCallerTakesPart) {
    iteration().setProcessors(4);
    struct Case {
        const char* name;
        int iterations;
        int expected;
    } cases[] = {{"none", 0, 0},  {"one", 1, 1},      {"two", 2, 2},
                 {"seven", 7, 7}, {"many", 500, 500}, {"once per processor", -1, 4}};
    for (const auto& c : cases) {
        Seen seen;
        ASSERT_EQ(iterate_->iterate_generic(c.iterations, &seen, record), PF_Err_NONE) << c.name;
        std::vector<int> sorted = seen.indices;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(static_cast<int>(sorted.size()), c.expected) << c.name;
        for (int i = 0; i < c.expected; ++i) EXPECT_EQ(sorted[static_cast<size_t>(i)], i) << c.name;
        for (int n : seen.counts) EXPECT_EQ(n, c.expected) << c.name;
        for (int t : seen.threadIndices) {
            EXPECT_GE(t, 0) << c.name;
            EXPECT_LT(t, 4) << c.name;
        }
        if (c.expected > 0) {
            EXPECT_EQ(seen.threadOfIndexZero, std::this_thread::get_id()) << c.name;
        }
    }
}

TEST_F(ThreadedIterateSuiteTest, ThreadsAreKeptAcrossCalls) {
    iteration().setProcessors(4);
    std::set<std::thread::id> all;
    for (int call = 0; call < 40; ++call) {
        Seen seen;
        ASSERT_EQ(iterate_->iterate_generic(16, &seen, record), PF_Err_NONE);
        all.insert(seen.threads.begin(), seen.threads.end());
    }
    EXPECT_LE(all.size(), 4u) << "a new thread was started for a call";
}

TEST_F(ThreadedIterateSuiteTest, TheLowestFailingIterationsErrorIsTheResult) {
    iteration().setProcessors(4);
    for (int failFrom : {0, 3, 99}) {
        Seen seen;
        seen.failFrom = failFrom;
        // Index failFrom is always reached: lower indices succeed and do not stop the run.
        EXPECT_EQ(iterate_->iterate_generic(100, &seen, record), 1000 + failFrom) << failFrom;
    }
}

TEST_F(ThreadedIterateSuiteTest, BadArgumentsAndPlannedFailuresAreRefusedWithoutRunning) {
    expectFault("iterate_generic with a null callback or a negative count");
    Seen seen;
    EXPECT_EQ(iterate_->iterate_generic(-2, &seen, record), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(iterate_->iterate_generic(4, &seen, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    host().faults().failCall("iterate_generic", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(iterate_->iterate_generic(4, &seen, record), PF_Err_OUT_OF_MEMORY);
    EXPECT_TRUE(seen.indices.empty());
}

PF_Err throwing(void*, int32_t, int32_t i, int32_t) {
    if (i == 2) throw 42;
    return PF_Err_NONE;
}

TEST_F(ThreadedIterateSuiteTest, AnExceptionFromAnEffectIsContainedAndLogged) {
    expectFault("an exception escaped an iteration callback");
    iteration().setProcessors(3);
    EXPECT_EQ(iterate_->iterate_generic(5, nullptr, throwing), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_TRUE(host().log().contains("exception escaped"));
}

struct Nested {
    const PF_Iterate8Suite1* iterate;
    std::atomic<int> inner{0};
};

PF_Err innerBand(void* refcon, int32_t, int32_t, int32_t) {
    ++static_cast<Nested*>(refcon)->inner;
    return PF_Err_NONE;
}

PF_Err outerBand(void* refcon, int32_t, int32_t, int32_t) {
    auto* nested = static_cast<Nested*>(refcon);
    return nested->iterate->iterate_generic(3, nested, innerBand);
}

TEST_F(ThreadedIterateSuiteTest, IterationInsideAnIterationRunsWithoutDeadlock) {
    iteration().setProcessors(4);
    Nested nested{iterate_};
    ASSERT_EQ(iterate_->iterate_generic(5, &nested, outerBand), PF_Err_NONE);
    EXPECT_EQ(nested.inner.load(), 15);
}

TEST_F(ThreadedIterateSuiteTest, CallersOnSeveralThreadsShareThePool) {
    iteration().setProcessors(3);
    std::atomic<int> failures{0};
    auto caller = [&] {
        for (int call = 0; call < 20; ++call) {
            Seen seen;
            if (iterate_->iterate_generic(9, &seen, record) != PF_Err_NONE || seen.indices.size() != 9) ++failures;
        }
    };
    std::thread a(caller), b(caller);
    caller();
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(ThreadedIterateSuiteTest, ThreadCountIsReportedAndSettable) {
    iteration().setProcessors(6);
    int32_t count = 0;
    ASSERT_EQ(threads_->AEGP_GetNumThreads(&count), PF_Err_NONE);
    EXPECT_EQ(count, 6);
    iteration().setReportedThreads(48);
    ASSERT_EQ(threads_->AEGP_GetNumThreads(&count), PF_Err_NONE);
    EXPECT_EQ(count, 48);
    EXPECT_EQ(threads_->AEGP_GetNumThreads(nullptr), PF_Err_BAD_CALLBACK_PARAM);
}

TEST_F(ThreadedIterateSuiteTest, AbortAnswersAfterThePlannedPolls) {
    struct Case {
        const char* name;
        int after;
        std::vector<PF_Err> answers;
    } cases[] = {
        {"never", -1, {0, 0, 0, 0}},
        {"at once", 0, {PF_Interrupt_CANCEL, PF_Interrupt_CANCEL}},
        {"after two", 2, {0, 0, PF_Interrupt_CANCEL, PF_Interrupt_CANCEL}},
    };
    for (const auto& c : cases) {
        iteration().abortAfterPolls(c.after);
        for (size_t k = 0; k < c.answers.size(); ++k) {
            EXPECT_EQ(in_data_.inter.abort(in_data_.effect_ref), c.answers[k]) << c.name << " poll " << k;
        }
        EXPECT_EQ(iteration().abortPolls(), static_cast<int>(c.answers.size())) << c.name;
    }
}

TEST_F(ThreadedIterateSuiteTest, ProgressIsRecordedInOrderAndAPlannedFailureIsReturned) {
    ASSERT_NE(in_data_.inter.progress, nullptr);
    const std::pair<int32_t, int32_t> sent[] = {{0, 4}, {1, 4}, {4, 4}};
    for (const auto& [current, total] : sent) {
        EXPECT_EQ(in_data_.inter.progress(in_data_.effect_ref, current, total), PF_Err_NONE);
    }
    host().faults().failCall("progress", 1, PF_Interrupt_CANCEL);
    EXPECT_EQ(in_data_.inter.progress(in_data_.effect_ref, 2, 4), PF_Interrupt_CANCEL);

    const auto reports = iteration().progressReports();
    ASSERT_EQ(reports.size(), std::size(sent)) << "a refused report was kept";
    for (size_t k = 0; k < reports.size(); ++k) {
        EXPECT_EQ(reports[k].current, sent[k].first) << k;
        EXPECT_EQ(reports[k].total, sent[k].second) << k;
    }
}

// The pool alone, without a host.
TEST(ThreadedPool, StopsHandingOutIndicesAfterATaskSaysStop) {
    Sim::ThreadPool pool(1);  // caller only: the order is deterministic
    std::vector<int> ran;
    struct Context {
        std::vector<int>* ran;
    } context{&ran};
    pool.run(
        10,
        [](void* c, int, int index) {
            static_cast<Context*>(c)->ran->push_back(index);
            return index < 3;
        },
        &context);
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3}));
}

// Counts every index and remembers the highest thread index that ran one.
struct Tally {
    std::vector<std::atomic<int>> runs;
    std::atomic<int> highestThread{-1};
    explicit Tally(int count) : runs(static_cast<size_t>(count)) {}

    static bool task(void* context, int thread_index, int index) {
        auto* tally = static_cast<Tally*>(context);
        ++tally->runs[static_cast<size_t>(index)];
        int seen = tally->highestThread.load();
        while (thread_index > seen && !tally->highestThread.compare_exchange_weak(seen, thread_index)) {
        }
        return true;
    }
};

// Workers beyond count - 1 would find nothing to do, so they are not called in: thread indices
// stay below the count.
TEST(ThreadedPool, ARunCallsInNoMoreWorkersThanItHasIndicesForTheRest) {
    Sim::ThreadPool pool(8);
    for (int count : {1, 2, 3, 5, 8, 9, 40}) {
        for (int repeat = 0; repeat < 50; ++repeat) {
            Tally tally(count);
            pool.run(count, Tally::task, &tally);
            for (int index = 0; index < count; ++index) {
                ASSERT_EQ(tally.runs[static_cast<size_t>(index)].load(), 1) << "count " << count << " index " << index;
            }
            ASSERT_LT(tally.highestThread.load(), std::min(count, 8)) << "count " << count;
        }
    }
}

// Back-to-back runs of changing size, some while workers still spin from the last one and some
// after they have gone to sleep: every index runs exactly once each time.
TEST(ThreadedPool, ShortRunsInQuickSuccessionAndAfterSleepingRunEveryIndexOnce) {
    Sim::ThreadPool pool(6);
    for (int round = 0; round < 400; ++round) {
        const int count = 1 + (round * 7) % 13;
        Tally tally(count);
        pool.run(count, Tally::task, &tally);
        for (int index = 0; index < count; ++index) {
            ASSERT_EQ(tally.runs[static_cast<size_t>(index)].load(), 1) << "round " << round << " index " << index;
        }
        if (round % 100 == 99) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

namespace {

// A deterministic host runs the bands in order on the caller, yet reports its threads as before.
TEST_F(ThreadedIterateSuiteTest, DeterministicBandsRunInIndexOrderOnTheCallingThread) {
    iteration().setProcessors(4);
    iteration().setDeterministic(true);
    struct Case {
        const char* name;
        int iterations;
        int expected;
    } cases[] = {{"one", 1, 1}, {"seven", 7, 7}, {"once per processor", -1, 4}};
    for (const auto& c : cases) {
        Seen seen;
        ASSERT_EQ(iterate_->iterate_generic(c.iterations, &seen, record), PF_Err_NONE) << c.name;
        std::vector<int> inOrder(static_cast<size_t>(c.expected));
        for (int i = 0; i < c.expected; ++i) inOrder[static_cast<size_t>(i)] = i;
        EXPECT_EQ(seen.indices, inOrder) << c.name;
        EXPECT_EQ(seen.threads, std::set<std::thread::id>{std::this_thread::get_id()}) << c.name;
        for (int n : seen.counts) EXPECT_EQ(n, c.expected) << c.name;
    }
    int32_t reported = 0;
    ASSERT_EQ(threads_->AEGP_GetNumThreads(&reported), PF_Err_NONE);
    EXPECT_EQ(reported, 4);

    // The first failure stops the run, as it would in the pool.
    Seen failing;
    failing.failFrom = 2;
    EXPECT_EQ(iterate_->iterate_generic(6, &failing, record), 1002);
    EXPECT_EQ(failing.indices, (std::vector<int>{0, 1, 2}));
}

// A pool of eight made with room for small allocations but not for one thread's stack; exits 3
// with the error's text when the pool reports it.
[[noreturn]] void startPoolWithoutRoomForStacks() {
    std::ifstream status("/proc/self/status");
    long sizeKb = 0;
    for (std::string word; status >> word;) {
        if (word == "VmSize:") status >> sizeKb;
    }
    const rlim_t limit = rlim_t(sizeKb + 2048) * 1024;
    const rlimit bound{limit, limit};
    ::setrlimit(RLIMIT_AS, &bound);
    try {
        Sim::ThreadPool pool(8);
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        std::_Exit(3);
    }
    std::_Exit(0);
}

// Workers that cannot be started (no address space left for their stacks, as under a tight
// ulimit -v) are an error for the caller, not the end of the program.
TEST(ThreadPool, WorkersThatCannotStartAreAnErrorNotAnAbort) {
    if (!ToolRunner::kMeasuresMemory) GTEST_SKIP() << "the sanitizers reserve more address space than any limit";
    // A fresh process: a fork would inherit the stacks of threads gone before, which glibc reuses.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(startPoolWithoutRoomForStacks(), ::testing::ExitedWithCode(3),
                "cannot start the host's worker threads");
}

TEST_F(ThreadedIterateSuiteTest, AbsurdBandCountsAreRefusedWithoutWork) {
    expectFault("refused absurd count");
    Seen seen;
    EXPECT_EQ(iterate_->iterate_generic(INT32_MAX, &seen, record), PF_Err_OUT_OF_MEMORY);
    EXPECT_TRUE(seen.indices.empty());
}

}  // namespace
