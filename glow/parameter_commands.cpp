#include "glow/parameter_commands.h"

#include <cstring>

#include "Util/AEGP_SuiteHandler.h"
#include "Util/HostHandles.h"
#include "glow/parameter_table.h"
#include "library/custom_data/color_expression_data/color_expression_data.h"
#include "library/parameter/parameter.h"

namespace Glow {

namespace {

using Morvel::Plugin::ParameterDef;

// Ids of the parameters the rules read.
enum ControlId : int {
    BlurTypeId = 4,
    DiffusionId = 7,
    BeamId = 10,
    KernelId = 16,
    UseMaskId = 40,
    MaskTypeId = 42,
    UseThreshold2Id = 57,
    ChannelId = 61,
    TonesId = 68,
    UseDifferentChannelId = 77,
    TonerChannelId = 79,
};

bool isReferenceChannel(ChannelItem channel) {
    return channel == CHANNEL_HUE || channel == CHANNEL_DISTANCE_RGB || channel == CHANNEL_DISTANCE_HSB;
}

// Every table row and group entry starts from a cleared record that is shown collapsed.
PF_ParamDef collapsedRecord() {
    PF_ParamDef def{};
    def.flags = PF_ParamFlag_START_COLLAPSED;
    return def;
}

PF_Err registerRow(PF_InData* in_data, int r) {
    const ParameterDef& row = PARAM_DEFS[r];
    const RowRegistration& how = kRowRegistration[r];
    PF_ParamDef def = collapsedRecord();
    using namespace Morvel::Plugin;
    switch (how.add) {
        case AddFunction::Layer: return addLayer(in_data, def, row);
        case AddFunction::Slider: return addSlider(in_data, def, row);
        case AddFunction::Angle: return addAngle(in_data, def, row);
        case AddFunction::Checkbox: return addCheckbox(in_data, def, row, kCheckboxLabel);
        case AddFunction::Color: return addColor(in_data, def, row);
        case AddFunction::Point: return addPoint(in_data, def, row, kMaskCenterRestrictBounds);
        case AddFunction::Popup: return addPopup(in_data, def, row, how.menu);
        case AddFunction::Float: return addFloat(in_data, def, row, how.precision);
        case AddFunction::Percent: return addPercent(in_data, def, row, how.precision);
        case AddFunction::CustomData: break;
    }
    return PF_Err_BAD_CALLBACK_PARAM;
}

void copyName(const PF_InData* in_data, char (&to)[32], const char (&from)[32]) {
    if (in_data->utils != nullptr && in_data->utils->ansi.strcpy != nullptr && std::memchr(from, '\0', 32) != nullptr) {
        in_data->utils->ansi.strcpy(to, from);
    } else {
        std::memcpy(to, from, sizeof to - 1);
        to[sizeof to - 1] = '\0';
    }
}

// A colour-expression parameter, drawn by the effect in its title line. Its default belongs to the
// host once registered; a default the host refused is the effect's to dispose.
PF_Err registerExpressionParameter(PF_InData* in_data, PF_OutData* out_data, const ParameterDef& row) {
    PF_ParamDef def{};
    PF_Err err = Morvel::ColorExpressionData::NewDefaultData(in_data, out_data, nullptr, &def.u.arb_d.dephault,
                                                             kCustomChannelDefault);
    if (err != PF_Err_NONE) return err;
    if (def.u.arb_d.dephault == nullptr) return PF_Err_OUT_OF_MEMORY;
    def.param_type = PF_Param_ARBITRARY_DATA;
    def.uu.id = row.id;
    copyName(in_data, def.name, row.name);
    def.flags = 0;
    def.ui_flags = PF_PUI_TOPIC;
    def.ui_width = 0;
    def.ui_height = 0;
    def.u.arb_d.id = static_cast<int16_t>(row.id);
    def.u.arb_d.value = nullptr;
    def.u.arb_d.refconPV = nullptr;
    err = in_data->inter.add_param != nullptr ? in_data->inter.add_param(in_data->effect_ref, -1, &def)
                                              : PF_Err_INVALID_CALLBACK;
    if (err != PF_Err_NONE) HostDisposeHandle(in_data, def.u.arb_d.dephault);
    return err;
}

PF_Err registerCustomUI(PF_InData* in_data) {
    if (in_data->inter.register_ui == nullptr) return PF_Err_INVALID_CALLBACK;
    PF_CustomUIInfo info{};
    info.events = PF_CustomEFlag_COMP | PF_CustomEFlag_LAYER | PF_CustomEFlag_EFFECT;
    return in_data->inter.register_ui(in_data->effect_ref, &info);
}

int32_t integerOf(const PF_ParamDef& param) {
    switch (param.param_type) {
        case PF_Param_POPUP: return param.u.pd.value;
        case PF_Param_CHECKBOX: return param.u.bd.value;
        default: return param.u.sd.value;
    }
}

PF_Err controlsOf(PF_ParamDef* params[], UiControls& controls) {
    int32_t value[TonerChannelId + 1] = {};
    for (int id : {BlurTypeId, DiffusionId, BeamId, KernelId, UseMaskId, MaskTypeId, UseThreshold2Id, ChannelId,
                   TonesId, UseDifferentChannelId, TonerChannelId}) {
        if (params[id] == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        value[id] = integerOf(*params[id]);
    }
    controls = UiControls{.diffusion = value[DiffusionId] != 0,
                          .beam = value[BeamId] != 0,
                          .kernel = value[KernelId] != 0,
                          .blurType = static_cast<BlurTypeItem>(value[BlurTypeId]),
                          .useMask = value[UseMaskId] != 0,
                          .maskType = static_cast<MaskTypeItem>(value[MaskTypeId]),
                          .useThreshold2 = value[UseThreshold2Id] != 0,
                          .channel = static_cast<ChannelItem>(value[ChannelId]),
                          .tones = static_cast<TonesItem>(value[TonesId]),
                          .useDifferentChannel = value[UseDifferentChannelId] != 0,
                          .tonerChannel = static_cast<ChannelItem>(value[TonerChannelId])};
    return PF_Err_NONE;
}

}  // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data) {
    PF_Err err = PF_Err_NONE;
    int group = 0;
    for (int r = 0; r < kParamCount; ++r) {
        for (; group < kGroupEntryCount && kGroupEntries[group].beforeRow == r; ++group) {
            if (err == PF_Err_NONE) err = Morvel::Plugin::addGroupEntry(in_data, kGroupEntries[group]);
        }
        if (kRowRegistration[r].add == AddFunction::CustomData) {
            // Registered whatever happened before, so that the expressions keep their place.
            const PF_Err registered = registerExpressionParameter(in_data, out_data, PARAM_DEFS[r]);
            if (registered != PF_Err_NONE) return err != PF_Err_NONE ? err : registered;
        } else if (err == PF_Err_NONE) {
            err = registerRow(in_data, r);
        }
    }
    if (err == PF_Err_NONE) err = registerCustomUI(in_data);
    out_data->num_params = HOST_PARAM_COUNT;
    return err;
}

std::vector<GrayOut> grayOutPlan(const UiControls& c) {
    std::vector<GrayOut> plan;
    auto set = [&](int first, int last, bool gray) {
        for (int id = first; id <= last; ++id) plan.push_back({id, gray});
    };
    set(8, 9, !c.diffusion);
    set(11, 15, !c.beam);
    set(17, 20, !c.kernel);
    set(23, 29, c.blurType != BlurTypeItem::Channel);
    if (!c.useMask) {
        set(41, 52, true);
    } else {
        for (int id : {41, 42, 46, 47, 48, 52}) set(id, id, false);
        set(43, 45, c.maskType != MaskTypeItem::Layer);
        set(49, 51, c.maskType == MaskTypeItem::Layer);
    }
    set(58, 58, !c.useThreshold2);
    set(62, 62, c.channel == CHANNEL_CUSTOM);
    set(63, 63, !isReferenceChannel(c.channel));
    set(64, 64, c.channel != CHANNEL_CUSTOM);

    // Highlight, Midtone, Shadow, Toner Map per Tones item; other values leave them alone.
    static constexpr bool kTonesGray[6][4] = {
        {false, true, true, true}, {false, true, false, true}, {false, false, false, true},
        {true, true, true, false}, {true, true, false, false}, {false, true, true, false},
    };
    if (c.tones >= TONES_MONOTONE && c.tones <= TONES_TONER_MAP_SHADOW) {
        for (int i = 0; i < 4; ++i) set(69 + i, 69 + i, kTonesGray[c.tones - TONES_MONOTONE][i]);
    }
    const bool noToneCurve = c.tones == TONES_MONOTONE || c.tones == TONES_TONER_MAP;
    set(73, 75, noToneCurve);
    set(77, 77, noToneCurve);
    if (!c.useDifferentChannel || noToneCurve) {
        set(78, 82, true);
    } else {
        set(78, 79, false);
        set(80, 80, c.tonerChannel == CHANNEL_CUSTOM);
        set(81, 81, !isReferenceChannel(c.tonerChannel));
        set(82, 82, c.tonerChannel != CHANNEL_CUSTOM);
    }
    return plan;
}

PF_Err UpdateParameterUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    UiControls controls{};
    PF_Err err = params != nullptr ? controlsOf(params, controls) : PF_Err_BAD_CALLBACK_PARAM;
    if (err == PF_Err_NONE) {
        for (const GrayOut& step : grayOutPlan(controls)) {
            if ((err = Morvel::grayOutParameter(in_data, suites, params, step.id, step.gray)) != PF_Err_NONE) break;
        }
    }
    out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    return err;
}

PF_Err Event(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
             PF_EventExtra* extra) {
    if (in_data->global_data == nullptr || *in_data->global_data == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    const int pluginId = *reinterpret_cast<const AEGP_PluginID*>(*in_data->global_data);
    PF_Err err =
        Morvel::ColorExpressionData::HandleEvent(pluginId, in_data, out_data, params, output, extra, kCustomChannelId);
    if (err == PF_Err_NONE) {
        err = Morvel::ColorExpressionData::HandleEvent(pluginId, in_data, out_data, params, output, extra,
                                                       kTonerCustomChannelId);
    }
    return err;
}

PF_Err ArbitraryData(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                     PF_ArbParamsExtra* extra) {
    const PF_Err first =
        Morvel::ColorExpressionData::HandleData(in_data, out_data, params, output, extra, kCustomChannelId);
    const PF_Err second =
        Morvel::ColorExpressionData::HandleData(in_data, out_data, params, output, extra, kTonerCustomChannelId);
    return first != PF_Err_NONE ? first : second;
}

}  // namespace Glow
