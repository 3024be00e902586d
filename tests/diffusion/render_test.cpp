#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "diffusion/commands.h"
#include "diffusion/parameters.h"
#include "diffusion/renderer.h"
#include "host/sim/frame.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "library/plugin/exports.h"
#include "library/world/world.h"
#include "support/host_fixture.h"

using namespace Diffusion;
using Morvel::BlendingMode;

namespace {

bool operator==(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

Sim::Unit unitAt(const Sim::Image& image, int x, int y) {
    return Sim::withPixelType(image.format(), [&](auto tag) {
        return Sim::toUnit(image.at<typename decltype(tag)::type>(x, y));
    });
}

// Host index of a row: its id.
int indexOf(Row row) { return PARAM_DEFS[row].id; }

class DiffusionRenderTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        instance_ = std::make_unique<Sim::PluginInstance>(host(), EntryPointFunc, "MorvelDiffusion");
        ASSERT_EQ(instance_->globalSetup(), PF_Err_NONE);
        ASSERT_EQ(instance_->paramSetup(), PF_Err_NONE);
    }
    void TearDown() override {
        const auto violations = instance_->violations();
        instance_.reset();
        for (const auto& v : violations) ADD_FAILURE() << v;
        HostTest::TearDown();
    }

    Sim::PluginInstance& instance() { return *instance_; }

    template <typename Change>
    void set(Row row, Change change) {
        PF_ParamDef value = Sim::paramValue(instance().effect(), indexOf(row));
        change(value.u);
        Sim::setParamValue(instance().effect(), indexOf(row), value);
    }
    void setReal(Row row, double v) {
        set(row, [v](PF_ParamDefUnion& u) { u.fs_d.value = v; });
    }
    void setItem(Row row, int32_t item) {
        set(row, [item](PF_ParamDefUnion& u) { u.pd.value = item; });
    }

    // A layer of w × h with a pattern of colours and alphas, 8 bits.
    Sim::Image& patternedLayer(int w, int h, AEGP_ObjectType type = AEGP_ObjectType_AV) {
        instance().placeOnLayer(type, w, h);
        Sim::Image& layer = *host().worlds().hostImage(instance().effect().inputLayer);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                layer.at<PF_Pixel>(x, y) = PF_Pixel{uint8_t(x % 5 == 0 ? 0 : 255 - 9 * y), uint8_t(x * 11 % 256),
                                                    uint8_t(200 - 7 * y), uint8_t(90 + x)};
            }
        }
        return layer;
    }

    std::unique_ptr<Sim::PluginInstance> instance_;
};

// ---- registration and UI

TEST_F(DiffusionRenderTest, RegistersThirtyThreeEntriesWithTwoGroupsSharingAnId) {
    const std::vector<PF_ParamDef>& registered = instance().effect().registered;
    ASSERT_EQ(registered.size(), 33u);
    EXPECT_EQ(instance().lastOut().num_params, 33);
    for (int index = 1; index < 33; ++index) {
        const PF_ParamDef& def = registered[index];
        SCOPED_TRACE("index " + std::to_string(index));
        const bool groupStart = index == 11 || index == 22;
        EXPECT_EQ(def.uu.id, groupStart ? 11 : index);
        EXPECT_EQ(def.param_type == PF_Param_GROUP_START, groupStart);
        EXPECT_EQ(def.param_type == PF_Param_GROUP_END, index == 20 || index == 31);
        EXPECT_EQ(def.flags, (index == 6 || index == 9) ? 0 : PF_ParamFlag_START_COLLAPSED);
    }
    EXPECT_STREQ(registered[11].name, "Source Details");
    EXPECT_STREQ(registered[22].name, "Diffusion Details");
    EXPECT_STREQ(registered[21].name, "Diffusion Opacity");
    EXPECT_STREQ(registered[32].name, "Grow Bounds");
    EXPECT_FALSE(host().log().contains("problem")) << "the host found nothing to note";
}

TEST_F(DiffusionRenderTest, ReferenceColorIsGreyedForEveryChannelButHueAndTheDistances) {
    instance().placeOnLayer(AEGP_ObjectType_AV, 8, 8);
    for (int channel = 1; channel <= 12; ++channel) {
        SCOPED_TRACE("channel " + std::to_string(channel));
        setItem(ROW_CHANNEL, channel);
        std::vector<PF_ParamDef> values(33);
        std::vector<PF_ParamDef*> params(33);
        for (int i = 0; i < 33; ++i) {
            values[i] = Sim::paramValue(instance().effect(), i);
            params[i] = &values[i];
        }
        host().log().clear();
        ASSERT_EQ(instance().command(PF_Cmd_UPDATE_PARAMS_UI, params.data()), PF_Err_NONE);
        const bool enabled = channel == 6 || channel == 11 || channel == 12;
        EXPECT_EQ(host().log().count("PF_UpdateParamUI"), 1u);
        EXPECT_EQ(host().log().count("PF_UpdateParamUI 7 "), 1u);
        const bool disabled = instance().effect().registered[7].ui_flags & PF_PUI_DISABLED;
        EXPECT_EQ(disabled, !enabled);
        EXPECT_TRUE(instance().lastOut().out_flags & PF_OutFlag_REFRESH_UI);
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }

    host().log().clear();
    host().faults().failCall("AEGP_GetNewEffectForEffect", 1, PF_Err_INVALID_INDEX);
    std::vector<PF_ParamDef> values(33);
    std::vector<PF_ParamDef*> params(33);
    for (int i = 0; i < 33; ++i) params[i] = &(values[i] = Sim::paramValue(instance().effect(), i));
    EXPECT_EQ(instance().command(PF_Cmd_UPDATE_PARAMS_UI, params.data()), PF_Err_INVALID_INDEX);
    EXPECT_EQ(host().log().count("PF_UpdateParamUI"), 0u);
    EXPECT_TRUE(instance().lastOut().out_flags & PF_OutFlag_REFRESH_UI);
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

TEST_F(DiffusionRenderTest, PreRenderAsksForTheWholeLayerAtEveryDownsample) {
    instance().placeOnLayer(AEGP_ObjectType_AV, 64, 48);
    struct Case {
        const char* name;
        PF_RationalScale downsample;
        PF_LRect input;
    };
    for (const Case& c : {Case{"full", {1, 1}, {0, 0, 64, 48}}, Case{"half", {1, 2}, {0, 0, 32, 24}}}) {
        SCOPED_TRACE(c.name);
        Sim::FrameRequest request;
        request.rect = PF_LRect{10, 10, 20, 20};
        request.downsampleX = request.downsampleY = c.downsample;
        const Sim::FrameResult frame = instance().renderFrame(request);
        EXPECT_EQ(frame.err(), PF_Err_NONE);
        ASSERT_EQ(frame.checkouts.size(), 1u);
        EXPECT_TRUE(frame.checkouts.front().request.rect == c.input);
        EXPECT_TRUE(frame.checkouts.front().request.preserve_rgb_of_zero_alpha);
        EXPECT_TRUE(frame.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS);
        EXPECT_EQ(frame.deletes, 1);
        EXPECT_EQ(host().ledger().outstanding("pre-render data"), 0u);
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }
    host().faults().failCall("checkout_layer", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
    const Sim::FrameResult failed = instance().renderFrame();
    EXPECT_EQ(failed.preRenderErr, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_TRUE((failed.resultRect == PF_LRect{})) << "output rectangles left as they were";
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

// "Grow Bounds" is read from its own row: a text layer's result covers the layer's frame.
TEST_F(DiffusionRenderTest, GrowBoundsWidensATextLayersResultToItsFrame) {
    for (bool grow : {true, false}) {
        SCOPED_TRACE(grow ? "on" : "off");
        instance_.reset();
        instance_ = std::make_unique<Sim::PluginInstance>(host(), EntryPointFunc, "MorvelDiffusion");
        ASSERT_EQ(instance().globalSetup(), PF_Err_NONE);
        ASSERT_EQ(instance().paramSetup(), PF_Err_NONE);
        instance().placeOnLayer(AEGP_ObjectType_TEXT, 64, 48);
        instance().setContentBounds({12, 5, 40, 30});
        set(ROW_GROW_BOUNDS, [grow](PF_ParamDefUnion& u) { u.bd.value = grow ? 1 : 0; });
        Sim::FrameRequest request;
        request.rect = PF_LRect{10, 10, 20, 20};
        const Sim::FrameResult frame = instance().renderFrame(request);
        EXPECT_EQ(frame.err(), PF_Err_NONE);
        ASSERT_EQ(frame.checkouts.size(), 1u);
        const PF_LRect want = grow ? PF_LRect{0, 0, 64, 48} : frame.checkouts.front().result.result_rect;
        EXPECT_TRUE(frame.resultRect == want);
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }
}

// ---- the composite

TEST_F(DiffusionRenderTest, SourceOpacityCopiesOrFillsAndBlendsAtTheTruncatedOpacity) {
    instance().placeOnLayer(AEGP_ObjectType_AV, 16, 8);
    struct Case {
        const char* name;
        double percent;
        int depth;
        bool copies;
        int opacity, opacity16;
    } cases[] = {
        {"full at 8 bits", 100, 8, true, 0, 0},
        {"full at float", 100, 32, true, 0, 0},
        {"a hair less", 99.99, 8, false, 254, 32764},
        {"a hair less at 16 bits", 99.99, 16, false, 254, 32764},
        {"half", 50, 32, false, 127, 16384},
        {"none", 0, 8, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setReal(ROW_SOURCE_OPACITY, c.percent);
        host().log().clear();
        Sim::FrameRequest request;
        request.depth = c.depth;
        ASSERT_EQ(instance().renderFrame(request).err(), PF_Err_NONE);
        std::vector<std::string> transfers;
        for (const std::string& line : host().log().lines()) {
            if (line.rfind("transfer_rect", 0) == 0) transfers.push_back(line);
        }
        EXPECT_EQ(host().log().count("fill"), c.copies ? 0u : 1u);
        ASSERT_EQ(transfers.size(), c.copies ? 1u : 2u);
        if (!c.copies) {
            const std::string want = "xfer " + std::to_string(Morvel::transferMode(BlendingMode::Normal)) +
                                     " opacity " + std::to_string(c.opacity) + " opacitySu " +
                                     std::to_string(c.opacity16) + " rgb_only 0";
            EXPECT_NE(transfers.front().find(want), std::string::npos) << transfers.front();
        }
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }
}

TEST_F(DiffusionRenderTest, EveryBlendingModeItemReachesTheHostWithItsTransferMode) {
    instance().placeOnLayer(AEGP_ObjectType_AV, 4, 4);
    // The menu's modes, a separator standing for the item after it.
    const BlendingMode kModes[31] = {
        BlendingMode::Normal,      BlendingMode::Darken,           BlendingMode::Darken,
        BlendingMode::Multiply,    BlendingMode::LinearBurn,       BlendingMode::ColorBurn,
        BlendingMode::ClassicColorBurn, BlendingMode::Add,         BlendingMode::Add,
        BlendingMode::Lighten,     BlendingMode::Screen,           BlendingMode::LinearDodge,
        BlendingMode::ColorDodge,  BlendingMode::ClassicColorDodge, BlendingMode::Overlay,
        BlendingMode::Overlay,     BlendingMode::SoftLight,        BlendingMode::HardLight,
        BlendingMode::LinearLight, BlendingMode::VividLight,       BlendingMode::PinLight,
        BlendingMode::HardMix,     BlendingMode::Difference,       BlendingMode::Difference,
        BlendingMode::ClassicDifference, BlendingMode::Exclusion,  BlendingMode::Hue,
        BlendingMode::Hue,         BlendingMode::Saturation,       BlendingMode::Color,
        BlendingMode::Luminosity,
    };
    for (int item = 1; item <= 31; ++item) {
        SCOPED_TRACE("item " + std::to_string(item));
        EXPECT_EQ(toBlendingMode(item), kModes[item - 1]);
        setItem(ROW_BLENDING_MODE, item);
        host().log().clear();
        ASSERT_EQ(instance().renderFrame().err(), PF_Err_NONE);
        const std::string want = "transfer_rect xfer " + std::to_string(Morvel::transferMode(kModes[item - 1])) +
                                 " opacity 255 opacitySu 32768";
        EXPECT_EQ(host().log().count(want), 1u);
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }
    for (int outside : {0, 32, -1}) EXPECT_EQ(toBlendingMode(outside), BlendingMode::Normal) << outside;
}

// With the source left out the output is the diffusion layer: the source with its alpha cut by the
// threshold ramp (no blur yet), colours untouched; with the diffusion left out it is the source.
TEST_F(DiffusionRenderTest, EachSideOfTheCompositeAloneAtEveryDepth) {
    Sim::Image& layer = patternedLayer(20, 12);
    setItem(ROW_CHANNEL, 3);  // green: 200 − 7y
    for (int depth : {8, 16, 32}) {
        for (bool sourceOnly : {false, true}) {
            SCOPED_TRACE(std::to_string(depth) + (sourceOnly ? " source only" : " diffusion only"));
            setReal(ROW_SOURCE_OPACITY, sourceOnly ? 100 : 0);
            setReal(ROW_DIFFUSION_OPACITY, sourceOnly ? 0 : 100);
            Sim::FrameRequest request;
            request.depth = depth;
            const Sim::FrameResult frame = instance().renderFrame(request);
            ASSERT_EQ(frame.err(), PF_Err_NONE);
            const double step = depth == 8 ? 1.0 / 255 : depth == 16 ? 1.0 / 32768 : 1e-6;
            for (int y = 0; y < 12; ++y) {
                for (int x = 0; x < 20; ++x) {
                    const PF_Pixel& in = layer.at<PF_Pixel>(x, y);
                    const double ramp = std::clamp((in.green / 255.0 - 0.4) / 0.1, 0.0, 1.0);
                    const double alpha = in.alpha / 255.0 * (sourceOnly ? 1.0 : ramp);
                    const Sim::Unit got = unitAt(frame.output, x, y);
                    ASSERT_NEAR(got.alpha, alpha, 1.5 * step) << x << "," << y;
                    if (got.alpha == 0) continue;
                    ASSERT_NEAR(got.red, in.red / 255.0, step) << x << "," << y;
                    ASSERT_NEAR(got.green, in.green / 255.0, step) << x << "," << y;
                    ASSERT_NEAR(got.blue, in.blue / 255.0, step) << x << "," << y;
                }
            }
            EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
        }
    }
}

// ---- details

size_t worldsMade(Sim::Host& host) { return host.log().count("PF_NewWorld") + host.log().count("new_world"); }

TEST_F(DiffusionRenderTest, DetailsMakeAWorldOnlyWhenTheyChangeSomething) {
    patternedLayer(10, 6);
    for (int depth : {8, 32}) {
        host().log().clear();
        Sim::FrameRequest request;
        request.depth = depth;
        ASSERT_EQ(instance().renderFrame(request).err(), PF_Err_NONE);
        EXPECT_EQ(worldsMade(host()), 1u) << "the diffusion layer only, at " << depth;
    }

    // Source details on a layer of the output's size: a new, cleared world; transparent pixels
    // stay transparent black in it.
    setReal(ROW_SOURCE_LIGHTNESS, 150);
    setReal(ROW_DIFFUSION_OPACITY, 0);
    host().log().clear();
    const Sim::FrameResult frame = instance().renderFrame();
    ASSERT_EQ(frame.err(), PF_Err_NONE);
    EXPECT_EQ(worldsMade(host()), 2u);
    for (int y = 0; y < 6; ++y) {
        const PF_Pixel& p = frame.output.at<PF_Pixel>(0, y);  // x = 0: alpha 0 in the layer
        EXPECT_TRUE(p.alpha == 0 && p.red == 0 && p.green == 0 && p.blue == 0) << y;
    }
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

// ---- placement and failures

TEST_F(DiffusionRenderTest, ALayerSmallerThanTheOutputIsPlacedAtItsOrigin) {
    instance().placeOnLayer(AEGP_ObjectType_TEXT, 40, 30);
    instance().setContentBounds({12, 5, 30, 20});
    Sim::Image& layer = *host().worlds().hostImage(instance().effect().inputLayer);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) layer.at<PF_Pixel>(x, y) = PF_Pixel{255, uint8_t(x * 6), uint8_t(y * 8), 33};
    }
    setReal(ROW_DIFFUSION_OPACITY, 0);
    const Sim::FrameResult frame = instance().renderFrame();
    ASSERT_EQ(frame.err(), PF_Err_NONE);
    ASSERT_TRUE((frame.outputRect == PF_LRect{0, 0, 40, 30}));
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const PF_Pixel& got = frame.output.at<PF_Pixel>(x, y);
            const bool inside = x >= 12 && x < 30 && y >= 5 && y < 20;
            const PF_Pixel want = inside ? layer.at<PF_Pixel>(x, y) : PF_Pixel{0, 0, 0, 0};
            ASSERT_TRUE(got.alpha == want.alpha && got.red == want.red && got.green == want.green &&
                        got.blue == want.blue)
                << x << "," << y;
        }
    }
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

TEST_F(DiffusionRenderTest, AMissingIterationSuiteEndsTheRenderWithNothingLeaked) {
    patternedLayer(8, 8);
    host().faults().makeSuiteMissing(kPFIterate8Suite, kPFIterate8SuiteVersion1);
    const Sim::FrameResult frame = instance().renderFrame();
    EXPECT_EQ(frame.renderErr, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(frame.deletes, 1);
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

TEST(DiffusionPluginInfo, RecordHoldsTheTableAndTheRenderEntry) {
    EXPECT_EQ(MPluginInfo.params, PARAM_DEFS);
    EXPECT_EQ(MPluginInfo.paramCount, 28);
    EXPECT_EQ(MPluginInfo.padding, 0);
    EXPECT_EQ(MPluginInfo.reserved1, nullptr);
    EXPECT_EQ(MPluginInfo.reserved2, nullptr);
    EXPECT_EQ(MPluginInfo.render, &Diffusion::renderEntry);
    PF_InData in{};  // no basic suite: the suite handler throws 516
    PF_OutData out{};
    EXPECT_EQ(MPluginInfo.render(1, &in, &out, nullptr, nullptr, false), PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
