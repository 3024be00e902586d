#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "glow/threshold_normal.h"
#include "glow/threshold_preview.h"
#include "glow/threshold_stage_support.h"

using Glow::ThresholdCommonParameters;
using Glow::ThresholdPreview;
using Glow::ThresholdPreviewParameters;
using Morvel::Bpc;
using Morvel::Color;

namespace {

class ThresholdPreviewTest : public ThresholdStageTest {
protected:
    template <typename Pixel>
    PF_Err preview(Bpc bpc, RawWorld<Pixel>& input, RawWorld<Pixel>& output, const ThresholdCommonParameters& c,
                   Glow::RenderingModeItem mode = Glow::RenderingModeItem::Toner) {
        ThresholdPreviewParameters p{c, mode};
        return run<ThresholdPreview>(bpc, input.get(), output.get(), p);
    }
};

template <typename Pixel>
bool sameColour(const Pixel& a, const Pixel& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// The threshold image keeps the colour and scales the alpha: with thresholds at 60 % and 70 %
// the alpha runs from 0 to full across that tenth of the range at every depth.
TEST_F(ThresholdPreviewTest, ThresholdImageOfAGreyRamp) {
    auto check = [&](auto tag, Bpc bpc, int steps) {
        using Pixel = typename decltype(tag)::type;
        const double full = fullOf<Pixel>();
        RawWorld<Pixel> ramp(steps + 1, 2), out(steps + 1, 2);
        for (int i = 0; i <= steps; ++i) {
            const double v = full * i / steps;
            ramp.at(i, 0) = pixelOf<Pixel>(full, v, v, v);
            // The colour channels are not read for the alpha (channel Alpha would be), but kept.
            ramp.at(i, 1) = pixelOf<Pixel>(full, v, full - v, v / 2);
        }
        ThresholdCommonParameters c = defaultThreshold();
        ASSERT_EQ(preview(bpc, ramp, out, c, Glow::RenderingModeItem::Threshold), PF_Err_NONE);
        for (int i = 0; i <= steps; ++i) {
            const Pixel& p = ramp.at(i, 0);
            const double v = p.red;
            const double expected = std::clamp((v - 0.6 * full) / (0.1 * full), 0.0, 1.0) * full;
            const std::string what = "full " + std::to_string(full) + " v " + std::to_string(v);
            if (Morvel::PixelTraits<Pixel>::integral) {
                EXPECT_NEAR(out.at(i, 0).alpha, std::trunc(expected), 1) << what;
                if (v <= 0.6 * full || v >= 0.7 * full + 1) {
                    EXPECT_EQ(out.at(i, 0).alpha, v <= 0.6 * full ? 0 : full) << what;
                }
            } else {
                EXPECT_NEAR(out.at(i, 0).alpha, expected, 1e-5) << what;
            }
            EXPECT_TRUE(sameColour(out.at(i, 0), p)) << what;
            EXPECT_TRUE(sameColour(out.at(i, 1), ramp.at(i, 1))) << what;
        }
    };
    forEachDepth([&](auto tag, Bpc bpc) {
        check(tag, bpc, bpc == Morvel::Bpc8 ? 255 : bpc == Morvel::Bpc16 ? 4096 : 1000);
    });
}

// Pixels of the toned image at 8 bits, one case per row. The output starts as a marker colour,
// so a colour left unwritten shows.
TEST_F(ThresholdPreviewTest, TonedPixels) {
    const PF_Pixel marker{99, 1, 2, 3};
    struct Case {
        const char* name;
        PF_Pixel in;
        void (*settings)(ThresholdCommonParameters&);
        PF_Pixel expected;
        int tolerance;
    } cases[] = {
        {"no weight passes through with alpha 0",
         {255, 40, 50, 60},
         [](ThresholdCommonParameters&) {},
         {0, 40, 50, 60},
         0},
        {"white tint gives the input",
         {200, 250, 200, 190},
         [](ThresholdCommonParameters&) {},
         {200, 250, 200, 190},
         1},
        {"full blend gives the input",
         {180, 230, 210, 240},
         [](ThresholdCommonParameters& c) {
             c.toner = Glow::TonerItem::Fill;
             c.blendWithOriginal = 1;
             c.highlight = Color<float>(1, 0.2f, 0.9f, 0.1f);
         },
         {180, 230, 210, 240},
         1},
        {"boost keeps pure red",
         {255, 255, 0, 0},
         [](ThresholdCommonParameters& c) {
             c.channel = Glow::CHANNEL_ALPHA;
             c.boostLowLuminance = 1;
         },
         {255, 255, 0, 0},
         0},
        {"boost leaves black black",
         {128, 0, 0, 0},
         [](ThresholdCommonParameters& c) {
             c.channel = Glow::CHANNEL_ALPHA;
             c.threshold = 0.4;
             c.boostLowLuminance = 1;
         },
         {128, 0, 0, 0},
         0},
        {"tones 0: colour 0",
         {200, 255, 255, 255},
         [](ThresholdCommonParameters& c) { c.tones = static_cast<Glow::TonesItem>(0); },
         {200, 0, 0, 0},
         0},
        {"tones 7: colour 0",
         {200, 255, 255, 255},
         [](ThresholdCommonParameters& c) { c.tones = static_cast<Glow::TonesItem>(7); },
         {200, 0, 0, 0},
         0},
        {"alpha truncating to 0 keeps the colour bytes",
         {1, 240, 240, 240},
         [](ThresholdCommonParameters& c) { c.threshold = 0.99; },
         {0, marker.red, marker.green, marker.blue},
         0},
        {"fill without blend is the tone",
         {255, 250, 255, 240},
         [](ThresholdCommonParameters& c) {
             c.toner = Glow::TonerItem::Fill;
             c.highlight = Color<float>(1, 0.5f, 0.25f, 1);
         },
         {255, 127, 63, 255},
         1},
    };
    for (const auto& c : cases) {
        RawWorld<PF_Pixel> in(1, 1), out(1, 1);
        in.at(0, 0) = c.in;
        out.at(0, 0) = marker;
        ThresholdCommonParameters common = defaultThreshold();
        c.settings(common);
        ASSERT_EQ(preview(Morvel::Bpc8, in, out, common), PF_Err_NONE) << c.name;
        const PF_Pixel& o = out.at(0, 0);
        EXPECT_EQ(o.alpha, c.expected.alpha) << c.name;
        // "One step below": the colour is divided by the unrounded alpha and truncated.
        EXPECT_LE(o.red, c.expected.red) << c.name;
        EXPECT_GE(o.red + c.tolerance, c.expected.red) << c.name;
        EXPECT_LE(o.green, c.expected.green) << c.name;
        EXPECT_GE(o.green + c.tolerance, c.expected.green) << c.name;
        EXPECT_LE(o.blue, c.expected.blue) << c.name;
        EXPECT_GE(o.blue + c.tolerance, c.expected.blue) << c.name;
    }
}

// "Fill" ignores the colour: pixels of one luminance and alpha come out alike.
TEST_F(ThresholdPreviewTest, FillGivesEqualColoursToEqualChannelValues) {
    RawWorld<PF_Pixel> in(3, 1), out(3, 1);
    in.at(0, 0) = PF_Pixel{230, 255, 237, 0};
    in.at(1, 0) = PF_Pixel{230, 200, 248, 87};
    in.at(2, 0) = PF_Pixel{230, 215, 215, 215};
    for (int x = 0; x < 3; ++x)
        ASSERT_EQ((76 * in.at(x, 0).red + 150 * in.at(x, 0).green + 29 * in.at(x, 0).blue) / 255, 215);
    ThresholdCommonParameters c = defaultThreshold();
    c.toner = Glow::TonerItem::Fill;
    c.tones = Glow::TONES_DUOTONE;
    c.tonerGamma = 1.7;
    ASSERT_EQ(preview(Morvel::Bpc8, in, out, c), PF_Err_NONE);
    EXPECT_TRUE(sameColour(out.at(0, 0), out.at(1, 0)));
    EXPECT_TRUE(sameColour(out.at(0, 0), out.at(2, 0)));
    EXPECT_EQ(out.at(0, 0).alpha, out.at(1, 0).alpha);
}

// Duotone with black = white steps from shadow to highlight at that value; Tritone at rate 0.5
// is the midtone exactly ("Fill" shows the tone).
TEST_F(ThresholdPreviewTest, DuotoneStepAndTritoneMiddle) {
    RawWorld<PF_PixelFloat> in(5, 1), out(5, 1);
    const float values[] = {0.2f, 0.59f, 0.6f, 0.61f, 0.9f};
    for (int x = 0; x < 5; ++x) in.at(x, 0) = PF_PixelFloat{1, values[x], 0, 0};
    ThresholdCommonParameters c = defaultThreshold();
    c.channel = Glow::CHANNEL_RED;
    c.threshold = 0;
    c.thresholdSoftness = 0;
    c.toner = Glow::TonerItem::Fill;
    c.tones = Glow::TONES_DUOTONE;
    c.tonerBlack = c.tonerWhite = 0.6;
    c.shadow = Color<float>(1, 0, 0.5f, 1);
    c.highlight = Color<float>(1, 1, 0.25f, 0);
    ASSERT_EQ(preview(Morvel::Bpc32, in, out, c), PF_Err_NONE);
    for (int x = 0; x < 5; ++x) {
        const Color<float>& tone = values[x] >= 0.6f ? c.highlight : c.shadow;
        EXPECT_FLOAT_EQ(out.at(x, 0).red, tone.red) << values[x];
        EXPECT_FLOAT_EQ(out.at(x, 0).green, tone.green) << values[x];
    }
    c.tones = Glow::TONES_TRITONE;
    c.tonerBlack = 0;
    c.tonerWhite = 1;
    c.midtone = Color<float>(1, 0.3f, 0.7f, 0.1f);
    in.at(2, 0).red = 0.5f;
    ASSERT_EQ(preview(Morvel::Bpc32, in, out, c), PF_Err_NONE);
    EXPECT_EQ(out.at(2, 0).red, 0.3f);
    EXPECT_EQ(out.at(2, 0).green, 0.7f);
    EXPECT_EQ(out.at(2, 0).blue, 0.1f);
}

// A map of the input's size is read at each pixel's own position; an input one pixel wide reads
// the map's first column only.
TEST_F(ThresholdPreviewTest, TonerMapPositions) {
    ThresholdCommonParameters c = defaultThreshold();
    c.channel = Glow::CHANNEL_ALPHA;
    c.toner = Glow::TonerItem::Fill;
    c.tones = Glow::TONES_TONER_MAP;
    HostWorld<PF_Pixel> map(6, 4);
    RawWorld<PF_Pixel> in(6, 4), out(6, 4);
    randomImage(map, 11);
    fillWorld(in, PF_Pixel{255, 0, 0, 0});
    c.tonerMap = map.get();
    ASSERT_EQ(preview(Morvel::Bpc8, in, out, c), PF_Err_NONE);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            // The straight output is the map's colour times its alpha.
            const PF_Pixel& m = map.at(x, y);
            EXPECT_NEAR(out.at(x, y).green, m.green * m.alpha / 255.0, 1) << x << "," << y;
        }
    }
    RawWorld<PF_Pixel> column(1, 4), narrowOut(1, 4);
    fillWorld(column, PF_Pixel{255, 0, 0, 0});
    ASSERT_EQ(preview(Morvel::Bpc8, column, narrowOut, c), PF_Err_NONE);
    for (int y = 0; y < 4; ++y) {
        const PF_Pixel& m = map.at(0, y);
        EXPECT_NEAR(narrowOut.at(0, y).red, m.red * m.alpha / 255.0, 1) << y;
    }
}

TEST_F(ThresholdPreviewTest, FloatAlphaIsCappedAndColoursAreNot) {
    RawWorld<PF_PixelFloat> in(3, 1), out(3, 1);
    in.at(0, 0) = PF_PixelFloat{2.5f, 3, 1.5f, 0.5f};
    in.at(1, 0) = PF_PixelFloat{0.5f, 2, 2, 2};
    in.at(2, 0) = PF_PixelFloat{1e-7f, 2, 2, 2};
    fillWorld(out, PF_PixelFloat{0.25f, 9, 9, 9});
    ThresholdCommonParameters c = defaultThreshold();
    ASSERT_EQ(preview(Morvel::Bpc32, in, out, c), PF_Err_NONE);
    EXPECT_EQ(out.at(0, 0).alpha, 1.0f);
    EXPECT_FLOAT_EQ(out.at(0, 0).red, 3);
    EXPECT_FLOAT_EQ(out.at(0, 0).blue, 0.5f);
    EXPECT_EQ(out.at(1, 0).alpha, 0.5f);
    EXPECT_FLOAT_EQ(out.at(1, 0).green, 2);
    // An alpha of at most one millionth leaves the colour as it was.
    EXPECT_FLOAT_EQ(out.at(2, 0).alpha, 1e-7f);
    EXPECT_EQ(out.at(2, 0).red, 9);
}

// The toned image is the one-colour record made straight, within one step, wherever a colour
// is written.
TEST_F(ThresholdPreviewTest, TonedImageIsTheStraightRecord) {
    forEachDepth([&](auto tag, Bpc bpc) {
        using Pixel = typename decltype(tag)::type;
        const double full = fullOf<Pixel>();
        const bool integral = Morvel::PixelTraits<Pixel>::integral;
        RawWorld<Pixel> image(19, 7), out(19, 7);
        HostWorld<Pixel> map(5, 9);
        randomImage(image, 30 + bpc);
        randomImage(map, 40 + bpc);
        ThresholdCommonParameters base = defaultThreshold();
        base.threshold = 0.35;
        base.tonerGamma = 0.6;
        forEachToning(base, map.get(), [&](const ThresholdCommonParameters& c, const std::string& label) {
            std::vector<Glow::Color> records(size_t(19) * 7);
            Glow::ThresholdParameters<Glow::Color> p{c, &records};
            ASSERT_EQ(run<Glow::ThresholdNormal>(bpc, image.get(), nullptr, p), PF_Err_NONE);
            ASSERT_EQ(preview(bpc, image, out, c), PF_Err_NONE);
            int compared = 0;
            for (int y = 0; y < 7; ++y) {
                for (int x = 0; x < 19; ++x) {
                    const Glow::Color& e = records[size_t(y) * 19 + x];
                    const Pixel& o = out.at(x, y);
                    if (e.alpha <= 0 || o.alpha == 0 || (!integral && o.alpha <= 1e-6)) continue;
                    const std::string what = "bpc " + std::to_string(bpc) + " " + label + " at " + std::to_string(x) +
                                             "," + std::to_string(y);
                    auto expected = [&](double v) {
                        const double s = v / e.alpha;
                        return integral ? std::clamp(std::trunc(s), 0.0, full) : s;
                    };
                    const double step = integral ? 1 : 1e-4 * std::max(1.0, std::abs(e.red / e.alpha));
                    ASSERT_NEAR(o.red, expected(e.red), step) << what;
                    ASSERT_NEAR(o.green, expected(e.green), step) << what;
                    ASSERT_NEAR(o.blue, expected(e.blue), step) << what;
                    ASSERT_NEAR(o.alpha, integral ? std::trunc(e.alpha) : std::min(e.alpha, 1.0), 1e-6) << what;
                    ++compared;
                }
            }
            EXPECT_GT(compared, 10) << bpc << " " << label;
        });
    });
}

TEST_F(ThresholdPreviewTest, SamplingFailuresEndThePreview) {
    RawWorld<PF_Pixel16> in(10, 6), out(10, 6);
    HostWorld<PF_Pixel16> map(4, 4);
    fillWorld(in, PF_Pixel16{32768, 32768, 32768, 32768});
    randomImage(map, 2);
    ThresholdCommonParameters c = defaultThreshold();
    c.tones = Glow::TONES_TONER_MAP_SHADOW;
    c.tonerMap = map.get();
    host().faults().failCall("subpixel_sample16", 12, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(preview(Morvel::Bpc16, in, out, c), PF_Err_OUT_OF_MEMORY);
    host().faults().clear();
    suites_.reset();
    host().faults().makeSuiteMissing(kPFSampling16Suite, 1);
    c.tones = Glow::TONES_MONOTONE;
    EXPECT_EQ(preview(Morvel::Bpc16, in, out, c), PF_Err_BAD_CALLBACK_PARAM);
    host().faults().clear();
    suites_.reset();
    RawWorld<PF_Pixel16> smaller(10, 5);
    EXPECT_EQ(preview(Morvel::Bpc16, smaller, out, c), PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
