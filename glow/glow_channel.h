#pragma once

#include "glow/glow_color.h"
#include "glow/glow_convolution.h"

namespace Glow {

// Blur Type "Channel": red, green and blue, each with its own alpha, spread by a kernel each.
class GlowChannel : public GlowConvolution<ChannelColor> {
public:
    using GlowConvolution::GlowConvolution;
};

extern template class GlowConvolution<ChannelColor>;

}  // namespace Glow
