#pragma once

namespace Morvel {

// Left, top inclusive; right, bottom exclusive.
template <typename T>
struct Rect {
    T left{};
    T top{};
    T right{};
    T bottom{};

    T width() const { return right - left; }
    T height() const { return bottom - top; }
};

template <typename T>
struct Vector2 {
    T x{};
    T y{};
};

template <typename T>
struct Vector3 {
    T x{};
    T y{};
    T z{};
};

}  // namespace Morvel
