#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/sim/frame.h"
#include "host/sim/iterate.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "host/sim/worlds.h"
#include "library/plugin/exports.h"
#include "library/utility/pixel.h"
#include "support/plugin_fixture.h"
#include "tiltshift/parameter_table.h"

using namespace TiltShift;

namespace {

constexpr double kFloatStep = 1.0 / 32768.0;

class RenderTest : public PluginHostTest {
public:
    Sim::Image& layerImage() { return *host().worlds().hostImage(instance().effect().inputLayer); }

protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        start(EntryPointFunc, "MorvelTiltShift");
    }

    void setCenter(double x, double y) {
        set(PARAM_CENTER, [x, y](PF_ParamDefUnion& u) {
            u.td.x_value = PF_Fixed(x * 65536);
            u.td.y_value = PF_Fixed(y * 65536);
        });
    }

    // The layer's pixels, of the given format; fill(x, y) gives each.
    template <typename Pixel>
    void layer(int width, int height, const std::function<Pixel(int, int)>& fill) {
        instance().placeOnLayer(AEGP_ObjectType_AV, width, height, Morvel::PixelTraits<Pixel>::format);
        Sim::Image& image = *host().worlds().hostImage(instance().effect().inputLayer);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) image.at<Pixel>(x, y) = fill(x, y);
        }
    }
    Sim::FrameResult render(int depth) {
        Sim::FrameRequest request;
        request.depth = depth;
        Sim::FrameResult frame = instance().renderFrame(request);
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
        return frame;
    }

    void identitySettings(double weight) {
        setFloat(PARAM_BLUR_AMOUNT, 0.0);
        setFloat(PARAM_BLUR_OFFSET, 0.0);
        setFloat(PARAM_VIGNETTING, 0.0);
        setFloat(PARAM_WEIGHT, weight);
    }
};

// Every (value, alpha) pair of the depth comes back, weighted or not.
template <typename Pixel>
void expectIdentity(RenderTest& test, const Sim::FrameResult& frame, const char* name) {
    ASSERT_EQ(frame.err(), PF_Err_NONE) << name;
    ASSERT_TRUE(frame.rendered) << name;
    const Sim::Image& in = test.layerImage();
    for (int y = 0; y < frame.output.height(); ++y) {
        for (int x = 0; x < frame.output.width(); ++x) {
            const Pixel& got = frame.output.at<Pixel>(x, y);
            const Pixel& want = in.at<Pixel>(x, y);
            if (want.alpha == 0) {
                ASSERT_TRUE(got.alpha == 0 && got.red == 0 && got.green == 0 && got.blue == 0)
                    << name << " transparent at " << x << "," << y;
                continue;
            }
            const double tolerance = Morvel::PixelTraits<Pixel>::integral ? 0.0 : kFloatStep;
            ASSERT_EQ(got.alpha, want.alpha) << name << " at " << x << "," << y;
            ASSERT_NEAR(got.red, want.red, tolerance) << name << " at " << x << "," << y;
            ASSERT_NEAR(got.green, want.green, tolerance) << name << " at " << x << "," << y;
            ASSERT_NEAR(got.blue, want.blue, tolerance) << name << " at " << x << "," << y;
        }
    }
}

TEST_F(RenderTest, IdentitySettingsGiveEveryValueAndAlphaBackAtEightBits) {
    // x is the value, y the alpha: all 65536 pairs.
    layer<PF_Pixel>(256, 256, [](int x, int y) {
        return PF_Pixel{uint8_t(y), uint8_t(x), uint8_t(255 - x), uint8_t(x / 2)};
    });
    for (double weight : {0.0, 0.01, 3.0, 5.0}) {
        identitySettings(weight);
        expectIdentity<PF_Pixel>(*this, render(8), ("weight " + std::to_string(weight)).c_str());
    }
}

TEST_F(RenderTest, IdentitySettingsGiveTheLayerBackAtSixteenBitsAndFloat) {
    // Values over the whole 16-bit range in steps of 13 against alphas in steps of 257.
    layer<PF_Pixel16>(2521, 129, [](int x, int y) {
        const auto v = uint16_t(std::min(x * 13, 32768));
        return PF_Pixel16{uint16_t(std::min(y * 257, 32768)), v, uint16_t(32768 - v), uint16_t(v / 3)};
    });
    for (double weight : {0.01, 3.0, 5.0}) {
        identitySettings(weight);
        expectIdentity<PF_Pixel16>(*this, render(16), ("16-bit weight " + std::to_string(weight)).c_str());
    }
}

TEST_F(RenderTest, IdentitySettingsGiveTheLayerBackInFloat) {
    layer<PF_PixelFloat>(300, 11, [](int x, int y) {
        return PF_PixelFloat{y / 10.0f, x / 200.0f, 1.0f - x / 300.0f, x * 0.013f};
    });
    for (double weight : {0.0, 3.0, 5.0}) {
        identitySettings(weight);
        expectIdentity<PF_PixelFloat>(*this, render(32), ("float weight " + std::to_string(weight)).c_str());
    }
}

TEST_F(RenderTest, ThreadedRendersOfAUniformOpaqueLayerStayUniformAtDefaults) {
    host().iteration().setProcessors(4);
    layer<PF_Pixel>(90, 60, [](int, int) { return PF_Pixel{255, 200, 120, 31}; });
    for (int depth : {8, 16, 32}) {
        const Sim::FrameResult frame = render(depth);
        ASSERT_EQ(frame.err(), PF_Err_NONE) << depth;
        const Sim::Image& out = frame.output;
        for (int y = 0; y < out.height(); ++y) {
            for (int x = 0; x < out.width(); ++x) {
                if (depth == 8) {
                    const PF_Pixel& p = out.at<PF_Pixel>(x, y);
                    ASSERT_TRUE(p.alpha == 255 && p.red == 200 && p.green == 120 && p.blue == 31) << x << "," << y;
                } else if (depth == 16) {
                    const PF_Pixel16& p = out.at<PF_Pixel16>(x, y);
                    const PF_Pixel16 want =
                        static_cast<PF_Pixel16>(Morvel::Color<float>(1, 200 / 255.f, 120 / 255.f, 31 / 255.f));
                    ASSERT_TRUE(p.alpha == 32768 && p.red == want.red && p.green == want.green && p.blue == want.blue)
                        << x << "," << y;
                } else {
                    const PF_PixelFloat& p = out.at<PF_PixelFloat>(x, y);
                    ASSERT_EQ(p.alpha, 1.0f);
                    ASSERT_NEAR(p.red, 200 / 255.0, kFloatStep) << x << "," << y;
                    ASSERT_NEAR(p.blue, 31 / 255.0, kFloatStep) << x << "," << y;
                }
            }
        }
    }
}

// A weighted spike of 10.0 must not swallow the rest of its row: pixels whose windows do not
// reach it keep their value.
TEST_F(RenderTest, AFloatSpikeStaysInItsWindows) {
    const int spikeAt = 100;
    layer<PF_PixelFloat>(1800, 1, [&](int x, int) {
        return PF_PixelFloat{1.0f, x == spikeAt ? 10.0f : 0.5f, 0.5f, 0.5f};
    });
    setFloat(PARAM_BLUR_AMOUNT, 0.0);
    setFloat(PARAM_BLUR_OFFSET, 15.0);  // radius 5 in each of three rounds
    setFloat(PARAM_WEIGHT, 3.0);
    const Sim::FrameResult frame = render(32);
    ASSERT_EQ(frame.err(), PF_Err_NONE);
    for (int x = 0; x < 1800; ++x) {
        const PF_PixelFloat& p = frame.output.at<PF_PixelFloat>(x, 0);
        ASSERT_FALSE(std::isnan(p.red)) << x;
        if (std::abs(x - spikeAt) > 15) {
            ASSERT_NEAR(p.red, 0.5, 1e-6) << x;
        }
    }
    EXPECT_GT(frame.output.at<PF_PixelFloat>(spikeAt, 0).red, 0.5f);
}

// Power mode has no cap: a far centre and a tiny ratio give amounts of 10^12 and more.
TEST_F(RenderTest, UnboundedAmountsRenderCleanly) {
    layer<PF_Pixel>(64, 40, [](int x, int y) { return PF_Pixel{255, uint8_t(x * 4), uint8_t(y * 6), 99}; });
    setFloat(PARAM_RATIO, 0.0001);
    setFloat(PARAM_POWER, 5.0);
    setCenter(30000, 30000);
    setFloat(PARAM_BLUR_AMOUNT, 5000);
    setFloat(PARAM_CHROMATIC_ABERRATION, 100);
    setFloat(PARAM_VIGNETTING, 50);
    for (int type : {TYPE_RADIAL, TYPE_LINEAR}) {
        setPopup(PARAM_TYPE, type);
        for (int depth : {8, 16, 32}) {
            const Sim::FrameResult frame = render(depth);
            EXPECT_EQ(frame.err(), PF_Err_NONE) << type << " " << depth;
            if (depth == 32) {
                const PF_PixelFloat& p = frame.output.at<PF_PixelFloat>(10, 10);
                EXPECT_FALSE(std::isnan(p.red) || std::isnan(p.alpha)) << type;
            }
        }
    }
}

TEST_F(RenderTest, FailuresInTheBandsAreTheRendersResult) {
    layer<PF_Pixel>(40, 30, [](int x, int y) { return PF_Pixel{255, uint8_t(x), uint8_t(y), 0}; });
    setFloat(PARAM_CHROMATIC_ABERRATION, 3.0);
    setFloat(PARAM_INNER_WIDTH, 0.0);
    struct Case {
        const char* name;
        int depth;
        std::function<void()> plan;
        PF_Err want;
    };
    const Case cases[] = {
        {"fifth sample fails", 8, [&] { host().faults().failCall("subpixel_sample", 5, PF_Err_OUT_OF_MEMORY); },
         PF_Err_OUT_OF_MEMORY},
        {"float sample fails", 32,
         [&] { host().faults().failCall("subpixel_sample_float", 40, PF_Err_INTERNAL_STRUCT_DAMAGED); },
         PF_Err_INTERNAL_STRUCT_DAMAGED},
        {"16-bit sampling suite missing", 16, [&] { host().faults().makeSuiteMissing("PF Sampling16 Suite", 1); },
         PF_Err_BAD_CALLBACK_PARAM},
        {"cancel at the third abort poll", 8, [&] { host().iteration().abortAfterPolls(2); }, PF_Interrupt_CANCEL},
    };
    for (const Case& c : cases) {
        c.plan();
        const Sim::FrameResult frame = render(c.depth);
        host().faults().clear();
        host().iteration().abortAfterPolls(-1);
        EXPECT_EQ(frame.renderErr, c.want) << c.name;
    }
}

// A text layer grown to its frame: the content is placed at its offset, the rest is transparent.
TEST_F(RenderTest, AnOutputLargerThanTheInputIsTransparentOutsideIt) {
    instance().placeOnLayer(AEGP_ObjectType_TEXT, 64, 48);
    Sim::Image& image = layerImage();
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) image.at<PF_Pixel>(x, y) = PF_Pixel{255, uint8_t(x * 3), uint8_t(y * 5), 7};
    }
    instance().setContentBounds({12, 5, 40, 30});
    identitySettings(3.0);
    const Sim::FrameResult frame = render(8);
    ASSERT_EQ(frame.err(), PF_Err_NONE);
    ASSERT_EQ(frame.output.width(), 64);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const PF_Pixel& got = frame.output.at<PF_Pixel>(x, y);
            const bool inside = x >= 12 && x < 40 && y >= 5 && y < 30;
            if (inside) {
                ASSERT_TRUE(got.alpha == 255 && got.red == x * 3 && got.green == y * 5) << x << "," << y;
            } else {
                ASSERT_EQ(got.alpha, 0) << x << "," << y;
            }
        }
    }
}

}  // namespace
