#pragma once

#include <memory>

#include "library/world/bpc.h"
#include "library/world/world.h"
#include "morvel_host/host.h"

class AEGP_SuiteHandler;

namespace Morvel {

// The input placed in a cleared world of the output's size where the two worlds' origins say it
// lies; input is replaced by that world. Nothing happens when size and origin agree already.
PF_Err adaptInputToOutput(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Bpc bpc,
                          std::shared_ptr<World>& input, const std::shared_ptr<World>& output);

}  // namespace Morvel
