#include "library/plugin/smart_renderer.h"

#include <algorithm>

namespace Morvel {

namespace {

double quotient(const PF_RationalScale& scale) { return static_cast<double>(scale.num) / scale.den; }

bool hasPixels(const std::shared_ptr<World>& world) {
    return world != nullptr && world->world != nullptr && world->world->data != nullptr && world->world->width > 0 &&
           world->world->height > 0;
}

bool isBpc(int32_t depth) { return depth == Bpc8 || depth == Bpc16 || depth == Bpc32; }

}  // namespace

SmartRenderer::SmartRenderer(int pluginId, PF_InData* inData, PF_OutData* outData, PF_SmartRenderExtra* extra,
                             const Plugin::ParameterValue* values, bool flag)
    : state(1),
      pluginId(pluginId),
      inData(inData),
      outData(outData),
      extra(extra),
      values(values),
      flag(flag),
      suites(inData != nullptr ? inData->pica_basicP : nullptr),
      effect(pluginId, inData, suites),
      currentTime(inData->current_time),
      timeScale(inData->time_scale),
      downsampleX(quotient(inData->downsample_x)),
      downsampleY(quotient(inData->downsample_y)) {}

SmartRenderer::~SmartRenderer() = default;

int SmartRenderer::unusedHook() { return PF_Err_NONE; }

int SmartRenderer::render() { return PF_Err_NONE; }

int SmartRenderer::execute() {
    PF_Err err = suites.PFInterfaceSuite1()->AEGP_GetEffectLayer(inData->effect_ref, &layer);
    if (err == PF_Err_NONE) err = suites.LayerSuite13()->AEGP_GetLayerParentComp(layer, &comp);
    if (err == PF_Err_NONE) err = effect.init();
    if (err == PF_Err_NONE && state == 1) err = renderWorlds();
    return err;
}

int SmartRenderer::release() {
    output.reset();
    input.reset();
    return effect.dispose();
}

int SmartRenderer::renderWorlds() {
    int32_t threads = 0;
    if (PF_Err err = suites.IterateSuite1()->AEGP_GetNumThreads(&threads)) return err;
    // Work is split into this many bands; none would leave the image unrendered.
    threadCount = std::max(threads, 1);
    if (PF_Err err = getInputWorld(inData, extra, 0, input)) return err;
    if (PF_Err err = getOutputWorld(inData, extra, output)) return err;
    // Nothing is asked of the frame.
    if (!hasPixels(output)) return PF_Err_NONE;
    // A layer with nothing in it: the result is transparent whatever the settings.
    if (!hasPixels(input)) return fill(inData, output, Color<float>(0.0f, 0.0f, 0.0f, 0.0f));

    // getBpc leaves the depth alone when it does not know the format.
    auto depth = static_cast<Bpc>(-1);
    if (PF_Err err = getBpc(inData, outData, input->world, &depth)) return err;
    if (!isBpc(depth)) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    bpc = depth;
    return render();
}

}  // namespace Morvel
