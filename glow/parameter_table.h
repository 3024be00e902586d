#pragma once

#include <cstdint>

#include "library/parameter/parameter_def.h"

namespace Glow {

inline constexpr int kParamCount = 88;

// The glow's controls, one row per value the render receives, in registration order. A row's id
// is its index in the host's parameter array.
extern const Morvel::Plugin::ParameterDef PARAM_DEFS[kParamCount];

// How parameter set-up registers each row.
enum class AddFunction : int32_t { Layer, Slider, Angle, Checkbox, Color, Point, Popup, Float, Percent, CustomData };

struct RowRegistration {
    AddFunction add;
    int32_t precision;  // Float and Percent: decimal places shown
    const char* menu;   // Popup: its items, separated by '|'
};

// Parallel to PARAM_DEFS.
extern const RowRegistration kRowRegistration[kParamCount];

// Every checkbox is shown without a label; the mask centre may leave the layer.
inline constexpr char kCheckboxLabel[] = "";
inline constexpr bool kMaskCenterRestrictBounds = false;
// Default text of the two colour-expression rows.
inline constexpr char kCustomChannelDefault[] = "a * r * s";
// Their parameter ids.
inline constexpr int kCustomChannelId = 64;
inline constexpr int kTonerCustomChannelId = 82;

// Group starts and ends are not rows: each is registered just before row `beforeRow`.
using GroupEntry = Morvel::Plugin::GroupEntry;

inline constexpr int kGroupEntryCount = 20;
extern const GroupEntry kGroupEntries[kGroupEntryCount];

// The input layer, the rows and the group entries.
inline constexpr int HOST_PARAM_COUNT = 1 + kParamCount + kGroupEntryCount;

// Menu texts. Popup values are 1-based and count the "(-" separators.
inline constexpr char kMenuRenderingMode[] = "Preprocessing|Threshold|Toner|(-|Final|(-|Source Only|Glow Only";
inline constexpr char kMenuBlurType[] = "Normal|Channel";
inline constexpr char kMenuDiffusionQuality[] = "Low|High";
inline constexpr char kMenuWrap[] = "None|Edge|Mirror";
inline constexpr char kMenuMaskType[] = "Rectangle|Circle|Layer";
inline constexpr char kMenuMaskLayerChannel[] = "Luminance|Alpha";
inline constexpr char kMenuMaskLayerWrap[] = "None|Edge|Repeat|Mirror";
inline constexpr char kMenuChannel[] =
    "Luminance|Red|Green|Blue|Alpha|Hue|Saturation|Saturation(Cone)|Lightness|Brightness|"
    "Distance from Color(RGB)|Distance from Color(HSB)|Custom";
inline constexpr char kMenuToner[] = "Tint|Fill";
inline constexpr char kMenuTones[] = "Monotone|Duotone|Tritone|Toner Map|Toner Map(Highlight)|Toner Map(Shadow)";
inline constexpr char kMenuCompositeSettings[] = "On Source|Behind Source";
// kMenuBlendingMode comes with the conversion that reads it (glow/stages/render_settings.h).

}  // namespace Glow
