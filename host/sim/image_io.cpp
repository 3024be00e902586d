#include "host/sim/image_io.h"

#include <cstring>
#include <new>

#include "host/sim/image_formats.h"

namespace Sim {

namespace {

bool endsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        const char c = text[text.size() - n + i];
        if (char(c | 0x20) != suffix[i] && c != suffix[i]) return false;
    }
    return true;
}

// True for PNG, false for OpenEXR; throws for any other extension or options the format refuses.
bool checkOutputFormat(const std::string& path, const WriteOptions& options) {
    const bool png = endsWith(path, ".png");
    if (!png && !endsWith(path, ".exr")) imageFailure(path, "unknown extension; use .png or .exr");
    if (!png) checkExrCompression(path, options.exrCompression);
    return png;
}

// A failed allocation as the reason a file cannot be read or written, with what it was for
// where that is known.
[[noreturn]] void outOfMemory(const std::string& path, const char* doing, const std::bad_alloc& error) {
    const bool named = dynamic_cast<const OutOfMemory*>(&error) != nullptr;
    imageFailure(path, std::string("not enough memory to ") + doing + (named ? std::string(": ") + error.what() : ""));
}

}  // namespace

void checkImageSize(const std::string& path, int64_t width, int64_t height) {
    if (width < 1 || height < 1) imageFailure(path, "empty image");
    if (width > kMaxWorldSide || height > kMaxWorldSide || width * height > kMaxWorldPixels) {
        imageFailure(path, std::to_string(width) + " x " + std::to_string(height) + " pixels is too large");
    }
}

LoadedImage readImage(const std::string& path, const ReadOptions& options) {
    const ImageInput input(path);
    unsigned char magic[8] = {};
    const size_t got = input.readAt(0, magic, sizeof magic);
    if (!isPng(magic, got) && !isExr(magic, got)) {
        imageFailure(path, got == 0 ? "empty file, not a PNG or OpenEXR file" : "not a PNG or OpenEXR file");
    }
    try {
        LoadedImage loaded = isPng(magic, got) ? readPng(input, options) : readExr(input, options);
        if (options.cost != nullptr) options.cost->readCalls = input.readCalls();
        return loaded;
    } catch (const std::bad_alloc& error) {
        outOfMemory(path, "read it", error);
    }
}

void writeImage(const std::string& path, const PF_LayerDef& world, const WriteOptions& options) {
    const size_t bytesPerPixel = pixelBytes(world.pixel_format);
    if (world.data == nullptr || bytesPerPixel == 0 || world.width < 0 || world.height < 0 ||
        int64_t(world.rowbytes) < int64_t(world.width) * int64_t(bytesPerPixel)) {
        imageFailure(path, "the world to write is malformed");
    }
    checkImageSize(path, world.width, world.height);
    const bool png = checkOutputFormat(path, options);
    const PixelsView view{static_cast<unsigned char*>(world.data), world.width, world.height, world.rowbytes,
                          world.pixel_format};
    try {
        ImageOutput output(path);
        if (png) {
            writePng(output, view, options);
        } else {
            writeExr(output, view, options);
        }
        output.commit();
    } catch (const std::bad_alloc& error) {
        outOfMemory(path, "write it", error);
    }
}

void checkImageOutput(const std::string& path, const WriteOptions& options) {
    checkOutputFormat(path, options);
    // Made and dropped again: the same checks as the real write, and nothing left behind.
    const ImageOutput probe(path);
}

Image loadImage(const std::string& path) { return readImage(path).image; }

void saveImage(const std::string& path, const PF_LayerDef& world) { writeImage(path, world); }

}  // namespace Sim
