// The glow's pipeline driver through whole frames of the built plug-in: which world reaches the
// output in each rendering mode, the composite's identities, and the layers it adapts.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/sim/frame.h"
#include "host/sim/iterate.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "support/plugin_fixture.h"

namespace {

// Parameter ids of the glow's table (an id is the index in the host's parameter array).
enum Id : int {
    RENDERING_MODE = 1,
    DIFFUSION = 7,
    BEAM = 10,
    KERNEL = 16,
    USE_MASK = 40,
    MASK_TYPE = 42,
    MASK_CENTER = 46,
    MASK_WIDTH = 49,
    MASK_HEIGHT = 50,
    MASK_FALLOFF = 51,
    THRESHOLD = 56,
    COMPOSITE_SETTINGS = 85,
    SOURCE_OPACITY = 88,
    SOURCE_BLACK = 90,
    SOURCE_WHITE = 91,
    GLOW_OPACITY = 96,
    SOURCE_LAYER = 105,
    GLOW_LAYER = 106,
};

constexpr int kDepths[] = {8, 16, 32};

// Dark ground with bright spots and a ramp; every seventh pixel fully transparent though it
// carries colour, every fifth column half transparent, and at 32 bits a few lights above 1.
Sim::Unit patternPixel(int x, int y, int width, int height, int depth) {
    const bool light = (x * 7 + y * 3) % 11 == 0;
    const double peak = depth == 32 ? 2.5 : 1.0;
    const double alpha = (x + 2 * y) % 7 == 0 ? 0.0 : x % 5 == 0 ? 0.5 : 1.0;
    return {alpha, light ? peak : double(x) / (width - 1), light ? 1.0 : double(y) / (height - 1), light ? 0.9 : 0.1};
}

Sim::Image image(int width, int height, int depth, const std::function<Sim::Unit(int, int)>& unit) {
    Sim::Image picture(width, height, Sim::formatOfDepth(depth));
    Sim::withPixelType(picture.format(), [&](auto tag) {
        using Pixel = typename decltype(tag)::type;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) Sim::fromUnit(unit(x, y), &picture.at<Pixel>(x, y));
        }
    });
    return picture;
}

Sim::Image solid(int width, int height, int depth, Sim::Unit colour) {
    return image(width, height, depth, [&](int, int) { return colour; });
}

bool samePixel(const Sim::Image& a, int ax, int ay, const Sim::Image& b, int bx, int by) {
    const size_t bytes = Sim::pixelBytes(a.format());
    return a.format() == b.format() &&
           std::memcmp(a.begin() + size_t(ay) * a.def().rowbytes + size_t(ax) * bytes,
                       b.begin() + size_t(by) * b.def().rowbytes + size_t(bx) * bytes, bytes) == 0;
}

// Pixels where the two images differ (all of them when the sizes differ).
int differences(const Sim::Image& a, const Sim::Image& b, const std::function<bool(int, int)>& where = {}) {
    if (a.width() != b.width() || a.height() != b.height() || a.format() != b.format()) return a.width() * a.height();
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if ((!where || where(x, y)) && !samePixel(a, x, y, b, x, y)) ++count;
        }
    }
    return count;
}

class GlowDriverTest : public PluginHostTest {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        load("MorvelGlow");
    }

    // A fresh instance on a layer of the pattern at the depth, defaults everywhere.
    void place(int depth) {
        ASSERT_NO_FATAL_FAILURE(start());
        instance_->placeOnLayer(AEGP_ObjectType_AV, kWidth, kHeight, Sim::formatOfDepth(depth));
        layer_ = &*host().worlds().hostImage(instance_->effect().inputLayer);
        const Sim::Image pattern =
            image(kWidth, kHeight, depth, [depth](int x, int y) { return patternPixel(x, y, kWidth, kHeight, depth); });
        std::memcpy(layer_->begin(), pattern.begin(), pattern.byteSize());
    }

    void setKernels(bool on) {
        setCheckbox(DIFFUSION, on);
        setCheckbox(BEAM, false);
        setCheckbox(KERNEL, false);
    }

    // One frame that must succeed and leave nothing behind; the output as rendered.
    Sim::Image render(int depth, std::optional<PF_LRect> rect = {}) {
        Sim::FrameRequest request;
        request.depth = depth;
        request.rect = rect;
        const Sim::FrameResult frame = instance_->renderFrame(request);
        EXPECT_EQ(frame.err(), PF_Err_NONE);
        EXPECT_TRUE(frame.rendered);
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
        for (const std::string& violation : instance_->violations()) ADD_FAILURE() << violation;
        Sim::Image copy(frame.output.width(), frame.output.height(), frame.output.format());
        for (int y = 0; y < copy.height(); ++y) {
            std::memcpy(copy.begin() + size_t(y) * copy.def().rowbytes,
                        frame.output.begin() + size_t(y) * frame.output.def().rowbytes,
                        size_t(copy.width()) * Sim::pixelBytes(copy.format()));
        }
        return copy;
    }

    Sim::Unit unitAt(const Sim::Image& picture, int x, int y) {
        return Sim::withPixelType(picture.format(), [&](auto tag) {
            using Pixel = typename decltype(tag)::type;
            return Sim::toUnit(picture.at<Pixel>(x, y));
        });
    }

    static constexpr int kWidth = 30;
    static constexpr int kHeight = 20;
    Sim::Image* layer_ = nullptr;
};

TEST_F(GlowDriverTest, PreprocessingModeWithIdentitySettingsReturnsTheGlowSourceExactly) {
    for (int depth : kDepths) {
        for (bool withGlowLayer : {false, true}) {
            SCOPED_TRACE(std::to_string(depth) + (withGlowLayer ? " bits, glow layer" : " bits, the layer"));
            place(depth);
            setPopup(RENDERING_MODE, 1);
            auto glowLayer = [depth] {
                return image(kWidth, kHeight, depth, [](int x, int y) {
                    return Sim::Unit{(x + y) % 3 == 0 ? 0.0 : 0.75, 0.3, double(y) / kHeight, double(x) / kWidth};
                });
            };
            if (withGlowLayer) {
                instance_->setLayerParam(GLOW_LAYER, glowLayer());
                EXPECT_EQ(differences(render(depth), glowLayer()), 0);
            } else {
                EXPECT_EQ(differences(render(depth), *layer_), 0);
            }
        }
    }
}

TEST_F(GlowDriverTest, NoGlowOnTheFullSourceGivesTheSource) {
    for (int depth : kDepths) {
        for (bool kernels : {false, true}) {
            SCOPED_TRACE(std::to_string(depth) + (kernels ? " bits, kernels on" : " bits, kernels off"));
            place(depth);
            setKernels(kernels);
            setPopup(RENDERING_MODE, 5);
            setPopup(COMPOSITE_SETTINGS, 1);
            setFloat(SOURCE_OPACITY, 100);
            setFloat(GLOW_OPACITY, 0);
            const Sim::Image out = render(depth);
            EXPECT_EQ(differences(out, *layer_, [&](int x, int y) { return unitAt(*layer_, x, y).alpha > 0; }), 0);
        }
    }
}

TEST_F(GlowDriverTest, SeparatorModesRenderAsFinal) {
    for (int depth : kDepths) {
        for (bool kernels : {false, true}) {
            SCOPED_TRACE(std::to_string(depth) + (kernels ? " bits, kernels on" : " bits, kernels off"));
            place(depth);
            setKernels(kernels);
            setFloat(THRESHOLD, 30);
            setPopup(RENDERING_MODE, 5);
            const Sim::Image asFinal = render(depth);
            for (int mode : {4, 6, 9}) {
                setPopup(RENDERING_MODE, mode);
                EXPECT_EQ(differences(render(depth), asFinal), 0) << "mode " << mode;
            }
        }
    }
}

TEST_F(GlowDriverTest, GlowOnlyShowsNothingOfTheSource) {
    auto transparent = [this](const Sim::Image& out) {
        int opaque = 0;
        for (int y = 0; y < out.height(); ++y) {
            for (int x = 0; x < out.width(); ++x) opaque += unitAt(out, x, y).alpha != 0;
        }
        return opaque == 0;
    };
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        place(depth);
        setKernels(false);
        setPopup(RENDERING_MODE, 8);
        // Nothing passes a threshold of 200 %: the glow is empty, and so is the output.
        setFloat(THRESHOLD, 200);
        EXPECT_TRUE(transparent(render(depth)));
        setFloat(THRESHOLD, 30);
        setFloat(GLOW_OPACITY, 0);
        EXPECT_TRUE(transparent(render(depth)));

        // The source's settings and layer do not reach a glow-only output.
        setFloat(GLOW_OPACITY, 100);
        const Sim::Image glowOnly = render(depth);
        EXPECT_FALSE(transparent(glowOnly)) << "the lights pass a threshold of 30 %";
        setFloat(SOURCE_OPACITY, 30);
        setFloat(SOURCE_WHITE, 50);
        instance_->setLayerParam(SOURCE_LAYER, solid(kWidth, kHeight, depth, {1, 1, 0, 0}));
        EXPECT_EQ(differences(render(depth), glowOnly), 0);
    }
}

TEST_F(GlowDriverTest, LayersOfAnotherSizeAreScaledWholeToTheOutput) {
    const Sim::Unit red{1, 1, 0, 0}, blue{1, 0, 0, 1};
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        // Twice the size, red on the left half and blue on the right: the halves stay halves.
        place(depth);
        setPopup(RENDERING_MODE, 1);
        instance_->setLayerParam(
            GLOW_LAYER, image(2 * kWidth, 2 * kHeight, depth, [&](int x, int) { return x < kWidth ? red : blue; }));
        Sim::Image out = render(depth);
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                if (std::abs(x - kWidth / 2) <= 1) continue;
                const Sim::Unit got = unitAt(out, x, y), want = x < kWidth / 2 ? red : blue;
                wrong += std::abs(got.red - want.red) > 1e-3 || std::abs(got.blue - want.blue) > 1e-3 ||
                         std::abs(got.alpha - 1) > 1e-3;
            }
        }
        EXPECT_EQ(wrong, 0);

        // A third of the size covers the whole output, corners included; so does a source layer
        // at half size under a glow of no opacity.
        const Sim::Unit grey{1, 0.5, 0.5, 0.5};
        instance_->setLayerParam(GLOW_LAYER, solid(kWidth / 3, kHeight / 3, depth, grey));
        EXPECT_EQ(differences(render(depth), solid(kWidth, kHeight, depth, grey)), 0);
        setPopup(RENDERING_MODE, 5);
        setFloat(GLOW_OPACITY, 0);
        instance_->setLayerParam(SOURCE_LAYER, solid(kWidth / 2, kHeight / 2, depth, red));
        EXPECT_EQ(differences(render(depth), solid(kWidth, kHeight, depth, red)), 0);
    }
}

TEST_F(GlowDriverTest, AHostReportingNoThreadsRendersAsWithOne) {
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        place(depth);
        setKernels(false);
        setFloat(THRESHOLD, 30);
        setCheckbox(USE_MASK, true);
        setPopup(MASK_TYPE, 2);
        host().iteration().setReportedThreads(1);
        const Sim::Image one = render(depth);
        host().iteration().setReportedThreads(0);
        EXPECT_EQ(differences(render(depth), one), 0);
    }
}

// Zero-alpha source pixels are never written by the levels pass, so its world must start
// transparent: at 32 bits the host's fresh memory is not.
TEST_F(GlowDriverTest, SourceLevelsLeaveTransparentPixelsTransparent) {
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        place(depth);
        setFloat(GLOW_OPACITY, 0);
        setFloat(SOURCE_BLACK, 10);
        setFloat(SOURCE_WHITE, 80);
        const Sim::Image out = render(depth);
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const Sim::Unit got = unitAt(out, x, y);
                if (!std::isfinite(got.red) || !std::isfinite(got.green) || !std::isfinite(got.blue)) ++wrong;
                if (unitAt(*layer_, x, y).alpha == 0) {
                    wrong += got.alpha != 0 || got.red != 0 || got.green != 0 || got.blue != 0;
                } else {
                    // (v − 0.1)/0.7 clamped below at 0; above 1 only in float.
                    const double v = unitAt(*layer_, x, y).green;
                    double want = std::max((v - 0.1) / 0.7, 0.0);
                    if (depth != 32) want = std::min(want, 1.0);
                    wrong += std::abs(got.green - want) > (depth == 8 ? 1.5 / 255 : 1e-3);
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

// The mask centre is in layer pixels; a frame of part of the layer must place it the same.
TEST_F(GlowDriverTest, ThreadedPartialFrameMatchesTheWholeFrameWithAMask) {
    host().iteration().setProcessors(4);
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        place(depth);
        setPopup(RENDERING_MODE, 1);
        setCheckbox(USE_MASK, true);
        setPopup(MASK_TYPE, 2);
        set(MASK_CENTER, [](PF_ParamDefUnion& u) {
            u.td.x_value = 12 << 16;
            u.td.y_value = 9 << 16;
        });
        setFloat(MASK_WIDTH, 6);
        setFloat(MASK_HEIGHT, 4);
        setFloat(MASK_FALLOFF, 3);
        const Sim::Image whole = render(depth);
        const PF_LRect part{7, 5, kWidth, kHeight};
        const Sim::Image partial = render(depth, part);
        ASSERT_EQ(partial.width(), kWidth - part.left);
        ASSERT_EQ(partial.height(), kHeight - part.top);
        int wrong = 0, masked = 0;
        for (int y = 0; y < partial.height(); ++y) {
            for (int x = 0; x < partial.width(); ++x) {
                wrong += !samePixel(partial, x, y, whole, x + part.left, y + part.top);
                masked += unitAt(whole, x + part.left, y + part.top).alpha == 0;
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(masked, 0);
    }
}

}  // namespace
