#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Util/AEFX_SuiteHelper.h"
#include "support/host_fixture.h"
#include "support/unbounded_sprintf.h"

namespace {

class AefxTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        out_data_ = PF_OutData{};
    }
    bool errorShown() const { return (out_data_.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0; }
    std::string message() const { return out_data_.return_msg; }
};

struct AcquireCase {
    const char* label;
    bool missing;
    bool noBasicSuite;
    const char* message;
    PF_Err expected;
    const char* shown;  // null: no message expected
};

TEST_F(AefxTest, AcquireSuiteReportsFailureThroughTheOutputRecord) {
    const AcquireCase cases[] = {
        {"present", false, false, "Couldn't load suite.", PF_Err_NONE, nullptr},
        {"missing", true, false, "Couldn't load suite.", PF_Err_BAD_CALLBACK_PARAM, "Couldn't load suite."},
        {"missing, no message", true, false, nullptr, PF_Err_BAD_CALLBACK_PARAM, "Not able to acquire AEFX Suite."},
        {"no basic suite", false, true, "Couldn't load suite.", PF_Err_BAD_CALLBACK_PARAM, "Couldn't load suite."},
    };
    for (const AcquireCase& c : cases) {
        SCOPED_TRACE(c.label);
        out_data_ = PF_OutData{};
        host().faults().clear();
        if (c.missing) host().faults().makeSuiteMissing(kPFHandleSuite, 2);
        PF_InData in = in_data_;
        if (c.noBasicSuite) in.pica_basicP = nullptr;
        void* suite = reinterpret_cast<void*>(0x1);  // a stale pointer must not pass for a suite
        EXPECT_EQ(AEFX_AcquireSuite(&in, &out_data_, kPFHandleSuite, 2, c.message, &suite), c.expected);
        EXPECT_EQ(errorShown(), c.shown != nullptr);
        EXPECT_EQ(message(), c.shown != nullptr ? c.shown : "");
        if (c.expected == PF_Err_NONE) {
            EXPECT_NE(suite, nullptr);
            EXPECT_EQ(AEFX_ReleaseSuite(&in, &out_data_, kPFHandleSuite, 2, "Couldn't release suite."), PF_Err_NONE);
        }
        EXPECT_TRUE(host().ledger().balanced()) << host().ledger().report();
    }
}

TEST_F(AefxTest, ReleaseWithoutBasicSuiteReports516) {
    PF_InData in = in_data_;
    in.pica_basicP = nullptr;
    EXPECT_EQ(AEFX_ReleaseSuite(&in, &out_data_, kPFHandleSuite, 2, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(errorShown());
    EXPECT_EQ(message(), "Not able to release AEFX Suite.");
}

TEST_F(AefxTest, MessagesFitTheReturnMessageWhateverTheHostsSprintf) {
    PF_UtilCallbacks utils = *in_data_.utils;
    utils.ansi.sprintf = unboundedSprintf;
    PF_InData in = in_data_;
    in.utils = &utils;
    host().faults().makeSuiteMissing(kPFHandleSuite, 2);

    const std::string longMessage(400, 'x');
    GuardedOutData guarded;
    void* suite = nullptr;
    EXPECT_EQ(AEFX_AcquireSuite(&in, &guarded.out, kPFHandleSuite, 2, longMessage.c_str(), &suite),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(guarded.guardIntact());
    EXPECT_EQ(std::string(guarded.out.return_msg), longMessage.substr(0, PF_MAX_RETURN_MSG_LEN - 1));

    // A '%' in a message is text, not a conversion asking for an argument.
    GuardedOutData percent;
    AEFX_AcquireSuite(&in, &percent.out, kPFHandleSuite, 2, "100%s %d done", &suite);
    EXPECT_STREQ(percent.out.return_msg, "100%s %d done");
}

// Stand-ins for the drawing suites: only their addresses matter here.
const int kDrawTables[4] = {};

class DrawbotTest : public AefxTest {
protected:
    void offer(int count) {
        const char* names[] = {kDRAWBOT_DrawSuite, kDRAWBOT_SupplierSuite, kDRAWBOT_SurfaceSuite, kDRAWBOT_PathSuite};
        for (int i = 0; i < count; ++i) host().addSuite(names[i], 1, &kDrawTables[i]);
    }
};

TEST_F(DrawbotTest, AcquiresAllFourInRecordOrderAndReleasesThem) {
    offer(4);
    DRAWBOT_Suites suites{};
    ASSERT_EQ(AEFX_AcquireDrawbotSuites(&in_data_, &out_data_, &suites), PF_Err_NONE);
    EXPECT_EQ(static_cast<const void*>(suites.draw_suite), &kDrawTables[0]);
    EXPECT_EQ(static_cast<const void*>(suites.supplier_suite), &kDrawTables[1]);
    EXPECT_EQ(static_cast<const void*>(suites.surface_suite), &kDrawTables[2]);
    EXPECT_EQ(static_cast<const void*>(suites.path_suite), &kDrawTables[3]);
    EXPECT_EQ(host().ledger().outstanding("suite"), 4u);
    EXPECT_EQ(AEFX_ReleaseDrawbotSuites(&in_data_, &out_data_), PF_Err_NONE);
    EXPECT_FALSE(errorShown());
}

TEST_F(DrawbotTest, StopsAtTheFirstMissingSuite) {
    offer(2);  // no surface suite, so the path suite is never asked for
    host().faults().makeSuiteMissing(kDRAWBOT_SurfaceSuite, 1);
    DRAWBOT_Suites suites{};
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(&in_data_, &out_data_, &suites), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_NE(suites.supplier_suite, nullptr);
    EXPECT_EQ(suites.surface_suite, nullptr);
    EXPECT_EQ(suites.path_suite, nullptr);
    EXPECT_EQ(host().log().count("AcquireSuite DRAWBOT Path Suite"), 0u);
    EXPECT_TRUE(errorShown());
    EXPECT_EQ(message(), "Not able to acquire AEFX Suite.");
    in_data_.pica_basicP->ReleaseSuite(kDRAWBOT_DrawSuite, 1);
    in_data_.pica_basicP->ReleaseSuite(kDRAWBOT_SupplierSuite, 1);
}

TEST_F(DrawbotTest, NullRecordIs514) {
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(&in_data_, &out_data_, nullptr), PF_Err_UNRECOGNIZED_PARAM_TYPE);
    EXPECT_TRUE(errorShown());
    EXPECT_EQ(message(), "NULL suite pointer passed to AEFX_AcquireDrawbotSuites");
    EXPECT_EQ(host().log().count("AcquireSuite"), 0u);
}

TEST_F(DrawbotTest, WithoutBasicSuiteNothingIsAcquiredAndReleaseStillAnswers0) {
    offer(4);
    in_data_.pica_basicP = nullptr;
    DRAWBOT_Suites suites{};
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(&in_data_, &out_data_, &suites), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suites.draw_suite, nullptr);
    out_data_ = PF_OutData{};
    EXPECT_EQ(AEFX_ReleaseDrawbotSuites(&in_data_, &out_data_), PF_Err_NONE);
    EXPECT_TRUE(errorShown());
    EXPECT_EQ(message(), "Not able to release AEFX Suite.");
}

}  // namespace
