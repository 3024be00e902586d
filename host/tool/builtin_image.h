#pragma once

#include "host/sim/worlds.h"

namespace Tool {

// The picture `morvel render` works on when given none: small bright lights and hard edges on a
// dark ground, a band fading to transparent, and a corner of zero-alpha pixels that still carry
// colour. Float pixels, so every depth is made from it by conversion.
Sim::Image builtinImage();

}  // namespace Tool
