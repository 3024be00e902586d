#include "host/sim/worlds.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "host/sim/host.h"

namespace Sim {

size_t pixelBytes(PF_PixelFormat format) {
    switch (format) {
        case PF_PixelFormat_ARGB32: return sizeof(PF_Pixel);
        case PF_PixelFormat_ARGB64: return sizeof(PF_Pixel16);
        case PF_PixelFormat_ARGB128: return sizeof(PF_PixelFloat);
        default: return 0;
    }
}

std::string formatName(PF_PixelFormat format) {
    std::string name;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((format >> (8 * i)) & 0xff);
        name += (c >= 32 && c < 127) ? c : '?';
    }
    return name;
}

namespace {

// Counts worlds gone in any store (and stores made and gone), so that a record checked before
// is checked again after any of these.
std::atomic<uint64_t> worldsGone{0};

constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kHugePageWorth = 2 * kHugePage;

bool sizeAllowed(int32_t width, int32_t height) {
    return width >= 0 && height >= 0 && width <= kMaxWorldSide && height <= kMaxWorldSide &&
           int64_t(width) * height <= kMaxWorldPixels;
}

std::string describe(int32_t width, int32_t height, PF_PixelFormat format) {
    return std::to_string(width) + "x" + std::to_string(height) + " " + formatName(format);
}

std::string megabytes(size_t bytes) { return std::to_string((bytes + (size_t(1) << 20) - 1) >> 20) + " MB"; }

}  // namespace

// ---------------------------------------------------------------- PixelMemory

PixelMemory::PixelMemory(size_t size) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t dataPages = (std::max<size_t>(size, 1) + page - 1) / page;
    // Large pixel buffers go in huge pages where the system allows: each first touch of a small
    // page is a fault, and a frame has thousands. The guard then sits on a huge-page boundary, so
    // that every whole huge page of the pixels can be one.
    const bool huge = dataPages * page >= kHugePageWorth;
    const size_t slack = huge ? kHugePage : 0;
    mapSize_ = (dataPages + 1) * page + slack;
    void* map = ::mmap(nullptr, mapSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw OutOfMemory("cannot allocate " + megabytes(size) + " of pixel memory");
    map_ = map;
    auto guardAt = reinterpret_cast<uintptr_t>(map_) + dataPages * page;
    if (huge) {
        guardAt = (guardAt + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
        ::madvise(map_, guardAt - reinterpret_cast<uintptr_t>(map_), MADV_HUGEPAGE);
    }
    ::mprotect(reinterpret_cast<void*>(guardAt), page, PROT_NONE);
    // Aligned for any pixel, as close to the guard page as that allows.
    data_ = reinterpret_cast<unsigned char*>((guardAt - size) & ~uintptr_t(15));
    size_ = size;
}

PixelMemory::~PixelMemory() { release(); }

PixelMemory::PixelMemory(PixelMemory&& other) noexcept
    : map_(other.map_), mapSize_(other.mapSize_), data_(other.data_), size_(other.size_) {
    other.map_ = nullptr;
    other.mapSize_ = 0;
    other.data_ = nullptr;
    other.size_ = 0;
}

PixelMemory& PixelMemory::operator=(PixelMemory&& other) noexcept {
    if (this != &other) {
        release();
        std::swap(map_, other.map_);
        std::swap(mapSize_, other.mapSize_);
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
    }
    return *this;
}

void PixelMemory::retire() {
    if (map_ == nullptr) return;
    // Fresh inaccessible pages over the old ones: the memory goes back, the addresses stay taken.
    ::mmap(map_, mapSize_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
    data_ = nullptr;
    size_ = 0;
}

void PixelMemory::release() {
    if (map_ != nullptr) ::munmap(map_, mapSize_);
    map_ = nullptr;
    mapSize_ = 0;
    data_ = nullptr;
    size_ = 0;
}

// ---------------------------------------------------------------- Image

Image::Image(int32_t width, int32_t height, PF_PixelFormat format) {
    const size_t bytesPerPixel = pixelBytes(format);
    if (bytesPerPixel == 0) throw std::invalid_argument("unknown pixel format " + formatName(format));
    if (!sizeAllowed(width, height)) {
        throw std::invalid_argument("world size " + describe(width, height, format) + " is out of range");
    }
    // At least 16 bytes of padding, and a whole number of pixels per row.
    const size_t rowbytes = (size_t(width) * bytesPerPixel + 15) / 16 * 16 + 16;
    const size_t size = rowbytes * size_t(height > 0 ? height : 1);
    try {
        bytes_ = PixelMemory(size);
    } catch (const std::bad_alloc&) {
        throw OutOfMemory("cannot allocate a " + describe(width, height, format) + " world (" + megabytes(size) + ")");
    }
    def_.world_flags = PF_WorldFlag_WRITEABLE | (format == PF_PixelFormat_ARGB64 ? PF_WorldFlag_DEEP : 0);
    def_.data = bytes_.data();
    def_.rowbytes = static_cast<int32_t>(rowbytes);
    def_.width = width;
    def_.height = height;
    def_.extent_hint = {0, 0, width, height};
    def_.pixel_format = format;
}

bool PixelsView::overlaps(const PixelsView& other) const {
    const unsigned char* end = base + ptrdiff_t(height) * rowbytes;
    const unsigned char* otherEnd = other.base + ptrdiff_t(other.height) * other.rowbytes;
    return base < otherEnd && other.base < end;
}

Image PixelsView::detach() {
    Image copy(width, height, format);
    const size_t rowLength = size_t(width) * pixelBytes(format);
    for (int32_t y = 0; y < height; ++y) std::memcpy(&copy.at<unsigned char>(0, y), row<unsigned char>(y), rowLength);
    base = copy.begin();
    rowbytes = copy.def().rowbytes;
    return copy;
}

// ---------------------------------------------------------------- WorldStore

WorldStore::WorldStore(Host& host) : host_(host) { worldsGone.fetch_add(1); }

WorldStore::~WorldStore() { worldsGone.fetch_add(1); }

PF_Err WorldStore::newWorld(int32_t width, int32_t height, PF_PixelFormat format, bool clear, PF_LayerDef* world) {
    if (world == nullptr || pixelBytes(format) == 0 || width < 0 || height < 0) {
        host_.log().add("error: new world: bad arguments " + describe(width, height, format));
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (!sizeAllowed(width, height)) {
        host_.log().add("error: new world: refused absurd size " + describe(width, height, format));
        return PF_Err_OUT_OF_MEMORY;
    }
    std::unique_ptr<Image> image;
    try {
        image = std::make_unique<Image>(width, height, format);
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    }
    // Uncleared pixels are not zero on a real host either; a pattern exposes code that assumes so.
    if (!clear) std::memset(image->begin(), 0xcd, image->byteSize());
    *world = image->def();
    const std::string key = Ledger::keyOf(world->data);
    {
        std::lock_guard lock(mutex_);
        buffers_[reinterpret_cast<uintptr_t>(world->data)] = Buffer{std::move(image), true};
    }
    host_.ledger().acquire("world", key, describe(width, height, format));
    return PF_Err_NONE;
}

PF_Err WorldStore::disposeWorld(PF_LayerDef* world) {
    if (world == nullptr || world->data == nullptr) {
        host_.log().add("error: dispose of a null world");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    {
        std::lock_guard lock(mutex_);
        auto found = buffers_.find(reinterpret_cast<uintptr_t>(world->data));
        if (found == buffers_.end() || !found->second.effectOwned) {
            host_.log().add("error: dispose of a world the host did not create for the effect");
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        retire(found);
    }
    host_.ledger().release("world", Ledger::keyOf(world->data));
    *world = PF_LayerDef{};
    return PF_Err_NONE;
}

PF_LayerDef* WorldStore::adopt(Image image) {
    auto owned = std::make_unique<Image>(std::move(image));
    PF_LayerDef* def = &owned->def();
    std::lock_guard lock(mutex_);
    buffers_[reinterpret_cast<uintptr_t>(def->data)] = Buffer{std::move(owned), false};
    return def;
}

PF_LayerDef* WorldStore::newHostWorld(int32_t width, int32_t height, PF_PixelFormat format) {
    return adopt(Image(width, height, format));
}

void WorldStore::drop(const PF_LayerDef* world) {
    if (world == nullptr) return;
    std::lock_guard lock(mutex_);
    auto found = buffers_.find(reinterpret_cast<uintptr_t>(world->data));
    if (found != buffers_.end() && !found->second.effectOwned && &found->second.image->def() == world) retire(found);
}

void WorldStore::retire(std::map<uintptr_t, Buffer>::iterator buffer) {
    std::unique_ptr<Image> image = std::move(buffer->second.image);
    buffers_.erase(buffer);
    image->retire();
    retired_.push_back(std::move(image));
    worldsGone.fetch_add(1);
}

Image* WorldStore::hostImage(const PF_LayerDef* world) {
    if (world == nullptr) return nullptr;
    std::lock_guard lock(mutex_);
    auto found = buffers_.find(reinterpret_cast<uintptr_t>(world->data));
    if (found == buffers_.end() || found->second.effectOwned || &found->second.image->def() != world) return nullptr;
    return found->second.image.get();
}

const WorldStore::Buffer* WorldStore::find(const void* address) const {
    const auto key = reinterpret_cast<uintptr_t>(address);
    auto after = buffers_.upper_bound(key);
    if (after == buffers_.begin()) return nullptr;
    const Buffer& buffer = std::prev(after)->second;
    const auto start = reinterpret_cast<uintptr_t>(buffer.image->begin());
    return key < start + buffer.image->byteSize() ? &buffer : nullptr;
}

PF_Err WorldStore::check(const PF_LayerDef* world, std::string_view caller, PixelsView* view) const {
    auto refuse = [&](const char* why) {
        host_.log().add("error: " + std::string(caller) + ": " + why);
        return PF_Err_BAD_CALLBACK_PARAM;
    };
    if (world == nullptr) return refuse("null world");
    if (world->data == nullptr) return refuse("world without pixels");
    if (world->width < 0 || world->height < 0) return refuse("negative world size");
    std::lock_guard lock(mutex_);
    const Buffer* buffer = find(world->data);
    if (buffer == nullptr) return refuse("world the host does not know");
    const Image& image = *buffer->image;
    if (world->pixel_format != image.format()) return refuse("world format differs from its pixels");
    const int64_t bytesPerPixel = int64_t(pixelBytes(image.format()));
    if (world->rowbytes < int64_t(world->width) * bytesPerPixel || world->rowbytes <= 0) {
        return refuse("row bytes too small for the width");
    }
    // The last byte the record describes must lie inside the buffer.
    const auto offset = static_cast<int64_t>(static_cast<const unsigned char*>(world->data) - image.begin());
    const int64_t span =
        world->height == 0 ? 0 : int64_t(world->height - 1) * world->rowbytes + int64_t(world->width) * bytesPerPixel;
    if (offset + span > int64_t(image.byteSize())) return refuse("world reaches past its pixels");
    if (view != nullptr) {
        *view = PixelsView{static_cast<unsigned char*>(world->data), world->width, world->height, world->rowbytes,
                           image.format()};
    }
    return PF_Err_NONE;
}

PF_Err WorldStore::checkOften(const PF_LayerDef* world, std::string_view caller) const {
    struct Checked {
        const WorldStore* store = nullptr;
        uint64_t gone = 0;
        PF_LayerDef world{};
    };
    thread_local Checked last;
    const uint64_t gone = worldsGone.load();
    if (world != nullptr && last.store == this && last.gone == gone && last.world.data == world->data &&
        last.world.width == world->width && last.world.height == world->height &&
        last.world.rowbytes == world->rowbytes && last.world.pixel_format == world->pixel_format) {
        return PF_Err_NONE;
    }
    if (world != nullptr && world->pixel_format == 0) {
        // A record without a format describes its buffer's pixels.
        PF_LayerDef formatted = *world;
        formatted.pixel_format = formatOf(formatted);
        if (PF_Err err = check(&formatted, caller, nullptr)) return err;
    } else if (PF_Err err = check(world, caller, nullptr)) {
        return err;
    }
    last = Checked{this, gone, *world};
    return PF_Err_NONE;
}

PF_PixelFormat WorldStore::formatOf(const PF_LayerDef& world) const {
    std::lock_guard lock(mutex_);
    const Buffer* buffer = find(world.data);
    return buffer != nullptr ? buffer->image->format() : world.pixel_format;
}

size_t WorldStore::effectWorlds() const {
    std::lock_guard lock(mutex_);
    size_t count = 0;
    for (const auto& [start, buffer] : buffers_) count += buffer.effectOwned ? 1 : 0;
    return count;
}

// ---------------------------------------------------------------- world suites

namespace {

PF_Err newWorld1(PF_ProgPtr effect_ref, int32_t width, int32_t height, int32_t flags, PF_LayerDef* world) {
    Host& host = Host::current();
    host.log().add("new_world " + std::to_string(width) + "x" + std::to_string(height) + " flags " +
                   std::to_string(flags));
    if (PF_Err err = host.faults().onCall("new_world")) return err;
    if (effect_ref == nullptr || (flags & ~(PF_NewWorldFlag_CLEAR_PIXELS | PF_NewWorldFlag_DEEP_PIXELS)) != 0) {
        host.log().add("error: new_world: bad effect reference or flags");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const PF_PixelFormat format =
        (flags & PF_NewWorldFlag_DEEP_PIXELS) != 0 ? PF_PixelFormat_ARGB64 : PF_PixelFormat_ARGB32;
    return host.worlds().newWorld(width, height, format, (flags & PF_NewWorldFlag_CLEAR_PIXELS) != 0, world);
}

PF_Err disposeWorld1(PF_ProgPtr effect_ref, PF_LayerDef* world) {
    Host& host = Host::current();
    host.log().add("dispose_world");
    if (PF_Err err = host.faults().onCall("dispose_world")) return err;
    if (effect_ref == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    return host.worlds().disposeWorld(world);
}

PF_Err newWorld2(PF_ProgPtr effect_ref, int32_t width, int32_t height, PF_Boolean clear_pix,
                 PF_PixelFormat pixel_format, PF_LayerDef* world) {
    Host& host = Host::current();
    host.log().add("PF_NewWorld " + describe(width, height, pixel_format) + (clear_pix ? " clear" : ""));
    if (PF_Err err = host.faults().onCall("PF_NewWorld")) return err;
    if (effect_ref == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    return host.worlds().newWorld(width, height, pixel_format, clear_pix != 0, world);
}

PF_Err disposeWorld2(PF_ProgPtr effect_ref, PF_LayerDef* world) {
    Host& host = Host::current();
    host.log().add("PF_DisposeWorld");
    if (PF_Err err = host.faults().onCall("PF_DisposeWorld")) return err;
    if (effect_ref == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    return host.worlds().disposeWorld(world);
}

PF_Err getPixelFormat(const PF_LayerDef* world, PF_PixelFormat* pixel_format) {
    Host& host = Host::current();
    host.log().add("PF_GetPixelFormat");
    if (PF_Err err = host.faults().onCall("PF_GetPixelFormat")) return err;
    if (world == nullptr || pixel_format == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *pixel_format = host.worlds().formatOf(*world);
    return PF_Err_NONE;
}

const PF_WorldSuite1 kWorldSuite1 = {newWorld1, disposeWorld1};
const PF_WorldSuite2 kWorldSuite2 = {newWorld2, disposeWorld2, getPixelFormat};

}  // namespace

void installWorldSuites(Host& host) {
    host.faults().registerNames({"PF_DisposeWorld", "PF_GetPixelFormat", "PF_NewWorld", "dispose_world", "new_world"});
    // The callbacks of the input record and of the smart-render commands that work on worlds.
    host.faults().registerNames({"copy", "fill", "transfer_rect", "checkout_layer", "checkout_layer_pixels",
                                 "checkin_layer_pixels", "checkout_output"});

    host.addSuite(kPFWorldSuite, kPFWorldSuiteVersion1, &kWorldSuite1);
    host.addSuite(kPFWorldSuite, kPFWorldSuiteVersion2, &kWorldSuite2);
    installPixelCallbacks(*host.utilCallbacks());
    installTransferCallback(*host.utilCallbacks());
}

}  // namespace Sim
