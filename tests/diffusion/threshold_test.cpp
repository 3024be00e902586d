#include "diffusion/threshold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "library/filter/iterate.h"
#include "support/host_fixture.h"
#include "support/raw_world.h"

namespace {

double standardPow(double x, double y) { return std::pow(x, y); }

// The ramp worked directly on the 0..1 scale.
double expectedRamp(double v, double threshold, double softness) {
    const double start = softness < 1e-6 ? threshold - 1e-6 : threshold - softness;
    return std::clamp((v - start) / (threshold - start), 0.0, 1.0);
}

TEST(DiffusionRamp, EveryTableEntryFollowsTheFormula) {
    struct Case {
        const char* name;
        double threshold, softness;
    } cases[] = {{"defaults", 0.5, 0.1}, {"hard", 0.5, 0.0}, {"tiny softness", 0.3, 1e-7},
                 {"wide", 0.8, 0.8},     {"zero", 0.0, 0.0}, {"above full", 1.2, 0.4}};
    for (const Case& c : cases) {
        const auto ramp8 = Diffusion::rampTable8(c.threshold, c.softness);
        ASSERT_EQ(ramp8.size(), 256u);
        for (int i = 0; i < 256; ++i) {
            ASSERT_NEAR(ramp8[i], expectedRamp(i / 255.0, c.threshold, c.softness), 1e-9) << c.name << " " << i;
        }
        const auto ramp16 = Diffusion::rampTable16(c.threshold, c.softness);
        ASSERT_EQ(ramp16.size(), 65536u);
        for (int i = 0; i <= 32768; ++i) {
            ASSERT_NEAR(ramp16[i], expectedRamp(i / 32768.0, c.threshold, c.softness), 1e-9) << c.name << " " << i;
        }
        for (int i = 32769; i < 65536; ++i) ASSERT_EQ(ramp16[i], 0.0) << c.name << " " << i;
        const auto ramp32 = Diffusion::rampFunc32(c.threshold, c.softness);
        for (float v : {-1.0f, 0.0f, 0.25f, 0.4f, 0.45f, 0.5f, 0.79f, 1.0f, 3.0f}) {
            // Single precision: within a few float steps of the exact ramp (a hard step magnifies
            // them by 1e6, so compare there only away from the edge).
            if (c.softness < 1e-6 && std::fabs(v - c.threshold) < 1e-5) continue;
            EXPECT_NEAR(ramp32(v), expectedRamp(v, c.threshold, c.softness), 1e-5) << c.name << " " << v;
        }
        EXPECT_EQ(ramp32(std::numeric_limits<float>::quiet_NaN()), 0.0) << c.name;
    }
}

TEST(DiffusionRamp, TheDefaultsAndAHardStepAtEightBits) {
    const auto soft = Diffusion::rampTable8(0.5, 0.1);
    EXPECT_EQ(soft[102], 0.0);
    EXPECT_NEAR(soft[115], 0.5098, 1e-4);
    EXPECT_EQ(soft[128], 1.0);
    const auto hard = Diffusion::rampTable8(0.5, 0.0);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(hard[i], i >= 128 ? 1.0 : 0.0) << i;
}

TEST(DiffusionWeights, TablesArePowersOnTheEightBitScale) {
    for (double factor : {1.02, 1.1}) {
        const auto w8 = Diffusion::weightTable8(factor, standardPow);
        ASSERT_EQ(w8.size(), 256u);
        for (int i = 0; i < 256; ++i) ASSERT_DOUBLE_EQ(w8[i], std::pow(factor, i)) << factor << " " << i;
        const auto w16 = Diffusion::weightTable16(factor, standardPow);
        const auto w32 = Diffusion::weightTable32(factor, standardPow);
        ASSERT_EQ(w16.size(), 65536u);
        ASSERT_EQ(w32.size(), 32769u);
        for (int i = 0; i <= 32768; ++i) {
            const double want = std::pow(factor, i * 255.0 / 32768.0);
            ASSERT_DOUBLE_EQ(w16[i], want) << factor << " " << i;
            ASSERT_DOUBLE_EQ(w32[i], want) << factor << " " << i;
        }
        // A 16-bit value above full scale weighs nothing.
        for (int i = 32769; i < 65536; ++i) ASSERT_EQ(w16[i], 0.0) << i;
        // The same colour weighs the same at every depth.
        EXPECT_DOUBLE_EQ(w16[32768], w8[255]);
    }
    EXPECT_DOUBLE_EQ(Diffusion::weightTable8(1.02, standardPow)[255], std::pow(1.02, 255));
}

TEST(DiffusionWeights, FloatIndexIsClampedBeforeItBecomesAnInteger) {
    struct Case {
        const char* name;
        float value;
        int index;
    } cases[] = {{"black", 0.0f, 0},
                 {"half", 0.5f, 16384},
                 {"rounds to nearest", 1.6e-5f, 1},
                 {"white", 1.0f, 32768},
                 {"HDR", 2.0f, 32768},
                 {"far above the int range", 1e30f, 32768},
                 {"infinite", std::numeric_limits<float>::infinity(), 32768},
                 {"negative", -0.5f, 0},
                 {"NaN", std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const Case& c : cases) EXPECT_EQ(Diffusion::weightIndex32(c.value), c.index) << c.name;
}

TEST(DiffusionChannels, ItemsOutsideTheMenuAndTheGlowsCustomReadAsLuminance) {
    const Morvel::Color<float> red(1, 1, 0, 0);
    const PF_Pixel p{128, 200, 100, 40};  // alpha 128: never multiplied in
    const int luminance = (76 * 200 + 150 * 100 + 29 * 40) / 255;
    struct Case {
        const char* name;
        int channel;
        int value;
    } cases[] = {{"luminance", 1, luminance}, {"red", 2, 200},
                 {"green", 3, 100},           {"blue", 4, 40},
                 {"alpha", 5, 128},           {"brightness", 10, 200},
                 {"zero", 0, luminance},      {"custom", 13, luminance},
                 {"beyond", 99, luminance},   {"negative", -3, luminance}};
    for (const Case& c : cases) {
        const auto item = static_cast<Glow::ChannelItem>(c.channel);  // as the host delivers it
        EXPECT_EQ(Diffusion::generateChannelFunc8(item, red)(p), c.value) << c.name;
        const PF_Pixel16 p16{uint16_t(p.alpha * 128), uint16_t(p.red * 128), uint16_t(p.green * 128),
                             uint16_t(p.blue * 128)};
        EXPECT_NEAR(Diffusion::generateChannelFunc16(item, red)(p16) / 32768.0, c.value / 255.0, 2.0 / 255) << c.name;
        const PF_PixelFloat pf{p.alpha / 255.0f, p.red / 255.0f, p.green / 255.0f, p.blue / 255.0f};
        EXPECT_NEAR(Diffusion::generateChannelFunc32(item, red)(pf), c.value / 255.0, 2.0 / 255) << c.name;
    }
}

// ---- the stage over single pixels

class DiffusionThresholdTest : public SuitesHostTest {
protected:
};

struct PixelCase {
    const char* name;
    double alpha, red, green, blue;  // 0..1
};

const PixelCase kPixels[] = {
    {"bright opaque", 1.0, 0.9, 0.8, 0.7},
    {"on the ramp", 1.0, 0.45, 0.45, 0.45},
    {"below", 1.0, 0.2, 0.3, 0.1},
    {"half transparent", 0.5, 1.0, 1.0, 1.0},
    {"transparent bright", 0.0, 1.0, 1.0, 1.0},
    {"pure red", 1.0, 1.0, 0.0, 0.0},
};

template <typename Pixel>
Pixel make(const PixelCase& c, double full) {
    using T = decltype(Pixel{}.alpha);
    auto v = [full](double x) { return T(std::is_floating_point_v<T> ? x : std::floor(x * full + 0.5)); };
    return Pixel{v(c.alpha), v(c.red), v(c.green), v(c.blue)};
}

template <typename Pixel>
void checkDepth(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, double full, Glow::ChannelItem channel,
                double weight) {
    constexpr int kCount = std::size(kPixels);
    RawWorld<Pixel> source(kCount, 2), destination(kCount, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < kCount; ++x) source.at(x, y) = make<Pixel>(kPixels[x], full);
    }
    // Records start as garbage, as the render's do: the stage must write every one.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<Glow::Color> buffer(kCount * 2, Glow::Color{nan, nan, nan, nan});
    Diffusion::ThresholdParameters p;
    p.weightFactor = 1.0 + weight * 0.01;
    p.weighted = p.weightFactor > 1.000001;
    p.channel = channel;
    p.reference = Morvel::Color<float>(1, 1, 0, 0);
    p.threshold = 0.5;
    p.softness = 0.1;
    p.buffer = &buffer;
    Diffusion::Threshold stage(in_data, suites, bpc, source.get(), destination.get(), &p);
    ASSERT_EQ(Morvel::iterateGeneric(in_data, suites, stage, PF_Iterations_ONCE_PER_PROCESSOR), PF_Err_NONE);

    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < kCount; ++x) {
            const std::string name =
                std::string(kPixels[x].name) + " at " + std::to_string(int(full)) + (p.weighted ? " weighted" : "");
            const Pixel& in = source.at(x, y);
            // Red channel: the measure is the pixel's own red.
            const double ramp = expectedRamp(in.red / full, p.threshold, p.softness);
            const double u = in.alpha * ramp;
            const Pixel& out = destination.at(x, y);
            constexpr bool isFloat = std::is_floating_point_v<decltype(in.alpha)>;
            if constexpr (isFloat) {
                EXPECT_NEAR(out.alpha, u, 1e-6) << name;
            } else {
                // Truncated; only a product within rounding of a whole number may land either side.
                const double slack = std::fabs(u - std::round(u)) < 1e-9 ? 1.0 : 0.0;
                EXPECT_LE(std::fabs(out.alpha - std::trunc(u)), slack) << name << " u " << u;
            }
            EXPECT_EQ(out.red, in.red) << name;
            EXPECT_EQ(out.green, in.green) << name;
            EXPECT_EQ(out.blue, in.blue) << name;

            const Glow::Color& b = buffer[size_t(y) * kCount + x];
            if (!(u > 1e-6)) {
                EXPECT_TRUE(b.red == 0 && b.green == 0 && b.blue == 0 && b.alpha == 0) << name;
                continue;
            }
            // The weight counts a colour in 8-bit steps; float colours are looked up at the
            // nearest 16-bit step.
            auto weighed = [&](double c) {
                if (!p.weighted) return c;
                const double steps = isFloat ? std::round(c * 32768.0) * 255.0 / 32768.0 : c / full * 255.0;
                return std::pow(p.weightFactor, steps);
            };
            const double tolerance = isFloat ? 1e-6 : 1e-9;
            auto expectClose = [&](double got, double want, const char* what) {
                EXPECT_NEAR(got, want, tolerance * std::max(std::fabs(want), 1.0)) << name << " " << what;
            };
            expectClose(b.alpha, u, "alpha");
            expectClose(b.red, u * weighed(in.red), "red");
            expectClose(b.green, u * weighed(in.green), "green");
            expectClose(b.blue, u * weighed(in.blue), "blue");
        }
    }
}

TEST_F(DiffusionThresholdTest, DiffusionLayerKeepsColourAndBufferHoldsWeightedOrPremultipliedColour) {
    for (double weight : {0.0, 2.0}) {
        checkDepth<PF_Pixel>(&in_data_, suites(), Morvel::Bpc8, 255.0, Glow::CHANNEL_RED, weight);
        checkDepth<PF_Pixel16>(&in_data_, suites(), Morvel::Bpc16, 32768.0, Glow::CHANNEL_RED, weight);
        checkDepth<PF_PixelFloat>(&in_data_, suites(), Morvel::Bpc32, 1.0, Glow::CHANNEL_RED, weight);
    }
}

}  // namespace
