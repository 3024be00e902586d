#include "host/sim/drawing.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <set>

namespace Sim {

namespace {

struct DrawObject {
    enum Kind { Pen, Brush, Font, Path } kind;
    Window* window;
    DRAWBOT_ColorRGBA colour{};
    float size = 0;
    std::vector<PathStep> path;
};

const char* ledgerKind(DrawObject::Kind kind) {
    switch (kind) {
        case DrawObject::Pen: return "drawbot pen";
        case DrawObject::Brush: return "drawbot brush";
        case DrawObject::Font: return "drawbot font";
        case DrawObject::Path: return "drawbot path";
    }
    return "drawbot object";
}

std::mutex registryMutex;
std::set<Window*> windows;
std::map<uintptr_t, DrawObject> objects;
// Tokens are never reused, so a released object can never alias a live one.
uintptr_t lastToken = 0xD000;

// A string longer than this without a terminator is taken as garbage.
constexpr size_t kMaxStringUnits = 1 << 16;

// Opens a drawing-suite function: logged, counted by the fault plan, serialised.
#define MORVEL_SIM_DRAW_CALL(name)               \
    Host& host = Host::current();                \
    std::lock_guard registryLock(registryMutex); \
    host.log().add(name);                        \
    if (PF_Err planned = host.faults().onCall(name)) return planned

PF_Err complain(Host& host, const char* caller, const std::string& what) {
    host.log().add(std::string("error: ") + caller + ": " + what);
    return PF_Err_BAD_CALLBACK_PARAM;
}

bool finite(const DRAWBOT_ColorRGBA& c) {
    return std::isfinite(c.red) && std::isfinite(c.green) && std::isfinite(c.blue) && std::isfinite(c.alpha);
}

DrawObject* findObject(DRAWBOT_ObjectRef ref, DrawObject::Kind kind) {
    auto found = objects.find(reinterpret_cast<uintptr_t>(ref));
    if (found == objects.end() || found->second.kind != kind) return nullptr;
    return &found->second;
}

PF_Err newObject(Host& host, Window* window, DrawObject object, DRAWBOT_ObjectRef* out) {
    object.window = window;
    const uintptr_t token = ++lastToken;
    const auto kind = object.kind;
    objects.emplace(token, std::move(object));
    *out = reinterpret_cast<DRAWBOT_ObjectRef>(token);
    host.ledger().acquire(ledgerKind(kind), Ledger::keyOf(*out));
    return PF_Err_NONE;
}

void pushColour(std::vector<double>& numbers, const DRAWBOT_ColorRGBA& c) {
    numbers.insert(numbers.end(), {c.red, c.green, c.blue, c.alpha});
}

// ---------------------------------------------------------------- custom UI suite

PF_Err getDrawingReference(PF_ContextH context, DRAWBOT_DrawRef* reference) {
    MORVEL_SIM_DRAW_CALL("PF_GetDrawingReference");
    if (reference == nullptr) return complain(host, "PF_GetDrawingReference", "null result pointer");
    *reference = nullptr;
    Window* window = Window::fromContext(context);
    if (window == nullptr) return complain(host, "PF_GetDrawingReference", "unknown context");
    if (window->drawingAvailable()) *reference = window->drawRef();
    return PF_Err_NONE;
}

const PF_EffectCustomUISuite1 kCustomUISuite1 = {getDrawingReference};

// ---------------------------------------------------------------- draw suite

PF_Err getSupplier(DRAWBOT_DrawRef draw, DRAWBOT_SupplierRef* supplier) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_GetSupplier");
    if (supplier == nullptr) return complain(host, "DRAWBOT_GetSupplier", "null result pointer");
    Window* window = Window::fromDrawRef(draw);
    if (window == nullptr) return complain(host, "DRAWBOT_GetSupplier", "unknown drawing reference");
    *supplier = window->supplierRef();
    return PF_Err_NONE;
}

PF_Err getSurface(DRAWBOT_DrawRef draw, DRAWBOT_SurfaceRef* surface) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_GetSurface");
    if (surface == nullptr) return complain(host, "DRAWBOT_GetSurface", "null result pointer");
    Window* window = Window::fromDrawRef(draw);
    if (window == nullptr) return complain(host, "DRAWBOT_GetSurface", "unknown drawing reference");
    *surface = window->surfaceRef();
    return PF_Err_NONE;
}

const DRAWBOT_DrawSuite1 kDrawSuite1 = {getSupplier, getSurface};

// ---------------------------------------------------------------- supplier suite

PF_Err newPen(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* colour, float size, DRAWBOT_PenRef* pen) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_NewPen");
    Window* window = Window::fromSupplier(supplier);
    if (window == nullptr) return complain(host, "DRAWBOT_NewPen", "unknown supplier");
    if (colour == nullptr || pen == nullptr) return complain(host, "DRAWBOT_NewPen", "null argument");
    if (!finite(*colour) || !std::isfinite(size) || size < 0) return complain(host, "DRAWBOT_NewPen", "bad pen");
    DrawObject object{DrawObject::Pen, nullptr, *colour, size, {}};
    return newObject(host, window, std::move(object), pen);
}

PF_Err newBrush(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* colour, DRAWBOT_BrushRef* brush) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_NewBrush");
    Window* window = Window::fromSupplier(supplier);
    if (window == nullptr) return complain(host, "DRAWBOT_NewBrush", "unknown supplier");
    if (colour == nullptr || brush == nullptr) return complain(host, "DRAWBOT_NewBrush", "null argument");
    if (!finite(*colour)) return complain(host, "DRAWBOT_NewBrush", "colour is not finite");
    DrawObject object{DrawObject::Brush, nullptr, *colour, 0, {}};
    return newObject(host, window, std::move(object), brush);
}

PF_Err supportsText(DRAWBOT_SupplierRef supplier, PF_Boolean* supports) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_SupportsText");
    if (Window::fromSupplier(supplier) == nullptr || supports == nullptr) {
        return complain(host, "DRAWBOT_SupportsText", "bad argument");
    }
    *supports = 1;
    return PF_Err_NONE;
}

constexpr float kDefaultFontSize = 11.0f;

PF_Err getDefaultFontSize(DRAWBOT_SupplierRef supplier, float* size) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_GetDefaultFontSize");
    if (Window::fromSupplier(supplier) == nullptr || size == nullptr) {
        return complain(host, "DRAWBOT_GetDefaultFontSize", "bad argument");
    }
    *size = kDefaultFontSize;
    return PF_Err_NONE;
}

PF_Err newDefaultFont(DRAWBOT_SupplierRef supplier, float size, DRAWBOT_FontRef* font) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_NewDefaultFont");
    Window* window = Window::fromSupplier(supplier);
    if (window == nullptr) return complain(host, "DRAWBOT_NewDefaultFont", "unknown supplier");
    if (font == nullptr) return complain(host, "DRAWBOT_NewDefaultFont", "null result pointer");
    if (!std::isfinite(size) || size < 0) return complain(host, "DRAWBOT_NewDefaultFont", "bad size");
    DrawObject object{DrawObject::Font, nullptr, {}, size, {}};
    return newObject(host, window, std::move(object), font);
}

PF_Err newPath(DRAWBOT_SupplierRef supplier, DRAWBOT_PathRef* path) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_NewPath");
    Window* window = Window::fromSupplier(supplier);
    if (window == nullptr) return complain(host, "DRAWBOT_NewPath", "unknown supplier");
    if (path == nullptr) return complain(host, "DRAWBOT_NewPath", "null result pointer");
    DrawObject object{DrawObject::Path, nullptr, {}, 0, {}};
    return newObject(host, window, std::move(object), path);
}

PF_Err releaseObject(DRAWBOT_ObjectRef object) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_ReleaseObject");
    auto found = objects.find(reinterpret_cast<uintptr_t>(object));
    if (found == objects.end()) return complain(host, "DRAWBOT_ReleaseObject", "unknown object");
    host.ledger().release(ledgerKind(found->second.kind), Ledger::keyOf(object));
    objects.erase(found);
    return PF_Err_NONE;
}

const DRAWBOT_SupplierSuite1 kSupplierSuite1 = {newPen,         newBrush, supportsText, getDefaultFontSize,
                                                newDefaultFont, newPath,  releaseObject};

// ---------------------------------------------------------------- surface suite

PF_Err pushStateStack(DRAWBOT_SurfaceRef surface) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_PushStateStack");
    Window* window = Window::fromSurface(surface);
    if (window == nullptr) return complain(host, "DRAWBOT_PushStateStack", "unknown surface");
    window->record({"PushStateStack", {}, {}, {}});
    return PF_Err_NONE;
}

PF_Err popStateStack(DRAWBOT_SurfaceRef surface) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_PopStateStack");
    Window* window = Window::fromSurface(surface);
    if (window == nullptr) return complain(host, "DRAWBOT_PopStateStack", "unknown surface");
    window->record({"PopStateStack", {}, {}, {}});
    return PF_Err_NONE;
}

PF_Err paintRect(DRAWBOT_SurfaceRef surface, const DRAWBOT_ColorRGBA* colour, const DRAWBOT_RectF32* rect) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_PaintRect");
    Window* window = Window::fromSurface(surface);
    if (window == nullptr) return complain(host, "DRAWBOT_PaintRect", "unknown surface");
    if (colour == nullptr || rect == nullptr) return complain(host, "DRAWBOT_PaintRect", "null argument");
    DrawCall call{"PaintRect", {}, {}, {}};
    pushColour(call.numbers, *colour);
    call.numbers.insert(call.numbers.end(), {rect->left, rect->top, rect->width, rect->height});
    window->record(std::move(call));
    return PF_Err_NONE;
}

PF_Err fillPath(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brush, DRAWBOT_PathRef path, DRAWBOT_FillType type) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_FillPath");
    Window* window = Window::fromSurface(surface);
    if (window == nullptr) return complain(host, "DRAWBOT_FillPath", "unknown surface");
    DrawObject* brushObject = findObject(brush, DrawObject::Brush);
    DrawObject* pathObject = findObject(path, DrawObject::Path);
    if (brushObject == nullptr || pathObject == nullptr) return complain(host, "DRAWBOT_FillPath", "unknown object");
    DrawCall call{"FillPath", {}, {}, pathObject->path};
    pushColour(call.numbers, brushObject->colour);
    call.numbers.push_back(type);
    window->record(std::move(call));
    return PF_Err_NONE;
}

PF_Err strokePath(DRAWBOT_SurfaceRef surface, DRAWBOT_PenRef pen, DRAWBOT_PathRef path) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_StrokePath");
    Window* window = Window::fromSurface(surface);
    if (window == nullptr) return complain(host, "DRAWBOT_StrokePath", "unknown surface");
    DrawObject* penObject = findObject(pen, DrawObject::Pen);
    DrawObject* pathObject = findObject(path, DrawObject::Path);
    if (penObject == nullptr || pathObject == nullptr) return complain(host, "DRAWBOT_StrokePath", "unknown object");
    DrawCall call{"StrokePath", {}, {}, pathObject->path};
    pushColour(call.numbers, penObject->colour);
    call.numbers.push_back(penObject->size);
    window->record(std::move(call));
    return PF_Err_NONE;
}

PF_Err drawString(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brush, DRAWBOT_FontRef font,
                  const DRAWBOT_UTF16Char* string, const DRAWBOT_PointF32* origin, DRAWBOT_TextAlignment alignment,
                  DRAWBOT_TextTruncation truncation, float truncationWidth) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_DrawString");
    Window* window = Window::fromSurface(surface);
    if (window == nullptr) return complain(host, "DRAWBOT_DrawString", "unknown surface");
    DrawObject* brushObject = findObject(brush, DrawObject::Brush);
    DrawObject* fontObject = findObject(font, DrawObject::Font);
    if (brushObject == nullptr || fontObject == nullptr) return complain(host, "DRAWBOT_DrawString", "unknown object");
    if (string == nullptr || origin == nullptr) return complain(host, "DRAWBOT_DrawString", "null argument");
    if (alignment < kDRAWBOT_TextAlignment_Left || alignment > kDRAWBOT_TextAlignment_Right ||
        truncation < kDRAWBOT_TextTruncation_None || truncation > kDRAWBOT_TextTruncation_PathEllipsis) {
        return complain(host, "DRAWBOT_DrawString", "bad alignment or truncation");
    }
    size_t length = 0;
    while (length < kMaxStringUnits && string[length] != 0) ++length;
    if (length == kMaxStringUnits) return complain(host, "DRAWBOT_DrawString", "string has no terminator");
    DrawCall call{"DrawString", {}, std::u16string(string, string + length), {}};
    pushColour(call.numbers, brushObject->colour);
    call.numbers.insert(call.numbers.end(), {fontObject->size, origin->x, origin->y, static_cast<double>(alignment),
                                             static_cast<double>(truncation), truncationWidth});
    window->record(std::move(call));
    return PF_Err_NONE;
}

PF_Err setAntiAliasPolicy(DRAWBOT_SurfaceRef surface, DRAWBOT_AntiAliasPolicy policy) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_SetAntiAliasPolicy");
    Window* window = Window::fromSurface(surface);
    if (window == nullptr) return complain(host, "DRAWBOT_SetAntiAliasPolicy", "unknown surface");
    if (policy < kDRAWBOT_AntiAliasPolicy_None || policy > kDRAWBOT_AntiAliasPolicy_High) {
        return complain(host, "DRAWBOT_SetAntiAliasPolicy", "bad policy");
    }
    window->record({"SetAntiAliasPolicy", {static_cast<double>(policy)}, {}, {}});
    return PF_Err_NONE;
}

PF_Err flush(DRAWBOT_SurfaceRef surface) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_Flush");
    Window* window = Window::fromSurface(surface);
    if (window == nullptr) return complain(host, "DRAWBOT_Flush", "unknown surface");
    window->record({"Flush", {}, {}, {}});
    return PF_Err_NONE;
}

const DRAWBOT_SurfaceSuite1 kSurfaceSuite1 = {pushStateStack, popStateStack, paintRect,          fillPath,
                                              strokePath,     drawString,    setAntiAliasPolicy, flush};

// ---------------------------------------------------------------- path suite

PF_Err addStep(Host& host, const char* caller, DRAWBOT_PathRef path, PathStep step) {
    DrawObject* object = findObject(path, DrawObject::Path);
    if (object == nullptr) return complain(host, caller, "unknown path");
    for (float value : step.values) {
        if (!std::isfinite(value)) return complain(host, caller, "coordinate is not finite");
    }
    object->path.push_back(std::move(step));
    return PF_Err_NONE;
}

PF_Err moveTo(DRAWBOT_PathRef path, float x, float y) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_MoveTo");
    return addStep(host, "DRAWBOT_MoveTo", path, {'M', {x, y}});
}

PF_Err lineTo(DRAWBOT_PathRef path, float x, float y) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_LineTo");
    return addStep(host, "DRAWBOT_LineTo", path, {'L', {x, y}});
}

PF_Err bezierTo(DRAWBOT_PathRef path, const DRAWBOT_PointF32* c1, const DRAWBOT_PointF32* c2,
                const DRAWBOT_PointF32* end) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_BezierTo");
    if (c1 == nullptr || c2 == nullptr || end == nullptr) return complain(host, "DRAWBOT_BezierTo", "null point");
    return addStep(host, "DRAWBOT_BezierTo", path, {'C', {c1->x, c1->y, c2->x, c2->y, end->x, end->y}});
}

PF_Err addRect(DRAWBOT_PathRef path, const DRAWBOT_RectF32* rect) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_AddRect");
    if (rect == nullptr) return complain(host, "DRAWBOT_AddRect", "null rectangle");
    return addStep(host, "DRAWBOT_AddRect", path, {'R', {rect->left, rect->top, rect->width, rect->height}});
}

PF_Err closePath(DRAWBOT_PathRef path) {
    MORVEL_SIM_DRAW_CALL("DRAWBOT_Close");
    return addStep(host, "DRAWBOT_Close", path, {'Z', {}});
}

const DRAWBOT_PathSuite1 kPathSuite1 = {moveTo, lineTo, bezierTo, addRect, closePath};

}  // namespace

// ---------------------------------------------------------------- windows

Window::Window(Host& host, int32_t type, uint32_t magic) : host_(host) {
    context_.magic = magic;
    context_.w_type = type;
    std::lock_guard lock(registryMutex);
    windows.insert(this);
}

Window::~Window() {
    std::lock_guard lock(registryMutex);
    windows.erase(this);
    // Objects still alive stay in the ledger, so the test that leaked them sees it.
    for (auto it = objects.begin(); it != objects.end();) {
        it = it->second.window == this ? objects.erase(it) : std::next(it);
    }
}

PF_EventExtra Window::baseEvent(int32_t type) const {
    PF_EventExtra event{};
    Window& self = const_cast<Window&>(*this);
    event.contextH = self.context();
    event.e_type = type;
    event.cbs = eventCallbacks(self);
    // Only the pointer and key records carry a time; the others share its bytes.
    if (type == PF_Event_DO_CLICK || type == PF_Event_DRAG) event.u.do_click.when = host_.eventTime();
    if (type == PF_Event_KEYDOWN) event.u.key_down.when = host_.eventTime();
    return event;
}

std::vector<DrawCall> Window::calls(const std::string& function) const {
    std::vector<DrawCall> matching;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
                 [&](const DrawCall& call) { return call.function == function; });
    return matching;
}

Window* Window::fromContext(PF_ContextH context) {
    for (Window* window : windows) {
        if (&window->context_ == context) return window;
    }
    return nullptr;
}

Window* Window::fromDrawRef(DRAWBOT_DrawRef ref) {
    for (Window* window : windows) {
        if (window->drawRef() == ref) return window;
    }
    return nullptr;
}

Window* Window::fromSupplier(DRAWBOT_SupplierRef ref) {
    for (Window* window : windows) {
        if (window->supplierRef() == ref) return window;
    }
    return nullptr;
}

Window* Window::fromSurface(DRAWBOT_SurfaceRef ref) {
    for (Window* window : windows) {
        if (window->surfaceRef() == ref) return window;
    }
    return nullptr;
}

EffectControlsWindow::EffectControlsWindow(Host& host)
    : Window(host, PF_Window_EFFECT, MORVEL_FOURCC('e', 'c', 'w', ' ')) {}

PF_EventExtra EffectControlsWindow::controlEvent(int32_t type, int32_t index, PF_Rect frame) const {
    PF_EventExtra event = baseEvent(type);
    event.effect_win.index = index;
    event.effect_win.area = PF_EA_CONTROL;
    event.effect_win.current_frame = frame;
    event.effect_win.param_title_frame = PF_Rect{0, frame.top, frame.left, frame.bottom};
    return event;
}

PF_EventExtra EffectControlsWindow::drawEvent(int32_t index, PF_Rect frame) {
    PF_EventExtra event = controlEvent(PF_Event_DRAW, index, frame);
    event.u.draw.update_rect = frame;
    return event;
}

PF_EventExtra EffectControlsWindow::cursorEvent(int32_t index, PF_Rect frame, PF_Point where, int32_t area) {
    PF_EventExtra event = controlEvent(PF_Event_ADJUST_CURSOR, index, frame);
    event.effect_win.area = area;
    event.u.adjust_cursor.screen_point = where;
    event.u.adjust_cursor.set_cursor = PF_Cursor_ARROW;
    return event;
}

PF_EventExtra EffectControlsWindow::clickEvent(int32_t index, PF_Rect frame, PF_Point where, bool sendDrag) {
    PF_EventExtra event = controlEvent(PF_Event_DO_CLICK, index, frame);
    event.u.do_click.screen_point = where;
    event.u.do_click.num_clicks = 1;
    event.u.do_click.send_drag = sendDrag ? 1 : 0;
    return event;
}

PF_EventExtra EffectControlsWindow::dragEvent(int32_t index, PF_Rect frame, PF_Point where, bool lastTime) {
    PF_EventExtra event = controlEvent(PF_Event_DRAG, index, frame);
    event.u.do_click.screen_point = where;
    event.u.do_click.send_drag = 1;
    event.u.do_click.last_time = lastTime ? 1 : 0;
    return event;
}

void installDrawingSuites(Host& host) {
    host.faults().registerNames({"DRAWBOT_AddRect",
                                 "DRAWBOT_BezierTo",
                                 "DRAWBOT_Close",
                                 "DRAWBOT_DrawString",
                                 "DRAWBOT_FillPath",
                                 "DRAWBOT_Flush",
                                 "DRAWBOT_GetDefaultFontSize",
                                 "DRAWBOT_GetSupplier",
                                 "DRAWBOT_GetSurface",
                                 "DRAWBOT_LineTo",
                                 "DRAWBOT_MoveTo",
                                 "DRAWBOT_NewBrush",
                                 "DRAWBOT_NewDefaultFont",
                                 "DRAWBOT_NewPath",
                                 "DRAWBOT_NewPen",
                                 "DRAWBOT_PaintRect",
                                 "DRAWBOT_PopStateStack",
                                 "DRAWBOT_PushStateStack",
                                 "DRAWBOT_ReleaseObject",
                                 "DRAWBOT_SetAntiAliasPolicy",
                                 "DRAWBOT_StrokePath",
                                 "DRAWBOT_SupportsText",
                                 "PF_GetDrawingReference"});
    // The event callbacks the composition and layer windows hand out (windows.cpp).
    host.faults().registerNames({"layer_to_comp", "comp_to_layer", "source_to_frame", "frame_to_source"});

    host.addSuite(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1, &kCustomUISuite1);
    host.addSuite(kDRAWBOT_DrawSuite, kDRAWBOT_SuiteVersion1, &kDrawSuite1);
    host.addSuite(kDRAWBOT_SupplierSuite, kDRAWBOT_SuiteVersion1, &kSupplierSuite1);
    host.addSuite(kDRAWBOT_SurfaceSuite, kDRAWBOT_SuiteVersion1, &kSurfaceSuite1);
    host.addSuite(kDRAWBOT_PathSuite, kDRAWBOT_SuiteVersion1, &kPathSuite1);
}

}  // namespace Sim
