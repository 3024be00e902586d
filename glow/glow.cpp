#include "glow/glow.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "glow/glow_channel.h"
#include "glow/glow_normal.h"
#include "glow/stages/glow_color.h"
#include "glow/stages/preprocessor.h"
#include "glow/threshold_channel.h"
#include "glow/threshold_normal.h"
#include "glow/threshold_preview.h"
#include "library/filter/iterate.h"
#include "library/utility/uninitialized.h"

namespace Glow {

namespace {

constexpr int kSourceLayerId = 105;
constexpr int kGlowLayerId = 106;

const Morvel::Color<float> TRANSPARENT_BLACK(0.0f, 0.0f, 0.0f, 0.0f);

bool isPreview(RenderingModeItem mode) {
    return mode == RenderingModeItem::Preprocessing || mode == RenderingModeItem::Threshold ||
           mode == RenderingModeItem::Toner;
}

// Below this an opacity counts as full: the world is copied rather than blended.
constexpr double kFullOpacity = 0.999999;

int widthOf(const std::shared_ptr<Morvel::World>& world) { return world->world->width; }
int heightOf(const std::shared_ptr<Morvel::World>& world) { return world->world->height; }

bool tonesReadTheMap(TonesItem tones) { return tones >= TONES_TONER_MAP && tones <= TONES_TONER_MAP_SHADOW; }

// The threshold stage fills one record per pixel of the glow source; the records are then
// spread into the glow world.
template <typename Record, typename Threshold>
PF_Err thresholdRecords(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* source,
                        int threads, const ThresholdCommonParameters& common,
                        Morvel::UninitializedVector<Record>& records) {
    try {
        // Left unwritten: the stage writes every record.
        records.resize(size_t(source->width) * size_t(source->height));
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    }
    ThresholdParameters<Record> parameters{common, &records};
    Threshold stage(in_data, suites, bpc, source, nullptr, &parameters);
    return Morvel::iterateGeneric(in_data, suites, stage, threads);
}

// The convolution does not start once the user has cancelled.
PF_Err abortRequested(PF_InData* in_data) {
    return in_data->inter.abort != nullptr ? in_data->inter.abort(in_data->effect_ref) : PF_Err_NONE;
}

}  // namespace

Glow::Glow(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
           std::shared_ptr<Morvel::World> input, std::shared_ptr<Morvel::World> output, GlowParameters* params)
    : in_data(in_data),
      out_data(out_data),
      suites(suites),
      bpc(bpc),
      input(std::move(input)),
      output(std::move(output)),
      params(params) {}

PF_Err Glow::execute() {
    // Preset to 1 for a host that leaves it alone; a host answering 0 or less still gets one
    // band, since 0 would make the iteration ask the host again and size nothing.
    int32_t hostThreads = 1;
    PF_Err err = suites.IterateSuite1()->AEGP_GetNumThreads(&hostThreads);
    if (err != PF_Err_NONE) return err;
    const int threads = std::max<int32_t>(hostThreads, 1);

    // Cleared: the previews leave the colour of transparent pixels unwritten, and uncleared
    // float memory would reach the composite.
    std::shared_ptr<Morvel::World> glow;
    if ((err = Morvel::createWorld(in_data, out_data, suites, bpc, widthOf(input), heightOf(input), true, glow))) {
        return err;
    }

    const RenderingModeItem mode = params->renderingMode;
    // A glow that will not show is not computed: the cleared world is the transparent black glow.
    if (!isPreview(mode) && params->glowOpacity <= 1e-6) return composite(glow);

    std::shared_ptr<Morvel::World> source = input;
    if ((err = useLayerParameter(kGlowLayerId, source))) return err;

    const GlowParameters::Preprocessing& settings = params->preprocessing;
    if (doHls(settings.hls) || doColorLevels(settings.black, settings.white, settings.gamma) ||
        doAlphaLevels(settings.alphaBlack, settings.alphaWhite) || settings.useMask) {
        GlowParameters::Preprocessing record = settings;
        // The centre is in layer pixels; the worlds start at the output's origin.
        record.center.x -= output->world->origin_x;
        record.center.y -= output->world->origin_y;
        if ((err = preprocess(record, source))) return err;
    }

    if (mode == RenderingModeItem::Preprocessing) return Morvel::copy(in_data, source, output);
    if (mode == RenderingModeItem::Threshold || mode == RenderingModeItem::Toner) {
        return renderPreview(source, output, mode, threads);
    }

    if ((err = extractGlow(source, glow, threads))) return err;
    return composite(glow);
}

void Glow::setThresholdCommonParameters(ThresholdCommonParameters& common) {
    const GlowParameters& p = *params;
    common.boostLowLuminance = p.boostLowLuminance;
    common.threshold = p.threshold;
    common.useThreshold2 = p.useThreshold2;
    common.threshold2 = p.threshold2;
    common.thresholdSoftness = p.thresholdSoftness;
    common.thresholdInvert = p.thresholdInvert;
    common.channel = p.channel;
    common.multiplyAlpha = p.multiplyAlpha;
    common.referenceColor = p.referenceColor;
    common.customChannel = p.customChannel;
    common.toner = p.toner;
    common.tones = p.tones;
    common.highlight = p.highlight;
    common.midtone = p.midtone;
    common.shadow = p.shadow;
    common.tonerMap = tonesReadTheMap(p.tones) && p.tonerMap != nullptr ? p.tonerMap->world : nullptr;
    common.tonerBlack = p.tonerBlack;
    common.tonerWhite = p.tonerWhite;
    common.tonerGamma = p.tonerGamma;
    common.blendWithOriginal = p.blendWithOriginal;
    common.useDifferentChannel = p.useDifferentChannel;
    common.tonerChannel = p.tonerChannel;
    common.tonerMultiplyAlpha = p.tonerMultiplyAlpha;
    common.tonerReferenceColor = p.tonerReferenceColor;
    common.tonerCustomChannel = p.tonerCustomChannel;
}

PF_Err Glow::useLayerParameter(int index, std::shared_ptr<Morvel::World>& world) {
    const A_Time time{in_data->current_time, in_data->time_scale};
    std::shared_ptr<Morvel::World> layer;
    PF_Err err = Morvel::getParameterWorld(in_data, suites, index, time, layer);
    // A layer without pixels is no error: the world at hand stays.
    if (err != PF_Err_NONE || layer == nullptr || layer->world == nullptr) return err;
    if (widthOf(layer) == widthOf(output) && heightOf(layer) == heightOf(output)) {
        world = std::move(layer);
        return PF_Err_NONE;
    }
    std::shared_ptr<Morvel::World> scaled;
    if ((err = Morvel::createWorld(in_data, out_data, suites, bpc, widthOf(output), heightOf(output), false, scaled))) {
        return err;
    }
    if ((err = Morvel::copy(in_data, layer, scaled))) return err;
    world = std::move(scaled);
    return PF_Err_NONE;
}

PF_Err Glow::preprocess(GlowParameters::Preprocessing& record, std::shared_ptr<Morvel::World>& source) {
    // Cleared: pixels of zero alpha are never written.
    std::shared_ptr<Morvel::World> processed;
    PF_Err err =
        Morvel::createWorld(in_data, out_data, suites, bpc, widthOf(source), heightOf(source), true, processed);
    if (err != PF_Err_NONE) return err;
    {
        Preprocessor stage(in_data, suites, bpc, source->world, processed->world, &record);
        if ((err = Morvel::iterateGeneric(in_data, suites, stage, PF_Iterations_ONCE_PER_PROCESSOR))) return err;
    }
    source = std::move(processed);
    return PF_Err_NONE;
}

PF_Err Glow::renderPreview(std::shared_ptr<Morvel::World>& source, std::shared_ptr<Morvel::World>& destination,
                           RenderingModeItem previewMode, int threads) {
    ThresholdPreviewParameters parameters;
    setThresholdCommonParameters(parameters.common);
    parameters.previewMode = previewMode;
    ThresholdPreview stage(in_data, suites, bpc, source->world, destination->world, &parameters);
    return Morvel::iterateGeneric(in_data, suites, stage, threads);
}

PF_Err Glow::extractGlow(std::shared_ptr<Morvel::World>& source, std::shared_ptr<Morvel::World>& glow, int threads) {
    if (!params->diffusion && !params->beam && !params->kernel) {
        // Without a kernel the toned threshold image is the glow itself.
        return renderPreview(source, glow, RenderingModeItem::Toner, threads);
    }
    ThresholdCommonParameters common;
    setThresholdCommonParameters(common);
    PF_Err err = PF_Err_NONE;
    if (params->blurType == BlurTypeItem::Normal) {
        Morvel::UninitializedVector<Color> records;
        err = thresholdRecords<Color, ThresholdNormal>(in_data, suites, bpc, source->world, threads, common, records);
        if (err == PF_Err_NONE) err = abortRequested(in_data);
        if (err == PF_Err_NONE)
            err = GlowNormal(in_data, suites, bpc, glow->world, threads, params, &records).execute();
    } else {
        Morvel::UninitializedVector<ChannelColor> records;
        err = thresholdRecords<ChannelColor, ThresholdChannel>(in_data, suites, bpc, source->world, threads, common,
                                                               records);
        if (err == PF_Err_NONE) err = abortRequested(in_data);
        if (err == PF_Err_NONE)
            err = GlowChannel(in_data, suites, bpc, glow->world, threads, params, &records).execute();
    }
    return err;
}

PF_Err Glow::composite(std::shared_ptr<Morvel::World>& glow) {
    if (params->renderingMode == RenderingModeItem::GlowOnly) return fillAndBlend(glow, params->glowOpacity);

    std::shared_ptr<Morvel::World> source = input;
    PF_Err err = useLayerParameter(kSourceLayerId, source);
    if (err != PF_Err_NONE) return err;
    const GlowParameters& p = *params;
    if (doColorLevels(p.sourceBlack, p.sourceWhite, p.sourceGamma) ||
        doAlphaLevels(p.sourceAlphaBlack, p.sourceAlphaWhite)) {
        GlowParameters::Preprocessing levels;
        levels.hls = Morvel::Color<float>(1.0f, 0.0f, 1.0f, 1.0f);
        levels.black = p.sourceBlack;
        levels.white = p.sourceWhite;
        levels.gamma = p.sourceGamma;
        levels.alphaBlack = p.sourceAlphaBlack;
        levels.alphaWhite = p.sourceAlphaWhite;
        if ((err = preprocess(levels, source))) return err;
    }

    if (p.renderingMode == RenderingModeItem::SourceOnly) return fillAndBlend(source, p.sourceOpacity);
    if (p.compositeSettings == CompositeSettingsItem::OnSource) {
        err = p.sourceOpacity <= kFullOpacity ? fillAndBlend(source, p.sourceOpacity)
                                              : Morvel::copy(in_data, source, output);
        if (err != PF_Err_NONE) return err;
        return blendWhole(glow, p.blendingMode, p.glowOpacity);
    }
    if (p.compositeSettings == CompositeSettingsItem::BehindSource) {
        err = p.glowOpacity <= kFullOpacity ? fillAndBlend(glow, p.glowOpacity) : Morvel::copy(in_data, glow, output);
        if (err != PF_Err_NONE) return err;
        return blendWhole(source, p.blendingMode, p.sourceOpacity);
    }
    return PF_Err_NONE;
}

PF_Err Glow::fillAndBlend(std::shared_ptr<Morvel::World>& world, double opacity) {
    PF_Err err = Morvel::fill(in_data, output, TRANSPARENT_BLACK);
    if (err != PF_Err_NONE) return err;
    return blendWhole(world, Morvel::BlendingMode::Normal, opacity);
}

PF_Err Glow::blendWhole(std::shared_ptr<Morvel::World>& world, Morvel::BlendingMode mode, double opacity) {
    const Morvel::Rect<int> whole{0, 0, widthOf(world), heightOf(world)};
    return Morvel::blend(in_data, world, output, bpc, whole, Morvel::Vector2<int>{0, 0}, mode, opacity, false);
}

}  // namespace Glow
