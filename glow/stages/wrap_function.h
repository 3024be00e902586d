#pragma once

#include <functional>

#include "library/sampling/wrap.h"

namespace Glow {

// Maps an index outside [0, n) by the wrap mode: Edge clamps, Mirror reflects with the border
// index repeated (-1 -> 0, n -> n - 1); any other mode, or an empty range, leaves it as it is.
std::function<int(int)> generateWrapFunc(int n, Morvel::Wrap wrap);

}  // namespace Glow
