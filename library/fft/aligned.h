#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

namespace Morvel::FFT {

// Starts every allocation on a cache line, so that a row of a transform buffer and a point of the
// transform's work area never straddle two lines.
template <class T>
struct CacheAligned {
    using value_type = T;
    static constexpr std::size_t kAlignment = 64;

    CacheAligned() = default;
    template <class U>
    CacheAligned(const CacheAligned<U>&) {}

    T* allocate(std::size_t count) {
        if (count > (static_cast<std::size_t>(-1) - kAlignment) / sizeof(T)) throw std::bad_alloc();
        const std::size_t bytes = (count * sizeof(T) + kAlignment - 1) / kAlignment * kAlignment;
        void* memory = std::aligned_alloc(kAlignment, bytes == 0 ? kAlignment : bytes);
        if (memory == nullptr) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t) { std::free(memory); }

    template <class U>
    bool operator==(const CacheAligned<U>&) const {
        return true;
    }
};

using AlignedDoubles = std::vector<double, CacheAligned<double>>;

}  // namespace Morvel::FFT
