#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "host/sim/host.h"
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
    EXPECT_EQ(plan.onCall("f"), 0);
    plan.failCall("f", 2, 512);
    EXPECT_EQ(plan.onCall("f"), 0);
    EXPECT_EQ(plan.onCall("f"), 512);
    EXPECT_EQ(plan.onCall("f"), 0);
    EXPECT_EQ(plan.calls("f"), 4);
    EXPECT_EQ(plan.onCall("g"), 0);
}

// Per-pixel functions are counted without the plan's lock; the plan still meets the exact call.
TEST(FaultPlan, PerPixelFunctionsFailOnTheNthCallFromNow) {
    struct Case {
        const char* name;
        int before;
        int nth;
    };
    const Case cases[] = {{"first call", 0, 1}, {"after earlier calls", 5, 3}, {"far ahead", 2, 40}};
    for (const Case& c : cases) {
        Sim::FaultPlan plan;
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

TEST(FaultPlan, CallsFromManyThreadsAreAllCountedAndOnePlannedFailureIsMet) {
    Sim::FaultPlan plan;
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
