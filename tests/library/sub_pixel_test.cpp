#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "library/sampling/sub_pixel.h"
#include "library/utility/pixel.h"
#include "library/world/world.h"
#include "support/host_fixture.h"
#include "support/host_world.h"

using Morvel::Wrap;
using Morvel::Sampler::SubPixel;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(SubPixelFixed, RoundsHalfAwayFromZeroAndSaturates) {
    struct Case {
        const char* name;
        double v;
        PF_Fixed expected;
    } cases[] = {
        {"zero", 0.0, 0},
        {"one", 1.0, 65536},
        {"minus half a pixel", -0.5, -32768},
        {"half a step up", 0.5 / 65536, 1},
        {"half a step down", -0.5 / 65536, -1},
        {"just under half a step", 0.49 / 65536, 0},
        {"largest", 32767.99999, 2147483647},
        {"beyond the range", 1e10, INT_MAX},
        {"far below the range", -1e10, INT_MIN},
        {"just below the range", -32768.0, INT_MIN},
        {"infinity", kInf, INT_MAX},
        {"minus infinity", -kInf, INT_MIN},
        {"NaN is outside", kNaN, INT_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(SubPixel::toFixed(c.v), c.expected) << c.name;
}

// Records where the sampler asked the host to sample; answers a pixel that names the position.
struct Recorder {
    std::mutex mutex;
    std::vector<std::pair<PF_Fixed, PF_Fixed>> calls;
} recorder;

PF_Err recordSample(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, PF_Pixel* dst) {
    std::lock_guard lock(recorder.mutex);
    recorder.calls.emplace_back(x, y);
    EXPECT_NE(params, nullptr);
    if (params != nullptr) {
        EXPECT_EQ(params->x_radius, 0);
        EXPECT_EQ(params->y_radius, 0);
    }
    *dst = PF_Pixel{255, 0, 0, 0};
    return PF_Err_NONE;
}

const PF_Sampling8Suite1 kRecordingSuite = {nullptr, recordSample, nullptr};

PF_Fixed fx(double v) { return static_cast<PF_Fixed>(std::lround(v * 65536.0)); }

class ThreadedSubPixelTest : public SuitesHostTest {};

TEST_F(ThreadedSubPixelTest, WrapModesSampleWhereExpected) {
    host().addSuite(kPFSampling8Suite, 1, &kRecordingSuite);
    HostWorld<PF_Pixel> layer(10, 8);
    const double w = 10, h = 8;
    using Calls = std::vector<std::pair<PF_Fixed, PF_Fixed>>;
    struct Case {
        const char* name;
        Wrap wrap;
        double x, y;
        Calls expected;
    } cases[] = {
        {"none passes through", Wrap::None, -3.2, 12.5, {{fx(-3.2), fx(12.5)}}},
        {"edge clamps below", Wrap::Edge, -3.2, 5, {{0, fx(5)}}},
        {"edge clamps above", Wrap::Edge, w + 10, h + 10, {{fx(w - 1), fx(h - 1)}}},
        {"edge inside", Wrap::Edge, 3.25, 4.5, {{fx(3.25), fx(4.5)}}},
        {"repeat inside", Wrap::Repeat, 2.5, 3.0, {{fx(2.5), fx(3)}}},
        {"repeat a period on", Wrap::Repeat, w + 3.5, 2 * h + 1, {{fx(3.5), fx(1)}}},
        {"repeat negative", Wrap::Repeat, -2, -3, {{fx(w - 2), fx(h - 3)}}},
        {"repeat column seam", Wrap::Repeat, w - 0.5, 2, {{fx(w - 1), fx(2)}, {0, fx(2)}}},
        {"repeat row seam", Wrap::Repeat, 4, h - 0.25, {{fx(4), fx(h - 1)}, {fx(4), 0}}},
        {"repeat corner blends along the last row",
         Wrap::Repeat,
         w - 0.5,
         h - 0.5,
         {{fx(w - 1), fx(h - 1)}, {0, fx(h - 1)}}},
        {"mirror past the right edge", Wrap::Mirror, w + 2, 1, {{fx(w - 2), fx(1)}}},
        {"mirror before the left edge", Wrap::Mirror, -1, 1, {{fx(1), fx(1)}}},
        {"mirror at two widths", Wrap::Mirror, 2 * w, 2 * h, {{0, 0}}},
        {"mirror just past the edge stays on the last column", Wrap::Mirror, w + 0.5, 3, {{fx(w - 1), fx(3)}}},
        {"mirror rows", Wrap::Mirror, 2, -1.5, {{fx(2), fx(1.5)}}},
    };
    for (const auto& c : cases) {
        recorder.calls.clear();
        SubPixel sampler(&in_data_, suites(), layer.get(), c.wrap);
        PF_Pixel out{};
        EXPECT_EQ(sampler.sample(c.x, c.y, &out), PF_Err_NONE) << c.name;
        EXPECT_EQ(recorder.calls, c.expected) << c.name;
    }
}

// Columns carry distinct colours; every row is the same.
template <typename Pixel>
void fillColumns(HostWorld<Pixel>& layer, const std::vector<Pixel>& columns) {
    for (int y = 0; y < layer.height(); ++y) {
        for (int x = 0; x < layer.width(); ++x) layer.at(x, y) = columns[static_cast<size_t>(x)];
    }
}

TEST_F(ThreadedSubPixelTest, RepeatSeamMixesLastAndFirstColumn) {
    HostWorld<PF_Pixel> layer(4, 3);
    fillColumns<PF_Pixel>(layer, {{255, 200, 0, 40}, {255, 1, 1, 1}, {255, 2, 2, 2}, {255, 0, 100, 240}});
    const PF_Pixel first = layer.at(0, 0);
    const PF_Pixel last = layer.at(3, 0);
    SubPixel sampler(&in_data_, suites(), layer.get(), Wrap::Repeat);
    struct Case {
        const char* name;
        double x;
        double weightOfFirst;
    } cases[] = {{"half way", 3.5, 0.5},
                 {"a quarter before zero", -0.25, 0.75},
                 {"same from the right", 3.75, 0.75},
                 {"a tenth", 3.1, 0.1}};
    for (const auto& c : cases) {
        PF_Pixel out{};
        ASSERT_EQ(sampler.sample(c.x, 1.0, &out), PF_Err_NONE) << c.name;
        auto expect = [&](uint8_t a, uint8_t b) { return (1 - c.weightOfFirst) * a + c.weightOfFirst * b; };
        EXPECT_NEAR(out.red, expect(last.red, first.red), 0.51) << c.name;
        EXPECT_NEAR(out.green, expect(last.green, first.green), 0.51) << c.name;
        EXPECT_NEAR(out.blue, expect(last.blue, first.blue), 0.51) << c.name;
        EXPECT_EQ(out.alpha, 255) << c.name;
    }
}

TEST_F(ThreadedSubPixelTest, RepeatSeamKeepsFullAlphaAtEveryDepth) {
    for (double t : {0.1, 0.5, 0.77, 0.999}) {
        HostWorld<PF_Pixel16> deep(3, 3);
        fillColumns<PF_Pixel16>(deep, {{32768, 32768, 0, 5}, {32768, 1, 1, 1}, {32768, 32768, 32768, 0}});
        SubPixel deepSampler(&in_data_, suites(), deep.get(), Wrap::Repeat);
        PF_Pixel16 out16{};
        ASSERT_EQ(deepSampler.sample(2.0 + t, 1.0, &out16), PF_Err_NONE);
        EXPECT_EQ(out16.alpha, 32768) << t;
        EXPECT_EQ(out16.red, 32768) << "both ends are full red; t " << t;

        HostWorld<PF_Pixel> byte(3, 3);
        fillColumns<PF_Pixel>(byte, {{255, 255, 0, 0}, {255, 0, 0, 0}, {255, 255, 255, 0}});
        SubPixel byteSampler(&in_data_, suites(), byte.get(), Wrap::Repeat);
        PF_Pixel out8{};
        ASSERT_EQ(byteSampler.sample(1.0, 2.0 + t, &out8), PF_Err_NONE);
        EXPECT_EQ(out8.alpha, 255) << t;
    }
}

TEST_F(ThreadedSubPixelTest, FloatSeamIsNotClamped) {
    HostWorld<PF_PixelFloat> layer(2, 2);
    fillColumns<PF_PixelFloat>(layer, {{1.0f, 3.0f, -1.0f, 0.0f}, {1.0f, 1.0f, 1.0f, 0.0f}});
    SubPixel sampler(&in_data_, suites(), layer.get(), Wrap::Repeat);
    PF_PixelFloat out{};
    ASSERT_EQ(sampler.sample(1.5, 0.0, &out), PF_Err_NONE);
    EXPECT_FLOAT_EQ(out.red, 2.0f);
    EXPECT_FLOAT_EQ(out.green, 0.0f);
    EXPECT_FLOAT_EQ(out.alpha, 1.0f);
}

TEST_F(ThreadedSubPixelTest, SeamErrorsComeFromTheFirstFailingSample) {
    HostWorld<PF_Pixel16> layer(4, 4);
    struct Case {
        const char* name;
        int failingCall;
        PF_Err err;
        int expectedCalls;
    } cases[] = {{"first sample fails", 1, PF_Interrupt_CANCEL, 1},
                 {"second sample fails", 2, PF_Err_OUT_OF_MEMORY, 2}};
    for (const auto& c : cases) {
        SubPixel sampler(&in_data_, suites(), layer.get(), Wrap::Repeat);
        const int before = host().faults().calls("subpixel_sample16");
        host().faults().failCall("subpixel_sample16", c.failingCall, c.err);
        PF_Pixel16 out{1, 1, 1, 1};
        EXPECT_EQ(sampler.sample(3.5, 1.0, &out), c.err) << c.name;
        EXPECT_EQ(host().faults().calls("subpixel_sample16") - before, c.expectedCalls) << c.name;
        EXPECT_EQ(out.alpha, 0) << c.name;
    }
}

TEST_F(ThreadedSubPixelTest, ANonSeamErrorIsReturned) {
    HostWorld<PF_PixelFloat> layer(4, 4);
    SubPixel sampler(&in_data_, suites(), layer.get(), Wrap::Edge);
    host().faults().failCall("subpixel_sample_float", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
    PF_PixelFloat out{};
    EXPECT_EQ(sampler.sample(1.0, 1.0, &out), PF_Err_INTERNAL_STRUCT_DAMAGED);
}

TEST_F(ThreadedSubPixelTest, HugeAndNaNCoordinates) {
    HostWorld<PF_Pixel> layer(5, 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) layer.at(x, y) = PF_Pixel{255, uint8_t(x * 50), uint8_t(y * 50), 7};
    }
    struct Case {
        const char* name;
        Wrap wrap;
        double x, y;
        bool transparent;
        int expectX, expectY;  // when not transparent
    } cases[] = {
        {"none NaN", Wrap::None, kNaN, 1, true, 0, 0},
        {"none huge", Wrap::None, 1e300, 1, true, 0, 0},
        {"none minus huge", Wrap::None, -1e300, -1e300, true, 0, 0},
        {"edge NaN", Wrap::Edge, 2, kNaN, true, 0, 0},
        {"edge huge clamps", Wrap::Edge, 1e300, -1e300, false, 4, 0},
        {"edge infinity clamps", Wrap::Edge, -kInf, kInf, false, 0, 4},
        {"repeat NaN x", Wrap::Repeat, kNaN, 2, true, 0, 0},
        {"repeat NaN y on the column seam", Wrap::Repeat, 4.5, kNaN, true, 0, 0},
        {"repeat NaN x on the row seam", Wrap::Repeat, kNaN, 4.5, true, 0, 0},
        {"repeat infinity", Wrap::Repeat, kInf, 1, true, 0, 0},
        {"mirror NaN", Wrap::Mirror, 1, kNaN, true, 0, 0},
        {"mirror infinity", Wrap::Mirror, -kInf, 1, true, 0, 0},
    };
    for (const auto& c : cases) {
        SubPixel sampler(&in_data_, suites(), layer.get(), c.wrap);
        PF_Pixel out{1, 1, 1, 1};
        EXPECT_EQ(sampler.sample(c.x, c.y, &out), PF_Err_NONE) << c.name;
        if (c.transparent) {
            EXPECT_EQ(out.alpha, 0) << c.name;
            EXPECT_EQ(out.blue, 0) << c.name;
        } else {
            EXPECT_EQ(out.alpha, 255) << c.name;
            EXPECT_EQ(out.red, c.expectX * 50) << c.name;
            EXPECT_EQ(out.green, c.expectY * 50) << c.name;
        }
    }
}

TEST_F(ThreadedSubPixelTest, AnEmptyLayerSamplesTransparentWithoutTheHost) {
    HostWorld<PF_Pixel> wide(6, 0);
    HostWorld<PF_Pixel> tall(0, 6);
    for (PF_LayerDef* layer : {wide.get(), tall.get(), static_cast<PF_LayerDef*>(nullptr)}) {
        for (Wrap wrap : {Wrap::None, Wrap::Edge, Wrap::Repeat, Wrap::Mirror}) {
            SubPixel sampler(&in_data_, suites(), layer, wrap);
            PF_Pixel out8{1, 2, 3, 4};
            PF_Pixel16 out16{1, 2, 3, 4};
            PF_PixelFloat outFloat{1, 2, 3, 4};
            EXPECT_EQ(sampler.sample(0.5, 0.5, &out8), PF_Err_NONE);
            EXPECT_EQ(sampler.sample(-2.0, 7.0, &out16), PF_Err_NONE);
            EXPECT_EQ(sampler.sample(kNaN, 1.0, &outFloat), PF_Err_NONE);
            EXPECT_EQ(out8.alpha + out8.red + out8.green + out8.blue, 0);
            EXPECT_EQ(out16.alpha + out16.red + out16.green + out16.blue, 0);
            EXPECT_EQ(outFloat.alpha + outFloat.red + outFloat.green + outFloat.blue, 0.0f);
        }
    }
    EXPECT_EQ(host().faults().calls("subpixel_sample"), 0);
    EXPECT_EQ(host().faults().calls("subpixel_sample16"), 0);
    EXPECT_EQ(host().faults().calls("subpixel_sample_float"), 0);
}

TEST_F(ThreadedSubPixelTest, AnUnknownWrapModeWritesZeros) {
    HostWorld<PF_Pixel16> layer(3, 3);
    layer.at(1, 1) = PF_Pixel16{32768, 32768, 32768, 32768};
    for (int mode : {4, -1, 1000}) {
        SubPixel sampler(&in_data_, suites(), layer.get(), static_cast<Wrap>(mode));
        PF_Pixel16 out{9, 9, 9, 9};
        EXPECT_EQ(sampler.sample(1.0, 1.0, &out), PF_Err_NONE) << mode;
        EXPECT_EQ(out.alpha + out.red + out.green + out.blue, 0) << mode;
    }
    EXPECT_EQ(host().faults().calls("subpixel_sample16"), 0);
}

TEST_F(ThreadedSubPixelTest, AMissingSamplingSuiteIsRaisedAtConstruction) {
    host().faults().makeSuiteMissing(kPFSamplingFloatSuite, 1);
    HostWorld<PF_PixelFloat> layer(3, 3);
    EXPECT_THROW(SubPixel(&in_data_, suites(), layer.get(), Wrap::None), PF_Err);
}

TEST_F(ThreadedSubPixelTest, SharedByManyThreadsGivesTheSameAnswers) {
    HostWorld<PF_Pixel> layer(16, 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) layer.at(x, y) = PF_Pixel{255, uint8_t(x * 16), uint8_t(y * 16), 0};
    }
    const SubPixel sampler(&in_data_, suites(), layer.get(), Wrap::Repeat);
    auto sweep = [&sampler](std::vector<PF_Pixel>& out) {
        for (int k = 0; k < 400; ++k) sampler.sample(k * 0.37 - 20.0, k * 0.53 - 30.0, &out[static_cast<size_t>(k)]);
    };
    std::vector<PF_Pixel> expected(400);
    sweep(expected);
    std::vector<std::vector<PF_Pixel>> results(4, std::vector<PF_Pixel>(400));
    std::vector<std::thread> threads;
    for (auto& result : results) threads.emplace_back(sweep, std::ref(result));
    for (auto& thread : threads) thread.join();
    for (const auto& result : results) {
        for (size_t k = 0; k < result.size(); ++k) {
            ASSERT_EQ(result[k].red, expected[k].red) << k;
            ASSERT_EQ(result[k].green, expected[k].green) << k;
        }
    }
}

TEST_F(ThreadedSubPixelTest, AnOverloadOfAnotherDepthIsRefusedWithoutTheHost) {
    HostWorld<PF_Pixel> byte(4, 4);
    HostWorld<PF_Pixel16> deep(4, 4);
    HostWorld<PF_PixelFloat> floats(4, 4);
    // A record without a format falls back on the deep flag.
    HostWorld<PF_Pixel16> flaggedDeep(4, 4);
    flaggedDeep.get()->pixel_format = 0;
    flaggedDeep.get()->world_flags = PF_WorldFlag_DEEP;
    HostWorld<PF_Pixel> unflagged(4, 4);
    unflagged.get()->pixel_format = 0;
    struct Case {
        const char* name;
        PF_LayerDef* layer;
        int depth;  // the one overload that reaches the host
    } cases[] = {{"8-bit", byte.get(), 0},
                 {"16-bit", deep.get(), 1},
                 {"float", floats.get(), 2},
                 {"no format, deep flag", flaggedDeep.get(), 1},
                 {"no format, no flag", unflagged.get(), 0}};
    const char* calls[] = {"subpixel_sample", "subpixel_sample16", "subpixel_sample_float"};
    for (const auto& c : cases) {
        for (Wrap wrap : {Wrap::None, Wrap::Repeat}) {
            SubPixel sampler(&in_data_, suites(), c.layer, wrap);
            int before[3];
            for (int d = 0; d < 3; ++d) before[d] = host().faults().calls(calls[d]);
            PF_Pixel out8{9, 9, 9, 9};
            PF_Pixel16 out16{9, 9, 9, 9};
            PF_PixelFloat outFloat{9, 9, 9, 9};
            // 3.5 lies on the repeat seam, which samples twice.
            const PF_Err got[3] = {sampler.sample(3.5, 1.0, &out8), sampler.sample(3.5, 1.0, &out16),
                                   sampler.sample(3.5, 1.0, &outFloat)};
            const int alphas[3] = {out8.alpha, out16.alpha, int(outFloat.alpha)};
            for (int d = 0; d < 3; ++d) {
                const bool matching = d == c.depth;
                EXPECT_EQ(got[d], matching ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM) << c.name << " overload " << d;
                EXPECT_EQ(host().faults().calls(calls[d]) - before[d] > 0, matching) << c.name << " overload " << d;
                if (!matching) {
                    EXPECT_EQ(alphas[d], 0) << c.name << " overload " << d;
                }
            }
        }
    }
}

TEST_F(ThreadedSubPixelTest, ASamplerHoldingItsWorldKeepsItAlive) {
    std::shared_ptr<Morvel::World> world;
    ASSERT_EQ(Morvel::createWorld(&in_data_, &out_data_, suites(), Morvel::Bpc16, 3, 2, true, world), PF_Err_NONE);
    Morvel::pixelRow<PF_Pixel16>(world->world, 1)[2] = PF_Pixel16{32768, 100, 200, 300};
    auto sampler = std::make_unique<SubPixel>(&in_data_, suites(), world, Wrap::Edge);
    world.reset();
    EXPECT_EQ(host().ledger().outstanding("world"), 1u) << "the sampler let go of its world";
    // A copy shares the hold; the world goes only with the last one.
    const SubPixel copy = *sampler;
    sampler.reset();
    PF_Pixel16 out{};
    ASSERT_EQ(copy.sample(5.0, 5.0, &out), PF_Err_NONE);
    EXPECT_EQ(out.alpha, 32768);
    EXPECT_EQ(out.blue, 300);
}

TEST_F(ThreadedSubPixelTest, ASamplerOfNoWorldSamplesTransparent) {
    SubPixel sampler(&in_data_, suites(), std::shared_ptr<Morvel::World>(), Wrap::Repeat);
    PF_Pixel out{1, 2, 3, 4};
    EXPECT_EQ(sampler.sample(0.5, 0.5, &out), PF_Err_NONE);
    EXPECT_EQ(out.alpha + out.red + out.green + out.blue, 0);
}

}  // namespace
