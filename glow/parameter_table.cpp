#include "glow/parameter_table.h"
#include "glow/stages/render_settings.h"

#include <cstddef>

#include "library/parameter/table_rows.h"
#include "morvel_host/params.h"

namespace Glow {

namespace {

using Morvel::Plugin::ParameterDef;
using namespace Morvel::Plugin::Rows;
namespace Kind = Morvel::Plugin;

template <size_t N>
constexpr ParameterDef layer(const char (&name)[N], int32_t id) {
    ParameterDef def = named(name, Kind::KIND_LAYER, id);
    def.dephault.i = PF_LayerDefault_NONE;
    return def;
}

// Whole numbers only; the floating-point sliders are the library's `slider`.
template <size_t N>
constexpr ParameterDef integerSlider(const char (&name)[N], int32_t id, int32_t dephault, int32_t validMin,
                                     int32_t validMax, int32_t sliderMin, int32_t sliderMax) {
    ParameterDef def = named(name, Kind::KIND_INT, id);
    def.dephault.i = dephault;
    def.validMin.i = validMin;
    def.validMax.i = validMax;
    def.sliderMin.i = sliderMin;
    def.sliderMax.i = sliderMax;
    return def;
}

template <size_t N>
constexpr ParameterDef customData(const char (&name)[N], int32_t id) {
    return named(name, Kind::KIND_ARBITRARY, id);
}

constexpr RowRegistration by(AddFunction add) { return {add, 0, nullptr}; }
constexpr RowRegistration byFloat(int32_t precision) { return {AddFunction::Float, precision, nullptr}; }
constexpr RowRegistration byPercent(int32_t precision) { return {AddFunction::Percent, precision, nullptr}; }
constexpr RowRegistration byPopup(const char* menu) { return {AddFunction::Popup, 0, menu}; }

}  // namespace

const ParameterDef PARAM_DEFS[kParamCount] = {
    popup("Rendering Mode", 1, 5, 5),  // five of the menu's eight items are offered
    slider("Exposure", 2, 0, -50, 50, 0, 5),
    slider("Boost Low Luminance", 3, 0, 0, 100, 0, 100),
    popup("Blur Type", 4, 1, 2),
    // "Blur"
    slider("Blur Radius", 6, 20, 0, 200, 0, 50),
    checkbox("Diffusion", 7, true),
    slider("Diffusion Convergence", 8, 0, 0, 20, 0, 10),
    popup("Diffusion Quality", 9, 1, 2),
    checkbox("Beam", 10, false),
    integerSlider("Beam Number", 11, 4, 1, 20, 1, 8),
    slider("Beam Intensity", 12, 10, 0, 1000, 0, 100),
    checkbox("Beam Normalizing", 13, true),
    slider("Beam Scaling", 14, 100, 0, 500, 0, 100),
    angle("Beam Phase", 15, 30),
    checkbox("Kernel", 16, false),
    layer("Kernel Layer", 17),
    slider("Kernel Intensity", 18, 100, 0, 1000, 0, 100),
    checkbox("Kernel Normalizing", 19, true),
    slider("Kernel Scaling", 20, 100, 0, 500, 0, 100),
    popup("Wrap", 21, 3, 3),
    // "Channel Blur"
    color("Color 1", 24, 1, 0, 0),
    color("Color 2", 25, 0, 1, 0),
    color("Color 3", 26, 0, 0, 1),
    slider("Color 1 Radius", 27, 60, 0, 300, 0, 150),
    slider("Color 2 Radius", 28, 100, 0, 300, 0, 150),
    slider("Color 3 Radius", 29, 140, 0, 300, 0, 150),
    // "Preprocessing"
    angle("Pre Hue", 32, 0),
    slider("Pre Lightness", 33, 100, 0, 10000, 0, 200),
    slider("Pre Saturation", 34, 100, 0, 10000, 0, 200),
    slider("Pre Black", 35, 0, -5000, 5000, 0, 100),
    slider("Pre White", 36, 100, -5000, 5000, 0, 100),
    slider("Pre Gamma", 37, 1, 0.01, 5, 0.01, 5),
    slider("Pre Alpha Black", 38, 0, -5000, 5000, 0, 100),
    slider("Pre Alpha White", 39, 100, -5000, 5000, 0, 100),
    checkbox("Use Mask", 40, false),
    // "Mask"
    popup("Mask Type", 42, 1, 3),
    layer("Mask Layer", 43),
    popup("Mask Layer Channel", 44, 1, 2),
    popup("Mask Layer Wrap", 45, 1, 4),
    point("Mask Center", 46, 50, 50),
    angle("Mask Rotation", 47, 0),
    slider("Mask Scale", 48, 100, 0, 10000, 0, 100),
    slider("Mask Width", 49, 150, 0, 50000, 0, 300),
    slider("Mask Height", 50, 150, 0, 50000, 0, 300),
    slider("Mask Falloff", 51, 0, 0, 50000, 0, 50),
    checkbox("Mask Invert", 52, false),
    // "Threshold"
    slider("Threshold", 56, 70, -100, 200, 0, 100),
    checkbox("Use Threshold 2", 57, false),
    slider("Threshold 2", 58, 50, -100, 200, 0, 100),
    slider("Threshold Softness", 59, 10, 0, 100, 0, 100),
    checkbox("Threshold Invert", 60, false),
    popup("Channel", 61, 1, 13),
    checkbox("Multiply Alpha", 62, true),
    color("Reference Color", 63, 1, 0, 0),
    customData("Custom Channel", 64),
    // "Toner"
    popup("Toner", 67, 1, 2),
    popup("Tones", 68, 1, 6),
    color("Highlight", 69, 1, 1, 1),
    color("Midtone", 70, 0, 1, 1),
    color("Shadow", 71, 0, 0.5f, 1),
    layer("Toner Map", 72),
    slider("Toner Black", 73, 0, -5000, 5000, 0, 100),
    slider("Toner White", 74, 100, -5000, 5000, 0, 100),
    slider("Toner Gamma", 75, 1, 0.01, 5, 0.01, 5),
    slider("Blend With Original", 76, 0, 0, 100, 0, 100),
    checkbox("Use Different Channel", 77, false),
    // "Toner Channel"
    popup("Toner Channel", 79, 1, 13),
    checkbox("Toner Multiply Alpha", 80, true),
    color("Toner Reference Color", 81, 1, 0, 0),
    customData("Toner Custom Channel", 82),
    // outside the groups
    popup("Composite Settings", 85, 1, 2),
    popup("Blending Mode", 86, 11, 31),
    // "Composite"
    slider("Source Opacity", 88, 100, 0, 100, 0, 100),
    // "Source Levels"
    slider("Source Black", 90, 0, -5000, 5000, 0, 100),
    slider("Source White", 91, 100, -5000, 5000, 0, 100),
    slider("Source Gamma", 92, 1, 0.01, 5, 0.01, 5),
    slider("Source Alpha Black", 93, 0, -5000, 5000, 0, 100),
    slider("Source Alpha White", 94, 100, -5000, 5000, 0, 100),
    // back in "Composite"
    slider("Glow Opacity", 96, 100, 0, 100, 0, 100),
    checkbox("Glow Unmult", 97, false),
    // "Glow Levels"
    slider("Glow Black", 99, 0, -5000, 5000, 0, 100),
    slider("Glow White", 100, 100, -5000, 5000, 0, 100),
    slider("Glow Gamma", 101, 1, 0.01, 5, 0.01, 5),
    slider("Glow Alpha Black", 102, 0, -5000, 5000, 0, 100),
    slider("Glow Alpha White", 103, 100, -5000, 5000, 0, 100),
    // back in "Composite"
    layer("Source Layer", 105),
    layer("Glow Layer", 106),
    // outside the groups
    checkbox("Grow Bounds", 108, true),
};

const RowRegistration kRowRegistration[kParamCount] = {
    byPopup(kMenuRenderingMode),      // Rendering Mode
    byFloat(1),                       // Exposure
    byPercent(1),                     // Boost Low Luminance
    byPopup(kMenuBlurType),           // Blur Type
    byFloat(1),                       // Blur Radius
    by(AddFunction::Checkbox),        // Diffusion
    byFloat(1),                       // Diffusion Convergence
    byPopup(kMenuDiffusionQuality),   // Diffusion Quality
    by(AddFunction::Checkbox),        // Beam
    by(AddFunction::Slider),          // Beam Number
    byPercent(3),                     // Beam Intensity
    by(AddFunction::Checkbox),        // Beam Normalizing
    byPercent(1),                     // Beam Scaling
    by(AddFunction::Angle),           // Beam Phase
    by(AddFunction::Checkbox),        // Kernel
    by(AddFunction::Layer),           // Kernel Layer
    byPercent(3),                     // Kernel Intensity
    by(AddFunction::Checkbox),        // Kernel Normalizing
    byPercent(1),                     // Kernel Scaling
    byPopup(kMenuWrap),               // Wrap
    by(AddFunction::Color),           // Color 1
    by(AddFunction::Color),           // Color 2
    by(AddFunction::Color),           // Color 3
    byPercent(1),                     // Color 1 Radius
    byPercent(1),                     // Color 2 Radius
    byPercent(1),                     // Color 3 Radius
    by(AddFunction::Angle),           // Pre Hue
    byPercent(1),                     // Pre Lightness
    byPercent(1),                     // Pre Saturation
    byPercent(1),                     // Pre Black
    byPercent(1),                     // Pre White
    byFloat(2),                       // Pre Gamma
    byPercent(1),                     // Pre Alpha Black
    byPercent(1),                     // Pre Alpha White
    by(AddFunction::Checkbox),        // Use Mask
    byPopup(kMenuMaskType),           // Mask Type
    by(AddFunction::Layer),           // Mask Layer
    byPopup(kMenuMaskLayerChannel),   // Mask Layer Channel
    byPopup(kMenuMaskLayerWrap),      // Mask Layer Wrap
    by(AddFunction::Point),           // Mask Center
    by(AddFunction::Angle),           // Mask Rotation
    byPercent(1),                     // Mask Scale
    byFloat(1),                       // Mask Width
    byFloat(1),                       // Mask Height
    byFloat(1),                       // Mask Falloff
    by(AddFunction::Checkbox),        // Mask Invert
    byPercent(2),                     // Threshold
    by(AddFunction::Checkbox),        // Use Threshold 2
    byPercent(2),                     // Threshold 2
    byPercent(2),                     // Threshold Softness
    by(AddFunction::Checkbox),        // Threshold Invert
    byPopup(kMenuChannel),            // Channel
    by(AddFunction::Checkbox),        // Multiply Alpha
    by(AddFunction::Color),           // Reference Color
    by(AddFunction::CustomData),      // Custom Channel
    byPopup(kMenuToner),              // Toner
    byPopup(kMenuTones),              // Tones
    by(AddFunction::Color),           // Highlight
    by(AddFunction::Color),           // Midtone
    by(AddFunction::Color),           // Shadow
    by(AddFunction::Layer),           // Toner Map
    byPercent(1),                     // Toner Black
    byPercent(1),                     // Toner White
    byFloat(2),                       // Toner Gamma
    byPercent(1),                     // Blend With Original
    by(AddFunction::Checkbox),        // Use Different Channel
    byPopup(kMenuChannel),            // Toner Channel
    by(AddFunction::Checkbox),        // Toner Multiply Alpha
    by(AddFunction::Color),           // Toner Reference Color
    by(AddFunction::CustomData),      // Toner Custom Channel
    byPopup(kMenuCompositeSettings),  // Composite Settings
    byPopup(kMenuBlendingMode),       // Blending Mode
    byPercent(1),                     // Source Opacity
    byPercent(1),                     // Source Black
    byPercent(1),                     // Source White
    byFloat(2),                       // Source Gamma
    byPercent(1),                     // Source Alpha Black
    byPercent(1),                     // Source Alpha White
    byPercent(1),                     // Glow Opacity
    by(AddFunction::Checkbox),        // Glow Unmult
    byPercent(1),                     // Glow Black
    byPercent(1),                     // Glow White
    byFloat(2),                       // Glow Gamma
    byPercent(1),                     // Glow Alpha Black
    byPercent(1),                     // Glow Alpha White
    by(AddFunction::Layer),           // Source Layer
    by(AddFunction::Layer),           // Glow Layer
    by(AddFunction::Checkbox),        // Grow Bounds
};

// Three group starts share id 89; ids 87 and 98 stay unused.
const GroupEntry kGroupEntries[kGroupEntryCount] = {
    {4, 5, "Blur"},
    {20, 22, nullptr},
    {20, 23, "Channel Blur"},
    {26, 30, nullptr},
    {26, 31, "Preprocessing"},
    {35, 41, "Mask"},
    {46, 53, nullptr},
    {46, 54, nullptr},
    {46, 55, "Threshold"},
    {55, 65, nullptr},
    {55, 66, "Toner"},
    {66, 78, "Toner Channel"},
    {70, 83, nullptr},
    {70, 84, nullptr},
    {72, 89, "Composite"},
    {73, 89, "Source Levels"},
    {78, 95, nullptr},
    {80, 89, "Glow Levels"},
    {85, 104, nullptr},
    {87, 107, nullptr},
};

}  // namespace Glow
