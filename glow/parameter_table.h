#pragma once

#include <cstdint>

#include "library/parameter/parameter_def.h"

namespace Glow {

inline constexpr int PARAM_COUNT = 88;

// The glow's controls, one row per value the render receives, in registration order. A row's id
// is its index in the host's parameter array.
extern const Morvel::Plugin::ParameterDef PARAM_DEFS[PARAM_COUNT];

// How parameter set-up registers each row.
enum class AddFunction : int32_t { Layer, Slider, Angle, Checkbox, Color, Point, Popup, Float, Percent, CustomData };

struct RowRegistration {
    AddFunction add;
    int32_t precision;  // Float and Percent: decimal places shown
    const char* menu;   // Popup: its items, separated by '|'
};

// Parallel to PARAM_DEFS.
extern const RowRegistration ROW_REGISTRATION[PARAM_COUNT];

// Every checkbox is shown without a label; the mask centre may leave the layer.
inline constexpr char CHECKBOX_LABEL[] = "";
inline constexpr bool MASK_CENTER_RESTRICT_BOUNDS = false;
// Default text of the two colour-expression rows.
inline constexpr char CUSTOM_CHANNEL_DEFAULT[] = "a * r * s";
// Their parameter ids.
inline constexpr int CUSTOM_CHANNEL_ID = 64;
inline constexpr int TONER_CUSTOM_CHANNEL_ID = 82;

// Group starts and ends are not rows: each is registered just before row `beforeRow`.
using GroupEntry = Morvel::Plugin::GroupEntry;

inline constexpr int GROUP_ENTRY_COUNT = 20;
extern const GroupEntry GROUP_ENTRIES[GROUP_ENTRY_COUNT];

// The input layer, the rows and the group entries.
inline constexpr int HOST_PARAM_COUNT = 1 + PARAM_COUNT + GROUP_ENTRY_COUNT;

// Menu texts. Popup values are 1-based and count the "(-" separators.
inline constexpr char MENU_RENDERING_MODE[] = "Preprocessing|Threshold|Toner|(-|Final|(-|Source Only|Glow Only";
inline constexpr char MENU_BLUR_TYPE[] = "Normal|Channel";
inline constexpr char MENU_DIFFUSION_QUALITY[] = "Low|High";
inline constexpr char MENU_WRAP[] = "None|Edge|Mirror";
inline constexpr char MENU_MASK_TYPE[] = "Rectangle|Circle|Layer";
inline constexpr char MENU_MASK_LAYER_CHANNEL[] = "Luminance|Alpha";
inline constexpr char MENU_MASK_LAYER_WRAP[] = "None|Edge|Repeat|Mirror";
inline constexpr char MENU_CHANNEL[] =
    "Luminance|Red|Green|Blue|Alpha|Hue|Saturation|Saturation(Cone)|Lightness|Brightness|"
    "Distance from Color(RGB)|Distance from Color(HSB)|Custom";
inline constexpr char MENU_TONER[] = "Tint|Fill";
inline constexpr char MENU_TONES[] = "Monotone|Duotone|Tritone|Toner Map|Toner Map(Highlight)|Toner Map(Shadow)";
inline constexpr char MENU_COMPOSITE_SETTINGS[] = "On Source|Behind Source";
// MENU_BLENDING_MODE comes with the conversion that reads it (glow/stages/render_settings.h).

}  // namespace Glow
