#pragma once

// The effect-controls window of the simulated host: the event records it sends to an effect's
// custom UI, and the drawing surface behind the drawing suites, which records every call with
// its arguments. Pens, brushes, fonts and paths are in the ledger until released.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/sim/host.h"

namespace Sim {

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
    std::u16string text;          // DrawString
    std::vector<PathStep> path;   // StrokePath, FillPath
};

class EffectControlsWindow {
public:
    explicit EffectControlsWindow(Host& host);
    ~EffectControlsWindow();
    EffectControlsWindow(const EffectControlsWindow&) = delete;
    EffectControlsWindow& operator=(const EffectControlsWindow&) = delete;

    // Events for the parameter number index, whose control occupies frame.
    PF_EventExtra drawEvent(int32_t index, PF_Rect frame);
    PF_EventExtra cursorEvent(int32_t index, PF_Rect frame, PF_Point where, int32_t area = PF_EA_CONTROL);
    // A click; with sendDrag the effect asked earlier to be sent the drags that follow.
    PF_EventExtra clickEvent(int32_t index, PF_Rect frame, PF_Point where, bool sendDrag = false);
    PF_EventExtra dragEvent(int32_t index, PF_Rect frame, PF_Point where, bool lastTime);

    // While off, the custom UI suite answers a null drawing reference (nothing can be drawn now).
    void setDrawingAvailable(bool available) { drawingAvailable_ = available; }

    const std::vector<DrawCall>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    // Calls of one function.
    std::vector<DrawCall> calls(const std::string& function) const;

    // --- for the suites
    static EffectControlsWindow* fromContext(PF_ContextH context);
    static EffectControlsWindow* fromDrawRef(DRAWBOT_DrawRef ref);
    static EffectControlsWindow* fromSupplier(DRAWBOT_SupplierRef ref);
    static EffectControlsWindow* fromSurface(DRAWBOT_SurfaceRef ref);
    DRAWBOT_DrawRef drawRef() { return reinterpret_cast<DRAWBOT_DrawRef>(&drawTag_); }
    DRAWBOT_SupplierRef supplierRef() { return reinterpret_cast<DRAWBOT_SupplierRef>(&supplierTag_); }
    DRAWBOT_SurfaceRef surfaceRef() { return reinterpret_cast<DRAWBOT_SurfaceRef>(&surfaceTag_); }
    bool drawingAvailable() const { return drawingAvailable_; }
    void record(DrawCall call) { calls_.push_back(std::move(call)); }
    Host& host() { return host_; }

private:
    PF_EventExtra baseEvent(int32_t type, int32_t index, PF_Rect frame) const;

    Host& host_;
    PF_ContextRecord context_{};
    bool drawingAvailable_ = true;
    std::vector<DrawCall> calls_;
    // Distinct addresses that stand for the window's drawing reference, supplier and surface.
    char drawTag_ = 0;
    char supplierTag_ = 0;
    char surfaceTag_ = 0;
};

void installDrawingSuites(Host& host);

}  // namespace Sim
