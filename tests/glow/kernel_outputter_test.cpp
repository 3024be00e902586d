#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "glow/kernel_outputter.h"
#include "library/fft/buffer.h"
#include "support/host_fixture.h"
#include "support/raw_world.h"

namespace {

constexpr int kSize = 256;
constexpr double kScale = double(kSize) * kSize;  // the backward transform's missing factor

// One pixel's convolved values, as the backward transforms leave them at the kernel's centre.
struct Convolved {
    double red, green, blue, alpha;
};

class OutputterTest : public SuitesHostTest {
protected:
    void SetUp() override {
        SuitesHostTest::SetUp();
        for (auto* b : {&a_, &b_, &red_, &green_, &blue_}) b->init(kSize);
    }
    Glow::KernelOutputterNormalParameters normal(Convolved v) {
        a_.row(kSize / 2)[kSize] = v.red * kScale;
        a_.row(kSize / 2)[kSize + 1] = v.green * kScale;
        b_.row(kSize / 2)[kSize] = v.blue * kScale;
        b_.row(kSize / 2)[kSize + 1] = v.alpha * kScale;
        Glow::KernelOutputterNormalParameters p;
        p.size = kSize;
        p.kernelTotal = 1;
        p.bufferA = a_.rows();
        p.bufferB = b_.rows();
        return p;
    }
    // Writes pixel (0, 0) of a 1 x 1 world from the convolved values.
    template <typename Pixel>
    Pixel runNormal(Morvel::Bpc bpc, Glow::KernelOutputterNormalParameters p) {
        RawWorld<Pixel> world(1, 1);
        world.at(0, 0) = Pixel{1, 1, 1, 1};
        Glow::KernelOutputterNormal outputter(&in_data_, suites(), bpc, world.get(), &p);
        EXPECT_EQ(outputter(0, 1), 0);
        return world.at(0, 0);
    }
    template <typename Pixel>
    Pixel runChannel(Morvel::Bpc bpc, const Convolved (&v)[3], double alphaWhite = 1) {
        Morvel::FFT::Buffer* buffers[3] = {&red_, &green_, &blue_};
        for (int j = 0; j < 3; ++j) {
            const double colour = j == 0 ? v[j].red : j == 1 ? v[j].green : v[j].blue;
            buffers[j]->row(kSize / 2)[kSize] = colour * kScale;
            buffers[j]->row(kSize / 2)[kSize + 1] = v[j].alpha * kScale;
        }
        Glow::KernelOutputterChannelParameters p;
        p.size = kSize;
        p.totalRed = p.totalGreen = p.totalBlue = 1;
        p.alphaWhite = alphaWhite;
        p.red = red_.rows();
        p.green = green_.rows();
        p.blue = blue_.rows();
        RawWorld<Pixel> world(1, 1);
        world.at(0, 0) = Pixel{1, 1, 1, 1};
        Glow::KernelOutputterChannel outputter(&in_data_, suites(), bpc, world.get(), &p);
        EXPECT_EQ(outputter(0, 1), 0);
        return world.at(0, 0);
    }
    Morvel::FFT::Buffer a_, b_, red_, green_, blue_;
};

void expectPixel(const PF_PixelFloat& p, double a, double r, double g, double b, const std::string& name) {
    EXPECT_NEAR(p.alpha, a, 1e-6) << name;
    EXPECT_NEAR(p.red, r, 1e-6) << name;
    EXPECT_NEAR(p.green, g, 1e-6) << name;
    EXPECT_NEAR(p.blue, b, 1e-6) << name;
}

TEST_F(OutputterTest, UnmultMovesTheBrightestColourIntoAlpha) {
    auto p = normal({0.5 * 0.4, 0.25 * 0.4, 0, 0.4});
    p.unmult = true;
    expectPixel(runNormal<PF_PixelFloat>(Morvel::Bpc32, p), 0.2, 1, 0.5, 0, "unmult");
    p.unmult = false;
    expectPixel(runNormal<PF_PixelFloat>(Morvel::Bpc32, p), 0.4, 0.5, 0.25, 0, "plain");
}

TEST_F(OutputterTest, OverflowKeepsThePremultipliedColour) {
    struct Case {
        const char* name;
        double exposure, total;
        Convolved v;
        double alpha;  // expected
    } cases[] = {
        {"alpha grows", 0, 1, {0.5, 0.25, 0.125, 0.25}, 0.5},
        {"alpha reaches 1", 0, 1, {2, 1, 0.5, 0.25}, 1},
        {"kernel energy", 0, 4, {0.5, 0.25, 0.125, 0.25}, 1},
        {"exposure", 2, 1, {0.2, 0.1, 0.05, 0.1}, 0.1 * 2 * std::pow(1.37035095691681, 2)},
    };
    for (const auto& c : cases) {
        auto p = normal(c.v);
        p.exposure = c.exposure;
        p.kernelTotal = c.total;
        const PF_PixelFloat out = runNormal<PF_PixelFloat>(Morvel::Bpc32, p);
        const double gain = c.total * std::pow(1.37035095691681, c.exposure);
        EXPECT_NEAR(out.alpha, c.alpha, 1e-6) << c.name;
        EXPECT_NEAR(out.red * out.alpha, c.v.red * gain, 1e-6) << c.name;
        EXPECT_NEAR(out.green * out.alpha, c.v.green * gain, 1e-6) << c.name;
        EXPECT_NEAR(out.blue * out.alpha, c.v.blue * gain, 1e-6) << c.name;
        // Colour beyond 1 only once alpha is full.
        if (out.alpha < 1 - 1e-6f) {
            EXPECT_LE(std::max({out.red, out.green, out.blue}), 1 + 1e-6f) << c.name;
        }
    }
    // Past full alpha the float colour is stored unclamped.
    const PF_PixelFloat bright = runNormal<PF_PixelFloat>(Morvel::Bpc32, normal({4, 2, 1, 0.5}));
    expectPixel(bright, 1, 4, 2, 1, "beyond full alpha");
}

TEST_F(OutputterTest, IntegerDepthsRoundAndClamp) {
    // Premultiplied integer colours are colour x alpha, both in the depth's units.
    const PF_Pixel p8 = runNormal<PF_Pixel>(Morvel::Bpc8, normal({200 * 127.5, 100 * 127.5, 50 * 127.5, 127.5}));
    EXPECT_EQ(p8.alpha, 128);
    EXPECT_EQ(p8.red, 200);
    EXPECT_EQ(p8.green, 100);
    EXPECT_EQ(p8.blue, 50);
    // Colour beyond full scale at full alpha clamps.
    const PF_Pixel hot = runNormal<PF_Pixel>(Morvel::Bpc8, normal({1000 * 255, 10 * 255, 0, 255}));
    EXPECT_EQ(hot.alpha, 255);
    EXPECT_EQ(hot.red, 255);
    EXPECT_EQ(hot.green, 10);
    const PF_Pixel16 p16 = runNormal<PF_Pixel16>(Morvel::Bpc16, normal({40000.0 * 32768, 16384.0 * 32768, 0, 32768}));
    EXPECT_EQ(p16.alpha, 32768);
    EXPECT_EQ(p16.red, 32768);
    EXPECT_EQ(p16.green, 16384);
    EXPECT_EQ(p16.blue, 0);
    // Negative ringing is cut at 0.
    const PF_Pixel16 negative = runNormal<PF_Pixel16>(Morvel::Bpc16, normal({-5 * 1000, 100 * 1000, 0, 1000}));
    EXPECT_EQ(negative.red, 0);
}

TEST_F(OutputterTest, ZeroRules) {
    // One colour: alpha at most 1e-6 writes zeros whatever the levels say.
    auto p = normal({0.5, 0.5, 0.5, 1e-6});
    p.alphaBlack = -1;
    const PF_PixelFloat none = runNormal<PF_PixelFloat>(Morvel::Bpc32, p);
    expectPixel(none, 0, 0, 0, 0, "alpha 1e-6");
    // Three channels: only an alpha of 0 or below writes zeros; a tiny positive one stays.
    const Convolved zero[3] = {{0.1, 0, 0, 0}, {0, 0.1, 0, -1e-9}, {0, 0, 0.1, 0}};
    expectPixel(runChannel<PF_PixelFloat>(Morvel::Bpc32, zero), 0, 0, 0, 0, "channel alpha 0");
    const Convolved tiny[3] = {{1e-9, 0, 0, 2e-9}, {0, 0, 0, 1e-9}, {0, 0, 0, 0}};
    const PF_PixelFloat kept = runChannel<PF_PixelFloat>(Morvel::Bpc32, tiny);
    EXPECT_NEAR(kept.alpha, 2e-9, 1e-12);
    EXPECT_NEAR(kept.red, 0.5, 1e-6);
}

TEST_F(OutputterTest, AlphaLevelsBlackOutNearTransparentColour) {
    // Only three-channel alphas get this small: below 1e-9 in float, below 1e-6 at 8 bits.
    struct Case {
        const char* name;
        Morvel::Bpc bpc;
        double alpha;
        bool dark;
    } cases[] = {
        {"float below", Morvel::Bpc32, 5e-10, true},
        {"float above", Morvel::Bpc32, 2e-9, false},
        {"8 bits below", Morvel::Bpc8, 5e-7, true},
    };
    for (const auto& c : cases) {
        const double colour = c.bpc == Morvel::Bpc8 ? 100 : 0.25;
        const Convolved v[3] = {{colour * c.alpha, 0, 0, c.alpha}, {0, 0, 0, 0}, {0, 0, 0, 0}};
        double red = 0;
        if (c.bpc == Morvel::Bpc8) {
            red = runChannel<PF_Pixel>(c.bpc, v, 0.5).red;
        } else {
            red = runChannel<PF_PixelFloat>(c.bpc, v, 0.5).red;
        }
        EXPECT_EQ(red == 0, c.dark) << c.name << ": " << red;
    }
}

TEST_F(OutputterTest, ChannelColoursUseTheirOwnKernelEnergy) {
    const Convolved v[3] = {{0.2, 0, 0, 0.4}, {0, 0.1, 0, 0.2}, {0, 0, 0.05, 0.1}};
    // Alpha is the largest of the three; each colour is divided by it.
    expectPixel(runChannel<PF_PixelFloat>(Morvel::Bpc32, v), 0.4, 0.5, 0.25, 0.125, "three alphas");
}

TEST_F(OutputterTest, ColourLevelsClampTheInputOnlyAtIntegerDepths) {
    auto p = normal({0.8, 0.4, 0.2, 0.5});  // straight (1.6, 0.8, 0.4): overflows to (1, 0.5, 0.25) at 0.8
    p.black = 0.25;
    p.white = 0.75;
    p.gamma = 2;
    const PF_PixelFloat f = runNormal<PF_PixelFloat>(Morvel::Bpc32, p);
    EXPECT_NEAR(f.red, std::sqrt(1.5), 1e-6);
    EXPECT_NEAR(f.green, std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(f.blue, 0, 1e-6);
    auto q = normal({1.6 * 255 * 127.5, 0.8 * 255 * 127.5, 0.4 * 255 * 127.5, 127.5});
    q.black = 0.25;
    q.white = 0.75;
    q.gamma = 2;
    const PF_Pixel e = runNormal<PF_Pixel>(Morvel::Bpc8, q);
    EXPECT_EQ(e.red, 255);
    EXPECT_EQ(e.green, static_cast<int>(std::sqrt(0.5) * 255 + 0.5));
}

// White 0.2 and gamma 0.01 raise (0.8 / 0.2) to the 100th power, far past the largest float, where
// the curve stops; with "Glow Unmult" the brightest colour becomes 1 and alpha stays at most 1.
TEST_F(OutputterTest, FloatColourLevelsStopAtTheLargestFloat) {
    for (bool unmult : {false, true}) {
        auto p = normal({0.8 * 0.5, 0.1 * 0.5, 0, 0.5});
        p.white = 0.2;
        p.gamma = 0.01;
        p.unmult = unmult;
        const PF_PixelFloat f = runNormal<PF_PixelFloat>(Morvel::Bpc32, p);
        const double green = std::pow(0.5, 100);
        if (unmult) {
            expectPixel(f, 1, 1, green / std::numeric_limits<float>::max(), 0, "unmult");
        } else {
            EXPECT_EQ(f.red, std::numeric_limits<float>::max());
            EXPECT_NEAR(f.green, green, 1e-6 * green);
            EXPECT_EQ(f.alpha, 0.5f);
        }
    }
}

// Exposure 50 (x 6.9e6) on colour near the float limit: the stored colour stops at the largest float.
TEST_F(OutputterTest, ExposedFloatColourStopsAtTheLargestFloat) {
    auto p = normal({1e38 * 0.5, -1e38 * 0.5, 1.0 * 0.5, 0.5});
    p.exposure = 50;
    const PF_PixelFloat f = runNormal<PF_PixelFloat>(Morvel::Bpc32, p);
    EXPECT_EQ(f.red, std::numeric_limits<float>::max());
    EXPECT_EQ(f.green, -std::numeric_limits<float>::max());
    // The bright colour took alpha from 0.5 to 1, halving the colour.
    const double blue = 0.5 * std::pow(1.37035095691681, 50);
    EXPECT_NEAR(f.blue, blue, 1e-6 * blue);
    EXPECT_EQ(f.alpha, 1.0f);
}

}  // namespace
