#pragma once

#include <cstddef>

#include "glow/glow_parameters.h"
#include "morvel_host/host.h"

namespace Glow {

// Whether a convolution has work: an error for missing inputs or a source shorter than the glow
// world, else PF_Err_NONE with `empty` set when the world has no pixels to write.
inline PF_Err checkConvolutionInputs(const PF_LayerDef* glowWorld, const GlowParameters* params,
                                     const void* source, std::size_t sourceCount, bool& empty) {
    empty = false;
    if (glowWorld == nullptr || params == nullptr || source == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    empty = glowWorld->width <= 0 || glowWorld->height <= 0;
    if (empty) return PF_Err_NONE;
    const std::size_t pixels = static_cast<std::size_t>(glowWorld->width) * static_cast<std::size_t>(glowWorld->height);
    return sourceCount < pixels ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE;
}

// The fields the one-colour and three-channel outputter records share.
template <typename Record>
void setOutputLevels(Record& record, const GlowParameters& params, int size, int radius) {
    record.size = size;
    record.radius = radius;
    record.exposure = params.exposure;
    record.unmult = params.glowUnmult;
    record.black = params.glowBlack;
    record.white = params.glowWhite;
    record.gamma = params.glowGamma;
    record.alphaBlack = params.glowAlphaBlack;
    record.alphaWhite = params.glowAlphaWhite;
}

// And those the setter records share.
template <typename Record, typename Source>
void setTileSource(Record& record, const GlowParameters& params, int width, int height, int size, Source* source) {
    record.width = width;
    record.height = height;
    record.size = size;
    record.source = source;
    record.wrap = params.wrap;
}

}  // namespace Glow
