// The glow's pipeline driver over a full-HD float frame with the kernels off (Final, on source),
// next to its floor: one host copy and one host blend of the same worlds, which any composite
// of a glow over its source must do.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/glow.h"
#include "host/sim/host.h"
#include "host/sim/iterate.h"
#include "host/sim/params.h"
#include "host/sim/worlds.h"
#include "library/world/world.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

struct Frame {
    Sim::Host host;
    PF_EffectInstance effect;
    PF_InData in_data{};
    PF_OutData out_data{};
    std::shared_ptr<Morvel::World> input;
    std::shared_ptr<Morvel::World> output;
    std::shared_ptr<Morvel::World> glow;
    Glow::GlowParameters params;

    Frame() {
        host.fillInData(in_data, &effect);
        effect.host = &host;
        // "Source Layer" and "Glow Layer", both without a layer.
        for (int id : {105, 106}) Sim::paramValue(effect, id).param_type = PF_Param_LAYER;

        Sim::Image picture(kWidth, kHeight, PF_PixelFormat_ARGB128);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const float v = static_cast<float>((x * 7 + y * 13) % 997) / 997.0f;
                picture.at<PF_PixelFloat>(x, y) = PF_PixelFloat{(x + y) % 13 == 0 ? 0.0f : 1.0f, v, 1.0f - v, 2.0f * v};
            }
        }
        input = std::make_shared<Morvel::World>(host.worlds().adopt(std::move(picture)));
        output = std::make_shared<Morvel::World>(host.worlds().adopt(Sim::Image(kWidth, kHeight, PF_PixelFormat_ARGB128)));
        glow = std::make_shared<Morvel::World>(host.worlds().adopt(Sim::Image(kWidth, kHeight, PF_PixelFormat_ARGB128)));

        params.renderingMode = 5;
        params.blurType = 1;
        params.diffusion = params.beam = params.kernel = false;
        params.preprocessing.hls = Morvel::Color<float>(0.0f, 0.0f, 1.0f, 1.0f);
        params.preprocessing.white = params.preprocessing.gamma = params.preprocessing.alphaWhite = 1.0;
        params.threshold = 0.5;
        params.thresholdSoftness = 0.1;
        params.channel = 1;
        params.toner = 1;
        params.tones = 1;
        params.highlight = params.midtone = params.shadow = Morvel::Color<float>(1.0f, 1.0f, 1.0f, 1.0f);
        params.tonerWhite = params.tonerGamma = 1.0;
        params.compositeSettings = 1;
        params.blendingMode = Morvel::BlendingMode::Screen;
        params.sourceOpacity = params.glowOpacity = 1.0;
        params.sourceWhite = params.sourceGamma = params.sourceAlphaWhite = 1.0;
    }

    PF_Err driver() {
        AEGP_SuiteHandler suites(in_data.pica_basicP);
        return Glow::Glow(&in_data, &out_data, suites, Morvel::Bpc32, input, output, &params).execute();
    }

    PF_Err floor() {
        const Morvel::Rect<int> whole{0, 0, kWidth, kHeight};
        if (PF_Err err = Morvel::copy(&in_data, input, output)) return err;
        return Morvel::blend(&in_data, glow, output, Morvel::Bpc32, whole, Morvel::Vector2<int>{0, 0},
                             params.blendingMode, 1.0, false);
    }
};

void run(benchmark::State& state, PF_Err (Frame::*pass)()) {
    auto frame = std::make_unique<Frame>();
    for (auto _ : state) {
        if (((*frame).*pass)() != PF_Err_NONE) state.SkipWithError("the pass failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
    state.counters["processors"] = frame->host.iteration().processors();
}

void BM_GlowDriverKernelsOffFullHdFloat(benchmark::State& state) { run(state, &Frame::driver); }
void BM_GlowDriverFloorCopyAndBlendFullHdFloat(benchmark::State& state) { run(state, &Frame::floor); }

BENCHMARK(BM_GlowDriverKernelsOffFullHdFloat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GlowDriverFloorCopyAndBlendFullHdFloat)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
