#include "library/parameter/fixed_point.h"
#include "library/parameter/parameter.h"

namespace Morvel::Plugin {

namespace {

// Sliders and popups keep their integer in different records; read the one the host filled.
int32_t integerValue(const PF_ParamDef& param) {
    return param.param_type == PF_Param_POPUP ? param.u.pd.value : param.u.sd.value;
}

// Writes only the member the kind names, so the rest of the 24 bytes stay as they were.
void convert(int32_t kind, const PF_ParamDef& param, ParameterUnionValue& out) {
    switch (kind) {
        case KIND_SLIDER:
        case KIND_INT: out.i = integerValue(param); break;
        case KIND_CHECKBOX: out.b = param.u.bd.value != 0; break;
        case KIND_FLOAT: out.d = param.u.fs_d.value; break;
        case KIND_ANGLE: out.d = fixedToDouble(param.u.ad.value); break;
        case KIND_POINT:
            out.point.x = fixedToDouble(param.u.td.x_value);
            out.point.y = fixedToDouble(param.u.td.y_value);
            break;
        case KIND_POINT3D:
            out.point3d.x = param.u.point3d_d.x_value;
            out.point3d.y = param.u.point3d_d.y_value;
            out.point3d.z = param.u.point3d_d.z_value;
            break;
        case KIND_COLOR:
            out.color.red = param.u.cd.value.red / 255.0f;
            out.color.green = param.u.cd.value.green / 255.0f;
            out.color.blue = param.u.cd.value.blue / 255.0f;
            break;
        default: break;
    }
}

bool isCheckedOutKind(int32_t kind) { return kind >= KIND_SLIDER && kind <= KIND_COLOR; }

PF_Err checkout(PF_InData* in_data, int index, PF_ParamDef& param) {
    if (in_data == nullptr || in_data->inter.checkout_param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    return in_data->inter.checkout_param(in_data->effect_ref, index, in_data->current_time, in_data->time_step,
                                         in_data->time_scale, &param);
}

PF_Err checkin(PF_InData* in_data, PF_ParamDef& param) {
    if (in_data->inter.checkin_param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    return in_data->inter.checkin_param(in_data->effect_ref, &param);
}

// Checks the parameter out, lets `store` copy from the record (cleared if the check-out failed),
// and returns it to the host once copied.
template <typename Store>
PF_Err checkoutOne(PF_InData* in_data, int index, Store store) {
    PF_ParamDef param{};
    const PF_Err err = checkout(in_data, index, param);
    if (err != PF_Err_NONE) {
        store(PF_ParamDef{});
        return err;
    }
    store(param);
    return checkin(in_data, param);
}

template <typename T>
T toPrecision(double value) {
    if constexpr (sizeof(T) < sizeof(double)) {
        return static_cast<T>(saturatingToFloat(value));
    } else {
        return static_cast<T>(value);
    }
}

}  // namespace

int copyParams(PF_ParamDef** params, const ParameterDef* rows, int count, ParameterValue* out) {
    if (params == nullptr || rows == nullptr || out == nullptr) return PF_Err_NONE;
    for (int r = 0; r < count; ++r) {
        const ParameterDef& row = rows[r];
        out[r].id = row.id;
        out[r].kind = row.kind;
        if (row.id < 0 || params[row.id] == nullptr) continue;
        convert(row.kind, *params[row.id], out[r].value);
    }
    return PF_Err_NONE;
}

int checkoutParams(PF_InData* in_data, const ParameterDef* rows, int count, ParameterUnionValue* out) {
    if (rows == nullptr || out == nullptr) return count > 0 ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE;
    for (int r = 0; r < count; ++r) {
        if (!isCheckedOutKind(rows[r].kind)) continue;
        PF_ParamDef param{};
        if (PF_Err err = checkout(in_data, rows[r].id, param)) return err;
        convert(rows[r].kind, param, out[r]);
        if (PF_Err err = checkin(in_data, param)) return err;
    }
    return PF_Err_NONE;
}

PF_Err checkoutSliderParam(PF_InData* in_data, int index, int& value) {
    return checkoutOne(in_data, index, [&](const PF_ParamDef& param) { value = param.u.sd.value; });
}

PF_Err checkoutCheckboxParam(PF_InData* in_data, int index, bool& value) {
    return checkoutOne(in_data, index, [&](const PF_ParamDef& param) { value = param.u.bd.value != 0; });
}

PF_Err checkoutColorParam(PF_InData* in_data, int index, Color<float>& value) {
    return checkoutOne(in_data, index, [&](const PF_ParamDef& param) {
        const PF_Pixel& pixel = param.u.cd.value;
        value = Color<float>(1.0f, pixel.red / 255.0f, pixel.green / 255.0f, pixel.blue / 255.0f);
    });
}

PF_Err checkoutPopupParam(PF_InData* in_data, int index, int& value) {
    return checkoutOne(in_data, index, [&](const PF_ParamDef& param) { value = param.u.pd.value; });
}

PF_Err checkoutPathParam(PF_InData* in_data, int index, unsigned int& value) {
    return checkoutOne(in_data, index, [&](const PF_ParamDef& param) { value = param.u.path_d.path_id; });
}

template <typename T>
PF_Err checkoutAngleParam(PF_InData* in_data, int index, T& value, bool toRadians) {
    return checkoutOne(in_data, index, [&](const PF_ParamDef& param) {
        const double degrees = fixedToDouble(param.u.ad.value);
        value = static_cast<T>(toRadians ? degrees * 0.017453292519943295 : degrees);
    });
}

template <typename T>
PF_Err checkoutPointParam(PF_InData* in_data, int index, Vector2<T>& value) {
    return checkoutOne(in_data, index, [&](const PF_ParamDef& param) {
        value.x = static_cast<T>(fixedToDouble(param.u.td.x_value));
        value.y = static_cast<T>(fixedToDouble(param.u.td.y_value));
    });
}

template <typename T>
PF_Err checkoutFloatParam(PF_InData* in_data, int index, T& value, T scale) {
    return checkoutOne(in_data, index,
                       [&](const PF_ParamDef& param) { value = toPrecision<T>(param.u.fs_d.value) * scale; });
}

template <typename T>
PF_Err checkoutPoint3DParam(PF_InData* in_data, int index, Vector3<T>& value) {
    return checkoutOne(in_data, index, [&](const PF_ParamDef& param) {
        value.x = toPrecision<T>(param.u.point3d_d.x_value);
        value.y = toPrecision<T>(param.u.point3d_d.y_value);
        value.z = toPrecision<T>(param.u.point3d_d.z_value);
    });
}

template PF_Err checkoutAngleParam<float>(PF_InData*, int, float&, bool);
template PF_Err checkoutAngleParam<double>(PF_InData*, int, double&, bool);
template PF_Err checkoutPointParam<float>(PF_InData*, int, Vector2<float>&);
template PF_Err checkoutPointParam<double>(PF_InData*, int, Vector2<double>&);
template PF_Err checkoutFloatParam<float>(PF_InData*, int, float&, float);
template PF_Err checkoutFloatParam<double>(PF_InData*, int, double&, double);
template PF_Err checkoutPoint3DParam<float>(PF_InData*, int, Vector3<float>&);
template PF_Err checkoutPoint3DParam<double>(PF_InData*, int, Vector3<double>&);

}  // namespace Morvel::Plugin
