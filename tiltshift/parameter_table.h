#pragma once

#include <cstdint>

#include "library/parameter/parameter_def.h"

namespace TiltShift {

inline constexpr int kParamCount = 17;

// Host parameter indices. Index 0 is the layer the effect is applied to; row r of PARAM_DEFS is
// index r + 1, which is also its id.
enum ParamIndex : int32_t {
    PARAM_INPUT = 0,
    PARAM_TYPE,
    PARAM_BLUR_AMOUNT,
    PARAM_BLUR_OFFSET,
    PARAM_WEIGHT,
    PARAM_CENTER,
    PARAM_DIRECTION,
    PARAM_RATIO,
    PARAM_INNER_WIDTH,
    PARAM_LINEAR_MODE,
    PARAM_POWER,
    PARAM_FOCUS_DISTANCE,
    PARAM_CHROMATIC_ABERRATION,
    PARAM_VIGNETTING,
    PARAM_VIGNETTING_COLOR,
    PARAM_BLENDING_MODE,
    PARAM_REPEAT_EDGE_PIXELS,
    PARAM_GROW_BOUNDS,
    HOST_PARAM_COUNT  // the input layer and the rows
};

static_assert(HOST_PARAM_COUNT == kParamCount + 1);

// Where a parameter's row sits in PARAM_DEFS, the pre-render data and the render values.
constexpr int rowOf(ParamIndex index) { return index - 1; }

// The tilt-shift's controls in registration order.
extern const Morvel::Plugin::ParameterDef PARAM_DEFS[kParamCount];

// What registration needs beyond the row, parallel to PARAM_DEFS.
struct RowRegistration {
    int32_t precision;  // float sliders: decimal places shown
    bool percent;       // float sliders shown as percent
    const char* menu;   // popups: the items, separated by '|'
};
extern const RowRegistration kRowRegistration[kParamCount];

// Menu items as the host numbers them; a number outside a list is held as it came, and whatever
// reads it does nothing with it.
// "Type"
enum FocusType : int32_t { TYPE_RADIAL = 1, TYPE_LINEAR = 2 };
// "Linear Mode"
enum LinearMode : int32_t { LINEAR_MODE_POWER = 1, LINEAR_MODE_FOCUS_DISTANCE = 2 };

// Menu texts. Popup values are 1-based and count the "(-" separators.
inline constexpr char kMenuType[] = "Radial|Linear";
inline constexpr char kMenuLinearMode[] = "Power|Focus Distance";
inline constexpr char kMenuBlendingMode[] =
    "Normal|(-|Add|Multiply|Screen|Overlay|Soft Light|Hard Light|(-|Color Dodge|Color Burn|(-|Darken|Lighten|"
    "Difference|Exclusion|(-|Hue|Saturation|Luminosity";

// Checkboxes are shown without a label; the centre may leave the layer.
inline constexpr char kCheckboxLabel[] = "";
inline constexpr bool kCenterRestrictBounds = false;

}  // namespace TiltShift
