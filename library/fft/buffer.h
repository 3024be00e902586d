#pragma once

#include <cstddef>
#include <vector>

#include "library/fft/aligned.h"

namespace Morvel::FFT {

// A square complex image as FFT2D transforms it: size x size values in one cache-aligned vector
// of 2 x size x size doubles, row x starting at double 2 x size x x, value y of a row with its real
// part at 2y and its imaginary part at 2y + 1; and the size row pointers into it.
class Buffer {
public:
    Buffer() = default;
    Buffer(Buffer&&) noexcept = default;
    Buffer& operator=(Buffer&&) noexcept = default;
    // A copy's row pointers would point into the original.
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    // Sizes the buffer for size x size values, all zero. A size below 1, or one whose bytes cannot
    // be counted, is refused: false, and the buffer is left as it was. Memory that cannot be had
    // throws std::bad_alloc, also leaving the buffer as it was.
    bool init(int size);

    int size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // null while empty
    double** rows() { return rows_.empty() ? nullptr : rows_.data(); }
    double* row(int x) { return rows_[static_cast<std::size_t>(x)]; }
    const double* row(int x) const { return rows_[static_cast<std::size_t>(x)]; }
    double* data() { return values_.data(); }
    const double* data() const { return values_.data(); }
    // Doubles held: 2 x size x size.
    std::size_t count() const { return values_.size(); }

private:
    int size_ = 0;
    AlignedDoubles values_;
    std::vector<double*> rows_;
};

}  // namespace Morvel::FFT
