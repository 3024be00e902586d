#include "tiltshift/blend_mode.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <type_traits>

#include "library/colorsys/colorsys.h"
#include "library/utility/color.h"

namespace TiltShift {

BlendMode toBlendMode(int32_t item) {
    // Index: item - 1. Separators (items 2, 9, 12, 17) repeat the mode before them.
    static constexpr BlendMode kModes[20] = {BLEND_NORMAL,     BLEND_NORMAL,      BLEND_ADD,        BLEND_MULTIPLY,
                                             BLEND_SCREEN,     BLEND_OVERLAY,     BLEND_SOFT_LIGHT, BLEND_HARD_LIGHT,
                                             BLEND_HARD_LIGHT, BLEND_COLOR_DODGE, BLEND_COLOR_BURN, BLEND_COLOR_BURN,
                                             BLEND_DARKEN,     BLEND_LIGHTEN,     BLEND_DIFFERENCE, BLEND_EXCLUSION,
                                             BLEND_EXCLUSION,  BLEND_HUE,         BLEND_SATURATION, BLEND_LUMINOSITY};
    if (item < 1 || item > 20) return BLEND_NORMAL;
    return kModes[item - 1];
}

namespace {

// Integer depths: full scale and the shift that stands for a division by it (>> 8 for 255 is the
// modes' own approximation, kept).
template <typename Pixel>
struct Scale;
template <>
struct Scale<PF_Pixel> {
    static constexpr int64_t full = 255;
    static constexpr int64_t half = 128;
    static constexpr int shift = 8;
    static constexpr float unit = 1.0f / 255.0f;
};
template <>
struct Scale<PF_Pixel16> {
    static constexpr int64_t full = 32768;
    static constexpr int64_t half = 16384;
    static constexpr int shift = 15;
    static constexpr float unit = 1.0f / 32768.0f;
};

// Modes that combine one channel pair: the integer form (on a depth's scale) and the float form.
struct Add {
    template <typename K>
    static int64_t integral(int64_t s, int64_t d) {
        return s + d;
    }
    static float unit(float s, float d) { return s + d; }
};
struct Multiply {
    template <typename K>
    static int64_t integral(int64_t s, int64_t d) {
        return (s * d) >> K::shift;
    }
    static float unit(float s, float d) { return s * d; }
};
struct Screen {
    template <typename K>
    static int64_t integral(int64_t s, int64_t d) {
        return s + d - ((s * d) >> K::shift);
    }
    static float unit(float s, float d) { return 1.0f - (1.0f - s) * (1.0f - d); }
};
// Overlay and Hard Light are one curve keyed on the lower or the upper channel.
template <typename K>
int64_t hardMix(int64_t key, int64_t other) {
    if (key < K::half) return (key * other) >> (K::shift - 1);
    return 2 * (key + other - ((key * other) >> K::shift)) - K::full;
}
inline float hardMixUnit(float key, float other) {
    return key < 0.5f ? 2.0f * key * other : 1.0f - 2.0f * (1.0f - key) * (1.0f - other);
}
struct Overlay {
    template <typename K>
    static int64_t integral(int64_t s, int64_t d) {
        return hardMix<K>(d, s);
    }
    static float unit(float s, float d) { return hardMixUnit(d, s); }
};
struct HardLight {
    template <typename K>
    static int64_t integral(int64_t s, int64_t d) {
        return hardMix<K>(s, d);
    }
    static float unit(float s, float d) { return hardMixUnit(s, d); }
};
struct SoftLight {
    static float unit(float s, float d) {
        return s < 0.5f ? std::pow(d, 2.0f * (1.0f - s)) : std::pow(d, 1.0f / (2.0f * s));
    }
};
// The integer forms test black (dodge) and white (burn) first, as the float forms do; without
// that, black under a white dodge came out white at 8 and 16 bits and black in float.
struct ColorDodge {
    template <typename K>
    static int64_t integral(int64_t s, int64_t d) {
        if (d == 0) return 0;
        return d < K::full - s ? d * K::full / (K::full - s) : K::full;
    }
    static float unit(float s, float d) {
        if (d == 0.0f) return 0.0f;
        return d >= 1.0f - s ? 1.0f : d / (1.0f - s);
    }
};
struct ColorBurn {
    template <typename K>
    static int64_t integral(int64_t s, int64_t d) {
        if (d >= K::full) return K::full;
        return K::full - d < s ? K::full - (K::full - d) * K::full / s : 0;
    }
    static float unit(float s, float d) {
        if (d >= 1.0f) return 1.0f;
        return s <= 1.0f - d ? 0.0f : 1.0f - (1.0f - d) / s;
    }
};
struct Darken {
    template <typename K>
    static int64_t integral(int64_t s, int64_t d) {
        return std::min(s, d);
    }
    static float unit(float s, float d) { return std::min(s, d); }
};
struct Lighten {
    template <typename K>
    static int64_t integral(int64_t s, int64_t d) {
        return std::max(s, d);
    }
    static float unit(float s, float d) { return std::max(s, d); }
};
struct Difference {
    template <typename K>
    static int64_t integral(int64_t s, int64_t d) {
        return std::llabs(s - d);
    }
    static float unit(float s, float d) { return std::fabs(s - d); }
};
struct Exclusion {
    template <typename K>
    static int64_t integral(int64_t s, int64_t d) {
        return s + d - ((s * d) >> (K::shift - 1));
    }
    static float unit(float s, float d) { return s + d - 2.0f * s * d; }
};

using Rgb = Morvel::Color<float>;

// The float modes as whole colours: red, green and blue of the blend before alpha.
template <typename Channel>
struct PerChannel {
    static Rgb color(const Rgb& s, const Rgb& d) {
        return Rgb(0.0f, Channel::unit(s.red, d.red), Channel::unit(s.green, d.green), Channel::unit(s.blue, d.blue));
    }
};

Rgb withHls(float hue, float lightness, float saturation) {
    return Morvel::Colorsys::hlsToRgb(Rgb(0.0f, hue, lightness, saturation));
}

struct Hue {
    static Rgb color(const Rgb& s, const Rgb& d) {
        if (s.red == s.green && s.green == s.blue) {
            const float grey = 0.299f * d.red + 0.587f * d.green + 0.114f * d.blue;
            return Rgb(0.0f, grey, grey, grey);
        }
        const Rgb hs = Morvel::Colorsys::rgbToHls(s);
        const Rgb hd = Morvel::Colorsys::rgbToHls(d);
        return withHls(hs.red, hd.green, hd.blue);
    }
};
struct Saturation {
    static Rgb color(const Rgb& s, const Rgb& d) {
        const Rgb hs = Morvel::Colorsys::rgbToHls(s);
        const Rgb hd = Morvel::Colorsys::rgbToHls(d);
        return withHls(hd.red, hd.green, hs.blue);
    }
};
struct Luminosity {
    static Rgb color(const Rgb& s, const Rgb& d) {
        const Rgb hs = Morvel::Colorsys::rgbToHls(s);
        const Rgb hd = Morvel::Colorsys::rgbToHls(d);
        return withHls(hd.red, hs.green, hd.blue);
    }
};

// Every mode but Normal: the mode's colour where both pixels cover, each pixel's own colour where
// only it does.
template <typename Mode>
PF_PixelFloat blendFloat(const PF_PixelFloat& below, const PF_PixelFloat& top) {
    const float a = below.alpha;
    const float b = top.alpha;
    if (a == 0.0f) return top;
    if (b == 0.0f) return below;
    const float alpha = a + b - a * b;
    const Rgb f = Mode::color(Rgb(0.0f, top.red, top.green, top.blue), Rgb(0.0f, below.red, below.green, below.blue));
    auto channel = [&](float fc, float d, float s) {
        return (fc * a * b + d * a * (1.0f - b) + s * b * (1.0f - a)) / alpha;
    };
    return PF_PixelFloat{alpha, channel(f.red, below.red, top.red), channel(f.green, below.green, top.green),
                         channel(f.blue, below.blue, top.blue)};
}

template <typename Pixel, typename Channel>
Pixel blendIntegral(const Pixel& below, const Pixel& top) {
    using K = Scale<Pixel>;
    const int64_t a = below.alpha;
    const int64_t b = top.alpha;
    if (a == 0) return top;
    if (b == 0) return below;
    const int64_t p = (K::full - a) * b;
    const int64_t q = (K::full - b) * a;
    const int64_t alpha = std::min(a + (p >> K::shift), K::full);
    auto channel = [&](int64_t d, int64_t s) {
        const int64_t f = Channel::template integral<K>(s, d);
        const int64_t v = ((q * d + p * s + a * b * f) / alpha) >> K::shift;
        return std::clamp<int64_t>(v, 0, K::full);
    };
    using C = decltype(below.alpha);
    return Pixel{C(alpha), C(channel(below.red, top.red)), C(channel(below.green, top.green)),
                 C(channel(below.blue, top.blue))};
}

// Modes without an integer form run in float at 8 and 16 bits.
template <typename Pixel, typename Mode>
Pixel blendThroughFloat(const Pixel& below, const Pixel& top) {
    if (below.alpha == 0) return top;
    if (top.alpha == 0) return below;
    constexpr float unit = Scale<Pixel>::unit;
    auto toFloat = [](const Pixel& p) {
        return PF_PixelFloat{p.alpha * unit, p.red * unit, p.green * unit, p.blue * unit};
    };
    const PF_PixelFloat r = blendFloat<Mode>(toFloat(below), toFloat(top));
    return static_cast<Pixel>(Morvel::Color<float>(r.alpha, r.red, r.green, r.blue));
}

PF_PixelFloat normalFloat(const PF_PixelFloat& below, const PF_PixelFloat& top) {
    const float a = below.alpha;
    const float b = top.alpha;
    if (a == 0.0f) return top;
    if (b == 0.0f) return below;
    const float alpha = b + (1.0f - b) * a;
    auto channel = [&](float d, float s) { return (b * s + (1.0f - b) * a * d) / alpha; };
    return PF_PixelFloat{alpha, channel(below.red, top.red), channel(below.green, top.green),
                         channel(below.blue, top.blue)};
}

PF_Pixel normal8(const PF_Pixel& below, const PF_Pixel& top) {
    const int32_t a = below.alpha;
    const int32_t b = top.alpha;
    if (a == 0 || b == 255) return top;
    if (b == 0) return below;
    const int32_t c = (255 - b) * a;
    const int32_t e = (c + (c >> 8) + 1) >> 8;
    const int32_t alpha = b + e;
    auto channel = [&](int32_t d, int32_t s) { return uint8_t((s * b + d * e) / alpha); };
    return PF_Pixel{uint8_t(alpha), channel(below.red, top.red), channel(below.green, top.green),
                    channel(below.blue, top.blue)};
}

PF_Pixel16 normal16(const PF_Pixel16& below, const PF_Pixel16& top) {
    const int64_t a = below.alpha;
    const int64_t b = top.alpha;
    if (a == 0) return top;
    if (b == 0) return below;
    const int64_t e = ((32768 - b) * a) >> 15;
    const int64_t alpha = b + e;
    auto channel = [&](int64_t d, int64_t s) { return uint16_t(std::min<int64_t>((s * b + d * e) / alpha, 32768)); };
    return PF_Pixel16{uint16_t(std::min<int64_t>(alpha, 32768)), channel(below.red, top.red),
                      channel(below.green, top.green), channel(below.blue, top.blue)};
}

template <typename Pixel, typename Channel>
BlendFunction<Pixel> perChannel() {
    if constexpr (std::is_same_v<Pixel, PF_PixelFloat>) {
        return blendFloat<PerChannel<Channel>>;
    } else {
        return blendIntegral<Pixel, Channel>;
    }
}

template <typename Pixel, typename Mode>
BlendFunction<Pixel> wholeColor() {
    if constexpr (std::is_same_v<Pixel, PF_PixelFloat>) {
        return blendFloat<Mode>;
    } else {
        return blendThroughFloat<Pixel, Mode>;
    }
}

template <typename Pixel>
BlendFunction<Pixel> normal();
template <>
BlendFunction<PF_Pixel> normal<PF_Pixel>() {
    return normal8;
}
template <>
BlendFunction<PF_Pixel16> normal<PF_Pixel16>() {
    return normal16;
}
template <>
BlendFunction<PF_PixelFloat> normal<PF_PixelFloat>() {
    return normalFloat;
}

}  // namespace

template <typename Pixel>
BlendFunction<Pixel> selectBlendFunction(int32_t mode) {
    switch (mode) {
        case BLEND_ADD: return perChannel<Pixel, Add>();
        case BLEND_MULTIPLY: return perChannel<Pixel, Multiply>();
        case BLEND_SCREEN: return perChannel<Pixel, Screen>();
        case BLEND_OVERLAY: return perChannel<Pixel, Overlay>();
        case BLEND_SOFT_LIGHT: return wholeColor<Pixel, PerChannel<SoftLight>>();
        case BLEND_HARD_LIGHT: return perChannel<Pixel, HardLight>();
        case BLEND_COLOR_DODGE: return perChannel<Pixel, ColorDodge>();
        case BLEND_COLOR_BURN: return perChannel<Pixel, ColorBurn>();
        case BLEND_DARKEN: return perChannel<Pixel, Darken>();
        case BLEND_LIGHTEN: return perChannel<Pixel, Lighten>();
        case BLEND_DIFFERENCE: return perChannel<Pixel, Difference>();
        case BLEND_EXCLUSION: return perChannel<Pixel, Exclusion>();
        case BLEND_HUE: return wholeColor<Pixel, Hue>();
        case BLEND_SATURATION: return wholeColor<Pixel, Saturation>();
        case BLEND_LUMINOSITY: return wholeColor<Pixel, Luminosity>();
        default: return normal<Pixel>();
    }
}

template BlendFunction<PF_Pixel> selectBlendFunction<PF_Pixel>(int32_t);
template BlendFunction<PF_Pixel16> selectBlendFunction<PF_Pixel16>(int32_t);
template BlendFunction<PF_PixelFloat> selectBlendFunction<PF_PixelFloat>(int32_t);

}  // namespace TiltShift
