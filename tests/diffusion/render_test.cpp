#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "diffusion/commands.h"
#include "diffusion/parameter_table.h"
#include "diffusion/renderer.h"
#include "host/sim/frame.h"
#include "host/sim/iterate.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "library/plugin/exports.h"
#include "library/world/world.h"
#include "support/plugin_fixture.h"

using namespace Diffusion;
using Morvel::BlendingMode;

namespace {

bool operator==(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

Sim::Unit unitAt(const Sim::Image& image, int x, int y) {
    return Sim::withPixelType(image.format(),
                              [&](auto tag) { return Sim::toUnit(image.at<typename decltype(tag)::type>(x, y)); });
}

// Host index of a row: its id.
int indexOf(Row row) { return PARAM_DEFS[row].id; }

class DiffusionRenderTest : public PluginHostTest {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        start(EntryPointFunc, "MorvelDiffusion");
    }

    void setReal(Row row, double v) { setFloat(indexOf(row), v); }
    void setItem(Row row, int32_t item) { setPopup(indexOf(row), item); }

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
        ASSERT_NO_FATAL_FAILURE(start(EntryPointFunc, "MorvelDiffusion"));
        instance().placeOnLayer(AEGP_ObjectType_TEXT, 64, 48);
        instance().setContentBounds({12, 5, 40, 30});
        setCheckbox(indexOf(ROW_GROW_BOUNDS), grow);
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
        {"full at 8 bits", 100, 8, true, 0, 0},       {"full at float", 100, 32, true, 0, 0},
        {"a hair less", 99.99, 8, false, 254, 32764}, {"a hair less at 16 bits", 99.99, 16, false, 254, 32764},
        {"half", 50, 32, false, 127, 16384},          {"none", 0, 8, false, 0, 0},
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
        BlendingMode::Normal,
        BlendingMode::Darken,
        BlendingMode::Darken,
        BlendingMode::Multiply,
        BlendingMode::LinearBurn,
        BlendingMode::ColorBurn,
        BlendingMode::ClassicColorBurn,
        BlendingMode::Add,
        BlendingMode::Add,
        BlendingMode::Lighten,
        BlendingMode::Screen,
        BlendingMode::LinearDodge,
        BlendingMode::ColorDodge,
        BlendingMode::ClassicColorDodge,
        BlendingMode::Overlay,
        BlendingMode::Overlay,
        BlendingMode::SoftLight,
        BlendingMode::HardLight,
        BlendingMode::LinearLight,
        BlendingMode::VividLight,
        BlendingMode::PinLight,
        BlendingMode::HardMix,
        BlendingMode::Difference,
        BlendingMode::Difference,
        BlendingMode::ClassicDifference,
        BlendingMode::Exclusion,
        BlendingMode::Hue,
        BlendingMode::Hue,
        BlendingMode::Saturation,
        BlendingMode::Color,
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

// With the source left out the output is the diffusion layer: without a blur the source with its
// alpha cut by the threshold ramp, colours untouched; with the diffusion left out it is the source.
TEST_F(DiffusionRenderTest, EachSideOfTheCompositeAloneAtEveryDepth) {
    Sim::Image& layer = patternedLayer(20, 12);
    setItem(ROW_CHANNEL, 3);  // green: 200 − 7y
    setReal(ROW_BLUR_RADIUS, 0);
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

// ---- the diffusion step: the output is the diffusion layer alone, everything passing the threshold

class DiffuseTest : public DiffusionRenderTest {
protected:
    void SetUp() override {
        DiffusionRenderTest::SetUp();
        settle();
    }
    // A new instance of the effect, for another layer.
    void restart() {
        ASSERT_NO_FATAL_FAILURE(start(EntryPointFunc, "MorvelDiffusion"));
        settle();
    }
    void settle() {
        setReal(ROW_THRESHOLD, 0);
        setReal(ROW_THRESHOLD_SOFTNESS, 0);
        setReal(ROW_WEIGHT, 0);
        setReal(ROW_SOURCE_OPACITY, 0);
        setReal(ROW_DIFFUSION_OPACITY, 100);
    }
    Sim::Image& floatLayer(int w, int h) {
        instance().placeOnLayer(AEGP_ObjectType_AV, w, h, PF_PixelFormat_ARGB128);
        Sim::Image& layer = *host().worlds().hostImage(instance().effect().inputLayer);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) layer.at<PF_PixelFloat>(x, y) = PF_PixelFloat{0, 0, 0, 0};
        }
        return layer;
    }
};

// The disc kernel of radius R and softness 5 worked out apart from the creator, normalised by its
// sum; indexed by the offset's square.
std::vector<double> directKernel(double R, int r) {
    const double k = (123.5 - 6 * 5) / R;
    std::vector<double> kernel(size_t(2 * r + 1) * size_t(2 * r + 1));
    double sum = 0;
    for (int dx = -r; dx <= r; ++dx) {
        for (int dy = -r; dy <= r; ++dy) {
            const double d = std::sqrt(double(dx * dx + dy * dy));
            const double edge = std::clamp(R + 0.5 - d, 0.0, 0.5) * 2;
            const double v = edge * std::min(1.0, 1.0 / ((k * d + 0.5) * (k * d + 0.5)));
            kernel[size_t((dx + r) * (2 * r + 1) + dy + r)] = v;
            sum += v;
        }
    }
    for (double& v : kernel) v /= sum;
    return kernel;
}

TEST_F(DiffuseTest, OneWhitePixelSpreadsIntoTheKernel) {
    Sim::Image& layer = floatLayer(128, 128);
    layer.at<PF_PixelFloat>(64, 64) = PF_PixelFloat{1, 1, 1, 1};
    Sim::FrameRequest request;
    request.depth = 32;
    const Sim::FrameResult frame = instance().renderFrame(request);
    ASSERT_EQ(frame.err(), PF_Err_NONE);
    double sum = 0;
    int lit = 0;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            const PF_PixelFloat& p = frame.output.at<PF_PixelFloat>(x, y);
            sum += p.alpha;
            lit += p.alpha > 1e-6f;
            if (std::hypot(x - 64, y - 64) >= 30.5) {
                ASSERT_EQ(p.alpha, 0.0f) << x << "," << y;
            }
            if (p.alpha > 0) {
                ASSERT_NEAR(p.red, 1.0, 1e-5) << x << "," << y;
                ASSERT_NEAR(p.blue, 1.0, 1e-5) << x << "," << y;
            }
        }
    }
    EXPECT_NEAR(sum, 1.0, 1e-5);
    EXPECT_EQ(lit, 2933);
    EXPECT_NEAR(frame.output.at<PF_PixelFloat>(64, 64).alpha, 0.31047582, 1e-7);
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

// Tiles of 256 (4 for R 20, 6 for R 60) against a brute-force convolution of the sparse buffer,
// extended by the wrap rule.
TEST_F(DiffuseTest, TiledEqualsDirectForEveryWrap) {
    const int w = 300, h = 200;
    Sim::Image& layer = floatLayer(w, h);
    std::mt19937 random(23);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<Sim::Unit> source(size_t(w) * h, Sim::Unit{0, 0, 0, 0});
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            if (unit(random) > (edge ? 0.2f : 0.004f)) continue;
            const PF_PixelFloat p{1, unit(random), unit(random), unit(random)};
            layer.at<PF_PixelFloat>(x, y) = p;
            source[size_t(y) * w + x] = Sim::Unit{1, p.red, p.green, p.blue};
        }
    }
    auto wrapped = [](int v, int n, int wrap) {
        if (wrap == 2) return std::clamp(v, 0, n - 1);
        if (wrap == 3) {
            v = ((v % (2 * n)) + 2 * n) % (2 * n);
            return v < n ? v : 2 * n - 1 - v;
        }
        return v;
    };
    for (double R : {20.0, 60.0}) {
        const int r = int(std::ceil(R));
        const std::vector<double> kernel = directKernel(R, r);
        for (int wrap : {1, 2, 3}) {
            SCOPED_TRACE("R " + std::to_string(R) + " wrap " + std::to_string(wrap));
            setReal(ROW_BLUR_RADIUS, R);
            setItem(ROW_WRAP, wrap);
            Sim::FrameRequest request;
            request.depth = 32;
            const Sim::FrameResult frame = instance().renderFrame(request);
            ASSERT_EQ(frame.err(), PF_Err_NONE);
            // Scatter every lit place of the extended image onto the pixels within r.
            std::vector<Sim::Unit> want(size_t(w) * h, Sim::Unit{0, 0, 0, 0});
            for (int Y = -r; Y < h + r; ++Y) {
                for (int X = -r; X < w + r; ++X) {
                    const int sx = wrapped(X, w, wrap), sy = wrapped(Y, h, wrap);
                    if (sx < 0 || sy < 0 || sx >= w || sy >= h) continue;
                    const Sim::Unit& s = source[size_t(sy) * w + sx];
                    if (s.alpha == 0) continue;
                    for (int y = std::max(Y - r, 0); y <= std::min(Y + r, h - 1); ++y) {
                        for (int x = std::max(X - r, 0); x <= std::min(X + r, w - 1); ++x) {
                            const double k = kernel[size_t((x - X + r) * (2 * r + 1) + y - Y + r)];
                            Sim::Unit& o = want[size_t(y) * w + x];
                            o.alpha += k * s.alpha;
                            o.red += k * s.red;
                            o.green += k * s.green;
                            o.blue += k * s.blue;
                        }
                    }
                }
            }
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const PF_PixelFloat& got = frame.output.at<PF_PixelFloat>(x, y);
                    const Sim::Unit& o = want[size_t(y) * w + x];
                    ASSERT_NEAR(got.alpha, o.alpha, 1e-6) << x << "," << y;
                    if (o.alpha <= 1e-5) continue;
                    ASSERT_NEAR(got.red * got.alpha, o.red, 1e-6) << x << "," << y;
                    ASSERT_NEAR(got.green * got.alpha, o.green, 1e-6) << x << "," << y;
                    ASSERT_NEAR(got.blue * got.alpha, o.blue, 1e-6) << x << "," << y;
                }
            }
            EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
        }
    }
}

// Tiles run whole beside one another on the host's threads, or one at a time over its bands for
// tiles of 1024, and give bitwise the diffusion of one thread at every depth. 4 x 3 tiles of 256
// at Blur Radius 20, 2 x 2 of 1024 at 200.
TEST_F(DiffuseTest, ThreadedAnyThreadCountGivesBitwiseTheSameDiffusion) {
    const int w = 700, h = 500;
    Sim::Image& layer = floatLayer(w, h);
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (unit(random) < 0.05f) layer.at<PF_PixelFloat>(x, y) = {unit(random), unit(random), unit(random), 1};
        }
    }
    auto rows = [&](const Sim::Image& image) {
        const size_t rowBytes = size_t(w) * (image.format() == PF_PixelFormat_ARGB128 ? 16 : 4);
        std::vector<unsigned char> bytes;
        for (int y = 0; y < h; ++y) {
            const unsigned char* row = image.begin() + size_t(y) * size_t(image.def().rowbytes);
            bytes.insert(bytes.end(), row, row + rowBytes);
        }
        return bytes;
    };
    auto render = [&](int threads, int depth) {
        host().iteration().setProcessors(threads);
        host().iteration().setReportedThreads(threads);
        Sim::FrameRequest request;
        request.depth = depth;
        const Sim::FrameResult frame = instance().renderFrame(request);
        EXPECT_EQ(frame.err(), PF_Err_NONE) << threads << " threads, depth " << depth;
        return rows(frame.output);
    };
    for (double radius : {20.0, 200.0}) {
        setReal(ROW_BLUR_RADIUS, radius);
        setItem(ROW_WRAP, 3);
        for (int depth : {8, 32}) {
            const std::vector<unsigned char> one = render(1, depth);
            for (int threads : {2, 3, 8}) {
                EXPECT_TRUE(render(threads, depth) == one)
                    << "radius " << radius << ", depth " << depth << ", " << threads << " threads";
            }
        }
    }
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

// A uniform opaque image keeps its colour and full alpha wherever the wrap brings the image in,
// weighted or not; the same layer unblurred is the reference.
TEST_F(DiffuseTest, UniformImageKeepsItsColour) {
    Sim::Image& layer = patternedLayer(40, 30);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) layer.at<PF_Pixel>(x, y) = PF_Pixel{255, 200, 90, 17};
    }
    for (int depth : {8, 16, 32}) {
        for (int wrap : {2, 3}) {
            for (double weight : {0.0, 10.0}) {
                SCOPED_TRACE(std::to_string(depth) + " wrap " + std::to_string(wrap) + " weight " +
                             std::to_string(weight));
                setItem(ROW_WRAP, wrap);
                setReal(ROW_WEIGHT, weight);
                Sim::FrameRequest request;
                request.depth = depth;
                setReal(ROW_BLUR_RADIUS, 0);
                const Sim::FrameResult plain = instance().renderFrame(request);
                setReal(ROW_BLUR_RADIUS, 30);
                const Sim::FrameResult frame = instance().renderFrame(request);
                ASSERT_EQ(plain.err(), PF_Err_NONE);
                ASSERT_EQ(frame.err(), PF_Err_NONE);
                const double tolerance = depth != 32 ? 0.0 : weight > 0 ? 1.0 / 65536 : 1e-6;
                for (int y = 0; y < 30; ++y) {
                    for (int x = 0; x < 40; ++x) {
                        const Sim::Unit got = unitAt(frame.output, x, y);
                        const Sim::Unit want = unitAt(plain.output, x, y);
                        ASSERT_NEAR(got.alpha, want.alpha, tolerance) << x << "," << y;
                        ASSERT_NEAR(got.red, want.red, tolerance) << x << "," << y;
                        ASSERT_NEAR(got.green, want.green, tolerance) << x << "," << y;
                        ASSERT_NEAR(got.blue, want.blue, tolerance) << x << "," << y;
                    }
                }
                EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
            }
        }
    }
}

TEST_F(DiffuseTest, ProgressCountsTheTilesAndACancelEndsTheRender) {
    const struct { int w, h, current, total; } cases[] = {{1920, 1080, 60, 60}, {200, 200, 4, 4}, {362, 200, 4, 6}};
    for (const auto& c : cases) {
        restart();
        floatLayer(c.w, c.h);
        const size_t before = host().iteration().progressReports().size();
        ASSERT_EQ(instance().renderFrame().err(), PF_Err_NONE) << c.w;
        const auto reports = host().iteration().progressReports();
        ASSERT_GT(reports.size(), before) << c.w;
        EXPECT_EQ(reports.back().current, c.current) << c.w;
        EXPECT_EQ(reports.back().total, c.total) << c.w;
    }
    restart();
    floatLayer(400, 300);
    host().iteration().abortAfterPolls(2);
    EXPECT_EQ(instance().renderFrame().err(), PF_Interrupt_CANCEL);
    host().iteration().abortAfterPolls(-1);
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

// A weighted average at or a shade below 1 (round-off beside black) gives colour 0, never a
// negative or undefined one.
TEST_F(DiffuseTest, WeightedRoundOffBesideBlackStaysAtZero) {
    instance().placeOnLayer(AEGP_ObjectType_AV, 100, 60);
    Sim::Image& layer = *host().worlds().hostImage(instance().effect().inputLayer);
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 100; ++x) layer.at<PF_Pixel>(x, y) = PF_Pixel{0, 0, 0, 0};
    }
    layer.at<PF_Pixel>(40, 30) = PF_Pixel{255, 255, 255, 255};
    layer.at<PF_Pixel>(45, 30) = PF_Pixel{255, 0, 0, 0};
    setReal(ROW_WEIGHT, 10);
    for (int depth : {8, 16, 32}) {
        Sim::FrameRequest request;
        request.depth = depth;
        const Sim::FrameResult frame = instance().renderFrame(request);
        ASSERT_EQ(frame.err(), PF_Err_NONE) << depth;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 100; ++x) {
                const Sim::Unit got = unitAt(frame.output, x, y);
                for (double v : {got.red, got.green, got.blue}) {
                    ASSERT_TRUE(v >= 0 && v <= 1.001) << depth << ": " << x << "," << y << " " << v;
                }
            }
        }
    }
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

TEST_F(DiffuseTest, AnEmptyOutputRendersNothing) {
    floatLayer(64, 64);
    Sim::FrameRequest request;
    request.rect = PF_LRect{10, 10, 10, 10};
    EXPECT_EQ(instance().renderFrame(request).err(), PF_Err_NONE);
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
