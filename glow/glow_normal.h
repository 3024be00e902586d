#pragma once

#include "glow/glow_convolution.h"
#include "glow/stages/glow_color.h"

namespace Glow {

// Blur Type "Normal": one kernel spreads the thresholded image's premultiplied colour.
class GlowNormal : public GlowConvolution<Color> {
public:
    using GlowConvolution::GlowConvolution;
};

extern template class GlowConvolution<Color>;

}  // namespace Glow
