#pragma once

// The windows of the simulated host that send custom-UI events, and the drawing surface behind
// the drawing suites, which records every call with its arguments. Pens, brushes, fonts and paths
// are in the ledger until released. The composition and layer windows are in windows.h.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/sim/host.h"

namespace Sim {

struct ProjectLayer;

struct PathStep {
    char op;  // 'M' move, 'L' line, 'C' cubic (three points), 'R' rectangle (left, top, width, height), 'Z' close
    std::vector<float> values;
};

// One call on the surface, with the objects it used resolved to what they were made with.
struct DrawCall {
    std::string function;
    // DrawString: brush red, green, blue, alpha, font size, origin x, y, alignment, truncation,
    // truncation width. StrokePath: pen red, green, blue, alpha, pen size. FillPath: brush colour,
    // fill type. PaintRect: colour, rectangle. SetAntiAliasPolicy: the policy.
    std::vector<double> numbers;
    std::u16string text;         // DrawString
    std::vector<PathStep> path;  // StrokePath, FillPath
};

// A window of the host that sends custom-UI events: its context, the drawing surface behind the
// drawing suites, and how its pixels (the frame) map to what it shows (the source: a layer or a
// composition) and, when it knows a layer, how that layer sits in its composition.
class Window {
public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    int32_t type() const { return context_.w_type; }
    PF_ContextH context() { return &context_; }

    // While off, the custom UI suite answers a null drawing reference (nothing can be drawn now).
    void setDrawingAvailable(bool available) { drawingAvailable_ = available; }

    const std::vector<DrawCall>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    // Calls of one function.
    std::vector<DrawCall> calls(const std::string& function) const;

    // Frame = source × zoom + offset, in pixels.
    double zoom() const { return zoom_; }
    void setZoom(double zoom);
    void setOffset(double x, double y);
    void frameToSource(double& x, double& y) const;
    void sourceToFrame(double& x, double& y) const;
    // The layer whose transform (anchor, position, scale, rotation) relates its pixels to the
    // composition's; null when the window knows none.
    ProjectLayer* layer() const { return layer_; }
    void setLayer(ProjectLayer* layer) { layer_ = layer; }
    // At a layer time in seconds; false without a layer, or for a layer scaled to nothing.
    bool layerToComp(double layerSeconds, double& x, double& y) const;
    bool compToLayer(double layerSeconds, double& x, double& y) const;

    // --- for the suites
    static Window* fromContext(PF_ContextH context);
    static Window* fromDrawRef(DRAWBOT_DrawRef ref);
    static Window* fromSupplier(DRAWBOT_SupplierRef ref);
    static Window* fromSurface(DRAWBOT_SurfaceRef ref);
    DRAWBOT_DrawRef drawRef() { return reinterpret_cast<DRAWBOT_DrawRef>(&drawTag_); }
    DRAWBOT_SupplierRef supplierRef() { return reinterpret_cast<DRAWBOT_SupplierRef>(&supplierTag_); }
    DRAWBOT_SurfaceRef surfaceRef() { return reinterpret_cast<DRAWBOT_SurfaceRef>(&surfaceTag_); }
    bool drawingAvailable() const { return drawingAvailable_; }
    void record(DrawCall call) { calls_.push_back(std::move(call)); }
    Host& host() { return host_; }
    // What the event callbacks are given back as their refcon.
    void* callbackRefcon() const { return const_cast<char*>(&refconTag_); }

protected:
    Window(Host& host, int32_t type, uint32_t magic);
    // An event of the type for this window, with its context and the four conversion callbacks.
    PF_EventExtra baseEvent(int32_t type) const;

private:
    Host& host_;
    PF_ContextRecord context_{};
    bool drawingAvailable_ = true;
    std::vector<DrawCall> calls_;
    double zoom_ = 1.0;
    double offsetX_ = 0.0;
    double offsetY_ = 0.0;
    ProjectLayer* layer_ = nullptr;
    // Distinct addresses that stand for the window's drawing reference, supplier and surface.
    char drawTag_ = 0;
    char supplierTag_ = 0;
    char surfaceTag_ = 0;
    char refconTag_ = 0;
};

// The four conversion callbacks of events (host/sim/windows.cpp), with the window's refcon.
PF_EventCallbacks eventCallbacks(Window& window);

// The effect-controls window: one control per parameter.
class EffectControlsWindow : public Window {
public:
    explicit EffectControlsWindow(Host& host);

    // Events for the parameter number index, whose control occupies frame.
    PF_EventExtra drawEvent(int32_t index, PF_Rect frame);
    PF_EventExtra cursorEvent(int32_t index, PF_Rect frame, PF_Point where, int32_t area = PF_EA_CONTROL);
    // A click; with sendDrag the effect asked earlier to be sent the drags that follow.
    PF_EventExtra clickEvent(int32_t index, PF_Rect frame, PF_Point where, bool sendDrag = false);
    PF_EventExtra dragEvent(int32_t index, PF_Rect frame, PF_Point where, bool lastTime);

private:
    PF_EventExtra controlEvent(int32_t type, int32_t index, PF_Rect frame) const;
};

void installDrawingSuites(Host& host);

}  // namespace Sim
