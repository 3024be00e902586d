#include "diffusion/renderer.h"

#include <cmath>
#include <vector>

#include "diffusion/parameter_table.h"
#include "diffusion/threshold.h"
#include "glow/stages/render_settings.h"
#include "library/filter/iterate.h"
#include "library/utility/uninitialized.h"
#include "library/world/adapt_input.h"

namespace Diffusion {

namespace {

constexpr double kPercent = 0.01;
// An opacity this close to 1 copies instead of blending.
constexpr double kFullOpacity = 0.999999;

Morvel::Rect<int> wholeOf(const std::shared_ptr<Morvel::World>& world) {
    return Morvel::Rect<int>{0, 0, world->world->width, world->world->height};
}

}  // namespace

Morvel::BlendingMode toBlendingMode(int32_t item) { return Glow::blendingModeOf(item); }

DetailParameters Renderer::details(int hueRow) const {
    auto real = [this, hueRow](int offset) { return values[hueRow + offset].value.d; };
    DetailParameters d;
    d.hls = Morvel::Color<float>(0.0f, static_cast<float>(real(0)), static_cast<float>(real(1) * kPercent),
                                 static_cast<float>(real(2) * kPercent));
    Glow::levelPair(inData, real(3), real(4), d.black, d.white);
    d.gamma = real(5);
    Glow::levelPair(inData, real(6), real(7), d.alphaBlack, d.alphaWhite);
    return d;
}

PF_Err Renderer::applyDetails(DetailParameters& settings, PF_LayerDef* from, PF_LayerDef* to) {
    Preprocessor preprocessor(inData, suites, bpc, from, to, &settings);
    return Morvel::iterateGeneric(inData, suites, preprocessor, PF_Iterations_ONCE_PER_PROCESSOR);
}

int Renderer::render() {
    const int width = output->world->width;
    const int height = output->world->height;

    // 1. The layer, placed where the output lies.
    std::shared_ptr<Morvel::World> source = input;
    if (PF_Err err = Morvel::adaptInputToOutput(inData, outData, suites, bpc, source, output)) return err;
    const bool ownSource = source != input;

    // 2. The diffusion layer is written everywhere by the threshold, so it need not be cleared.
    ThresholdParameters threshold;
    threshold.weightFactor = 1.0 + values[ROW_WEIGHT].value.d * kPercent;
    threshold.weighted = threshold.weightFactor > 1.000001;
    std::shared_ptr<Morvel::World> diffusion;
    if (PF_Err err = Morvel::createWorld(inData, outData, suites, bpc, width, height, false, diffusion)) return err;
    // Every record is written by the threshold: no need to clear a frame's worth first.
    Morvel::UninitializedVector<Glow::Color> buffer(size_t(width) * size_t(height));

    // 3. Threshold.
    threshold.channel = static_cast<Glow::ChannelItem>(values[ROW_CHANNEL].value.i);
    const auto& reference = values[ROW_REFERENCE_COLOR].value.color;
    threshold.reference = Morvel::Color<float>(1.0f, reference.red, reference.green, reference.blue);
    threshold.threshold = values[ROW_THRESHOLD].value.d * kPercent;
    threshold.softness = values[ROW_THRESHOLD_SOFTNESS].value.d * kPercent;
    threshold.buffer = &buffer;
    {
        Threshold stage(inData, suites, bpc, source->world, diffusion->world, &threshold);
        if (PF_Err err = Morvel::iterateGeneric(inData, suites, stage, PF_Iterations_ONCE_PER_PROCESSOR)) return err;
    }

    // 4. A radius this small would spread nothing: the diffusion layer stays the thresholded source.
    if (values[ROW_BLUR_RADIUS].value.d * downsampleX > 1e-6) {
        if (PF_Err err = diffuse(&buffer, diffusion->world, threshold.weighted, threshold.weightFactor)) return err;
    }

    // 5. Source details: in place on a world of the render's own, else into a new one. That one is
    //    cleared, since the stage leaves transparent pixels unwritten.
    DetailParameters sourceDetails = details(ROW_SOURCE_HUE);
    if (changesAnything(sourceDetails)) {
        if (ownSource) {
            if (PF_Err err = applyDetails(sourceDetails, source->world, source->world)) return err;
        } else {
            std::shared_ptr<Morvel::World> detailed;
            if (PF_Err err = Morvel::createWorld(inData, outData, suites, bpc, width, height, true, detailed))
                return err;
            if (PF_Err err = applyDetails(sourceDetails, input->world, detailed->world)) return err;
            source = std::move(detailed);
        }
    }

    // 6. Diffusion details, in place.
    DetailParameters diffusionDetails = details(ROW_DIFFUSION_HUE);
    if (changesAnything(diffusionDetails)) {
        if (PF_Err err = applyDetails(diffusionDetails, diffusion->world, diffusion->world)) return err;
    }

    // 7.
    return composite(source, diffusion);
}

PF_Err Renderer::composite(std::shared_ptr<Morvel::World>& source, std::shared_ptr<Morvel::World>& diffusion) {
    const double sourceOpacity = values[ROW_SOURCE_OPACITY].value.d * kPercent;
    if (sourceOpacity > kFullOpacity) {
        if (PF_Err err = Morvel::copy(inData, source, output)) return err;
    } else {
        if (PF_Err err = Morvel::fill(inData, output, Morvel::Color<float>(0.0f, 0.0f, 0.0f, 0.0f))) return err;
        if (PF_Err err = Morvel::blend(inData, source, output, bpc, wholeOf(source), {0, 0},
                                       Morvel::BlendingMode::Normal, sourceOpacity, false)) {
            return err;
        }
    }
    return Morvel::blend(inData, diffusion, output, bpc, wholeOf(diffusion), {0, 0},
                         toBlendingMode(values[ROW_BLENDING_MODE].value.i),
                         values[ROW_DIFFUSION_OPACITY].value.d * kPercent, false);
}

}  // namespace Diffusion
