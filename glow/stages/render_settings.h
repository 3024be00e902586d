#pragma once

#include <cstdint>
#include <memory>

#include "glow/stages/menu_items.h"
#include "library/custom_data/color_expression_data/expression.h"
#include "library/sampling/wrap.h"
#include "library/utility/color.h"
#include "library/utility/geometry.h"
#include "library/world/world.h"
#include "morvel_host/host.h"

namespace Glow {

// "Blending Mode", shared item for item by the effects that map it through blendingModeOf. Popup
// values are 1-based and count the "(-" separators.
inline constexpr char kMenuBlendingMode[] =
    "Normal|(-|Darken|Multiply|Linear Burn|Color Burn|Classic Color Burn|(-|Add|Lighten|Screen|Linear Dodge|"
    "Color Dodge|Classic Color Dodge|(-|Overlay|Soft Light|Hard Light|Linear Light|Vivid Light|Pin Light|Hard Mix|"
    "(-|Difference|Classic Difference|Exclusion|(-|Hue|Saturation|Color|Luminosity";

// The glow's render settings, filled once per render from the checked-out values. Fractions are
// 0..1 where the controls show percent; lengths are in pixels of the downsampled image; angles in
// radians except the hue.
struct GlowParameters {
    // The record of the preprocessing stage. Black comes before white here, unlike the
    // composite's level pairs.
    struct Preprocessing {
        Morvel::Color<float> hls;  // {0, hue in degrees, lightness, saturation}
        double black = 0.0;
        double white = 0.0;
        double gamma = 0.0;
        double alphaBlack = 0.0;
        double alphaWhite = 0.0;
        bool useMask = false;
        MaskTypeItem maskType{};
        std::shared_ptr<Morvel::World> maskLayer;
        LayerChannelItem layerChannel{};
        Morvel::Wrap layerWrap = Morvel::Wrap::None;
        Morvel::Vector2<double> center;  // the point as checked out
        double rotation = 0.0;
        double scale = 0.0;
        double width = 0.0;
        double height = 0.0;
        double falloff = 0.0;
        bool invert = false;
    };

    RenderingModeItem renderingMode{};
    double exposure = 0.0;
    double boostLowLuminance = 0.0;
    BlurTypeItem blurType{};
    double blurRadius = 0.0;
    bool diffusion = false;
    double diffusionConvergence = 0.0;
    DiffusionQualityItem diffusionQuality{};
    bool beam = false;
    int32_t beamNumber = 0;
    double beamIntensity = 0.0;
    double beamScaling = 0.0;
    double beamPhase = 0.0;
    bool beamNormalizing = false;
    bool kernel = false;
    std::shared_ptr<Morvel::World> kernelLayer;
    double kernelIntensity = 0.0;
    double kernelScaling = 0.0;
    bool kernelNormalizing = false;
    Morvel::Wrap wrap = Morvel::Wrap::None;
    // Normalised so that each of red, green and blue sums to 1 over the three.
    Morvel::Color<float> color1;
    Morvel::Color<float> color2;
    Morvel::Color<float> color3;
    double color1Radius = 0.0;
    double color2Radius = 0.0;
    double color3Radius = 0.0;
    Preprocessing preprocessing;
    double threshold = 0.0;
    bool useThreshold2 = false;
    double threshold2 = 0.0;
    double thresholdSoftness = 0.0;
    bool thresholdInvert = false;
    ChannelItem channel{};
    bool multiplyAlpha = false;
    Morvel::Color<float> referenceColor;
    Morvel::ColorExpressionData::Expression customChannel;  // set only when channel is Custom
    TonerItem toner{};
    TonesItem tones{};  // the three Toner Map items read the map
    Morvel::Color<float> highlight;
    Morvel::Color<float> midtone;
    Morvel::Color<float> shadow;
    std::shared_ptr<Morvel::World> tonerMap;
    double tonerBlack = 0.0;
    double tonerWhite = 0.0;
    double tonerGamma = 0.0;
    double blendWithOriginal = 0.0;
    bool useDifferentChannel = false;
    ChannelItem tonerChannel{};
    bool tonerMultiplyAlpha = false;
    Morvel::Color<float> tonerReferenceColor;
    Morvel::ColorExpressionData::Expression tonerCustomChannel;  // set only when tonerChannel is Custom
    CompositeSettingsItem compositeSettings{};
    Morvel::BlendingMode blendingMode = Morvel::BlendingMode::Normal;
    double sourceOpacity = 0.0;
    double sourceWhite = 0.0;
    double sourceBlack = 0.0;
    double sourceGamma = 0.0;
    double sourceAlphaWhite = 0.0;
    double sourceAlphaBlack = 0.0;
    double glowOpacity = 0.0;
    bool glowUnmult = false;
    double glowWhite = 0.0;
    double glowBlack = 0.0;
    double glowGamma = 0.0;
    double glowAlphaWhite = 0.0;
    double glowAlphaBlack = 0.0;
};

// The conversions of single values.
Morvel::BlendingMode blendingModeOf(int32_t popup);  // kMenuBlendingMode, separators counted
Morvel::Wrap kernelWrapOf(int32_t popup);            // "Wrap": None, Edge, Mirror
Morvel::Wrap maskLayerWrapOf(int32_t popup);         // "Mask Layer Wrap": None, Edge, Repeat, Mirror
// Each of red, green and blue divided by its sum over the three colours; a sum of 0 (or not a
// number) gives the first colour all the red, the second the green, the third the blue.
void normaliseChannelColors(Morvel::Color<float>& color1, Morvel::Color<float>& color2, Morvel::Color<float>& color3);
// Fractions of a level pair given in percent. White keeps a gap of at least 1e-6 above black.
void levelPair(const PF_InData* in_data, double blackPercent, double whitePercent, double& black, double& white);

}  // namespace Glow
