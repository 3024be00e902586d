#pragma once

// The readers and writers of each file format behind image_io.h.

#include <cstdint>
#include <string>

#include "host/sim/image_file.h"
#include "host/sim/image_io.h"

namespace Sim {

// Refuses an empty picture or one beyond the world size limits.
void checkImageSize(const std::string& path, int64_t width, int64_t height);

bool isPng(const unsigned char* start, size_t length);
bool isExr(const unsigned char* start, size_t length);

LoadedImage readPng(const ImageInput& input, const ReadOptions& options);
void writePng(ImageOutput& output, const PixelsView& view, const WriteOptions& options);

LoadedImage readExr(const ImageInput& input, const ReadOptions& options);
void writeExr(ImageOutput& output, const PixelsView& view, const WriteOptions& options);
// Throws ImageError for a name OpenEXR does not offer.
void checkExrCompression(const std::string& path, const std::string& name);

}  // namespace Sim
