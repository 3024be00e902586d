// The glow's preprocessing stage over a full-HD float frame with colour and alpha levels, a hue,
// lightness and saturation shift and a soft ellipse mask, run through the stand-in host's pool.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/stages/preprocessor.h"
#include "host/sim/host.h"
#include "host/sim/iterate.h"
#include "library/filter/iterate.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

struct Frame {
    Sim::Host host;
    PF_EffectInstance effect;
    PF_InData in_data{};
    std::vector<PF_PixelFloat> sourcePixels;
    std::vector<PF_PixelFloat> destinationPixels;
    PF_LayerDef source{};
    PF_LayerDef destination{};
    Glow::GlowParameters::Preprocessing params;

    Frame() : sourcePixels(size_t(kWidth) * kHeight), destinationPixels(sourcePixels.size()) {
        host.fillInData(in_data, &effect);
        effect.host = &host;
        for (size_t k = 0; k < sourcePixels.size(); ++k) {
            const float v = static_cast<float>(k % 997) / 997.0f;
            sourcePixels[k] = PF_PixelFloat{k % 13 == 0 ? 0.0f : 1.0f, v, 1.0f - v, 0.5f * v};
        }
        for (auto* world : {&source, &destination}) {
            world->width = kWidth;
            world->height = kHeight;
            world->rowbytes = kWidth * static_cast<int>(sizeof(PF_PixelFloat));
            world->pixel_format = PF_PixelFormat_ARGB128;
        }
        source.data = sourcePixels.data();
        destination.data = destinationPixels.data();

        params.hls = Morvel::Color<float>(0.0f, 20.0f, 1.1f, 0.8f);
        params.black = 0.1;
        params.white = 0.9;
        params.gamma = 1.8;
        params.alphaBlack = 0.05;
        params.alphaWhite = 0.95;
        params.useMask = true;
        params.maskType = Glow::MaskTypeItem::Circle;
        params.center = {kWidth / 2.0, kHeight / 2.0};
        params.rotation = 0.3;
        params.scale = 1.0;
        params.width = 700;
        params.height = 350;
        params.falloff = 120;
    }

    PF_Err run(int threads) {
        AEGP_SuiteHandler suites(in_data.pica_basicP);
        Glow::Preprocessor stage(&in_data, suites, Morvel::Bpc32, &source, &destination, &params);
        return Morvel::iterateGeneric(&in_data, suites, stage, threads);
    }
};

// Arg: the band count (1: one band inline; -1: one band per processor, as the driver runs it).
void BM_PreprocessorFullHdFloat(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    auto frame = std::make_unique<Frame>();
    for (auto _ : state) {
        if (frame->run(threads) != PF_Err_NONE) state.SkipWithError("preprocessing failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
    state.counters["processors"] = frame->host.iteration().processors();
}
BENCHMARK(BM_PreprocessorFullHdFloat)->Arg(1)->Arg(-1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
