#pragma once

// Worlds of the simulated host: the pixel buffers behind every PF_LayerDef it hands out, the
// check of records that effects hand back, and depth conversion between the three pixel kinds.

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/sim/host.h"
#include "host/sim/pixel_traits.h"
#include "morvel_host/host.h"

namespace Sim {

// Beyond these a world is refused as absurd rather than attempted.
constexpr int32_t kMaxWorldSide = 30000;
constexpr int64_t kMaxWorldPixels = int64_t(1) << 26;

// Bytes of one pixel of a known format; 0 for any other.
size_t pixelBytes(PF_PixelFormat format);
// "argb", "ae16", ... for log lines.
std::string formatName(PF_PixelFormat format);

// Memory that could not be had; what() says what it was for ("cannot allocate a 7680x4320 ae32
// world (507 MB)").
class OutOfMemory : public std::bad_alloc {
public:
    explicit OutOfMemory(std::string what) : what_(std::move(what)) {}
    const char* what() const noexcept override { return what_.c_str(); }

private:
    std::string what_;
};

// Zeroed memory on pages of its own, ending against a page that cannot be touched, so that a
// write past the last row faults at once. Retired memory gives its pages back but keeps its
// addresses reserved (and inaccessible) until it goes: a buffer made later never has them.
class PixelMemory {
public:
    PixelMemory() = default;
    // Throws OutOfMemory.
    explicit PixelMemory(size_t size);
    ~PixelMemory();
    PixelMemory(PixelMemory&& other) noexcept;
    PixelMemory& operator=(PixelMemory&& other) noexcept;
    PixelMemory(const PixelMemory&) = delete;
    PixelMemory& operator=(const PixelMemory&) = delete;

    unsigned char* data() const { return data_; }
    size_t size() const { return size_; }
    void retire();

private:
    void release();

    void* map_ = nullptr;
    size_t mapSize_ = 0;
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

// Owned pixels and the record that describes them. Rows carry padding, so that code which steps
// rows by width x pixel size instead of the row bytes shows up at once.
class Image {
public:
    Image() = default;
    // Zeroed pixels. Throws std::invalid_argument for a bad format or size beyond the limits,
    // OutOfMemory naming the world when its pixels cannot be had.
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
    unsigned char* begin() { return bytes_.data(); }
    const unsigned char* begin() const { return bytes_.data(); }
    size_t byteSize() const { return bytes_.size(); }
    // Gives the pixels' pages back but keeps their addresses, so no later image has them.
    void retire() {
        bytes_.retire();
        def_ = PF_LayerDef{};
    }

    template <typename Pixel>
    Pixel& at(int32_t x, int32_t y) {
        return reinterpret_cast<Pixel*>(bytes_.data() + size_t(y) * size_t(def_.rowbytes))[x];
    }
    template <typename Pixel>
    const Pixel& at(int32_t x, int32_t y) const {
        return reinterpret_cast<const Pixel*>(bytes_.data() + size_t(y) * size_t(def_.rowbytes))[x];
    }

private:
    PixelMemory bytes_;
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
    explicit WorldStore(Host& host);
    ~WorldStore();
    WorldStore(const WorldStore&) = delete;
    WorldStore& operator=(const WorldStore&) = delete;

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
    // The same for calls made per pixel (sampling): each thread remembers the last record it
    // found good until a world goes.
    PF_Err checkOften(const PF_LayerDef* world, std::string_view caller) const;
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

    // Takes a buffer out of the store, keeping its addresses until the store goes. Caller holds
    // the mutex.
    void retire(std::map<uintptr_t, Buffer>::iterator buffer);

    Host& host_;
    mutable std::mutex mutex_;
    std::map<uintptr_t, Buffer> buffers_;  // by start address
    std::vector<std::unique_ptr<Image>> retired_;
};

// ---------------------------------------------------------------- depth conversion

// Channel values in unit scale (1.0 = full) as doubles, straight or premultiplied as stored.
struct Unit {
    double alpha, red, green, blue;
};

template <typename Pixel>
Unit toUnit(const Pixel& p) {
    using Traits = PixelTraits<Pixel>;
    return {Traits::toUnit(p.alpha), Traits::toUnit(p.red), Traits::toUnit(p.green), Traits::toUnit(p.blue)};
}

template <typename Pixel>
void fromUnit(const Unit& u, Pixel* p) {
    using Traits = PixelTraits<Pixel>;
    *p = {Traits::fromUnit(u.alpha), Traits::fromUnit(u.red), Traits::fromUnit(u.green), Traits::fromUnit(u.blue)};
}

// Parts of installWorldSuites, one per file.
void installPixelCallbacks(PF_UtilCallbacks& utils);
void installTransferCallback(PF_UtilCallbacks& utils);

// The callbacks of the smart-render commands, one table each for the whole host.
PF_PreRenderCallbacks* preRenderCallbacks();
PF_SmartRenderCallbacks* smartRenderCallbacks();

}  // namespace Sim
