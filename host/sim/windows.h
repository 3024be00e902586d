#pragma once

// The composition and layer windows of the simulated host: they show the layer an effect is
// applied to (a layer window) or its composition (a composition window) at a zoom and offset,
// send the effect's custom UI its click, drag and draw events with the instance's current
// parameter values, and write back the values the effect flags as changed.

#include <cstdint>

#include "host/sim/drawing.h"

namespace Sim {

class PluginInstance;

// Sends an event of any window to the instance (command 15) with its current parameter values;
// then writes the values it flagged changed back where the instance keeps them (its streams once
// it is in the project), logging any outside the parameter's valid range. An arbitrary value is
// kept when the effect changed the value it was handed in place; one it replaced is refused.
PF_Err sendEvent(PluginInstance& instance, PF_EventExtra& event);

class ViewWindow : public Window {
public:
    // type: PF_Window_COMP or PF_Window_LAYER. A composition window needs the layer for
    // layer ↔ composition conversions; a layer window may have one too.
    ViewWindow(Host& host, int32_t type, ProjectLayer* layer);

    // Events as the host makes them. A click and the drags that follow carry the continue_refcon
    // kept from the last event this window sent.
    PF_EventExtra clickEvent(PF_Point where, int32_t modifiers = PF_Mod_NONE) const;
    PF_EventExtra dragEvent(PF_Point where, int32_t modifiers = PF_Mod_NONE, bool lastTime = false) const;
    PF_EventExtra drawEvent() const;

    // Sends the event as sendEvent does, and keeps continue_refcon and send_drag for the next one.
    PF_Err send(PluginInstance& instance, PF_EventExtra& event);
    PF_Err click(PluginInstance& instance, PF_Point where, int32_t modifiers = PF_Mod_NONE);
    PF_Err drag(PluginInstance& instance, PF_Point where, int32_t modifiers = PF_Mod_NONE, bool lastTime = false);
    PF_Err draw(PluginInstance& instance);

    // What the effect did with the last event sent.
    const PF_EventExtra& lastEvent() const { return last_; }
    // The effect asked for the drags that follow its click.
    bool dragging() const { return dragging_; }

    // The screen point that shows a layer (or, in a layer window, source) point, and back,
    // through the same conversions the callbacks make, at layer time 0.
    PF_Point screenOf(double layerX, double layerY) const;
    void layerOf(double screenX, double screenY, double& layerX, double& layerY) const;

private:
    PF_EventExtra pointerEvent(int32_t type, PF_Point where, int32_t modifiers) const;

    PF_EventExtra last_{};
    intptr_t refcon_[4] = {0, 0, 0, 0};
    bool dragging_ = false;
};

}  // namespace Sim
