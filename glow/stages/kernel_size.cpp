#include "glow/stages/kernel_size.h"

#include <algorithm>
#include <cstdint>

namespace Glow {

int getKernelSize(int radius, int width, int height) {
    // Worked in 64 bits so that a huge radius cannot overflow; for every radius and image whose
    // sums fit 32 bits the result is the one of the 32-bit rule.
    const int64_t whole = int64_t{std::max(width, height)} + 2 * int64_t{radius} + 1;
    const int64_t threeRadii = 3 * int64_t{radius};
    constexpr int kLargest = 1 << 30;
    int size = 256;
    while (size <= whole && size < threeRadii && size < kLargest) size *= 2;
    return size;
}

}  // namespace Glow
