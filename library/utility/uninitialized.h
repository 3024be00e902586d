#pragma once

// Vectors of per-pixel records that a stage writes in full before anything reads them. Growing
// one leaves the new records as the memory came instead of writing each one first, and a large
// one starts on a large page and asks for large pages, as the transforms' buffers do: its first
// writes then fault once per large page rather than once per small one.

#include <type_traits>
#include <utility>
#include <vector>

#include "library/fft/aligned.h"

namespace Morvel {

template <class T>
struct UninitializedAllocator : FFT::CacheAligned<T> {
    // Records that are only bytes: leaving them unwritten is leaving them indeterminate, nothing
    // more.
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) {}

    template <class U>
    void construct(U*) noexcept {}
    template <class U, class First, class... Rest>
    void construct(U* place, First&& first, Rest&&... rest) {
        ::new (static_cast<void*>(place)) U(std::forward<First>(first), std::forward<Rest>(rest)...);
    }
};

template <class T>
using UninitializedVector = std::vector<T, UninitializedAllocator<T>>;

}  // namespace Morvel
