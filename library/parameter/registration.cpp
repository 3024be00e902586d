#include <cstring>

#include "library/parameter/fixed_point.h"
#include "library/parameter/parameter.h"

namespace Morvel::Plugin {

namespace {

// The host's strcpy when the name fits the record; a name that does not fit (or a table row
// whose 32 characters carry no terminator) is cut rather than written past the record.
void copyName(PF_InData* in_data, PF_ParamDef& def, const char* name) {
    if (name == nullptr) {
        def.name[0] = '\0';
        return;
    }
    const size_t length = strnlen(name, sizeof def.name);
    if (length < sizeof def.name && in_data->utils != nullptr && in_data->utils->ansi.strcpy != nullptr) {
        in_data->utils->ansi.strcpy(def.name, name);
        return;
    }
    const size_t kept = length < sizeof def.name ? length : sizeof def.name - 1;
    std::memcpy(def.name, name, kept);
    def.name[kept] = '\0';
}

PF_Err append(PF_InData* in_data, PF_ParamDef& def, PF_ParamType type, int id, const char* name) {
    if (in_data == nullptr || in_data->inter.add_param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    def.param_type = type;
    def.uu.id = id;
    copyName(in_data, def, name);
    // -1 appends after everything registered so far.
    return in_data->inter.add_param(in_data->effect_ref, -1, &def);
}

void fillFloatSlider(PF_ParamDef& def, const ParameterDef& row, int precision) {
    PF_FloatSliderDef& slider = def.u.fs_d;
    slider.value = row.dephault.d;
    slider.dephault = saturatingToFloat(row.dephault.d);
    slider.valid_min = saturatingToFloat(row.validMin.d);
    slider.valid_max = saturatingToFloat(row.validMax.d);
    slider.slider_min = saturatingToFloat(row.sliderMin.d);
    slider.slider_max = saturatingToFloat(row.sliderMax.d);
    slider.precision = saturatingCut16(precision);
    slider.curve_tolerance = 0.0f;
}

}  // namespace

PF_Err addTopic(PF_InData* in_data, PF_ParamDef& def, int id, const char* name) {
    return append(in_data, def, PF_Param_GROUP_START, id, name);
}

PF_Err addTopicEnd(PF_InData* in_data, PF_ParamDef& def, int id) {
    if (in_data == nullptr || in_data->inter.add_param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    def.param_type = PF_Param_GROUP_END;
    def.uu.id = id;
    return in_data->inter.add_param(in_data->effect_ref, -1, &def);
}

PF_Err addGroupEntry(PF_InData* in_data, const GroupEntry& entry) {
    PF_ParamDef def{};
    def.flags = PF_ParamFlag_START_COLLAPSED;
    return entry.name != nullptr ? addTopic(in_data, def, entry.id, entry.name) : addTopicEnd(in_data, def, entry.id);
}

PF_Err addLayer(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row) {
    def.u.ld.dephault = row.dephault.i;
    return append(in_data, def, PF_Param_LAYER, row.id, row.name);
}

PF_Err addSlider(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row) {
    PF_SliderDef& slider = def.u.sd;
    slider.value = row.dephault.i;
    slider.dephault = row.dephault.i;
    slider.valid_min = row.validMin.i;
    slider.valid_max = row.validMax.i;
    slider.slider_min = row.sliderMin.i;
    slider.slider_max = row.sliderMax.i;
    slider.value_str[0] = '\0';
    slider.value_desc[0] = '\0';
    return append(in_data, def, PF_Param_SLIDER, row.id, row.name);
}

PF_Err addAngle(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row) {
    def.u.ad.dephault = degreesToFixed(row.dephault.d);
    def.u.ad.value = def.u.ad.dephault;
    return append(in_data, def, PF_Param_ANGLE, row.id, row.name);
}

PF_Err addCheckbox(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row, const char* label) {
    def.u.bd.value = row.dephault.i;
    def.u.bd.dephault = row.dephault.i;
    def.u.bd.nameptr = label;
    return append(in_data, def, PF_Param_CHECKBOX, row.id, row.name);
}

PF_Err addColor(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row) {
    const auto& color = row.dephault.color;
    const PF_Pixel pixel{255, Color<float>::toChannel8(color.red), Color<float>::toChannel8(color.green),
                         Color<float>::toChannel8(color.blue)};
    def.u.cd.value = pixel;
    def.u.cd.dephault = pixel;
    return append(in_data, def, PF_Param_COLOR, row.id, row.name);
}

PF_Err addPoint(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row, bool restrict_bounds) {
    PF_PointDef& point = def.u.td;
    point.x_dephault = integerPartToFixed(row.dephault.point.x);
    point.y_dephault = integerPartToFixed(row.dephault.point.y);
    point.x_value = point.x_dephault;
    point.y_value = point.y_dephault;
    point.restrict_bounds = restrict_bounds ? 1 : 0;
    return append(in_data, def, PF_Param_POINT, row.id, row.name);
}

PF_Err addPopup(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row, const char* items) {
    PF_PopupDef& popup = def.u.pd;
    popup.dephault = saturatingCut16(row.dephault.i);
    popup.value = popup.dephault;
    popup.num_choices = saturatingCut16(row.validMax.i);
    popup.namesptr = items;
    return append(in_data, def, PF_Param_POPUP, row.id, row.name);
}

PF_Err addFloat(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row, int precision) {
    fillFloatSlider(def, row, precision);
    return append(in_data, def, PF_Param_FLOAT_SLIDER, row.id, row.name);
}

PF_Err addPercent(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row, int precision) {
    fillFloatSlider(def, row, precision);
    def.u.fs_d.display_flags = PF_ValueDisplayFlag_PERCENT;
    return append(in_data, def, PF_Param_FLOAT_SLIDER, row.id, row.name);
}

PF_Err addPoint3D(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row) {
    PF_Point3DDef& point = def.u.point3d_d;
    point.x_value = point.x_dephault = row.dephault.point3d.x;
    point.y_value = point.y_dephault = row.dephault.point3d.y;
    point.z_value = point.z_dephault = row.dephault.point3d.z;
    return append(in_data, def, PF_Param_POINT_3D, row.id, row.name);
}

PF_Err addPath(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row) {
    def.u.path_d.dephault = row.dephault.i;
    return append(in_data, def, PF_Param_PATH, row.id, row.name);
}

}  // namespace Morvel::Plugin
