#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "glow/stages/preprocessor.h"
#include "library/filter/iterate.h"
#include "library/sampling/sub_pixel.h"
#include "support/host_fixture.h"
#include "support/host_world.h"
#include "support/raw_world.h"

using Glow::GlowParameters;
using Morvel::Color;
using Morvel::Wrap;

namespace {

// ---- predicates

TEST(PreprocessorPredicates, IdentityIsOffAndAnyChangeOfTenThousandthIsOn) {
    struct Case {
        const char* name;
        double black, white, gamma;
        bool expected;
    } levels[] = {
        {"identity", 0, 1, 1, false},
        {"black up", 0.0001, 1, 1, true},
        {"black down", -0.0001, 1, 1, true},
        {"white up", 1, 1.0001, 1, true},
        {"white down", 0, 0.9999, 1, true},
        {"gamma up", 0, 1, 1.0001, true},
        {"gamma down", 0, 1, 0.9999, true},
        {"black just under", 0.00009, 1, 1, false},
        {"white just under", 0, 1.00009, 1, false},
        {"gamma just under", 0, 1, 0.99991, false},
    };
    for (const auto& c : levels) {
        EXPECT_EQ(Glow::doColorLevels(c.black, c.white, c.gamma), c.expected) << c.name;
        if (c.gamma == 1) {
            EXPECT_EQ(Glow::doAlphaLevels(c.black, c.white), c.expected) << c.name;
        }
    }
    struct HlsCase {
        const char* name;
        Color<float> hls;
        bool expected;
    } hls[] = {
        {"identity", {0, 0, 1, 1}, false},
        {"alpha is not read", {5, 0, 1, 1}, false},
        {"hue", {0, 0.0001f, 1, 1}, true},
        {"hue back", {0, -0.0001f, 1, 1}, true},
        {"lightness", {0, 0, 1.0001f, 1}, true},
        {"lightness down", {0, 0, 0.9999f, 1}, true},
        {"saturation", {0, 0, 1, 1.0001f}, true},
        {"saturation down", {0, 0, 1, 0.9999f}, true},
        {"hue just under", {0, 0.00009f, 1, 1}, false},
    };
    for (const auto& c : hls) EXPECT_EQ(Glow::doHls(c.hls), c.expected) << c.name;
}

// ---- tables against the formula worked in double

int expectedColorEntry(int i, double full, double black, double white, double gamma) {
    const double x = std::clamp((i / full - black) / (white - black), 0.0, 1.0);
    return static_cast<int>(std::min(std::pow(x, 1 / gamma) * full + 0.5, full));
}

int expectedAlphaEntry(int i, double full, double black, double white) {
    const double y = (i / full - black) / (white - black) * full + 0.5;
    return static_cast<int>(std::clamp(y, 0.0, full));
}

TEST(LevelTables, EveryEntryFollowsTheFormula) {
    struct Case {
        const char* name;
        double black, white, gamma;
    } cases[] = {
        {"black half", 0.5, 1, 1},    {"white half", 0, 0.5, 1},     {"gamma 2.2", 0, 1, 2.2},
        {"gamma 0.4", 0.1, 0.9, 0.4}, {"inverted", 0.9, 0.1, 1.0},   {"narrow", 0.4, 0.41, 1},
        {"outside", -0.2, 1.3, 1.5},  {"steep gamma", 0, 0.2, 0.01},
    };
    for (const auto& c : cases) {
        const auto color8 = Glow::colorLevelTable8(c.black, c.white, c.gamma);
        const auto alpha8 = Glow::alphaLevelTable8(c.black, c.white);
        ASSERT_EQ(color8.size(), 256u);
        ASSERT_EQ(alpha8.size(), 256u);
        for (int i = 0; i < 256; ++i) {
            ASSERT_NEAR(color8[i], expectedColorEntry(i, 255, c.black, c.white, c.gamma), 1) << c.name << " " << i;
            ASSERT_NEAR(alpha8[i], expectedAlphaEntry(i, 255, c.black, c.white), 1) << c.name << " " << i;
        }
        const auto color16 = Glow::colorLevelTable16(c.black, c.white, c.gamma);
        const auto alpha16 = Glow::alphaLevelTable16(c.black, c.white);
        ASSERT_EQ(color16.size(), 65536u);
        ASSERT_EQ(alpha16.size(), 65536u);
        for (int i = 0; i <= 32768; ++i) {
            ASSERT_NEAR(color16[i], expectedColorEntry(i, 32768, c.black, c.white, c.gamma), 1) << c.name << " " << i;
            ASSERT_NEAR(alpha16[i], expectedAlphaEntry(i, 32768, c.black, c.white), 1) << c.name << " " << i;
        }
        for (int i = 32769; i < 65536; ++i) {
            ASSERT_EQ(color16[i], 0) << c.name << " " << i;
            ASSERT_EQ(alpha16[i], 0) << c.name << " " << i;
        }
    }
    EXPECT_EQ(Glow::colorLevelTable8(0.5, 1, 1)[191], 127);
}

// ---- the stage over worlds

template <typename Pixel>
void fill(HostWorld<Pixel>& world, const Pixel& value) {
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) world.at(x, y) = value;
    }
}

GlowParameters::Preprocessing identity() {
    GlowParameters::Preprocessing p;
    p.hls = Color<float>(0, 0, 1, 1);
    p.black = 0;
    p.white = 1;
    p.gamma = 1;
    p.alphaBlack = 0;
    p.alphaWhite = 1;
    p.scale = 1;
    return p;
}

class PreprocessorTest : public SuitesHostTest {
protected:
    // One pass over the whole image on the host's threads, as the driver runs it.
    PF_Err run(Morvel::Bpc bpc, PF_LayerDef* source, PF_LayerDef* destination, GlowParameters::Preprocessing& p,
               int threads = PF_Iterations_ONCE_PER_PROCESSOR) {
        Glow::Preprocessor stage(&in_data_, suites(), bpc, source, destination, &p);
        return Morvel::iterateGeneric(&in_data_, suites(), stage, threads);
    }
};

// Random pixels with some zero alphas; colours also over range at 16 bits and in float.
template <typename Pixel>
void randomPixels(HostWorld<Pixel>& world, double full, double top, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> channel(0, top);
    using T = decltype(Pixel{}.alpha);
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            const double a = (x + y) % 7 == 0 ? 0 : std::min(channel(rng), full);
            world.at(x, y) = Pixel{T(a), T(channel(rng)), T(channel(rng)), T(channel(rng))};
        }
    }
}

template <typename Pixel>
bool samePixel(const Pixel& a, const Pixel& b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

TEST_F(PreprocessorTest, IdentityCopiesAndZeroAlphaIsNeverWritten) {
    auto check = [&](auto pixelTag, Morvel::Bpc bpc, double full, double top, auto sentinel) {
        using Pixel = decltype(pixelTag);
        HostWorld<Pixel> source(23, 17), destination(23, 17);
        randomPixels(source, full, top, 5);
        for (const char* name : {"identity", "everything on"}) {
            fill(destination, sentinel);
            GlowParameters::Preprocessing p = identity();
            if (std::string(name) != "identity") {
                p.hls = Color<float>(0, 30, 1.2f, 0.8f);
                p.black = 0.1;
                p.gamma = 1.4;
                p.alphaWhite = 0.9;
                p.useMask = true;
                p.maskType = Glow::MaskTypeItem::Circle;
                p.width = p.height = 100;
            }
            ASSERT_EQ(run(bpc, source.get(), destination.get(), p), PF_Err_NONE) << name;
            for (int y = 0; y < 17; ++y) {
                for (int x = 0; x < 23; ++x) {
                    const Pixel& in = source.at(x, y);
                    const Pixel& out = destination.at(x, y);
                    if (in.alpha == 0) {
                        ASSERT_TRUE(samePixel(out, sentinel)) << name << " " << x << "," << y;
                    } else if (std::string(name) == "identity") {
                        ASSERT_TRUE(samePixel(out, in)) << name << " " << x << "," << y;
                    } else {
                        ASSERT_FALSE(samePixel(out, sentinel)) << name << " " << x << "," << y;
                    }
                }
            }
        }
    };
    check(PF_Pixel{}, Morvel::Bpc8, 255, 255, PF_Pixel{7, 7, 7, 7});
    check(PF_Pixel16{}, Morvel::Bpc16, 32768, 32768, PF_Pixel16{7, 7, 7, 7});
    check(PF_PixelFloat{}, Morvel::Bpc32, 1.0, 1.4, PF_PixelFloat{-1, -1, -1, -1});
}

// HLS shift worked in double with the textbook conversions.
struct Rgb {
    double r, g, b;
};

Rgb shiftedByHls(Rgb c, double hueShift, double lightnessFactor, double saturationFactor) {
    const double mx = std::max({c.r, c.g, c.b}), mn = std::min({c.r, c.g, c.b}), d = mx - mn;
    double l = (mx + mn) / 2, s = 0, h = 0;
    if (d > 0) {
        s = l < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
        h = mx == c.r ? 60 * (c.g - c.b) / d : mx == c.g ? 60 * (c.b - c.r) / d + 120 : 60 * (c.r - c.g) / d + 240;
    }
    h = std::fmod(std::fmod(h + hueShift, 360) + 360, 360);
    l = std::clamp(l * lightnessFactor, 0.0, 1.0);
    s = std::min(s * saturationFactor, 1.0);
    if (s <= 0) return {l, l, l};
    const double hi = l < 0.5 ? l * (1 + s) : l + s - l * s, lo = 2 * l - hi;
    auto at = [&](double angle) {
        angle = std::fmod(angle + 360, 360);
        if (angle < 60) return lo + (hi - lo) * angle / 60;
        if (angle < 180) return hi;
        if (angle < 240) return lo + (hi - lo) * (240 - angle) / 60;
        return lo;
    };
    return {at(h + 120), at(h), at(h - 120)};
}

TEST_F(PreprocessorTest, HueLightnessSaturationAgainstADirectConversion) {
    struct Case {
        const char* name;
        float hue, lightness, saturation;
    } cases[] = {{"hue 90", 90, 1, 1},
                 {"hue -200", -200, 1, 1},
                 {"darker, duller", 0, 0.7f, 0.5f},
                 {"lighter, richer", 45, 1.3f, 1.6f},
                 {"grey", 0, 1, 0}};
    HostWorld<PF_Pixel> src8(64, 64), dst8(64, 64);
    HostWorld<PF_Pixel16> src16(64, 64), dst16(64, 64);
    HostWorld<PF_PixelFloat> src32(64, 64), dst32(64, 64);
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const int r = byte(rng), g = byte(rng), b = byte(rng);
            src8.at(x, y) = PF_Pixel{255, uint8_t(r), uint8_t(g), uint8_t(b)};
            src16.at(x, y) = PF_Pixel16{32768, uint16_t(r * 128), uint16_t(g * 128), uint16_t(b * 128)};
            src32.at(x, y) = PF_PixelFloat{1, r / 255.0f, g / 255.0f, b / 255.0f};
        }
    }
    for (const auto& c : cases) {
        GlowParameters::Preprocessing p = identity();
        p.hls = Color<float>(0, c.hue, c.lightness, c.saturation);
        ASSERT_EQ(run(Morvel::Bpc8, src8.get(), dst8.get(), p), PF_Err_NONE);
        ASSERT_EQ(run(Morvel::Bpc16, src16.get(), dst16.get(), p), PF_Err_NONE);
        ASSERT_EQ(run(Morvel::Bpc32, src32.get(), dst32.get(), p), PF_Err_NONE);
        // Each depth against the conversion of its own input.
        auto expectShifted = [&](auto& source, auto& destination, double full, double tolerance) {
            for (int y = 0; y < 64; ++y) {
                for (int x = 0; x < 64; ++x) {
                    const auto& in = source.at(x, y);
                    const auto& out = destination.at(x, y);
                    const Rgb want = shiftedByHls({in.red / full, in.green / full, in.blue / full}, c.hue, c.lightness,
                                                  c.saturation);
                    ASSERT_NEAR(out.red, want.r * full, tolerance) << c.name << " " << full << " " << x << "," << y;
                    ASSERT_NEAR(out.green, want.g * full, tolerance) << c.name << " " << full << " " << x << "," << y;
                    ASSERT_NEAR(out.blue, want.b * full, tolerance) << c.name << " " << full << " " << x << "," << y;
                    ASSERT_EQ(out.alpha, in.alpha) << c.name;
                }
            }
        };
        expectShifted(src8, dst8, 255, 1.0);
        expectShifted(src16, dst16, 32768, 1.0);
        expectShifted(src32, dst32, 1, 1e-5);
    }
}

// Where max + min = 2 the saturation is infinite; saturation 0 % must still give grey, not NaN.
TEST_F(PreprocessorTest, OverRangePixelsGiveNoNaNFromHls) {
    HostWorld<PF_PixelFloat> source(3, 1), destination(3, 1);
    source.at(0, 0) = PF_PixelFloat{1, 1.5f, 0.5f, 1.0f};
    source.at(1, 0) = PF_PixelFloat{1, 0.5f, 1.5f, 0.8f};
    source.at(2, 0) = PF_PixelFloat{1, 2.5f, 0.5f, 1.0f};  // max + min > 2: loses its colour
    for (float saturation : {0.0f, 1.0f, 2.0f}) {
        GlowParameters::Preprocessing p = identity();
        p.hls = Color<float>(0, 10, 1, saturation);
        ASSERT_EQ(run(Morvel::Bpc32, source.get(), destination.get(), p), PF_Err_NONE);
        for (int x = 0; x < 3; ++x) {
            const PF_PixelFloat& out = destination.at(x, 0);
            EXPECT_FALSE(std::isnan(out.red) || std::isnan(out.green) || std::isnan(out.blue))
                << saturation << " " << x;
        }
        if (saturation == 0.0f) {
            EXPECT_FLOAT_EQ(destination.at(0, 0).red, 1.0f);  // lightness 1, clamped
            EXPECT_FLOAT_EQ(destination.at(0, 0).blue, 1.0f);
        }
    }
    // The same pixel in a 16-bit world, where channels above 32768 reach it too.
    HostWorld<PF_Pixel16> deep(1, 1), deepOut(1, 1);
    deep.at(0, 0) = PF_Pixel16{32768, 49152, 16384, 32768};
    GlowParameters::Preprocessing p = identity();
    p.hls = Color<float>(0, 10, 1, 0);
    ASSERT_EQ(run(Morvel::Bpc16, deep.get(), deepOut.get(), p), PF_Err_NONE);
    EXPECT_EQ(deepOut.at(0, 0).red, 32768);
    EXPECT_EQ(deepOut.at(0, 0).green, 32768);
}

TEST_F(PreprocessorTest, LevelsAtEachDepth) {
    GlowParameters::Preprocessing p = identity();
    p.black = 0.2;
    p.white = 0.6;
    p.gamma = 2.0;
    p.alphaBlack = 0.5;
    p.alphaWhite = 1.0;
    // Float: above white exceeds 1; alpha clamps to 0..1.
    HostWorld<PF_PixelFloat> f(3, 1), fOut(3, 1);
    f.at(0, 0) = PF_PixelFloat{1.0f, 1.0f, 0.4f, 0.1f};
    f.at(1, 0) = PF_PixelFloat{0.6f, 0.2f, 2.0f, 0.5f};
    f.at(2, 0) = PF_PixelFloat{0.25f, 0.3f, 0.3f, 0.3f};
    ASSERT_EQ(run(Morvel::Bpc32, f.get(), fOut.get(), p), PF_Err_NONE);
    auto level = [](double c) { return std::sqrt(std::max((c - 0.2) / 0.4, 0.0)); };
    EXPECT_NEAR(fOut.at(0, 0).red, level(1.0), 1e-5);
    EXPECT_GT(fOut.at(0, 0).red, 1.0f);
    EXPECT_NEAR(fOut.at(0, 0).green, level(0.4), 1e-5);
    EXPECT_EQ(fOut.at(0, 0).blue, 0.0f);
    EXPECT_FLOAT_EQ(fOut.at(0, 0).alpha, 1.0f);
    EXPECT_NEAR(fOut.at(1, 0).alpha, 0.2, 1e-6);
    EXPECT_NEAR(fOut.at(1, 0).green, level(2.0), 1e-5);
    EXPECT_EQ(fOut.at(2, 0).alpha, 0.0f);  // alpha levels may take alpha to 0; the pixel is still written
    EXPECT_NEAR(fOut.at(2, 0).red, level(0.3), 1e-5);

    // 16-bit: a channel above 32768 reads 0 from the table; the rest follow it.
    HostWorld<PF_Pixel16> d(1, 1), dOut(1, 1);
    d.at(0, 0) = PF_Pixel16{32768, 40000, 32768, 13107};
    ASSERT_EQ(run(Morvel::Bpc16, d.get(), dOut.get(), p), PF_Err_NONE);
    EXPECT_EQ(dOut.at(0, 0).red, 0);
    EXPECT_EQ(dOut.at(0, 0).green, 32768);
    EXPECT_NEAR(dOut.at(0, 0).blue, 32768 * level(13107 / 32768.0), 1.0);
    EXPECT_EQ(dOut.at(0, 0).alpha, 32768);

    HostWorld<PF_Pixel> b(1, 1), bOut(1, 1);
    b.at(0, 0) = PF_Pixel{191, 255, 102, 0};
    ASSERT_EQ(run(Morvel::Bpc8, b.get(), bOut.get(), p), PF_Err_NONE);
    EXPECT_NEAR(bOut.at(0, 0).alpha, 127, 1);
    EXPECT_EQ(bOut.at(0, 0).red, 255);
    EXPECT_NEAR(bOut.at(0, 0).green, 255 * level(0.4), 1);
    EXPECT_EQ(bOut.at(0, 0).blue, 0);
}

// Float levels have no upper clamp, but x^(1/gamma) must stop at the largest float: 20^100 and
// 3^100 are far beyond it, while the rest keep the power as it is.
TEST_F(PreprocessorTest, FloatLevelsStopAtTheLargestFloat) {
    struct Case {
        const char* name;
        double white, gamma;
        float in;
    } cases[] = {
        {"over white 0.2, gamma 0.01", 0.2, 0.01, 4.0f},
        {"over white 1, gamma 0.01", 1.0, 0.01, 3.0f},
        {"below white 0.2, gamma 0.01", 0.2, 0.01, 0.19f},
        {"slope times input past the largest float", 1e-6, 1.0, 1e38f},
    };
    for (const auto& c : cases) {
        GlowParameters::Preprocessing p = identity();
        p.white = c.white;
        p.gamma = c.gamma;
        HostWorld<PF_PixelFloat> source(1, 1), destination(1, 1);
        source.at(0, 0) = PF_PixelFloat{1, c.in, 0.0f, c.in};
        ASSERT_EQ(run(Morvel::Bpc32, source.get(), destination.get(), p), PF_Err_NONE);
        const double exact = std::pow(double(c.in) / c.white, 1.0 / c.gamma);
        const PF_PixelFloat& out = destination.at(0, 0);
        if (exact > std::numeric_limits<float>::max()) {
            EXPECT_EQ(out.red, std::numeric_limits<float>::max()) << c.name;
        } else {
            EXPECT_NEAR(out.red, exact, 1e-5 * exact) << c.name;
        }
        EXPECT_EQ(out.red, out.blue) << c.name;
        EXPECT_EQ(out.green, 0.0f) << c.name;
    }
}

// ---- geometric masks at hand-computed points

struct MaskCase {
    const char* name;
    int type;
    double width, height, scale, falloff, rotationDegrees;
    bool invert;
    double cx;  // cy is 20
    int x, y;
    double expected;  // 0: the pixel is masked out and not written
};

const MaskCase kMasks[] = {
    {"rect centre", 1, 10, 10, 1, 4, 0, false, 20, 20, 20, 1},
    {"rect inside the edge", 1, 10, 10, 1, 4, 0, false, 20, 29, 20, 1},
    {"rect half way through the falloff", 1, 10, 10, 1, 4, 0, false, 20, 32, 20, 0.5},
    {"rect past the falloff", 1, 10, 10, 1, 4, 0, false, 20, 35, 20, 0},
    {"rect corner takes the smaller", 1, 10, 10, 1, 4, 0, false, 20, 33, 31, 0.25},
    {"rect W = 2H along the width", 1, 10, 5, 1, 4, 0, false, 20, 28, 20, 1},
    {"rect W = 2H along the height", 1, 10, 5, 1, 4, 0, false, 20, 20, 26, 0.75},
    {"rect turned 90 degrees, along y", 1, 10, 5, 1, 4, 90, false, 20, 20, 28, 1},
    {"rect turned 90 degrees, along x", 1, 10, 5, 1, 4, 90, false, 20, 28, 20, 0.25},
    {"rect falloff 0 acts as 0.2", 1, 10, 10, 1, 0, 0, false, 19.95, 30, 20, 0.75},
    {"rect inverted in the falloff", 1, 10, 10, 1, 4, 0, true, 20, 32, 20, 0.5},
    {"rect inverted inside", 1, 10, 10, 1, 4, 0, true, 20, 29, 20, 0},
    {"rect inverted outside", 1, 10, 10, 1, 4, 0, true, 20, 35, 20, 1},
    {"rect at half scale", 1, 20, 20, 0.5, 4, 0, false, 20, 32, 20, 0.5},
    {"rect at scale 0 is a point", 1, 10, 10, 0, 0, 0, false, 19.95, 20, 20, 0.75},
    {"rect at scale 0, next pixel", 1, 10, 10, 0, 0, 0, false, 19.95, 21, 20, 0},
    {"circle on x", 2, 10, 10, 1, 4, 0, false, 20, 32, 20, 0.5},
    {"circle on y", 2, 10, 10, 1, 4, 0, false, 20, 20, 32, 0.5},
    {"circle diagonal", 2, 10, 10, 1, 4, 0, false, 20, 27, 28, (10 - std::sqrt(113.0)) / 4 + 1},
    {"circle inside", 2, 10, 10, 1, 4, 0, false, 20, 26, 26, 1},
    {"circle outside", 2, 10, 10, 1, 4, 0, false, 20, 34, 31, 0},
    {"ellipse W = 2H is twice as wide", 2, 20, 10, 1, 4, 0, false, 20, 44, 20, 0.5},
    {"ellipse W = 2H, height", 2, 20, 10, 1, 4, 0, false, 20, 20, 32, 0.5},
    {"ellipse W = 2H, inside", 2, 20, 10, 1, 4, 0, false, 20, 38, 20, 1},
    {"ellipse H = 2W is twice as tall", 2, 10, 20, 1, 4, 0, false, 20, 20, 44, 0.5},
    {"ellipse H = 2W, width", 2, 10, 20, 1, 4, 0, false, 20, 32, 20, 0.5},
    {"ellipse turned 90 degrees", 2, 20, 10, 1, 4, 90, false, 20, 20, 44, 0.5},
    {"ellipse inverted", 2, 20, 10, 1, 4, 0, true, 20, 44, 20, 0.5},
    {"no mask type", 0, 10, 10, 1, 4, 0, true, 20, 40, 40, 1},
    {"unknown mask type", 7, 10, 10, 1, 4, 0, true, 20, 40, 40, 1},
};

TEST_F(PreprocessorTest, GeometricMasksAtHandComputedPoints) {
    HostWorld<PF_PixelFloat> source(48, 48), destination(48, 48);
    HostWorld<PF_Pixel> source8(48, 48), destination8(48, 48);
    fill(source, PF_PixelFloat{1, 1, 1, 1});
    fill(source8, PF_Pixel{255, 255, 255, 255});
    for (const auto& c : kMasks) {
        fill(destination, PF_PixelFloat{-1, -1, -1, -1});
        fill(destination8, PF_Pixel{0, 0, 0, 0});
        GlowParameters::Preprocessing p = identity();
        p.useMask = true;
        p.maskType = static_cast<Glow::MaskTypeItem>(c.type);
        p.width = c.width;
        p.height = c.height;
        p.scale = c.scale;
        p.falloff = c.falloff;
        p.rotation = c.rotationDegrees * 3.14159265358979323846 / 180;
        p.invert = c.invert;
        p.center = {c.cx, 20};
        ASSERT_EQ(run(Morvel::Bpc32, source.get(), destination.get(), p), PF_Err_NONE) << c.name;
        ASSERT_EQ(run(Morvel::Bpc8, source8.get(), destination8.get(), p), PF_Err_NONE) << c.name;
        const float alpha = destination.at(c.x, c.y).alpha;
        if (c.expected == 0) {
            EXPECT_EQ(alpha, -1.0f) << c.name << ": masked-out pixels are not written";
        } else {
            EXPECT_NEAR(alpha, c.expected, 1e-6) << c.name;
        }
        EXPECT_EQ(destination8.at(c.x, c.y).alpha, static_cast<int>(255 * c.expected + 1e-9)) << c.name;
    }
}

// ---- layer mask through the host's sampler

// The layer: alpha rises along x, the grey of the colour along y, so that both coordinates of a
// sample show in the result.
template <typename Pixel>
void rampLayer(HostWorld<Pixel>& layer, double full) {
    using T = decltype(Pixel{}.alpha);
    for (int y = 0; y < layer.height(); ++y) {
        for (int x = 0; x < layer.width(); ++x) {
            const double a = full * (x + 1) / layer.width(), grey = full * (y + 1) / layer.height();
            layer.at(x, y) = Pixel{T(a), T(grey), T(grey * 0.8), T(grey * 0.6)};
        }
    }
}

// The mask factor of a layer sample, by the formulas for each depth.
double layerFactor(const PF_Pixel& s, bool luminance) {
    return s.alpha / 255.0 * (luminance ? std::floor((76 * s.red + 150 * s.green + 29 * s.blue) / 255.0) / 255.0 : 1.0);
}
double layerFactor(const PF_Pixel16& s, bool luminance) {
    const double v = 9798.0 * s.red + 19235.0 * s.green + 3735.0 * s.blue;
    return s.alpha / 32768.0 * (luminance ? (v < 32768.0 * 32769.0 ? std::floor(v / 32768) / 32768 : 1.0) : 1.0);
}
double layerFactor(const PF_PixelFloat& s, bool luminance) {
    return s.alpha * (luminance ? 0.299 * s.red + 0.587 * s.green + 0.114 * s.blue : 1.0);
}

template <typename Pixel>
void checkLayerMask(
    PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, double full, const char* depth,
    std::function<PF_Err(Morvel::Bpc, PF_LayerDef*, PF_LayerDef*, GlowParameters::Preprocessing&)> run) {
    HostWorld<Pixel> layer(26, 18);
    rampLayer(layer, full);
    auto maskLayer = std::make_shared<Morvel::World>(layer.get());
    const int width = 40, height = 30;
    HostWorld<Pixel> source(width, height), destination(width, height);
    using T = decltype(Pixel{}.alpha);
    fill(source, Pixel{T(full), T(full), T(full), T(full)});
    const Pixel sentinel{T(3), T(3), T(3), T(3)};
    const double cx = 15.3, cy = 9.7, theta = 0.5236, scale = 1.5;
    for (Wrap wrap : {Wrap::None, Wrap::Edge, Wrap::Repeat, Wrap::Mirror}) {
        for (int channel : {1, 2}) {
            for (bool invert : {false, true}) {
                const std::string name = std::string(depth) + " wrap " + std::to_string(int(wrap)) + " channel " +
                                         std::to_string(channel) + (invert ? " inverted" : "");
                fill(destination, sentinel);
                GlowParameters::Preprocessing p = identity();
                p.useMask = true;
                p.maskType = Glow::MaskTypeItem::Layer;
                p.maskLayer = maskLayer;
                p.layerChannel = static_cast<Glow::LayerChannelItem>(channel);
                p.layerWrap = wrap;
                p.center = {cx, cy};
                p.rotation = theta;
                p.scale = scale;
                p.invert = invert;
                ASSERT_EQ(run(bpc, source.get(), destination.get(), p), PF_Err_NONE) << name;

                const Morvel::Sampler::SubPixel sampler(in_data, suites, layer.get(), wrap);
                for (int y = 0; y < height; ++y) {
                    for (int x = 0; x < width; ++x) {
                        const double k = 1 / scale, dx = x - cx, dy = y - cy;
                        const double sx = k * (dx * std::cos(theta) + dy * std::sin(theta)) + 13;
                        const double sy = k * (-dx * std::sin(theta) + dy * std::cos(theta)) + 9;
                        Pixel sample{};
                        ASSERT_EQ(sampler.sample(sx, sy, &sample), PF_Err_NONE);
                        double a = layerFactor(sample, channel == 1);
                        if (invert) a = 1 - a;
                        const Pixel& out = destination.at(x, y);
                        const double alpha = full == 1 ? a : std::trunc(full * a);
                        if (full == 1 ? alpha < 1e-6 : alpha <= 0) {
                            ASSERT_TRUE(samePixel(out, sentinel)) << name << " at " << x << "," << y;
                        } else {
                            ASSERT_NEAR(out.alpha, alpha, full == 1 ? 1e-6 : 0.0) << name << " at " << x << "," << y;
                            ASSERT_EQ(out.red, T(full)) << name;
                        }
                    }
                }
            }
        }
    }
    // Read inside the layer with the edge wrap, the mask follows the alpha ramp along the
    // layer's turned x axis: at the mask centre it is the layer's centre column.
    HostWorld<Pixel> one(40, 30);
    GlowParameters::Preprocessing p = identity();
    p.useMask = true;
    p.maskType = Glow::MaskTypeItem::Layer;
    p.maskLayer = maskLayer;
    p.layerChannel = Glow::LayerChannelItem::Alpha;
    p.layerWrap = Wrap::Edge;
    p.center = {20, 15};
    p.scale = 2;
    ASSERT_EQ(run(bpc, source.get(), one.get(), p), PF_Err_NONE);
    // Column 13 of 26 holds alpha 14/26; two pixels right of the centre reads column 14.
    EXPECT_NEAR(one.at(20, 15).alpha / full, 14.0 / 26, 1.5 / std::min(full, 255.0)) << depth;
    EXPECT_NEAR(one.at(22, 15).alpha / full, 15.0 / 26, 1.5 / std::min(full, 255.0)) << depth;
}

TEST_F(PreprocessorTest, LayerMaskReadsThePredictedPositionAtEveryDepth) {
    auto runner = [this](Morvel::Bpc bpc, PF_LayerDef* s, PF_LayerDef* d, GlowParameters::Preprocessing& p) {
        return run(bpc, s, d, p);
    };
    checkLayerMask<PF_Pixel>(&in_data_, suites(), Morvel::Bpc8, 255, "8-bit", runner);
    checkLayerMask<PF_Pixel16>(&in_data_, suites(), Morvel::Bpc16, 32768, "16-bit", runner);
    checkLayerMask<PF_PixelFloat>(&in_data_, suites(), Morvel::Bpc32, 1, "float", runner);
}

TEST_F(PreprocessorTest, LayerMaskSamplingFailureEndsTheBand) {
    struct Case {
        const char* name;
        Morvel::Bpc bpc;
        const char* function;
    } cases[] = {{"8-bit", Morvel::Bpc8, "subpixel_sample"},
                 {"16-bit", Morvel::Bpc16, "subpixel_sample16"},
                 {"float", Morvel::Bpc32, "subpixel_sample_float"}};
    auto opaque = [](auto& world, double full) {
        using Pixel = std::remove_reference_t<decltype(world.at(0, 0))>;
        using T = decltype(Pixel{}.alpha);
        fill(world, Pixel{T(full), T(full), T(full), T(full)});
    };
    for (const auto& c : cases) {
        for (int threads : {1, PF_Iterations_ONCE_PER_PROCESSOR}) {
            const int width = 12, height = 10, failing = 37;
            // Worlds of every depth, so that the case's depth finds its own.
            HostWorld<PF_Pixel> l8(8, 8), s8(width, height), d8(width, height);
            HostWorld<PF_Pixel16> l16(8, 8), s16(width, height), d16(width, height);
            HostWorld<PF_PixelFloat> l32(8, 8), s32(width, height), d32(width, height);
            opaque(l8, 255), opaque(s8, 255), opaque(l16, 32768), opaque(s16, 32768), opaque(l32, 1), opaque(s32, 1);
            PF_LayerDef* layer = c.bpc == Morvel::Bpc8 ? l8.get() : c.bpc == Morvel::Bpc16 ? l16.get() : l32.get();
            PF_LayerDef* source = c.bpc == Morvel::Bpc8 ? s8.get() : c.bpc == Morvel::Bpc16 ? s16.get() : s32.get();
            PF_LayerDef* destination = c.bpc == Morvel::Bpc8    ? d8.get()
                                       : c.bpc == Morvel::Bpc16 ? d16.get()
                                                                : d32.get();
            GlowParameters::Preprocessing p = identity();
            p.useMask = true;
            p.maskType = Glow::MaskTypeItem::Layer;
            p.maskLayer = std::make_shared<Morvel::World>(layer);
            p.layerChannel = Glow::LayerChannelItem::Alpha;
            p.layerWrap = Wrap::Edge;
            p.center = {6, 5};
            host().faults().failCall(c.function, failing, PF_Err_OUT_OF_MEMORY);
            EXPECT_EQ(run(c.bpc, source, destination, p, threads), PF_Err_OUT_OF_MEMORY) << c.name << " " << threads;
            host().faults().clear();
            if (threads != 1) continue;
            // One band: the pixels sampled before the failure are written, none after it.
            int written = 0;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const bool isWritten = c.bpc == Morvel::Bpc8    ? d8.at(x, y).alpha != 0
                                           : c.bpc == Morvel::Bpc16 ? d16.at(x, y).alpha != 0
                                                                    : d32.at(x, y).alpha != 0;
                    EXPECT_EQ(isWritten, y * width + x < failing - 1) << c.name << " at " << x << "," << y;
                    written += isWritten;
                }
            }
            EXPECT_EQ(written, failing - 1) << c.name;
        }
    }
}

TEST_F(PreprocessorTest, AMissingSamplingSuiteIsRaisedAtConstruction) {
    host().faults().makeSuiteMissing(kPFSamplingFloatSuite, 1);
    HostWorld<PF_PixelFloat> layer(4, 4), source(4, 4), destination(4, 4);
    GlowParameters::Preprocessing p = identity();
    p.useMask = true;
    p.maskType = Glow::MaskTypeItem::Layer;
    p.maskLayer = std::make_shared<Morvel::World>(layer.get());
    EXPECT_THROW(Glow::Preprocessor(&in_data_, suites(), Morvel::Bpc32, source.get(), destination.get(), &p), PF_Err);
    // Without a layer mask nothing samples, and nothing is asked for.
    p.maskType = Glow::MaskTypeItem::Circle;
    EXPECT_NO_THROW(Glow::Preprocessor(&in_data_, suites(), Morvel::Bpc32, source.get(), destination.get(), &p));
}

}  // namespace
