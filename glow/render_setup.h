#pragma once

#include <memory>

#include "Util/AEGP_SuiteHandler.h"
#include "library/parameter/parameter_def.h"
#include "library/world/adapt_input.h"
#include "library/world/bpc.h"
#include "library/world/world.h"
#include "morvel_host/host.h"

namespace Glow {

// The glow's render: one value per parameter-table row in table order. With no_expressions set
// the custom channels are never parsed. Returns the host error code.
PF_Err MSmartRender(int plugin_id, PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                    const Morvel::Plugin::ParameterValue* values, bool no_expressions);

// Shared with the diffusion, which places its input the same way.
using Morvel::adaptInputToOutput;

}  // namespace Glow
