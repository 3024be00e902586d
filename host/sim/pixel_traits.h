#pragma once

// The host's three pixel records as its own pixel work sees them (depth conversion, blending,
// sampling, image files). Its own, not the effect library's: the stand-in is a separate program
// and builds without the library.

#include <cstdint>

#include "morvel_host/types.h"
#include "morvel_host/world.h"

namespace Sim {

template <typename Pixel>
struct PixelTraits;

// Channel values 0..full; from unit scale rounded half up and clamped, NaN to 0.
template <typename ChannelType, ChannelType fullScale, PF_PixelFormat pixelFormat>
struct IntegerPixelTraits {
    using Channel = ChannelType;
    static constexpr PF_PixelFormat format = pixelFormat;
    static constexpr Channel full = fullScale;

    static double toUnit(Channel value) { return value / double(full); }
    static Channel fromUnit(double unit) {
        const double scaled = unit * full + 0.5;
        if (!(scaled > 0.0)) return 0;
        if (scaled >= full) return full;
        return static_cast<Channel>(scaled);
    }
};

template <>
struct PixelTraits<PF_Pixel> : IntegerPixelTraits<uint8_t, PF_MAX_CHAN8, PF_PixelFormat_ARGB32> {};

// Half the range: 16-bit worlds run 0..32768, not 0..65535.
template <>
struct PixelTraits<PF_Pixel16> : IntegerPixelTraits<uint16_t, PF_MAX_CHAN16, PF_PixelFormat_ARGB64> {};

// Float channels are neither scaled nor clamped: over-range colour is legitimate there.
template <>
struct PixelTraits<PF_PixelFloat> {
    using Channel = float;
    static constexpr PF_PixelFormat format = PF_PixelFormat_ARGB128;

    static double toUnit(Channel value) { return value; }
    static Channel fromUnit(double unit) { return static_cast<Channel>(unit); }
};

// Carries a pixel type into a generic lambda, which reads it as typename decltype(tag)::type.
template <typename Pixel>
struct PixelTag {
    using type = Pixel;
};

// Runs fn(PixelTag<Pixel>{}) with the pixel type of a format; an unknown format is read as 8-bit,
// the host's default.
template <typename Fn>
auto withPixelType(PF_PixelFormat format, Fn&& fn) -> decltype(fn(PixelTag<PF_Pixel>{})) {
    switch (format) {
        case PF_PixelFormat_ARGB64: return fn(PixelTag<PF_Pixel16>{});
        case PF_PixelFormat_ARGB128: return fn(PixelTag<PF_PixelFloat>{});
        default: return fn(PixelTag<PF_Pixel>{});
    }
}

}  // namespace Sim
