// The glow's pipeline driver over a full-HD float frame with the kernels off (Final, on source),
// next to its floor: one host copy and one host blend of the same worlds, which any composite
// of a glow over its source must do. Then whole renders of the glow and the diffusion loaded from
// their files, 4K float, at 1 to 8 threads: at defaults, and the glow's "Channel" at Blur Radius 200.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/glow.h"
#include "host/sim/frame.h"
#include "host/sim/host.h"
#include "host/sim/iterate.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
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
        output =
            std::make_shared<Morvel::World>(host.worlds().adopt(Sim::Image(kWidth, kHeight, PF_PixelFormat_ARGB128)));
        glow =
            std::make_shared<Morvel::World>(host.worlds().adopt(Sim::Image(kWidth, kHeight, PF_PixelFormat_ARGB128)));

        params.renderingMode = Glow::RenderingModeItem::Final;
        params.blurType = Glow::BlurTypeItem::Normal;
        params.diffusion = params.beam = params.kernel = false;
        params.preprocessing.hls = Morvel::Color<float>(0.0f, 0.0f, 1.0f, 1.0f);
        params.preprocessing.white = params.preprocessing.gamma = params.preprocessing.alphaWhite = 1.0;
        params.threshold = 0.5;
        params.thresholdSoftness = 0.1;
        params.channel = Glow::CHANNEL_LUMINANCE;
        params.toner = Glow::TonerItem::Tint;
        params.tones = Glow::TONES_MONOTONE;
        params.highlight = params.midtone = params.shadow = Morvel::Color<float>(1.0f, 1.0f, 1.0f, 1.0f);
        params.tonerWhite = params.tonerGamma = 1.0;
        params.compositeSettings = Glow::CompositeSettingsItem::OnSource;
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

// The host index of the parameter of that name.
int parameterIndex(Sim::PluginInstance& instance, const char* name) {
    const std::vector<PF_ParamDef>& registered = instance.effect().registered;
    for (size_t index = 0; index < registered.size(); ++index) {
        if (std::strcmp(registered[index].name, name) == 0) return static_cast<int>(index);
    }
    return -1;
}

// Args: 0 the glow, 1 the diffusion, 2 the glow's "Channel" at Blur Radius 200; threads.
void BM_EffectRender4KFloat(benchmark::State& state) {
    constexpr int kWidth4K = 3840;
    constexpr int kHeight4K = 2160;
    const int which = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    Sim::Host host;
    host.iteration().setProcessors(threads);
    host.iteration().setReportedThreads(threads);
    Sim::Plugin plugin(Sim::builtPluginPath(which == 1 ? "MorvelDiffusion" : "MorvelGlow"));
    Sim::PluginInstance instance(host, plugin);
    if (instance.globalSetup() != PF_Err_NONE || instance.paramSetup() != PF_Err_NONE) {
        state.SkipWithError("set-up failed");
        return;
    }
    if (which == 2) {
        const int blurType = parameterIndex(instance, "Blur Type");
        const int blurRadius = parameterIndex(instance, "Blur Radius");
        if (blurType < 0 || blurRadius < 0) {
            state.SkipWithError("no Blur Type or Blur Radius");
            return;
        }
        PF_ParamDef value = Sim::paramValue(instance.effect(), blurType);
        value.u.pd.value = 2;
        Sim::setParamValue(instance.effect(), blurType, value);
        value = Sim::paramValue(instance.effect(), blurRadius);
        value.u.fs_d.value = 200;
        Sim::setParamValue(instance.effect(), blurRadius, value);
    }
    // Soft bands of light over a darker ground, so that the threshold lets a part through.
    instance.placeOnLayer(AEGP_ObjectType_AV, kWidth4K, kHeight4K, PF_PixelFormat_ARGB128);
    Sim::Image& image = *host.worlds().hostImage(instance.effect().inputLayer);
    for (int y = 0; y < kHeight4K; ++y) {
        for (int x = 0; x < kWidth4K; ++x) {
            const float v = static_cast<float>((x * 7 + y * 13) % 997) / 997.0f;
            image.at<PF_PixelFloat>(x, y) = PF_PixelFloat{1.0f, v, v * v, 1.0f - v};
        }
    }
    Sim::FrameRequest request;
    request.depth = 32;
    for (auto _ : state) {
        const Sim::FrameResult frame = instance.renderFrame(request);
        if (frame.err() != PF_Err_NONE) state.SkipWithError("render failed");
    }
    state.counters["threads"] = threads;
}
BENCHMARK(BM_EffectRender4KFloat)->ArgsProduct({{0, 1, 2}, {1, 2, 4, 8}})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
