#include "glow/render_setup.h"

#include <algorithm>
#include <cstdint>

#include "glow/glow.h"
#include "glow/glow_parameters.h"
#include "library/effect/effect_handle.h"
#include "library/plugin/entry_guard.h"
#include "morvel_host/aegp_project.h"

namespace Glow {

namespace {

// getBpc leaves the depth alone for a format it does not know.
constexpr auto UNKNOWN_DEPTH = static_cast<Morvel::Bpc>(-1);

double horizontalDownsample(const PF_InData* in_data) {
    const PF_RationalScale& scale = in_data->downsample_x;
    return scale.den != 0 ? static_cast<double>(scale.num) / static_cast<double>(scale.den) : 1.0;
}

// One axis of the copy: the input's span [0, length) placed at offset, clipped to [0, limit).
// Returns false when nothing of it lies inside.
bool clipSpan(int64_t offset, int64_t length, int64_t limit, int& from, int& to, int& at, int& atEnd) {
    const int64_t start = std::max<int64_t>(offset, 0);
    const int64_t end = std::min<int64_t>(offset + length, limit);
    if (start >= end) return false;
    at = static_cast<int>(start);
    atEnd = static_cast<int>(end);
    from = static_cast<int>(start - offset);
    to = static_cast<int>(end - offset);
    return true;
}

}  // namespace

PF_Err adaptInputToOutput(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                          std::shared_ptr<Morvel::World>& input, const std::shared_ptr<Morvel::World>& output) {
    const PF_LayerDef& in = *input->world;
    const PF_LayerDef& out = *output->world;
    if (in.width == out.width && in.height == out.height && in.origin_x == out.origin_x &&
        in.origin_y == out.origin_y) {
        return PF_Err_NONE;
    }
    std::shared_ptr<Morvel::World> adapted;
    PF_Err err = Morvel::createWorld(in_data, out_data, suites, bpc, out.width, out.height, true, adapted);
    if (err != PF_Err_NONE) return err;

    // Origins are where each world's pixel (0, 0) lies in the layer.
    const int64_t dx = int64_t(in.origin_x) - int64_t(out.origin_x);
    const int64_t dy = int64_t(in.origin_y) - int64_t(out.origin_y);
    Morvel::Rect<int> from;
    Morvel::Rect<int> to;
    if (clipSpan(dx, in.width, out.width, from.left, from.right, to.left, to.right) &&
        clipSpan(dy, in.height, out.height, from.top, from.bottom, to.top, to.bottom)) {
        err = Morvel::copy(in_data, input, adapted, from, to);
    }
    if (err == PF_Err_NONE) input = std::move(adapted);
    return err;
}

namespace {

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

    Morvel::Bpc bpc = UNKNOWN_DEPTH;
    if ((err = Morvel::getBpc(in_data, out_data, input->world, &bpc)) != PF_Err_NONE) return err;
    if (bpc == UNKNOWN_DEPTH) return PF_Err_INTERNAL_STRUCT_DAMAGED;

    GlowParameters record;
    {
        Morvel::EffectHandle effect(plugin_id, in_data, suites);
        err = effect.init();
        const GlowParametersSource source{in_data,  suites, plugin_id, effect.effect(), time,
                                          horizontalDownsample(in_data), no_expressions};
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
