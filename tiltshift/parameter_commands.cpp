#include <utility>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "library/default/default.h"
#include "library/parameter/parameter.h"
#include "tiltshift/commands.h"
#include "tiltshift/parameter_table.h"

namespace TiltShift {

namespace {

PF_Err addRow(PF_InData* in_data, int r) {
    using namespace Morvel::Plugin;
    const ParameterDef& row = PARAM_DEFS[r];
    const RowRegistration& how = kRowRegistration[r];
    PF_ParamDef def{};
    def.flags = PF_ParamFlag_START_COLLAPSED;
    switch (row.kind) {
        case KIND_INT: return addPopup(in_data, def, row, how.menu);
        case KIND_FLOAT:
            return how.percent ? addPercent(in_data, def, row, how.precision)
                               : addFloat(in_data, def, row, how.precision);
        case KIND_POINT: return addPoint(in_data, def, row, kCenterRestrictBounds);
        case KIND_ANGLE: return addAngle(in_data, def, row);
        case KIND_COLOR: return addColor(in_data, def, row);
        case KIND_CHECKBOX: return addCheckbox(in_data, def, row, kCheckboxLabel);
        default: return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    }
}

// The focus-area handles are drawn in the composition and layer views.
PF_Err registerFocusUI(PF_InData* in_data) {
    if (in_data->inter.register_ui == nullptr) return PF_Err_INVALID_CALLBACK;
    PF_CustomUIInfo info{};
    info.events = PF_CustomEFlag_COMP | PF_CustomEFlag_LAYER;
    return in_data->inter.register_ui(in_data->effect_ref, &info);
}

using GrayOut = std::pair<ParamIndex, bool>;

// Which controls apply to the focus type, in the order they are sent.
std::vector<GrayOut> grayOutsFor(FocusType type, LinearMode linearMode) {
    if (type == TYPE_RADIAL) {
        return {{PARAM_RATIO, false}, {PARAM_LINEAR_MODE, true}, {PARAM_POWER, false}, {PARAM_FOCUS_DISTANCE, true}};
    }
    if (type != TYPE_LINEAR) return {};
    std::vector<GrayOut> calls = {{PARAM_RATIO, true}, {PARAM_LINEAR_MODE, false}};
    if (linearMode == LINEAR_MODE_POWER) {
        calls.insert(calls.end(), {{PARAM_POWER, false}, {PARAM_FOCUS_DISTANCE, true}});
    } else if (linearMode == LINEAR_MODE_FOCUS_DISTANCE) {
        calls.insert(calls.end(), {{PARAM_POWER, true}, {PARAM_FOCUS_DISTANCE, false}});
    }
    return calls;
}

}  // namespace

PF_Err paramsSetup(PF_InData* in_data, PF_OutData* out_data) {
    PF_Err err = PF_Err_NONE;
    for (int r = 0; r < kParamCount && err == PF_Err_NONE; ++r) err = addRow(in_data, r);
    if (err == PF_Err_NONE) err = registerFocusUI(in_data);
    out_data->num_params = HOST_PARAM_COUNT;
    return err;
}

PF_Err updateParamsUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    // Set first, so that it stands also when a call fails or a suite is missing.
    out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    if (params == nullptr || params[PARAM_TYPE] == nullptr || params[PARAM_LINEAR_MODE] == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    for (const auto& [index, gray] : grayOutsFor(static_cast<FocusType>(params[PARAM_TYPE]->u.pd.value),
                                                 static_cast<LinearMode>(params[PARAM_LINEAR_MODE]->u.pd.value))) {
        if (PF_Err err = Morvel::grayOutParameter(in_data, suites, params, index, gray)) return err;
    }
    return PF_Err_NONE;
}

PF_Err userChangedParam(PF_InData* in_data, PF_OutData*, PF_ParamDef*[]) {
    return Morvel::Default::UserChangedParam(in_data);
}

}  // namespace TiltShift
