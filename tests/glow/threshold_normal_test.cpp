#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "glow/threshold_channel.h"
#include "glow/threshold_normal.h"
#include "glow/threshold_stage_support.h"

using Glow::ChannelColor;
using Glow::ThresholdChannel;
using Glow::ThresholdCommonParameters;
using Glow::ThresholdNormal;
using Glow::ThresholdParameters;
using Morvel::Bpc;
using Morvel::Color;

namespace {

class ThresholdNormalTest : public ThresholdStageTest {
protected:
    // The records of one image under the given settings.
    template <typename Record, typename Pixel>
    std::vector<Record> records(Bpc bpc, RawWorld<Pixel>& image, const ThresholdCommonParameters& common,
                                int threads = 0) {
        std::vector<Record> out(size_t(image.width()) * image.height());
        // NaN in every field: the stage gets its records unwritten, so any it leaves shows.
        std::memset(static_cast<void*>(out.data()), 0xff, out.size() * sizeof(Record));
        ThresholdParameters<Record> p{common, &out};
        using Stage = std::conditional_t<std::is_same_v<Record, Glow::Color>, ThresholdNormal, ThresholdChannel>;
        EXPECT_EQ((run<Stage>(bpc, image.get(), nullptr, p, threads)), PF_Err_NONE);
        return out;
    }
};

// The default threshold rises from 60 % to 70 % of full scale: a(v) = (v − 153) / 25.5 at 8 bits.
TEST_F(ThresholdNormalTest, GreyRampWithTheDefaults) {
    RawWorld<PF_Pixel> ramp(256, 1);
    for (int v = 0; v < 256; ++v) ramp.at(v, 0) = pixelOf<PF_Pixel>(255, v, v, v);
    const auto out = records<Glow::Color>(Morvel::Bpc8, ramp, defaultThreshold());
    for (int v = 0; v < 256; ++v) {
        const double a = std::clamp((v - 153) / 25.5, 0.0, 1.0);
        EXPECT_NEAR(out[v].alpha, 255 * a, 1e-9) << v;
        // A white "Tint" keeps the grey, premultiplied.
        EXPECT_NEAR(out[v].red, v * 255 * a, 1e-6) << v;
        EXPECT_EQ(out[v].red, out[v].blue) << v;
        if (v <= 153) {
            EXPECT_EQ(out[v].alpha, 0) << v;
        }
        if (v >= 179) {
            EXPECT_EQ(out[v].alpha, 255) << v;
        }
    }
}

// One opaque or transparent pixel at each depth, against values worked out by hand.
TEST_F(ThresholdNormalTest, SinglePixelRecords) {
    struct Case {
        const char* name;
        double alpha, red, green, blue;  // in units of full scale
        void (*settings)(ThresholdCommonParameters&);
        Glow::Color expected;  // in units of full scale (colours of full², alpha of full)
    } cases[] = {
        {"below the threshold stays zero", 1, 0.5, 0.5, 0.5, [](ThresholdCommonParameters&) {}, {0, 0, 0, 0}},
        {"transparent with weight", 0, 1, 1, 1, [](ThresholdCommonParameters&) {}, {0, 0, 0, 0}},
        {"boost on black",
         1,
         0,
         0,
         0,
         [](ThresholdCommonParameters& c) {
             c.channel = Glow::CHANNEL_ALPHA;
             c.boostLowLuminance = 1;
         },
         {0, 0, 0, 1}},
        {"tint blend 1 is the pixel",
         1,
         1,
         0,
         1,
         [](ThresholdCommonParameters& c) {
             c.channel = Glow::CHANNEL_ALPHA;
             c.blendWithOriginal = 1;
             c.highlight = Color<float>(1, 0, 0, 0);
         },
         {1, 0, 1, 1}},
        {"tones 0 write the alpha only",
         1,
         1,
         1,
         1,
         [](ThresholdCommonParameters& c) { c.tones = static_cast<Glow::TonesItem>(0); },
         {0, 0, 0, 1}},
        {"tones 7 write the alpha only",
         1,
         1,
         1,
         1,
         [](ThresholdCommonParameters& c) { c.tones = static_cast<Glow::TonesItem>(7); },
         {0, 0, 0, 1}},
    };
    auto check = [&](auto tag, Bpc bpc, const Case& c) {
        using Pixel = typename decltype(tag)::type;
        const double full = fullOf<Pixel>();
        RawWorld<Pixel> image(1, 1);
        image.at(0, 0) = pixelOf<Pixel>(c.alpha * full, c.red * full, c.green * full, c.blue * full);
        ThresholdCommonParameters common = defaultThreshold();
        c.settings(common);
        const auto e = records<Glow::Color>(bpc, image, common)[0];
        const std::string what = std::string(c.name) + " at full " + std::to_string(full);
        EXPECT_NEAR(e.red, c.expected.red * full * full, 1e-9 * full * full) << what;
        EXPECT_NEAR(e.green, c.expected.green * full * full, 1e-9 * full * full) << what;
        EXPECT_NEAR(e.blue, c.expected.blue * full * full, 1e-9 * full * full) << what;
        EXPECT_NEAR(e.alpha, c.expected.alpha * full, 1e-9 * full) << what;
    };
    for (const auto& c : cases) forEachDepth([&](auto tag, Bpc bpc) { check(tag, bpc, c); });
}

TEST_F(ThresholdNormalTest, FillWithBoostLiftsPureRedByItsLuma) {
    for (double b : {0.0, 0.5, 1.0}) {
        RawWorld<PF_Pixel> image(1, 1);
        image.at(0, 0) = pixelOf<PF_Pixel>(200, 255, 255, 255);
        ThresholdCommonParameters c = defaultThreshold();
        c.toner = Glow::TonerItem::Fill;
        c.highlight = Color<float>(1, 1, 0, 0);
        c.boostLowLuminance = b;
        const auto e = records<Glow::Color>(Morvel::Bpc8, image, c)[0];
        EXPECT_NEAR(e.red, 255 * ((255 / 76.245 - 1) * b + 1) * 200, 1e-9) << b;
        EXPECT_EQ(e.green, 0) << b;
        EXPECT_EQ(e.alpha, 200) << b;
    }
}

// With "Fill" and no blend the record is the tone times the alpha, so the tone shows directly.
TEST_F(ThresholdNormalTest, TritoneMixesByTheRate) {
    struct Case {
        double rate;
        double red, green, blue;
    } cases[] = {{0.5, 0, 1, 1}, {1, 1, 1, 1}, {0, 0, 0.5, 1}, {0.75, 0.5, 1, 1}, {0.25, 0, 0.75, 1}};
    RawWorld<PF_PixelFloat> image(5, 1);
    for (int i = 0; i < 5; ++i) image.at(i, 0) = PF_PixelFloat{1, float(cases[i].rate), 0, 0};
    ThresholdCommonParameters c = defaultThreshold();
    c.channel = Glow::CHANNEL_RED;
    c.threshold = 0;
    c.thresholdSoftness = 0;
    c.toner = Glow::TonerItem::Fill;
    c.tones = Glow::TONES_TRITONE;
    const auto out = records<Glow::Color>(Morvel::Bpc32, image, c);
    for (int i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(out[i].red, cases[i].red) << cases[i].rate;
        EXPECT_DOUBLE_EQ(out[i].green, cases[i].green) << cases[i].rate;
        EXPECT_DOUBLE_EQ(out[i].blue, cases[i].blue) << cases[i].rate;
    }
}

// The map's colour shows through "Fill" of "Toner Map": its components times its alpha.
TEST_F(ThresholdNormalTest, TonerMapIsSampledAcrossTheSource) {
    ThresholdCommonParameters c = defaultThreshold();
    c.channel = Glow::CHANNEL_ALPHA;
    c.toner = Glow::TonerItem::Fill;
    c.tones = Glow::TONES_TONER_MAP;
    const PF_PixelFloat mapped{0.5f, 1.0f, 0.5f, 0.25f};
    // A map one pixel wide and high runs from 0 to 1 across a source of five: the host
    // interpolates towards the transparent outside, every channel by the same factor.
    HostWorld<PF_PixelFloat> narrow(1, 1);
    RawWorld<PF_PixelFloat> image(5, 1);
    narrow.at(0, 0) = mapped;
    fillWorld(image, PF_PixelFloat{1, 0, 0, 0});
    c.tonerMap = narrow.get();
    auto out = records<Glow::Color>(Morvel::Bpc32, image, c);
    for (int x = 0; x < 5; ++x) {
        const double keep = 1 - x / 4.0;
        EXPECT_NEAR(out[x].red, mapped.red * mapped.alpha * keep * keep, 1e-6) << x;
        EXPECT_NEAR(out[x].blue, mapped.blue * mapped.alpha * keep * keep, 1e-6) << x;
    }
    // A map of the source's size is read at each pixel's own position.
    HostWorld<PF_PixelFloat> same(4, 3);
    RawWorld<PF_PixelFloat> source(4, 3);
    randomImage(same, 7);
    fillWorld(source, PF_PixelFloat{1, 0, 0, 0});
    c.tonerMap = same.get();
    out = records<Glow::Color>(Morvel::Bpc32, source, c);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const PF_PixelFloat& m = same.at(x, y);
            EXPECT_FLOAT_EQ(out[y * 4 + x].green, m.green * m.alpha) << x << "," << y;
        }
    }
}

// Reading the rate from the alpha instead of the luminance moves a duotone from shadow to
// highlight while the weight still comes from the luminance.
TEST_F(ThresholdNormalTest, ADifferentTonerChannelChangesOnlyTheTone) {
    RawWorld<PF_Pixel> image(16, 4);
    randomImage(image, 24);
    ThresholdCommonParameters c = defaultThreshold();
    c.threshold = 0.3;
    c.tones = Glow::TONES_DUOTONE;
    c.toner = Glow::TonerItem::Fill;
    const auto own = records<Glow::Color>(Morvel::Bpc8, image, c);
    c.useDifferentChannel = true;
    c.tonerChannel = Glow::CHANNEL_ALPHA;
    const auto other = records<Glow::Color>(Morvel::Bpc8, image, c);
    int toned = 0;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 16; ++x) {
            const auto& o = other[y * 16 + x];
            EXPECT_EQ(own[y * 16 + x].alpha, o.alpha);
            if (o.alpha == 0) continue;
            ++toned;
            // "Fill" of highlight white and shadow (0, 0.5, 1) at the rate alpha / 255.
            const double r = image.at(x, y).alpha * 0.00392156862745098;
            EXPECT_NEAR(o.red, 255 * r * o.alpha, 1e-6) << x << "," << y;
            EXPECT_NEAR(o.green, 255 * (r + 0.5 * (1 - r)) * o.alpha, 1e-6) << x << "," << y;
        }
    }
    EXPECT_GT(toned, 10);
}

// The three-channel stage is the one-colour stage with its alpha written three times.
TEST_F(ThresholdNormalTest, ChannelRecordsEqualNormalRecords) {
    forEachDepth([&](auto tag, Bpc bpc) {
        using Pixel = typename decltype(tag)::type;
        RawWorld<Pixel> image(23, 9);
        HostWorld<Pixel> map(7, 5);
        randomImage(image, 3 + bpc);
        randomImage(map, 4 + bpc);
        ThresholdCommonParameters base = defaultThreshold();
        base.threshold = 0.4;
        base.tonerGamma = 2.2;
        forEachToning(base, map.get(), [&](const ThresholdCommonParameters& c, const std::string& label) {
            const auto normal = records<Glow::Color>(bpc, image, c);
            const auto channel = records<ChannelColor>(bpc, image, c);
            int weighted = 0;
            for (size_t i = 0; i < normal.size(); ++i) {
                const auto& n = normal[i];
                const auto& k = channel[i];
                const std::string what = "bpc " + std::to_string(bpc) + " " + label + " #" + std::to_string(i);
                ASSERT_EQ(k.red, n.red) << what;
                ASSERT_EQ(k.green, n.green) << what;
                ASSERT_EQ(k.blue, n.blue) << what;
                ASSERT_EQ(k.redAlpha, n.alpha) << what;
                ASSERT_EQ(k.greenAlpha, k.redAlpha) << what;
                ASSERT_EQ(k.blueAlpha, k.redAlpha) << what;
                weighted += n.alpha > 0;
            }
            EXPECT_GT(weighted, 20) << bpc << " " << label;
        });
    });
}

// A band stops sampling at its first failure and returns it; a missing suite is the band's 516.
TEST_F(ThresholdNormalTest, SamplingFailuresEndTheStage) {
    struct Case {
        const char* name;
        Bpc bpc;
        const char* function;
        const char* suite;
    } cases[] = {{"8-bit", Morvel::Bpc8, "subpixel_sample", kPFSampling8Suite},
                 {"16-bit", Morvel::Bpc16, "subpixel_sample16", kPFSampling16Suite},
                 {"float", Morvel::Bpc32, "subpixel_sample_float", kPFSamplingFloatSuite}};
    auto runDepth = [&](auto tag, const Case& c, int threads) {
        using Pixel = typename decltype(tag)::type;
        RawWorld<Pixel> image(12, 10);
        HostWorld<Pixel> map(6, 6);
        fillWorld(image, pixelOf<Pixel>(fullOf<Pixel>(), fullOf<Pixel>(), fullOf<Pixel>(), fullOf<Pixel>()));
        randomImage(map, 5);
        ThresholdCommonParameters common = defaultThreshold();
        common.tones = Glow::TONES_TONER_MAP_HIGHLIGHT;
        common.tonerMap = map.get();
        std::vector<Glow::Color> out(120);
        ThresholdParameters<Glow::Color> p{common, &out};
        return run<ThresholdNormal>(c.bpc, image.get(), nullptr, p, threads);
    };
    auto runCase = [&](const Case& c, int threads) {
        return Morvel::withPixelType(c.bpc, [&](auto tag) { return runDepth(tag, c, threads); });
    };
    for (const auto& c : cases) {
        for (int threads : {1, 0}) {
            host().faults().clear();
            host().faults().failCall(c.function, 37, PF_Err_OUT_OF_MEMORY);
            EXPECT_EQ(runCase(c, threads), PF_Err_OUT_OF_MEMORY) << c.name << " threads " << threads;
            // One band: nothing is sampled after the failure.
            if (threads == 1) {
                EXPECT_EQ(host().faults().calls(c.function), 37) << c.name;
            }
            host().faults().clear();
        }
        // The suite is asked for although no map is used.
        suites_.reset();
        host().faults().makeSuiteMissing(c.suite, 1);
        EXPECT_EQ(runCase(c, 1), PF_Err_BAD_CALLBACK_PARAM) << c.name;
        host().faults().clear();
        suites_.reset();
    }
}

TEST_F(ThresholdNormalTest, AVectorShorterThanTheImageIsRefused) {
    RawWorld<PF_Pixel> image(8, 8);
    fillWorld(image, pixelOf<PF_Pixel>(255, 255, 255, 255));
    std::vector<Glow::Color> out(63);
    ThresholdParameters<Glow::Color> p{defaultThreshold(), &out};
    EXPECT_EQ(run<ThresholdNormal>(Morvel::Bpc8, image.get(), nullptr, p, 1), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(out.back().alpha, 0);
}

}  // namespace
