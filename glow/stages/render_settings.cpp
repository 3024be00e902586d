#include "glow/stages/render_settings.h"

#include <cmath>

namespace Glow {

namespace {

using Morvel::BlendingMode;
using Morvel::Color;

constexpr double kPercent = 0.01;
constexpr double kMinimumLevelGap = 1e-6;

// "Blending Mode" values 2 to 31; a separator maps to the item after it.
constexpr BlendingMode kBlendingTable[30] = {
    BlendingMode::Darken,
    BlendingMode::Darken,
    BlendingMode::Multiply,
    BlendingMode::LinearBurn,
    BlendingMode::ColorBurn,
    BlendingMode::ClassicColorBurn,
    BlendingMode::Add,
    BlendingMode::Add,
    BlendingMode::Lighten,
    BlendingMode::Screen,
    BlendingMode::LinearDodge,
    BlendingMode::ColorDodge,
    BlendingMode::ClassicColorDodge,
    BlendingMode::Overlay,
    BlendingMode::Overlay,
    BlendingMode::SoftLight,
    BlendingMode::HardLight,
    BlendingMode::LinearLight,
    BlendingMode::VividLight,
    BlendingMode::PinLight,
    BlendingMode::HardMix,
    BlendingMode::Difference,
    BlendingMode::Difference,
    BlendingMode::ClassicDifference,
    BlendingMode::Exclusion,
    BlendingMode::Hue,
    BlendingMode::Hue,
    BlendingMode::Saturation,
    BlendingMode::Color,
    BlendingMode::Luminosity,
};

double fabsOf(const PF_InData* in_data, double value) {
    if (in_data != nullptr && in_data->utils != nullptr && in_data->utils->ansi.fabs != nullptr) {
        return in_data->utils->ansi.fabs(value);
    }
    return std::fabs(value);
}

}  // namespace

BlendingMode blendingModeOf(int32_t popup) {
    if (popup < 2 || popup > 31) return BlendingMode::Normal;
    return kBlendingTable[popup - 2];
}

Morvel::Wrap kernelWrapOf(int32_t popup) {
    switch (popup) {
        case 2: return Morvel::Wrap::Edge;
        case 3: return Morvel::Wrap::Mirror;
        default: return Morvel::Wrap::None;
    }
}

Morvel::Wrap maskLayerWrapOf(int32_t popup) {
    switch (popup) {
        case 2: return Morvel::Wrap::Edge;
        case 3: return Morvel::Wrap::Repeat;
        case 4: return Morvel::Wrap::Mirror;
        default: return Morvel::Wrap::None;
    }
}

void normaliseChannelColors(Color<float>& color1, Color<float>& color2, Color<float>& color3) {
    auto normalise = [](float& c1, float& c2, float& c3) {
        const float sum = c1 + c2 + c3;
        if (sum != 0.0f && !std::isnan(sum)) {
            c1 /= sum;
            c2 /= sum;
            c3 /= sum;
        } else {
            c1 = c2 = c3 = 0.0f;
            return false;
        }
        return true;
    };
    if (!normalise(color1.red, color2.red, color3.red)) color1.red = 1.0f;
    if (!normalise(color1.green, color2.green, color3.green)) color2.green = 1.0f;
    if (!normalise(color1.blue, color2.blue, color3.blue)) color3.blue = 1.0f;
}

void levelPair(const PF_InData* in_data, double blackPercent, double whitePercent, double& black, double& white) {
    black = blackPercent * kPercent;
    white = whitePercent * kPercent;
    const double gap = fabsOf(in_data, (whitePercent - blackPercent) * kPercent);
    if (!(gap >= kMinimumLevelGap)) white = black + kMinimumLevelGap;
}

}  // namespace Glow
