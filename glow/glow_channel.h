#pragma once

#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/glow_color.h"
#include "glow/glow_parameters.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

namespace Glow {

// Spreads the three-channel thresholded image, each colour with its own kernel,
// and writes the glow world: builds and normalises the kernels, transforms them, then convolves tile
// by tile. Everything it allocates lives for one execute.
class GlowChannel {
public:
    // Only stores its arguments. The source holds glow world width x height records, row-major.
    GlowChannel(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* glowWorld, int threadCount,
                GlowParameters* params, std::vector<ChannelColor>* source);

    // The host's error code of the first failing step; 4 when the buffers cannot be had.
    PF_Err execute();

private:
    PF_InData* in_data;
    AEGP_SuiteHandler& suites;
    Morvel::Bpc bpc;
    int threadCount;
    PF_LayerDef* glowWorld;
    GlowParameters* params;
    std::vector<ChannelColor>* source;
};

}  // namespace Glow
