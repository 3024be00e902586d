#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "glow/stages/diffusion_profile.h"
#include "glow/stages/kernel_creator_beam.h"
#include "glow/stages/kernel_creator_diffusion.h"
#include "glow/stages/kernel_creators.h"
#include "library/fft/buffer.h"
#include "support/host_fixture.h"

using Glow::GlowParameters;

namespace {

constexpr double kPi = 3.14159265358979323846;

GlowParameters kernelParameters() {
    GlowParameters p;
    p.blurRadius = 20;
    p.diffusion = true;
    p.diffusionConvergence = 10;
    p.diffusionQuality = Glow::DiffusionQualityItem::Low;
    p.beamNumber = 4;
    p.beamIntensity = 1;
    p.beamScaling = 1;
    p.beamNormalizing = true;
    p.color1 = {1, 0.7f, 0.2f, 0.1f};
    p.color2 = {1, 0.2f, 0.6f, 0.3f};
    p.color3 = {1, 0.1f, 0.2f, 0.6f};
    p.color1Radius = 0.5;
    p.color2Radius = 1;
    p.color3Radius = 1.5;
    return p;
}

// ---- free functions against independent calculations

// Simpson's rule over the radius of 2 pi d (k d + 0.5)^-2.
double discIntegral(double k, double r) {
    const int n = 200000;
    const double h = r / n;
    double sum = 0;
    for (int i = 0; i <= n; ++i) {
        const double d = i * h;
        const double f = 2 * kPi * d / ((k * d + 0.5) * (k * d + 0.5));
        sum += f * (i == 0 || i == n ? 1 : (i % 2 ? 4 : 2));
    }
    return sum * h / 3;
}

TEST(DiffusionFunctions, IntegralMatchesQuadrature) {
    struct Case {
        double k, r;
    } cases[] = {{0.175, 20}, {1.0, 1e-3}, {6.175, 20}, {0.01, 500}, {3.5, 1}};
    for (const auto& c : cases) {
        EXPECT_NEAR(Glow::calculateDiffusionIntegral(c.k, c.r), discIntegral(c.k, c.r), 1e-9)
            << "k " << c.k << " r " << c.r;
    }
}

TEST(DiffusionFunctions, CoefficientAndSufficientRadius) {
    EXPECT_DOUBLE_EQ(Glow::getDiffusionCoeff(20, 10), 0.175);
    EXPECT_DOUBLE_EQ(Glow::getDiffusionCoeff(20, 0), 63.5 / 20);
    EXPECT_EQ(Glow::getDiffusionCoeff(1e-7, 10), 1.0);
    EXPECT_EQ(Glow::getDiffusionCoeff(0, 3), 1.0);
    struct Case {
        const char* name;
        double exposure, r;
    } same[] = {{"exposure 0", 0, 20}, {"negative exposure", -3, 20}, {"tiny radius", 0, 1e-7}};
    for (const auto& c : same)
        EXPECT_DOUBLE_EQ(Glow::getSufficientBlurRadius(nullptr, c.exposure, c.r, 10), c.r) << c.name;
    // Beyond r the profile has fallen by the exposure factor.
    for (double exposure : {1.0, 4.0, 21.5}) {
        const double R = Glow::getSufficientBlurRadius(nullptr, exposure, 20, 10);
        const double k = 0.175;
        auto w = [k](double d) { return std::pow(k * d + 0.5, -2.0); };
        EXPECT_GT(R, 20);
        EXPECT_NEAR(w(R) * std::pow(1.37035095691681, exposure) / w(20), 1.0, 1e-12) << exposure;
    }
}

TEST(DiffusionFunctions, ProfileKeepsTheValueAtRAndFadesToZeroAtTheReach) {
    auto pow = [](double x, double y) { return std::pow(x, y); };
    const Glow::DiffusionProfile profile{0.175, 20, 30};
    const double atR = 1 / std::pow(0.175 * 20 + 0.5, 2);
    EXPECT_DOUBLE_EQ(profile.value(20, pow), atR);
    EXPECT_EQ(profile.value(30, pow), 0.0);
    EXPECT_EQ(profile.value(30.5, pow), 0.0);
    EXPECT_NEAR(profile.value(25, pow), 0.5 / std::pow(0.175 * 25 + 0.5, 2), 1e-15);
    EXPECT_EQ(profile.value(0, pow), 1.0);  // 4 at the centre, clamped
}

TEST(BeamDirections, FourRaysAtPhaseZeroFollowTheAxes) {
    const auto directions = Glow::createBeamDirections(4, 0);
    ASSERT_EQ(directions.size(), 4u);
    const double expected[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(directions[i].cos, expected[i][0], 1e-15) << i;
        EXPECT_NEAR(directions[i].sin, expected[i][1], 1e-15) << i;
    }
    EXPECT_TRUE(Glow::createBeamDirections(0, 1).empty());
}

// ---- kernels built through the stand-in

class KernelTest : public SuitesHostTest {
protected:
    // The creators, then the divisor, as execute runs them; returns the divisor's total.
    double buildNormal(GlowParameters& p, int threads, Morvel::FFT::Buffer& kernel, int size = 256) {
        kernel.init(size);
        auto creators = Glow::getKernelCreatorsNormal(&in_data_, suites(), Morvel::Bpc32, threads, &p);
        PF_Err err = PF_Err_NONE;
        for (auto& c : creators) err = Glow::runKernelCreator(&in_data_, suites(), *c, err, size, kernel.rows());
        Glow::KernelCreatorNormalDivisor divisor(&in_data_, suites(), Morvel::Bpc32, threads, &p);
        err = Glow::runKernelCreator(&in_data_, suites(), divisor, err, size, kernel.rows());
        EXPECT_EQ(err, 0);
        return divisor.total();
    }
    std::vector<double> buildChannel(GlowParameters& p, int threads, Morvel::FFT::Buffer (&kernels)[3]) {
        for (auto& k : kernels) k.init(256);
        auto creators = Glow::getKernelCreatorsChannel(&in_data_, suites(), Morvel::Bpc32, threads, &p);
        PF_Err err = PF_Err_NONE;
        for (auto& c : creators) {
            err = Glow::runKernelCreator(&in_data_, suites(), *c, err, 256, kernels[0].rows(), kernels[1].rows(),
                                         kernels[2].rows());
        }
        Glow::KernelCreatorChannelDivisor divisor(&in_data_, suites(), Morvel::Bpc32, threads, &p);
        err = Glow::runKernelCreator(&in_data_, suites(), divisor, err, 256, kernels[0].rows(), kernels[1].rows(),
                                     kernels[2].rows());
        EXPECT_EQ(err, 0);
        return {divisor.totalRed(), divisor.totalGreen(), divisor.totalBlue()};
    }
};

double realSum(const Morvel::FFT::Buffer& kernel) {
    double sum = 0;
    for (int x = 0; x < kernel.size(); ++x) {
        for (int y = 0; y < kernel.size(); ++y) sum += kernel.row(x)[2 * y];
    }
    return sum;
}

double largestDifference(const Morvel::FFT::Buffer& a, const Morvel::FFT::Buffer& b) {
    double worst = 0;
    for (std::size_t i = 0; i < a.count(); ++i) worst = std::max(worst, std::fabs(a.data()[i] - b.data()[i]));
    return worst;
}

TEST_F(KernelTest, ThreadedKernelsSumToOneAndAgreeAcrossThreadCounts) {
    struct Case {
        const char* name;
        bool diffusion, beam;
        Glow::DiffusionQualityItem quality;
        double exposure;
    } cases[] = {
        {"diffusion", true, false, Glow::DiffusionQualityItem::Low, 0},
        {"beam", false, true, Glow::DiffusionQualityItem::Low, 0},
        {"both", true, true, Glow::DiffusionQualityItem::Low, 0},
        {"high quality with exposure", true, false, Glow::DiffusionQualityItem::High, 3},
        {"low quality with exposure", true, true, Glow::DiffusionQualityItem::Low, 3},
    };
    for (const auto& c : cases) {
        GlowParameters p = kernelParameters();
        p.diffusion = c.diffusion;
        p.beam = c.beam;
        p.diffusionQuality = c.quality;
        p.exposure = c.exposure;
        Morvel::FFT::Buffer one, eight;
        const double total = buildNormal(p, 1, one);
        EXPECT_GT(total, 0.5) << c.name;
        buildNormal(p, 8, eight);
        EXPECT_NEAR(realSum(one), 1.0, 1e-12) << c.name;
        EXPECT_LE(largestDifference(one, eight), 1e-12) << c.name;

        Morvel::FFT::Buffer channelOne[3], channelEight[3];
        buildChannel(p, 1, channelOne);
        buildChannel(p, 8, channelEight);
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(realSum(channelOne[j]), 1.0, 1e-12) << c.name << " kernel " << j;
            EXPECT_LE(largestDifference(channelOne[j], channelEight[j]), 1e-12) << c.name << " kernel " << j;
        }
    }
}

TEST_F(KernelTest, TinyTotalsFollowEachDivisorsRule) {
    GlowParameters p = kernelParameters();
    p.diffusion = false;
    p.beam = true;
    p.beamIntensity = 1e-12;
    p.beamNormalizing = false;
    p.beamScaling = 0;  // the centre sample alone, at the gain
    Morvel::FFT::Buffer kernel;
    const double total = buildNormal(p, 2, kernel);
    EXPECT_DOUBLE_EQ(total, 1e-12);
    EXPECT_DOUBLE_EQ(kernel.row(128)[256], 1e-12) << "left undivided";

    Morvel::FFT::Buffer channel[3];
    const auto totals = buildChannel(p, 2, channel);
    for (int j = 0; j < 3; ++j) {
        EXPECT_NEAR(totals[j], 1e-12, 1e-18) << j;
        // Divided by 1e-10 rather than its own total.
        EXPECT_NEAR(channel[j].row(128)[256], totals[j] / 1e-10, 1e-15) << j;
    }
}

// The rays worked out from angles: a sample's angle off each ray gives how far along and across it lies.
double bruteBeam(int n, double phase, double dx, double dy, double L) {
    const double dist = std::hypot(dx, dy);
    const double f = 1 - dist / L;
    if (f <= 0) return 0;
    double best = 0;
    for (int i = 0; i < n; ++i) {
        const double off = std::atan2(dy, dx) - (i * 2 * kPi / n + phase);
        const double along = dist * std::cos(off);
        const double across = dist * std::fabs(std::sin(off));
        if (along < -1e-12) continue;
        best = std::max(best, std::clamp(1.5 - across, 0.0, 1.0));
    }
    return f * best;
}

TEST_F(KernelTest, BeamSamplesMatchABruteForceEvaluation) {
    struct Case {
        const char* name;
        int n;
        double phase, scaling, intensity;
        bool normalizing;
    } cases[] = {
        {"four rays", 4, 0, 1, 1, true},
        {"five rays turned", 5, 0.3, 1.7, 0.8, true},
        {"seven rays, not normalised", 7, -1.1, 0.6, 2, false},
    };
    for (const auto& c : cases) {
        GlowParameters p = kernelParameters();
        p.diffusion = false;
        p.beam = true;
        p.beamNumber = c.n;
        p.beamPhase = c.phase;
        p.beamScaling = c.scaling;
        p.beamIntensity = c.intensity;
        p.beamNormalizing = c.normalizing;
        Morvel::FFT::Buffer kernel;
        kernel.init(256);
        Glow::KernelCreatorNormalBeam beam(&in_data_, suites(), Morvel::Bpc32, 3, &p);
        ASSERT_EQ(Glow::runKernelCreator(&in_data_, suites(), beam, PF_Err_NONE, 256, kernel.rows()), 0);
        const double L = 20 * c.scaling;
        const double gain = (c.normalizing ? 1 / (c.n * L) : 1) * c.intensity;
        double worst = 0;
        for (int x = 0; x < 256; ++x) {
            for (int y = 0; y < 256; ++y) {
                const double expected = bruteBeam(c.n, c.phase, x - 128, y - 128, L) * gain;
                worst = std::max(worst, std::fabs(kernel.row(x)[2 * y] - expected));
                ASSERT_EQ(kernel.row(x)[2 * y + 1], 0.0);
            }
        }
        EXPECT_LT(worst, 1e-12) << c.name;
    }
    // Four rays at phase 0 lie along the rows' and the columns' axes.
    GlowParameters p = kernelParameters();
    p.diffusion = false;
    p.beam = true;
    Morvel::FFT::Buffer kernel;
    buildNormal(p, 1, kernel);
    EXPECT_GT(kernel.row(128 + 10)[2 * 128], 0);
    EXPECT_GT(kernel.row(128 - 10)[2 * 128], 0);
    EXPECT_GT(kernel.row(128)[2 * (128 + 10)], 0);
    EXPECT_GT(kernel.row(128)[2 * (128 - 10)], 0);
    EXPECT_EQ(kernel.row(128 + 10)[2 * (128 + 10)], 0);
}

TEST_F(KernelTest, BeamScalingZeroLeavesTheCentreOnly) {
    for (double radius : {20.0, 0.0}) {
        GlowParameters p = kernelParameters();
        p.diffusion = false;
        p.beam = true;
        p.blurRadius = radius;
        p.beamScaling = radius == 0 ? 1 : 0;
        Morvel::FFT::Buffer kernel;
        kernel.init(256);
        Glow::KernelCreatorNormalBeam beam(&in_data_, suites(), Morvel::Bpc32, 1, &p);
        ASSERT_EQ(Glow::runKernelCreator(&in_data_, suites(), beam, PF_Err_NONE, 256, kernel.rows()), 0);
        EXPECT_NEAR(kernel.row(128)[256], 1e6 / 4, 1e-6) << radius;
        EXPECT_NEAR(realSum(kernel), kernel.row(128)[256], 1e-9) << radius;
    }
}

TEST_F(KernelTest, DiffusionFallsBackToTheIntegralWhenTheKernelIsTooSmall) {
    GlowParameters p = kernelParameters();
    p.blurRadius = 200;
    p.diffusionQuality = Glow::DiffusionQualityItem::High;
    p.exposure = 4;  // reach far beyond the 256 samples
    Morvel::FFT::Buffer kernel;
    kernel.init(256);
    Glow::KernelCreatorNormalDiffusion diffusion(&in_data_, suites(), Morvel::Bpc32, 2, &p);
    EXPECT_GT(diffusion.getBlurRadius().radius, 256);
    EXPECT_FALSE(diffusion.getBlurRadius().mayExceedImage);
    ASSERT_EQ(Glow::runKernelCreator(&in_data_, suites(), diffusion, PF_Err_NONE, 256, kernel.rows()), 0);
    // Raw profile samples of the 256 x 256 area divided by the disc's integral.
    const double k = Glow::getDiffusionCoeff(200, 10);
    const double integral = Glow::calculateDiffusionIntegral(k, 200);
    EXPECT_NEAR(kernel.row(128)[256], 1 / integral, 1e-15);
    EXPECT_LT(realSum(kernel), 1.0);
}

}  // namespace
