#pragma once

#include "library/parameter/parameter_def.h"
#include "library/utility/color.h"
#include "library/utility/geometry.h"
#include "morvel_host/host.h"

class AEGP_SuiteHandler;

namespace Morvel::Plugin {

// Registration at parameter set-up. The caller clears `def` (and may set its flags) before each
// call; every function appends the parameter and returns the host's result.
PF_Err addTopic(PF_InData* in_data, PF_ParamDef& def, int id, const char* name);
PF_Err addTopicEnd(PF_InData* in_data, PF_ParamDef& def, int id);
// A table's group start or end, collapsed; clears its own record.
PF_Err addGroupEntry(PF_InData* in_data, const GroupEntry& entry);
PF_Err addLayer(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row);
PF_Err addSlider(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row);
PF_Err addAngle(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row);
PF_Err addCheckbox(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row, const char* label);
PF_Err addColor(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row);
PF_Err addPoint(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row, bool restrict_bounds);
PF_Err addPopup(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row, const char* items);
PF_Err addFloat(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row, int precision);
PF_Err addPercent(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row, int precision);
PF_Err addPoint3D(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row);
PF_Err addPath(PF_InData* in_data, PF_ParamDef& def, const ParameterDef& row);

// Converts the host parameters a command was given (params[row.id] for each row) into values.
int copyParams(PF_ParamDef** params, const ParameterDef* rows, int count, ParameterValue* out);

// Checks every row out at the current time into out[r]; stops at the first error and returns it,
// leaving the later values as they were. Rows that are not converted (layers, custom data) keep
// their values.
int checkoutParams(PF_InData* in_data, const ParameterDef* rows, int count, ParameterUnionValue* out);

// Single check-outs at the current time. The value is stored even when the check-out fails
// (then from a cleared record, so zero); the check-out's error is returned.
PF_Err checkoutSliderParam(PF_InData* in_data, int index, int& value);
PF_Err checkoutCheckboxParam(PF_InData* in_data, int index, bool& value);
PF_Err checkoutColorParam(PF_InData* in_data, int index, Color<float>& value);
PF_Err checkoutPopupParam(PF_InData* in_data, int index, int& value);
PF_Err checkoutPathParam(PF_InData* in_data, int index, unsigned int& value);

// Instantiated for float and double.
template <typename T>
PF_Err checkoutAngleParam(PF_InData* in_data, int index, T& value, bool toRadians);
template <typename T>
PF_Err checkoutPointParam(PF_InData* in_data, int index, Vector2<T>& value);
template <typename T>
PF_Err checkoutFloatParam(PF_InData* in_data, int index, T& value, T scale);
template <typename T>
PF_Err checkoutPoint3DParam(PF_InData* in_data, int index, Vector3<T>& value);

}  // namespace Morvel::Plugin

namespace Morvel {

// Sends the parameter's record with the disabled bit set or cleared, whether or not it changed.
PF_Err grayOutParameter(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_ParamDef** params, int index, bool gray);

}  // namespace Morvel
