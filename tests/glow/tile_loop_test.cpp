#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "glow/glow_channel.h"
#include "glow/glow_normal.h"
#include "glow/stages/tile_loop.h"
#include "host/sim/iterate.h"
#include "support/host_fixture.h"
#include "support/raw_world.h"

namespace {

using Glow::GlowParameters;

GlowParameters glowParameters(int blurType, Morvel::Wrap wrap, double blurRadius) {
    GlowParameters p;
    p.blurType = static_cast<Glow::BlurTypeItem>(blurType);
    p.blurRadius = blurRadius;
    p.diffusion = true;
    p.diffusionConvergence = 10;
    p.diffusionQuality = Glow::DiffusionQualityItem::Low;
    p.wrap = wrap;
    p.color1 = {1, 1, 0, 0};
    p.color2 = {1, 0, 1, 0};
    p.color3 = {1, 0, 0, 1};
    p.color1Radius = 0.6;
    p.color2Radius = 1;
    p.color3Radius = 1.4;
    p.glowWhite = 1;
    p.glowGamma = 1;
    p.glowAlphaWhite = 1;
    return p;
}

class TileLoopTest : public HostTest {
protected:
    // The float glow of a render on `processors` host threads with the render's thread count.
    std::vector<PF_PixelFloat> render(int blurType, Morvel::Wrap wrap, double blurRadius, int processors, int threads) {
        host().iteration().setProcessors(processors);
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        GlowParameters p = glowParameters(blurType, wrap, blurRadius);
        RawWorld<PF_PixelFloat> glow(kWidth, kHeight);
        PF_Err err = PF_Err_NONE;
        if (blurType == 1) {
            err = Glow::GlowNormal(&in_data_, suites, Morvel::Bpc32, glow.get(), threads, &p, &normal_).execute();
        } else {
            err = Glow::GlowChannel(&in_data_, suites, Morvel::Bpc32, glow.get(), threads, &p, &channel_).execute();
        }
        EXPECT_EQ(err, PF_Err_NONE);
        std::vector<PF_PixelFloat> pixels;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) pixels.push_back(glow.at(x, y));
        }
        return pixels;
    }

    void SetUp() override {
        HostTest::SetUp();
        in_data_.width = kWidth;
        in_data_.height = kHeight;
        std::mt19937 rng(17);
        std::uniform_real_distribution<double> unit(0, 1);
        for (int i = 0; i < kWidth * kHeight; ++i) {
            const bool lit = unit(rng) < 0.05;
            const double a = lit ? unit(rng) : 0.0;
            normal_.push_back({unit(rng) * a, unit(rng) * a, unit(rng) * a, a});
            channel_.push_back({unit(rng) * a, unit(rng) * a, unit(rng) * a, a, a, a});
        }
    }

    // Three columns and two rows of tiles of 256, or of 512 (Blur Radius 100); two of 1024 (Blur
    // Radius 200). The last ones lie partly outside.
    static constexpr int kWidth = 530;
    static constexpr int kHeight = 270;
    std::vector<Glow::Color> normal_;
    std::vector<Glow::ChannelColor> channel_;
};

// Every pixel is computed by the same arithmetic whether its tile runs whole on one thread beside
// other tiles or split over the host's bands, so any thread count and any number of processors
// give bitwise the glow of one thread. Tiles of 1024 take the banded path on several threads. The
// three-channel kernels' totals are added per band of the render's thread count, so their last
// bits follow it: that glow is compared at 8 threads, on one processor and on more.
TEST_F(TileLoopTest, ThreadedAnyThreadCountGivesBitwiseTheSameGlow) {
    auto expectSame = [](const std::vector<PF_PixelFloat>& got, const std::vector<PF_PixelFloat>& want,
                         const std::string& name) {
        ASSERT_EQ(got.size(), want.size()) << name;
        EXPECT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(PF_PixelFloat)), 0) << name;
    };
    const struct {
        const char* name;
        Morvel::Wrap wrap;
        double blurRadius;
    } oneColour[] = {
        {"one colour", Morvel::Wrap::None, 20},
        {"one colour, mirrored", Morvel::Wrap::Mirror, 20},
        {"one colour, tiles of 512", Morvel::Wrap::Mirror, 100},
        {"one colour, tiles of 1024", Morvel::Wrap::None, 200},
    };
    const struct {
        const char* name;
        int threads;
        int processors;
    } splits[] = {
        {"2 threads", 2, 2},
        {"3 threads", 3, 3},
        {"8 threads", 8, 8},
        {"4 threads on 3 processors", 4, 3},
    };
    for (const auto& c : oneColour) {
        const std::vector<PF_PixelFloat> one = render(1, c.wrap, c.blurRadius, 1, 1);
        for (const auto& split : splits) {
            expectSame(render(1, c.wrap, c.blurRadius, split.processors, split.threads), one,
                       std::string(c.name) + ", " + split.name);
        }
    }
    for (Morvel::Wrap wrap : {Morvel::Wrap::None, Morvel::Wrap::Mirror}) {
        const std::vector<PF_PixelFloat> onOne = render(2, wrap, 20, 1, 8);
        for (int processors : {2, 3, 8}) {
            expectSame(render(2, wrap, 20, processors, 8), onOne,
                       "three channels, wrap " + std::to_string(int(wrap)) + ", 8 threads on " +
                           std::to_string(processors) + " processors");
        }
    }
}

// Functors of a tile that do no arithmetic: the setter fails with the code its record gives for
// the tile's origin, so that a test can fail any tiles it likes.
struct FailingTileParts {
    struct SetterParameters {
        int tileX = 0;
        int tileY = 0;
        const std::map<std::pair<int, int>, PF_Err>* failures = nullptr;
    };
    struct OutputterParameters {
        int tileX = 0;
        int tileY = 0;
    };
    struct MultiplierParameters {};
    struct Setter {
        const SetterParameters* params;
        PF_Err operator()(int, int) const {
            const auto failure = params->failures->find({params->tileX, params->tileY});
            return failure == params->failures->end() ? PF_Err_NONE : failure->second;
        }
    };
    struct Multiplier {
        PF_Err operator()(int, int) const { return PF_Err_NONE; }
    };
    using Outputter = Multiplier;
    static constexpr std::size_t kPlanes = 1;
};

class TileOrderTest : public HostTest {};

// Whatever the tiles in flight, tile k's poll and progress come after those of the tiles before
// it, in order, and the first tile in that order to fail, or to be cancelled after, ends the
// convolution with its code.
TEST_F(TileOrderTest, ThreadedErrorsCancelsAndProgressGoInTileOrder) {
    // Tiles of 8 overlapping by 2: 4 x 3 of them over 11 x 9, counted row by row.
    const Glow::TileGrid grid(11, 9, 8, 2);
    ASSERT_EQ(grid.tiles(), 12);
    auto origin = [&](int k) { return std::make_pair(grid.originX(k), grid.originY(k)); };
    const struct {
        const char* name;
        std::map<std::pair<int, int>, PF_Err> failures;
        int abortAfterPolls;
        PF_Err want;
        int tilesDone;
    } cases[] = {
        {"all tiles", {}, -1, PF_Err_NONE, 12},
        {"tile 5 fails, then tile 6",
         {{origin(5), PF_Err_OUT_OF_MEMORY}, {origin(6), PF_Err_INTERNAL_STRUCT_DAMAGED}},
         -1,
         PF_Err_OUT_OF_MEMORY,
         5},
        {"tile 9 fails after tile 2",
         {{origin(9), PF_Err_BAD_CALLBACK_PARAM}, {origin(2), PF_Err_OUT_OF_MEMORY}},
         -1,
         PF_Err_OUT_OF_MEMORY,
         2},
        {"cancelled after tile 4", {{origin(7), PF_Err_OUT_OF_MEMORY}}, 4, PF_Interrupt_CANCEL, 4},
    };
    for (const auto& c : cases) {
        for (int inFlight : {1, 2, 3, 8}) {
            const std::string name = std::string(c.name) + ", " + std::to_string(inFlight) + " in flight";
            host().iteration().setProcessors(inFlight);
            host().iteration().abortAfterPolls(c.abortAfterPolls);
            const size_t reportsBefore = host().iteration().progressReports().size();
            PF_Err err = PF_Err_NONE;
            {
                AEGP_SuiteHandler suites(in_data_.pica_basicP);
                Morvel::FFT::FFT2D fft(&in_data_, suites, inFlight, grid.size);
                std::vector<std::unique_ptr<Glow::TileSlot<FailingTileParts>>> slots;
                for (int k = 0; k < inFlight; ++k) {
                    auto slot = std::make_unique<Glow::TileSlot<FailingTileParts>>(grid.size);
                    slot->setterParams.failures = &c.failures;
                    slot->setter.emplace(FailingTileParts::Setter{&slot->setterParams});
                    slot->multiplier.emplace();
                    slot->outputter.emplace();
                    slots.push_back(std::move(slot));
                }
                Glow::TilePlan plan;
                plan.inFlight = inFlight;
                err = Glow::convolveTiles(&in_data_, suites, fft, grid, plan, slots);
            }
            EXPECT_EQ(err, c.want) << name;
            const auto reports = host().iteration().progressReports();
            ASSERT_EQ(reports.size() - reportsBefore, static_cast<size_t>(c.tilesDone)) << name;
            for (int k = 0; k < c.tilesDone; ++k) {
                EXPECT_EQ(reports[reportsBefore + k].current, k + 1) << name;
                EXPECT_EQ(reports[reportsBefore + k].total, grid.progressTotal) << name;
            }
            // A failing tile is not polled for; a cancelled one is.
            const int polls = c.abortAfterPolls >= 0 ? c.tilesDone + 1 : c.tilesDone;
            EXPECT_EQ(host().iteration().abortPolls(), polls) << name;
        }
    }
    host().iteration().abortAfterPolls(-1);
}

}  // namespace
