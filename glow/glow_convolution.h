#pragma once

#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/stages/glow_color.h"
#include "glow/stages/render_settings.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

namespace Glow {

// What the convolution of one thresholded pixel type is made of: its kernel creators, setter,
// multiplier and outputter with their records, the number of kernels and of complex image planes,
// and how the records are wired to the buffers. Specialised beside each mode's class.
template <typename Source>
struct ConvolutionMode;

// Spreads the thresholded image with the glow kernels and writes the glow world: builds and
// normalises the kernels, transforms them, then convolves tile by tile. Everything it allocates
// lives for one execute. Source is the thresholded pixel: Color or ChannelColor.
template <typename Source>
class GlowConvolution {
public:
    // Only stores its arguments. The source holds glow world width x height records, row-major.
    GlowConvolution(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* glowWorld,
                    int threadCount, GlowParameters* params, Records<Source> source)
        : in_data(in_data),
          suites(suites),
          bpc(bpc),
          threadCount(threadCount),
          glowWorld(glowWorld),
          params(params),
          source(source) {}

    // The host's error code of the first failing step; 4 when the buffers cannot be had.
    PF_Err execute();

private:
    PF_InData* in_data;
    AEGP_SuiteHandler& suites;
    Morvel::Bpc bpc;
    int threadCount;
    PF_LayerDef* glowWorld;
    GlowParameters* params;
    Records<Source> source;
};

}  // namespace Glow
