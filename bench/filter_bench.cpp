// A per-pixel filter stage over a 4K float world, run through the stand-in host's worker pool.
// Each run at more than one band reports "speedup": the time of the same stage on one band,
// measured just before, divided by its own time per iteration.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/host.h"
#include "host/sim/iterate.h"
#include "library/filter/filter.h"
#include "library/filter/iterate.h"

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;

struct Grade {
    float gain;
    float gamma;
};

// Gain and gamma per colour channel, premultiplied by alpha: enough arithmetic per pixel to be
// bound by computation rather than by memory.
class GradeFilter : public Morvel::Filter::Filter<Grade> {
public:
    using Filter::Filter;

    PF_Err filter8(const Morvel::Rect<int>&, bool) override { return PF_Err_BAD_CALLBACK_PARAM; }
    PF_Err filter16(const Morvel::Rect<int>&, bool) override { return PF_Err_BAD_CALLBACK_PARAM; }
    PF_Err filter32(const Morvel::Rect<int>& area, bool) override {
        const float gain = params->gain;
        const float inverseGamma = 1.0f / params->gamma;
        for (int y = area.top; y < area.bottom; ++y) {
            const auto* in =
                reinterpret_cast<const PF_PixelFloat*>(static_cast<char*>(input->data) + y * input->rowbytes);
            auto* out = reinterpret_cast<PF_PixelFloat*>(static_cast<char*>(output->data) + y * output->rowbytes);
            for (int x = area.left; x < area.right; ++x) {
                const PF_PixelFloat p = in[x];
                out[x] = PF_PixelFloat{p.alpha, std::pow(p.red * gain, inverseGamma) * p.alpha,
                                       std::pow(p.green * gain, inverseGamma) * p.alpha,
                                       std::pow(p.blue * gain, inverseGamma) * p.alpha};
            }
        }
        return PF_Err_NONE;
    }
};

struct Stage {
    Sim::Host host;
    PF_EffectInstance effect;
    PF_InData in_data{};
    std::vector<PF_PixelFloat> pixels;
    PF_LayerDef world{};
    Grade grade{1.2f, 2.2f};

    Stage() : pixels(static_cast<size_t>(kWidth) * kHeight) {
        host.fillInData(in_data, &effect);
        effect.host = &host;
        for (size_t k = 0; k < pixels.size(); ++k) {
            const float v = static_cast<float>(k % 1000) / 1000.0f;
            pixels[k] = PF_PixelFloat{1.0f, v, 1.0f - v, 0.5f};
        }
        world.width = kWidth;
        world.height = kHeight;
        world.rowbytes = kWidth * static_cast<int>(sizeof(PF_PixelFloat));
        world.data = pixels.data();
        world.pixel_format = PF_PixelFormat_ARGB128;
    }

    PF_Err run(int threads) {
        AEGP_SuiteHandler suites(in_data.pica_basicP);
        GradeFilter filter(&in_data, suites, Morvel::Bpc32, &world, &world, &grade);
        return Morvel::iterateGeneric(&in_data, suites, filter, threads);
    }

    double secondsFor(int threads) {
        const auto start = std::chrono::steady_clock::now();
        run(threads);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

// Arg: the stage's thread count (1: one band inline; -1: one band per processor).
void BM_FilterStage4KFloat(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    auto stage = std::make_unique<Stage>();
    const double oneBand = threads == 1 ? 0.0 : stage->secondsFor(1);
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (stage->run(threads) != PF_Err_NONE) state.SkipWithError("stage failed");
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
    state.counters["processors"] = stage->host.iteration().processors();
    if (threads != 1 && total > 0.0) {
        state.counters["speedup"] = oneBand / (total / static_cast<double>(state.iterations()));
    }
}
BENCHMARK(BM_FilterStage4KFloat)->Arg(1)->Arg(2)->Arg(4)->Arg(-1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
