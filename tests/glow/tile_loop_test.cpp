#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "glow/glow_channel.h"
#include "glow/glow_normal.h"
#include "host/sim/iterate.h"
#include "support/host_fixture.h"
#include "support/raw_world.h"

namespace {

using Glow::GlowParameters;

GlowParameters glowParameters(int blurType, Morvel::Wrap wrap) {
    GlowParameters p;
    p.blurType = blurType;
    p.blurRadius = 20;
    p.diffusion = true;
    p.diffusionConvergence = 10;
    p.diffusionQuality = 1;
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
    std::vector<PF_PixelFloat> render(int blurType, Morvel::Wrap wrap, int processors, int threads) {
        host().iteration().setProcessors(processors);
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        GlowParameters p = glowParameters(blurType, wrap);
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

    // Several tiles of 256 each way, the last ones partly outside.
    static constexpr int kWidth = 530;
    static constexpr int kHeight = 270;
    std::vector<Glow::Color> normal_;
    std::vector<Glow::ChannelColor> channel_;
};

// Every pixel is computed by the same arithmetic whichever band holds it, so any split of the
// tiles over the host's processors gives bitwise the glow of one band. (The render's thread count
// stays: the kernel's total is summed per band of that count.)
TEST_F(TileLoopTest, ThreadedAnyBandSplitGivesBitwiseTheSameGlow) {
    constexpr int kThreads = 4;
    for (int blurType : {1, 2}) {
        for (Morvel::Wrap wrap : {Morvel::Wrap::None, Morvel::Wrap::Mirror}) {
            const std::vector<PF_PixelFloat> one = render(blurType, wrap, 1, kThreads);
            for (int processors : {2, 3, 8}) {
                const std::vector<PF_PixelFloat> many = render(blurType, wrap, processors, kThreads);
                const std::string name = "blur type " + std::to_string(blurType) + ", wrap " +
                                         std::to_string(int(wrap)) + ", " + std::to_string(processors) +
                                         " processors";
                ASSERT_EQ(many.size(), one.size()) << name;
                EXPECT_EQ(std::memcmp(many.data(), one.data(), one.size() * sizeof(PF_PixelFloat)), 0) << name;
            }
        }
    }
}

}  // namespace
