#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "diffusion/kernel_creator.h"
#include "glow/stages/diffusion_profile.h"
#include "glow/stages/kernel_creators.h"
#include "library/fft/buffer.h"
#include "support/host_fixture.h"

using Diffusion::KernelCreator;
using Diffusion::KernelRecord;

namespace {

class DiffusionKernelTest : public SuitesHostTest {
protected:
    // Builds the kernel of the record into `kernel` and returns the creator's normaliser.
    double build(const KernelRecord& record, int threads, Morvel::FFT::Buffer& kernel, int size = 256) {
        kernel.init(size);
        KernelCreator creator(&in_data_, suites(), Morvel::Bpc32, threads, &record);
        EXPECT_EQ(Glow::runKernelCreator(&in_data_, suites(), creator, PF_Err_NONE, size, kernel.rows()), 0);
        return creator.normaliser();
    }
};

struct Samples {
    int nonZero = 0;
    double sum = 0;
};

Samples samplesOf(const Morvel::FFT::Buffer& kernel) {
    Samples s;
    for (int x = 0; x < kernel.size(); ++x) {
        for (int y = 0; y < kernel.size(); ++y) {
            const double v = kernel.row(x)[2 * y];
            s.nonZero += v != 0;
            s.sum += v;
        }
    }
    return s;
}

TEST_F(DiffusionKernelTest, CoefficientFollowsTheSoftness) {
    const struct {
        double R, softness, k;
    } cases[] = {
        {30, 5, 3.1166666666666667}, {30, 0, 4.1166666666666667}, {30, 20, 0.1166666666666667}, {1e-7, 5, 1.0}};
    for (const auto& c : cases) {
        const KernelRecord record{c.R, c.softness - 10};
        KernelCreator creator(&in_data_, suites(), Morvel::Bpc32, 1, &record);
        EXPECT_NEAR(creator.coefficient(), c.k, 1e-12) << c.R << " " << c.softness;
        EXPECT_EQ(creator.getBlurRadius().radius, c.R);
        EXPECT_FALSE(creator.getBlurRadius().mayExceedImage);
    }
}

// The defaults: a disc of radius 30 cut by a half-pixel ramp, divided by its own sum.
TEST_F(DiffusionKernelTest, DefaultKernelIsTheNormalisedDisc) {
    Morvel::FFT::Buffer kernel;
    const double normaliser = build({30, -5}, 1, kernel);
    EXPECT_NEAR(normaliser, 3.22086275, 1e-8);
    const Samples s = samplesOf(kernel);
    EXPECT_EQ(s.nonZero, 2933);
    EXPECT_NEAR(s.sum, 1.0, 1e-12);
    EXPECT_NEAR(kernel.row(128)[2 * 128], 0.31047582, 1e-8);
    EXPECT_NEAR(kernel.row(138)[2 * 128], 0.000309616, 1e-9);
    EXPECT_NEAR(kernel.row(128)[2 * 138], 0.000309616, 1e-9);
    // Independently: the sample at offset (3, 4) is (5k + 0.5)^-2 over the sum.
    const double k = 3.1166666666666667;
    EXPECT_NEAR(kernel.row(131)[2 * 132], std::pow(5 * k + 0.5, -2) / normaliser, 1e-15);
    // Imaginary parts stay zero; nothing beyond R + 0.5.
    for (int x = 0; x < 256; ++x) {
        for (int y = 0; y < 256; ++y) {
            ASSERT_EQ(kernel.row(x)[2 * y + 1], 0.0);
            if (std::hypot(x - 128, y - 128) >= 30.5) {
                ASSERT_EQ(kernel.row(x)[2 * y], 0.0) << x << "," << y;
            }
        }
    }
}

TEST_F(DiffusionKernelTest, TinyRadiiGiveOneSampleOfOne) {
    for (double R : {0.5, 1e-5}) {
        Morvel::FFT::Buffer kernel;
        build({R, -5}, 2, kernel);
        const Samples s = samplesOf(kernel);
        EXPECT_EQ(s.nonZero, 1) << R;
        EXPECT_DOUBLE_EQ(kernel.row(128)[256], 1.0) << R;
    }
}

TEST_F(DiffusionKernelTest, ADiscPastTheTileIsDividedByItsIntegral) {
    Morvel::FFT::Buffer kernel;
    const KernelRecord record{1000, -5};
    const double normaliser = build(record, 2, kernel);
    const double k = Glow::getDiffusionCoeff(record.R, record.c);
    EXPECT_DOUBLE_EQ(normaliser, Glow::calculateDiffusionIntegral(k, record.R));
    EXPECT_LT(samplesOf(kernel).sum, 1.0);
}

TEST_F(DiffusionKernelTest, ThreadedKernelsAgreeAcrossThreadCounts) {
    Morvel::FFT::Buffer one;
    Morvel::FFT::Buffer eight;
    build({30, -5}, 1, one);
    build({30, -5}, 8, eight);
    double worst = 0;
    for (std::size_t i = 0; i < one.count(); ++i) worst = std::max(worst, std::fabs(one.data()[i] - eight.data()[i]));
    EXPECT_LT(worst, 1e-12);
}

}  // namespace
