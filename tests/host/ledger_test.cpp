#include <gtest/gtest.h>

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
