#pragma once

#include <cstdint>

#include "library/utility/color.h"
#include "morvel_host/types.h"

// Colour-space conversions on single pixels, each in its depth's own scale: 8-bit 0..255,
// 16-bit 0..32768, float nominally 0..1 with RGB never clamped. Hue is stored as a fraction of
// a turn at the integer depths (0..255, 0..32768) and in degrees for float.
//
// A conversion keeps alpha and puts the target space's components into the red, green and blue
// slots in the order of the space's name: rgbToHls gives {alpha, hue, lightness, saturation},
// rgbToHsb {alpha, hue, saturation, brightness}, rgbToYuv {alpha, Y, U, V}; the inverses read
// that layout. U and V are centred on 127, 16384 and 0.
namespace Morvel::Colorsys {

PF_Pixel rgbToYuv(PF_Pixel const& pixel);
PF_Pixel16 rgbToYuv(PF_Pixel16 const& pixel);
PF_PixelFloat rgbToYuv(PF_PixelFloat const& pixel);

PF_Pixel yuvToRgb(PF_Pixel const& pixel);
PF_Pixel16 yuvToRgb(PF_Pixel16 const& pixel);
PF_PixelFloat yuvToRgb(PF_PixelFloat const& pixel);

PF_Pixel rgbToHls(PF_Pixel const& pixel);
PF_Pixel16 rgbToHls(PF_Pixel16 const& pixel);
PF_PixelFloat rgbToHls(PF_PixelFloat const& pixel);

PF_Pixel hlsToRgb(PF_Pixel const& pixel);
PF_Pixel16 hlsToRgb(PF_Pixel16 const& pixel);
PF_PixelFloat hlsToRgb(PF_PixelFloat const& pixel);

PF_Pixel rgbToHsb(PF_Pixel const& pixel);
PF_Pixel16 rgbToHsb(PF_Pixel16 const& pixel);
PF_PixelFloat rgbToHsb(PF_PixelFloat const& pixel);

PF_Pixel hsbToRgb(PF_Pixel const& pixel);
PF_Pixel16 hsbToRgb(PF_Pixel16 const& pixel);
PF_PixelFloat hsbToRgb(PF_PixelFloat const& pixel);

uint8_t hue(PF_Pixel const& pixel);
uint16_t hue(PF_Pixel16 const& pixel);
float hue(PF_PixelFloat const& pixel);

// (max + min) / 2
uint8_t lightness(PF_Pixel const& pixel);
uint16_t lightness(PF_Pixel16 const& pixel);
float lightness(PF_PixelFloat const& pixel);

// (max - min) / max in the depth's scale; 0 for black.
uint8_t saturation(PF_Pixel const& pixel);
uint16_t saturation(PF_Pixel16 const& pixel);
float saturation(PF_PixelFloat const& pixel);

// max - min
uint8_t saturationCone(PF_Pixel const& pixel);
uint16_t saturationCone(PF_Pixel16 const& pixel);
float saturationCone(PF_PixelFloat const& pixel);

// max
uint8_t brightness(PF_Pixel const& pixel);
uint16_t brightness(PF_Pixel16 const& pixel);
float brightness(PF_PixelFloat const& pixel);

// As the float overloads, on {alpha, hue in degrees, lightness, saturation}.
template <typename T>
Color<T> rgbToHls(Color<T> const& color);
template <typename T>
Color<T> hlsToRgb(Color<T> const& color);

}  // namespace Morvel::Colorsys

#include "library/colorsys/colorsys_impl.h"
