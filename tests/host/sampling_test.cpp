#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "support/host_fixture.h"
#include "support/host_world.h"

namespace {

// The three functions of one depth's suite, and that depth's scale.
template <typename Pixel>
struct Suite;

template <>
struct Suite<PF_Pixel> {
    static constexpr const char* name = kPFSampling8Suite;
    static constexpr double full = 255;
    using Table = PF_Sampling8Suite1;
    static auto nearest(const Table* t) { return t->nn_sample; }
    static auto bilinear(const Table* t) { return t->subpixel_sample; }
    static auto area(const Table* t) { return t->area_sample; }
};

template <>
struct Suite<PF_Pixel16> {
    static constexpr const char* name = kPFSampling16Suite;
    static constexpr double full = 32768;
    using Table = PF_Sampling16Suite1;
    static auto nearest(const Table* t) { return t->nn_sample16; }
    static auto bilinear(const Table* t) { return t->subpixel_sample16; }
    static auto area(const Table* t) { return t->area_sample16; }
};

template <>
struct Suite<PF_PixelFloat> {
    static constexpr const char* name = kPFSamplingFloatSuite;
    static constexpr double full = 1.0;
    using Table = PF_SamplingFloatSuite1;
    static auto nearest(const Table* t) { return t->nn_sample_float; }
    static auto bilinear(const Table* t) { return t->subpixel_sample_float; }
    static auto area(const Table* t) { return t->area_sample_float; }
};

PF_Fixed fixed(double v) { return static_cast<PF_Fixed>(std::lround(v * 65536.0)); }

// Channel values in 0..1 that differ per pixel and per channel; at() and the samples computed
// from it read them back as stored, so rounding at storage does not count against the host.
struct Reference {
    int width, height;
    std::function<double(int, int, int)> stored;
    static double ideal(int x, int y, int c, int width, int height) {
        const double values[4] = {(1 + (x + 2 * y) % 5) / 5.0, (x + 1) / double(width + 1),
                                  (y + 1) / double(height + 1), ((x * 7 + y * 3) % 11) / 10.0};
        return values[c];
    }
    double channel(int x, int y, int c) const { return stored(x, y, c); }
    // Transparent outside, as the host samples.
    double at(double px, double py, int c) const {
        const long x = std::lround(std::floor(px + 0.5));
        const long y = std::lround(std::floor(py + 0.5));
        if (x < 0 || y < 0 || x >= width || y >= height) return 0.0;
        return channel(int(x), int(y), c);
    }
    double bilinear(double px, double py, int c) const {
        const double x0 = std::floor(px), y0 = std::floor(py), fx = px - x0, fy = py - y0;
        return (1 - fx) * (1 - fy) * at(x0, y0, c) + fx * (1 - fy) * at(x0 + 1, y0, c) +
               (1 - fx) * fy * at(x0, y0 + 1, c) + fx * fy * at(x0 + 1, y0 + 1, c);
    }
    // Brute force: the average of point samples on a fine grid over the box.
    double box(double px, double py, double rx, double ry, int c) const {
        const int steps = 400;
        double sum = 0;
        for (int j = 0; j < steps; ++j) {
            for (int i = 0; i < steps; ++i) {
                sum += at(px - rx + (i + 0.5) * 2 * rx / steps, py - ry + (j + 0.5) * 2 * ry / steps, c);
            }
        }
        return sum / (double(steps) * steps);
    }
};

template <typename Pixel>
double channelOf(const Pixel& p, int c) {
    const double values[4] = {double(p.alpha), double(p.red), double(p.green), double(p.blue)};
    return values[c] / Suite<Pixel>::full;
}

template <typename Pixel>
Reference fill(HostWorld<Pixel>& world) {
    const int width = world.width();
    const int height = world.height();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double v[4];
            for (int c = 0; c < 4; ++c) v[c] = Reference::ideal(x, y, c, width, height) * Suite<Pixel>::full;
            using Channel = decltype(Pixel{}.alpha);
            world.at(x, y) = Pixel{Channel(v[0]), Channel(v[1]), Channel(v[2]), Channel(v[3])};
        }
    }
    return Reference{width, height, [&world](int x, int y, int c) { return channelOf(world.at(x, y), c); }};
}

// The position the host actually receives.
double quantised(double v) { return fixed(v) / 65536.0; }

class SamplingSuiteTest : public HostTest {
protected:
    template <typename Pixel>
    const typename Suite<Pixel>::Table* acquire() {
        const void* table = nullptr;
        EXPECT_EQ(in_data_.pica_basicP->AcquireSuite(Suite<Pixel>::name, 1, &table), kSPNoError);
        acquired_.push_back(Suite<Pixel>::name);
        return static_cast<const typename Suite<Pixel>::Table*>(table);
    }
    void TearDown() override {
        for (const char* name : acquired_) in_data_.pica_basicP->ReleaseSuite(name, 1);
        HostTest::TearDown();
    }

    // Integer depths round to the nearest step; float is exact.
    template <typename Pixel>
    static double tolerance() {
        return Suite<Pixel>::full == 1.0 ? 1e-6 : 0.5 / Suite<Pixel>::full + 1e-9;
    }

    template <typename Pixel>
    void checkPointSampling() {
        HostWorld<Pixel> world(5, 4);
        const Reference ref = fill(world);
        const auto* suite = acquire<Pixel>();
        PF_SampPB params{};
        params.src = world.get();
        const char* depth = Suite<Pixel>::name;

        // Whole coordinates give the stored pixel exactly, nearest and bilinear alike.
        for (int y = 0; y < ref.height; ++y) {
            for (int x = 0; x < ref.width; ++x) {
                for (auto fn : {Suite<Pixel>::nearest(suite), Suite<Pixel>::bilinear(suite)}) {
                    Pixel got{};
                    ASSERT_EQ(fn(nullptr, x << 16, y << 16, &params, &got), PF_Err_NONE);
                    const Pixel& stored = world.at(x, y);
                    EXPECT_TRUE(got.alpha == stored.alpha && got.red == stored.red && got.green == stored.green &&
                                got.blue == stored.blue)
                        << depth << " at " << x << "," << y;
                }
            }
        }
        struct Point {
            double x, y;
        } points[] = {{0.5, 0.5},     {1.25, 2.75}, {3.9, 0.1}, {-0.5, 1.0}, {4.5, 3.5},
                      {-0.25, -0.75}, {-3.0, 2.0},  {9.0, 9.0}, {2.0, 3.6}};
        for (const auto& p : points) {
            Pixel linear{};
            Pixel nearest{};
            ASSERT_EQ(Suite<Pixel>::bilinear(suite)(nullptr, fixed(p.x), fixed(p.y), &params, &linear), PF_Err_NONE);
            ASSERT_EQ(Suite<Pixel>::nearest(suite)(nullptr, fixed(p.x), fixed(p.y), &params, &nearest), PF_Err_NONE);
            for (int c = 0; c < 4; ++c) {
                const double qx = quantised(p.x);
                const double qy = quantised(p.y);
                EXPECT_NEAR(channelOf(linear, c), ref.bilinear(qx, qy, c), tolerance<Pixel>())
                    << depth << " bilinear at " << p.x << "," << p.y << " channel " << c;
                EXPECT_NEAR(channelOf(nearest, c), ref.at(qx, qy, c), tolerance<Pixel>())
                    << depth << " nearest at " << p.x << "," << p.y << " channel " << c;
            }
        }
    }

    template <typename Pixel>
    void checkAreaSampling() {
        HostWorld<Pixel> world(6, 5);
        const Reference ref = fill(world);
        const auto* suite = acquire<Pixel>();
        struct Case {
            double x, y, rx, ry;
        } cases[] = {{2.0, 2.0, 1.0, 1.0}, {2.3, 1.6, 1.7, 0.8},   {0.0, 0.0, 2.0, 2.0},
                     {5.2, 4.4, 3.0, 1.5}, {2.5, 2.5, 10.0, 10.0}, {1.75, 3.25, 0.5, 0.5}};
        for (const auto& c : cases) {
            PF_SampPB params{};
            params.src = world.get();
            params.x_radius = fixed(c.rx);
            params.y_radius = fixed(c.ry);
            Pixel got{};
            ASSERT_EQ(Suite<Pixel>::area(suite)(nullptr, fixed(c.x), fixed(c.y), &params, &got), PF_Err_NONE);
            for (int ch = 0; ch < 4; ++ch) {
                EXPECT_NEAR(channelOf(got, ch), ref.box(c.x, c.y, c.rx, c.ry, ch), 0.01)
                    << Suite<Pixel>::name << " area at " << c.x << "," << c.y << " radii " << c.rx << "," << c.ry;
            }
        }
        // With zero radii the area sample is the point sample.
        PF_SampPB params{};
        params.src = world.get();
        Pixel area{}, linear{};
        ASSERT_EQ(Suite<Pixel>::area(suite)(nullptr, fixed(2.3), fixed(1.4), &params, &area), PF_Err_NONE);
        ASSERT_EQ(Suite<Pixel>::bilinear(suite)(nullptr, fixed(2.3), fixed(1.4), &params, &linear), PF_Err_NONE);
        for (int ch = 0; ch < 4; ++ch) EXPECT_NEAR(channelOf(area, ch), channelOf(linear, ch), tolerance<Pixel>());
    }

    std::vector<const char*> acquired_;
};

TEST_F(SamplingSuiteTest, PointSamplingAt8Bits) { checkPointSampling<PF_Pixel>(); }
TEST_F(SamplingSuiteTest, PointSamplingAt16Bits) { checkPointSampling<PF_Pixel16>(); }
TEST_F(SamplingSuiteTest, PointSamplingAtFloat) { checkPointSampling<PF_PixelFloat>(); }
TEST_F(SamplingSuiteTest, AreaSamplingAt8Bits) { checkAreaSampling<PF_Pixel>(); }
TEST_F(SamplingSuiteTest, AreaSamplingAt16Bits) { checkAreaSampling<PF_Pixel16>(); }
TEST_F(SamplingSuiteTest, AreaSamplingAtFloat) { checkAreaSampling<PF_PixelFloat>(); }

TEST_F(SamplingSuiteTest, FloatValuesAboveOneAreKept) {
    HostWorld<PF_PixelFloat> world(2, 1);
    world.at(0, 0) = PF_PixelFloat{1.0f, 4.0f, -1.0f, 0.5f};
    world.at(1, 0) = PF_PixelFloat{1.0f, 2.0f, 1.0f, 0.5f};
    const auto* suite = acquire<PF_PixelFloat>();
    PF_SampPB params{};
    params.src = world.get();
    PF_PixelFloat got{};
    ASSERT_EQ(suite->subpixel_sample_float(nullptr, fixed(0.5), 0, &params, &got), PF_Err_NONE);
    EXPECT_FLOAT_EQ(got.red, 3.0f);
    EXPECT_FLOAT_EQ(got.green, 0.0f);
}

TEST_F(SamplingSuiteTest, ExtremeCoordinatesAreTransparent) {
    HostWorld<PF_Pixel> world(3, 3);
    world.at(0, 0) = PF_Pixel{255, 255, 255, 255};
    const auto* suite = acquire<PF_Pixel>();
    PF_SampPB params{};
    params.src = world.get();
    params.x_radius = params.y_radius = INT32_MAX;
    const PF_Fixed extremes[] = {INT32_MIN, INT32_MAX};
    for (PF_Fixed x : extremes) {
        for (PF_Fixed y : extremes) {
            for (auto fn : {suite->nn_sample, suite->subpixel_sample}) {
                PF_Pixel got{1, 1, 1, 1};
                ASSERT_EQ(fn(nullptr, x, y, &params, &got), PF_Err_NONE);
                EXPECT_EQ(got.alpha, 0);
            }
            PF_Pixel got{};
            EXPECT_EQ(suite->area_sample(nullptr, x, y, &params, &got), PF_Err_NONE);
        }
    }
}

TEST_F(SamplingSuiteTest, WhatTheEffectHandsOverIsValidated) {
    expectFault("error: ");
    HostWorld<PF_Pixel> good(4, 4);
    HostWorld<PF_Pixel> empty(0, 3);
    HostWorld<PF_PixelFloat> floatWorld(4, 4);
    PF_LayerDef noPixels = *good.get();
    noPixels.data = nullptr;
    PF_LayerDef narrowRows = *good.get();
    narrowRows.rowbytes = 4 * int(sizeof(PF_Pixel)) - 1;
    PF_LayerDef negative = *good.get();
    negative.height = -2;
    // A record the copy callback refuses too: its rows reach beyond the host's buffer.
    PF_LayerDef tooTall = *good.get();
    tooTall.height = 400;
    std::vector<PF_Pixel> ownMemory(16);
    PF_LayerDef notTheHosts = *good.get();
    notTheHosts.data = ownMemory.data();
    const auto* suite = acquire<PF_Pixel>();
    struct Case {
        const char* name;
        PF_LayerDef* world;
        bool withParams;
        bool withDst;
        PF_Err expected;
    } cases[] = {
        {"good", good.get(), true, true, PF_Err_NONE},
        {"zero width samples transparent", empty.get(), true, true, PF_Err_NONE},
        {"null result", good.get(), true, false, PF_Err_BAD_CALLBACK_PARAM},
        {"null parameter block", good.get(), false, true, PF_Err_BAD_CALLBACK_PARAM},
        {"null world", nullptr, true, true, PF_Err_BAD_CALLBACK_PARAM},
        {"null pixels", &noPixels, true, true, PF_Err_BAD_CALLBACK_PARAM},
        {"rows too short", &narrowRows, true, true, PF_Err_BAD_CALLBACK_PARAM},
        {"negative size", &negative, true, true, PF_Err_BAD_CALLBACK_PARAM},
        {"rows beyond the buffer", &tooTall, true, true, PF_Err_BAD_CALLBACK_PARAM},
        {"memory the host never gave out", &notTheHosts, true, true, PF_Err_BAD_CALLBACK_PARAM},
        {"world of another depth", floatWorld.get(), true, true, PF_Err_BAD_CALLBACK_PARAM},
    };
    for (const auto& c : cases) {
        for (auto fn : {suite->nn_sample, suite->subpixel_sample, suite->area_sample}) {
            PF_SampPB params{};
            params.src = c.world;
            PF_Pixel got{9, 9, 9, 9};
            // Far down the rows, where a record taken at its word would be read.
            EXPECT_EQ(fn(nullptr, 1 << 16, 300 << 16, c.withParams ? &params : nullptr, c.withDst ? &got : nullptr),
                      c.expected)
                << c.name;
            if (c.world == empty.get()) {
                EXPECT_EQ(got.alpha, 0) << c.name;
            }
        }
    }
}

}  // namespace
