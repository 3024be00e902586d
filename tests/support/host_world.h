#pragma once

#include <cstddef>

#include "host/sim/worlds.h"

// A world of the current host's own (as a layer or a file would be), for tests that hand pixels
// to host functions which only read what the host gave out.
template <typename Pixel>
class HostWorld {
public:
    HostWorld(int width, int height)
        : host_(Sim::Host::current()), world_(host_.worlds().newHostWorld(width, height, format())), record_(*world_) {}
    ~HostWorld() { host_.worlds().drop(world_); }
    HostWorld(const HostWorld&) = delete;
    HostWorld& operator=(const HostWorld&) = delete;

    // A record of the world as an effect holds one: changing it does not change the host's.
    PF_LayerDef* get() { return &record_; }
    Pixel& at(int x, int y) {
        return reinterpret_cast<Pixel*>(static_cast<char*>(world_->data) +
                                        static_cast<size_t>(y) * world_->rowbytes)[x];
    }
    int width() const { return world_->width; }
    int height() const { return world_->height; }

private:
    static PF_PixelFormat format() {
        if constexpr (sizeof(Pixel) == sizeof(PF_Pixel)) return PF_PixelFormat_ARGB32;
        if constexpr (sizeof(Pixel) == sizeof(PF_Pixel16)) return PF_PixelFormat_ARGB64;
        return PF_PixelFormat_ARGB128;
    }

    Sim::Host& host_;
    PF_LayerDef* world_;
    PF_LayerDef record_;
};
