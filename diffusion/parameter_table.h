#pragma once

#include <cstdint>

#include "glow/stages/render_settings.h"
#include "library/parameter/parameter_def.h"

namespace Diffusion {

inline constexpr int kParamCount = 28;

// Rows of PARAM_DEFS, of the pre-render data and of the render values.
enum Row : int {
    ROW_BLUR_RADIUS = 0,
    ROW_BLUR_SOFTNESS,
    ROW_WEIGHT,
    ROW_THRESHOLD,
    ROW_THRESHOLD_SOFTNESS,
    ROW_CHANNEL,
    ROW_REFERENCE_COLOR,
    ROW_WRAP,
    ROW_BLENDING_MODE,
    ROW_SOURCE_OPACITY,
    ROW_SOURCE_HUE,
    ROW_SOURCE_LIGHTNESS,
    ROW_SOURCE_SATURATION,
    ROW_SOURCE_BLACK,
    ROW_SOURCE_WHITE,
    ROW_SOURCE_GAMMA,
    ROW_SOURCE_ALPHA_BLACK,
    ROW_SOURCE_ALPHA_WHITE,
    ROW_DIFFUSION_OPACITY,
    ROW_DIFFUSION_HUE,
    ROW_DIFFUSION_LIGHTNESS,
    ROW_DIFFUSION_SATURATION,
    ROW_DIFFUSION_BLACK,
    ROW_DIFFUSION_WHITE,
    ROW_DIFFUSION_GAMMA,
    ROW_DIFFUSION_ALPHA_BLACK,
    ROW_DIFFUSION_ALPHA_WHITE,
    ROW_GROW_BOUNDS,
};

// The diffusion's controls in registration order. A row's id is its index in the host's parameter
// array; the ids are stored in users' projects.
extern const Morvel::Plugin::ParameterDef PARAM_DEFS[kParamCount];

// What registration needs beyond the row, parallel to PARAM_DEFS.
struct RowRegistration {
    int32_t precision;  // float sliders: decimal places shown
    bool percent;       // float sliders shown as percent
    const char* menu;   // popups: the items, separated by '|'
    int32_t flags;      // the host's parameter flags
};
extern const RowRegistration kRowRegistration[kParamCount];

// Group starts and ends are not rows: each is registered just before row `beforeRow`, as the
// glow's are.
using GroupEntry = Morvel::Plugin::GroupEntry;

inline constexpr int kGroupEntryCount = 4;
extern const GroupEntry kGroupEntries[kGroupEntryCount];

// The input layer, the rows and the group entries.
inline constexpr int HOST_PARAM_COUNT = 1 + kParamCount + kGroupEntryCount;

// Host indices that the UI rule reads and writes.
inline constexpr int kChannelIndex = 6;
inline constexpr int kReferenceColorIndex = 7;

// Menu texts. Popup values are 1-based and count the "(-" separators.
inline constexpr char kMenuChannel[] =
    "Luminance|Red|Green|Blue|Alpha|Hue|Saturation|Saturation(Cone)|Lightness|Brightness|"
    "Distance from Color(RGB)|Distance from Color(HSB)";
inline constexpr char kMenuWrap[] = "None|Edge|Mirror";
// The glow's menu, item for item: both map through the same table.
inline constexpr const char* kMenuBlendingMode = Glow::kMenuBlendingMode;

inline constexpr char kCheckboxLabel[] = "";

}  // namespace Diffusion
