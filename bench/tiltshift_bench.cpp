// The tilt-shift's box blur at a small and a huge constant radius (its cost must not depend on
// the radius), and whole renders of the plug-in loaded from its file at defaults.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/frame.h"
#include "host/sim/host.h"
#include "host/sim/iterate.h"
#include "host/sim/plugin.h"
#include "host/sim/worlds.h"
#include "library/filter/iterate.h"
#include "tiltshift/box_blur.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

struct BlurStage {
    Sim::Host host;
    PF_EffectInstance effect;
    PF_InData in_data{};
    PF_LayerDef world{};
    TiltShift::PassBuffer amounts;
    TiltShift::PassBuffer colours;

    BlurStage() : amounts(size_t(kWidth) * kHeight, 0.0), colours(4 * amounts.size()) {
        host.fillInData(in_data, &effect);
        effect.host = &host;
        for (size_t k = 0; k < colours.size(); ++k) colours[k] = double(k % 977) / 977.0;
        world.width = kWidth;
        world.height = kHeight;
        world.rowbytes = kWidth * int(sizeof(PF_PixelFloat));
        world.pixel_format = PF_PixelFormat_ARGB128;
    }

    // Six passes, none writing pixels, at radius r everywhere (a = 0, b = r).
    PF_Err run(double radius) {
        AEGP_SuiteHandler suites(in_data.pica_basicP);
        TiltShift::BoxBlurParameters params{
            false, 0.0,      radius,  TiltShift::OutputSettings{false, 1.0, 0.0, {}, TiltShift::BLEND_NORMAL},
            true,  &amounts, &colours};
        for (int round = 0; round < 3; ++round) {
            TiltShift::VerticalBoxBlur vertical(&in_data, suites, Morvel::Bpc32, nullptr, &world, &params);
            if (PF_Err err = Morvel::iterateGeneric(&in_data, suites, vertical, -1)) return err;
            TiltShift::HorizontalBoxBlur horizontal(&in_data, suites, Morvel::Bpc32, nullptr, &world, &params);
            if (PF_Err err = Morvel::iterateGeneric(&in_data, suites, horizontal, -1)) return err;
        }
        return PF_Err_NONE;
    }
    double secondsFor(double radius) {
        const auto start = std::chrono::steady_clock::now();
        run(radius);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

// Arg: the radius. The run at 2000 reports its time over that of radius 1, measured before it.
void BM_TiltShiftBoxBlurFloat1080p(benchmark::State& state) {
    const double radius = double(state.range(0));
    auto stage = std::make_unique<BlurStage>();
    const double small = radius != 1.0 ? stage->secondsFor(1.0) : 0.0;
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (stage->run(radius) != PF_Err_NONE) state.SkipWithError("blur failed");
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (radius != 1.0 && small > 0.0) state.counters["ratio_to_r1"] = total / double(state.iterations()) / small;
}
BENCHMARK(BM_TiltShiftBoxBlurFloat1080p)->Arg(1)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Args: depth, processors. A 1920 × 1080 gradient layer, every parameter at its default.
void BM_TiltShiftRenderDefaults(benchmark::State& state) {
    const int depth = int(state.range(0));
    Sim::Host host;
    host.iteration().setProcessors(int(state.range(1)));
    Sim::Plugin plugin(Sim::builtPluginPath("MorvelTiltShift"));
    {
        Sim::PluginInstance instance(host, plugin);
        if (instance.globalSetup() != PF_Err_NONE || instance.paramSetup() != PF_Err_NONE) {
            state.SkipWithError("set-up failed");
            return;
        }
        instance.placeOnLayer(AEGP_ObjectType_AV, kWidth, kHeight);
        Sim::Image& image = *host.worlds().hostImage(instance.effect().inputLayer);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                image.at<PF_Pixel>(x, y) = PF_Pixel{255, uint8_t(x * 255 / kWidth), uint8_t(y * 255 / kHeight), 128};
            }
        }
        Sim::FrameRequest request;
        request.depth = depth;
        for (auto _ : state) {
            const Sim::FrameResult frame = instance.renderFrame(request);
            if (frame.err() != PF_Err_NONE) state.SkipWithError("render failed");
        }
    }
}
BENCHMARK(BM_TiltShiftRenderDefaults)
    ->Args({8, 1})
    ->Args({8, 8})
    ->Args({32, 1})
    ->Args({32, 8})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
