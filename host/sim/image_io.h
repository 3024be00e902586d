#pragma once

// Layers from image files and renders to them: PNG at 8 or 16 bits per channel, OpenEXR as float.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "host/sim/worlds.h"

namespace Sim {

class ThreadPool;

// An image file that cannot be read or written, with the path and the reason in what().
class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where a file's pixels sit, kept from a read so that writing them out again keeps it. Only
// OpenEXR files carry it; for PNG it is the plain frame.
struct ImageLayout {
    // The data window's top-left corner: the world's pixel (0, 0) is the file's (originX, originY).
    int32_t originX = 0;
    int32_t originY = 0;
    // The display window, inclusive corners; absent means the data window itself.
    bool hasDisplayWindow = false;
    int32_t displayLeft = 0, displayTop = 0, displayRight = 0, displayBottom = 0;
    // The colour was stored as 16-bit half floats.
    bool half = false;
};

// What reading a file cost, for tests that bound the work a hostile file can cause.
struct ReadCost {
    uint64_t readCalls = 0;          // system calls that read the file
    uint64_t imageDataInflated = 0;  // PNG: bytes of compressed image data handed to zlib
};

struct ReadOptions {
    // OpenEXR: the part of that name, or the channels of that layer ("beauty" for beauty.R, ...).
    std::string layer;
    // OpenEXR: the part with this index; -1 lets the channels decide.
    int part = -1;
    // Conversions run on these threads when the picture is large enough to gain; null: the caller's.
    ThreadPool* pool = nullptr;
    // Filled in after a successful read when given.
    ReadCost* cost = nullptr;
};

struct LoadedImage {
    Image image;
    ImageLayout layout;
};

constexpr int kDefaultPngCompression = 2;

struct WriteOptions {
    ImageLayout layout;
    // zlib level 0 (none) to 9: 1 to 3 fast (run-length matching), 4 to 8 zlib's usual search,
    // 9 the smallest files, with every row filter tried.
    int pngCompression = kDefaultPngCompression;
    // One of exrCompressionNames(); "zip" unless chosen.
    std::string exrCompression = "zip";
    ThreadPool* pool = nullptr;
};

// The format follows the file's contents: an 8-bit PNG gives an "argb" image, a 16-bit PNG an
// "ae16" image (0..65535 scaled to 0..32768, rounded to nearest), an OpenEXR file an "ae32" image
// with straight colour (the file's premultiplied colour divided by alpha; 0 where alpha is 0).
// Files beyond the world size limits are refused before their pixels are read; memory grows with
// what the file actually holds.
LoadedImage readImage(const std::string& path, const ReadOptions& options = {});

// The format follows the extension: ".png" is written at 8 bits for an "argb" world and at 16
// bits otherwise, ".exr" with premultiplied colour, as half or float channels as the layout says.
// The file appears complete or not at all: the pixels go to a temporary file beside it, renamed
// into place once every byte is written.
void writeImage(const std::string& path, const PF_LayerDef& world, const WriteOptions& options = {});

// Throws the ImageError writeImage would throw for the path and options before any pixel is
// written: an unknown extension or OpenEXR compression, a folder that is missing or cannot take
// the file, a target that is not a regular file. Leaves nothing behind.
void checkImageOutput(const std::string& path, const WriteOptions& options = {});

// readImage(path).image, and writeImage with the default options.
Image loadImage(const std::string& path);
void saveImage(const std::string& path, const PF_LayerDef& world);

// The OpenEXR compressions by name, separated by ", ", for messages and usage.
std::string exrCompressionNames();

}  // namespace Sim
