#pragma once

#include <memory>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/glow_parameters.h"
#include "library/world/bpc.h"
#include "library/world/world.h"
#include "morvel_host/host.h"

namespace Glow {

// One glow render over worlds the render set-up has made ready: the input already has the
// output's size. Lives on the render's stack for one call of execute.
class Glow {
public:
    Glow(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
         std::shared_ptr<Morvel::World> input, std::shared_ptr<Morvel::World> output, GlowParameters* params);

    // The whole render; returns the first error.
    PF_Err execute();

private:
    PF_InData* in_data;
    PF_OutData* out_data;
    AEGP_SuiteHandler& suites;
    Morvel::Bpc bpc;
    std::shared_ptr<Morvel::World> input;
    std::shared_ptr<Morvel::World> output;
    GlowParameters* params;  // not owned
};

}  // namespace Glow
