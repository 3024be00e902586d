#pragma once

#include <cstdint>

namespace Morvel {

// Bits per channel of a world.
enum Bpc : int32_t { Bpc8 = 0, Bpc16 = 1, Bpc32 = 2 };

}  // namespace Morvel
