#include "diffusion/parameter_table.h"

#include <cstddef>

#include "library/parameter/table_rows.h"
#include "morvel_host/params.h"

namespace Diffusion {

namespace {

using Morvel::Plugin::ParameterDef;
using namespace Morvel::Plugin::Rows;

// Both colour-detail groups share their ranges.
template <size_t N>
constexpr ParameterDef lightness(const char (&name)[N], int32_t id) {
    return slider(name, id, 100, 0, 10000, 0, 200);
}
template <size_t N>
constexpr ParameterDef level(const char (&name)[N], int32_t id, double dephault) {
    return slider(name, id, dephault, -5000, 5000, 0, 100);
}
template <size_t N>
constexpr ParameterDef gammaSlider(const char (&name)[N], int32_t id) {
    return slider(name, id, 1, 0.01, 5, 0.01, 5);
}

constexpr int32_t kCollapsed = PF_ParamFlag_START_COLLAPSED;

constexpr RowRegistration plain() { return {0, false, nullptr, kCollapsed}; }
constexpr RowRegistration shown(int32_t precision) { return {precision, false, nullptr, kCollapsed}; }
constexpr RowRegistration percent(int32_t precision) { return {precision, true, nullptr, kCollapsed}; }
constexpr RowRegistration menu(const char* items, int32_t flags) { return {0, false, items, flags}; }

}  // namespace

const ParameterDef PARAM_DEFS[kParamCount] = {
    slider("Blur Radius", 1, 30, 0, 1000, 0, 100),
    slider("Blur Softness", 2, 5, 0, 20, 0, 20),
    slider("Weight", 3, 2, 0, 10, 0, 5),
    slider("Threshold", 4, 50, 0, 100, 0, 100),
    slider("Threshold Softness", 5, 10, 0, 100, 0, 100),
    popup("Channel", 6, 1, 12),
    color("Reference Color", 7, 1.0f, 0.0f, 0.0f),
    popup("Wrap", 8, 3, 3),  // 3 is "Mirror"
    popup("Blending Mode", 9, 1, 31),
    slider("Source Opacity", 10, 100, 0, 100, 0, 100),
    angle("Source Hue", 12, 0),
    lightness("Source Lightness", 13),
    lightness("Source Saturation", 14),
    level("Source Black", 15, 0),
    level("Source White", 16, 100),
    gammaSlider("Source Gamma", 17),
    level("Source Alpha Black", 18, 0),
    level("Source Alpha White", 19, 100),
    slider("Diffusion Opacity", 21, 100, 0, 100, 0, 100),
    angle("Diffusion Hue", 23, 0),
    lightness("Diffusion Lightness", 24),
    lightness("Diffusion Saturation", 25),
    level("Diffusion Black", 26, 0),
    level("Diffusion White", 27, 100),
    gammaSlider("Diffusion Gamma", 28),
    level("Diffusion Alpha Black", 29, 0),
    level("Diffusion Alpha White", 30, 100),
    checkbox("Grow Bounds", 32, true),
};

const RowRegistration kRowRegistration[kParamCount] = {
    shown(1),                     // Blur Radius
    shown(1),                     // Blur Softness
    shown(2),                     // Weight
    percent(2),                   // Threshold
    percent(2),                   // Threshold Softness
    menu(kMenuChannel, 0),        // Channel
    plain(),                      // Reference Color
    menu(kMenuWrap, kCollapsed),  // Wrap
    menu(kMenuBlendingMode, 0),   // Blending Mode
    percent(1),                   // Source Opacity
    plain(),                      // Source Hue
    percent(1),                   // Source Lightness
    percent(1),                   // Source Saturation
    percent(1),                   // Source Black
    percent(1),                   // Source White
    shown(2),                     // Source Gamma
    percent(1),                   // Source Alpha Black
    percent(1),                   // Source Alpha White
    percent(1),                   // Diffusion Opacity
    plain(),                      // Diffusion Hue
    percent(1),                   // Diffusion Lightness
    percent(1),                   // Diffusion Saturation
    percent(1),                   // Diffusion Black
    percent(1),                   // Diffusion White
    shown(2),                     // Diffusion Gamma
    percent(1),                   // Diffusion Alpha Black
    percent(1),                   // Diffusion Alpha White
    plain(),                      // Grow Bounds
};

// Both group starts carry id 11 and no entry has id 22: saved projects know them so.
const GroupEntry kGroupEntries[kGroupEntryCount] = {
    {ROW_SOURCE_HUE, 11, "Source Details"},
    {ROW_DIFFUSION_OPACITY, 20, nullptr},
    {ROW_DIFFUSION_HUE, 11, "Diffusion Details"},
    {ROW_GROW_BOUNDS, 31, nullptr},
};

}  // namespace Diffusion
