#include "library/colorsys/colorsys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

namespace cs = Morvel::Colorsys;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Every 8-bit level on a coarse grid, with both ends.
std::vector<int> coarseLevels() {
    std::vector<int> levels;
    for (int v = 0; v < 255; v += 5) levels.push_back(v);
    levels.push_back(255);
    return levels;
}

PF_Pixel px8(int r, int g, int b, int a = 200) {
    return PF_Pixel{static_cast<uint8_t>(a), static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
}
PF_Pixel16 px16(int r, int g, int b, int a = 20000) {
    return PF_Pixel16{static_cast<uint16_t>(a), static_cast<uint16_t>(r), static_cast<uint16_t>(g),
                      static_cast<uint16_t>(b)};
}
PF_PixelFloat pxf(float r, float g, float b, float a = 0.75f) { return PF_PixelFloat{a, r, g, b}; }

// An 8-bit level in the 16-bit scale, rounded.
int to16(int level8) { return (level8 * 32768 + 127) / 255; }

template <typename P, typename Q>
double maxChannelError(P const& a, Q const& b) {
    return std::max({std::fabs(double(a.red) - double(b.red)), std::fabs(double(a.green) - double(b.green)),
                     std::fabs(double(a.blue) - double(b.blue))});
}

template <typename P>
std::string show(P const& p) {
    return std::string("{") + std::to_string(+p.alpha) + ", " + std::to_string(+p.red) + ", " +
           std::to_string(+p.green) + ", " + std::to_string(+p.blue) + "}";
}

template <typename P>
bool sameBits(P const& a, P const& b) {
    return std::memcmp(&a, &b, sizeof(P)) == 0;
}

// ---------------------------------------------------------------- greys and saturation 0

TEST(ColorsysGrey, GreyHasNoHueNorSaturationAtEveryDepth) {
    for (int v : {0, 1, 127, 128, 254, 255}) {
        const PF_Pixel p = px8(v, v, v);
        const PF_Pixel hls = cs::rgbToHls(p), hsb = cs::rgbToHsb(p);
        EXPECT_EQ(cs::hue(p), 0) << v;
        EXPECT_EQ(cs::saturation(p), 0) << v;
        EXPECT_EQ(cs::saturationCone(p), 0) << v;
        EXPECT_TRUE(sameBits(hls, px8(0, v, 0))) << v << " " << show(hls);
        EXPECT_TRUE(sameBits(hsb, px8(0, 0, v))) << v << " " << show(hsb);
    }
    for (int v : {0, 1, 16384, 32767, 32768, 40000, 65535}) {
        const PF_Pixel16 p = px16(v, v, v);
        EXPECT_EQ(cs::hue(p), 0) << v;
        EXPECT_EQ(cs::saturation(p), 0) << v;
        EXPECT_TRUE(sameBits(cs::rgbToHls(p), px16(0, v, 0))) << v << " " << show(cs::rgbToHls(p));
        EXPECT_TRUE(sameBits(cs::rgbToHsb(p), px16(0, 0, v))) << v << " " << show(cs::rgbToHsb(p));
    }
    for (float v : {0.0f, 0.25f, 0.5f, 1.0f, -0.5f, 3.0f}) {
        const PF_PixelFloat p = pxf(v, v, v);
        EXPECT_EQ(cs::hue(p), 0.0f) << v;
        EXPECT_EQ(cs::saturation(p), 0.0f) << v;
        const PF_PixelFloat hls = cs::rgbToHls(p), hsb = cs::rgbToHsb(p);
        EXPECT_TRUE(hls.red == 0 && hls.green == v && hls.blue == 0) << v << " " << show(hls);
        EXPECT_TRUE(hsb.red == 0 && hsb.green == 0 && hsb.blue == v) << v << " " << show(hsb);
    }
}

TEST(ColorsysGrey, ZeroSaturationGivesTheGreyWhateverTheHue) {
    for (int h : {0, 100, 255})
        for (int v : {0, 77, 255}) {
            EXPECT_TRUE(sameBits(cs::hlsToRgb(px8(h, v, 0)), px8(v, v, v))) << h << " " << v;
            EXPECT_TRUE(sameBits(cs::hsbToRgb(px8(h, 0, v)), px8(v, v, v))) << h << " " << v;
        }
    for (int h : {0, 20000, 32768, 65535})
        for (int v : {0, 12345, 32768, 65535}) {
            EXPECT_TRUE(sameBits(cs::hlsToRgb(px16(h, v, 0)), px16(v, v, v))) << h << " " << v;
            EXPECT_TRUE(sameBits(cs::hsbToRgb(px16(h, 0, v)), px16(v, v, v))) << h << " " << v;
        }
    for (float h : {0.0f, 200.0f, -30.0f})
        for (float v : {0.0f, 0.3f, 1.0f}) {
            EXPECT_TRUE(sameBits(cs::hlsToRgb(pxf(h, v, 0)), pxf(v, v, v))) << h << " " << v;
            EXPECT_TRUE(sameBits(cs::hsbToRgb(pxf(h, 0, v)), pxf(v, v, v))) << h << " " << v;
            const Morvel::Color<float> c = cs::hlsToRgb<float>(Morvel::Color<float>(0.75f, h, v, 0));
            EXPECT_TRUE(c.red == v && c.green == v && c.blue == v) << h << " " << v;
        }
}

// ---------------------------------------------------------------- known colours

TEST(ColorsysKnown, EightBitPrimaries) {
    struct Case {
        const char* name;
        PF_Pixel rgb;
        PF_Pixel hls;  // {alpha, hue, lightness, saturation}
        PF_Pixel hsb;  // {alpha, hue, saturation, brightness}
    };
    // 120 and 240 degrees are 85 and 170 in 255ths of a turn.
    const Case cases[] = {
        {"red", px8(255, 0, 0), px8(0, 127, 255), px8(0, 255, 255)},
        {"green", px8(0, 255, 0), px8(85, 127, 255), px8(85, 255, 255)},
        {"blue", px8(0, 0, 255), px8(170, 127, 255), px8(170, 255, 255)},
        {"dark red", px8(128, 0, 0), px8(0, 64, 255), px8(0, 255, 128)},
        {"pale blue", px8(200, 200, 255), px8(170, 227, 255), px8(170, 55, 255)},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(sameBits(cs::rgbToHls(c.rgb), c.hls)) << c.name << " " << show(cs::rgbToHls(c.rgb));
        EXPECT_TRUE(sameBits(cs::rgbToHsb(c.rgb), c.hsb)) << c.name << " " << show(cs::rgbToHsb(c.rgb));
        // the lightness byte keeps (max + min) / 2 cut down, so the way back may lose a step
        EXPECT_LE(maxChannelError(cs::hlsToRgb(c.hls), c.rgb), 1) << c.name << " " << show(cs::hlsToRgb(c.hls));
        EXPECT_TRUE(sameBits(cs::hsbToRgb(c.hsb), px8(c.rgb.red, c.rgb.green, c.rgb.blue, c.hsb.alpha)))
            << c.name << " " << show(cs::hsbToRgb(c.hsb));
        EXPECT_EQ(cs::hue(c.rgb), c.hls.red) << c.name;
        EXPECT_EQ(cs::lightness(c.rgb), c.hls.green) << c.name;
    }
}

TEST(ColorsysKnown, FloatHuesOfTheSixCorners) {
    struct Case {
        float hue;
        PF_PixelFloat rgb;
    };
    const Case cases[] = {{0, pxf(1, 0, 0)},   {60, pxf(1, 1, 0)},  {120, pxf(0, 1, 0)},
                          {180, pxf(0, 1, 1)}, {240, pxf(0, 0, 1)}, {300, pxf(1, 0, 1)}};
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(cs::hue(c.rgb), c.hue);
        EXPECT_LT(maxChannelError(cs::hlsToRgb(pxf(c.hue, 0.5f, 1)), c.rgb), 1e-6) << c.hue;
        EXPECT_LT(maxChannelError(cs::hsbToRgb(pxf(c.hue, 1, 1)), c.rgb), 1e-6) << c.hue;
        const Morvel::Color<float> back = cs::hlsToRgb<float>(Morvel::Color<float>(1, c.hue, 0.5f, 1));
        EXPECT_LT(maxChannelError(back, c.rgb), 1e-6) << c.hue;
        // 16-bit: full saturation at the top of the cube, hue a whole number of 60ths of the turn
        const PF_Pixel16 rgb16 = px16(int(c.rgb.red) * 32768, int(c.rgb.green) * 32768, int(c.rgb.blue) * 32768, 0);
        const PF_Pixel16 hsb16 = cs::rgbToHsb(rgb16);
        EXPECT_NEAR(hsb16.red, c.hue * 32768 / 360, 1) << c.hue;
        EXPECT_EQ(hsb16.green, 32768) << c.hue;
        EXPECT_LE(maxChannelError(cs::hsbToRgb(hsb16), rgb16), 6) << c.hue;
    }
}

enum class IntegerOp { ToYuv, FromYuv, ToHls, FromHls, FromHsb };

template <typename Pixel>
Pixel applyIntegerOp(IntegerOp op, const Pixel& in) {
    switch (op) {
        case IntegerOp::ToYuv: return cs::rgbToYuv(in);
        case IntegerOp::FromYuv: return cs::yuvToRgb(in);
        case IntegerOp::ToHls: return cs::rgbToHls(in);
        case IntegerOp::FromHls: return cs::hlsToRgb(in);
        case IntegerOp::FromHsb: return cs::hsbToRgb(in);
    }
    return Pixel{};
}

// Worked by hand from the integer formulas; chosen where truncation toward zero, the lightness
// halves or the 16-bit branch points make a difference of a step.
TEST(ColorsysKnown, IntegerPathsStepByStep) {
    using Op = IntegerOp;
    constexpr Op ToYuv = Op::ToYuv, FromYuv = Op::FromYuv, ToHls = Op::ToHls, FromHls = Op::FromHls,
                 FromHsb = Op::FromHsb;
    struct Case8 {
        const char* name;
        Op op;
        PF_Pixel in, out;
    };
    const Case8 cases8[] = {
        {"white to yuv", ToYuv, px8(255, 255, 255), px8(255, 128, 128)},
        {"blue to yuv", ToYuv, px8(0, 0, 255), px8(29, 255, 107)},
        {"negative V cut toward zero", ToYuv, px8(10, 20, 30), px8(18, 133, 122)},
        {"yuv of white back, clamped", FromYuv, px8(255, 128, 128), px8(255, 254, 255)},
        {"negative chroma cut toward zero", FromYuv, px8(100, 100, 150), px8(132, 93, 53)},
        {"hue 210 degrees", ToHls, px8(10, 20, 30), px8(148, 20, 127)},
        {"lower half", ToHls, px8(200, 100, 50), px8(14, 125, 153)},
        {"upper half", ToHls, px8(250, 240, 10), px8(40, 130, 244)},
        {"negative hue wraps", ToHls, px8(200, 50, 100), px8(240, 125, 153)},
        {"lower lightness, hue 60", FromHls, px8(43, 100, 200), px8(178, 178, 22)},
        {"upper lightness, rising ramp", FromHls, px8(10, 200, 100), px8(222, 188, 178)},
        {"sector 1", FromHsb, px8(43, 200, 100), px8(100, 100, 21)},
    };
    for (const Case8& c : cases8) {
        const PF_Pixel got = applyIntegerOp(c.op, c.in);
        EXPECT_TRUE(sameBits(got, c.out)) << c.name << ": " << show(got);
    }

    struct Case16 {
        const char* name;
        Op op;
        PF_Pixel16 in, out;
    };
    const Case16 cases16[] = {
        {"red to yuv", ToYuv, px16(32768, 0, 0), px16(9798, 10846, 32768)},
        {"negative V cut toward zero", ToYuv, px16(1, 2, 3), px16(1, 16384, 16384)},
        {"upper denominator", ToHls, px16(32768, 16384, 0), px16(2730, 16384, 32768)},
        {"green sector", ToHls, px16(1000, 3000, 2000), px16(13653, 2000, 16384)},
        {"lightness 16383 takes the lower form", FromHls, px16(0, 16383, 32768), px16(32766, 0, 0)},
        {"lightness 16384 takes the upper form", FromHls, px16(0, 16384, 32768), px16(32768, 0, 0)},
        {"sector 3", FromHsb, px16(16384, 16384, 32768), px16(16384, 32768, 32768)},
    };
    for (const Case16& c : cases16) {
        const PF_Pixel16 got = applyIntegerOp(c.op, c.in);
        EXPECT_TRUE(sameBits(got, c.out)) << c.name << ": " << show(got);
    }
}

// ---------------------------------------------------------------- ends of the hue range

TEST(ColorsysHueRange, TopOfTheRangeIsHueZero) {
    for (int l : {30, 127, 128, 220})
        for (int s : {1, 128, 255}) {
            EXPECT_TRUE(sameBits(cs::hlsToRgb(px8(255, l, s)), cs::hlsToRgb(px8(0, l, s)))) << l << " " << s;
            EXPECT_TRUE(sameBits(cs::hsbToRgb(px8(255, s, l)), cs::hsbToRgb(px8(0, s, l)))) << l << " " << s;
        }
    for (int l : {1000, 16383, 16384, 32768})
        for (int s : {1, 16384, 32768}) {
            EXPECT_TRUE(sameBits(cs::hlsToRgb(px16(32768, l, s)), cs::hlsToRgb(px16(0, l, s)))) << l << " " << s;
            EXPECT_TRUE(sameBits(cs::hsbToRgb(px16(32768, s, l)), cs::hsbToRgb(px16(0, s, l)))) << l << " " << s;
        }
}

TEST(ColorsysHueRange, FloatHueIsTakenRoundTheTurn) {
    struct Case {
        float hue, same;
    };
    const Case cases[] = {{-30, 330}, {390, 30}, {720, 0}, {-360, 0}, {-750, 330}, {1e6f, std::fmod(1e6f, 360.0f)}};
    for (const Case& c : cases) {
        for (float l : {0.2f, 0.5f, 0.8f}) {
            EXPECT_LT(maxChannelError(cs::hlsToRgb(pxf(c.hue, l, 0.6f)), cs::hlsToRgb(pxf(c.same, l, 0.6f))), 1e-5)
                << c.hue << " at lightness " << l;
            EXPECT_LT(maxChannelError(cs::hsbToRgb(pxf(c.hue, 0.6f, l)), cs::hsbToRgb(pxf(c.same, 0.6f, l))), 1e-5)
                << c.hue << " at brightness " << l;
            const auto a = cs::hlsToRgb<float>(Morvel::Color<float>(1, c.hue, l, 0.6f));
            const auto b = cs::hlsToRgb<float>(Morvel::Color<float>(1, c.same, l, 0.6f));
            EXPECT_LT(maxChannelError(a, b), 1e-3) << c.hue << " at lightness " << l;
        }
    }
}

// ---------------------------------------------------------------- float clamps and pass-through

TEST(ColorsysFloat, HlsInputIsClampedIntoTheCone) {
    struct Case {
        const char* name;
        PF_PixelFloat in, same;
    };
    const Case cases[] = {
        {"lightness above 1", pxf(40, 1.5f, 0.5f), pxf(40, 1, 0.5f)},
        {"lightness below 0", pxf(40, -2, 0.5f), pxf(40, 0, 0.5f)},
        {"saturation above 1", pxf(200, 0.4f, 7), pxf(200, 0.4f, 1)},
        {"negative saturation", pxf(200, 0.4f, -1), pxf(200, 0.4f, 0)},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(sameBits(cs::hlsToRgb(c.in), cs::hlsToRgb(c.same))) << c.name;
        const auto a = cs::hlsToRgb<float>(Morvel::Color<float>(1, c.in.red, c.in.green, c.in.blue));
        const auto b = cs::hlsToRgb<float>(Morvel::Color<float>(1, c.same.red, c.same.green, c.same.blue));
        EXPECT_TRUE(a.red == b.red && a.green == b.green && a.blue == b.blue) << c.name;
    }
    EXPECT_TRUE(sameBits(cs::hlsToRgb(pxf(123, 1.5f, 0.9f)), pxf(1, 1, 1)));
    EXPECT_TRUE(sameBits(cs::hsbToRgb(pxf(123, 2, 1.5f)), cs::hsbToRgb(pxf(123, 1, 1))));
    EXPECT_TRUE(sameBits(cs::hsbToRgb(pxf(123, -1, 0.5f)), pxf(0.5f, 0.5f, 0.5f)));
}

TEST(ColorsysFloat, OutOfRangeColoursPassUnclamped) {
    const PF_PixelFloat p = pxf(2.0f, 0.5f, -1.0f);
    EXPECT_FLOAT_EQ(cs::brightness(p), 2.0f);
    EXPECT_FLOAT_EQ(cs::saturationCone(p), 3.0f);
    EXPECT_FLOAT_EQ(cs::lightness(p), 0.5f);
    EXPECT_FLOAT_EQ(cs::saturation(p), 1.5f);
    EXPECT_FLOAT_EQ(cs::hue(p), 30.0f);  // red is largest: 60 (0.5 + 1) / 3
    const PF_PixelFloat hls = cs::rgbToHls(p);
    EXPECT_FLOAT_EQ(hls.green, 0.5f);
    EXPECT_FLOAT_EQ(hls.blue, 3.0f / (2.0f - 1.0f));
    const PF_PixelFloat yuv = cs::rgbToYuv(p);
    EXPECT_NEAR(yuv.red, 0.299 * 2 + 0.587 * 0.5 - 0.114, 1e-6);
    EXPECT_NEAR(yuv.green, -0.169 * 2 - 0.331 * 0.5 - 0.5, 1e-6);
    EXPECT_NEAR(yuv.blue, 0.5 * 2 - 0.419 * 0.5 + 0.081, 1e-6);
    EXPECT_EQ(hls.alpha, p.alpha);
    EXPECT_EQ(yuv.alpha, p.alpha);
}

// ---------------------------------------------------------------- 16-bit measures

TEST(Colorsys16, WhiteAndBlack) {
    const PF_Pixel16 white = px16(32768, 32768, 32768), black = px16(0, 0, 0);
    EXPECT_EQ(cs::lightness(white), 32768);
    EXPECT_EQ(cs::brightness(white), 32768);
    EXPECT_EQ(cs::saturation(black), 0);
    EXPECT_EQ(cs::rgbToHsb(black).green, 0);
    EXPECT_EQ(cs::rgbToHls(black).blue, 0);
    EXPECT_EQ(cs::saturation(px16(32768, 0, 0)), 32768);
    EXPECT_EQ(cs::saturation(px16(0, 0, 1)), 32768);
}

// ---------------------------------------------------------------- round trips

// Channel error a round trip through hue may show: the hue drifts by up to `hueDrift` degrees,
// moving a channel by at most (max - min) drift / 60, plus `slack` steps of truncation.
double hueBound(double delta, double hueDrift, double slack) { return delta * hueDrift / 60.0 + slack; }

TEST(ColorsysRoundTrip, EightBitGridThroughHlsAndHsb) {
    // The 8-bit hue is kept in whole degrees, stored in 255ths of a turn and read back in whole
    // degrees: each step cuts toward zero, a drift of at most 2 + 360/255 degrees.
    const double drift = 2.0 + 360.0 / 255.0;
    const auto levels = coarseLevels();
    for (int r : levels)
        for (int g : levels)
            for (int b : levels) {
                const PF_Pixel p = px8(r, g, b);
                const double delta = std::max({r, g, b}) - std::min({r, g, b});
                const PF_Pixel viaHls = cs::hlsToRgb(cs::rgbToHls(p));
                const PF_Pixel viaHsb = cs::hsbToRgb(cs::rgbToHsb(p));
                ASSERT_LE(maxChannelError(viaHls, p), hueBound(delta, drift, 3)) << show(p) << " -> " << show(viaHls);
                ASSERT_LE(maxChannelError(viaHsb, p), hueBound(delta, drift, 1)) << show(p) << " -> " << show(viaHsb);
                ASSERT_EQ(viaHls.alpha, p.alpha);
                ASSERT_EQ(viaHsb.alpha, p.alpha);
                // brightness is stored as it is
                ASSERT_EQ(cs::brightness(viaHsb), cs::brightness(p)) << show(p);
            }
}

TEST(ColorsysRoundTrip, SixteenBitAndFloatStayWithinOneEightBitStep) {
    const auto levels = coarseLevels();
    for (int r : levels)
        for (int g : levels)
            for (int b : levels) {
                const PF_Pixel16 p16 = px16(to16(r), to16(g), to16(b));
                const double delta16 =
                    std::max({p16.red, p16.green, p16.blue}) - std::min({p16.red, p16.green, p16.blue});
                const double bound16 = std::min(hueBound(delta16, 360.0 / 32768.0, 3), 32768.0 / 255.0);
                const PF_Pixel16 hls16 = cs::hlsToRgb(cs::rgbToHls(p16)), hsb16 = cs::hsbToRgb(cs::rgbToHsb(p16));
                ASSERT_LE(maxChannelError(hls16, p16), bound16) << show(p16) << " -> " << show(hls16);
                ASSERT_LE(maxChannelError(hsb16, p16), bound16) << show(p16) << " -> " << show(hsb16);

                const PF_PixelFloat pf = pxf(r / 255.0f, g / 255.0f, b / 255.0f);
                ASSERT_LE(maxChannelError(cs::hlsToRgb(cs::rgbToHls(pf)), pf), 2e-6) << r << " " << g << " " << b;
                ASSERT_LE(maxChannelError(cs::hsbToRgb(cs::rgbToHsb(pf)), pf), 2e-6) << r << " " << g << " " << b;
                const Morvel::Color<float> c(0.5f, pf.red, pf.green, pf.blue);
                const Morvel::Color<float> back = cs::hlsToRgb<float>(cs::rgbToHls(c));
                ASSERT_LE(maxChannelError(back, c), 2e-6) << r << " " << g << " " << b;
                ASSERT_EQ(back.alpha, 0.5f);
            }
}

TEST(ColorsysRoundTrip, YuvAtEachDepth) {
    // The matrices are three-digit roundings of each other's inverse.
    const auto levels = coarseLevels();
    for (int r : levels)
        for (int g : levels)
            for (int b : levels) {
                const PF_Pixel p8 = px8(r, g, b);
                ASSERT_LE(maxChannelError(cs::yuvToRgb(cs::rgbToYuv(p8)), p8), 4) << show(p8);
                const PF_Pixel16 p16 = px16(to16(r), to16(g), to16(b));
                ASSERT_LE(maxChannelError(cs::yuvToRgb(cs::rgbToYuv(p16)), p16), 20) << show(p16);
                const PF_PixelFloat pf = pxf(r / 255.0f, g / 255.0f, b / 255.0f);
                ASSERT_LE(maxChannelError(cs::yuvToRgb(cs::rgbToYuv(pf)), pf), 1e-3) << show(p8);
            }
}

// ---------------------------------------------------------------- the depths agree

TEST(ColorsysDepths, IntegerDepthsFollowTheFloatArithmetic) {
    const auto levels = coarseLevels();
    for (int r : levels)
        for (int g : levels)
            for (int b : levels) {
                const PF_Pixel p8 = px8(r, g, b);
                const PF_Pixel16 p16 = px16(to16(r), to16(g), to16(b));
                const PF_PixelFloat pf = pxf(r / 255.0f, g / 255.0f, b / 255.0f);
                const PF_PixelFloat pf16 = pxf(p16.red / 32768.0f, p16.green / 32768.0f, p16.blue / 32768.0f);
                const double hueF = cs::hue(pf);
                // hue: 8-bit drops up to a degree and a 255th of a turn, measured round the circle
                auto turnDistance = [](double a, double b) {
                    const double d = std::fabs(a - b);
                    return std::min(d, 360.0 - d);
                };
                ASSERT_LE(turnDistance(cs::hue(p8) * 360.0 / 255.0, hueF), 1.0 + 360.0 / 255.0) << show(p8);
                ASSERT_LE(turnDistance(cs::hue(p16) * 360.0 / 32768.0, cs::hue(pf16)), 360.0 / 32768.0) << show(p16);
                ASSERT_NEAR(cs::lightness(p8), 255 * cs::lightness(pf), 1.0) << show(p8);
                ASSERT_NEAR(cs::saturation(p8), 255 * cs::saturation(pf), 1.0) << show(p8);
                ASSERT_NEAR(cs::lightness(p16), 32768 * cs::lightness(pf16), 1.0) << show(p16);
                ASSERT_NEAR(cs::saturation(p16), 32768 * cs::saturation(pf16), 1.0) << show(p16);
                ASSERT_NEAR(cs::rgbToHls(p8).blue, 255 * cs::rgbToHls(pf).blue, 1.0) << show(p8);
                ASSERT_NEAR(cs::rgbToHls(p16).blue, 32768 * cs::rgbToHls(pf16).blue, 1.0) << show(p16);

                const PF_Pixel yuv8 = cs::rgbToYuv(p8);
                const PF_Pixel16 yuv16 = cs::rgbToYuv(p16);
                const PF_PixelFloat yuvF = cs::rgbToYuv(pf), yuvF16 = cs::rgbToYuv(pf16);
                ASSERT_NEAR(yuv8.red, 255 * yuvF.red, 2.0) << show(p8);
                ASSERT_NEAR(yuv8.green - 127, 255 * yuvF.green, 2.0) << show(p8);
                ASSERT_NEAR(yuv8.blue - 127, 255 * yuvF.blue, 2.0) << show(p8);
                ASSERT_NEAR(yuv16.red, 32768 * yuvF16.red, 2.0) << show(p16);
                ASSERT_NEAR(yuv16.green - 16384, 32768 * yuvF16.green, 2.0) << show(p16);
                ASSERT_NEAR(yuv16.blue - 16384, 32768 * yuvF16.blue, 2.0) << show(p16);
            }
}

// ---------------------------------------------------------------- extremes, for the sanitizer

TEST(ColorsysExtremes, SixteenBitChannelsAboveFullScale) {
    struct Case {
        const char* name;
        PF_Pixel16 rgb;
        int saturation;
    };
    const Case cases[] = {
        {"sum exactly twice full", px16(65535, 1, 0), 32768},
        {"no room below the top", px16(65535, 65535, 1), 32768},
        {"top half beyond full", px16(40000, 30000, 30000), 32768},
        {"bright but in range", px16(32768, 16384, 16384), 32768},
    };
    for (const Case& c : cases) {
        const PF_Pixel16 hls = cs::rgbToHls(c.rgb);
        EXPECT_EQ(hls.blue, c.saturation) << c.name;
        EXPECT_EQ(hls.green,
                  (std::max({c.rgb.red, c.rgb.green, c.rgb.blue}) + std::min({c.rgb.red, c.rgb.green, c.rgb.blue})) / 2)
            << c.name;
    }
    // the inverse YUV of extreme chroma overflows 32 bits before its division
    EXPECT_TRUE(sameBits(cs::yuvToRgb(px16(0, 65535, 65535, 7)), px16(32768, 0, 32768, 7)));
    EXPECT_TRUE(sameBits(cs::yuvToRgb(px16(65535, 0, 0, 7)), px16(32768, 32768, 32768, 7)));
}

template <typename Check>
void sweepSixteenBit(Check check) {
    const int others[] = {0, 1, 32767, 32768, 32769, 65535};
    for (int v = 0; v <= 65535; v += (v < 33000 && v > 32500) ? 1 : 7) {
        for (int a : others)
            for (int b : others) {
                check(px16(v, a, b));
                check(px16(a, v, b));
                check(px16(a, b, v));
            }
    }
}

TEST(ColorsysExtremes, EverySixteenBitFunctionStaysInRange) {
    int failures = 0;
    sweepSixteenBit([&](PF_Pixel16 const& p) {
        if (failures > 10) return;
        const auto inRange = [](PF_Pixel16 const& q) { return q.red <= 32768 && q.green <= 32768 && q.blue <= 32768; };
        const PF_Pixel16 hls = cs::rgbToHls(p), hsb = cs::rgbToHsb(p);
        bool ok = hls.red <= 32768 && hls.blue <= 32768 && hsb.red <= 32768 && hsb.green <= 32768;
        ok = ok && cs::hue(p) <= 32768 && cs::saturation(p) <= 32768;
        ok = ok && inRange(cs::rgbToYuv(p)) && inRange(cs::yuvToRgb(p));
        // saturation 0 hands the lightness or brightness back as it came
        ok = ok && (p.blue == 0 ? sameBits(cs::hlsToRgb(p), px16(p.green, p.green, p.green, p.alpha))
                                : inRange(cs::hlsToRgb(p)));
        ok = ok && (p.green == 0 ? sameBits(cs::hsbToRgb(p), px16(p.blue, p.blue, p.blue, p.alpha))
                                 : inRange(cs::hsbToRgb(p)));
        ok = ok && cs::lightness(p) == hls.green && cs::brightness(p) == hsb.blue;
        ok = ok && cs::saturationCone(p) == std::max({p.red, p.green, p.blue}) - std::min({p.red, p.green, p.blue});
        ok = ok && cs::hlsToRgb(p).alpha == p.alpha && cs::yuvToRgb(p).alpha == p.alpha;
        if (!ok) {
            ++failures;
            ADD_FAILURE() << "out of range for " << show(p);
        }
    });
}

const float kOddFloats[] = {kNaN,   kInf, -kInf, -1e30f,  -1.0f, 0.0f,
                            1e-40f, 0.5f, 1.0f,  359.99f, 1e30f, std::numeric_limits<float>::max()};

TEST(ColorsysExtremes, NonFiniteHueMeansHueZero) {
    for (float h : {kNaN, kInf, -kInf})
        for (float l : {0.0f, 0.3f, 0.5f, 0.9f})
            for (float s : {0.25f, 1.0f}) {
                EXPECT_TRUE(sameBits(cs::hlsToRgb(pxf(h, l, s)), cs::hlsToRgb(pxf(0, l, s))))
                    << h << " " << l << " " << s;
                EXPECT_TRUE(sameBits(cs::hsbToRgb(pxf(h, s, l)), cs::hsbToRgb(pxf(0, s, l))))
                    << h << " " << l << " " << s;
                const auto a = cs::hlsToRgb<float>(Morvel::Color<float>(1, h, l, s));
                const auto b = cs::hlsToRgb<float>(Morvel::Color<float>(1, 0, l, s));
                EXPECT_TRUE(a.red == b.red && a.green == b.green && a.blue == b.blue) << h << " " << l << " " << s;
            }
    // colours whose hue cannot be told
    for (PF_PixelFloat p : {pxf(kNaN, 0, 0), pxf(kInf, kInf, 0), pxf(0, kNaN, 1), pxf(-kInf, 0, kInf)}) {
        EXPECT_EQ(cs::hue(p), 0.0f) << show(p);
        EXPECT_EQ(cs::rgbToHls(p).red, 0.0f) << show(p);
        EXPECT_EQ(cs::rgbToHsb(p).red, 0.0f) << show(p);
        EXPECT_EQ(cs::rgbToHls(Morvel::Color<float>(1, p.red, p.green, p.blue)).red, 0.0f) << show(p);
    }
}

TEST(ColorsysExtremes, FloatSweepOfNaNAndInfinity) {
    // Nothing here may convert a float that no integer holds; the sanitizer build watches that.
    int checked = 0;
    for (float a : kOddFloats)
        for (float b : kOddFloats)
            for (float c : kOddFloats) {
                const PF_PixelFloat p = pxf(a, b, c);
                const PF_PixelFloat hls = cs::rgbToHls(p), hsb = cs::rgbToHsb(p);
                const float hue = cs::hue(p);
                EXPECT_TRUE(hue >= 0.0f && hue <= 360.0f) << show(p);
                EXPECT_TRUE(sameBits(hls.red, hue) && sameBits(hsb.red, hue)) << show(p);
                (void)cs::rgbToYuv(p), (void)cs::yuvToRgb(p), (void)cs::lightness(p), (void)cs::saturation(p);
                const PF_PixelFloat fromHls = cs::hlsToRgb(p);
                const PF_PixelFloat fromHsb = cs::hsbToRgb(p);
                // hsbToRgb clamps saturation and brightness, so a finite one gives a colour in the cube
                if (!std::isnan(b) && !std::isnan(c)) {
                    for (float channel : {fromHsb.red, fromHsb.green, fromHsb.blue})
                        EXPECT_TRUE(channel >= 0.0f && channel <= 1.0f) << show(p) << " -> " << show(fromHsb);
                }
                if (!std::isnan(b) && !std::isnan(c) && c <= 1.0f) {
                    for (float channel : {fromHls.red, fromHls.green, fromHls.blue})
                        EXPECT_TRUE(channel >= -1e-6f && channel <= 1.0f + 1e-6f) << show(p) << " -> " << show(fromHls);
                }
                const Morvel::Color<float> color(1, a, b, c);
                const Morvel::Color<float> toHls = cs::rgbToHls(color);
                EXPECT_TRUE(toHls.red >= 0.0f && toHls.red <= 360.0f) << show(p);
                (void)cs::hlsToRgb<float>(color);
                ++checked;
            }
    EXPECT_EQ(checked, 12 * 12 * 12);
}

}  // namespace
