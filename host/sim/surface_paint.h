#pragma once

// Pictures of what effects drew: the strokes recorded on a window's drawing surface painted over
// an image, so a drawn custom UI can be looked at.

#include "host/sim/drawing.h"
#include "host/sim/worlds.h"

namespace Sim {

// Paints every stroked path of the window, in order, with its pen's colour and width onto an
// 8-bit image whose pixels are the window's. Curves are flattened into short lines; edges are
// smoothed over one pixel. Throws std::invalid_argument for an image of another depth.
void paintStrokes(const Window& window, Image& image);

}  // namespace Sim
