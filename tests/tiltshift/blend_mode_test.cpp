#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "library/utility/pixel.h"
#include "tiltshift/blend_mode.h"
#include "tiltshift/compositor.h"

using namespace TiltShift;

namespace {

struct Named {
    const char* name;
    BlendMode mode;
};
const Named kModes[] = {{"Normal", BLEND_NORMAL},         {"Add", BLEND_ADD},
                        {"Multiply", BLEND_MULTIPLY},     {"Screen", BLEND_SCREEN},
                        {"Overlay", BLEND_OVERLAY},       {"Soft Light", BLEND_SOFT_LIGHT},
                        {"Hard Light", BLEND_HARD_LIGHT}, {"Color Dodge", BLEND_COLOR_DODGE},
                        {"Color Burn", BLEND_COLOR_BURN}, {"Darken", BLEND_DARKEN},
                        {"Lighten", BLEND_LIGHTEN},       {"Difference", BLEND_DIFFERENCE},
                        {"Exclusion", BLEND_EXCLUSION},   {"Hue", BLEND_HUE},
                        {"Saturation", BLEND_SATURATION}, {"Luminosity", BLEND_LUMINOSITY}};

TEST(BlendMode, MenuItemsMapToModesAndSeparatorsTakeTheItemBefore) {
    const int32_t want[22] = {0, 0, 0, 2, 3, 4, 5, 6, 7, 7, 8, 9, 9, 10, 11, 12, 13, 13, 14, 15, 16, 0};
    for (int32_t item = 0; item <= 21; ++item) EXPECT_EQ(toBlendMode(item), want[item]) << "item " << item;
    EXPECT_EQ(toBlendMode(-5), 0);
}

TEST(BlendMode, UnknownModesBlendAsNormal) {
    for (int32_t mode : {1, 17, 99, -1}) {
        EXPECT_EQ(selectBlendFunction<PF_Pixel>(mode), selectBlendFunction<PF_Pixel>(BLEND_NORMAL)) << mode;
        EXPECT_EQ(selectBlendFunction<PF_PixelFloat>(mode), selectBlendFunction<PF_PixelFloat>(BLEND_NORMAL)) << mode;
    }
}

template <typename Pixel>
PF_PixelFloat toFloat(const Pixel& p) {
    using T = Morvel::PixelTraits<Pixel>;
    return PF_PixelFloat{float(T::toUnit(p.alpha)), float(T::toUnit(p.red)), float(T::toUnit(p.green)),
                         float(T::toUnit(p.blue))};
}

// The integer forms against the float form of the same mode on the same pixels, in steps of the
// depth: straight colour when the pixel below is opaque (the compositor's case), premultiplied
// colour for any alphas.
template <typename Pixel>
void compareWithFloat(double normalSteps, double otherSteps, double premultipliedSteps) {
    using T = Morvel::PixelTraits<Pixel>;
    const double full = T::full;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> channel(0, int(T::full));
    auto pixel = [&](bool opaque) {
        using C = typename T::Channel;
        return Pixel{C(opaque ? T::full : channel(random)), C(channel(random)), C(channel(random)), C(channel(random))};
    };
    for (const Named& m : kModes) {
        const auto integral = selectBlendFunction<Pixel>(m.mode);
        const auto reference = selectBlendFunction<PF_PixelFloat>(m.mode);
        for (int trial = 0; trial < 20000; ++trial) {
            const bool opaqueBelow = trial % 2 == 0;
            const Pixel below = pixel(opaqueBelow);
            const Pixel top = pixel(false);
            const Pixel got = integral(below, top);
            PF_PixelFloat want = reference(toFloat(below), toFloat(top));
            // The float form is not clamped; a pixel of the depth is.
            auto clampUnit = [](float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); };
            want =
                PF_PixelFloat{clampUnit(want.alpha), clampUnit(want.red), clampUnit(want.green), clampUnit(want.blue)};
            const double gotChannels[3] = {double(got.red), double(got.green), double(got.blue)};
            const double wantChannels[3] = {want.red * full, want.green * full, want.blue * full};
            const std::string where = std::string(m.name) + " trial " + std::to_string(trial);
            if (opaqueBelow) {
                const double steps = m.mode == BLEND_NORMAL ? normalSteps : otherSteps;
                for (int k = 0; k < 3; ++k) ASSERT_NEAR(gotChannels[k], wantChannels[k], steps) << where;
                ASSERT_NEAR(double(got.alpha), want.alpha * full, steps) << where;
            } else {
                for (int k = 0; k < 3; ++k) {
                    ASSERT_NEAR(gotChannels[k] * got.alpha / full, wantChannels[k] * want.alpha, premultipliedSteps)
                        << where;
                }
            }
        }
    }
}

// The integer modes divide by 256 where the float form divides by 255, twice over: Multiply
// reaches 3.6 steps (232 over 246 at alpha 246 gives 221 for 224.6).
TEST(BlendMode, EightBitFormsFollowTheFloatForm) { compareWithFloat<PF_Pixel>(1.0, 3.6, 3.6); }
TEST(BlendMode, SixteenBitFormsFollowTheFloatForm) { compareWithFloat<PF_Pixel16>(1.0, 2.0, 2.0); }

TEST(BlendMode, DodgeOfBlackAndBurnOfWhiteAgreeAtEveryDepth) {
    auto dodge8 = selectBlendFunction<PF_Pixel>(BLEND_COLOR_DODGE);
    auto burn8 = selectBlendFunction<PF_Pixel>(BLEND_COLOR_BURN);
    auto dodge16 = selectBlendFunction<PF_Pixel16>(BLEND_COLOR_DODGE);
    auto burn16 = selectBlendFunction<PF_Pixel16>(BLEND_COLOR_BURN);
    auto dodgeF = selectBlendFunction<PF_PixelFloat>(BLEND_COLOR_DODGE);
    auto burnF = selectBlendFunction<PF_PixelFloat>(BLEND_COLOR_BURN);
    EXPECT_EQ(dodge8(PF_Pixel{255, 0, 0, 0}, PF_Pixel{255, 255, 255, 255}).red, 0);
    EXPECT_EQ(dodge16(PF_Pixel16{32768, 0, 0, 0}, PF_Pixel16{32768, 32768, 32768, 32768}).red, 0);
    EXPECT_EQ(dodgeF(PF_PixelFloat{1, 0, 0, 0}, PF_PixelFloat{1, 1, 1, 1}).red, 0.0f);
    // One short of white: the integer modes' division by 256.
    EXPECT_GE(burn8(PF_Pixel{255, 255, 255, 255}, PF_Pixel{255, 0, 0, 0}).red, 254);
    EXPECT_EQ(burn16(PF_Pixel16{32768, 32768, 32768, 32768}, PF_Pixel16{32768, 0, 0, 0}).red, 32768);
    EXPECT_EQ(burnF(PF_PixelFloat{1, 1, 1, 1}, PF_PixelFloat{1, 0, 0, 0}).red, 1.0f);
}

TEST(BlendMode, IntegerModesDivideBy256) {
    // Darken of white over a colour is the colour, one step short.
    const PF_Pixel got =
        selectBlendFunction<PF_Pixel>(BLEND_DARKEN)(PF_Pixel{255, 100, 10, 200}, PF_Pixel{255, 255, 255, 255});
    EXPECT_EQ(got.red, 99);
    EXPECT_EQ(got.blue, 199);
}

TEST(BlendMode, HueOfAGreyIsTheLumaOfThePixelBelow) {
    const PF_PixelFloat got = selectBlendFunction<PF_PixelFloat>(BLEND_HUE)(PF_PixelFloat{1, 0.2f, 0.6f, 0.9f},
                                                                            PF_PixelFloat{1, 0.5f, 0.5f, 0.5f});
    const float luma = 0.299f * 0.2f + 0.587f * 0.6f + 0.114f * 0.9f;
    EXPECT_NEAR(got.red, luma, 1e-6);
    EXPECT_NEAR(got.green, luma, 1e-6);
    EXPECT_NEAR(got.blue, luma, 1e-6);
}

// With "Vignetting" 0 the vignette is transparent and no mode changes the pixel.
template <typename Pixel>
void vignettingZeroKeepsThePixel() {
    using T = Morvel::PixelTraits<Pixel>;
    const double entry[4] = {0.5 * T::full, 0.1 * T::full * 0.5 * T::full, 0.7 * T::full * 0.5 * T::full, 0.0};
    for (const Named& m : kModes) {
        const OutputSettings settings{false, 1.0, 0.0, Morvel::Color<float>(1, 1, 0.5f, 0.25f), m.mode};
        const Pixel got = OutputStep<Pixel>(nullptr, settings)(entry, 3.0);
        const Pixel normal = OutputStep<Pixel>(nullptr, OutputSettings{false, 1.0, 0.0, {}, BLEND_NORMAL})(entry, 0.0);
        EXPECT_EQ(got.alpha, normal.alpha) << m.name;
        EXPECT_EQ(got.red, normal.red) << m.name;
        EXPECT_EQ(got.green, normal.green) << m.name;
        EXPECT_EQ(got.blue, normal.blue) << m.name;
        EXPECT_NEAR(double(got.red), 0.1 * T::full, 0.5) << m.name;
        EXPECT_NEAR(double(got.green), 0.7 * T::full, 0.5) << m.name;
    }
}

TEST(OutputStep, VignettingZeroKeepsThePixelInEveryMode) {
    vignettingZeroKeepsThePixel<PF_Pixel>();
    vignettingZeroKeepsThePixel<PF_Pixel16>();
    vignettingZeroKeepsThePixel<PF_PixelFloat>();
}

TEST(OutputStep, ATransparentEntryComesOutTransparent) {
    const double entry[4] = {0.0, 0.0, 0.0, 0.0};
    const OutputSettings settings{true, 1.03, 0.0, {}, BLEND_MULTIPLY};
    const PF_Pixel got = OutputStep<PF_Pixel>(nullptr, settings)(entry, 0.0);
    EXPECT_EQ(got.alpha, 0);
    EXPECT_EQ(got.red, 0);
}

TEST(OutputStep, OutOfRangeEntriesAreClampedBeforeConversion) {
    const double nan = std::nan("");
    const double huge[4] = {1e300, 1e308, -1e308, nan};
    const OutputSettings settings{false, 1.0, 0.5, {}, BLEND_NORMAL};
    const PF_Pixel p8 = OutputStep<PF_Pixel>(nullptr, settings)(huge, 1e12);
    EXPECT_EQ(p8.alpha, 255);
    const PF_Pixel16 p16 = OutputStep<PF_Pixel16>(nullptr, settings)(huge, nan);
    EXPECT_EQ(p16.alpha, 32768);
    const PF_PixelFloat pf = OutputStep<PF_PixelFloat>(nullptr, settings)(huge, 1e12);
    EXPECT_EQ(pf.alpha, 1.0f);
    EXPECT_FALSE(std::isnan(pf.red) || std::isnan(pf.green) || std::isnan(pf.blue));
}

}  // namespace
