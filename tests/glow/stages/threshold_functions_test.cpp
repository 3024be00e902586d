#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "glow/stages/threshold_functions.h"
#include "library/custom_data/color_expression_data/expression_parser.h"

using Morvel::Color;
using Morvel::ColorExpressionData::Expression;
using Morvel::ColorExpressionData::parseExpression;

namespace {

constexpr double kPi = 3.14159265358979323846;

Expression parsed(const std::string& text) {
    Expression e;
    EXPECT_TRUE(parseExpression(text, e)) << text;
    return e;
}

// ---- independent evaluation of the channel items, in double precision where they are not
// integer arithmetic

// Hue in degrees by the hexagon formula, in [0, 360).
double hexHue(double r, double g, double b) {
    const double mx = std::max({r, g, b}), mn = std::min({r, g, b}), d = mx - mn;
    if (d == 0) return 0;
    double h = mx == r ? 60 * (g - b) / d : (mx == g ? 60 * (b - r) / d + 120 : 60 * (r - g) / d + 240);
    h = std::fmod(h, 360.0);
    return h < 0 ? h + 360 : h;
}

// Closeness 1 − |P − Pref| / N of items 6, 11 and 12; the distances of the polar items by the law
// of cosines rather than through the points.
double closeness(int item, double r, double g, double b, const Color<float>& ref) {
    const double rr = ref.red, rg = ref.green, rb = ref.blue;
    const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
    const double rmx = std::max({rr, rg, rb}), rmn = std::min({rr, rg, rb});
    const double turn = (hexHue(r, g, b) - hexHue(rr, rg, rb)) * kPi / 180;
    double squared;
    double normaliser;
    if (item == 6) {
        const double l = (mx + mn) / 2, rl = (rmx + rmn) / 2;
        squared = l * l + rl * rl - 2 * l * rl * std::cos(turn);
        normaliser = std::sqrt(2.0);
    } else if (item == 11) {
        squared = (r - rr) * (r - rr) + (g - rg) * (g - rg) + (b - rb) * (b - rb);
        normaliser = std::sqrt(3.0);
    } else {
        const double s = mx == 0 ? 0 : (mx - mn) / mx, rs = rmx == 0 ? 0 : (rmx - rmn) / rmx;
        squared = s * s + rs * rs - 2 * s * rs * std::cos(turn) + (mx - rmx) * (mx - rmx);
        normaliser = std::sqrt(5.0);
    }
    return 1 - std::sqrt(std::max(squared, 0.0)) / normaliser;
}

// trunc(v·K) within 0..K; a float channel keeps v within 0..1.
double toChannel(double v, double full, bool integer) {
    if (!(v > 0)) return 0;
    const double scaled = std::min(v * full, full);
    return integer ? std::trunc(scaled) : scaled;
}

struct Depth {
    const char* name;
    double full;
    bool integer;
};

constexpr Depth kDepth8{"8-bit", 255, true};
constexpr Depth kDepth16{"16-bit", 32768, true};
constexpr Depth kDepth32{"float", 1, false};

// Items 6, 11, 12 of any pixel, from its channels in the depth's units.
template <typename Pixel>
double expectedCloseness(const Depth& depth, int item, bool multiplyAlpha, const Pixel& p, const Color<float>& ref) {
    const double a = multiplyAlpha ? p.alpha / depth.full : 1.0;
    const double v = closeness(item, p.red / depth.full * a, p.green / depth.full * a, p.blue / depth.full * a, ref);
    return toChannel(v, depth.full, depth.integer);
}

double expected8(int item, bool multiplyAlpha, const PF_Pixel& p, const Color<float>& ref) {
    const int r = p.red, g = p.green, b = p.blue, mx = std::max({r, g, b}), mn = std::min({r, g, b});
    int v;
    switch (item) {
        case 2: v = r; break;
        case 3: v = g; break;
        case 4: v = b; break;
        case 5: return p.alpha;
        case 6:
        case 11:
        case 12: return expectedCloseness(kDepth8, item, multiplyAlpha, p, ref);
        case 7: v = mx == 0 ? 0 : 255 * (mx - mn) / mx; break;
        case 8: v = mx - mn; break;
        case 9: v = (mx + mn) / 2; break;
        case 10: v = mx; break;
        default: v = (76 * r + 150 * g + 29 * b) / 255; break;
    }
    return multiplyAlpha ? v * p.alpha / 255 : v;
}

double expected16(int item, bool multiplyAlpha, const PF_Pixel16& p, const Color<float>& ref) {
    const int64_t r = p.red, g = p.green, b = p.blue, mx = std::max({r, g, b}), mn = std::min({r, g, b});
    int64_t v;
    switch (item) {
        case 2: v = r; break;
        case 3: v = g; break;
        case 4: v = b; break;
        case 5: return p.alpha;
        case 6:
        case 11:
        case 12: return expectedCloseness(kDepth16, item, multiplyAlpha, p, ref);
        case 7: v = mx == 0 ? 0 : std::min<int64_t>(32768 * (mx - mn) / mx, 32768); break;
        case 8: v = mx - mn; break;
        case 9: v = (mx + mn) / 2; break;
        case 10: v = mx; break;
        default: v = std::min<int64_t>((9798 * r + 19235 * g + 3735 * b) / 32768, 32768); break;
    }
    return multiplyAlpha ? (v * p.alpha / 32768) % 65536 : v;
}

double expected32(int item, bool multiplyAlpha, const PF_PixelFloat& p, const Color<float>& ref) {
    const float r = p.red, g = p.green, b = p.blue, mx = std::max({r, g, b}), mn = std::min({r, g, b});
    float v;
    switch (item) {
        case 2: v = r; break;
        case 3: v = g; break;
        case 4: v = b; break;
        case 5: return p.alpha;
        case 6:
        case 11:
        case 12: return expectedCloseness(kDepth32, item, multiplyAlpha, p, ref);
        case 7: v = mx == 0 ? 0 : (mx - mn) / mx; break;
        case 8: v = mx - mn; break;
        case 9: v = (mx + mn) / 2; break;
        case 10: v = mx; break;
        default: v = 0.299f * r + 0.587f * g + 0.114f * b; break;
    }
    return multiplyAlpha ? v * p.alpha : v;
}

// ---- pixel sets

template <typename Pixel>
Pixel pixelOf(double a, double r, double g, double b) {
    using T = decltype(Pixel{}.red);
    return Pixel{T(a), T(r), T(g), T(b)};
}

// Every value of `values` in each channel in turn, over a few random base pixels, then random
// pixels.
template <typename Pixel, typename Draw>
std::vector<Pixel> pixelSet(const std::vector<double>& values, Draw draw, int randomCount) {
    std::mt19937 rng(1234);
    std::vector<Pixel> pixels;
    for (int base = 0; base < 6; ++base) {
        const Pixel basePixel = pixelOf<Pixel>(draw(rng), draw(rng), draw(rng), draw(rng));
        for (int channel = 0; channel < 4; ++channel) {
            for (double v : values) {
                Pixel p = basePixel;
                using T = decltype(p.red);
                (channel == 0 ? p.alpha : channel == 1 ? p.red : channel == 2 ? p.green : p.blue) = T(v);
                pixels.push_back(p);
            }
        }
    }
    for (int i = 0; i < randomCount; ++i) pixels.push_back(pixelOf<Pixel>(draw(rng), draw(rng), draw(rng), draw(rng)));
    return pixels;
}

std::vector<double> range(double first, double last, double step) {
    std::vector<double> values;
    for (double v = first; v <= last; v += step) values.push_back(v);
    values.push_back(last);
    return values;
}

const Color<float> kReferences[] = {
    {1, 1, 0, 0}, {1, 0.2f, 0.7f, 0.9f}, {1, 0.5f, 0.5f, 0.5f}, {1, 0, 0, 0}, {1, 1, 1, 1},
};

// The items that measure against the reference colour, and Custom.
const Glow::ChannelItem kReferenceAndCustomItems[] = {Glow::CHANNEL_HUE, Glow::CHANNEL_DISTANCE_RGB,
                                                      Glow::CHANNEL_DISTANCE_HSB, Glow::CHANNEL_CUSTOM};

// Every channel number (with the two outside the menu) and both multiply-alpha settings against
// the expected function, within `tolerance` for the items that are not integer arithmetic.
template <typename Pixel, typename Generate, typename Expected>
void checkAllItems(const Depth& depth, const std::vector<Pixel>& pixels, Generate generate, Expected expected,
                   double roundedTolerance, double exactTolerance) {
    for (int channel = 0; channel <= 14; ++channel) {
        if (channel == 13) continue;  // Custom: its own test
        const int item = channel >= 2 && channel <= 12 ? channel : 1;
        const bool rounded = item == 6 || item == 11 || item == 12;
        for (const Color<float>& ref : kReferences) {
            if (!rounded && &ref != &kReferences[0]) continue;
            for (bool multiplyAlpha : {false, true}) {
                const auto f = generate(static_cast<Glow::ChannelItem>(channel), multiplyAlpha, ref, Expression());
                int failures = 0;
                for (const Pixel& p : pixels) {
                    const double got = f(p), want = expected(item, multiplyAlpha, p, ref);
                    const double tolerance =
                        rounded ? roundedTolerance : exactTolerance * std::max(1.0, std::abs(want));
                    if (!(std::abs(got - want) <= tolerance) && failures++ < 3) {
                        ADD_FAILURE() << depth.name << " channel " << channel << " multiply " << multiplyAlpha
                                      << " ref (" << ref.red << "," << ref.green << "," << ref.blue << ") pixel ("
                                      << +p.alpha << "," << +p.red << "," << +p.green << "," << +p.blue << "): got "
                                      << got << ", want " << want;
                    }
                }
            }
        }
    }
}

TEST(ChannelFunc, EightBitAgainstDirectEvaluation) {
    auto draw = [](std::mt19937& rng) { return double(std::uniform_int_distribution<int>(0, 255)(rng)); };
    const auto pixels = pixelSet<PF_Pixel>(range(0, 255, 1), draw, 20000);
    checkAllItems(kDepth8, pixels, Glow::generateChannelFunc8, expected8, 1.0, 0.0);
}

TEST(ChannelFunc, SixteenBitOnAStrideAgainstDirectEvaluation) {
    auto draw = [](std::mt19937& rng) { return double(std::uniform_int_distribution<int>(0, 32768)(rng)); };
    std::vector<double> values = range(0, 32768, 13);
    // Over-range channels occur in 16-bit worlds; the integer items must not overflow on them.
    for (double v : {32769.0, 40000.0, 65535.0}) values.push_back(v);
    const auto pixels = pixelSet<PF_Pixel16>(values, draw, 20000);
    checkAllItems(kDepth16, pixels, Glow::generateChannelFunc16, expected16, 1.0, 0.0);
}

TEST(ChannelFunc, FloatOnRandomValuesAgainstDirectEvaluation) {
    auto draw = [](std::mt19937& rng) { return std::uniform_real_distribution<double>(-0.25, 1.5)(rng); };
    const auto pixels = pixelSet<PF_PixelFloat>({0.0, 0.5, 1.0, -1.0, 2.0, 1e-7}, draw, 20000);
    checkAllItems(kDepth32, pixels, Glow::generateChannelFunc32, expected32, 1e-5, 1e-6);
}

// Custom against the same formula worked in double, at each depth.
TEST(ChannelFunc, CustomFollowsTheExpressionClampedToTheDepth) {
    struct Case {
        const char* text;
        std::function<double(double a, double r, double g, double b)> formula;
    } cases[] = {
        {"r * g + b / 2 - a / 4", [](double a, double r, double g, double b) { return r * g + b / 2 - a / 4; }},
        {"(r + g + b) * 2 - 1", [](double, double r, double g, double b) { return (r + g + b) * 2 - 1; }},
        {"a * r * s",
         [](double a, double r, double g, double b) {
             const double mx = std::max({r, g, b});
             return a * r * (mx == 0 ? 0 : (mx - std::min({r, g, b})) / mx);
         }},
    };
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> unit(0, 1);
    for (const auto& c : cases) {
        const Expression e = parsed(c.text);
        for (bool multiplyAlpha : {false, true}) {
            const auto f8 = Glow::generateChannelFunc8(Glow::CHANNEL_CUSTOM, multiplyAlpha, kReferences[0], e);
            const auto f16 = Glow::generateChannelFunc16(Glow::CHANNEL_CUSTOM, multiplyAlpha, kReferences[0], e);
            const auto f32 = Glow::generateChannelFunc32(Glow::CHANNEL_CUSTOM, multiplyAlpha, kReferences[0], e);
            for (int i = 0; i < 3000; ++i) {
                const double a = unit(rng), r = unit(rng), g = unit(rng), b = unit(rng);
                const PF_Pixel p8{uint8_t(a * 255), uint8_t(r * 255), uint8_t(g * 255), uint8_t(b * 255)};
                const PF_Pixel16 p16{uint16_t(a * 32768), uint16_t(r * 32768), uint16_t(g * 32768),
                                     uint16_t(b * 32768)};
                const PF_PixelFloat p32{float(a), float(r), float(g), float(b)};
                auto want = [&](auto const& p, double full, bool integer) {
                    return toChannel(c.formula(p.alpha / full, p.red / full, p.green / full, p.blue / full), full,
                                     integer);
                };
                ASSERT_NEAR(f8(p8), want(p8, 255, true), 1.0) << c.text;
                ASSERT_NEAR(f16(p16), want(p16, 32768, true), 1.0) << c.text;
                ASSERT_NEAR(f32(p32), want(p32, 1, false), 1e-5) << c.text;
            }
        }
    }
}

TEST(ChannelFunc, EdgeCases) {
    const Expression defaultExpression = parsed("a * r * s");
    const Color<float> red{1, 1, 0, 0}, white{1, 1, 1, 1}, grey{1, 0.5f, 0.5f, 0.5f}, cyan{1, 0, 1, 1};
    struct Case {
        const char* name;
        int channel;
        bool multiplyAlpha;
        Color<float> reference;
        PF_Pixel pixel;
        int expected;
    } cases8[] = {
        {"white luminance", 1, false, red, {255, 255, 255, 255}, 255},
        {"white luminance times alpha 128", 1, true, red, {128, 255, 255, 255}, 128},
        {"opaque red hue against red", 6, false, red, {255, 255, 0, 0}, 255},
        {"opaque red RGB distance against red", 11, false, red, {255, 255, 0, 0}, 255},
        {"opaque red HSB distance against red", 12, false, red, {255, 255, 0, 0}, 255},
        {"opaque red hue, multiply alpha", 6, true, red, {255, 255, 0, 0}, 255},
        {"black RGB distance against white", 11, false, white, {255, 0, 0, 0}, 0},
        {"grey hue against a grey reference", 6, false, grey, {255, 128, 128, 128}, 254},
        // A grey lies on the red axis: L = 1 at (1, 0) is 0.5 from red's (0.5, 0)...
        {"white hue against red", 6, false, red, {255, 255, 255, 255}, 164},
        // ...and 1 from cyan's (-0.5, 0), a hue of 180 degrees.
        {"mid grey hue against cyan", 6, false, cyan, {255, 128, 128, 128}, 74},
        // Hues 9.9 degrees apart at lightness 0.5, measured in radians.
        {"orange hue against red", 6, false, red, {255, 255, 42, 0}, 239},
        {"default expression on opaque red", 13, false, red, {255, 255, 0, 0}, 255},
        {"default expression on half-transparent red", 13, true, red, {51, 255, 0, 0}, 51},
    };
    for (const auto& c : cases8) {
        const auto item = static_cast<Glow::ChannelItem>(c.channel);
        const auto f = Glow::generateChannelFunc8(item, c.multiplyAlpha, c.reference, defaultExpression);
        EXPECT_NEAR(f(c.pixel), c.expected, 1) << c.name;
    }

    const PF_Pixel16 white16{32768, 32768, 32768, 32768}, red16{32768, 32768, 0, 0};
    EXPECT_EQ(Glow::generateChannelFunc16(Glow::CHANNEL_LUMINANCE, false, red, {})(white16), 32768);
    EXPECT_EQ(Glow::generateChannelFunc16(Glow::CHANNEL_LUMINANCE, true, red, {})(white16), 32768);
    const PF_PixelFloat red32{1, 1, 0, 0};
    for (Glow::ChannelItem item : kReferenceAndCustomItems) {
        EXPECT_EQ(Glow::generateChannelFunc16(item, false, red, defaultExpression)(red16), 32768) << item;
        EXPECT_FLOAT_EQ(Glow::generateChannelFunc32(item, false, red, defaultExpression)(red32), 1.0f) << item;
    }
}

TEST(ChannelFunc, HueClosenessIsMeasuredInRadians) {
    const Color<float> red{1, 1, 0, 0};
    const auto f = Glow::generateChannelFunc8(Glow::CHANNEL_HUE, false, red, {});
    // Hue rises by 60/255 of a degree per step of green: neighbours stay close and nothing
    // comes back round to red as green grows.
    int previous = 256;
    for (int green = 0; green <= 255; ++green) {
        const int v = f(PF_Pixel{255, 255, uint8_t(green), 0});
        EXPECT_LE(v, previous) << green;
        EXPECT_GE(v, previous == 256 ? 0 : previous - 2) << green;
        previous = v;
    }
}

TEST(ChannelFunc, NonFiniteFloatPixelsGiveNoNaN) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const Expression e = parsed("r / g");
    for (Glow::ChannelItem item : kReferenceAndCustomItems) {
        for (bool multiplyAlpha : {false, true}) {
            const auto f = Glow::generateChannelFunc32(item, multiplyAlpha, {1, 1, 0, 0}, e);
            for (const PF_PixelFloat& p : {PF_PixelFloat{1, inf, 0, 0}, PF_PixelFloat{1, nan, 0.5f, 0},
                                           PF_PixelFloat{1, 0, 0, 0}, PF_PixelFloat{nan, 1, 1, 1}}) {
                const float v = f(p);
                EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "item " << item << " gave " << v;
            }
        }
    }
}

// ---- threshold alpha

// a(x) written out from the curve's description: rising over s′ to 1 at t, and for a band
// falling back over s′ past the upper threshold.
double expectedAlpha(double x, double t, bool band, double t2, double s, bool invert, double full) {
    s = std::max(s, 1e-6);
    auto rise = [&](double edge) { return std::clamp((x / full - (edge - s)) / s, 0.0, 1.0); };
    double a;
    if (!band) {
        a = rise(t);
    } else {
        const double lower = std::min(t, t2), upper = t == t2 ? t2 + 1e-6 : std::max(t, t2);
        a = std::min(rise(lower), std::clamp(((upper + s) - x / full) / s, 0.0, 1.0));
    }
    return invert ? 1 - a : a;
}

struct CurveCase {
    const char* name;
    double t;
    bool band;
    double t2;
    double s;
};

const CurveCase kCurves[] = {
    {"defaults", 0.7, false, 0.9, 0.1},
    {"no softness", 0.4, false, 0.0, 0.0},
    {"soft and low", 0.05, false, 0.0, 0.3},
    {"band", 0.3, true, 0.6, 0.05},
    {"band, thresholds swapped", 0.6, true, 0.3, 0.05},
    {"band of equal thresholds", 0.5, true, 0.5, 0.02},
    {"band, no softness", 0.2, true, 0.8, 0.0},
    {"threshold above full scale", 1.2, false, 0.0, 0.1},
};

TEST(AlphaCurve, TablesAndFloatCurveFollowTheFormula) {
    std::vector<double> t8, t16;
    for (const auto& c : kCurves) {
        for (bool invert : {false, true}) {
            Glow::generateAlphas8(c.t, c.band, c.t2, c.s, invert, t8);
            Glow::generateAlphas16(c.t, c.band, c.t2, c.s, invert, t16);
            const auto f32 = Glow::generateAlphaFunc32(c.t, c.band, c.t2, c.s, invert);
            ASSERT_EQ(t8.size(), 256u) << c.name;
            ASSERT_EQ(t16.size(), 65536u) << c.name;
            for (int i = 0; i <= 255; ++i) {
                ASSERT_NEAR(t8[i], expectedAlpha(i, c.t, c.band, c.t2, c.s, invert, 255), 1e-6) << c.name << " " << i;
            }
            for (int i = 0; i <= 32768; ++i) {
                ASSERT_NEAR(t16[i], expectedAlpha(i, c.t, c.band, c.t2, c.s, invert, 32768), 1e-6)
                    << c.name << " " << i;
            }
            // Only a curve with some softness is continuous enough to compare at rounded x.
            const double tolerance = c.s > 0 ? 1e-5 : 1.0;
            for (int i = 0; i <= 1000; ++i) {
                const float x = float(i) / 800.0f - 0.1f;
                ASSERT_NEAR(f32(x), expectedAlpha(x, c.t, c.band, c.t2, c.s, invert, 1), tolerance)
                    << c.name << " " << x;
            }
        }
    }
}

TEST(AlphaCurve, SoftnessZeroIsAStepAtTheThreshold) {
    std::vector<double> table;
    for (double t : {0.1, 0.5, 0.7, 0.95}) {
        Glow::generateAlphas8(t, false, 0, 0, false, table);
        for (int i = 0; i < 256; ++i) {
            if (i <= (t - 1e-6) * 255) {
                EXPECT_EQ(table[i], 0.0) << t << " " << i;
            } else if (i >= t * 255) {
                EXPECT_EQ(table[i], 1.0) << t << " " << i;
            }
        }
    }
}

TEST(AlphaCurve, EqualThresholdsMakeANarrowBand) {
    for (double s : {0.0, 0.01, 0.1}) {
        const double t = 0.4, sp = std::max(s, 1e-6);
        std::vector<double> table;
        Glow::generateAlphas16(t, true, t, s, false, table);
        for (int i = 0; i <= 32768; ++i) {
            const bool inside = i > (t - sp) * 32768 && i < (t + 1e-6 + sp) * 32768;
            EXPECT_EQ(table[i] > 0, inside) << "softness " << s << " at " << i;
        }
        const auto f = Glow::generateAlphaFunc32(t, true, t, s, false);
        EXPECT_GT(f(0.4f), 0.0) << s;
        EXPECT_EQ(f(float(t - sp - 1e-4)), 0.0) << s;
        EXPECT_EQ(f(float(t + sp + 1e-4)), 0.0) << s;
    }
}

TEST(AlphaCurve, InvertedDefaultsAndTheUnwrittenSixteenBitRange) {
    std::vector<double> table;
    Glow::generateAlphas8(0.7, false, 0.9, 0.1, true, table);
    EXPECT_EQ(table[0], 1.0);
    EXPECT_EQ(table[255], 0.0);

    for (bool invert : {false, true}) {
        std::vector<double> fresh;
        Glow::generateAlphas16(0.7, false, 0.9, 0.1, invert, fresh);
        ASSERT_EQ(fresh.size(), 65536u);
        EXPECT_TRUE(std::all_of(fresh.begin() + 32769, fresh.end(), [](double a) { return a == 0.0; })) << invert;
        EXPECT_EQ(fresh[32768], invert ? 0.0 : 1.0);

        // A table used before keeps its entries above 32768.
        std::vector<double> reused(70000, 7.0);
        Glow::generateAlphas16(0.7, false, 0.9, 0.1, invert, reused);
        ASSERT_EQ(reused.size(), 65536u);
        EXPECT_EQ(reused[32769], 7.0);
        EXPECT_EQ(reused[65535], 7.0);
    }
}

// ---- toner rate

std::atomic<int> powCalls{0};
std::atomic<int> fabsCalls{0};
double countingPow(double x, double y) {
    ++powCalls;
    return std::pow(x, y);
}
double countingFabs(double x) {
    ++fabsCalls;
    return std::fabs(x);
}

class TonerRate : public ::testing::Test {
protected:
    void SetUp() override {
        powCalls = 0;
        fabsCalls = 0;
        utils_.ansi.pow = countingPow;
        utils_.ansi.fabs = countingFabs;
        in_data_.utils = &utils_;
    }
    PF_UtilCallbacks utils_{};
    PF_InData in_data_{};
};

TEST_F(TonerRate, EqualWhiteAndBlackIsAStep) {
    const auto f = Glow::generateTonerRateFunc(&in_data_, 0.4, 0.4, 2.0);
    struct Case {
        double x, expected;
    } cases[] = {{0.0, 0}, {0.3999, 0}, {0.4, 1}, {0.9, 1}, {5.0, 1}, {std::nan(""), 0}};
    for (const auto& c : cases) EXPECT_EQ(f(c.x), c.expected) << c.x;
    EXPECT_EQ(powCalls, 0);
}

TEST_F(TonerRate, RampAndGamma) {
    struct Case {
        const char* name;
        double white, black, gamma;
        bool usesPow;
    } cases[] = {
        {"gamma 1", 0.8, 0.2, 1.0, false},
        {"gamma just inside 1e-6 of 1", 0.8, 0.2, 1.0 + 5e-7, false},
        {"gamma just outside", 0.8, 0.2, 1.0 + 2e-6, true},
        {"gamma 2.2", 0.9, 0.1, 2.2, true},
        {"gamma 0.5", 1.0, 0.0, 0.5, true},
        {"white below black", 0.2, 0.8, 1.0, false},
    };
    for (const auto& c : cases) {
        powCalls = 0;
        fabsCalls = 0;
        const auto f = Glow::generateTonerRateFunc(&in_data_, c.white, c.black, c.gamma);
        EXPECT_EQ(fabsCalls, 1) << c.name;
        int evaluations = 0;
        for (double x = -0.5; x <= 1.5; x += 0.01, ++evaluations) {
            const double u = std::clamp((x - c.black) / (c.white - c.black), 0.0, 1.0);
            const double want = c.usesPow ? std::pow(u, 1 / c.gamma) : u;
            ASSERT_NEAR(f(x), want, 1e-12) << c.name << " at " << x;
        }
        EXPECT_EQ(powCalls, c.usesPow ? evaluations : 0) << c.name;
    }
}

TEST(TonerRateWithoutHostHelpers, GivesTheSameCurve) {
    PF_UtilCallbacks noHelpers{};
    PF_InData bare{};
    bare.utils = &noHelpers;
    for (PF_InData* in_data : {static_cast<PF_InData*>(nullptr), &bare}) {
        const auto f = Glow::generateTonerRateFunc(in_data, 1.0, 0.0, 2.0);
        EXPECT_DOUBLE_EQ(f(0.25), 0.5);
        EXPECT_EQ(f(-1.0), 0.0);
    }
}

TEST(TonerRateUse, OnlyMonotoneAndTonerMapGoWithout) {
    for (int tones = -1; tones <= 8; ++tones) {
        EXPECT_EQ(Glow::useTonerRateFunc(static_cast<Glow::TonesItem>(tones)), tones != 1 && tones != 4) << tones;
    }
}

}  // namespace
