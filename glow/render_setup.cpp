#include "glow/render_setup.h"

#include <algorithm>
#include <cstdint>

#include "glow/fill_render_settings.h"
#include "glow/glow.h"
#include "library/effect/effect_handle.h"
#include "library/plugin/entry_guard.h"
#include "morvel_host/aegp_project.h"

namespace Glow {

namespace {

// getBpc leaves the depth alone for a format it does not know.
constexpr auto kUnknownDepth = static_cast<Morvel::Bpc>(-1);

double horizontalDownsample(const PF_InData* in_data) {
    const PF_RationalScale& scale = in_data->downsample_x;
    return scale.den != 0 ? static_cast<double>(scale.num) / static_cast<double>(scale.den) : 1.0;
}

PF_Err render(int plugin_id, PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
              const Morvel::Plugin::ParameterValue* values, bool no_expressions) {
    if (in_data == nullptr || values == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    const A_Time time{in_data->current_time, in_data->time_scale};

    // Only the error counts: the layer itself is not needed.
    AEGP_LayerH layer = nullptr;
    PF_Err err = suites.PFInterfaceSuite1()->AEGP_GetEffectLayer(in_data->effect_ref, &layer);
    if (err != PF_Err_NONE) return err;

    std::shared_ptr<Morvel::World> input;
    std::shared_ptr<Morvel::World> output;
    if ((err = Morvel::getInputWorld(in_data, extra, 0, input)) != PF_Err_NONE) return err;
    if ((err = Morvel::getOutputWorld(in_data, extra, output)) != PF_Err_NONE) return err;
    // A check-out may succeed without pixels: with no output there is nothing to render, with no
    // input the layer is empty here.
    if (output->world == nullptr) return PF_Err_NONE;
    if (input->world == nullptr) return Morvel::fill(in_data, output, Morvel::Color<float>());

    Morvel::Bpc bpc = kUnknownDepth;
    if ((err = Morvel::getBpc(in_data, out_data, input->world, &bpc)) != PF_Err_NONE) return err;
    if (bpc == kUnknownDepth) return PF_Err_INTERNAL_STRUCT_DAMAGED;

    GlowParameters record;
    {
        Morvel::EffectHandle effect(plugin_id, in_data, suites);
        err = effect.init();
        const GlowParametersSource source{
            in_data, suites, plugin_id, effect.effect(), time, horizontalDownsample(in_data), no_expressions};
        err = fillGlowParameters(source, values, err, record);
        const PF_Err disposed = effect.dispose();
        if (err == PF_Err_NONE) err = disposed;
    }
    if (err == PF_Err_NONE) err = adaptInputToOutput(in_data, out_data, suites, bpc, input, output);
    if (err == PF_Err_NONE) err = Glow(in_data, out_data, suites, bpc, input, output, &record).execute();
    return err;
}

}  // namespace

// The host may call this straight from the plug-in record, so nothing may leave it as an exception.
PF_Err MSmartRender(int plugin_id, PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                    const Morvel::Plugin::ParameterValue* values, bool no_expressions) {
    return Morvel::Plugin::runGuarded(
        [&] { return render(plugin_id, in_data, out_data, extra, values, no_expressions); });
}

}  // namespace Glow
