#pragma once

// Worlds of the simulated host: the pixel buffers behind every PF_LayerDef it hands out, the
// check of records that effects hand back, and depth conversion between the three pixel kinds.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/sim/host.h"
#include "library/utility/pixel.h"
#include "morvel_host/host.h"

namespace Sim {

// Beyond these a world is refused as absurd rather than attempted.
constexpr int32_t kMaxWorldSide = 30000;
constexpr int64_t kMaxWorldPixels = int64_t(1) << 26;

// Bytes of one pixel of a known format; 0 for any other.
size_t pixelBytes(PF_PixelFormat format);
// "argb", "ae16", ... for log lines.
std::string formatName(PF_PixelFormat format);

// Owned pixels and the record that describes them. Rows carry padding, so that code which steps
// rows by width x pixel size instead of the row bytes shows up at once.
class Image {
public:
    Image() = default;
    // Zeroed pixels. Throws std::invalid_argument for a bad format or size beyond the limits.
    Image(int32_t width, int32_t height, PF_PixelFormat format);
    Image(Image&&) noexcept = default;
    Image& operator=(Image&&) noexcept = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    PF_LayerDef& def() { return def_; }
    const PF_LayerDef& def() const { return def_; }
    int32_t width() const { return def_.width; }
    int32_t height() const { return def_.height; }
    PF_PixelFormat format() const { return def_.pixel_format; }
    unsigned char* begin() { return bytes_.get(); }
    const unsigned char* begin() const { return bytes_.get(); }
    size_t byteSize() const { return size_; }

    template <typename Pixel>
    Pixel& at(int32_t x, int32_t y) {
        return reinterpret_cast<Pixel*>(bytes_.get() + size_t(y) * size_t(def_.rowbytes))[x];
    }
    template <typename Pixel>
    const Pixel& at(int32_t x, int32_t y) const {
        return reinterpret_cast<const Pixel*>(bytes_.get() + size_t(y) * size_t(def_.rowbytes))[x];
    }

private:
    struct Free {
        void operator()(unsigned char* bytes) const;
    };
    // From calloc: a large image's pages stay untouched until written, so memory in use grows
    // with what a reader actually fills.
    std::unique_ptr<unsigned char[], Free> bytes_;
    size_t size_ = 0;
    PF_LayerDef def_{};
};

// A checked world record: pixels the host knows, described within their buffer.
struct PixelsView {
    unsigned char* base = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t rowbytes = 0;
    PF_PixelFormat format = 0;

    template <typename Pixel>
    Pixel* row(int32_t y) const {
        return reinterpret_cast<Pixel*>(base + ptrdiff_t(y) * rowbytes);
    }
    bool overlaps(const PixelsView& other) const;
    // Copies the pixels into an image of their own and points this view at it, for work whose
    // source and destination share memory.
    Image detach();
};

// Every pixel buffer the host has handed out: worlds created for effects (kept in the ledger as
// "world" until disposed) and the host's own (layers, outputs, images from files).
class WorldStore {
public:
    explicit WorldStore(Host& host) : host_(host) {}

    PF_Err newWorld(int32_t width, int32_t height, PF_PixelFormat format, bool clear, PF_LayerDef* world);
    PF_Err disposeWorld(PF_LayerDef* world);

    // Host worlds live until dropped or until the host goes. The record returned stays valid.
    PF_LayerDef* adopt(Image image);
    PF_LayerDef* newHostWorld(int32_t width, int32_t height, PF_PixelFormat format);
    void drop(const PF_LayerDef* world);
    // The host world whose record is `world`, or null.
    Image* hostImage(const PF_LayerDef* world);

    // Checks a record handed back by an effect; on failure logs why, naming the caller.
    PF_Err check(const PF_LayerDef* world, std::string_view caller, PixelsView* view) const;
    // The format of the buffer a record points into, else the record's own field.
    PF_PixelFormat formatOf(const PF_LayerDef& world) const;
    size_t effectWorlds() const;

private:
    struct Buffer {
        std::unique_ptr<Image> image;
        bool effectOwned = false;
    };
    // The buffer holding the address, or null. Caller holds the mutex.
    const Buffer* find(const void* address) const;

    Host& host_;
    mutable std::mutex mutex_;
    std::map<uintptr_t, Buffer> buffers_;  // by start address
};

// ---------------------------------------------------------------- depth conversion

// Channel values in unit scale (1.0 = full) as doubles, straight or premultiplied as stored.
struct Unit {
    double alpha, red, green, blue;
};

template <typename Pixel>
Unit toUnit(const Pixel& p) {
    using Traits = Morvel::PixelTraits<Pixel>;
    return {Traits::toUnit(p.alpha), Traits::toUnit(p.red), Traits::toUnit(p.green), Traits::toUnit(p.blue)};
}

template <typename Pixel>
void fromUnit(const Unit& u, Pixel* p) {
    using Traits = Morvel::PixelTraits<Pixel>;
    *p = {Traits::fromUnit(u.alpha), Traits::fromUnit(u.red), Traits::fromUnit(u.green), Traits::fromUnit(u.blue)};
}

// Runs fn(Morvel::PixelTag<Pixel>{}) with the pixel type of a format; an unknown format is read
// as 8-bit, the host's default.
template <typename Fn>
auto withPixelType(PF_PixelFormat format, Fn&& fn) {
    Morvel::Bpc bpc = Morvel::Bpc8;
    Morvel::bpcOfFormat(format, &bpc);
    return Morvel::withPixelType(bpc, std::forward<Fn>(fn));
}

// Parts of installWorldSuites, one per file.
void installPixelCallbacks(PF_UtilCallbacks& utils);
void installTransferCallback(PF_UtilCallbacks& utils);

// The callbacks of the smart-render commands, one table each for the whole host.
PF_PreRenderCallbacks* preRenderCallbacks();
PF_SmartRenderCallbacks* smartRenderCallbacks();

}  // namespace Sim
