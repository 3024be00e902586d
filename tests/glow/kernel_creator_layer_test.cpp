#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "glow/glow_channel.h"
#include "glow/glow_normal.h"
#include "glow/stages/kernel_creator_layer.h"
#include "glow/stages/kernel_creators.h"
#include "glow/stages/kernel_size.h"
#include "library/fft/buffer.h"
#include "support/host_fixture.h"
#include "support/host_world.h"
#include "support/raw_world.h"

using Glow::GlowParameters;

namespace {

constexpr int kSize = 256;
constexpr int kHalf = kSize / 2;

GlowParameters layerParameters(std::shared_ptr<Morvel::World> layer, double blurRadius, double scaling) {
    GlowParameters p;
    p.blurType = Glow::BlurTypeItem::Normal;
    p.blurRadius = blurRadius;
    p.kernel = true;
    p.kernelLayer = std::move(layer);
    p.kernelIntensity = 1;
    p.kernelScaling = scaling;
    p.kernelNormalizing = true;
    p.glowWhite = 1;
    p.glowGamma = 1;
    p.glowAlphaWhite = 1;
    return p;
}

template <typename Pixel>
void fill(HostWorld<Pixel>& world, Pixel value) {
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) world.at(x, y) = value;
    }
}

class LayerKernelTest : public SuitesHostTest {
protected:
    // The layer creator alone, into a zero kernel.
    PF_Err buildNormal(GlowParameters& p, Morvel::Bpc bpc, Morvel::FFT::Buffer& kernel, int threads = 3) {
        kernel.init(kSize);
        Glow::KernelCreatorNormalKernel creator(&in_data_, suites(), bpc, threads, &p);
        return Glow::runKernelCreator(&in_data_, suites(), creator, PF_Err_NONE, kSize, kernel.rows());
    }
    // The three-kernel form: red, green and blue.
    PF_Err buildChannel(GlowParameters& p, Morvel::Bpc bpc, Morvel::FFT::Buffer (&kernels)[3], int threads = 2) {
        for (auto& k : kernels) k.init(kSize);
        Glow::KernelCreatorChannelKernel creator(&in_data_, suites(), bpc, threads, &p);
        return Glow::runKernelCreator(&in_data_, suites(), creator, PF_Err_NONE, kSize, kernels[0].rows(),
                                      kernels[1].rows(), kernels[2].rows());
    }
    double at(Morvel::FFT::Buffer& kernel, int dx, int dy) { return kernel.row(kHalf + dx)[2 * (kHalf + dy)]; }
};

double realSum(const Morvel::FFT::Buffer& kernel) {
    double sum = 0;
    for (int x = 0; x < kernel.size(); ++x) {
        for (int y = 0; y < kernel.size(); ++y) sum += kernel.row(x)[2 * y];
    }
    return sum;
}

TEST_F(LayerKernelTest, AWhiteLayerFillsTheKernelsSquare) {
    HostWorld<PF_Pixel> layer(64, 64);
    fill(layer, PF_Pixel{255, 255, 255, 255});
    GlowParameters p = layerParameters(std::make_shared<Morvel::World>(layer.get()), 20, 1);
    Morvel::FFT::Buffer kernel;
    ASSERT_EQ(buildNormal(p, Morvel::Bpc8, kernel), 0);
    EXPECT_NEAR(realSum(kernel), 1.0, 1e-9);
    const double inside = at(kernel, 0, 0);
    EXPECT_GT(inside, 0);
    for (int dx = -30; dx <= 30; ++dx) {
        for (int dy = -30; dy <= 30; ++dy) {
            if (std::abs(dx) <= 19 && std::abs(dy) <= 19) {
                ASSERT_NEAR(at(kernel, dx, dy), inside, 1e-15) << dx << ", " << dy;
            } else if (std::abs(dx) >= 21 || std::abs(dy) >= 21) {
                ASSERT_EQ(at(kernel, dx, dy), 0.0) << dx << ", " << dy;
            }
        }
    }
    // A layer twice as wide as high: kernel x follows the layer's columns.
    HostWorld<PF_Pixel> wide(64, 32);
    fill(wide, PF_Pixel{255, 255, 255, 255});
    GlowParameters q = layerParameters(std::make_shared<Morvel::World>(wide.get()), 20, 1);
    ASSERT_EQ(buildNormal(q, Morvel::Bpc8, kernel), 0);
    EXPECT_GT(at(kernel, 19, 0), 0);
    EXPECT_GT(at(kernel, -19, 9), 0);
    EXPECT_EQ(at(kernel, 0, 11), 0.0);
    EXPECT_EQ(at(kernel, 0, -11), 0.0);
    EXPECT_EQ(at(kernel, 21, 0), 0.0);
}

TEST_F(LayerKernelTest, OneLayerPixelLandsAtItsOffset) {
    for (Morvel::Bpc bpc : {Morvel::Bpc8, Morvel::Bpc16, Morvel::Bpc32}) {
        HostWorld<PF_Pixel> layer8(64, 64);
        HostWorld<PF_Pixel16> layer16(64, 64);
        HostWorld<PF_PixelFloat> layer32(64, 64);
        layer8.at(40, 28) = {255, 255, 255, 255};
        layer16.at(40, 28) = {32768, 32768, 32768, 32768};
        layer32.at(40, 28) = {1, 1, 1, 1};
        PF_LayerDef* worlds[] = {layer8.get(), layer16.get(), layer32.get()};
        GlowParameters p = layerParameters(std::make_shared<Morvel::World>(worlds[bpc]), 16, 1);
        Morvel::FFT::Buffer kernel;
        ASSERT_EQ(buildNormal(p, bpc, kernel), 0);
        int nonZero = 0;
        for (int x = 0; x < kSize; ++x) {
            for (int y = 0; y < kSize; ++y) nonZero += kernel.row(x)[2 * y] != 0;
        }
        EXPECT_EQ(nonZero, 1) << bpc;
        EXPECT_NEAR(at(kernel, 4, -2), 1.0, 1e-12) << bpc;
    }
}

TEST_F(LayerKernelTest, GainFollowsNormalizingAndTheLayer) {
    HostWorld<PF_PixelFloat> grey(64, 64);
    fill(grey, PF_PixelFloat{1, 0.5f, 0.5f, 0.5f});
    // Off: the sum is intensity times the layer's weight.
    GlowParameters p = layerParameters(std::make_shared<Morvel::World>(grey.get()), 20, 1);
    p.kernelNormalizing = false;
    p.kernelIntensity = 0.5;
    Morvel::FFT::Buffer kernel;
    ASSERT_EQ(buildNormal(p, Morvel::Bpc32, kernel), 0);
    EXPECT_NEAR(at(kernel, 0, 0), 0.5 * 0.5, 1e-7);
    // A tiny scaling: the centre sample alone, averaged over at most ten layer pixels around it.
    p.kernelScaling = 1e-12;
    ASSERT_EQ(buildNormal(p, Morvel::Bpc32, kernel), 0);
    EXPECT_NEAR(realSum(kernel), 0.25, 1e-7);
    EXPECT_NEAR(at(kernel, 0, 0), 0.25, 1e-7);
    // A transparent layer adds nothing.
    HostWorld<PF_PixelFloat> clear(16, 16);
    GlowParameters q = layerParameters(std::make_shared<Morvel::World>(clear.get()), 20, 1);
    ASSERT_EQ(buildNormal(q, Morvel::Bpc32, kernel), 0);
    EXPECT_EQ(realSum(kernel), 0.0);
}

TEST_F(LayerKernelTest, ChannelKernelsKeepTheLayersColour) {
    // Float layers, so that no rounding of the samples blurs the ratios.
    struct Case {
        const char* name;
        PF_PixelFloat pixel;
        double expected[3];  // sums of the three kernels
    } cases[] = {
        {"red", {1, 1, 0, 0}, {1, 0, 0}},
        {"grey", {1, 0.5f, 0.5f, 0.5f}, {1, 1, 1}},
        {"orange", {1, 1, 0.5f, 0}, {1, 0.5, 0}},
    };
    for (const auto& c : cases) {
        HostWorld<PF_PixelFloat> layer(32, 32);
        fill(layer, c.pixel);
        GlowParameters p = layerParameters(std::make_shared<Morvel::World>(layer.get()), 20, 1);
        Morvel::FFT::Buffer kernels[3];
        ASSERT_EQ(buildChannel(p, Morvel::Bpc32, kernels), 0);
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(realSum(kernels[j]), c.expected[j], 1e-9) << c.name << " " << j;
    }
}

// A grey layer has the same weight in every form (luminance weights add up to 1), so the one kernel
// and each of the three must agree, sum to 1, and hold nothing where the samples fall on the
// non-finite pixels.
TEST_F(LayerKernelTest, NonFiniteLayerPixelsAddNothingToEitherForm) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        PF_PixelFloat bad;
    } cases[] = {
        {"NaN colour", {1, nan, nan, nan}},
        {"infinite red", {1, inf, 0.5f, 0.5f}},
        {"negative infinite blue", {1, 0.5f, 0.5f, -inf}},
        {"infinite alpha", {inf, 0.5f, 0.5f, 0.5f}},
        {"NaN alpha", {nan, 0.5f, 0.5f, 0.5f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Blur radius 16 over 32 layer pixels: kernel sample (dx, dy) reads layer pixel (16 + dx, 16 + dy).
        HostWorld<PF_PixelFloat> layer(32, 32);
        fill(layer, PF_PixelFloat{1, 0.5f, 0.5f, 0.5f});
        for (int y = 11; y <= 13; ++y) {
            for (int x = 19; x <= 21; ++x) layer.at(x, y) = c.bad;
        }
        GlowParameters p = layerParameters(std::make_shared<Morvel::World>(layer.get()), 16, 1);
        Morvel::FFT::Buffer normal;
        ASSERT_EQ(buildNormal(p, Morvel::Bpc32, normal), 0);
        Morvel::FFT::Buffer kernels[3];
        ASSERT_EQ(buildChannel(p, Morvel::Bpc32, kernels), 0);
        EXPECT_NEAR(realSum(normal), 1.0, 1e-9);
        EXPECT_EQ(at(normal, 4, -4), 0.0);
        EXPECT_GT(at(normal, -4, 4), 0.0);
        int differing = 0;
        for (int x = 0; x < kSize; ++x) {
            for (int y = 0; y < kSize; ++y) {
                const double one = normal.row(x)[2 * y];
                for (const auto& k : kernels) differing += std::abs(k.row(x)[2 * y] - one) <= 1e-12 ? 0 : 1;
            }
        }
        EXPECT_EQ(differing, 0);
    }
}

TEST_F(LayerKernelTest, ALargeLayerKernelRaisesTheRadiusPastTheImage) {
    HostWorld<PF_Pixel> layer(8, 8);
    in_data_.width = in_data_.height = 100;
    GlowParameters p = layerParameters(std::make_shared<Morvel::World>(layer.get()), 200, 5);
    p.diffusion = true;
    p.diffusionConvergence = 10;
    p.diffusionQuality = Glow::DiffusionQualityItem::Low;
    auto creators = Glow::getKernelCreatorsNormal(&in_data_, suites(), Morvel::Bpc8, 2, &p);
    ASSERT_EQ(creators.size(), 2u);
    const int R = Glow::kernelRadius(&in_data_, creators);
    EXPECT_EQ(R, 1000);
    EXPECT_EQ(Glow::getKernelSize(R, 100, 100), 4096);
    // Without the layer kernel the diffusion stays within the image.
    p.kernel = false;
    EXPECT_EQ(Glow::kernelRadius(&in_data_, Glow::getKernelCreatorsNormal(&in_data_, suites(), Morvel::Bpc8, 2, &p)),
              100);
}

TEST_F(LayerKernelTest, SamplingFailuresEndTheRender) {
    const int w = 60, h = 40;
    in_data_.width = w;
    in_data_.height = h;
    HostWorld<PF_Pixel16> layer(16, 16);
    fill(layer, PF_Pixel16{32768, 32768, 32768, 32768});
    std::vector<Glow::Color> image(static_cast<size_t>(w) * h, Glow::Color{1, 1, 1, 1});
    RawWorld<PF_Pixel16> glow(w, h);
    GlowParameters p = layerParameters(std::make_shared<Morvel::World>(layer.get()), 10, 1);
    // 256 x 256 samples: the 500th fails in a band on the host's threads, the 30000th on the calling one.
    host().faults().failCall("area_sample16", 500, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc16, glow.get(), 4, &p, &image).execute(),
              PF_Err_OUT_OF_MEMORY);
    std::vector<Glow::ChannelColor> channels(static_cast<size_t>(w) * h, Glow::ChannelColor{1, 1, 1, 1, 1, 1});
    host().faults().failCall("area_sample16", 30000, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(Glow::GlowChannel(&in_data_, suites(), Morvel::Bpc16, glow.get(), 1, &p, &channels).execute(),
              PF_Err_INTERNAL_STRUCT_DAMAGED);
    // A render's own handler, which has not taken the suite yet.
    host().faults().makeSuiteMissing(kPFSampling16Suite, kPFSamplingSuiteVersion1);
    AEGP_SuiteHandler fresh(in_data_.pica_basicP);
    EXPECT_EQ(Glow::GlowNormal(&in_data_, fresh, Morvel::Bpc16, glow.get(), 4, &p, &image).execute(),
              PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
