#pragma once

// What per-depth code needs to know about the host's three pixel records, so that arithmetic
// shared by the depths is written once as a template on the pixel type.

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "library/utility/color.h"
#include "library/world/bpc.h"
#include "morvel_host/types.h"
#include "morvel_host/world.h"

namespace Morvel {

template <typename Pixel>
struct PixelTraits;

// Integer depths: channel values 0..full; unit conversions round half up and clamp, as Color does.
template <>
struct PixelTraits<PF_Pixel> {
    using Channel = uint8_t;
    static constexpr Bpc bpc = Bpc8;
    static constexpr PF_PixelFormat format = PF_PixelFormat_ARGB32;
    static constexpr bool integral = true;
    static constexpr Channel full = PF_MAX_CHAN8;

    static double toUnit(Channel value) { return value / 255.0; }
    static Channel fromUnit(double unit) { return Color<double>::toChannel8(unit); }
};

template <>
struct PixelTraits<PF_Pixel16> {
    using Channel = uint16_t;
    static constexpr Bpc bpc = Bpc16;
    static constexpr PF_PixelFormat format = PF_PixelFormat_ARGB64;
    static constexpr bool integral = true;
    // Half the range: 16-bit worlds run 0..32768, not 0..65535.
    static constexpr Channel full = PF_MAX_CHAN16;

    static double toUnit(Channel value) { return value / 32768.0; }
    static Channel fromUnit(double unit) { return Color<double>::toChannel16(unit); }
};

// Float channels are neither scaled nor clamped: over-range colour is legitimate there.
template <>
struct PixelTraits<PF_PixelFloat> {
    using Channel = float;
    static constexpr Bpc bpc = Bpc32;
    static constexpr PF_PixelFormat format = PF_PixelFormat_ARGB128;
    static constexpr bool integral = false;
    static constexpr Channel full = 1.0f;

    static double toUnit(Channel value) { return value; }
    static Channel fromUnit(double unit) { return static_cast<Channel>(unit); }
};

template <typename Pixel>
using ChannelOf = typename PixelTraits<Pixel>::Channel;

// Row y of a world, stepped by its row bytes (rows may be padded).
template <typename Pixel>
Pixel* pixelRow(PF_LayerDef* world, int y) {
    return reinterpret_cast<Pixel*>(static_cast<char*>(world->data) + std::ptrdiff_t(y) * world->rowbytes);
}

template <typename Pixel>
const Pixel* pixelRow(const PF_LayerDef* world, int y) {
    return reinterpret_cast<const Pixel*>(static_cast<const char*>(world->data) + std::ptrdiff_t(y) * world->rowbytes);
}

// Tag that carries a pixel type into a generic lambda: [&](auto tag) { using Pixel = ...; }.
template <typename Pixel>
struct PixelTag {
    using type = Pixel;
};

// Calls fn(PixelTag<Pixel>{}) with the pixel type of the depth. An unknown depth calls nothing and
// gives a value-initialised result (PF_Err_NONE for an error code), as the band dispatcher does.
// Code whose arithmetic the depths share picks its instantiation here rather than with a switch of
// its own, so that every such place treats an unknown depth alike.
template <typename Fn>
auto withPixelType(Bpc bpc, Fn&& fn) -> decltype(fn(PixelTag<PF_Pixel>{})) {
    switch (bpc) {
        case Bpc8: return fn(PixelTag<PF_Pixel>{});
        case Bpc16: return fn(PixelTag<PF_Pixel16>{});
        case Bpc32: return fn(PixelTag<PF_PixelFloat>{});
    }
    return decltype(fn(PixelTag<PF_Pixel>{}))();
}

// The depth of a world's pixel format; false for a format that is none of the three.
inline bool bpcOfFormat(PF_PixelFormat format, Bpc* bpc) {
    switch (format) {
        case PF_PixelFormat_ARGB32: *bpc = Bpc8; return true;
        case PF_PixelFormat_ARGB64: *bpc = Bpc16; return true;
        case PF_PixelFormat_ARGB128: *bpc = Bpc32; return true;
    }
    return false;
}

}  // namespace Morvel
