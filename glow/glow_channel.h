#pragma once

#include "glow/glow_convolution.h"
#include "glow/stages/glow_color.h"

namespace Glow {

// Blur Type "Channel": red, green and blue, each with its own alpha, spread by a kernel each.
class GlowChannel : public GlowConvolution<ChannelColor> {
public:
    using GlowConvolution::GlowConvolution;
};

extern template class GlowConvolution<ChannelColor>;

}  // namespace Glow
