#pragma once

// The host's parameter area: registration (add_param), check-out and check-in of values, and
// "PF Param Utils Suite" 2. Values live in the effect instance, one record per parameter index.

#include <string_view>

#include "host/sim/host.h"

namespace Sim {

// The value record the instance holds at index, for tests to read or set. Grows the instance's
// values with cleared records when index lies beyond them; a negative index throws. Once the
// instance is in the project, its parameters' values are in their streams: set them with
// setParamValue.
PF_ParamDef& paramValue(PF_EffectInstance& effect, int index);
// Sets a parameter's value where check-out and the stream suites both see it. Throws for an
// arbitrary-data parameter whose values the effect makes (set those through the streams).
void setParamValue(PF_EffectInstance& effect, int index, const PF_ParamDef& value);

// "float slider", "popup", ... for a host parameter type; null for a type the host does not know.
const char* paramTypeName(PF_ParamType type);

// Items of a popup menu text ("A|B|(-|C" has four); 0 for a null text.
int menuItemCount(const char* menu);
// The item'th (1-based) item of a menu text, empty when there is none.
std::string_view menuItem(const char* menu, int item);

}  // namespace Sim
