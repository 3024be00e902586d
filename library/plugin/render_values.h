#pragma once

#include "library/parameter/parameter_def.h"
#include "library/plugin/plugin_info.h"
#include "morvel_host/host.h"

namespace Morvel::Plugin {

// The smart render of an effect whose pre-render data holds one 24-byte value per table row:
// reads the plug-in id from the global data and the values from the pre-render data, hands the
// rows' values as ParameterValue records (id and kind from the row) to `render` with flag
// false, and returns its result.
//
// 516 when the global data or the pre-render data is missing, cannot be locked or is too small
// for the rows; 512 when the values cannot be allocated. Both handles are unlocked and the
// values disposed on every path, also when `render` throws.
PF_Err renderWithValues(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra, const ParameterDef* rows,
                        int count, RenderEntry render);

}  // namespace Morvel::Plugin
