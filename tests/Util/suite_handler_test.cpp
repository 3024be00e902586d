#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "support/host_fixture.h"

using SuiteHandlerTest = HostTest;

TEST_F(SuiteHandlerTest, UnusedHandlerAcquiresAndReleasesNothing) {
    { AEGP_SuiteHandler suites(in_data_.pica_basicP); }
    EXPECT_EQ(host().log().count("AcquireSuite"), 0u);
    EXPECT_EQ(host().log().count("ReleaseSuite"), 0u);
}

TEST_F(SuiteHandlerTest, AsksOnceAndReleasesOnce) {
    {
        const AEGP_SuiteHandler suites(in_data_.pica_basicP);
        const PF_HandleSuite2* first = suites.HandleSuite2();
        EXPECT_EQ(first, suites.HandleSuite2());
        EXPECT_EQ(host().ledger().outstanding("suite"), 1u);
    }
    EXPECT_EQ(host().log().count("AcquireSuite PF Handle Suite v2"), 1u);
    EXPECT_EQ(host().log().count("ReleaseSuite PF Handle Suite v2"), 1u);
}

TEST_F(SuiteHandlerTest, NullBasicSuiteThrows516) {
    try {
        AEGP_SuiteHandler suites(nullptr);
        FAIL() << "no exception";
    } catch (PF_Err err) {
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    }
}

TEST_F(SuiteHandlerTest, MissingSuiteThrows516AndKeepsWhatWasAcquired) {
    host().faults().makeSuiteMissing(kAEGPUtilitySuite, 7);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    suites.HandleSuite2();
    EXPECT_THROW(suites.UtilitySuite7(), PF_Err);
    EXPECT_EQ(host().ledger().outstanding("suite"), 1u);
}

TEST_F(SuiteHandlerTest, ConcurrentFirstUseLeavesOneAcquisition) {
    {
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        std::vector<std::thread> threads;
        std::vector<const void*> seen(8);
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&, t] { seen[t] = suites.HandleSuite2(); });
        }
        for (auto& thread : threads) thread.join();
        for (const void* suite : seen) EXPECT_EQ(suite, seen[0]);
        EXPECT_EQ(host().ledger().outstanding("suite"), 1u);
    }
    EXPECT_EQ(host().ledger().outstanding("suite"), 0u);
}

TEST_F(SuiteHandlerTest, VersionsOfOneSuiteAreKeptApart) {
    static const int version1 = 1, version2 = 2;
    host().addSuite(kPFWorldSuite, 1, &version1);
    host().addSuite(kPFWorldSuite, 2, &version2);
    {
        const AEGP_SuiteHandler suites(in_data_.pica_basicP);
        EXPECT_EQ(static_cast<const void*>(suites.WorldSuite1()), &version1);
        EXPECT_EQ(static_cast<const void*>(suites.WorldSuite2()), &version2);
        EXPECT_EQ(static_cast<const void*>(suites.WorldSuite1()), &version1);
    }
    EXPECT_EQ(host().log().count("AcquireSuite PF World Suite v1"), 1u);
    EXPECT_EQ(host().log().count("AcquireSuite PF World Suite v2"), 1u);
    EXPECT_EQ(host().log().count("ReleaseSuite PF World Suite v1"), 1u);
    EXPECT_EQ(host().log().count("ReleaseSuite PF World Suite v2"), 1u);
}
