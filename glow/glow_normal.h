#pragma once

#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/glow_color.h"
#include "glow/glow_parameters.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

namespace Glow {

// Spreads the thresholded image (one premultiplied colour per pixel) with the single glow kernel
// and writes the glow world: builds and normalises the kernel, transforms it, then convolves tile
// by tile. Everything it allocates lives for one execute.
class GlowNormal {
public:
    // Only stores its arguments. The source holds glow world width x height records, row-major.
    GlowNormal(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* glowWorld, int threadCount,
               GlowParameters* params, std::vector<Color>* source);

    // The host's error code of the first failing step; 4 when the buffers cannot be had.
    PF_Err execute();

private:
    PF_InData* in_data;
    AEGP_SuiteHandler& suites;
    Morvel::Bpc bpc;
    int threadCount;
    PF_LayerDef* glowWorld;
    GlowParameters* params;
    std::vector<Color>* source;
};

}  // namespace Glow
