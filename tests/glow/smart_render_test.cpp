#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/parameter_table.h"
#include "glow/render_setup.h"
#include "glow/smart_render.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "host/sim/worlds.h"
#include "library/parameter/parameter.h"
#include "library/plugin/exports.h"
#include "support/plugin_fixture.h"
#include "support/raw_world.h"

namespace {

using Morvel::Plugin::ParameterUnionValue;
using Morvel::Plugin::ParameterValue;

// What the host's layer check-out saw and what it answers.
PF_RenderRequest seenRequest;
int checkouts = 0;
PF_CheckoutResult answer;

PF_Err recordCheckout(PF_ProgPtr, int32_t index, int32_t checkout_id, const PF_RenderRequest* req, int32_t, int32_t,
                      uint32_t, PF_CheckoutResult* result) {
    ++checkouts;
    EXPECT_EQ(index, 0);
    EXPECT_EQ(checkout_id, 0);
    seenRequest = *req;
    *result = answer;
    return PF_Err_NONE;
}

// What the render entry was handed.
std::vector<ParameterValue> seenValues;
int renders = 0;
PF_Err renderResult = PF_Err_NONE;

PF_Err recordRender(int, PF_InData*, PF_OutData*, PF_SmartRenderExtra*, const ParameterValue* values, bool flag) {
    ++renders;
    EXPECT_FALSE(flag);
    seenValues.assign(values, values + Glow::kParamCount);
    return renderResult;
}

PF_Err throwingRender(int, PF_InData*, PF_OutData*, PF_SmartRenderExtra*, const ParameterValue*, bool) {
    throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
}

class GlowSmartRender : public PluginHostTest {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        checkouts = 0;
        renders = 0;
        renderResult = PF_Err_NONE;
        seenValues.clear();
        answer = PF_CheckoutResult{};
    }
    Sim::PluginInstance& placed(AEGP_ObjectType type = AEGP_ObjectType_AV) {
        start(&EntryPointFunc, "MorvelGlow");
        instance_->placeOnLayer(type, 40, 30);
        return *instance_;
    }
    PF_InData inData(PF_RationalScale dsx = {1, 1}, PF_RationalScale dsy = {1, 1}) {
        PF_InData in;
        host().fillInData(in, &instance_->effect());
        in.global_data = instance_->globalData();
        in.width = 40;
        in.height = 30;
        in.downsample_x = dsx;
        in.downsample_y = dsy;
        return in;
    }

    // One pre-render; the pre-render data is given back through the delete function it names.
    struct PreRender {
        PF_PreRenderInput input{};
        PF_PreRenderOutput output{};
        PF_PreRenderCallbacks callbacks{recordCheckout};
        PF_PreRenderExtra extra{&input, &output, &callbacks};
        PF_Err err = PF_Err_NONE;
        void release() {
            ASSERT_NE(output.delete_pre_render_data_func, nullptr);
            output.delete_pre_render_data_func(output.pre_render_data);
            output.pre_render_data = nullptr;
        }
    };
    PF_Err preRender(PreRender& frame, PF_InData in, PF_LRect request) {
        frame.input.output_request.rect = request;
        PF_OutData out{};
        frame.err = Glow::SmartPreRender(&in, &out, &frame.extra);
        return frame.err;
    }
};

TEST_F(GlowSmartRender, PreRenderAsksForTheWholeLayerWhateverTheRequest) {
    struct Case {
        const char* name;
        PF_RationalScale dsx, dsy;
        PF_LRect request;
        PF_LRect expected;
    } cases[] = {
        {"inside, full size", {1, 1}, {1, 1}, {10, 10, 20, 20}, {0, 0, 40, 30}},
        {"inside, half size", {1, 2}, {1, 2}, {10, 10, 20, 20}, {0, 0, 20, 20}},
        {"small, half size", {1, 2}, {1, 2}, {1, 2, 3, 4}, {0, 0, 20, 15}},
        {"half width only", {1, 2}, {1, 1}, {2, 3, 4, 5}, {0, 0, 20, 30}},
        {"beyond the layer stays", {1, 1}, {1, 1}, {-5, -6, 50, 40}, {-5, -6, 50, 40}},
        {"a third, truncated", {1, 3}, {1, 3}, {1, 1, 2, 2}, {0, 0, 13, 10}},
    };
    placed();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PreRender frame;
        ASSERT_EQ(preRender(frame, inData(c.dsx, c.dsy), c.request), PF_Err_NONE);
        EXPECT_EQ(checkouts, 1);
        checkouts = 0;
        const PF_LRect& got = seenRequest.rect;
        EXPECT_EQ(got.left, c.expected.left);
        EXPECT_EQ(got.top, c.expected.top);
        EXPECT_EQ(got.right, c.expected.right);
        EXPECT_EQ(got.bottom, c.expected.bottom);
        EXPECT_TRUE(seenRequest.preserve_rgb_of_zero_alpha);
        EXPECT_EQ(frame.output.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS,
                  PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS);
        frame.release();
    }
    EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
}

TEST_F(GlowSmartRender, GrowBoundsWidensOnlyTextAndShapeLayersWithContent) {
    struct Case {
        const char* name;
        AEGP_ObjectType type;
        bool grow;
        PF_LRect result;
        PF_LRect expected;
        PF_LRect expectedMax;
    } cases[] = {
        {"text", AEGP_ObjectType_TEXT, true, {12, 4, 30, 20}, {0, 0, 40, 30}, {0, 0, 40, 30}},
        {"shape", AEGP_ObjectType_SHAPE, true, {12, 4, 50, 20}, {0, 0, 50, 30}, {0, 0, 50, 30}},
        {"text, empty result", AEGP_ObjectType_TEXT, true, {12, 4, 12, 20}, {12, 4, 12, 20}, {5, 2, 35, 25}},
        {"footage", AEGP_ObjectType_AV, true, {12, 4, 30, 20}, {12, 4, 30, 20}, {5, 2, 35, 25}},
        {"text, grow bounds off", AEGP_ObjectType_TEXT, false, {12, 4, 30, 20}, {12, 4, 30, 20}, {5, 2, 35, 25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        placed(c.type);
        setCheckbox(108, c.grow);  // "Grow Bounds"
        answer.result_rect = c.result;
        answer.max_result_rect = {5, 2, 35, 25};
        PreRender frame;
        ASSERT_EQ(preRender(frame, inData(), {0, 0, 40, 30}), PF_Err_NONE);
        const PF_LRect& got = frame.output.result_rect;
        EXPECT_EQ(got.left, c.expected.left);
        EXPECT_EQ(got.right, c.expected.right);
        EXPECT_EQ(got.top, c.expected.top);
        EXPECT_EQ(got.bottom, c.expected.bottom);
        const PF_LRect& max = frame.output.max_result_rect;
        EXPECT_EQ(max.left, c.expectedMax.left);
        EXPECT_EQ(max.top, c.expectedMax.top);
        EXPECT_EQ(max.right, c.expectedMax.right);
        EXPECT_EQ(max.bottom, c.expectedMax.bottom);
        frame.release();
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
    }
}

TEST_F(GlowSmartRender, RenderHandsOverOneRecordPerRowAsCheckedOut) {
    placed();
    // Values away from their defaults, so that a row read from the wrong place shows.
    setFloat(6, 33.5);
    setPopup(68, 3);

    PreRender frame;
    ASSERT_EQ(preRender(frame, inData(), {0, 0, 40, 30}), PF_Err_NONE);
    std::vector<ParameterUnionValue> direct(Glow::kParamCount);
    std::memset(direct.data(), 0, direct.size() * sizeof direct[0]);
    PF_InData in = inData();
    ASSERT_EQ(Morvel::Plugin::checkoutParams(&in, Glow::PARAM_DEFS, Glow::kParamCount, direct.data()), PF_Err_NONE);

    PF_SmartRenderInput input{};
    input.pre_render_data = frame.output.pre_render_data;
    PF_SmartRenderExtra extra{};
    extra.input = &input;
    PF_OutData out{};
    renderResult = 1234;
    EXPECT_EQ(Glow::SmartRender(&in, &out, &extra, recordRender), 1234);
    ASSERT_EQ(renders, 1);
    ASSERT_EQ(seenValues.size(), size_t(Glow::kParamCount));
    for (int r = 0; r < Glow::kParamCount; ++r) {
        EXPECT_EQ(seenValues[r].id, Glow::PARAM_DEFS[r].id) << r;
        EXPECT_EQ(seenValues[r].kind, Glow::PARAM_DEFS[r].kind) << r;
        EXPECT_EQ(std::memcmp(&seenValues[r].value, &direct[r], sizeof direct[r]), 0) << "row " << r;
    }
    EXPECT_DOUBLE_EQ(seenValues[4].value.d, 33.5);
    EXPECT_EQ(seenValues[56].value.i, 3);
    frame.release();
    EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
}

TEST_F(GlowSmartRender, RenderFailuresGiveTheirCodesAndLeaveNothingBehind) {
    placed();
    struct Case {
        const char* name;
        bool noGlobalData;
        bool noPreRenderData;
        const char* failing;
        PF_Err expected;
        int renders;
    } cases[] = {
        {"no global data", true, false, nullptr, PF_Err_BAD_CALLBACK_PARAM, 0},
        {"no pre-render data", false, true, nullptr, PF_Err_BAD_CALLBACK_PARAM, 0},
        {"pre-render data cannot be locked", false, false, "host_lock_handle", PF_Err_BAD_CALLBACK_PARAM, 0},
        {"no values handle", false, false, "host_new_handle", PF_Err_INTERNAL_STRUCT_DAMAGED, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PreRender frame;
        ASSERT_EQ(preRender(frame, inData(), {0, 0, 40, 30}), PF_Err_NONE);
        PF_InData in = inData();
        if (c.noGlobalData) in.global_data = nullptr;
        PF_SmartRenderInput input{};
        input.pre_render_data = c.noPreRenderData ? nullptr : frame.output.pre_render_data;
        PF_SmartRenderExtra extra{};
        extra.input = &input;
        if (c.failing != nullptr) host().faults().failCall(c.failing, 1, PF_Err_OUT_OF_MEMORY);
        renders = 0;
        PF_OutData out{};
        EXPECT_EQ(Glow::SmartRender(&in, &out, &extra, recordRender), c.expected);
        EXPECT_EQ(renders, c.renders);
        host().faults().clear();
        frame.release();
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
    }
}

TEST_F(GlowSmartRender, ARenderEntryThatThrowsStillUnlocksAndDisposes) {
    placed();
    PreRender frame;
    ASSERT_EQ(preRender(frame, inData(), {0, 0, 40, 30}), PF_Err_NONE);
    PF_InData in = inData();
    PF_SmartRenderInput input{};
    input.pre_render_data = frame.output.pre_render_data;
    PF_SmartRenderExtra extra{};
    extra.input = &input;
    PF_OutData out{};
    EXPECT_THROW(Glow::SmartRender(&in, &out, &extra, throwingRender), PF_Err);
    frame.release();
    EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
}

// What the render's check-outs hand out: a check-out may succeed without pixels.
PF_LayerDef* inputPixels = nullptr;
PF_LayerDef* outputPixels = nullptr;

PF_Err giveInput(PF_ProgPtr, int32_t, PF_LayerDef** pixels) {
    *pixels = inputPixels;
    return PF_Err_NONE;
}
PF_Err takeBack(PF_ProgPtr, int32_t) { return PF_Err_NONE; }
PF_Err giveOutput(PF_ProgPtr, PF_LayerDef** output) {
    *output = outputPixels;
    return PF_Err_NONE;
}

TEST_F(GlowSmartRender, RenderWithoutPixelsOrWithAnUnknownFormat) {
    placed();
    std::vector<ParameterValue> values(Glow::kParamCount);
    for (int r = 0; r < Glow::kParamCount; ++r) {
        values[r] = {Glow::PARAM_DEFS[r].id, Glow::PARAM_DEFS[r].kind, Glow::PARAM_DEFS[r].dephault};
    }
    PF_SmartRenderCallbacks callbacks{giveInput, takeBack, giveOutput};
    PF_SmartRenderInput input{};
    PF_SmartRenderExtra extra{&input, &callbacks};
    PF_LayerDef* layer = host().worlds().newHostWorld(8, 6, PF_PixelFormat_ARGB32);
    PF_LayerDef* output = host().worlds().newHostWorld(8, 6, PF_PixelFormat_ARGB32);
    Sim::Image& outputImage = *host().worlds().hostImage(output);
    // Memory the host does not know, described as a format no host has.
    RawWorld<PF_Pixel> strange(8, 6);
    strange.get()->pixel_format = 0x7777;
    auto paint = [&] {
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 8; ++x) outputImage.at<PF_Pixel>(x, y) = PF_Pixel{255, 9, 9, 9};
        }
    };
    auto cleared = [&] {
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 8; ++x) {
                const PF_Pixel& p = outputImage.at<PF_Pixel>(x, y);
                if (p.alpha != 0 || p.red != 0) return false;
            }
        }
        return true;
    };
    struct Case {
        const char* name;
        PF_LayerDef* in;
        PF_LayerDef* out;
        PF_Err expected;
        bool clearsOutput;
    } cases[] = {
        {"no output pixels", layer, nullptr, PF_Err_NONE, false},
        {"no input pixels", nullptr, output, PF_Err_NONE, true},
        {"unknown input format", strange.get(), output, PF_Err_INTERNAL_STRUCT_DAMAGED, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        paint();
        inputPixels = c.in;
        outputPixels = c.out;
        PF_InData in = inData();
        PF_OutData out{};
        EXPECT_EQ(Glow::MSmartRender(instance_->effect().pluginId, &in, &out, &extra, values.data(), false),
                  c.expected);
        EXPECT_EQ(cleared(), c.clearsOutput);
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
    }
    host().worlds().drop(layer);
    host().worlds().drop(output);
}

TEST_F(GlowSmartRender, PreRenderFailures) {
    placed(AEGP_ObjectType_TEXT);
    struct Case {
        const char* name;
        const char* failing;
        PF_Err planned;
        PF_Err expected;
    } cases[] = {
        {"no handle", "host_new_handle", 1, PF_Err_OUT_OF_MEMORY},
        {"handle not locked", "host_lock_handle", 1, PF_Err_OUT_OF_MEMORY},
        {"a parameter check-out", "checkout_param", PF_Err_INVALID_INDEX, PF_Err_INVALID_INDEX},
        {"the layer type", "AEGP_GetLayerObjectType", PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host().faults().failCall(c.failing, 1, c.planned);
        answer.result_rect = {12, 4, 30, 20};
        PreRender frame;
        EXPECT_EQ(preRender(frame, inData(), {0, 0, 40, 30}), c.expected);
        host().faults().clear();
        if (frame.output.pre_render_data != nullptr) frame.release();
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
    }
}

}  // namespace
