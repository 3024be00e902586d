#pragma once

#include <memory>

#include "Util/AEGP_SuiteHandler.h"
#include "library/parameter/parameter_def.h"
#include "library/world/bpc.h"
#include "library/world/world.h"
#include "morvel_host/host.h"

namespace Glow {

// The glow's render: one value per parameter-table row in table order. With no_expressions set
// the custom channels are never parsed. Returns the host error code.
PF_Err MSmartRender(int plugin_id, PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                    const Morvel::Plugin::ParameterValue* values, bool no_expressions);

// The input placed in a cleared world of the output's size where the two worlds' origins say it
// lies; input is replaced by that world. Nothing happens when size and origin agree already.
PF_Err adaptInputToOutput(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                          std::shared_ptr<Morvel::World>& input, const std::shared_ptr<Morvel::World>& output);

}  // namespace Glow
