#pragma once

// Small worlds for the tests of the host's pixel work: pixels read and written in unit scale.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/sim/worlds.h"
#include "library/utility/pixel.h"

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

// Colour from a little below 0 to a little above 1, alpha from 0 to 1, fixed by the place.
inline void setVaried(PF_LayerDef* world) {
    auto hash = [](uint32_t v) {
        v ^= v >> 16;
        v *= 0x7feb352dU;
        v ^= v >> 15;
        v *= 0x846ca68bU;
        return (v ^ (v >> 16)) / 4294967296.0;
    };
    for (int32_t y = 0; y < world->height; ++y) {
        for (int32_t x = 0; x < world->width; ++x) {
            const uint32_t at = uint32_t(y) * 65536U + uint32_t(x);
            const double alpha = x % 7 == 0 ? 0.0 : hash(4 * at);
            set(world, x, y,
                {alpha, hash(4 * at + 1) * 1.5 - 0.25, hash(4 * at + 2) * 1.5 - 0.25, hash(4 * at + 3) * 1.5 - 0.25});
        }
    }
}

// The pixels of two worlds of one size and format, byte for byte.
inline ::testing::AssertionResult sameBytes(const PF_LayerDef* a, const PF_LayerDef* b) {
    if (a->width != b->width || a->height != b->height || a->pixel_format != b->pixel_format) {
        return ::testing::AssertionFailure() << "worlds differ in size or format";
    }
    const size_t rowLength = size_t(a->width) * Sim::pixelBytes(a->pixel_format);
    for (int32_t y = 0; y < a->height; ++y) {
        if (std::memcmp(static_cast<const char*>(a->data) + ptrdiff_t(y) * a->rowbytes,
                        static_cast<const char*>(b->data) + ptrdiff_t(y) * b->rowbytes, rowLength) != 0) {
            return ::testing::AssertionFailure() << "row " << y << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

inline std::string text(const Sim::Unit& u) {
    return "(" + std::to_string(u.alpha) + ", " + std::to_string(u.red) + ", " + std::to_string(u.green) + ", " +
           std::to_string(u.blue) + ")";
}

inline ::testing::AssertionResult near(const Sim::Unit& got, const Sim::Unit& want, double tolerance) {
    const double d[4] = {got.alpha - want.alpha, got.red - want.red, got.green - want.green, got.blue - want.blue};
    for (double v : d) {
        if (!(std::fabs(v) <= tolerance)) {
            return ::testing::AssertionFailure()
                   << "got " << text(got) << ", want " << text(want) << " within " << tolerance;
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace WorldHelpers
