// The glow's one-colour threshold stage over a full-HD frame at 8 bits and in float, with the
// Luminance channel and with the custom channel "a * r * s", run through the stand-in host's pool.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/threshold_normal.h"
#include "host/sim/host.h"
#include "host/sim/iterate.h"
#include "library/custom_data/color_expression_data/expression_parser.h"
#include "library/filter/iterate.h"
#include "library/utility/pixel.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

template <typename Pixel>
struct Frame {
    Sim::Host host;
    PF_EffectInstance effect;
    PF_InData in_data{};
    std::vector<Pixel> pixels;
    PF_LayerDef source{};
    std::vector<Glow::Color> records;
    Glow::ThresholdParameters<Glow::Color> params;

    explicit Frame(bool custom) : pixels(size_t(kWidth) * kHeight), records(pixels.size()) {
        host.fillInData(in_data, &effect);
        effect.host = &host;
        using T = Morvel::ChannelOf<Pixel>;
        const double full = Morvel::PixelTraits<Pixel>::full;
        // A gradient with a good share above the threshold, and some transparent pixels.
        for (size_t k = 0; k < pixels.size(); ++k) {
            const double v = double(k % 997) / 997.0;
            pixels[k] = Pixel{T(k % 13 == 0 ? 0 : full), T(v * full), T((1 - v) * full), T(0.5 * v * full)};
        }
        source.width = kWidth;
        source.height = kHeight;
        source.rowbytes = kWidth * static_cast<int>(sizeof(Pixel));
        source.pixel_format = Morvel::PixelTraits<Pixel>::format;
        source.data = pixels.data();

        Glow::ThresholdCommonParameters& c = params.common;
        c.threshold = 0.5;
        c.thresholdSoftness = 0.1;
        c.channel = Glow::CHANNEL_LUMINANCE;
        c.toner = Glow::TonerItem::Tint;
        c.tones = Glow::TONES_DUOTONE;
        c.highlight = Morvel::Color<float>(1, 1, 1, 1);
        c.shadow = Morvel::Color<float>(1, 0, 0.5f, 1);
        c.tonerWhite = 1.0;
        c.tonerGamma = 1.0;
        if (custom) {
            c.channel = Glow::CHANNEL_CUSTOM;
            Morvel::ColorExpressionData::parseExpression("a * r * s", c.customChannel);
        }
        params.output = &records;
    }

    PF_Err run(int threads) {
        AEGP_SuiteHandler suites(in_data.pica_basicP);
        Glow::ThresholdNormal stage(&in_data, suites, Morvel::PixelTraits<Pixel>::bpc, &source, nullptr, &params);
        return Morvel::iterateGeneric(&in_data, suites, stage, threads);
    }
};

// Args: the band count (1: one band inline; 0: the host's thread count, as the driver runs it),
// and the channel (0 Luminance, 1 Custom).
template <typename Pixel>
void BM_ThresholdNormalFullHd(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    auto frame = std::make_unique<Frame<Pixel>>(state.range(1) != 0);
    for (auto _ : state) {
        if (frame->run(threads) != PF_Err_NONE) state.SkipWithError("threshold failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
    state.counters["processors"] = frame->host.iteration().processors();
}
BENCHMARK_TEMPLATE(BM_ThresholdNormalFullHd, PF_Pixel)
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_TEMPLATE(BM_ThresholdNormalFullHd, PF_PixelFloat)
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
