#include "host/tool/builtin_image.h"

#include <cmath>

namespace Tool {

namespace {

constexpr int32_t kWidth = 240;
constexpr int32_t kHeight = 160;

struct Light {
    double x, y, radius;
    float red, green, blue;
};

// Lights wide enough to survive downsampling by 2.
constexpr Light kLights[] = {
    {40, 36, 2.5, 1.0f, 1.0f, 1.0f},   {88, 28, 1.6, 1.0f, 0.85f, 0.5f}, {130, 50, 3.0, 0.5f, 0.9f, 1.0f},
    {60, 92, 2.0, 1.0f, 0.4f, 0.3f},   {170, 30, 1.5, 1.0f, 1.0f, 0.8f}, {200, 70, 2.2, 0.6f, 1.0f, 0.6f},
    {110, 120, 1.8, 1.0f, 1.0f, 1.0f},
};

}  // namespace

Sim::Image builtinImage() {
    Sim::Image image(kWidth, kHeight, PF_PixelFormat_ARGB128);
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            // A dark ground with a faint vertical gradient.
            const float ground = 0.03f + 0.05f * float(y) / kHeight;
            PF_PixelFloat p{1.0f, ground, ground, ground * 1.3f};
            // Hard edges: a mid-grey block and a thin bright line.
            if (x >= 150 && x < 200 && y >= 95 && y < 140) p = {1.0f, 0.45f, 0.45f, 0.45f};
            if (y == 80 && x >= 20 && x < 120) p = {1.0f, 0.9f, 0.9f, 0.95f};
            for (const Light& light : kLights) {
                const double d = std::hypot(x + 0.5 - light.x, y + 0.5 - light.y);
                if (d <= light.radius) p = {1.0f, light.red, light.green, light.blue};
            }
            // A band fading to transparent on the right.
            if (x >= 210) p.alpha = float(kWidth - x) / float(kWidth - 210 + 1);
            // Zero-alpha pixels that still carry colour, bottom left.
            if (x < 30 && y >= 130) p = {0.0f, 1.0f, 0.0f, 1.0f};
            image.at<PF_PixelFloat>(x, y) = p;
        }
    }
    return image;
}

}  // namespace Tool
