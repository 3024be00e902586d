#pragma once

#include <cstdint>

namespace Morvel {

// What a lookup does outside the image. The values are those of the effects' "Wrap" menus
// minus one, and are stored in saved projects.
enum class Wrap : int32_t { None = 0, Edge = 1, Repeat = 2, Mirror = 3 };

}  // namespace Morvel
