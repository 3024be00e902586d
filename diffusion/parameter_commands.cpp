#include "Util/AEGP_SuiteHandler.h"
#include "diffusion/commands.h"
#include "diffusion/parameter_table.h"
#include "glow/stages/threshold_functions.h"
#include "library/default/default.h"
#include "library/effect/effect_handle.h"
#include "library/parameter/parameter.h"

namespace Diffusion {

namespace {

using Morvel::Plugin::ParameterDef;

PF_Err registerRow(PF_InData* in_data, int r) {
    using namespace Morvel::Plugin;
    const ParameterDef& row = PARAM_DEFS[r];
    const RowRegistration& how = kRowRegistration[r];
    PF_ParamDef def{};
    def.flags = how.flags;
    switch (row.kind) {
        case KIND_INT: return addPopup(in_data, def, row, how.menu);
        case KIND_FLOAT:
            return how.percent ? addPercent(in_data, def, row, how.precision)
                               : addFloat(in_data, def, row, how.precision);
        case KIND_ANGLE: return addAngle(in_data, def, row);
        case KIND_COLOR: return addColor(in_data, def, row);
        case KIND_CHECKBOX: return addCheckbox(in_data, def, row, kCheckboxLabel);
        default: return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    }
}

// The plug-in's registration id, kept in the global data since global set-up.
PF_Err pluginIdOf(PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_PluginID& id) {
    const PF_HandleSuite2* handles = suites.HandleSuite2();
    if (in_data->global_data == nullptr || handles->host_get_handle_size(in_data->global_data) < sizeof id) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const auto* global = static_cast<const AEGP_PluginID*>(handles->host_lock_handle(in_data->global_data));
    if (global == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    id = *global;
    handles->host_unlock_handle(in_data->global_data);
    return PF_Err_NONE;
}

}  // namespace

bool usesReferenceColor(Glow::ChannelItem channel) {
    return channel == Glow::CHANNEL_HUE || channel == Glow::CHANNEL_DISTANCE_RGB ||
           channel == Glow::CHANNEL_DISTANCE_HSB;
}

PF_Err paramsSetup(PF_InData* in_data, PF_OutData* out_data) {
    PF_Err err = PF_Err_NONE;
    int group = 0;
    for (int r = 0; r < kParamCount && err == PF_Err_NONE; ++r) {
        for (; err == PF_Err_NONE && group < kGroupEntryCount && kGroupEntries[group].beforeRow == r; ++group) {
            err = Morvel::Plugin::addGroupEntry(in_data, kGroupEntries[group]);
        }
        if (err == PF_Err_NONE) err = registerRow(in_data, r);
    }
    // The host's count whatever happened, as the effect has always reported it.
    out_data->num_params = HOST_PARAM_COUNT;
    return err;
}

PF_Err userChangedParam(PF_InData* in_data, PF_OutData*, PF_ParamDef*[]) {
    return Morvel::Default::UserChangedParam(in_data);
}

PF_Err updateParamsUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    // Set first, so that it stands also when a call fails or a suite is missing.
    out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    AEGP_PluginID pluginId = 0;
    if (PF_Err err = pluginIdOf(in_data, suites, pluginId)) return err;
    Morvel::EffectHandle effect(pluginId, in_data, suites);
    PF_Err err = effect.init();
    if (err == PF_Err_NONE) {
        if (params == nullptr || params[kChannelIndex] == nullptr) {
            err = PF_Err_BAD_CALLBACK_PARAM;
        } else {
            const bool gray = !usesReferenceColor(static_cast<Glow::ChannelItem>(params[kChannelIndex]->u.pd.value));
            err = Morvel::grayOutParameter(in_data, suites, params, kReferenceColorIndex, gray);
        }
    }
    const PF_Err disposed = effect.dispose();
    return err != PF_Err_NONE ? err : disposed;
}

}  // namespace Diffusion
