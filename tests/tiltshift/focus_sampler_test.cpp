#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "support/host_fixture.h"
#include "support/host_world.h"
#include "tiltshift/focus_sampler.h"
#include "tiltshift/weighting.h"

using namespace TiltShift;

namespace {

constexpr double kPi = 3.14159265358979323846;

class FocusSamplerTest : public SuitesHostTest {
protected:
    void size(int width, int height) {
        amounts.assign(size_t(width) * height, -1.0);
        colours.assign(4 * size_t(width) * height, -1.0);
    }
    SamplerBuffers buffers() { return SamplerBuffers{&table, &amounts, &colours}; }
    double amountAt(int width, int x, int y) const { return amounts[size_t(y) * width + x]; }
    const double* colourAt(int width, int x, int y) const { return &colours[4 * (size_t(y) * width + x)]; }

    // Linear, Focus Distance 100, Inner Width 10, Direction 0 (the line runs along x through the
    // centre, so s = y - 100), over a 20 × 240 ramp whose channels are y.
    LinearSamplerParameters focusDistance(double blurAmount, double chromaticAberration) {
        return LinearSamplerParameters{100.0,
                                       blurAmount,
                                       false,
                                       1.0,
                                       10.0,
                                       100.0,
                                       0.0,
                                       10.0,
                                       LINEAR_MODE_FOCUS_DISTANCE,
                                       2.0,
                                       100.0,
                                       chromaticAberration > 1e-6,
                                       chromaticAberration,
                                       buffers()};
    }
    void ramp(HostWorld<PF_Pixel>& world) {
        for (int y = 0; y < world.height(); ++y) {
            for (int x = 0; x < world.width(); ++x) world.at(x, y) = PF_Pixel{255, uint8_t(y), uint8_t(y), uint8_t(y)};
        }
    }

    std::vector<double> table;
    PassBuffer amounts, colours;
};

TEST_F(FocusSamplerTest, RadialAmountsGrowWithTheDistanceOutsideTheEllipse) {
    HostWorld<PF_Pixel> input(100, 80);
    size(100, 80);
    const double direction = 90.0 * kPi / 180.0;
    RadialSamplerParameters params{
        std::hypot(100.0, 80.0) * 0.5, false, 1.0, 50.0, 40.0, direction, 10.0, 2.0, 0.5, false, 0.0, buffers()};
    RadialSampler sampler(&in_data_, suites(), Morvel::Bpc8, input.get(), nullptr, &params, std::cos(direction),
                          std::sin(direction));
    ASSERT_EQ(sampler.filter(0, 1), PF_Err_NONE);
    struct Case {
        int x, y;
        double t;
    };
    const Case cases[] = {{50, 70, 4.0 / 41.0}, {70, 40, 9.0 / 41.0}, {50, 45, 0.0}, {50, 40, 0.0}};
    for (const Case& c : cases) EXPECT_NEAR(amountAt(100, c.x, c.y), c.t, 1e-12) << c.x << "," << c.y;
}

TEST_F(FocusSamplerTest, FocusDistanceAmountsOnBothSidesAndTheirCap) {
    HostWorld<PF_Pixel> input(20, 240);
    struct Case {
        double blurAmount;
        int y;
        double t;
    };
    const Case cases[] = {
        {50.0, 70, 1.0 / 6.0},  // s = -30, near side
        {50.0, 160, 1.0},       // s = 60
        {50.0, 210, 100.0},     // s = 110: within 1 of the focus distance, t = u
        {1000.0, 210, 30.0},    // capped at 30000 / Blur Amount
        {50.0, 105, 0.0},       // inside the inner width
    };
    for (const Case& c : cases) {
        size(20, 240);
        LinearSamplerParameters params = focusDistance(c.blurAmount, 0.0);
        LinearSampler sampler(&in_data_, suites(), Morvel::Bpc8, input.get(), nullptr, &params, -std::sin(0.0),
                              std::cos(0.0));
        ASSERT_EQ(sampler.filter(0, 1), PF_Err_NONE);
        EXPECT_NEAR(amountAt(20, 5, c.y), c.t, 1e-12) << "y " << c.y << " blur " << c.blurAmount;
    }
}

TEST_F(FocusSamplerTest, AnUnknownLinearModeLeavesTheBuffersAlone) {
    HostWorld<PF_Pixel> input(8, 8);
    size(8, 8);
    LinearSamplerParameters params = focusDistance(50.0, 0.0);
    params.linearMode = static_cast<LinearMode>(3);
    LinearSampler sampler(&in_data_, suites(), Morvel::Bpc8, input.get(), nullptr, &params, 0.0, 1.0);
    EXPECT_EQ(sampler.filter(0, 1), PF_Err_NONE);
    EXPECT_EQ(amounts[0], -1.0);
    EXPECT_EQ(colours[0], -1.0);
}

// On a ramp along the focus direction, blue comes from the pixel, green from one step towards
// the focus area and red from two; a step of t × "Chromatic Aberration" pixels.
TEST_F(FocusSamplerTest, ChromaticAberrationTakesTheChannelsFromThreePoints) {
    HostWorld<PF_Pixel> input(20, 240);
    ramp(input);
    struct Case {
        const char* name;
        int y;
        double aberration;
        double red, green, blue;
    };
    const Case cases[] = {
        {"far side, t 1, step 2 upwards", 160, 2.0, 156, 158, 160},
        {"near side, t 1/6, step 1 downwards", 70, 6.0, 72, 71, 70},
        {"inside the focus area", 100, 6.0, 100, 100, 100},
        {"aberration off", 160, 0.0, 160, 160, 160},
    };
    for (const Case& c : cases) {
        size(20, 240);
        LinearSamplerParameters params = focusDistance(50.0, c.aberration);
        LinearSampler sampler(&in_data_, suites(), Morvel::Bpc8, input.get(), nullptr, &params, 0.0, 1.0);
        ASSERT_EQ(sampler.filter(0, 1), PF_Err_NONE) << c.name;
        const double* e = colourAt(20, 7, c.y);
        EXPECT_EQ(e[0], 255.0) << c.name;
        EXPECT_NEAR(e[1], c.red * 255.0, 1e-9) << c.name;
        EXPECT_NEAR(e[2], c.green * 255.0, 1e-9) << c.name;
        EXPECT_NEAR(e[3], c.blue * 255.0, 1e-9) << c.name;
    }
}

TEST_F(FocusSamplerTest, AFailedSampleStopsSamplingAndEndsTheRow) {
    HostWorld<PF_Pixel> input(20, 240);
    ramp(input);
    size(20, 240);
    LinearSamplerParameters params = focusDistance(50.0, 2.0);
    LinearSampler sampler(&in_data_, suites(), Morvel::Bpc8, input.get(), nullptr, &params, 0.0, 1.0);
    // Rows 0..89 lie outside the focus area: 20 pixels × 3 samples a row. The failure falls in
    // row 2 at pixel 5.
    const int failing = 2 * 60 + 5 * 3 + 2;
    host().faults().failCall("subpixel_sample", failing, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(sampler.filter(0, 1), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(host().faults().calls("subpixel_sample"), failing) << "no sample after the failure";
    EXPECT_NE(amountAt(20, 19, 2), -1.0) << "the row is finished";
    EXPECT_EQ(amountAt(20, 0, 3), -1.0) << "no later row";
}

TEST_F(FocusSamplerTest, AMissingSamplingSuiteIsRaisedBeforeAnyBand) {
    HostWorld<PF_Pixel16> input(4, 4);
    size(4, 4);
    host().faults().makeSuiteMissing("PF Sampling16 Suite", 1);
    LinearSamplerParameters params = focusDistance(50.0, 2.0);
    try {
        LinearSampler sampler(&in_data_, suites(), Morvel::Bpc16, input.get(), nullptr, &params, 0.0, 1.0);
        FAIL() << "constructed without the suite";
    } catch (PF_Err err) {
        EXPECT_EQ(err, 516);
    }
    params.chromaticAberrationOn = false;
    EXPECT_NO_THROW(LinearSampler(&in_data_, suites(), Morvel::Bpc16, input.get(), nullptr, &params, 0.0, 1.0));
}

TEST(Weigher, EachDepthWeighsItsOwnWay) {
    const double base = 1.03;
    const std::vector<double> table8 = makeWeightTable(nullptr, Morvel::Bpc8, base);
    const std::vector<double> table16 = makeWeightTable(nullptr, Morvel::Bpc16, base);
    ASSERT_EQ(table8.size(), 256u);
    ASSERT_EQ(table16.size(), 32769u);
    const Weigher w8{true, base, table8.data()};
    const Weigher w16{true, base, table16.data()};
    const Weigher plain{false, base, nullptr};
    struct Case {
        const char* name;
        double got, want;
    };
    const double nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"8-bit 200", w8(uint8_t(200)), std::pow(base, 200.0)},
        {"16-bit full", w16(uint16_t(32768)), std::pow(base, 255.0)},
        {"16-bit beyond full reads the last entry", w16(uint16_t(65535)), std::pow(base, 255.0)},
        {"float half, from the table", w16(0.5f), std::pow(base, 16384 * 0.007781982421875)},
        {"float above one, exact power", w16(1.7f), std::pow(base, double(1.7f) * 255.0)},
        {"float negative", w16(-0.2f), 1.0},
        {"float NaN", w16(float(nan)), 1.0},
        {"float far above one stops at the cap", w16(50000.0f), kWeightCap},
        {"unweighted", plain(0.25f), 0.25},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(c.got, c.want) << c.name;
}

}  // namespace
