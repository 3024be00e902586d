#include "tiltshift/parameter_table.h"

#include <cstddef>

#include "library/parameter/table_rows.h"

namespace TiltShift {

namespace {

using Morvel::Plugin::ParameterDef;
using namespace Morvel::Plugin::Rows;

constexpr RowRegistration plain() { return {0, false, nullptr}; }
constexpr RowRegistration shown(int32_t precision) { return {precision, false, nullptr}; }
constexpr RowRegistration percent(int32_t precision) { return {precision, true, nullptr}; }
constexpr RowRegistration menu(const char* items) { return {0, false, items}; }

}  // namespace

const ParameterDef PARAM_DEFS[kParamCount] = {
    popup("Type", PARAM_TYPE, TYPE_RADIAL, 2),
    slider("Blur Amount", PARAM_BLUR_AMOUNT, 50, 0, 5000, 0, 100),
    slider("Blur Offset", PARAM_BLUR_OFFSET, 0, 0, 5000, 0, 100),
    slider("Weight", PARAM_WEIGHT, 3, 0, 5, 0, 5),
    point("Center", PARAM_CENTER, 50, 50),
    angle("Direction", PARAM_DIRECTION, 0),
    slider("Ratio", PARAM_RATIO, 1, 0.0001, 100, 0.2, 5),
    slider("Inner Width", PARAM_INNER_WIDTH, 100, 0, 100000, 0, 200),
    popup("Linear Mode", PARAM_LINEAR_MODE, LINEAR_MODE_POWER, 2),
    slider("Power", PARAM_POWER, 2, 0.1, 5, 0.1, 3),
    slider("Focus Distance", PARAM_FOCUS_DISTANCE, 1000, 1, 1000000, 500, 2000),
    slider("Chromatic Aberration", PARAM_CHROMATIC_ABERRATION, 0, 0, 100, 0, 10),
    slider("Vignetting", PARAM_VIGNETTING, 0, 0, 10000, 0, 100),
    color("Vignetting Color", PARAM_VIGNETTING_COLOR, 0, 0, 0),
    popup("Blending Mode", PARAM_BLENDING_MODE, 4, 20),  // 4 is "Multiply": separators count
    checkbox("Repeat Edge Pixels", PARAM_REPEAT_EDGE_PIXELS, true),
    checkbox("Grow Bounds", PARAM_GROW_BOUNDS, true),
};

const RowRegistration kRowRegistration[kParamCount] = {
    menu(kMenuType),          // Type
    shown(1),                 // Blur Amount
    shown(1),                 // Blur Offset
    shown(2),                 // Weight
    plain(),                  // Center
    plain(),                  // Direction
    shown(2),                 // Ratio
    shown(1),                 // Inner Width
    menu(kMenuLinearMode),    // Linear Mode
    shown(2),                 // Power
    shown(1),                 // Focus Distance
    shown(1),                 // Chromatic Aberration
    percent(1),               // Vignetting
    plain(),                  // Vignetting Color
    menu(kMenuBlendingMode),  // Blending Mode
    plain(),                  // Repeat Edge Pixels
    plain(),                  // Grow Bounds
};

}  // namespace TiltShift
