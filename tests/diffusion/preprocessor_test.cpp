#include "diffusion/preprocessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "glow/stages/preprocessor.h"
#include "library/filter/iterate.h"
#include "support/host_fixture.h"
#include "support/raw_world.h"

using Morvel::Color;

namespace {

class DiffusionPreprocessorTest : public SuitesHostTest {
protected:
    template <typename Stage, typename Settings>
    PF_Err run(Morvel::Bpc bpc, PF_LayerDef* from, PF_LayerDef* to, Settings& settings) {
        Stage stage(&in_data_, suites(), bpc, from, to, &settings);
        return Morvel::iterateGeneric(&in_data_, suites(), stage, PF_Iterations_ONCE_PER_PROCESSOR);
    }
};

Diffusion::DetailParameters identity() { return {Color<float>(0, 0, 1, 1), 0, 1, 1, 0, 1}; }

template <typename Pixel>
bool samePixel(const Pixel& a, const Pixel& b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

template <typename Pixel>
void randomPixels(RawWorld<Pixel>& world, double full, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> channel(0, full);
    using T = decltype(Pixel{}.alpha);
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            const double a = (x * 3 + y) % 5 == 0 ? 0 : channel(rng);
            world.at(x, y) = Pixel{T(a), T(channel(rng)), T(channel(rng)), T(channel(rng))};
        }
    }
}

// The diffusion's details are the glow's preprocessing with the mask off: pixel for pixel the same
// at every depth, and pixels with nothing in them are left as they were.
TEST_F(DiffusionPreprocessorTest, MatchesTheGlowsStageWithoutAMask) {
    struct Case {
        const char* name;
        Diffusion::DetailParameters details;
    } cases[] = {
        {"hue", {Color<float>(0, 40, 1, 1), 0, 1, 1, 0, 1}},
        {"lightness and saturation", {Color<float>(0, 0, 1.3f, 0.2f), 0, 1, 1, 0, 1}},
        {"levels", {Color<float>(0, 0, 1, 1), 0.1, 0.8, 1.7, 0, 1}},
        {"alpha levels", {Color<float>(0, 0, 1, 1), 0, 1, 1, 0.2, 0.6}},
        {"everything", {Color<float>(0, -25, 0.9f, 1.4f), -0.1, 0.9, 0.6, 0.05, 1.2}},
    };
    auto check = [&](auto tag, Morvel::Bpc bpc, double full, auto sentinel) {
        using Pixel = decltype(tag);
        RawWorld<Pixel> source(19, 13), ours(19, 13), glows(19, 13);
        randomPixels(source, full, 11);
        for (auto& c : cases) {
            for (int y = 0; y < 13; ++y) {
                for (int x = 0; x < 19; ++x) ours.at(x, y) = glows.at(x, y) = sentinel;
            }
            Glow::GlowParameters::Preprocessing glow;
            glow.hls = c.details.hls;
            glow.black = c.details.black;
            glow.white = c.details.white;
            glow.gamma = c.details.gamma;
            glow.alphaBlack = c.details.alphaBlack;
            glow.alphaWhite = c.details.alphaWhite;
            ASSERT_EQ(run<Diffusion::Preprocessor>(bpc, source.get(), ours.get(), c.details), PF_Err_NONE) << c.name;
            ASSERT_EQ(run<Glow::Preprocessor>(bpc, source.get(), glows.get(), glow), PF_Err_NONE) << c.name;
            for (int y = 0; y < 13; ++y) {
                for (int x = 0; x < 19; ++x) {
                    ASSERT_TRUE(samePixel(ours.at(x, y), glows.at(x, y))) << c.name << " " << x << "," << y;
                    if (source.at(x, y).alpha == 0) {
                        ASSERT_TRUE(samePixel(ours.at(x, y), sentinel)) << c.name;
                    }
                }
            }
        }
    };
    check(PF_Pixel{}, Morvel::Bpc8, 255, PF_Pixel{7, 7, 7, 7});
    check(PF_Pixel16{}, Morvel::Bpc16, 32768, PF_Pixel16{7, 7, 7, 7});
    check(PF_PixelFloat{}, Morvel::Bpc32, 1.0, PF_PixelFloat{0.7f, 0.7f, 0.7f, 0.7f});
}

TEST_F(DiffusionPreprocessorTest, AnHdrRedLosesItsSaturationWithoutBecomingNaN) {
    RawWorld<PF_PixelFloat> world(1, 1);
    world.at(0, 0) = PF_PixelFloat{1.0f, 2.0f, 0.0f, 0.0f};
    Diffusion::DetailParameters details = identity();
    details.hls = Color<float>(0, 0, 1, 0);
    ASSERT_EQ(run<Diffusion::Preprocessor>(Morvel::Bpc32, world.get(), world.get(), details), PF_Err_NONE);
    const PF_PixelFloat& p = world.at(0, 0);
    EXPECT_FALSE(std::isnan(p.red) || std::isnan(p.green) || std::isnan(p.blue));
    // Grey at the pixel's lightness, (2 + 0) / 2.
    EXPECT_FLOAT_EQ(p.red, 1.0f);
    EXPECT_FLOAT_EQ(p.green, 1.0f);
    EXPECT_FLOAT_EQ(p.blue, 1.0f);
    EXPECT_EQ(p.alpha, 1.0f);
}

TEST(DiffusionDetails, IdentityChangesNothingAndATenThousandthDoes) {
    EXPECT_FALSE(Diffusion::changesAnything(identity()));
    struct Case {
        const char* name;
        void (*change)(Diffusion::DetailParameters&);
    } cases[] = {
        {"hue", [](Diffusion::DetailParameters& d) { d.hls.red = 0.001f; }},
        {"saturation", [](Diffusion::DetailParameters& d) { d.hls.blue = 0.5f; }},
        {"gamma", [](Diffusion::DetailParameters& d) { d.gamma = 1.001; }},
        {"white", [](Diffusion::DetailParameters& d) { d.white = 0.999; }},
        {"alpha black", [](Diffusion::DetailParameters& d) { d.alphaBlack = 0.001; }},
    };
    for (const Case& c : cases) {
        Diffusion::DetailParameters d = identity();
        c.change(d);
        EXPECT_TRUE(Diffusion::changesAnything(d)) << c.name;
    }
}

}  // namespace
