#pragma once

namespace Glow {

// The FFT tile size for a kernel radius on an image: 256 doubled while a tile would not hold the
// whole image with its border and is still smaller than three radii. Always a power of two of at
// least 256; it stops doubling at 2^30, where a tile could no longer be allocated anyway.
int getKernelSize(int radius, int width, int height);

}  // namespace Glow
