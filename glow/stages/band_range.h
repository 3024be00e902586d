#pragma once

#include <cstdint>

namespace Glow {

// The share [first, end) of band i of n over count rows or columns: count i / n to
// count (i + 1) / n, worked in 64 bits. An iteration outside [0, n) gets an empty range.
struct BandRange {
    int first = 0;
    int end = 0;
};

inline BandRange bandRange(int count, int i, int n) {
    if (n < 1 || i < 0 || i >= n) return {};
    return {static_cast<int>(int64_t{count} * i / n), static_cast<int>(int64_t{count} * (i + 1) / n)};
}

}  // namespace Glow
