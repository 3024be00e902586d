#include "library/fft/buffer.h"

#include <limits>
#include <utility>

namespace Morvel::FFT {

bool Buffer::init(int size) {
    if (size < 1) return false;
    const std::size_t side = static_cast<std::size_t>(size);
    constexpr std::size_t kMaxDoubles = std::numeric_limits<std::size_t>::max() / sizeof(double);
    if (side > kMaxDoubles / 2 / side) return false;
    const std::size_t doublesPerRow = 2 * side;

    // Built aside and swapped in, so a failed allocation leaves the buffer as it was.
    AlignedDoubles values(doublesPerRow * side, 0.0);
    std::vector<double*> rows(side);
    for (std::size_t x = 0; x < side; ++x) rows[x] = values.data() + doublesPerRow * x;
    values_ = std::move(values);
    rows_ = std::move(rows);
    size_ = size;
    return true;
}

}  // namespace Morvel::FFT
