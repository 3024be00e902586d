#include "library/colorsys/colorsys.h"

#include <cmath>

namespace Morvel::Colorsys {
namespace {

using detail::max3;
using detail::min3;

constexpr float kOver32768 = 1.0f / 32768.0f;  // 2^-15, exact

uint8_t clamp8(int32_t value) { return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value)); }

uint16_t clamp16(int64_t value) { return static_cast<uint16_t>(value < 0 ? 0 : (value > 32768 ? 32768 : value)); }

// Clamp, then cut toward zero; anything not above 0 (NaN included) is 0.
uint8_t clampCut8(float value) {
    if (!(value > 0.0f)) return 0;
    return value >= 255.0f ? 255 : static_cast<uint8_t>(value);
}

uint16_t clampCut16(float value) {
    if (!(value > 0.0f)) return 0;
    return value >= 32768.0f ? 32768 : static_cast<uint16_t>(value);
}

// The 8-bit path keeps the hue in whole degrees, [0, 360).
int32_t hueDegrees8(int32_t red, int32_t green, int32_t blue, int32_t max, int32_t delta) {
    if (delta == 0) return 0;
    int32_t degrees;
    if (max == red) {
        degrees = 60 * (green - blue) / delta;
    } else if (max == green) {
        degrees = 60 * (blue - red) / delta + 120;
    } else {
        degrees = 60 * (red - green) / delta + 240;
    }
    degrees %= 360;
    return degrees < 0 ? degrees + 360 : degrees;
}

int32_t wrapDegrees8(int32_t degrees) {
    degrees %= 360;
    return degrees < 0 ? degrees + 360 : degrees;
}

// Degrees in [0, 360) for the 16-bit and float paths; a hue that is not finite is 0.
float wrapDegrees(float degrees) {
    if (!std::isfinite(degrees)) return 0.0f;
    const float wrapped = std::fmod(degrees, 360.0f);
    return wrapped < 0.0f ? wrapped + 360.0f : wrapped;
}

float hueDegrees(float red, float green, float blue) {
    const float max = max3(red, green, blue);
    return wrapDegrees(detail::rawHueDegrees(red, green, blue, max, max - min3(red, green, blue)));
}

int32_t hlsRamp8(int32_t low, int32_t high, int32_t angle) {
    if (angle < 60) return low + (high - low) * angle / 60;
    if (angle < 180) return high;
    if (angle < 240) return low + (high - low) * (240 - angle) / 60;
    return low;
}

struct Rgb {
    float red, green, blue;
};

// The six sectors of hsbToRgb; h6 is the hue in sixths of a turn, in [0, 12).
template <typename OverFull>
Rgb hsbSectors(float h6, float saturation, float value, float full, OverFull overFull) {
    const int32_t whole = static_cast<int32_t>(h6);
    const float fraction = h6 - static_cast<float>(whole);
    const float p = overFull((full - saturation) * value);
    const float q = overFull((full - saturation * fraction) * value);
    const float t = overFull(value * (full - saturation * (1.0f - fraction)));
    switch (whole % 6) {
        case 0: return {value, t, p};
        case 1: return {q, value, p};
        case 2: return {p, value, t};
        case 3: return {p, q, value};
        case 4: return {t, p, value};
        default: return {value, p, q};
    }
}

}  // namespace

// ---- YUV

PF_Pixel rgbToYuv(PF_Pixel const& pixel) {
    const int32_t r = pixel.red, g = pixel.green, b = pixel.blue;
    return PF_Pixel{pixel.alpha, clamp8((76 * r + 150 * g + 29 * b) / 255),
                    clamp8((-43 * r - 84 * g + 128 * b) / 255 + 127), clamp8((128 * r - 107 * g - 20 * b) / 255 + 127)};
}

PF_Pixel16 rgbToYuv(PF_Pixel16 const& pixel) {
    // 64-bit: channels above 32768 would overflow the 32-bit sums.
    const int64_t r = pixel.red, g = pixel.green, b = pixel.blue;
    return PF_Pixel16{pixel.alpha, clamp16((9798 * r + 19235 * g + 3735 * b) >> 15),
                      clamp16((-5538 * r - 10846 * g + 16384 * b) / 32768 + 16384),
                      clamp16((16384 * r - 13730 * g - 2654 * b) / 32768 + 16384)};
}

PF_PixelFloat rgbToYuv(PF_PixelFloat const& pixel) {
    const float r = pixel.red, g = pixel.green, b = pixel.blue;
    return PF_PixelFloat{pixel.alpha, 0.299f * r + 0.587f * g + 0.114f * b, -0.169f * r - 0.331f * g + 0.5f * b,
                         0.5f * r - 0.419f * g - 0.081f * b};
}

PF_Pixel yuvToRgb(PF_Pixel const& pixel) {
    const int32_t y = pixel.red, u = pixel.green - 127, v = pixel.blue - 127;
    return PF_Pixel{pixel.alpha, clamp8(y + 358 * v / 255), clamp8(y + (-88 * u - 182 * v) / 255),
                    clamp8(y + 452 * u / 255)};
}

PF_Pixel16 yuvToRgb(PF_Pixel16 const& pixel) {
    const int64_t y = pixel.red, u = int64_t{pixel.green} - 16384, v = int64_t{pixel.blue} - 16384;
    return PF_Pixel16{pixel.alpha, clamp16(y + 45941 * v / 32768), clamp16(y + (-11272 * u - 23396 * v) / 32768),
                      clamp16(y + 58065 * u / 32768)};
}

PF_PixelFloat yuvToRgb(PF_PixelFloat const& pixel) {
    const float y = pixel.red, u = pixel.green, v = pixel.blue;
    return PF_PixelFloat{pixel.alpha, y + 1.402f * v, y - 0.344f * u - 0.714f * v, y + 1.772f * u};
}

// ---- HLS

PF_Pixel rgbToHls(PF_Pixel const& pixel) {
    const int32_t r = pixel.red, g = pixel.green, b = pixel.blue;
    const int32_t max = max3(r, g, b), min = min3(r, g, b), delta = max - min, sum = max + min;
    int32_t saturation = 0;
    if (delta != 0) saturation = sum < 256 ? 255 * delta / sum : 255 * delta / (510 - sum);
    return PF_Pixel{pixel.alpha, static_cast<uint8_t>(255 * hueDegrees8(r, g, b, max, delta) / 360),
                    static_cast<uint8_t>(sum >> 1), clamp8(saturation)};
}

PF_Pixel16 rgbToHls(PF_Pixel16 const& pixel) {
    const int32_t max = max3<int32_t>(pixel.red, pixel.green, pixel.blue);
    const int32_t min = min3<int32_t>(pixel.red, pixel.green, pixel.blue);
    const int32_t delta = max - min, sum = max + min;
    int64_t saturation = 0;
    if (delta != 0) {
        // Channels above 32768 can leave no room below the top; that is as saturated as it gets.
        const int64_t denominator = sum <= 32767 ? sum : 65536 - sum;
        saturation = denominator > 0 ? (int64_t{delta} << 15) / denominator : 32768;
    }
    return PF_Pixel16{pixel.alpha, hue(pixel), static_cast<uint16_t>(sum >> 1), clamp16(saturation)};
}

PF_PixelFloat rgbToHls(PF_PixelFloat const& pixel) {
    const float max = max3(pixel.red, pixel.green, pixel.blue);
    const float min = min3(pixel.red, pixel.green, pixel.blue);
    const float delta = max - min, lightness = (max + min) * 0.5f;
    float saturation = 0.0f;
    if (delta != 0.0f) saturation = lightness < 0.5f ? delta / (max + min) : delta / (2.0f - max - min);
    return PF_PixelFloat{pixel.alpha, hue(pixel), lightness, saturation};
}

PF_Pixel hlsToRgb(PF_Pixel const& pixel) {
    const int32_t h = pixel.red, l = pixel.green, s = pixel.blue;
    if (s == 0) return PF_Pixel{pixel.alpha, pixel.green, pixel.green, pixel.green};
    const int32_t degrees = h * 360 / 255;
    const int32_t high = l <= 127 ? l * (255 + s) / 255 : l + s - l * s / 255;
    const int32_t low = 2 * l - high;
    return PF_Pixel{pixel.alpha, clamp8(hlsRamp8(low, high, wrapDegrees8(degrees + 120))),
                    clamp8(hlsRamp8(low, high, wrapDegrees8(degrees))),
                    clamp8(hlsRamp8(low, high, wrapDegrees8(degrees - 120)))};
}

PF_Pixel16 hlsToRgb(PF_Pixel16 const& pixel) {
    if (pixel.blue == 0) return PF_Pixel16{pixel.alpha, pixel.green, pixel.green, pixel.green};
    const float degrees = static_cast<float>(pixel.red) * 360.0f * kOver32768;
    const float l = pixel.green, s = pixel.blue;
    const float high = pixel.green <= 16383 ? (s + 32768.0f) * l * kOver32768 : (s + l) - (l * s) * kOver32768;
    const float low = 2.0f * l - high;
    return PF_Pixel16{pixel.alpha, clampCut16(detail::hlsRamp(low, high, wrapDegrees(degrees + 120.0f))),
                      clampCut16(detail::hlsRamp(low, high, wrapDegrees(degrees))),
                      clampCut16(detail::hlsRamp(low, high, wrapDegrees(degrees - 120.0f)))};
}

PF_PixelFloat hlsToRgb(PF_PixelFloat const& pixel) {
    const float l = detail::clampRange(pixel.green, 0.0f, 1.0f);
    const float s = pixel.blue > 1.0f ? 1.0f : pixel.blue;
    if (s <= 0.0f) return PF_PixelFloat{pixel.alpha, l, l, l};
    const float degrees = wrapDegrees(pixel.red);
    const float high = detail::hlsUpper(l, s);
    const float low = 2.0f * l - high;
    return PF_PixelFloat{pixel.alpha, detail::hlsRamp(low, high, wrapDegrees(degrees + 120.0f)),
                         detail::hlsRamp(low, high, degrees),
                         detail::hlsRamp(low, high, wrapDegrees(degrees - 120.0f))};
}

// ---- HSB

PF_Pixel rgbToHsb(PF_Pixel const& pixel) {
    return PF_Pixel{pixel.alpha, hue(pixel), saturation(pixel), brightness(pixel)};
}

PF_Pixel16 rgbToHsb(PF_Pixel16 const& pixel) {
    return PF_Pixel16{pixel.alpha, hue(pixel), saturation(pixel), brightness(pixel)};
}

PF_PixelFloat rgbToHsb(PF_PixelFloat const& pixel) {
    return PF_PixelFloat{pixel.alpha, hue(pixel), saturation(pixel), brightness(pixel)};
}

PF_Pixel hsbToRgb(PF_Pixel const& pixel) {
    if (pixel.green == 0) return PF_Pixel{pixel.alpha, pixel.blue, pixel.blue, pixel.blue};
    const float h6 = static_cast<float>(pixel.red * 360 / 255) / 60.0f;
    const Rgb rgb = hsbSectors(h6, pixel.green, pixel.blue, 255.0f, [](float x) { return x / 255.0f; });
    return PF_Pixel{pixel.alpha, clampCut8(rgb.red), clampCut8(rgb.green), clampCut8(rgb.blue)};
}

PF_Pixel16 hsbToRgb(PF_Pixel16 const& pixel) {
    if (pixel.green == 0) return PF_Pixel16{pixel.alpha, pixel.blue, pixel.blue, pixel.blue};
    const float h6 = static_cast<float>(pixel.red) * 360.0f * kOver32768 / 60.0f;
    const Rgb rgb = hsbSectors(h6, pixel.green, pixel.blue, 32768.0f, [](float x) { return x * kOver32768; });
    return PF_Pixel16{pixel.alpha, clampCut16(rgb.red), clampCut16(rgb.green), clampCut16(rgb.blue)};
}

PF_PixelFloat hsbToRgb(PF_PixelFloat const& pixel) {
    const float s = detail::clampRange(pixel.green, 0.0f, 1.0f);
    const float v = detail::clampRange(pixel.blue, 0.0f, 1.0f);
    if (s == 0.0f) return PF_PixelFloat{pixel.alpha, v, v, v};
    const Rgb rgb = hsbSectors(wrapDegrees(pixel.red) / 60.0f, s, v, 1.0f, [](float x) { return x; });
    return PF_PixelFloat{pixel.alpha, rgb.red, rgb.green, rgb.blue};
}

// ---- measures

uint8_t hue(PF_Pixel const& pixel) {
    const int32_t r = pixel.red, g = pixel.green, b = pixel.blue;
    const int32_t max = max3(r, g, b);
    return static_cast<uint8_t>(255 * hueDegrees8(r, g, b, max, max - min3(r, g, b)) / 360);
}

uint16_t hue(PF_Pixel16 const& pixel) {
    return clampCut16(hueDegrees(pixel.red, pixel.green, pixel.blue) * 32768.0f / 360.0f);
}

float hue(PF_PixelFloat const& pixel) { return hueDegrees(pixel.red, pixel.green, pixel.blue); }

uint8_t lightness(PF_Pixel const& pixel) {
    return static_cast<uint8_t>(
        (max3<int32_t>(pixel.red, pixel.green, pixel.blue) + min3<int32_t>(pixel.red, pixel.green, pixel.blue)) >> 1);
}

uint16_t lightness(PF_Pixel16 const& pixel) {
    return static_cast<uint16_t>(
        (max3<int32_t>(pixel.red, pixel.green, pixel.blue) + min3<int32_t>(pixel.red, pixel.green, pixel.blue)) >> 1);
}

float lightness(PF_PixelFloat const& pixel) {
    return (max3(pixel.red, pixel.green, pixel.blue) + min3(pixel.red, pixel.green, pixel.blue)) * 0.5f;
}

uint8_t saturation(PF_Pixel const& pixel) {
    const int32_t max = max3<int32_t>(pixel.red, pixel.green, pixel.blue);
    if (max == 0) return 0;
    return static_cast<uint8_t>(255 * (max - min3<int32_t>(pixel.red, pixel.green, pixel.blue)) / max);
}

uint16_t saturation(PF_Pixel16 const& pixel) {
    const int64_t max = max3<int64_t>(pixel.red, pixel.green, pixel.blue);
    if (max == 0) return 0;
    return clamp16(((max - min3<int64_t>(pixel.red, pixel.green, pixel.blue)) << 15) / max);
}

float saturation(PF_PixelFloat const& pixel) {
    const float max = max3(pixel.red, pixel.green, pixel.blue);
    if (max == 0.0f) return 0.0f;
    return (max - min3(pixel.red, pixel.green, pixel.blue)) / max;
}

uint8_t saturationCone(PF_Pixel const& pixel) {
    return static_cast<uint8_t>(max3(pixel.red, pixel.green, pixel.blue) - min3(pixel.red, pixel.green, pixel.blue));
}

uint16_t saturationCone(PF_Pixel16 const& pixel) {
    return static_cast<uint16_t>(max3(pixel.red, pixel.green, pixel.blue) - min3(pixel.red, pixel.green, pixel.blue));
}

float saturationCone(PF_PixelFloat const& pixel) {
    return max3(pixel.red, pixel.green, pixel.blue) - min3(pixel.red, pixel.green, pixel.blue);
}

uint8_t brightness(PF_Pixel const& pixel) { return max3(pixel.red, pixel.green, pixel.blue); }

uint16_t brightness(PF_Pixel16 const& pixel) { return max3(pixel.red, pixel.green, pixel.blue); }

float brightness(PF_PixelFloat const& pixel) { return max3(pixel.red, pixel.green, pixel.blue); }

}  // namespace Morvel::Colorsys
