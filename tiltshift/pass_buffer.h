#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

namespace TiltShift {

// Hands out memory that is already zero. calloc takes large blocks straight from fresh zero
// pages, so a pass buffer of hundreds of megabytes is not filled with zeros first on the render's
// thread. Value-initialising an element therefore writes nothing: a vector of it must only grow
// into fresh memory (sized once, as the pass buffers are), never shrink and grow back.
template <typename T>
struct ZeroedAllocator {
    using value_type = T;

    ZeroedAllocator() = default;
    template <typename U>
    ZeroedAllocator(const ZeroedAllocator<U>&) {}

    T* allocate(std::size_t n) {
        void* memory = std::calloc(n, sizeof(T));
        if (memory == nullptr) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* p, std::size_t) { std::free(p); }

    template <typename U>
    void construct(U*) noexcept {}
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const ZeroedAllocator&, const ZeroedAllocator&) { return true; }
};

// The pass's amount and colour buffers.
using PassBuffer = std::vector<double, ZeroedAllocator<double>>;

}  // namespace TiltShift
