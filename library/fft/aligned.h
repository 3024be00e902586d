#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace Morvel::FFT {

// Starts every allocation on a cache line, so that a row of a transform buffer and a point of the
// transform's work area never straddle two lines. Large allocations start on a large page and ask
// the system to back them with large pages where it can: a column of a large transform touches
// one small page per row, more than the address translation caches hold.
template <class T>
struct CacheAligned {
    using value_type = T;
    static constexpr std::size_t kAlignment = 64;
    static constexpr std::size_t kLargePage = std::size_t(2) << 20;

    CacheAligned() = default;
    template <class U>
    CacheAligned(const CacheAligned<U>&) {}

    T* allocate(std::size_t count) {
        if (count > (static_cast<std::size_t>(-1) - kLargePage) / sizeof(T)) throw std::bad_alloc();
        std::size_t bytes = (count * sizeof(T) + kAlignment - 1) / kAlignment * kAlignment;
        std::size_t alignment = kAlignment;
        if (bytes >= 2 * kLargePage) {
            alignment = kLargePage;
            bytes = (bytes + kLargePage - 1) / kLargePage * kLargePage;
        }
        void* memory = std::aligned_alloc(alignment, bytes == 0 ? kAlignment : bytes);
        if (memory == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        // Only advice: a system without large pages keeps small ones.
        if (alignment == kLargePage) madvise(memory, bytes, MADV_HUGEPAGE);
#endif
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
