#include "glow/fill_render_settings.h"

#include <cstring>
#include <string>

#include "glow/parameter_table.h"
#include "library/custom_data/color_expression_data/color_expression_data.h"
#include "library/custom_data/color_expression_data/expression_parser.h"

namespace Glow {

namespace {

using Morvel::Color;
using Morvel::Plugin::ParameterValue;

constexpr double kPercent = 0.01;
constexpr double kDegreesToRadians = 0.017453292519943295;

// Rows of the parameter table that the record reads.
enum Row : int {
    RenderingMode = 0,
    Exposure = 1,
    BoostLowLuminance = 2,
    BlurType = 3,
    BlurRadius = 4,
    Diffusion = 5,
    DiffusionConvergence = 6,
    DiffusionQuality = 7,
    Beam = 8,
    BeamNumber = 9,
    BeamIntensity = 10,
    BeamNormalizing = 11,
    BeamScaling = 12,
    BeamPhase = 13,
    Kernel = 14,
    KernelLayer = 15,
    KernelIntensity = 16,
    KernelNormalizing = 17,
    KernelScaling = 18,
    Wrap = 19,
    Color1 = 20,
    Color1Radius = 23,
    PreHue = 26,
    PreLightness = 27,
    PreSaturation = 28,
    PreBlack = 29,
    PreWhite = 30,
    PreGamma = 31,
    PreAlphaBlack = 32,
    PreAlphaWhite = 33,
    UseMask = 34,
    MaskType = 35,
    MaskLayer = 36,
    MaskLayerChannel = 37,
    MaskLayerWrap = 38,
    MaskCenter = 39,
    MaskRotation = 40,
    MaskScale = 41,
    MaskWidth = 42,
    MaskHeight = 43,
    MaskFalloff = 44,
    MaskInvert = 45,
    Threshold = 46,
    UseThreshold2 = 47,
    Threshold2 = 48,
    ThresholdSoftness = 49,
    ThresholdInvert = 50,
    Channel = 51,
    MultiplyAlpha = 52,
    ReferenceColor = 53,
    Toner = 55,
    Tones = 56,
    Highlight = 57,
    Midtone = 58,
    Shadow = 59,
    TonerMap = 60,
    TonerBlack = 61,
    TonerWhite = 62,
    TonerGamma = 63,
    BlendWithOriginal = 64,
    UseDifferentChannel = 65,
    TonerChannel = 66,
    TonerMultiplyAlpha = 67,
    TonerReferenceColor = 68,
    CompositeSettings = 70,
    Blending = 71,
    SourceOpacity = 72,
    SourceBlack = 73,
    SourceWhite = 74,
    SourceGamma = 75,
    SourceAlphaBlack = 76,
    SourceAlphaWhite = 77,
    GlowOpacity = 78,
    GlowUnmult = 79,
    GlowBlack = 80,
    GlowWhite = 81,
    GlowGamma = 82,
    GlowAlphaBlack = 83,
    GlowAlphaWhite = 84,
};

// Reads the values of one render, each as its row's kind stores it.
class Values {
public:
    explicit Values(const ParameterValue* values) : values_(values) {}

    int32_t integer(int r) const { return values_[r].value.i; }
    // A popup's item; a number outside the menu is kept as it came.
    template <typename Item>
    Item item(int r) const {
        return static_cast<Item>(values_[r].value.i);
    }
    double real(int r) const { return values_[r].value.d; }
    double percent(int r) const { return values_[r].value.d * kPercent; }
    double radians(int r) const { return values_[r].value.d * kDegreesToRadians; }
    // A checkbox's value is its first byte; read as a byte so that any stored byte is a valid answer.
    bool flag(int r) const {
        unsigned char byte = 0;
        std::memcpy(&byte, &values_[r].value, 1);
        return byte != 0;
    }
    Color<float> color(int r) const {
        const auto& c = values_[r].value.color;
        return Color<float>(1.0f, c.red, c.green, c.blue);
    }
    Morvel::Vector2<double> point(int r) const { return {values_[r].value.point.x, values_[r].value.point.y}; }
    int id(int r) const { return values_[r].id; }

private:
    const ParameterValue* values_;
};

// The layer parameter's world when it has pixels; otherwise world is left empty.
PF_Err lookUpLayer(const GlowParametersSource& source, int id, std::shared_ptr<Morvel::World>& world) {
    std::shared_ptr<Morvel::World> found;
    const PF_Err err = Morvel::getParameterWorld(source.in_data, source.suites, id, source.time, found);
    if (err == PF_Err_NONE && found != nullptr && found->world != nullptr) world = std::move(found);
    return err;
}

// The expression of a custom channel, or the channel's fall-back to Luminance.
PF_Err readCustomChannel(const GlowParametersSource& source, int id, PF_Err pending, ChannelItem& channel,
                         Morvel::ColorExpressionData::Expression& expression) {
    if (channel != CHANNEL_CUSTOM) return pending;
    if (source.noExpressions) {
        channel = CHANNEL_LUMINANCE;
        return pending;
    }
    if (pending != PF_Err_NONE) return pending;
    Morvel::ColorExpressionData::Data data{};
    const PF_Err err =
        Morvel::ColorExpressionData::GetData(source.pluginId, source.in_data, source.suites, source.effect, id, &data);
    if (err != PF_Err_NONE) return err;
    const std::string text = Morvel::ColorExpressionData::readBlockText(data.text, sizeof data.text);
    if (!Morvel::ColorExpressionData::parseExpression(text, expression)) channel = CHANNEL_LUMINANCE;
    return PF_Err_NONE;
}

}  // namespace

PF_Err fillGlowParameters(const GlowParametersSource& source, const ParameterValue* values, PF_Err pending,
                          GlowParameters& out) {
    const Values v(values);
    PF_Err err = pending;
    const double ds = source.downsampleX;

    out.renderingMode = v.item<RenderingModeItem>(RenderingMode);
    out.exposure = v.real(Exposure);
    out.boostLowLuminance = v.percent(BoostLowLuminance);
    out.blurType = v.item<BlurTypeItem>(BlurType);
    out.blurRadius = v.real(BlurRadius) * ds;
    out.diffusion = v.flag(Diffusion);
    out.diffusionConvergence = 10.0 - v.real(DiffusionConvergence);
    out.diffusionQuality = v.item<DiffusionQualityItem>(DiffusionQuality);
    out.beam = v.flag(Beam);
    out.beamNumber = v.integer(BeamNumber);
    out.beamIntensity = v.percent(BeamIntensity);
    out.beamScaling = v.percent(BeamScaling);
    out.beamPhase = v.radians(BeamPhase);
    out.beamNormalizing = v.flag(BeamNormalizing);

    // Left zero when the kernel is off: nothing reads them then.
    out.kernel = v.flag(Kernel);
    if (out.kernel) {
        if (err != PF_Err_NONE) return err;
        if ((err = lookUpLayer(source, v.id(KernelLayer), out.kernelLayer)) != PF_Err_NONE) return err;
        out.kernel = out.kernelLayer != nullptr;
        out.kernelIntensity = v.percent(KernelIntensity);
        out.kernelScaling = v.percent(KernelScaling);
        out.kernelNormalizing = v.flag(KernelNormalizing);
    }
    out.wrap = kernelWrapOf(v.integer(Wrap));

    out.color1 = v.color(Color1);
    out.color2 = v.color(Color1 + 1);
    out.color3 = v.color(Color1 + 2);
    normaliseChannelColors(out.color1, out.color2, out.color3);
    out.color1Radius = v.percent(Color1Radius);
    out.color2Radius = v.percent(Color1Radius + 1);
    out.color3Radius = v.percent(Color1Radius + 2);

    GlowParameters::Preprocessing& pre = out.preprocessing;
    pre.hls = Color<float>(0.0f, static_cast<float>(v.real(PreHue)), static_cast<float>(v.percent(PreLightness)),
                           static_cast<float>(v.percent(PreSaturation)));
    levelPair(source.in_data, v.real(PreBlack), v.real(PreWhite), pre.black, pre.white);
    pre.gamma = v.real(PreGamma);
    levelPair(source.in_data, v.real(PreAlphaBlack), v.real(PreAlphaWhite), pre.alphaBlack, pre.alphaWhite);
    pre.useMask = v.flag(UseMask);
    pre.maskType = v.item<MaskTypeItem>(MaskType);
    if (pre.useMask && pre.maskType == MaskTypeItem::Layer) {
        if (err != PF_Err_NONE) return err;
        if ((err = lookUpLayer(source, v.id(MaskLayer), pre.maskLayer)) != PF_Err_NONE) return err;
        pre.useMask = pre.maskLayer != nullptr;
    }
    pre.layerChannel = v.item<LayerChannelItem>(MaskLayerChannel);
    pre.layerWrap = maskLayerWrapOf(v.integer(MaskLayerWrap));
    pre.center = v.point(MaskCenter);
    pre.rotation = v.radians(MaskRotation);
    pre.scale = v.percent(MaskScale);
    pre.width = v.real(MaskWidth) * ds;
    pre.height = v.real(MaskHeight) * ds;
    pre.falloff = v.real(MaskFalloff) * ds;
    pre.invert = v.flag(MaskInvert);

    out.threshold = v.percent(Threshold);
    out.useThreshold2 = v.flag(UseThreshold2);
    out.threshold2 = v.percent(Threshold2);
    out.thresholdSoftness = v.percent(ThresholdSoftness);
    out.thresholdInvert = v.flag(ThresholdInvert);
    out.channel = v.item<ChannelItem>(Channel);
    out.multiplyAlpha = v.flag(MultiplyAlpha);
    out.referenceColor = v.color(ReferenceColor);
    err = readCustomChannel(source, kCustomChannelId, err, out.channel, out.customChannel);

    out.toner = v.item<TonerItem>(Toner);
    out.tones = v.item<TonesItem>(Tones);
    out.highlight = v.color(Highlight);
    out.midtone = v.color(Midtone);
    out.shadow = v.color(Shadow);
    if (out.tones >= TONES_TONER_MAP && out.tones <= TONES_TONER_MAP_SHADOW) {
        if (err != PF_Err_NONE) return err;
        if ((err = lookUpLayer(source, v.id(TonerMap), out.tonerMap)) != PF_Err_NONE) return err;
        if (out.tonerMap == nullptr) {
            // Without a map the tones become a monotone in the colour the map stood for.
            if (out.tones == TONES_TONER_MAP) out.highlight = Color<float>(1.0f, 1.0f, 1.0f, 1.0f);
            if (out.tones == TONES_TONER_MAP_HIGHLIGHT) out.highlight = out.shadow;
            out.tones = TONES_MONOTONE;
        }
    }
    out.tonerBlack = v.percent(TonerBlack);
    out.tonerWhite = v.percent(TonerWhite);
    out.tonerGamma = v.real(TonerGamma);
    out.blendWithOriginal = v.percent(BlendWithOriginal);
    out.useDifferentChannel = v.flag(UseDifferentChannel);
    out.tonerChannel = v.item<ChannelItem>(TonerChannel);
    out.tonerMultiplyAlpha = v.flag(TonerMultiplyAlpha);
    out.tonerReferenceColor = v.color(TonerReferenceColor);
    err = readCustomChannel(source, kTonerCustomChannelId, err, out.tonerChannel, out.tonerCustomChannel);

    out.compositeSettings = v.item<CompositeSettingsItem>(CompositeSettings);
    out.blendingMode = blendingModeOf(v.integer(Blending));
    out.sourceOpacity = v.percent(SourceOpacity);
    levelPair(source.in_data, v.real(SourceBlack), v.real(SourceWhite), out.sourceBlack, out.sourceWhite);
    out.sourceGamma = v.real(SourceGamma);
    levelPair(source.in_data, v.real(SourceAlphaBlack), v.real(SourceAlphaWhite), out.sourceAlphaBlack,
              out.sourceAlphaWhite);
    out.glowOpacity = v.percent(GlowOpacity);
    out.glowUnmult = v.flag(GlowUnmult);
    levelPair(source.in_data, v.real(GlowBlack), v.real(GlowWhite), out.glowBlack, out.glowWhite);
    out.glowGamma = v.real(GlowGamma);
    levelPair(source.in_data, v.real(GlowAlphaBlack), v.real(GlowAlphaWhite), out.glowAlphaBlack, out.glowAlphaWhite);
    return err;
}

}  // namespace Glow
