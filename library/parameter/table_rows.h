#pragma once

#include <cstddef>
#include <cstdint>

#include "library/parameter/parameter_def.h"

// Builders of parameter-table rows, for tables written as constant data. Each takes the row's
// name (at most 31 characters, checked when compiled) and id.
namespace Morvel::Plugin::Rows {

template <size_t N>
constexpr ParameterDef named(const char (&name)[N], int32_t kind, int32_t id) {
    static_assert(N <= sizeof(ParameterDef::name), "a row name has at most 31 characters");
    ParameterDef def{};
    for (size_t i = 0; i < N; ++i) def.name[i] = name[i];
    def.kind = kind;
    def.id = id;
    return def;
}

// The number of choices is the valid maximum.
template <size_t N>
constexpr ParameterDef popup(const char (&name)[N], int32_t id, int32_t dephault, int32_t choices) {
    ParameterDef def = named(name, KIND_INT, id);
    def.dephault.i = dephault;
    def.validMin.i = 1;
    def.validMax.i = choices;
    return def;
}

template <size_t N>
constexpr ParameterDef slider(const char (&name)[N], int32_t id, double dephault, double validMin, double validMax,
                              double sliderMin, double sliderMax) {
    ParameterDef def = named(name, KIND_FLOAT, id);
    def.dephault.d = dephault;
    def.validMin.d = validMin;
    def.validMax.d = validMax;
    def.sliderMin.d = sliderMin;
    def.sliderMax.d = sliderMax;
    return def;
}

// In percent of the layer's width and height, as the host reads point defaults.
template <size_t N>
constexpr ParameterDef point(const char (&name)[N], int32_t id, double x, double y) {
    ParameterDef def = named(name, KIND_POINT, id);
    def.dephault = ParameterUnionValue{.point = {x, y}};
    return def;
}

template <size_t N>
constexpr ParameterDef angle(const char (&name)[N], int32_t id, double degrees) {
    ParameterDef def = named(name, KIND_ANGLE, id);
    def.dephault.d = degrees;
    return def;
}

template <size_t N>
constexpr ParameterDef color(const char (&name)[N], int32_t id, float red, float green, float blue) {
    ParameterDef def = named(name, KIND_COLOR, id);
    def.dephault = ParameterUnionValue{.color = {red, green, blue}};
    return def;
}

// The integer, so that the slot reads the same as a bool or an int.
template <size_t N>
constexpr ParameterDef checkbox(const char (&name)[N], int32_t id, bool on) {
    ParameterDef def = named(name, KIND_CHECKBOX, id);
    def.dephault.i = on ? 1 : 0;
    return def;
}

}  // namespace Morvel::Plugin::Rows
