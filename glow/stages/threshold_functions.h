#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "glow/stages/menu_items.h"
#include "library/custom_data/color_expression_data/expression.h"
#include "library/utility/color.h"
#include "morvel_host/host.h"

// The per-pixel functions of the threshold stages, built once before the band loops so that the
// loops make no decisions. The diffusion effect compiles this file in as well.
namespace Glow {

// A pixel's channel value in its depth's own units: 0..255, 0..32768, or float (nominally 0..1).
using ChannelFunc8 = std::function<uint8_t(const PF_Pixel&)>;
using ChannelFunc16 = std::function<uint16_t(const PF_Pixel16&)>;
using ChannelFunc32 = std::function<float(const PF_PixelFloat&)>;
// Threshold alpha in 0..1 of a float channel value.
using AlphaFunc32 = std::function<double(float)>;
// Toner rate of a channel value divided by the full scale.
using TonerRateFunc = std::function<double(double)>;

// The reference colour's alpha is never read. Custom needs a parsed expression; the others
// ignore it.
ChannelFunc8 generateChannelFunc8(ChannelItem channel, bool multiplyAlpha, const Morvel::Color<float>& reference,
                                  Morvel::ColorExpressionData::Expression expression);
ChannelFunc16 generateChannelFunc16(ChannelItem channel, bool multiplyAlpha, const Morvel::Color<float>& reference,
                                    Morvel::ColorExpressionData::Expression expression);
ChannelFunc32 generateChannelFunc32(ChannelItem channel, bool multiplyAlpha, const Morvel::Color<float>& reference,
                                    Morvel::ColorExpressionData::Expression expression);

// Thresholds and softness are fractions of full scale. The 8-bit table becomes 256 entries; the
// 16-bit one 65536, of which only 0..32768 are written (the rest keep what they held).
void generateAlphas8(double threshold, bool useThreshold2, double threshold2, double softness, bool invert,
                     std::vector<double>& alphas);
void generateAlphas16(double threshold, bool useThreshold2, double threshold2, double softness, bool invert,
                      std::vector<double>& alphas);
AlphaFunc32 generateAlphaFunc32(double threshold, bool useThreshold2, double threshold2, double softness, bool invert);

// White comes before black. The gamma curve calls the host's pow at every evaluation.
TonerRateFunc generateTonerRateFunc(PF_InData* in_data, double white, double black, double gamma);

// Whether a "Tones" item needs the toner rate: all but Monotone and Toner Map.
bool useTonerRateFunc(TonesItem tones);

}  // namespace Glow
