#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "host/sim/frame.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "library/plugin/exports.h"
#include "library/plugin/render_values.h"
#include "support/plugin_fixture.h"
#include "tiltshift/commands.h"
#include "tiltshift/parameter_table.h"

using namespace TiltShift;
using Morvel::Plugin::ParameterValue;

namespace {

bool operator==(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string text(const PF_LRect& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + ")";
}

bool empty(const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; }

// The smallest rectangle holding both; an empty one adds nothing.
PF_LRect unite(const PF_LRect& a, const PF_LRect& b) {
    if (empty(a)) return b;
    if (empty(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

class TiltShiftFrameTest : public PluginHostTest {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        start(EntryPointFunc, "MorvelTiltShift");
    }
};

TEST_F(TiltShiftFrameTest, InputRequestCoversTheLayerFrameAtTheDownsample) {
    struct Case {
        const char* name;
        PF_RationalScale downsample;
        PF_LRect request;
        PF_LRect input;
    };
    const Case cases[] = {
        {"full resolution", {1, 1}, {10, 10, 20, 20}, {0, 0, 64, 48}},
        {"half resolution", {1, 2}, {10, 10, 20, 20}, {0, 0, 32, 24}},
        {"request beyond the layer", {1, 1}, {-5, 40, 70, 50}, {-5, 0, 70, 50}},
    };
    instance().placeOnLayer(AEGP_ObjectType_AV, 64, 48);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sim::FrameRequest request;
        request.rect = c.request;
        request.downsampleX = request.downsampleY = c.downsample;
        const Sim::FrameResult frame = instance().renderFrame(request);
        EXPECT_EQ(frame.err(), PF_Err_NONE);
        ASSERT_EQ(frame.checkouts.size(), 1u);
        const Sim::LayerCheckout& checkout = frame.checkouts.front();
        EXPECT_EQ(checkout.index, 0);
        EXPECT_TRUE(checkout.request.rect == c.input) << text(checkout.request.rect);
        EXPECT_TRUE(checkout.request.preserve_rgb_of_zero_alpha);
        EXPECT_TRUE(frame.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS);
        EXPECT_EQ(frame.deletes, 1);
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }
}

TEST_F(TiltShiftFrameTest, GrowBoundsWidensOnlyTextAndShapeLayersWithContent) {
    struct Case {
        const char* name;
        AEGP_ObjectType type;
        bool hasContent;
        PF_LRect content;
        bool growBounds;
        bool grows;
    };
    const Case cases[] = {
        {"text with content", AEGP_ObjectType_TEXT, true, {12, 5, 40, 30}, true, true},
        {"shape with content", AEGP_ObjectType_SHAPE, true, {12, 5, 40, 30}, true, true},
        {"image layer", AEGP_ObjectType_AV, false, {}, true, false},
        {"text, box off", AEGP_ObjectType_TEXT, true, {12, 5, 40, 30}, false, false},
        {"text without content", AEGP_ObjectType_TEXT, true, {0, 0, 0, 0}, true, false},
    };
    const PF_LRect frameRect{0, 0, 64, 48};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A fresh instance per layer kind: an instance sits on one layer.
        ASSERT_NO_FATAL_FAILURE(start(EntryPointFunc, "MorvelTiltShift"));
        instance().placeOnLayer(c.type, 64, 48);
        if (c.hasContent) instance().setContentBounds(c.content);
        setCheckbox(PARAM_GROW_BOUNDS, c.growBounds);

        Sim::FrameRequest request;
        request.rect = PF_LRect{10, 10, 20, 20};
        const Sim::FrameResult frame = instance().renderFrame(request);
        EXPECT_EQ(frame.err(), PF_Err_NONE);
        ASSERT_EQ(frame.checkouts.size(), 1u);
        const PF_CheckoutResult& checkout = frame.checkouts.front().result;
        const PF_LRect result = c.grows ? frameRect : checkout.result_rect;
        const PF_LRect maxResult = c.grows ? unite(checkout.max_result_rect, frameRect) : checkout.max_result_rect;
        EXPECT_TRUE(frame.resultRect == result) << text(frame.resultRect) << " want " << text(result);
        EXPECT_TRUE(frame.maxResultRect == maxResult) << text(frame.maxResultRect) << " want " << text(maxResult);
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }
}

TEST_F(TiltShiftFrameTest, PreRenderFailuresAreReturnedAndLeaveNothing) {
    struct Case {
        const char* name;
        const char* function;
        int nth;
        PF_Err planned;
        PF_Err returned;
    };
    const Case cases[] = {
        {"data not allocated", "host_new_handle", 1, PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY},
        {"data not locked", "host_lock_handle", 1, PF_Err_INTERNAL_STRUCT_DAMAGED, PF_Err_OUT_OF_MEMORY},
        {"parameter check-out", "checkout_param", 3, PF_Err_INVALID_INDEX, PF_Err_INVALID_INDEX},
        {"layer check-out", "checkout_layer", 1, PF_Err_INTERNAL_STRUCT_DAMAGED, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {"effect layer", "AEGP_GetEffectLayer", 1, PF_Err_INVALID_INDEX, PF_Err_INVALID_INDEX},
        {"object type", "AEGP_GetLayerObjectType", 1, PF_Err_INVALID_INDEX, PF_Err_INVALID_INDEX},
    };
    instance().placeOnLayer(AEGP_ObjectType_TEXT, 64, 48);
    instance().setContentBounds({12, 5, 40, 30});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host().faults().failCall(c.function, c.nth, c.planned);
        const Sim::FrameResult frame = instance().renderFrame();
        host().faults().clear();
        EXPECT_EQ(frame.preRenderErr, c.returned);
        EXPECT_FALSE(frame.rendered);
        EXPECT_TRUE(empty(frame.resultRect)) << "nothing merged: " << text(frame.resultRect);
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }
}

// What the render receives, caught by an entry of the test's own.
std::vector<ParameterValue> received;
int catchValues(int, PF_InData*, PF_OutData*, PF_SmartRenderExtra*, const ParameterValue* values, bool) {
    received.assign(values, values + kParamCount);
    return PF_Err_NONE;
}

TEST_F(TiltShiftFrameTest, RenderValuesAreTheCheckedOutValuesOfEveryRow) {
    instance().placeOnLayer(AEGP_ObjectType_AV, 64, 48);
    PF_EffectInstance& effect = instance().effect();
    auto set = [&](ParamIndex index, auto change) {
        PF_ParamDef value = Sim::paramValue(effect, index);
        change(value.u);
        Sim::setParamValue(effect, index, value);
    };
    set(PARAM_TYPE, [](PF_ParamDefUnion& u) { u.pd.value = 2; });
    set(PARAM_BLUR_AMOUNT, [](PF_ParamDefUnion& u) { u.fs_d.value = 123.5; });
    set(PARAM_CENTER, [](PF_ParamDefUnion& u) {
        u.td.x_value = 7 * 65536 + 32768;
        u.td.y_value = 9 * 65536 + 16384;
    });
    set(PARAM_DIRECTION, [](PF_ParamDefUnion& u) { u.ad.value = 30 * 65536 + 32768; });
    set(PARAM_VIGNETTING_COLOR, [](PF_ParamDefUnion& u) { u.cd.value = PF_Pixel{255, 51, 102, 204}; });
    set(PARAM_BLENDING_MODE, [](PF_ParamDefUnion& u) { u.pd.value = 13; });
    set(PARAM_REPEAT_EDGE_PIXELS, [](PF_ParamDefUnion& u) { u.bd.value = 0; });

    // Pre-render as the host runs it, then the hand-off to a render entry of the test's.
    PF_PreRenderInput preIn{};
    preIn.output_request.rect = {0, 0, 64, 48};
    PF_PreRenderOutput preOut{};
    PF_PreRenderExtra pre{&preIn, &preOut, Sim::preRenderCallbacks()};
    ASSERT_EQ(instance().command(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &pre), PF_Err_NONE);
    ASSERT_NE(preOut.delete_pre_render_data_func, nullptr);
    PF_InData in{};
    host().fillInData(in, &effect);
    in.global_data = instance().globalData();
    PF_OutData out{};
    PF_SmartRenderInput renderIn{};
    renderIn.pre_render_data = preOut.pre_render_data;
    PF_SmartRenderExtra render{&renderIn, Sim::smartRenderCallbacks()};
    received.clear();
    ASSERT_EQ(Morvel::Plugin::renderWithValues(&in, &out, &render, PARAM_DEFS, kParamCount, catchValues), PF_Err_NONE);
    preOut.delete_pre_render_data_func(preOut.pre_render_data);
    Sim::endFrame(host(), effect);

    ASSERT_EQ(received.size(), size_t(kParamCount));
    for (int r = 0; r < kParamCount; ++r) {
        EXPECT_EQ(received[r].id, r + 1);
        EXPECT_EQ(received[r].kind, PARAM_DEFS[r].kind);
    }
    auto at = [&](ParamIndex index) { return received[rowOf(index)].value; };
    EXPECT_EQ(at(PARAM_TYPE).i, 2);
    EXPECT_EQ(at(PARAM_BLUR_AMOUNT).d, 123.5);
    EXPECT_EQ(at(PARAM_BLUR_OFFSET).d, 0.0);
    EXPECT_EQ(at(PARAM_CENTER).point.x, 7.5);
    EXPECT_EQ(at(PARAM_CENTER).point.y, 9.25);
    EXPECT_EQ(at(PARAM_DIRECTION).d, 30.5);
    EXPECT_FLOAT_EQ(at(PARAM_VIGNETTING_COLOR).color.red, 0.2f);
    EXPECT_FLOAT_EQ(at(PARAM_VIGNETTING_COLOR).color.green, 0.4f);
    EXPECT_FLOAT_EQ(at(PARAM_VIGNETTING_COLOR).color.blue, 0.8f);
    EXPECT_EQ(at(PARAM_BLENDING_MODE).i, 13);
    EXPECT_FALSE(at(PARAM_REPEAT_EDGE_PIXELS).b);
    EXPECT_TRUE(at(PARAM_GROW_BOUNDS).b);
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

TEST_F(TiltShiftFrameTest, EveryDepthAndDownsampleRendersTheLayerThrough) {
    instance().placeOnLayer(AEGP_ObjectType_AV, 24, 16);
    PF_LayerDef* layer = instance().effect().inputLayer;
    Sim::Image* pixels = host().worlds().hostImage(layer);
    ASSERT_NE(pixels, nullptr);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 24; ++x) pixels->at<PF_Pixel>(x, y) = PF_Pixel{255, 204, 102, 51};
    }
    struct Case {
        int depth;
        PF_RationalScale downsample;
    };
    for (const Case& c :
         {Case{8, {1, 1}}, Case{16, {1, 1}}, Case{32, {1, 1}}, Case{8, {1, 2}}, Case{16, {1, 2}}, Case{32, {1, 2}}}) {
        SCOPED_TRACE(std::to_string(c.depth) + " bits at 1/" + std::to_string(c.downsample.den));
        Sim::FrameRequest request;
        request.depth = c.depth;
        request.downsampleX = request.downsampleY = c.downsample;
        const Sim::FrameResult frame = instance().renderFrame(request);
        EXPECT_EQ(frame.err(), PF_Err_NONE);
        ASSERT_TRUE(frame.rendered);
        EXPECT_EQ(frame.output.width(), int(24 / c.downsample.den));
        EXPECT_EQ(frame.output.height(), int(16 / c.downsample.den));
        // A uniform layer stays uniform: each channel within one 8-bit step of the layer's.
        for (int y = 0; y < frame.output.height(); ++y) {
            for (int x = 0; x < frame.output.width(); ++x) {
                double unit[4];
                if (c.depth == 8) {
                    const auto& p = frame.output.at<PF_Pixel>(x, y);
                    unit[0] = p.alpha / 255.0, unit[1] = p.red / 255.0, unit[2] = p.green / 255.0,
                    unit[3] = p.blue / 255.0;
                } else if (c.depth == 16) {
                    const auto& p = frame.output.at<PF_Pixel16>(x, y);
                    unit[0] = p.alpha / 32768.0, unit[1] = p.red / 32768.0, unit[2] = p.green / 32768.0,
                    unit[3] = p.blue / 32768.0;
                } else {
                    const auto& p = frame.output.at<PF_PixelFloat>(x, y);
                    unit[0] = p.alpha, unit[1] = p.red, unit[2] = p.green, unit[3] = p.blue;
                }
                const double want[4] = {1.0, 0.8, 0.4, 0.2};
                for (int ch = 0; ch < 4; ++ch) {
                    ASSERT_NEAR(unit[ch], want[ch], 1.0 / 255) << x << "," << y << " channel " << ch;
                }
            }
        }
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }
}

TEST_F(TiltShiftFrameTest, RenderWithoutPreRenderDataIsRefused) {
    instance().placeOnLayer(AEGP_ObjectType_AV, 8, 8);
    PF_SmartRenderInput renderIn{};
    PF_SmartRenderExtra render{&renderIn, Sim::smartRenderCallbacks()};
    EXPECT_EQ(instance().command(PF_Cmd_SMART_RENDER, nullptr, nullptr, &render), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

TEST_F(TiltShiftFrameTest, UserChangedParamAsksForLayerAndCompositionOnly) {
    instance().placeOnLayer(AEGP_ObjectType_AV, 8, 8);
    host().log().clear();
    EXPECT_EQ(instance().command(PF_Cmd_USER_CHANGED_PARAM), PF_Err_NONE);
    EXPECT_EQ(host().log().count("AEGP_GetEffectLayer"), 1u);
    EXPECT_EQ(host().log().count("AEGP_GetLayerParentComp"), 1u);
    EXPECT_EQ(instance().lastOut().out_flags, 0);

    host().log().clear();
    host().faults().failCall("AEGP_GetEffectLayer", 1, PF_Err_INVALID_INDEX);
    EXPECT_EQ(instance().command(PF_Cmd_USER_CHANGED_PARAM), PF_Err_INVALID_INDEX);
    EXPECT_EQ(host().log().count("AEGP_GetLayerParentComp"), 0u);
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

}  // namespace

namespace {

TEST(TiltShiftPluginInfo, RecordHoldsTheTableAndTheRenderEntry) {
    EXPECT_EQ(MPluginInfo.params, PARAM_DEFS);
    EXPECT_EQ(MPluginInfo.paramCount, 17);
    EXPECT_EQ(MPluginInfo.padding, 0);
    EXPECT_EQ(MPluginInfo.reserved1, nullptr);
    EXPECT_EQ(MPluginInfo.reserved2, nullptr);
    EXPECT_EQ(MPluginInfo.render, &TiltShift::renderEntry);
}

// Called from outside the host's command protocol, the entry still answers with a code.
TEST(TiltShiftPluginInfo, RenderEntryReturnsErrorsInsteadOfThrowing) {
    PF_InData in{};  // no basic suite: the suite handler throws 516
    PF_OutData out{};
    EXPECT_EQ(MPluginInfo.render(1, &in, &out, nullptr, nullptr, false), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(MPluginInfo.render(1, nullptr, &out, nullptr, nullptr, false), PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
