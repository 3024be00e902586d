#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Bodies of the Color<T> templates and the arithmetic they share with the float pixels.
namespace Morvel::Colorsys {
namespace detail {

template <typename T>
T max3(T a, T b, T c) {
    const T ab = a > b ? a : b;
    return ab > c ? ab : c;
}

template <typename T>
T min3(T a, T b, T c) {
    const T ab = a < b ? a : b;
    return ab < c ? ab : c;
}

template <typename T>
T clampRange(T value, T low, T high) {
    return value < low ? low : (value > high ? high : value);
}

// Hue in degrees before it is brought into a turn; red is tested first, then green.
template <typename T>
T rawHueDegrees(T red, T green, T blue, T max, T delta) {
    if (delta == T(0)) return T(0);
    if (max == red) return T(60) * (green - blue) / delta;
    if (max == green) return T(60) * (blue - red) / delta + T(120);
    return T(60) * (red - green) / delta + T(240);
}

// x - 360 trunc(x / 360), into [0, 360). A hue that is NaN or infinite means no hue at all: 0.
// Past 2^(digits-1) every value of T is whole, and the integer cast would not hold it.
template <typename T>
T wrapTurn(T degrees) {
    if (!std::isfinite(degrees)) return T(0);
    constexpr T wholeFrom = T(std::uint64_t{1} << (std::numeric_limits<T>::digits - 1));
    T turns = degrees / T(360);
    if (turns < wholeFrom && turns > -wholeFrom) turns = T(static_cast<std::int64_t>(turns));
    const T wrapped = degrees - T(360) * turns;
    return wrapped < T(0) ? wrapped + T(360) : wrapped;
}

// The colour ramp of hlsToRgb at an angle in [0, 360).
template <typename T>
T hlsRamp(T low, T high, T angle) {
    if (angle < T(60)) return low + (high - low) * angle / T(60);
    if (angle < T(180)) return high;
    if (angle < T(240)) return low + (high - low) * (T(240) - angle) / T(60);
    return low;
}

// Upper value of hlsToRgb at unit scale.
template <typename T>
T hlsUpper(T lightness, T saturation) {
    return lightness < T(0.5) ? (saturation + T(1)) * lightness : lightness + saturation - saturation * lightness;
}

}  // namespace detail

template <typename T>
Color<T> rgbToHls(Color<T> const& color) {
    const T max = detail::max3(color.red, color.green, color.blue);
    const T min = detail::min3(color.red, color.green, color.blue);
    const T delta = max - min;
    const T lightness = (max + min) * T(0.5);
    T saturation = T(0);
    if (delta != T(0)) {
        saturation = lightness < T(0.5) ? delta / (max + min) : delta / (T(2) - max - min);
    }
    const T hue = detail::wrapTurn(detail::rawHueDegrees(color.red, color.green, color.blue, max, delta));
    return Color<T>(color.alpha, hue, lightness, saturation);
}

template <typename T>
Color<T> hlsToRgb(Color<T> const& color) {
    const T lightness = detail::clampRange(color.green, T(0), T(1));
    const T saturation = color.blue > T(1) ? T(1) : color.blue;
    if (saturation <= T(0)) return Color<T>(color.alpha, lightness, lightness, lightness);

    const T hue = detail::wrapTurn(color.red);
    const T high = detail::hlsUpper(lightness, saturation);
    const T low = T(2) * lightness - high;
    return Color<T>(color.alpha, detail::hlsRamp(low, high, detail::wrapTurn(hue + T(120))),
                    detail::hlsRamp(low, high, hue), detail::hlsRamp(low, high, detail::wrapTurn(hue - T(120))));
}

}  // namespace Morvel::Colorsys
