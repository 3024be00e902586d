#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "host/sim/iterate.h"
#include "library/filter/filter.h"
#include "library/filter/iterate.h"
#include "support/host_fixture.h"
#include "support/raw_world.h"

using Morvel::Rect;
using Morvel::Filter::bandRect;

namespace {

TEST(BandRect, TenRowsInThreeBands) {
    const int expected[3][2] = {{0, 3}, {3, 6}, {6, 10}};
    for (int i = 0; i < 3; ++i) {
        const Rect<int> band = bandRect(7, 10, i, 3, false);
        EXPECT_EQ(band.top, expected[i][0]) << "band " << i;
        EXPECT_EQ(band.bottom, expected[i][1]) << "band " << i;
        EXPECT_EQ(band.left, 0);
        EXPECT_EQ(band.right, 7);
    }
}

// The bands of every split cover [0, size) once, in order, and span the other axis fully.
TEST(BandRect, BandsTileExactlyOverManySizesAndCounts) {
    const int sizes[] = {0, 1, 2, 3, 7, 10, 31, 100, 1081, 4096};
    const int counts[] = {1, 2, 3, 4, 7, 8, 32, 48, 200};
    for (bool byColumns : {false, true}) {
        for (int size : sizes) {
            for (int n : counts) {
                const int across = 5;
                int covered = 0;
                for (int i = 0; i < n; ++i) {
                    const Rect<int> band =
                        byColumns ? bandRect(size, across, i, n, true) : bandRect(across, size, i, n, false);
                    const int start = byColumns ? band.left : band.top;
                    const int end = byColumns ? band.right : band.bottom;
                    const int otherStart = byColumns ? band.top : band.left;
                    const int otherEnd = byColumns ? band.bottom : band.right;
                    ASSERT_EQ(start, covered)
                        << "size " << size << " n " << n << " band " << i << " columns " << byColumns;
                    ASSERT_GE(end, start);
                    ASSERT_EQ(otherStart, 0);
                    ASSERT_EQ(otherEnd, across);
                    covered = end;
                }
                EXPECT_EQ(covered, size) << "size " << size << " n " << n;
            }
        }
    }
}

TEST(BandRect, LargeImagesAndCountsDoNotOverflow) {
    const Rect<int> last = bandRect(10, 30000, 99999, 100000, false);
    EXPECT_EQ(last.bottom, 30000);
    EXPECT_EQ(last.top, static_cast<int>(int64_t(30000) * 99999 / 100000));
}

struct NoParams {};

// Records which bands it was given at which depth.
class RecordingFilter : public Morvel::Filter::Filter<NoParams> {
public:
    using Filter::Filter;

    void setByColumns(bool value) { by_columns = value; }

    struct Call {
        int depth;
        Rect<int> area;
        bool first;
    };
    std::vector<Call> calls;

    PF_Err filter8(const Rect<int>& area, bool first) override { return record(0, area, first); }
    PF_Err filter16(const Rect<int>& area, bool first) override { return record(1, area, first); }
    PF_Err filter32(const Rect<int>& area, bool first) override { return record(2, area, first); }

private:
    PF_Err record(int depth, const Rect<int>& area, bool first) {
        std::lock_guard lock(mutex_);
        calls.push_back({depth, area, first});
        return PF_Err_NONE;
    }
    std::mutex mutex_;
};

// The dispatcher never touches the handler; a host-free handler stand-in keeps these tests pure.
class DispatchTest : public SuitesHostTest {};

TEST_F(DispatchTest, DepthSelectsTheOperationAndOtherDepthsDoNothing) {
    RawWorld<PF_Pixel> world(4, 6);
    struct Case {
        const char* name;
        int bpc;
        int expectedDepth;  // -1: no call
    } cases[] = {{"8-bit", 0, 0}, {"16-bit", 1, 1}, {"float", 2, 2}, {"unknown 3", 3, -1}, {"negative", -1, -1}};
    for (const auto& c : cases) {
        NoParams params;
        RecordingFilter filter(&in_data_, suites(), static_cast<Morvel::Bpc>(c.bpc), nullptr, world.get(), &params);
        EXPECT_EQ(filter.filter(1, 2), PF_Err_NONE) << c.name;
        if (c.expectedDepth < 0) {
            EXPECT_TRUE(filter.calls.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(filter.calls.size(), 1u) << c.name;
        EXPECT_EQ(filter.calls[0].depth, c.expectedDepth) << c.name;
        EXPECT_FALSE(filter.calls[0].first) << c.name;
    }
    EXPECT_EQ(host().log().count("AcquireSuite"), 0u);
}

TEST_F(DispatchTest, ReferenceWorldIsOutputThenInputThenNothing) {
    RawWorld<PF_Pixel> input(10, 20);
    RawWorld<PF_Pixel> output(8, 12);
    NoParams params;
    struct Case {
        const char* name;
        PF_LayerDef* in;
        PF_LayerDef* out;
        bool called;
        Rect<int> band0;
    } cases[] = {
        {"output set", input.get(), output.get(), true, {0, 0, 8, 6}},
        {"only input", input.get(), nullptr, true, {0, 0, 10, 10}},
        {"neither", nullptr, nullptr, false, {}},
    };
    for (const auto& c : cases) {
        RecordingFilter filter(&in_data_, suites(), Morvel::Bpc8, c.in, c.out, &params);
        EXPECT_EQ(filter.filter(0, 2), PF_Err_NONE) << c.name;
        ASSERT_EQ(filter.calls.size(), c.called ? 1u : 0u) << c.name;
        if (!c.called) continue;
        const Rect<int>& got = filter.calls[0].area;
        EXPECT_TRUE(got.left == c.band0.left && got.top == c.band0.top && got.right == c.band0.right &&
                    got.bottom == c.band0.bottom)
            << c.name << ": " << got.left << "," << got.top << "," << got.right << "," << got.bottom;
        EXPECT_TRUE(filter.calls[0].first) << c.name;
    }
}

TEST_F(DispatchTest, ByColumnsSplitsTheWidth) {
    RawWorld<PF_PixelFloat> world(10, 4);
    NoParams params;
    RecordingFilter filter(&in_data_, suites(), Morvel::Bpc32, world.get(), nullptr, &params);
    filter.setByColumns(true);
    ASSERT_EQ(filter.filter(2, 3), PF_Err_NONE);
    ASSERT_EQ(filter.calls.size(), 1u);
    EXPECT_EQ(filter.calls[0].area.left, 6);
    EXPECT_EQ(filter.calls[0].area.right, 10);
    EXPECT_EQ(filter.calls[0].area.top, 0);
    EXPECT_EQ(filter.calls[0].area.bottom, 4);
}

TEST_F(DispatchTest, ABandOutsideTheSplitIsRefused) {
    RawWorld<PF_Pixel> world(4, 4);
    NoParams params;
    RecordingFilter filter(&in_data_, suites(), Morvel::Bpc8, world.get(), nullptr, &params);
    EXPECT_EQ(filter.filter(0, 0), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(filter.filter(3, 3), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(filter.filter(-1, 3), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(filter.calls.empty());
}

// ---------------------------------------------------------------- iteration through the host

// A functor band: records (i, n) and the thread it ran on; optionally fails or throws.
struct BandRecorder {
    std::mutex mutex;
    std::vector<std::pair<int, int>> bands;
    std::vector<std::thread::id> threads;
    int throwOnBand = -1;
    enum class Throw { None, Err516, BadAlloc, Other } what = Throw::None;
    int failBand = -1;
    PF_Err failWith = PF_Err_NONE;

    PF_Err operator()(int i, int n) {
        {
            std::lock_guard lock(mutex);
            bands.emplace_back(i, n);
            threads.push_back(std::this_thread::get_id());
        }
        if (i == throwOnBand) {
            switch (what) {
                case Throw::Err516: throw static_cast<PF_Err>(PF_Err_BAD_CALLBACK_PARAM);
                case Throw::BadAlloc: throw std::bad_alloc();
                case Throw::Other: throw std::runtime_error("band failed");
                case Throw::None: break;
            }
        }
        return i == failBand ? failWith : PF_Err_NONE;
    }

    std::vector<int> sortedIndices() const {
        std::vector<int> indices;
        for (const auto& band : bands) indices.push_back(band.first);
        std::sort(indices.begin(), indices.end());
        return indices;
    }
};

std::vector<int> iota(int n) {
    std::vector<int> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = i;
    return v;
}

class ThreadedIterateGenericTest : public HostTest {
protected:
    Sim::Iteration& iteration() { return host().iteration(); }
};

TEST_F(ThreadedIterateGenericTest, OneThreadRunsInlineWithoutAcquiringASuite) {
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    BandRecorder work;
    EXPECT_EQ(Morvel::iterateGeneric(&in_data_, suites, work, 1), PF_Err_NONE);
    ASSERT_EQ(work.bands.size(), 1u);
    EXPECT_EQ(work.bands[0], std::make_pair(0, 1));
    EXPECT_EQ(work.threads[0], std::this_thread::get_id());
    EXPECT_EQ(host().log().count("AcquireSuite"), 0u);
    EXPECT_EQ(host().log().count("iterate_generic"), 0u);
}

TEST_F(ThreadedIterateGenericTest, ThreadCountRules) {
    struct Case {
        const char* name;
        int threads;
        int reported;
        int expectedBands;
        bool expectedHostIteration;
        bool expectedThreadQuery;
    } cases[] = {
        {"0 with 48 host threads runs 32", 0, 48, 32, true, true},
        {"0 with 32 host threads", 0, 32, 32, true, true},
        {"0 with 3 host threads", 0, 3, 3, true, true},
        {"0 with 1 host thread runs inline", 0, 1, 1, false, true},
        {"0 with 0 host threads runs inline", 0, 0, 1, false, true},
        {"2 bands", 2, 48, 2, true, false},
        {"40 bands are not capped", 40, 8, 40, true, false},
        {"-5 runs inline", -5, 8, 1, false, false},
    };
    iteration().setProcessors(4);
    for (const auto& c : cases) {
        host().log().clear();
        iteration().setReportedThreads(c.reported);
        BandRecorder work;
        {
            AEGP_SuiteHandler suites(in_data_.pica_basicP);
            EXPECT_EQ(Morvel::iterateGeneric(&in_data_, suites, work, c.threads), PF_Err_NONE) << c.name;
        }
        EXPECT_EQ(work.sortedIndices(), iota(c.expectedBands)) << c.name;
        for (const auto& band : work.bands) EXPECT_EQ(band.second, c.expectedBands) << c.name;
        EXPECT_EQ(host().log().count("iterate_generic"), c.expectedHostIteration ? 1u : 0u) << c.name;
        EXPECT_EQ(host().log().contains("AEGP Iterate Suite"), c.expectedThreadQuery) << c.name;
        EXPECT_EQ(iteration().abortPolls(), 0) << c.name << ": only -1 polls";
    }
}

TEST_F(ThreadedIterateGenericTest, OncePerProcessorPollsAbortOnThreadZeroOnly) {
    iteration().setProcessors(4);
    iteration().abortAfterPolls(-1);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    BandRecorder work;
    ASSERT_EQ(Morvel::iterateGeneric(&in_data_, suites, work, -1), PF_Err_NONE);
    EXPECT_TRUE(host().log().contains("iterate_generic -1"));
    EXPECT_EQ(work.sortedIndices(), iota(4));
    // Thread 0 is the calling thread: every poll came from it, one per band it ran.
    const auto me = std::this_thread::get_id();
    const auto polls = iteration().abortPollThreads();
    const auto bandsHere = std::count(work.threads.begin(), work.threads.end(), me);
    EXPECT_EQ(static_cast<long>(polls.size()), bandsHere);
    EXPECT_GE(polls.size(), 1u);
    for (const auto& id : polls) EXPECT_EQ(id, me);
}

TEST_F(ThreadedIterateGenericTest, AnAbortEndsTheIterationWithTheHostsCode) {
    iteration().setProcessors(2);
    iteration().abortAfterPolls(0);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    BandRecorder work;
    EXPECT_EQ(Morvel::iterateGeneric(&in_data_, suites, work, -1), PF_Interrupt_CANCEL);
    // Band 0 saw the abort before it worked.
    for (const auto& band : work.bands) EXPECT_NE(band.first, 0);
}

TEST_F(ThreadedIterateGenericTest, ThreadQueryErrorIsReturnedWithoutWork) {
    host().faults().failCall("AEGP_GetNumThreads", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    BandRecorder work;
    EXPECT_EQ(Morvel::iterateGeneric(&in_data_, suites, work, 0), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_TRUE(work.bands.empty());
}

TEST_F(ThreadedIterateGenericTest, AMissingIterateSuiteIsRaisedOnTheCallingThread) {
    host().faults().makeSuiteMissing(kPFIterate8Suite, 1);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    BandRecorder work;
    EXPECT_THROW(Morvel::iterateGeneric(&in_data_, suites, work, 4), PF_Err);
    EXPECT_TRUE(work.bands.empty());
}

TEST_F(ThreadedIterateGenericTest, AThrowingBandReturnsItsCodeAndNothingReachesTheHost) {
    struct Case {
        const char* name;
        BandRecorder::Throw what;
        PF_Err expected;
    } cases[] = {
        {"missing suite", BandRecorder::Throw::Err516, PF_Err_BAD_CALLBACK_PARAM},
        {"out of memory", BandRecorder::Throw::BadAlloc, PF_Err_OUT_OF_MEMORY},
        {"anything else", BandRecorder::Throw::Other, PF_Err_INTERNAL_STRUCT_DAMAGED},
    };
    iteration().setProcessors(4);
    for (const auto& c : cases) {
        for (int threads : {1, 3, -1}) {
            for (int band : {0, 1}) {
                if (threads == 1 && band == 1) continue;
                host().log().clear();
                AEGP_SuiteHandler suites(in_data_.pica_basicP);
                BandRecorder work;
                work.throwOnBand = band;
                work.what = c.what;
                EXPECT_EQ(Morvel::iterateGeneric(&in_data_, suites, work, threads), c.expected)
                    << c.name << " threads " << threads << " band " << band;
                EXPECT_FALSE(host().log().contains("exception escaped")) << c.name << " threads " << threads;
            }
        }
    }
}

TEST_F(ThreadedIterateGenericTest, AFailingBandsCodeIsTheResult) {
    iteration().setProcessors(3);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    BandRecorder work;
    work.failBand = 5;
    work.failWith = PF_Err_OUT_OF_MEMORY;
    EXPECT_EQ(Morvel::iterateGeneric(&in_data_, suites, work, 8), PF_Err_OUT_OF_MEMORY);
}

TEST_F(ThreadedIterateGenericTest, AMissingSamplingSuiteInsideABandBecomesItsError) {
    host().faults().makeSuiteMissing(kPFSampling16Suite, 1);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    std::atomic<int> reached{0};
    auto work = [&](int, int) -> PF_Err {
        ++reached;
        return suites.Sampling16Suite1() != nullptr ? PF_Err_NONE : PF_Err_INTERNAL_STRUCT_DAMAGED;
    };
    EXPECT_EQ(Morvel::iterateGeneric(&in_data_, suites, work, 4), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_GE(reached.load(), 1);
}

// A real stage: every output pixel is its input plus one, written by exactly one band.
struct AddOne {
    float amount;
};

class AddOneFilter : public Morvel::Filter::Filter<AddOne> {
public:
    AddOneFilter(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                 PF_LayerDef* output, AddOne* params, std::vector<std::atomic<int>>& writes)
        : Filter(in_data, suites, bpc, input, output, params), writes_(writes) {}

    PF_Err filter8(const Rect<int>&, bool) override { return PF_Err_BAD_CALLBACK_PARAM; }
    PF_Err filter16(const Rect<int>&, bool) override { return PF_Err_BAD_CALLBACK_PARAM; }
    PF_Err filter32(const Rect<int>& area, bool) override {
        for (int y = area.top; y < area.bottom; ++y) {
            const auto* in =
                reinterpret_cast<const PF_PixelFloat*>(static_cast<char*>(input->data) + y * input->rowbytes);
            auto* out = reinterpret_cast<PF_PixelFloat*>(static_cast<char*>(output->data) + y * output->rowbytes);
            for (int x = area.left; x < area.right; ++x) {
                out[x] = in[x];
                out[x].red = in[x].red + params->amount;
                ++writes_[static_cast<size_t>(y) * output->width + x];
            }
        }
        return PF_Err_NONE;
    }

private:
    std::vector<std::atomic<int>>& writes_;
};

TEST_F(ThreadedIterateGenericTest, AFilterStageWritesEveryPixelOnceAtEveryCount) {
    iteration().setProcessors(4);
    iteration().setReportedThreads(48);
    const int width = 37;
    const int height = 53;
    RawWorld<PF_PixelFloat> input(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) input.at(x, y) = PF_PixelFloat{1.0f, float(x * 100 + y), 0.0f, 0.0f};
    }
    for (int threads : {1, 2, 3, 7, 0, -1, 64}) {
        RawWorld<PF_PixelFloat> output(width, height);
        std::vector<std::atomic<int>> writes(static_cast<size_t>(width) * height);
        AddOne params{1.0f};
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        AddOneFilter filter(&in_data_, suites, Morvel::Bpc32, input.get(), output.get(), &params, writes);
        ASSERT_EQ(Morvel::iterateGeneric(&in_data_, suites, filter, threads), PF_Err_NONE) << threads;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                ASSERT_EQ(writes[static_cast<size_t>(y) * width + x].load(), 1) << threads << " at " << x << "," << y;
                ASSERT_EQ(output.at(x, y).red, float(x * 100 + y) + 1.0f) << threads;
            }
        }
    }
}

// ---------------------------------------------------------------- one band template for three depths

struct Lift {
    double amount;  // 0 keeps the colour, 1 lifts it to full scale
};

// Colour moved towards full scale by the amount, rounded half up at the integer depths.
// Written once over the pixel type.
class LiftByTemplate : public Morvel::Filter::PixelFilter<LiftByTemplate, Lift> {
public:
    using PixelFilter::PixelFilter;

    template <typename Pixel>
    PF_Err band(const Rect<int>& area, bool) {
        using Traits = Morvel::PixelTraits<Pixel>;
        const double full = Traits::full;
        auto lift = [&](auto channel) {
            const double lifted = channel + (full - channel) * params->amount;
            if constexpr (Traits::integral) {
                return static_cast<Morvel::ChannelOf<Pixel>>(lifted + 0.5);
            } else {
                return static_cast<float>(lifted);
            }
        };
        for (int y = area.top; y < area.bottom; ++y) {
            const Pixel* in = Morvel::pixelRow<Pixel>(static_cast<const PF_LayerDef*>(input), y);
            Pixel* out = Morvel::pixelRow<Pixel>(output, y);
            for (int x = area.left; x < area.right; ++x) {
                out[x] = Pixel{in[x].alpha, lift(in[x].red), lift(in[x].green), lift(in[x].blue)};
            }
        }
        return PF_Err_NONE;
    }
};

// The same stage written out by hand, one method per depth.
class LiftByHand : public Morvel::Filter::Filter<Lift> {
public:
    using Filter::Filter;

    PF_Err filter8(const Rect<int>& area, bool) override {
        for (int y = area.top; y < area.bottom; ++y) {
            const auto* in = reinterpret_cast<const PF_Pixel*>(static_cast<char*>(input->data) + y * input->rowbytes);
            auto* out = reinterpret_cast<PF_Pixel*>(static_cast<char*>(output->data) + y * output->rowbytes);
            for (int x = area.left; x < area.right; ++x) {
                out[x].alpha = in[x].alpha;
                out[x].red = uint8_t(in[x].red + (255.0 - in[x].red) * params->amount + 0.5);
                out[x].green = uint8_t(in[x].green + (255.0 - in[x].green) * params->amount + 0.5);
                out[x].blue = uint8_t(in[x].blue + (255.0 - in[x].blue) * params->amount + 0.5);
            }
        }
        return PF_Err_NONE;
    }
    PF_Err filter16(const Rect<int>& area, bool) override {
        for (int y = area.top; y < area.bottom; ++y) {
            const auto* in = reinterpret_cast<const PF_Pixel16*>(static_cast<char*>(input->data) + y * input->rowbytes);
            auto* out = reinterpret_cast<PF_Pixel16*>(static_cast<char*>(output->data) + y * output->rowbytes);
            for (int x = area.left; x < area.right; ++x) {
                out[x].alpha = in[x].alpha;
                out[x].red = uint16_t(in[x].red + (32768.0 - in[x].red) * params->amount + 0.5);
                out[x].green = uint16_t(in[x].green + (32768.0 - in[x].green) * params->amount + 0.5);
                out[x].blue = uint16_t(in[x].blue + (32768.0 - in[x].blue) * params->amount + 0.5);
            }
        }
        return PF_Err_NONE;
    }
    PF_Err filter32(const Rect<int>& area, bool) override {
        for (int y = area.top; y < area.bottom; ++y) {
            const auto* in =
                reinterpret_cast<const PF_PixelFloat*>(static_cast<char*>(input->data) + y * input->rowbytes);
            auto* out = reinterpret_cast<PF_PixelFloat*>(static_cast<char*>(output->data) + y * output->rowbytes);
            for (int x = area.left; x < area.right; ++x) {
                out[x].alpha = in[x].alpha;
                out[x].red = float(in[x].red + (1.0 - in[x].red) * params->amount);
                out[x].green = float(in[x].green + (1.0 - in[x].green) * params->amount);
                out[x].blue = float(in[x].blue + (1.0 - in[x].blue) * params->amount);
            }
        }
        return PF_Err_NONE;
    }
};

template <typename Pixel>
void expectTemplateMatchesHand(PF_InData& in_data, int threads) {
    using Traits = Morvel::PixelTraits<Pixel>;
    const int width = 23;
    const int height = 17;
    RawWorld<Pixel> input(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double unit = double((x * 7 + y * 13) % 29) / 28.0;
            const auto channel = Traits::fromUnit(unit);
            input.at(x, y) = Pixel{Traits::fromUnit(1.0 - unit), channel, Traits::fromUnit(unit * unit),
                                   Traits::fromUnit(0.5 * unit)};
        }
    }
    RawWorld<Pixel> byTemplate(width, height, 1);
    RawWorld<Pixel> byHand(width, height, 6);
    Lift params{0.37};
    AEGP_SuiteHandler suites(in_data.pica_basicP);
    LiftByTemplate templated(&in_data, suites, Traits::bpc, input.get(), byTemplate.get(), &params);
    LiftByHand hand(&in_data, suites, Traits::bpc, input.get(), byHand.get(), &params);
    ASSERT_EQ(Morvel::iterateGeneric(&in_data, suites, templated, threads), PF_Err_NONE);
    ASSERT_EQ(Morvel::iterateGeneric(&in_data, suites, hand, threads), PF_Err_NONE);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Pixel& a = byTemplate.at(x, y);
            const Pixel& b = byHand.at(x, y);
            ASSERT_TRUE(a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue)
                << "bpc " << Traits::bpc << " threads " << threads << " at " << x << "," << y;
        }
    }
    // The lift moved something, so the comparison is not of two untouched worlds.
    EXPECT_NE(byHand.at(0, 0).red, input.at(0, 0).red);
}

TEST_F(ThreadedIterateGenericTest, AStageWrittenOnceRendersLikeOneWrittenPerDepth) {
    iteration().setProcessors(4);
    for (int threads : {1, 3, -1}) {
        expectTemplateMatchesHand<PF_Pixel>(in_data_, threads);
        expectTemplateMatchesHand<PF_Pixel16>(in_data_, threads);
        expectTemplateMatchesHand<PF_PixelFloat>(in_data_, threads);
    }
}

}  // namespace
