#pragma once

#include <cmath>

#include "morvel_host/types.h"

namespace Morvel {

// A colour in each depth's normalised scale (1.0 = full); converts to the host's pixels.
template <typename T>
struct Color {
    T alpha{};
    T red{};
    T green{};
    T blue{};

    Color() = default;
    Color(T a, T r, T g, T b) : alpha(a), red(r), green(g), blue(b) {}

    explicit operator PF_Pixel() const {
        return PF_Pixel{toChannel8(alpha), toChannel8(red), toChannel8(green), toChannel8(blue)};
    }
    explicit operator PF_Pixel16() const {
        return PF_Pixel16{toChannel16(alpha), toChannel16(red), toChannel16(green), toChannel16(blue)};
    }
    explicit operator PF_PixelFloat() const {
        return PF_PixelFloat{clampUnit(static_cast<float>(alpha)), static_cast<float>(red), static_cast<float>(green),
                             static_cast<float>(blue)};
    }

    // x255 plus one half in T's own precision, cut toward zero, clamped; NaN goes to 0.
    static uint8_t toChannel8(T value) {
        const T scaled = value * T(255) + T(0.5);
        if (!(scaled > T(0))) return 0;
        if (scaled >= T(255)) return 255;
        return static_cast<uint8_t>(scaled);
    }
    static uint16_t toChannel16(T value) {
        const T scaled = value * T(32768) + T(0.5);
        if (!(scaled > T(0))) return 0;
        if (scaled >= T(32768)) return 32768;
        return static_cast<uint16_t>(scaled);
    }

private:
    static float clampUnit(float value) {
        if (!(value > 0.0f)) return 0.0f;
        return value > 1.0f ? 1.0f : value;
    }
};

}  // namespace Morvel
