#pragma once

#include <vector>

#include "library/utility/pixel.h"
#include "morvel_host/host.h"

// A world over memory of its own, for tests that need pixels without the host creating them.
// Rows are padded so that code addressing by width instead of row bytes shows up.
template <typename Pixel>
class RawWorld {
public:
    RawWorld(int width, int height, int padPixels = 3)
        : stride_(width + padPixels), pixels_(static_cast<size_t>(stride_) * (height > 0 ? height : 0)) {
        world_.width = width;
        world_.height = height;
        world_.rowbytes = stride_ * static_cast<int>(sizeof(Pixel));
        world_.data = pixels_.empty() ? nullptr : pixels_.data();
        world_.pixel_format = Morvel::PixelTraits<Pixel>::format;
        world_.extent_hint = {0, 0, width, height};
    }
    RawWorld(const RawWorld&) = delete;
    RawWorld& operator=(const RawWorld&) = delete;

    PF_LayerDef* get() { return &world_; }
    Pixel& at(int x, int y) { return pixels_[static_cast<size_t>(y) * stride_ + x]; }
    int width() const { return world_.width; }
    int height() const { return world_.height; }

private:
    int stride_;
    std::vector<Pixel> pixels_;
    PF_LayerDef world_{};
};
