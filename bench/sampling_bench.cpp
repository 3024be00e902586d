// Point sampling of a float world through the stand-in host's sampling suite from several
// threads at once, each sampling its own band of rows, as a per-pixel stage does on the host's
// workers. Items are samples; with a host that lets the threads run side by side the rate grows
// with the thread count.

#include <benchmark/benchmark.h>

#include <thread>
#include <vector>

#include "host/sim/host.h"

namespace {

constexpr int kWidth = 512;
constexpr int kHeight = 256;

struct Sampler {
    Sim::Host host;
    std::vector<PF_PixelFloat> pixels;
    PF_LayerDef world{};
    const PF_SamplingFloatSuite1* suite = nullptr;

    Sampler() : pixels(static_cast<size_t>(kWidth) * kHeight) {
        for (size_t k = 0; k < pixels.size(); ++k) {
            const float v = static_cast<float>(k % 997) / 997.0f;
            pixels[k] = PF_PixelFloat{1.0f, v, 1.0f - v, 0.5f};
        }
        world.width = kWidth;
        world.height = kHeight;
        world.rowbytes = kWidth * static_cast<int>(sizeof(PF_PixelFloat));
        world.data = pixels.data();
        world.pixel_format = PF_PixelFormat_ARGB128;
        suite =
            static_cast<const PF_SamplingFloatSuite1*>(host.findSuite(kPFSamplingFloatSuite, kPFSamplingSuiteVersion1));
    }

    // Half-pixel offsets so that every sample blends four pixels.
    float band(int top, int bottom) const {
        float sum = 0;
        PF_SampPB params{};
        params.src = const_cast<PF_LayerDef*>(&world);
        PF_PixelFloat out{};
        for (int y = top; y < bottom; ++y) {
            for (int x = 0; x < kWidth - 1; ++x) {
                suite->subpixel_sample_float(nullptr, (x << 16) + 0x8000, (y << 16) + 0x8000, &params, &out);
                sum += out.red;
            }
        }
        return sum;
    }
};

// Arg: threads sampling at once.
void BM_SubpixelSampleFloatThreads(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    Sampler sampler;
    if (sampler.suite == nullptr) {
        state.SkipWithError("no sampling suite");
        return;
    }
    std::vector<float> sums(static_cast<size_t>(threads));
    for (auto _ : state) {
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                sums[static_cast<size_t>(t)] = sampler.band(kHeight * t / threads, kHeight * (t + 1) / threads);
            });
        }
        for (std::thread& worker : workers) worker.join();
    }
    benchmark::DoNotOptimize(sums.data());
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth - 1) * kHeight);
}
BENCHMARK(BM_SubpixelSampleFloatThreads)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
