// Pens and paths made through the supplier: what they record, and that they go back to the host
// on every way out.

#include <gtest/gtest.h>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/drawing.h"
#include "library/custom_data/color_expression_data/drawbot_objects.h"
#include "support/host_fixture.h"

using namespace Morvel::ColorExpressionData;

namespace {

class DrawbotObjectsTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        window_ = std::make_unique<Sim::EffectControlsWindow>(host());
    }
    void TearDown() override {
        window_.reset();
        HostTest::TearDown();
    }
    std::unique_ptr<Sim::EffectControlsWindow> window_;
};

TEST_F(DrawbotObjectsTest, APathStrokedWithAPenRecordsItsStepsAndBothGoBack) {
    {
        DrawbotSuitesScope drawbot(&in_data_, &out_data_);
        ASSERT_EQ(drawbot.err(), PF_Err_NONE);
        const DRAWBOT_Suites& suites = drawbot.suites();
        SharedRef<DRAWBOT_PenP> pen(
            new DRAWBOT_PenP(suites.supplier_suite, window_->supplierRef(), {1, 0, 0, 1}, 2.5f));
        SharedRef<DRAWBOT_PathP> path(
            new DRAWBOT_PathP(suites.supplier_suite, suites.path_suite, window_->supplierRef()));
        path->moveTo({1, 2});
        path->lineTo({3, 4});
        path->bezierTo({5, 6}, {7, 8}, {9, 10});
        path->close();
        EXPECT_EQ(suites.surface_suite->StrokePath(window_->surfaceRef(), pen->get(), path->get()), PF_Err_NONE);
        EXPECT_EQ(host().ledger().outstanding("drawbot pen"), 1u);
        EXPECT_EQ(host().ledger().outstanding("drawbot path"), 1u);
    }
    EXPECT_EQ(host().ledger().outstanding(), 0u);
    const auto strokes = window_->calls("StrokePath");
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0].numbers, (std::vector<double>{1, 0, 0, 1, 2.5}));
    const auto& steps = strokes[0].path;
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].op, 'M');
    EXPECT_EQ(steps[1].op, 'L');
    EXPECT_EQ(steps[2].op, 'C');
    EXPECT_EQ(steps[2].values, (std::vector<float>{5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(steps[3].op, 'Z');
}

TEST_F(DrawbotObjectsTest, FailuresThrowTheHostsCodeAndLeaveNothingBehind) {
    struct Case {
        const char* function;
        PF_Err err;
    };
    for (const Case& c : {Case{"DRAWBOT_NewPen", 4}, Case{"DRAWBOT_NewPath", 512}, Case{"DRAWBOT_LineTo", 516}}) {
        host().faults().clear();
        host().faults().failCall(c.function, 1, c.err);
        PF_Err caught = PF_Err_NONE;
        {
            DrawbotSuitesScope drawbot(&in_data_, &out_data_);
            const DRAWBOT_Suites& suites = drawbot.suites();
            try {
                SharedRef<DRAWBOT_PenP> pen(new DRAWBOT_PenP(suites.supplier_suite, window_->supplierRef(), {}, 1));
                SharedRef<DRAWBOT_PathP> path(
                    new DRAWBOT_PathP(suites.supplier_suite, suites.path_suite, window_->supplierRef()));
                path->moveTo({0, 0});
                path->lineTo({1, 1});
            } catch (DRAWBOT_Exception const& failure) {
                caught = failure.err();
            }
        }
        EXPECT_EQ(caught, c.err) << c.function;
        EXPECT_TRUE(host().ledger().balanced()) << c.function << "\n" << host().ledger().report();
    }
}

TEST_F(DrawbotObjectsTest, AScopeGivesBackOnlyTheSuitesItGot) {
    host().faults().makeSuiteMissing(kDRAWBOT_SurfaceSuite, kDRAWBOT_SuiteVersion1);
    {
        DrawbotSuitesScope drawbot(&in_data_, &out_data_);
        EXPECT_EQ(drawbot.err(), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_NE(drawbot.suites().supplier_suite, nullptr);
        EXPECT_EQ(drawbot.suites().path_suite, nullptr);
    }
    EXPECT_TRUE(host().ledger().balanced()) << host().ledger().report();
}

}  // namespace
