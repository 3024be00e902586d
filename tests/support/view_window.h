#pragma once

#include <memory>

#include "host/sim/project.h"
#include "host/sim/windows.h"

// A composition window onto the layer, which is scaled 50 %, turned 30° about its anchor and
// moved to the position, seen at zoom 2 with offset (10, 20): every conversion between the screen
// and the layer changes a point.
inline std::unique_ptr<Sim::ViewWindow> turnedCompositionWindow(Sim::Host& host, Sim::ProjectLayer& layer,
                                                                double anchorX, double anchorY, double positionX,
                                                                double positionY) {
    auto place = [&layer](AEGP_LayerStream which, double x, double y) {
        layer.transform[which]->value.v[0] = x;
        layer.transform[which]->value.v[1] = y;
    };
    place(AEGP_LayerStream_ANCHORPOINT, anchorX, anchorY);
    place(AEGP_LayerStream_POSITION, positionX, positionY);
    place(AEGP_LayerStream_SCALE, 50, 50);
    place(AEGP_LayerStream_ROTATION, 30, 0);
    auto window = std::make_unique<Sim::ViewWindow>(host, PF_Window_COMP, &layer);
    window->setZoom(2);
    window->setOffset(10, 20);
    return window;
}
