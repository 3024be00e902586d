#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "support/host_fixture.h"
#include "support/raw_world.h"
#include "tiltshift/box_blur.h"
#include "tiltshift/box_blur_line.h"

using namespace TiltShift;

namespace {

// The window of radius r round i added up entry by entry: 2m + 1 entries (m = ceil r), the two
// outermost weighted 1 - (m - r); beyond the line the end entries repeat, or nothing is there.
Entry bruteForce(const std::vector<Entry>& c, int64_t i, double r, bool repeat) {
    const int64_t n = int64_t(c.size());
    Entry sum{};
    if (!(r > kMinRadius)) return c[size_t(i)];
    const int64_t m = int64_t(std::ceil(r));
    const double g = double(m) - r;
    for (int64_t j = i - m; j <= i + m; ++j) {
        const double w = (j == i - m || j == i + m) ? 1.0 - g : 1.0;
        const Entry* e = nullptr;
        if (j >= 0 && j < n)
            e = &c[size_t(j)];
        else if (repeat)
            e = &c[j < 0 ? 0 : size_t(n - 1)];
        if (e == nullptr) continue;
        for (int k = 0; k < 4; ++k) sum.v[k] += w * e->v[k];
    }
    for (int k = 0; k < 4; ++k) sum.v[k] /= 2.0 * r + 1.0;
    return sum;
}

template <typename Sums>
std::vector<Entry> blur(const std::vector<Entry>& c, const std::vector<double>& t, double a, double b, bool repeat) {
    std::vector<Entry> out(c.size());
    Sums sums;
    blurLine(c.data(), t.data(), int64_t(c.size()), a, b, repeat, sums,
             [&](int64_t i, const Entry& e) { out[size_t(i)] = e; });
    return out;
}

template <typename Sums>
void compareWithBruteForce(const char* name) {
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> value(0.0, 1.0);
    std::uniform_int_distribution<int> length(1, 40);
    for (int trial = 0; trial < 3000; ++trial) {
        const int n = length(random);
        std::vector<Entry> c(static_cast<size_t>(n));
        for (Entry& e : c) {
            for (double& v : e.v) v = value(random);
        }
        // Fractional radii over seven decades, and whole ones.
        std::vector<double> t(static_cast<size_t>(n));
        for (double& r : t) {
            r = trial % 3 == 0 ? std::floor(value(random) * 51.0) : std::pow(10.0, -5.0 + 6.7 * value(random));
        }
        const bool repeat = trial % 2 == 0;
        const std::vector<Entry> got = blur<Sums>(c, t, 1.0, 0.0, repeat);
        for (int i = 0; i < n; ++i) {
            const Entry want = bruteForce(c, i, t[size_t(i)], repeat);
            for (int k = 0; k < 4; ++k) {
                ASSERT_NEAR(got[size_t(i)].v[k], want.v[k], 1e-12)
                    << name << " trial " << trial << " n " << n << " i " << i << " r " << t[size_t(i)] << " repeat "
                    << repeat;
            }
        }
    }
}

TEST(BoxBlurLine, PrefixSumsMatchABruteForceWindow) { compareWithBruteForce<PrefixSums>("prefix sums"); }
TEST(BoxBlurLine, DisjointSumsMatchABruteForceWindow) { compareWithBruteForce<DisjointSums>("disjoint sums"); }

Entry uniform(double v) { return Entry{{v, v, v, v}}; }

TEST(BoxBlurLine, EdgeCases) {
    struct Case {
        const char* name;
        std::vector<double> line;
        int64_t at;
        double r;
        bool repeat;
        double want;
    };
    const double tiny = 0.001;
    const Case cases[] = {
        // Without repeated edges, a window that starts just at the first entry still weighs it
        // 1 - g, so a line of ones stays one.
        {"ones, i 1, r 0.5, transparent edges", {1, 1, 1, 1, 1, 1, 1, 1}, 1, 0.5, false, 1.0},
        {"ones, i 3, r 2.3, transparent edges", {1, 1, 1, 1, 1, 1, 1, 1}, 3, 2.3, false, 1.0},
        {"tiny radius mixes both neighbours",
         {0, 2, 5, 7, 0},
         2,
         tiny,
         false,
         (tiny * 2 + 5 + tiny * 7) / (2 * tiny + 1)},
        {"radius 1 is a plain average of three", {0, 3, 6, 9, 0}, 2, 1.0, false, 6.0},
        {"first entry, r 1, transparent edges", {3, 6, 9}, 0, 1.0, false, 3.0},
        {"one entry, huge radius, repeated edges", {0.25}, 0, 1e6, true, 0.25},
        {"short line, both ends repeated", {2, 4}, 0, 3.0, true, (4 * 2 + 3 * 4) / 7.0},
        {"short line, both ends transparent", {2, 4}, 0, 3.0, false, 6 / 7.0},
        {"radius at the cap", {1, 2, 3}, 1, 1e300, true, 2.0},
    };
    for (const Case& c : cases) {
        std::vector<Entry> line;
        for (double v : c.line) line.push_back(uniform(v));
        std::vector<double> t(line.size(), c.r);
        for (const std::vector<Entry>& got :
             {blur<PrefixSums>(line, t, 1.0, 0.0, c.repeat), blur<DisjointSums>(line, t, 1.0, 0.0, c.repeat)}) {
            for (int k = 0; k < 4; ++k) EXPECT_NEAR(got[size_t(c.at)].v[k], c.want, 1e-12) << c.name;
        }
    }
}

TEST(BoxBlurLine, RadiusIsAmountTimesTPlusOffset) {
    // a = 0 blurs every entry by b, also where t is 0 (inside the focus area).
    std::vector<Entry> line{uniform(0), uniform(3), uniform(0)};
    const std::vector<Entry> got = blur<PrefixSums>(line, {0, 0, 0}, 5.0, 1.0, false);
    EXPECT_NEAR(got[1].v[0], 1.0, 1e-12);
    const std::vector<Entry> kept = blur<PrefixSums>(line, {0, 0, 0}, 5.0, 0.0, false);
    EXPECT_EQ(kept[1].v[0], 3.0);
}

// A weighted float spike is some 10^20 times its neighbours; sums of the window's own entries
// keep the neighbours' windows exact.
TEST(BoxBlurLine, AHugeEntryLeavesWindowsWithoutItAlone) {
    const double spike = std::pow(1.03, 10.0 * 255.0);
    const double plain = std::pow(1.03, 0.5 * 255.0);
    std::vector<Entry> line(1800, uniform(plain));
    line[100] = uniform(spike);
    const std::vector<double> t(line.size(), 5.0);
    const std::vector<Entry> got = blur<DisjointSums>(line, t, 1.0, 0.0, true);
    for (size_t i = 0; i < line.size(); ++i) {
        if (i >= 94 && i <= 106) continue;
        ASSERT_NEAR(got[i].v[1] / plain, 1.0, 1e-12) << "at " << i;
    }
}

TEST(PassBuffer, StartsZeroedAtEverySize) {
    for (size_t size : {size_t(1), size_t(4096), size_t(3) << 20}) {
        const PassBuffer buffer(size);
        size_t nonZero = 0;
        for (double v : buffer) nonZero += v != 0.0;
        EXPECT_EQ(nonZero, 0u) << size;
    }
}

// Six passes at a constant radius move an interior impulse around without losing any of it.
using BoxBlurFilterTest = HostTest;

TEST_F(BoxBlurFilterTest, AnInteriorImpulseKeepsItsSums) {
    const int width = 61, height = 47;
    for (Morvel::Bpc bpc : {Morvel::Bpc8, Morvel::Bpc32}) {
        RawWorld<PF_PixelFloat> world(width, height);
        PassBuffer amounts(size_t(width) * height, 0.0);
        PassBuffer colours(4 * amounts.size(), 0.0);
        const double impulse[4] = {1.0, 250.0, 3.5, 1e6};
        for (int k = 0; k < 4; ++k) colours[4 * (size_t(23) * width + 30) + k] = impulse[k];
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        BoxBlurParameters params{false, 0.0,      6.0 / 3.0, OutputSettings{false, 1.0, 0.0, {}, BLEND_NORMAL},
                                 true,  &amounts, &colours};
        for (int round = 0; round < 3; ++round) {
            VerticalBoxBlur vertical(&in_data_, suites, bpc, nullptr, world.get(), &params);
            ASSERT_EQ(vertical.filter(0, 2), PF_Err_NONE);
            ASSERT_EQ(vertical.filter(1, 2), PF_Err_NONE);
            HorizontalBoxBlur horizontal(&in_data_, suites, bpc, nullptr, world.get(), &params);
            ASSERT_EQ(horizontal.filter(0, 3), PF_Err_NONE);
            ASSERT_EQ(horizontal.filter(1, 3), PF_Err_NONE);
            ASSERT_EQ(horizontal.filter(2, 3), PF_Err_NONE);
        }
        double sums[4] = {0, 0, 0, 0};
        for (size_t i = 0; i < amounts.size(); ++i) {
            for (int k = 0; k < 4; ++k) sums[k] += colours[4 * i + k];
        }
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(sums[k] / impulse[k], 1.0, 1e-9) << "bpc " << bpc << " component " << k;
        // Spread by 3 × 2 pixels each way, no further.
        EXPECT_GT(colours[4 * (size_t(23) * width + 36)], 0.0);
        EXPECT_EQ(colours[4 * (size_t(23) * width + 37)], 0.0);
    }
}

}  // namespace
