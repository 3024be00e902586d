#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "host/sim/frame.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "support/plugin_fixture.h"

namespace {

// The glow loaded from its file and placed on a layer of 24 x 16 with a pattern of its own.
class GlowFrameTest : public PluginHostTest {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        load("MorvelGlow");
    }

    Sim::PluginInstance& placed(AEGP_ObjectType type = AEGP_ObjectType_AV) {
        start();
        instance_->placeOnLayer(type, kWidth, kHeight);
        Sim::Image& layer = *host().worlds().hostImage(instance_->effect().inputLayer);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                layer.at<PF_Pixel>(x, y) = PF_Pixel{255, uint8_t(x * 10), uint8_t(y * 15), uint8_t(128)};
            }
        }
        return *instance_;
    }

    void expectClean(const Sim::FrameResult& frame) {
        EXPECT_EQ(frame.deletes, 1);
        EXPECT_EQ(host().ledger().outstanding("pre-render data"), 0u);
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
        for (const std::string& violation : instance_->violations()) ADD_FAILURE() << violation;
    }

    static constexpr int kWidth = 24;
    static constexpr int kHeight = 16;
};

// Without glow ("Glow Opacity" 0) the render hands the layer through: the output holds the
// layer's pixels wherever it lies.
TEST_F(GlowFrameTest, FramesAtEveryDepthRenderAndLeaveNothingBehind) {
    placed();
    setFloat(96, 0);  // "Glow Opacity"
    for (int depth : {8, 16, 32}) {
        SCOPED_TRACE(depth);
        Sim::FrameRequest request;
        request.depth = depth;
        const Sim::FrameResult frame = instance_->renderFrame(request);
        ASSERT_EQ(frame.err(), PF_Err_NONE);
        ASSERT_TRUE(frame.rendered);
        EXPECT_EQ(frame.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS, PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS);
        ASSERT_EQ(frame.output.width(), kWidth);
        ASSERT_EQ(frame.output.height(), kHeight);
        int wrong = 0;
        Sim::withPixelType(frame.output.format(), [&](auto tag) {
            using Pixel = typename decltype(tag)::type;
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    const Sim::Unit got = Sim::toUnit(frame.output.at<Pixel>(x, y));
                    wrong += std::abs(got.red - x * 10 / 255.0) > 1e-3 || std::abs(got.green - y * 15 / 255.0) > 1e-3 ||
                             std::abs(got.alpha - 1.0) > 1e-6;
                }
            }
        });
        EXPECT_EQ(wrong, 0);
        expectClean(frame);
    }
}

TEST_F(GlowFrameTest, PreRenderChecksOutTheWholeLayerForAnySmallRequest) {
    placed();
    struct Case {
        const char* name;
        PF_RationalScale ds;
        PF_LRect request;
        PF_LRect covered;
    } cases[] = {
        {"full size", {1, 1}, {10, 10, 20, 20}, {0, 0, kWidth, kHeight}},
        {"half size", {1, 2}, {2, 2, 4, 4}, {0, 0, kWidth / 2, kHeight / 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sim::FrameRequest request;
        request.rect = c.request;
        request.downsampleX = request.downsampleY = c.ds;
        const Sim::FrameResult frame = instance_->renderFrame(request);
        ASSERT_EQ(frame.err(), PF_Err_NONE);
        ASSERT_EQ(frame.checkouts.size(), 1u);
        const PF_LRect& asked = frame.checkouts[0].request.rect;
        EXPECT_LE(asked.left, c.covered.left);
        EXPECT_LE(asked.top, c.covered.top);
        EXPECT_GE(asked.right, c.covered.right);
        EXPECT_GE(asked.bottom, c.covered.bottom);
        EXPECT_TRUE(frame.checkouts[0].request.preserve_rgb_of_zero_alpha);
        expectClean(frame);
    }
}

TEST_F(GlowFrameTest, GrowBoundsWidensTextAndShapeContentToTheLayer) {
    struct Case {
        const char* name;
        AEGP_ObjectType type;
        PF_LRect content;
        PF_LRect result;
    } cases[] = {
        {"text from x = 12", AEGP_ObjectType_TEXT, {12, 4, 20, 10}, {0, 0, kWidth, kHeight}},
        {"shape", AEGP_ObjectType_SHAPE, {3, 5, 9, 8}, {0, 0, kWidth, kHeight}},
        {"footage keeps its result", AEGP_ObjectType_AV, {12, 4, 20, 10}, {0, 0, kWidth, kHeight}},
        {"empty text content is not grown", AEGP_ObjectType_TEXT, {12, 4, 12, 10}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        instance_.reset();
        placed(c.type);
        if (c.type != AEGP_ObjectType_AV) instance_->setContentBounds(c.content);
        Sim::FrameRequest request;
        request.rect = PF_LRect{0, 0, kWidth, kHeight};
        const Sim::FrameResult frame = instance_->renderFrame(request);
        ASSERT_EQ(frame.err(), PF_Err_NONE);
        EXPECT_EQ(frame.resultRect.left, c.result.left);
        EXPECT_EQ(frame.resultRect.top, c.result.top);
        EXPECT_EQ(frame.resultRect.right, c.result.right);
        EXPECT_EQ(frame.resultRect.bottom, c.result.bottom);
        expectClean(frame);
    }
}

TEST_F(GlowFrameTest, FailuresGiveTheirCodesAndLeaveNothingBehind) {
    struct Case {
        const char* name;
        const char* failing;  // a host function, or a suite when nth is 0
        int nth;
        PF_Err planned;
        PF_Err expected;
    } cases[] = {
        {"layer check-out", "checkout_layer", 1, PF_Err_INVALID_INDEX, PF_Err_INVALID_INDEX},
        {"pre-render handle", "host_new_handle", 1, PF_Err_INTERNAL_STRUCT_DAMAGED, PF_Err_OUT_OF_MEMORY},
        {"values handle", "host_new_handle", 2, PF_Err_INTERNAL_STRUCT_DAMAGED, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {"layer suite", "AEGP Layer Suite", 0, 0, PF_Err_BAD_CALLBACK_PARAM},
        {"input pixels", "checkout_layer_pixels", 1, PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY},
        {"output world", "checkout_output", 1, PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY},
        {"effect layer at render", "AEGP_GetEffectLayer", 2, PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        instance_.reset();
        placed();
        host().faults().clear();
        if (c.nth == 0) {
            host().faults().makeSuiteMissing(c.failing, 13);
        } else {
            host().faults().failCall(c.failing, c.nth, c.planned);
        }
        const Sim::FrameResult frame = instance_->renderFrame();
        EXPECT_EQ(frame.err(), c.expected);
        host().faults().clear();
        EXPECT_EQ(host().ledger().outstanding("pre-render data"), 0u);
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
        for (const std::string& violation : instance_->violations()) ADD_FAILURE() << violation;
    }
}

}  // namespace
