#pragma once

#include <cstdint>
#include <vector>

#include "glow/stages/glow_color.h"
#include "glow/stages/menu_items.h"
#include "library/custom_data/color_expression_data/expression.h"
#include "library/utility/color.h"
#include "morvel_host/host.h"

namespace Glow {

// The settings the three threshold stages share, copied from the render's GlowParameters by the
// pipeline driver. Constructed empty; the driver fills it.
struct ThresholdCommonParameters {
    double boostLowLuminance = 0.0;
    double threshold = 0.0;
    bool useThreshold2 = false;
    double threshold2 = 0.0;
    double thresholdSoftness = 0.0;
    bool thresholdInvert = false;
    ChannelItem channel{};
    bool multiplyAlpha = false;
    Morvel::Color<float> referenceColor;
    Morvel::ColorExpressionData::Expression customChannel;  // copies share the parsed tree
    TonerItem toner{};
    TonesItem tones{};
    Morvel::Color<float> highlight;
    Morvel::Color<float> midtone;
    Morvel::Color<float> shadow;
    PF_LayerDef* tonerMap = nullptr;  // set only when the tones read the map; not owned
    double tonerBlack = 0.0;
    double tonerWhite = 0.0;
    double tonerGamma = 0.0;
    double blendWithOriginal = 0.0;
    bool useDifferentChannel = false;
    ChannelItem tonerChannel{};
    bool tonerMultiplyAlpha = false;
    Morvel::Color<float> tonerReferenceColor;
    Morvel::ColorExpressionData::Expression tonerCustomChannel;
};

// A threshold stage's record: the common settings and the per-pixel vector it fills (one record
// per pixel of the glow source, owned by the driver).
template <typename T>
struct ThresholdParameters {
    ThresholdCommonParameters common;
    Records<T> output;
};

}  // namespace Glow
