#pragma once

// Layers from image files and renders to them: PNG at 8 or 16 bits per channel, OpenEXR as float.

#include <stdexcept>
#include <string>

#include "host/sim/worlds.h"

namespace Sim {

// An image file that cannot be read or written, with the reason in what().
class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The format follows the file's contents: an 8-bit PNG gives an "argb" image, a 16-bit PNG an
// "ae16" image (0..65535 scaled to 0..32768), an OpenEXR file an "ae32" image. Files beyond the
// world size limits are refused before their pixels are read.
Image loadImage(const std::string& path);

// The format follows the extension: ".png" is written at 8 bits for an "argb" world and at 16
// bits otherwise, ".exr" as 32-bit float channels. Colour is straight in both, as in the world.
void saveImage(const std::string& path, const PF_LayerDef& world);

}  // namespace Sim
