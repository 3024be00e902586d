#pragma once

#include <cstdint>

// The items of the glow's menus, numbered as the host numbers popup items (from 1, separators
// counted). A number outside a list is held as it came, and each reader treats it as it always
// has, as said below. The diffusion reads the channel items too.
namespace Glow {

// "Rendering Mode": 4 and 6 are separators; any other number renders as Final.
enum class RenderingModeItem : int32_t {
    Preprocessing = 1,
    Threshold = 2,
    Toner = 3,
    Final = 5,
    SourceOnly = 7,
    GlowOnly = 8
};

// "Blur Type": any other number blurs as Channel.
enum class BlurTypeItem : int32_t { Normal = 1, Channel = 2 };

// "Diffusion Quality": any other number works as High.
enum class DiffusionQualityItem : int32_t { Low = 1, High = 2 };

// "Mask Type": any other number lets every pixel through.
enum class MaskTypeItem : int32_t { Rectangle = 1, Circle = 2, Layer = 3 };

// "Mask Layer Channel": any other number reads the alpha.
enum class LayerChannelItem : int32_t { Luminance = 1, Alpha = 2 };

// "Channel" and "Toner Channel": any other number reads as Luminance.
enum ChannelItem : int {
    CHANNEL_LUMINANCE = 1,
    CHANNEL_RED,
    CHANNEL_GREEN,
    CHANNEL_BLUE,
    CHANNEL_ALPHA,
    CHANNEL_HUE,
    CHANNEL_SATURATION,
    CHANNEL_SATURATION_CONE,
    CHANNEL_LIGHTNESS,
    CHANNEL_BRIGHTNESS,
    CHANNEL_DISTANCE_RGB,
    CHANNEL_DISTANCE_HSB,
    CHANNEL_CUSTOM
};

// "Toner": Fill replaces the colour by the tone; any other number tints (multiplies by it).
enum class TonerItem : int32_t { Tint = 1, Fill = 2 };

// "Tones": any other number tones nothing.
enum TonesItem : int {
    TONES_MONOTONE = 1,
    TONES_DUOTONE,
    TONES_TRITONE,
    TONES_TONER_MAP,
    TONES_TONER_MAP_HIGHLIGHT,
    TONES_TONER_MAP_SHADOW
};

// "Composite Settings": any other number leaves the output unwritten.
enum class CompositeSettingsItem : int32_t { OnSource = 1, BehindSource = 2 };

}  // namespace Glow
