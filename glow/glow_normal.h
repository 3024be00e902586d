#pragma once

#include "glow/glow_color.h"
#include "glow/glow_convolution.h"

namespace Glow {

// Blur Type "Normal": one kernel spreads the thresholded image's premultiplied colour.
class GlowNormal : public GlowConvolution<Color> {
public:
    using GlowConvolution::GlowConvolution;
};

extern template class GlowConvolution<Color>;

}  // namespace Glow
