#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "host/sim/frame.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "library/world/world.h"
#include "support/host_world.h"
#include "support/plugin_fixture.h"

// The glow's threshold and toner previews, and its final output without kernels, rendered
// through the stand-in host from the built plug-in.

namespace {

// Parameter indices of the glow's table.
constexpr int kRenderingMode = 1;
constexpr int kDiffusion = 7;
constexpr int kTones = 68;
constexpr int kTonerMap = 72;

constexpr int kModeThreshold = 2;
constexpr int kModeToner = 3;
constexpr int kModeFinal = 5;
constexpr int kModePreprocessing = 1;

class GlowThresholdFrameTest : public PluginHostTest {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        load("MorvelGlow");
    }

    // On an opaque layer: grey rising along x (0 to 255), tinted along y.
    Sim::PluginInstance& placed() {
        start();
        instance_->placeOnLayer(AEGP_ObjectType_AV, kWidth, kHeight);
        Sim::Image& layer = *host().worlds().hostImage(instance_->effect().inputLayer);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const int v = x * 255 / (kWidth - 1);
                layer.at<PF_Pixel>(x, y) = PF_Pixel{255, uint8_t(v), uint8_t(v), uint8_t(v * (kHeight - y) / kHeight)};
            }
        }
        return *instance_;
    }

    Sim::FrameResult render(int depth) {
        Sim::FrameRequest request;
        request.depth = depth;
        Sim::FrameResult frame = instance_->renderFrame(request);
        EXPECT_EQ(host().ledger().outstanding("pre-render data"), 0u);
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
        for (const std::string& violation : instance_->violations()) ADD_FAILURE() << violation;
        return frame;
    }

    static constexpr int kWidth = 64;
    static constexpr int kHeight = 12;
};

// The threshold image keeps the layer's colour and takes the threshold curve as its alpha: 0 up
// to 60 % grey, full from 70 %; the toned image is written at every depth.
TEST_F(GlowThresholdFrameTest, PreviewsAtEveryDepth) {
    placed();
    for (int depth : {8, 16, 32}) {
        SCOPED_TRACE(depth);
        setPopup(kRenderingMode, kModeThreshold);
        const Sim::FrameResult frame = render(depth);
        ASSERT_EQ(frame.err(), PF_Err_NONE);
        ASSERT_EQ(frame.output.width(), kWidth);
        Sim::withPixelType(frame.output.format(), [&](auto tag) {
            using Pixel = typename decltype(tag)::type;
            for (int x = 0; x < kWidth; ++x) {
                const Sim::Unit got = Sim::toUnit(frame.output.at<Pixel>(x, 0));
                const double grey = (x * 255 / (kWidth - 1)) / 255.0;
                EXPECT_NEAR(got.red, grey, 1e-3) << x;
                // The grey is exact at 8 bits; the rounding of the deeper conversions moves the
                // steep ramp by up to a tenth.
                EXPECT_NEAR(got.alpha, std::clamp((grey - 0.6) / 0.1, 0.0, 1.0), depth == 8 ? 0.005 : 0.1) << x;
            }
        });
        setPopup(kRenderingMode, kModeToner);
        EXPECT_EQ(render(depth).err(), PF_Err_NONE);
    }
}

// Without kernels the toned image is the glow: the final output is the layer with the toned image
// blended onto it in the default "Screen", as the host blends the two.
TEST_F(GlowThresholdFrameTest, FinalWithoutKernelsBlendsTheTonedImageOntoTheLayer) {
    placed();
    set(kDiffusion, [](PF_ParamDefUnion& u) { u.bd.value = 0; });
    setPopup(kTones, 3);
    for (int depth : {8, 16, 32}) {
        SCOPED_TRACE(depth);
        setPopup(kRenderingMode, kModePreprocessing);
        Sim::FrameResult layer = render(depth);
        setPopup(kRenderingMode, kModeToner);
        Sim::FrameResult toned = render(depth);
        setPopup(kRenderingMode, kModeFinal);
        const Sim::FrameResult final = render(depth);
        ASSERT_EQ(layer.err(), PF_Err_NONE);
        ASSERT_EQ(toned.err(), PF_Err_NONE);
        ASSERT_EQ(final.err(), PF_Err_NONE);
        const Morvel::Bpc bpc = depth == 8 ? Morvel::Bpc8 : depth == 16 ? Morvel::Bpc16 : Morvel::Bpc32;
        Sim::withPixelType(final.output.format(), [&](auto tag) {
            using Pixel = typename decltype(tag)::type;
            // The host's blend of the two images, held as worlds of its own.
            HostWorld<Pixel> glowWorld(kWidth, kHeight), expectedWorld(kWidth, kHeight);
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    glowWorld.at(x, y) = toned.output.at<Pixel>(x, y);
                    expectedWorld.at(x, y) = layer.output.at<Pixel>(x, y);
                }
            }
            auto glow = std::make_shared<Morvel::World>(glowWorld.get());
            auto expected = std::make_shared<Morvel::World>(expectedWorld.get());
            ASSERT_EQ(Morvel::blend(&in_data_, glow, expected, bpc, Morvel::Rect<int>{0, 0, kWidth, kHeight}, {0, 0},
                                    Morvel::BlendingMode::Screen, 1.0, false),
                      PF_Err_NONE);
            int differing = 0, glowing = 0;
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    const Sim::Unit got = Sim::toUnit(final.output.at<Pixel>(x, y));
                    const Sim::Unit want = Sim::toUnit(expectedWorld.at(x, y));
                    const Sim::Unit source = Sim::toUnit(layer.output.at<Pixel>(x, y));
                    differing += std::abs(got.red - want.red) > 1e-3 || std::abs(got.green - want.green) > 1e-3 ||
                                 std::abs(got.blue - want.blue) > 1e-3 || std::abs(got.alpha - want.alpha) > 1e-3;
                    glowing += std::abs(got.red - source.red) > 0.01;
                }
            }
            EXPECT_EQ(differing, 0);
            EXPECT_GT(glowing, kHeight * 5);
        });
    }
}

// With a toner map, a failing sample ends the render with its own error and a missing sampling
// suite with 516; nothing is left behind.
TEST_F(GlowThresholdFrameTest, TonerMapSamplingFailures) {
    struct Case {
        int depth;
        const char* sample;
        const char* suite;
    } cases[] = {{8, "subpixel_sample", kPFSampling8Suite},
                 {16, "subpixel_sample16", kPFSampling16Suite},
                 {32, "subpixel_sample_float", kPFSamplingFloatSuite}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        for (int mode : {kModeToner, kModeFinal}) {
            instance_.reset();
            placed();
            setPopup(kRenderingMode, mode);
            set(kDiffusion, [](PF_ParamDefUnion& u) { u.bd.value = 0; });
            setPopup(kTones, 5);
            Sim::Image map(9, 5, PF_PixelFormat_ARGB32);
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < 9; ++x)
                    map.at<PF_Pixel>(x, y) = PF_Pixel{255, uint8_t(x * 28), 90, uint8_t(y * 60)};
            }
            instance_->setLayerParam(kTonerMap, std::move(map));
            ASSERT_EQ(render(c.depth).err(), PF_Err_NONE);

            host().faults().failCall(c.sample, 50, PF_Err_OUT_OF_MEMORY);
            EXPECT_EQ(render(c.depth).err(), PF_Err_OUT_OF_MEMORY) << mode;
            host().faults().clear();
            host().faults().makeSuiteMissing(c.suite, 1);
            EXPECT_EQ(render(c.depth).err(), PF_Err_BAD_CALLBACK_PARAM) << mode;
            host().faults().clear();
        }
    }
}

}  // namespace
