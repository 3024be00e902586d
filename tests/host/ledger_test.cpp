#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/sim/host.h"
#include "host/sim/worlds.h"
#include "support/host_fixture.h"

TEST(Ledger, CountsRepeatedAcquisitions) {
    Sim::Ledger ledger;
    ledger.acquire("suite", "A v1");
    ledger.acquire("suite", "A v1");
    EXPECT_EQ(ledger.outstanding("suite"), 2u);
    EXPECT_TRUE(ledger.release("suite", "A v1"));
    EXPECT_FALSE(ledger.balanced());
    EXPECT_TRUE(ledger.release("suite", "A v1"));
    EXPECT_TRUE(ledger.balanced());
}

TEST(Ledger, ReleaseOfSomethingNotHeldIsAFault) {
    Sim::Ledger ledger;
    EXPECT_FALSE(ledger.release("handle", "0x1"));
    EXPECT_EQ(ledger.badReleases(), 1u);
    EXPECT_FALSE(ledger.balanced());
    EXPECT_NE(ledger.report().find("released but not held"), std::string::npos);
}

TEST(FaultPlan, FailsOnlyTheNthCallCountedFromNow) {
    Sim::FaultPlan plan;
    plan.registerNames({"f", "g"});
    EXPECT_EQ(plan.onCall("f"), 0);
    plan.failCall("f", 2, 512);
    EXPECT_EQ(plan.onCall("f"), 0);
    EXPECT_EQ(plan.onCall("f"), 512);
    EXPECT_EQ(plan.onCall("f"), 0);
    EXPECT_EQ(plan.calls("f"), 4);
    EXPECT_EQ(plan.onCall("g"), 0);
}

// Per-pixel functions are counted without the plan's lock; the plan still meets the exact call.
TEST(FaultPlan, ThreadedPerPixelFunctionsFailOnTheNthCallFromNow) {
    struct Case {
        const char* name;
        int before;
        int nth;
    };
    const Case cases[] = {{"first call", 0, 1}, {"after earlier calls", 5, 3}, {"far ahead", 2, 40}};
    for (const Case& c : cases) {
        Sim::FaultPlan plan;
        plan.registerNames({"subpixel_sample16"});
        for (int i = 0; i < c.before; ++i) EXPECT_EQ(plan.onCall(Sim::HotCall::SubpixelSample16), 0) << c.name;
        plan.failCall("subpixel_sample16", c.nth, 512);
        int failedAt = 0;
        for (int i = 1; i <= c.nth + 5; ++i) {
            // By name or by id, it is one function.
            const PF_Err err = i % 2 ? plan.onCall(Sim::HotCall::SubpixelSample16) : plan.onCall("subpixel_sample16");
            if (err != 0) {
                EXPECT_EQ(failedAt, 0) << c.name << ": failed twice";
                failedAt = i;
            }
        }
        EXPECT_EQ(failedAt, c.nth) << c.name;
        EXPECT_EQ(plan.calls("subpixel_sample16"), c.before + c.nth + 5) << c.name;
        EXPECT_EQ(plan.calls("subpixel_sample"), 0) << c.name;
    }
}

TEST(FaultPlan, ThreadedCallsFromManyThreadsAreAllCountedAndOnePlannedFailureIsMet) {
    Sim::FaultPlan plan;
    plan.registerNames({"area_sample_float"});
    constexpr int kThreads = 8;
    constexpr int kCalls = 2000;
    auto sample = [&](std::atomic<int>& failures) {
        for (int i = 0; i < kCalls; ++i) {
            if (plan.onCall(Sim::HotCall::AreaSampleFloat) != 0) ++failures;
        }
    };
    std::atomic<int> failures{0};
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) threads.emplace_back(sample, std::ref(failures));
        for (auto& thread : threads) thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(plan.calls("area_sample_float"), kThreads * kCalls);

    plan.failCall("area_sample_float", kThreads * kCalls / 2, 516);
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) threads.emplace_back(sample, std::ref(failures));
        for (auto& thread : threads) thread.join();
    }
    EXPECT_EQ(failures.load(), 1);
    EXPECT_EQ(plan.calls("area_sample_float"), 2 * kThreads * kCalls);
    plan.clear();
    EXPECT_EQ(plan.calls("area_sample_float"), 0);
}

// ---------------------------------------------------------------- the call log

std::vector<std::string> numberedLines(size_t first, size_t end) {
    std::vector<std::string> lines;
    for (size_t i = first; i < end; ++i) lines.push_back("call " + std::to_string(i));
    return lines;
}

TEST(CallLog, KeepsTheMostRecentLinesInOrderAndCountsTheRest) {
    struct Case {
        const char* name;
        size_t capacity;
        size_t added;
    };
    const Case cases[] = {
        {"empty", 3, 0},         {"below capacity", 3, 2}, {"exactly full", 3, 3}, {"wrapped twice and a bit", 3, 7},
        {"one line kept", 1, 5},
    };
    for (const Case& c : cases) {
        Sim::CallLog log(nullptr, c.capacity);
        for (const std::string& line : numberedLines(0, c.added)) log.add(line);
        const size_t kept = std::min(c.added, c.capacity);
        EXPECT_EQ(log.lines(), numberedLines(c.added - kept, c.added)) << c.name;
        EXPECT_EQ(log.dropped(), c.added - kept) << c.name;
        EXPECT_EQ(log.count("call "), kept) << c.name;
        EXPECT_EQ(log.contains("call 0"), kept == c.added && c.added > 0) << c.name;
    }
}

TEST(CallLog, ARefusalPushedOutOfTheRingStaysALedgerFault) {
    Sim::Ledger ledger;
    Sim::CallLog log(&ledger, 2);
    log.add("error: refused");
    for (const std::string& line : numberedLines(0, 5)) log.add(line);
    EXPECT_FALSE(log.contains("refused"));
    EXPECT_EQ(ledger.faults(), std::vector<std::string>{"error: refused"});
}

TEST(CallLog, ChangingTheCapacityKeepsTheNewestAndClearForgetsAll) {
    Sim::CallLog log(nullptr, 5);
    for (const std::string& line : numberedLines(0, 8)) log.add(line);
    log.setCapacity(2);
    EXPECT_EQ(log.lines(), numberedLines(6, 8));
    EXPECT_EQ(log.dropped(), 6u);
    log.setCapacity(4);
    for (const std::string& line : numberedLines(8, 11)) log.add(line);
    EXPECT_EQ(log.lines(), numberedLines(7, 11));
    EXPECT_EQ(log.dropped(), 7u);
    log.clear();
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(log.dropped(), 0u);
    log.setCapacity(0);
    EXPECT_EQ(log.capacity(), 1u) << "a log keeps at least its last line";
}

// A host that runs on and on holds no more than its log's capacity of calls.
TEST(CallLog, AHostsLogIsBoundedWhileTheFaultPlanStillCountsEveryCall) {
    Sim::Host host;
    EXPECT_EQ(host.log().capacity(), Sim::CallLog::kDefaultCapacity);
    host.log().setCapacity(8);
    const void* suite = nullptr;
    constexpr int kRounds = 50;
    for (int i = 0; i < kRounds; ++i) {
        ASSERT_EQ(host.basicSuite()->AcquireSuite(kPFHandleSuite, 2, &suite), kSPNoError);
        ASSERT_EQ(host.basicSuite()->ReleaseSuite(kPFHandleSuite, 2), kSPNoError);
    }
    const std::vector<std::string> lines = host.log().lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines.back(), "ReleaseSuite PF Handle Suite v2");
    EXPECT_EQ(host.log().dropped(), 2u * kRounds - 8u);
    EXPECT_EQ(host.faults().calls("AcquireSuite"), kRounds);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().report();
}

using BasicSuiteTest = HostTest;

TEST_F(BasicSuiteTest, AcquiredSuitesAreLedgeredUntilReleased) {
    const void* suite = nullptr;
    SPBasicSuite* basic = in_data_.pica_basicP;
    ASSERT_EQ(basic->AcquireSuite(kPFHandleSuite, 2, &suite), kSPNoError);
    ASSERT_NE(suite, nullptr);
    EXPECT_EQ(host().ledger().outstanding("suite"), 1u);
    EXPECT_EQ(basic->ReleaseSuite(kPFHandleSuite, 2), kSPNoError);
    EXPECT_EQ(host().ledger().outstanding("suite"), 0u);
}

TEST_F(BasicSuiteTest, UnknownVersionAndMissingSuitesAreRefused) {
    const void* suite = reinterpret_cast<const void*>(1);
    SPBasicSuite* basic = in_data_.pica_basicP;
    EXPECT_NE(basic->AcquireSuite(kPFHandleSuite, 99, &suite), kSPNoError);
    EXPECT_EQ(suite, nullptr);
    host().faults().makeSuiteMissing(kPFHandleSuite, 2);
    EXPECT_NE(basic->AcquireSuite(kPFHandleSuite, 2, &suite), kSPNoError);
    EXPECT_EQ(suite, nullptr);
}

TEST_F(BasicSuiteTest, HandlesAreZeroedLedgeredAndValidated) {
    expectFault("lock of an unknown handle");
    PF_UtilCallbacks* utils = in_data_.utils;
    PF_Handle handle = utils->host_new_handle(16);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(utils->get_handle_size(handle), 16u);
    auto* bytes = static_cast<unsigned char*>(utils->host_lock_handle(handle));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(static_cast<void*>(*handle), static_cast<void*>(bytes));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], 0);
    utils->host_unlock_handle(handle);
    EXPECT_EQ(host().ledger().outstanding("handle"), 1u);
    utils->host_dispose_handle(handle);

    char* bogus[1] = {nullptr};
    EXPECT_EQ(utils->host_lock_handle(bogus), nullptr);
    EXPECT_TRUE(host().log().contains("lock of an unknown handle"));
}

TEST_F(BasicSuiteTest, NewHandleFailsWhenPlanned) {
    host().faults().failCall("host_new_handle", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(in_data_.utils->host_new_handle(8), nullptr);
    PF_Handle handle = in_data_.utils->host_new_handle(8);
    EXPECT_NE(handle, nullptr);
    in_data_.utils->host_dispose_handle(handle);
}

// ---------------------------------------------------------------- what makes a test fail

namespace {

// A host as a test would leave it, checked as every test's end checks it.
void runAndCheck(const std::function<void(Sim::Host&, PF_InData&)>& test,
                 const std::vector<std::string>& expected = {}) {
    Sim::Host host;
    PF_InData in{};
    host.fillInData(in, nullptr);
    test(host, in);
    checkHostAfterTest(host, expected);
}

}  // namespace

TEST(HostChecks, ADoubleDisposeOfAHandleFailsItsTest) {
    EXPECT_NONFATAL_FAILURE(runAndCheck([](Sim::Host&, PF_InData& in) {
                                PF_Handle handle = in.utils->host_new_handle(8);
                                in.utils->host_dispose_handle(handle);
                                in.utils->host_dispose_handle(handle);
                            }),
                            "dispose of an unknown handle");
}

TEST(HostChecks, APlannedFailureThatNeverCameFailsItsTest) {
    EXPECT_NONFATAL_FAILURE(runAndCheck([](Sim::Host& host, PF_InData&) {
                                host.faults().failCall("host_new_handle", 2, PF_Err_OUT_OF_MEMORY);
                            }),
                            "planned failure never met: host_new_handle #2");
    // Cleared before it came is still never met.
    EXPECT_NONFATAL_FAILURE(runAndCheck([](Sim::Host& host, PF_InData&) {
                                host.faults().failCall("AEGP_NewMemHandle", 1, PF_Err_OUT_OF_MEMORY);
                                host.faults().clear();
                            }),
                            "planned failure never met: AEGP_NewMemHandle #1");
}

TEST(HostChecks, RefusalsFailTheTestUnlessExpectedAndExpectedOnesMustCome) {
    auto lockUnknown = [](Sim::Host&, PF_InData& in) {
        char* bogus[1] = {nullptr};
        in.utils->host_lock_handle(bogus);
    };
    EXPECT_NONFATAL_FAILURE(runAndCheck(lockUnknown), "ledger fault: error: lock of an unknown handle");
    runAndCheck(lockUnknown, {"lock of an unknown handle"});
    EXPECT_NONFATAL_FAILURE(runAndCheck([](Sim::Host&, PF_InData&) {}, {"lock of an unknown handle"}),
                            "expected a ledger fault");
}

TEST(HostChecks, AMisspeltFunctionCannotBePlanned) {
    Sim::Host host;
    EXPECT_THROW(host.faults().failCall("host_new_handel", 1, PF_Err_OUT_OF_MEMORY), std::invalid_argument);
    EXPECT_THROW(host.faults().failCall("host_new_handle", 0, PF_Err_OUT_OF_MEMORY), std::invalid_argument);
    EXPECT_TRUE(host.faults().known("host_new_handle"));
    EXPECT_TRUE(host.faults().known("area_sample_float"));
    EXPECT_TRUE(host.faults().unfired().empty());
}

// Every function the host lets fail is registered by the area that installs it, once.
TEST(HostChecks, TheHostRegistersItsFaultableFunctions) {
    Sim::Host host;
    for (const char* name : {"AcquireSuite", "host_lock_handle", "AEGP_ExecuteScript", "AEGP_FreeMemHandle",
                             "DRAWBOT_DrawString", "checkout_layer", "transfer_rect", "nn_sample16", "abort"}) {
        EXPECT_TRUE(host.faults().known(name)) << name;
    }
}

TEST(HostChecks, TheTraceNamesEveryOrdinaryCallWithItsOrdinal) {
    Sim::Host host;
    PF_InData in{};
    host.fillInData(in, nullptr);
    host.faults().setTracing(true);
    PF_Handle first = in.utils->host_new_handle(4);
    PF_Handle second = in.utils->host_new_handle(4);
    in.utils->host_lock_handle(first);
    in.utils->host_unlock_handle(first);
    in.utils->host_dispose_handle(first);
    in.utils->host_dispose_handle(second);
    std::vector<std::pair<std::string, int>> traced;
    for (const auto& call : host.faults().trace()) traced.emplace_back(call.function, call.ordinal);
    const std::vector<std::pair<std::string, int>> expected = {
        {"host_new_handle", 1}, {"host_new_handle", 2}, {"host_lock_handle", 1}};
    EXPECT_EQ(traced, expected);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().report();
}

// ---------------------------------------------------------------- nothing stale aliases anything new

TEST_F(BasicSuiteTest, AStaleHandleNeverReachesALaterOne) {
    expectFault("dispose of an unknown handle");
    PF_UtilCallbacks* utils = in_data_.utils;
    PF_Handle stale = utils->host_new_handle(32);
    utils->host_dispose_handle(stale);
    std::vector<PF_Handle> later;
    for (int i = 0; i < 8; ++i) later.push_back(utils->host_new_handle(32));
    for (PF_Handle handle : later) EXPECT_NE(handle, stale);
    utils->host_dispose_handle(stale);
    for (PF_Handle handle : later) {
        EXPECT_TRUE(host().isLiveHandle(handle));
        utils->host_dispose_handle(handle);
    }
}

TEST_F(BasicSuiteTest, AStaleWorldRecordNeverReachesALaterWorld) {
    expectFault("dispose of a world the host did not create for the effect");
    expectFault("copy source: world the host does not know");
    Sim::WorldStore& worlds = host().worlds();
    PF_LayerDef world{};
    ASSERT_EQ(worlds.newWorld(16, 16, PF_PixelFormat_ARGB32, true, &world), PF_Err_NONE);
    const PF_LayerDef stale = world;
    ASSERT_EQ(worlds.disposeWorld(&world), PF_Err_NONE);
    std::vector<PF_LayerDef> later(4);
    for (PF_LayerDef& each : later) {
        ASSERT_EQ(worlds.newWorld(16, 16, PF_PixelFormat_ARGB32, true, &each), PF_Err_NONE);
        EXPECT_NE(each.data, stale.data);
    }
    PF_LayerDef staleCopy = stale;
    EXPECT_EQ(worlds.disposeWorld(&staleCopy), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(in_data_.utils->copy(&effect_, &staleCopy, &later[0], nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    for (PF_LayerDef& each : later) EXPECT_EQ(worlds.disposeWorld(&each), PF_Err_NONE);
}

// Locks are counted under the handle's lock, so threads locking one handle at once never lose one.
TEST_F(BasicSuiteTest, ThreadedLocksOfOneHandleAreCountedExactly) {
    PF_UtilCallbacks* utils = in_data_.utils;
    PF_Handle handle = utils->host_new_handle(64);
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                utils->host_lock_handle(handle);
                utils->host_unlock_handle(handle);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(host().ledger().outstanding("handle lock"), 0u);
    utils->host_dispose_handle(handle);
}

TEST_F(BasicSuiteTest, LocksAreLedgeredAndALockedDisposeIsCaught) {
    PF_UtilCallbacks* utils = in_data_.utils;
    PF_Handle handle = utils->host_new_handle(8);
    ASSERT_NE(utils->host_lock_handle(handle), nullptr);
    ASSERT_NE(utils->host_lock_handle(handle), nullptr);
    EXPECT_EQ(host().ledger().outstanding("handle lock"), 2u);
    utils->host_unlock_handle(handle);
    utils->host_dispose_handle(handle);
    EXPECT_EQ(host().ledger().outstanding("handle lock"), 1u) << "a lock never given back stays in the ledger";
    host().ledger().releaseAll("handle lock");
}
