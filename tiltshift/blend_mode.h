#pragma once

#include <cstdint>

#include "morvel_host/types.h"

namespace TiltShift {

// The effect's own per-pixel blending modes (numbered as the host's transfer modes they copy).
enum BlendMode : int32_t {
    BLEND_NORMAL = 0,
    BLEND_ADD = 2,
    BLEND_MULTIPLY = 3,
    BLEND_SCREEN = 4,
    BLEND_OVERLAY = 5,
    BLEND_SOFT_LIGHT = 6,
    BLEND_HARD_LIGHT = 7,
    BLEND_COLOR_DODGE = 8,
    BLEND_COLOR_BURN = 9,
    BLEND_DARKEN = 10,
    BLEND_LIGHTEN = 11,
    BLEND_DIFFERENCE = 12,
    BLEND_EXCLUSION = 13,
    BLEND_HUE = 14,
    BLEND_SATURATION = 15,
    BLEND_LUMINOSITY = 16
};

// The mode of a "Blending Mode" item (1-based, separators counted); a separator takes the item
// before it; anything else is Normal.
BlendMode toBlendMode(int32_t item);

// Lays `top` over `below`; alpha in the result is the composite's.
template <typename Pixel>
using BlendFunction = Pixel (*)(const Pixel& below, const Pixel& top);

// The function of a mode at the pixel's depth; an unknown mode gives Normal.
template <typename Pixel>
BlendFunction<Pixel> selectBlendFunction(int32_t mode);

extern template BlendFunction<PF_Pixel> selectBlendFunction<PF_Pixel>(int32_t);
extern template BlendFunction<PF_Pixel16> selectBlendFunction<PF_Pixel16>(int32_t);
extern template BlendFunction<PF_PixelFloat> selectBlendFunction<PF_PixelFloat>(int32_t);

}  // namespace TiltShift
