#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "glow/threshold_toning.h"
#include "support/raw_world.h"

using Glow::Rgb;
using Glow::Toning;
using Morvel::Color;

namespace {

double luma(const Rgb& c) { return 0.299 * c.red + 0.587 * c.green + 0.114 * c.blue; }

void expectRgbNear(const Rgb& actual, const Rgb& expected, double tolerance, const std::string& what) {
    EXPECT_NEAR(actual.red, expected.red, tolerance) << what << " red";
    EXPECT_NEAR(actual.green, expected.green, tolerance) << what << " green";
    EXPECT_NEAR(actual.blue, expected.blue, tolerance) << what << " blue";
}

// The toner operations' properties, at each full scale and on random colours and tones.
TEST(Toning, TheEightOperationsKeepTheirDefiningProperties) {
    std::mt19937 rng(18);
    for (double full : {255.0, 32768.0, 1.0}) {
        std::uniform_real_distribution<double> channel(0, full), unit(0, 1), alpha(0, full);
        for (int i = 0; i < 200; ++i) {
            const Rgb p{channel(rng), channel(rng), channel(rng)};
            const Color<double> tone(unit(rng), unit(rng), unit(rng), unit(rng));
            const double a = alpha(rng), blend = unit(rng), boost = unit(rng);
            const std::string what = "full " + std::to_string(full) + " #" + std::to_string(i);

            // Without blend "Tint" multiplies by the tone and "Fill" replaces the colour.
            expectRgbNear(Toning(0, Glow::TonerItem::Tint, 0, full)(p, tone, a),
                          {p.red * tone.red * a, p.green * tone.green * a, p.blue * tone.blue * a}, 1e-9 * full * full,
                          what);
            expectRgbNear(Toning(0, Glow::TonerItem::Fill, 0, full)(p, tone, a),
                          {full * tone.red * a, full * tone.green * a, full * tone.blue * a}, 1e-9 * full * full, what);
            // A full blend gives the untoned colour whatever the toner.
            for (Glow::TonerItem toner : {Glow::TonerItem::Tint, Glow::TonerItem::Fill}) {
                expectRgbNear(Toning(0, toner, 1, full)(p, tone, a), {p.red * a, p.green * a, p.blue * a},
                              1e-9 * full * full, what + " blend 1");
            }
            // Blends are linear in the blend: "Tint" between p·T and p, "Fill" between full·T and p.
            for (Glow::TonerItem toner : {Glow::TonerItem::Tint, Glow::TonerItem::Fill}) {
                const Rgb none = Toning(0, toner, 0, full)(p, tone, a);
                const Rgb all = Toning(0, toner, 1, full)(p, tone, a);
                const Rgb mid = Toning(0, toner, blend, full)(p, tone, a);
                expectRgbNear(mid,
                              {none.red + blend * (all.red - none.red), none.green + blend * (all.green - none.green),
                               none.blue + blend * (all.blue - none.blue)},
                              1e-8 * full * full, what + " blend");
                // A boost of 1 lifts the luma to the largest component, capped at full scale;
                // smaller boosts move linearly towards that.
                const Rgb lifted = Toning(1, toner, blend, full)(p, tone, a);
                const double top = std::min(std::max({mid.red, mid.green, mid.blue}) / a, full);
                if (luma(mid) > 0) {
                    EXPECT_NEAR(luma(lifted), top * a, 1e-8 * full * full) << what << " boost 1";
                    const Rgb part = Toning(boost, toner, blend, full)(p, tone, a);
                    expectRgbNear(
                        part,
                        {mid.red + boost * (lifted.red - mid.red), mid.green + boost * (lifted.green - mid.green),
                         mid.blue + boost * (lifted.blue - mid.blue)},
                        1e-8 * full * full, what + " boost");
                }
            }
        }
    }
}

TEST(Toning, BoostLeavesBlackBlackAndPureRedAtFullScale) {
    const Rgb black = Toning(1, Glow::TonerItem::Tint, 0, 255)(Rgb{0, 0, 0}, Color<double>(1, 1, 1, 1), 200);
    expectRgbNear(black, {0, 0, 0}, 0, "black");
    // "Fill" with a pure red tone: luma 76.245, so the red is lifted by 255 / 76.245 at boost 1.
    for (double b : {0.0, 0.25, 1.0}) {
        const Rgb red = Toning(b, Glow::TonerItem::Fill, 0, 255)(Rgb{10, 20, 30}, Color<double>(1, 1, 0, 0), 128);
        expectRgbNear(red, {255 * ((255 / 76.245 - 1) * b + 1) * 128, 0, 0}, 1e-9, "red boost " + std::to_string(b));
    }
}

TEST(Toning, BlendAndBoostCountFromOneMillionth) {
    const Rgb p{100, 50, 25};
    const Color<double> black(1, 0, 0, 0), red(1, 1, 0, 0);
    struct Case {
        const char* name;
        double boost, blend;
        Color<double> tone;
        Rgb expected;
    } cases[] = {
        {"blend 1e-6 is blended", 0, 1e-6, black, {100 * 1e-6, 50 * 1e-6, 25 * 1e-6}},
        {"blend below is not", 0, 0.99e-6, black, {0, 0, 0}},
        {"boost 1e-6 is boosted", 1e-6, 0, red, {100 * ((1 / 0.299 - 1) * 1e-6 + 1), 0, 0}},
        {"boost below is not", 0.99e-6, 0, red, {100, 0, 0}},
    };
    for (const auto& c : cases) {
        expectRgbNear(Toning(c.boost, Glow::TonerItem::Tint, c.blend, 255)(p, c.tone, 1), c.expected, 1e-12, c.name);
    }
}

TEST(TonerMapScale, EndsMeetAndSmallSizesCountAsOne) {
    struct Case {
        const char* name;
        int mapWidth, mapHeight, width, height;
        double x, y;
    } cases[] = {
        {"same size", 10, 8, 10, 8, 1, 1},
        {"twice", 19, 15, 10, 8, 2, 2},
        {"map one pixel", 1, 1, 5, 3, 1 / 4.0, 1 / 2.0},
        {"source one pixel", 9, 5, 1, 1, 8, 4},
        {"both one pixel", 1, 1, 1, 1, 1, 1},
        {"empty map", 0, 0, 5, 5, 1 / 4.0, 1 / 4.0},
    };
    for (const auto& c : cases) {
        RawWorld<PF_Pixel> map(c.mapWidth, c.mapHeight), source(c.width, c.height);
        const auto scale = Glow::tonerMapScaleOf(map.get(), source.get());
        EXPECT_DOUBLE_EQ(scale.x, c.x) << c.name;
        EXPECT_DOUBLE_EQ(scale.y, c.y) << c.name;
    }
}

}  // namespace
