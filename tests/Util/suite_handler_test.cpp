#include <gtest/gtest.h>

#include <barrier>
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

TEST_F(SuiteHandlerTest, ThreadedConcurrentFirstUseLeavesOneAcquisition) {
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

// Every thread is held inside the host's AcquireSuite until all have asked, so all of them
// race to fill the one slot; the losers must give their acquisitions back.
namespace {
constexpr int kRacers = 6;
std::barrier<>* racersInside = nullptr;
const SPBasicSuite* realBasic = nullptr;
SPErr acquireTogether(const char* name, int32_t version, const void** suite) {
    const SPErr err = realBasic->AcquireSuite(name, version, suite);
    racersInside->arrive_and_wait();
    return err;
}
}  // namespace

TEST_F(SuiteHandlerTest, ThreadedRacingFirstUsesKeepOneAcquisitionAndGiveBackTheRest) {
    std::barrier<> inside(kRacers);
    racersInside = &inside;
    realBasic = in_data_.pica_basicP;
    SPBasicSuite holding = *in_data_.pica_basicP;
    holding.AcquireSuite = acquireTogether;
    {
        const AEGP_SuiteHandler suites(&holding);
        std::vector<const void*> seen(kRacers);
        std::vector<std::thread> threads;
        for (int t = 0; t < kRacers; ++t) threads.emplace_back([&, t] { seen[t] = suites.UtilitySuite7(); });
        for (auto& thread : threads) thread.join();
        for (const void* suite : seen) EXPECT_EQ(suite, seen[0]);
        EXPECT_EQ(host().log().count("AcquireSuite AEGP Utility Suite v7"), size_t(kRacers));
        EXPECT_EQ(host().log().count("ReleaseSuite AEGP Utility Suite v7"), size_t(kRacers - 1));
        EXPECT_EQ(host().ledger().outstanding("suite"), 1u);
    }
    EXPECT_EQ(host().log().count("ReleaseSuite AEGP Utility Suite v7"), size_t(kRacers));
    EXPECT_EQ(host().ledger().badReleases(), 0u);
    racersInside = nullptr;
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
