#pragma once

// Small worlds for the tests of the host's pixel work: pixels read and written in unit scale.

#include <gtest/gtest.h>

#include <string>

#include "host/sim/worlds.h"

namespace WorldHelpers {

struct Depth {
    const char* name;
    PF_PixelFormat format;
    double lsb;  // one step of the depth in unit scale
};

inline const Depth kDepths[] = {
    {"8-bit", PF_PixelFormat_ARGB32, 1.0 / 255},
    {"16-bit", PF_PixelFormat_ARGB64, 1.0 / 32768},
    {"float", PF_PixelFormat_ARGB128, 0.0},
};

inline PF_LayerDef* hostWorld(Sim::Host& host, int32_t width, int32_t height, PF_PixelFormat format) {
    return host.worlds().newHostWorld(width, height, format);
}

inline Sim::Unit get(const PF_LayerDef* world, int32_t x, int32_t y) {
    return Sim::withPixelType(world->pixel_format, [&](auto tag) {
        return Sim::toUnit(Morvel::pixelRow<typename decltype(tag)::type>(world, y)[x]);
    });
}

inline void set(PF_LayerDef* world, int32_t x, int32_t y, const Sim::Unit& value) {
    Sim::withPixelType(world->pixel_format, [&](auto tag) {
        Sim::fromUnit(value, &Morvel::pixelRow<typename decltype(tag)::type>(world, y)[x]);
    });
}

inline void setAll(PF_LayerDef* world, const Sim::Unit& value) {
    for (int32_t y = 0; y < world->height; ++y) {
        for (int32_t x = 0; x < world->width; ++x) set(world, x, y, value);
    }
}

inline std::string text(const Sim::Unit& u) {
    return "(" + std::to_string(u.alpha) + ", " + std::to_string(u.red) + ", " + std::to_string(u.green) + ", " +
           std::to_string(u.blue) + ")";
}

inline ::testing::AssertionResult near(const Sim::Unit& got, const Sim::Unit& want, double tolerance) {
    const double d[4] = {got.alpha - want.alpha, got.red - want.red, got.green - want.green, got.blue - want.blue};
    for (double v : d) {
        if (!(std::fabs(v) <= tolerance)) {
            return ::testing::AssertionFailure() << "got " << text(got) << ", want " << text(want) << " within "
                                                 << tolerance;
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace WorldHelpers
