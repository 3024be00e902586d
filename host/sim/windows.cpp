#include "host/sim/windows.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include "host/sim/arbitrary_param.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "host/sim/project.h"

namespace Sim {

namespace {

constexpr double kFixedOne = 65536.0;

double fromFixed(PF_Fixed value) { return static_cast<double>(value) / kFixedOne; }

// Half away from zero, limited to what 16.16 holds.
PF_Fixed toFixed(double value) {
    const double scaled = std::round(value * kFixedOne);
    if (std::isnan(scaled)) return 0;
    return static_cast<PF_Fixed>(std::clamp(scaled, double(INT32_MIN), double(INT32_MAX)));
}

// A layer's transform at one time: composition = position + rotate(scale × (layer − anchor)).
struct Transform {
    double anchorX, anchorY, positionX, positionY, scaleX, scaleY, cosine, sine;
};

Transform transformOf(const ProjectLayer& layer, double layerSeconds) {
    auto value = [&](AEGP_LayerStream which) { return layer.transform[which]->valueAt(layerSeconds); };
    const StreamData anchor = value(AEGP_LayerStream_ANCHORPOINT);
    const StreamData position = value(AEGP_LayerStream_POSITION);
    const StreamData scale = value(AEGP_LayerStream_SCALE);
    // Degrees, clockwise on the screen (y runs down).
    const double radians = value(AEGP_LayerStream_ROTATION).v[0] * std::numbers::pi / 180.0;
    return {anchor.v[0],        anchor.v[1],        position.v[0],     position.v[1],
            scale.v[0] / 100.0, scale.v[1] / 100.0, std::cos(radians), std::sin(radians)};
}

PF_Err complain(Host& host, const char* caller, const std::string& what) {
    host.log().add(std::string("error: ") + caller + ": " + what);
    return PF_Err_BAD_CALLBACK_PARAM;
}

// An event callback: logged, counted by the fault plan, the window looked up from the context and
// checked against the refcon it was handed with; then the point converted in place.
PF_Err convertPoint(const char* name, void* refcon, PF_ContextH context, PF_FixedPoint* pt,
                    const std::function<bool(const Window&, double&, double&)>& convert, const char* refusal) {
    Host& host = Host::current();
    host.log().add(name);
    if (PF_Err planned = host.faults().onCall(name)) return planned;
    const Window* window = Window::fromContext(context);
    if (window == nullptr) return complain(host, name, "unknown context");
    if (refcon != window->callbackRefcon()) return complain(host, name, "refcon of another window");
    if (pt == nullptr) return complain(host, name, "null point");
    double x = fromFixed(pt->x), y = fromFixed(pt->y);
    if (!convert(*window, x, y)) return complain(host, name, refusal);
    *pt = PF_FixedPoint{toFixed(x), toFixed(y)};
    return PF_Err_NONE;
}

// Between layer and composition, at a layer time given as value / scale.
template <bool (Window::*convert)(double, double&, double&) const>
PF_Err convertAtTime(const char* name, void* refcon, PF_ContextH context, int32_t curr_time, uint32_t time_scale,
                     PF_FixedPoint* pt) {
    const double seconds = time_scale != 0 ? static_cast<double>(curr_time) / static_cast<double>(time_scale) : 0;
    return convertPoint(
        name, refcon, context, pt,
        [&](const Window& window, double& x, double& y) { return time_scale != 0 && (window.*convert)(seconds, x, y); },
        time_scale == 0 ? "time scale of 0" : "no layer, or a layer scaled to nothing");
}

PF_Err layerToCompCallback(void* refcon, PF_ContextH context, int32_t curr_time, uint32_t time_scale,
                           PF_FixedPoint* pt) {
    return convertAtTime<&Window::layerToComp>("layer_to_comp", refcon, context, curr_time, time_scale, pt);
}

PF_Err compToLayerCallback(void* refcon, PF_ContextH context, int32_t curr_time, uint32_t time_scale,
                           PF_FixedPoint* pt) {
    return convertAtTime<&Window::compToLayer>("comp_to_layer", refcon, context, curr_time, time_scale, pt);
}

// Between the window's pixels and what it shows.
template <void (Window::*convert)(double&, double&) const>
PF_Err convertInView(const char* name, void* refcon, PF_ContextH context, PF_FixedPoint* pt) {
    return convertPoint(
        name, refcon, context, pt,
        [](const Window& window, double& x, double& y) {
            (window.*convert)(x, y);
            return true;
        },
        "");
}

PF_Err sourceToFrameCallback(void* refcon, PF_ContextH context, PF_FixedPoint* pt) {
    return convertInView<&Window::sourceToFrame>("source_to_frame", refcon, context, pt);
}

PF_Err frameToSourceCallback(void* refcon, PF_ContextH context, PF_FixedPoint* pt) {
    return convertInView<&Window::frameToSource>("frame_to_source", refcon, context, pt);
}

// --- parameter values around an event

bool inRange(double value, double low, double high) { return low <= value && value <= high; }

// Why the value of `def` lies outside what the parameter registered allows, or empty.
std::string outOfRange(const PF_ParamDef& registered, const PF_ParamDef& def) {
    std::ostringstream out;
    const PF_ParamDefUnion& r = registered.u;
    const PF_ParamDefUnion& u = def.u;
    switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER:
            if (inRange(u.fs_d.value, r.fs_d.valid_min, r.fs_d.valid_max)) return {};
            out << u.fs_d.value << " outside " << r.fs_d.valid_min << " .. " << r.fs_d.valid_max;
            break;
        case PF_Param_SLIDER:
            if (inRange(u.sd.value, r.sd.valid_min, r.sd.valid_max)) return {};
            out << u.sd.value << " outside " << r.sd.valid_min << " .. " << r.sd.valid_max;
            break;
        case PF_Param_FIX_SLIDER:
            if (inRange(u.fd.value, r.fd.valid_min, r.fd.valid_max)) return {};
            out << fromFixed(u.fd.value) << " outside " << fromFixed(r.fd.valid_min) << " .. "
                << fromFixed(r.fd.valid_max);
            break;
        case PF_Param_POPUP:
            if (inRange(u.pd.value, 1, r.pd.num_choices)) return {};
            out << u.pd.value << " outside 1 .. " << r.pd.num_choices;
            break;
        default: return {};
    }
    return out.str();
}

// No stream can hold a value that is not a number.
bool finiteValue(const PF_ParamDef& def) {
    const PF_ParamDefUnion& u = def.u;
    switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER: return std::isfinite(u.fs_d.value);
        case PF_Param_POINT_3D:
            return std::isfinite(u.point3d_d.x_value) && std::isfinite(u.point3d_d.y_value) &&
                   std::isfinite(u.point3d_d.z_value);
        default: return true;
    }
}

// Copies only the value fields: what else the effect may have changed in the record is not taken.
bool takeValue(const PF_ParamDef& from, PF_ParamDef& to) {
    PF_ParamDefUnion& u = to.u;
    const PF_ParamDefUnion& f = from.u;
    switch (to.param_type) {
        case PF_Param_SLIDER: u.sd.value = f.sd.value; return true;
        case PF_Param_FIX_SLIDER: u.fd.value = f.fd.value; return true;
        case PF_Param_FLOAT_SLIDER: u.fs_d.value = f.fs_d.value; return true;
        case PF_Param_ANGLE: u.ad.value = f.ad.value; return true;
        case PF_Param_CHECKBOX: u.bd.value = f.bd.value; return true;
        case PF_Param_COLOR: u.cd.value = f.cd.value; return true;
        case PF_Param_POPUP: u.pd.value = f.pd.value; return true;
        case PF_Param_POINT:
            u.td.x_value = f.td.x_value;
            u.td.y_value = f.td.y_value;
            return true;
        case PF_Param_POINT_3D:
            u.point3d_d.x_value = f.point3d_d.x_value;
            u.point3d_d.y_value = f.point3d_d.y_value;
            u.point3d_d.z_value = f.point3d_d.z_value;
            return true;
        default: return false;
    }
}

std::string nameOf(const PF_ParamDef& def) { return std::string(def.name, strnlen(def.name, sizeof def.name)); }

}  // namespace

PF_EventCallbacks eventCallbacks(Window& window) {
    return PF_EventCallbacks{window.callbackRefcon(), layerToCompCallback, compToLayerCallback, sourceToFrameCallback,
                             frameToSourceCallback};
}

// ---------------------------------------------------------------- events sent to an instance

namespace {

// An arbitrary value the effect flagged changed: it edits the value it was handed in place, and
// that value becomes the parameter's. In the project the value handed was a copy, which now
// takes the stream's place; outside it the value was the host's own and is changed already.
void keepArbitrary(Host& host, PF_EffectInstance& effect, size_t index, const PF_ParamDef& record,
                   const std::string& who) {
    std::lock_guard lock(host.project().mutex());
    auto copied = effect.arbitraryCheckouts.find(&record);
    const PF_Handle handed = copied != effect.arbitraryCheckouts.end() ? copied->second
                             : index < effect.values.size()            ? effect.values[index].u.arb_d.value
                                                                       : nullptr;
    const PF_Handle written = record.u.arb_d.value;
    if (written == nullptr || written != handed) {
        host.log().add("problem: event replaced the value of " + who +
                       " with a handle the host did not hand out; not kept");
        return;
    }
    if (!host.isLiveHandle(written)) {
        host.log().add("problem: event wrote " + who + ": its value handle was disposed; not kept");
        return;
    }
    if (copied != effect.arbitraryCheckouts.end()) {
        if (!host.project().takeArbitrary(effect, int(index), written)) {
            host.log().add("problem: event wrote " + who + ": the stream has keyframes; not kept");
            return;
        }
        effect.arbitraryCheckouts.erase(copied);
    }
    host.log().add("event wrote " + who);
}

// A number (or point, colour, ...) the effect flagged changed, checked before it is kept.
void keepNumber(Host& host, PF_EffectInstance& effect, size_t index, const PF_ParamDef& record,
                const std::string& who) {
    const PF_ParamDef& registered = effect.registered[index];
    PF_ParamDef stored = index < effect.values.size() ? effect.values[index] : registered;
    if (!takeValue(record, stored)) {
        host.log().add("problem: event changed " + who + ", whose value the host does not take");
        return;
    }
    if (!finiteValue(stored)) {
        host.log().add("problem: event wrote " + who + ": not a finite number; not kept");
        return;
    }
    const std::string problem = outOfRange(registered, stored);
    if (!problem.empty()) host.log().add("problem: event wrote " + who + ": " + problem);
    host.log().add("event wrote " + who);
    setParamValue(effect, int(index), stored);
}

}  // namespace

PF_Err sendEvent(PluginInstance& instance, PF_EventExtra& event) {
    PF_EffectInstance& effect = instance.effect();
    Host& host = *effect.host;
    PF_InData timing{};
    host.fillInData(timing, &effect);
    const double seconds = static_cast<double>(timing.current_time) / static_cast<double>(timing.time_scale);

    // The current values, at the time the event is sent, in records of the host's own.
    const size_t count = effect.registered.size();
    std::vector<PF_ParamDef> records(count);
    std::vector<PF_ParamDef*> pointers(count);
    PF_Err err = PF_Err_NONE;
    for (size_t i = 0; i < count && err == PF_Err_NONE; ++i) {
        records[i] = i < effect.values.size() ? effect.values[i] : effect.registered[i];
        if (effect.projectEffect != nullptr) host.project().paramAt(effect, int(i), seconds, records[i], err);
        pointers[i] = &records[i];
    }
    for (PF_ParamDef& record : records) record.uu.change_flags = PF_ChangeFlag_NONE;

    if (err == PF_Err_NONE) err = instance.command(PF_Cmd_EVENT, pointers.data(), nullptr, &event);

    if (err == PF_Err_NONE) {
        for (size_t i = 1; i < count; ++i) {
            if ((records[i].uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) == 0) continue;
            const std::string who = "parameter " + std::to_string(i) + " \"" + nameOf(effect.registered[i]) + "\"";
            // The type is the host's record of it, not what the effect may have written.
            if (effect.registered[i].param_type == PF_Param_ARBITRARY_DATA) {
                keepArbitrary(host, effect, i, records[i], who);
            } else {
                keepNumber(host, effect, i, records[i], who);
            }
        }
    }

    // Arbitrary values not kept were copies for the event; they go back to their maker.
    for (size_t i = 0; i < count; ++i) {
        auto copied = effect.arbitraryCheckouts.find(&records[i]);
        if (copied == effect.arbitraryCheckouts.end()) continue;
        std::lock_guard lock(host.project().mutex());
        auto owner = effect.arbitrary.find(int32_t(i));
        if (owner != effect.arbitrary.end()) owner->second->dispose(copied->second);
        effect.arbitraryCheckouts.erase(copied);
    }
    return err;
}

// ---------------------------------------------------------------- window geometry

void Window::setZoom(double zoom) {
    if (!std::isfinite(zoom) || zoom <= 0) throw std::invalid_argument("zoom must be positive");
    zoom_ = zoom;
}

void Window::setOffset(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) throw std::invalid_argument("offset must be finite");
    offsetX_ = x;
    offsetY_ = y;
}

void Window::frameToSource(double& x, double& y) const {
    x = (x - offsetX_) / zoom_;
    y = (y - offsetY_) / zoom_;
}

void Window::sourceToFrame(double& x, double& y) const {
    x = x * zoom_ + offsetX_;
    y = y * zoom_ + offsetY_;
}

bool Window::layerToComp(double layerSeconds, double& x, double& y) const {
    if (layer_ == nullptr) return false;
    std::lock_guard lock(host_.project().mutex());
    const Transform t = transformOf(*layer_, layerSeconds);
    const double dx = (x - t.anchorX) * t.scaleX;
    const double dy = (y - t.anchorY) * t.scaleY;
    x = t.positionX + dx * t.cosine - dy * t.sine;
    y = t.positionY + dx * t.sine + dy * t.cosine;
    return true;
}

bool Window::compToLayer(double layerSeconds, double& x, double& y) const {
    if (layer_ == nullptr) return false;
    std::lock_guard lock(host_.project().mutex());
    const Transform t = transformOf(*layer_, layerSeconds);
    if (t.scaleX == 0 || t.scaleY == 0) return false;
    const double dx = x - t.positionX;
    const double dy = y - t.positionY;
    x = t.anchorX + (dx * t.cosine + dy * t.sine) / t.scaleX;
    y = t.anchorY + (dy * t.cosine - dx * t.sine) / t.scaleY;
    return true;
}

// ---------------------------------------------------------------- composition and layer windows

ViewWindow::ViewWindow(Host& host, int32_t type, ProjectLayer* layer)
    : Window(host, type,
             type == PF_Window_COMP ? MORVEL_FOURCC('c', 'o', 'm', 'p') : MORVEL_FOURCC('l', 'a', 'y', 'r')) {
    if (type != PF_Window_COMP && type != PF_Window_LAYER) {
        throw std::invalid_argument("a view window is a composition or a layer window");
    }
    if (type == PF_Window_COMP && layer == nullptr) throw std::invalid_argument("a composition window needs the layer");
    setLayer(layer);
}

PF_EventExtra ViewWindow::pointerEvent(int32_t type, PF_Point where, int32_t modifiers) const {
    PF_EventExtra event = baseEvent(type);
    PF_DoClickEventInfo& click = event.u.do_click;
    click.screen_point = where;
    click.num_clicks = 1;
    click.modifiers = modifiers;
    return event;
}

PF_EventExtra ViewWindow::clickEvent(PF_Point where, int32_t modifiers) const {
    return pointerEvent(PF_Event_DO_CLICK, where, modifiers);
}

PF_EventExtra ViewWindow::dragEvent(PF_Point where, int32_t modifiers, bool lastTime) const {
    PF_EventExtra event = pointerEvent(PF_Event_DRAG, where, modifiers);
    std::copy(std::begin(refcon_), std::end(refcon_), event.u.do_click.continue_refcon);
    event.u.do_click.send_drag = 1;
    event.u.do_click.last_time = lastTime ? 1 : 0;
    return event;
}

PF_EventExtra ViewWindow::drawEvent() const {
    PF_EventExtra event = baseEvent(PF_Event_DRAW);
    event.u.draw.update_rect = PF_Rect{0, 0, 0, 0};
    return event;
}

PF_Err ViewWindow::send(PluginInstance& instance, PF_EventExtra& event) {
    const int32_t sentType = event.e_type;
    const PF_Err err = sendEvent(instance, event);
    last_ = event;
    if (sentType == PF_Event_DO_CLICK || sentType == PF_Event_DRAG) {
        const PF_DoClickEventInfo& click = event.u.do_click;
        std::copy(std::begin(click.continue_refcon), std::end(click.continue_refcon), refcon_);
        dragging_ = click.send_drag != 0 && click.last_time == 0;
    }
    return err;
}

PF_Err ViewWindow::click(PluginInstance& instance, PF_Point where, int32_t modifiers) {
    PF_EventExtra event = clickEvent(where, modifiers);
    return send(instance, event);
}

PF_Err ViewWindow::drag(PluginInstance& instance, PF_Point where, int32_t modifiers, bool lastTime) {
    PF_EventExtra event = dragEvent(where, modifiers, lastTime);
    return send(instance, event);
}

PF_Err ViewWindow::draw(PluginInstance& instance) {
    PF_EventExtra event = drawEvent();
    return send(instance, event);
}

PF_Point ViewWindow::screenOf(double layerX, double layerY) const {
    if (type() == PF_Window_COMP) layerToComp(0.0, layerX, layerY);
    sourceToFrame(layerX, layerY);
    return PF_Point{static_cast<int32_t>(std::lround(layerX)), static_cast<int32_t>(std::lround(layerY))};
}

void ViewWindow::layerOf(double screenX, double screenY, double& layerX, double& layerY) const {
    frameToSource(screenX, screenY);
    if (type() == PF_Window_COMP) compToLayer(0.0, screenX, screenY);
    layerX = screenX;
    layerY = screenY;
}

}  // namespace Sim
