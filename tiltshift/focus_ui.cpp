#include "tiltshift/focus_ui.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "library/custom_data/color_expression_data/drawbot_objects.h"
#include "library/parameter/fixed_point.h"
#include "tiltshift/parameter_table.h"

namespace TiltShift {

namespace {

using Point = Morvel::Vector2<double>;
using Morvel::Plugin::fixedToDouble;

constexpr double kPi = std::numbers::pi;
constexpr double kMinimumInnerWidth = 1e-6;
// The hit tolerance in screen pixels.
constexpr double kToleranceScreenPixels = 5.0;
// Rotation with Shift snaps to multiples of this, in degrees.
constexpr double kSnapDegrees = 45.0;
// "Ratio"'s valid range.
constexpr double kMinimumRatio = 0.0001;
constexpr double kMaximumRatio = 100.0;

bool servedWindow(PF_EventExtra const& event) {
    return event.contextH != nullptr &&
           (event.contextH->w_type == PF_Window_COMP || event.contextH->w_type == PF_Window_LAYER);
}

double radians(double degrees) { return degrees * kPi / 180.0; }

// A screen point of the event, as 16.16.
PF_FixedPoint screenFixed(PF_Point point) {
    auto shifted = [](int32_t value) {
        return static_cast<PF_Fixed>(std::clamp<int64_t>(int64_t(value) * 65536, INT32_MIN, INT32_MAX));
    };
    return PF_FixedPoint{shifted(point.h), shifted(point.v)};
}

Point toPoint(PF_FixedPoint point) { return Point{fixedToDouble(point.x), fixedToDouble(point.y)}; }

// The pointer of a click or drag in layer coordinates, as 16.16 and as a point.
PF_Err pointerInLayer(ViewTransform const& view, PF_EventExtra const& event, PF_FixedPoint& fixed) {
    fixed = screenFixed(event.u.do_click.screen_point);
    return view.toLayer(fixed);
}

// Components of a point relative to the centre: along the direction, and across it towards the
// rotation triangle.
struct Offsets {
    double dx, dy, along, across;
};

Offsets offsetsOf(FocusArea const& area, Point point) {
    const double dx = point.x - area.center.x;
    const double dy = point.y - area.center.y;
    const double c = std::cos(area.direction), s = std::sin(area.direction);
    return {dx, dy, dx * c + dy * s, dx * s - dy * c};
}

// A value written by a drag; one that is not a number is not written.
void writeFloat(PF_ParamDef* params[], int index, double value) {
    if (!std::isfinite(value)) return;
    params[index]->u.fs_d.value = value;
    params[index]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
}

void dragRotation(PF_ParamDef* params[], FocusArea const& area, Offsets const& offsets, int32_t modifiers) {
    double angle = std::atan2(offsets.dx, -offsets.dy);
    const double direction = area.direction;
    const double turn = 2.0 * kPi;
    // The turn nearest the current direction, so the value does not jump by 360 degrees.
    if (direction < angle) {
        angle -= std::floor((angle - direction) / turn + 0.5) * turn;
    } else {
        angle += std::floor((direction - angle) / turn + 0.5) * turn;
    }
    double degrees = angle * 180.0 / kPi;
    if ((modifiers & PF_Mod_SHIFT_KEY) != 0) {
        degrees = degrees > 0 ? std::floor(degrees / kSnapDegrees + 0.5) * kSnapDegrees
                              : -std::floor(0.5 - degrees / kSnapDegrees) * kSnapDegrees;
    }
    if (!std::isfinite(degrees)) return;
    params[PARAM_DIRECTION]->u.ad.value = roundToFixed(degrees);
    params[PARAM_DIRECTION]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
}

PF_Err callbackError(PF_Err err) { return err != PF_Err_NONE ? err : PF_Err_INVALID_CALLBACK; }

}  // namespace

// ---------------------------------------------------------------- coordinates

ViewTransform::ViewTransform(PF_InData const& in_data, PF_EventExtra& event) : in_data_(in_data), event_(event) {}

PF_Err ViewTransform::toLayer(PF_FixedPoint& point) const {
    PF_EventCallbacks const& cbs = event_.cbs;
    if (cbs.frame_to_source == nullptr) return callbackError(PF_Err_NONE);
    PF_Err err = cbs.frame_to_source(cbs.refcon, event_.contextH, &point);
    if (err == PF_Err_NONE && event_.contextH->w_type == PF_Window_COMP) {
        if (cbs.comp_to_layer == nullptr) return callbackError(PF_Err_NONE);
        err = cbs.comp_to_layer(cbs.refcon, event_.contextH, in_data_.current_time, in_data_.time_scale, &point);
    }
    return err;
}

PF_Err ViewTransform::toScreen(PF_FixedPoint& point) const {
    PF_EventCallbacks const& cbs = event_.cbs;
    PF_Err err = PF_Err_NONE;
    if (event_.contextH->w_type == PF_Window_COMP) {
        if (cbs.layer_to_comp == nullptr) return callbackError(PF_Err_NONE);
        err = cbs.layer_to_comp(cbs.refcon, event_.contextH, in_data_.current_time, in_data_.time_scale, &point);
    }
    if (err == PF_Err_NONE) {
        if (cbs.source_to_frame == nullptr) return callbackError(PF_Err_NONE);
        err = cbs.source_to_frame(cbs.refcon, event_.contextH, &point);
    }
    return err;
}

PF_Fixed roundToFixed(double value) { return Morvel::Plugin::saturatingTrunc32(std::round(value * 65536.0)); }

double layerDiagonal(PF_InData const& in_data) {
    const int64_t width = in_data.width, height = in_data.height;
    const double squares = static_cast<double>(width * width + height * height);
    if (in_data.utils != nullptr && in_data.utils->ansi.sqrt != nullptr) return in_data.utils->ansi.sqrt(squares);
    return std::sqrt(squares);
}

// The length of one screen pixel's step in layer pixels. A step along x alone keeps its length
// under rotation, where the difference of x coordinates alone would shrink to nothing.
PF_Err pixelScale(PF_InData const& in_data, PF_EventExtra& event, double& scale) {
    const ViewTransform view(in_data, event);
    PF_FixedPoint origin{0, 0};
    PF_FixedPoint step{65536, 0};
    PF_Err err = view.toLayer(origin);
    if (err == PF_Err_NONE) err = view.toLayer(step);
    if (err != PF_Err_NONE) return err;
    scale =
        std::hypot(fixedToDouble(step.x) - fixedToDouble(origin.x), fixedToDouble(step.y) - fixedToDouble(origin.y));
    return PF_Err_NONE;
}

double handleTolerance(double pixelScale) { return kToleranceScreenPixels * pixelScale; }

PF_Err readFocusArea(PF_ParamDef* params[], FocusArea& area) {
    if (params == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    for (int index : {PARAM_TYPE, PARAM_BLUR_AMOUNT, PARAM_CENTER, PARAM_DIRECTION, PARAM_RATIO, PARAM_INNER_WIDTH,
                      PARAM_LINEAR_MODE, PARAM_FOCUS_DISTANCE}) {
        if (params[index] == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    }
    area.type = static_cast<FocusType>(params[PARAM_TYPE]->u.pd.value);
    area.linearMode = static_cast<LinearMode>(params[PARAM_LINEAR_MODE]->u.pd.value);
    area.center =
        Point{fixedToDouble(params[PARAM_CENTER]->u.td.x_value), fixedToDouble(params[PARAM_CENTER]->u.td.y_value)};
    area.direction = radians(fixedToDouble(params[PARAM_DIRECTION]->u.ad.value));
    area.blurAmount = params[PARAM_BLUR_AMOUNT]->u.fs_d.value;
    area.ratio = params[PARAM_RATIO]->u.fs_d.value;
    area.innerWidth = params[PARAM_INNER_WIDTH]->u.fs_d.value;
    area.focusDistance = params[PARAM_FOCUS_DISTANCE]->u.fs_d.value;
    return PF_Err_NONE;
}

// ---------------------------------------------------------------- hit tests

bool hitEllipse(double along, double across, double a, double b, double tolerance) {
    const double x = std::abs(along);
    const double y = std::abs(across);
    if (x > a) return false;
    return std::abs(b * std::sqrt(1.0 - x * x / (a * a)) - y) < tolerance;
}

bool insideRotationTriangle(FocusArea const& area, Point point) {
    // u points from the centre to the apex, v along the direction; y runs down. Corners in this
    // order make every edge's cross product negative inside.
    const Point u{std::sin(area.direction), -std::cos(area.direction)};
    const Point v{std::cos(area.direction), std::sin(area.direction)};
    const Point apex{area.center.x + 80.0 * u.x, area.center.y + 80.0 * u.y};
    const Point corners[3] = {apex,
                              {apex.x - 16.0 * u.x - 8.0 * v.x, apex.y - 16.0 * u.y - 8.0 * v.y},
                              {apex.x - 16.0 * u.x + 8.0 * v.x, apex.y - 16.0 * u.y + 8.0 * v.y}};
    for (int i = 0; i < 3; ++i) {
        const Point& from = corners[i];
        const Point& to = corners[(i + 1) % 3];
        const double cross = (point.y - from.y) * (to.x - from.x) - (point.x - from.x) * (to.y - from.y);
        if (!(cross < 0)) return false;
    }
    return true;
}

FocusHandle clickRadial(FocusArea const& area, Point point, double tolerance) {
    if (insideRotationTriangle(area, point)) return HANDLE_ROTATION;
    const Offsets offsets = offsetsOf(area, point);
    const double inner = std::max(area.innerWidth, kMinimumInnerWidth);
    const double outer = inner + area.blurAmount;
    if (hitEllipse(offsets.along, offsets.across, outer, outer * area.ratio, tolerance)) return HANDLE_OUTER;
    if (hitEllipse(offsets.along, offsets.across, inner, inner * area.ratio, tolerance)) return HANDLE_INNER;
    return HANDLE_NONE;
}

FocusHandle clickLinear(FocusArea const& area, Point point, double tolerance, double diagonal) {
    if (insideRotationTriangle(area, point)) return HANDLE_ROTATION;
    const Offsets offsets = offsetsOf(area, point);
    const double along = std::abs(offsets.along);
    // Signed distance from the focus line, positive on the far side from the triangle.
    const double side = -offsets.across;
    const double inner = area.innerWidth;
    if (area.linearMode == LINEAR_MODE_FOCUS_DISTANCE) {
        if (along >= diagonal / 2) return HANDLE_NONE;
        if (std::abs(side - (inner + area.focusDistance)) < tolerance) return HANDLE_FOCUS_DISTANCE;
    }
    if (along < diagonal / 2) {
        if (std::abs(std::abs(side) - (inner + area.blurAmount)) < tolerance) return HANDLE_OUTER;
        if (std::abs(std::abs(side) - inner) < tolerance) return HANDLE_INNER;
    }
    return HANDLE_NONE;
}

// ---------------------------------------------------------------- drags

void dragRadial(PF_ParamDef* params[], FocusArea const& area, intptr_t handle, Point point, int32_t modifiers) {
    const Offsets offsets = offsetsOf(area, point);
    if (handle == HANDLE_ROTATION) {
        dragRotation(params, area, offsets, modifiers);
        return;
    }
    const double inner = std::max(area.innerWidth, kMinimumInnerWidth);
    const double across = offsets.across / area.ratio;
    const double distance = std::sqrt(offsets.along * offsets.along + across * across);
    if (handle == HANDLE_OUTER) {
        writeFloat(params, PARAM_BLUR_AMOUNT, std::max(distance - inner, 0.0));
    } else if (handle == HANDLE_INNER && (modifiers & PF_Mod_SHIFT_KEY) == 0) {
        writeFloat(params, PARAM_INNER_WIDTH, distance);
    } else if (handle == HANDLE_INNER) {
        // Beyond the ellipse's end along the direction no ratio reaches the pointer; on the axis
        // the ratio would be 0, which the render divides by.
        if (std::abs(offsets.along) >= inner) return;
        const double ratio =
            std::abs(offsets.across) / std::sqrt(1.0 - offsets.along * offsets.along / (inner * inner)) / inner;
        if (std::isfinite(ratio) && ratio > 0) {
            writeFloat(params, PARAM_RATIO, std::clamp(ratio, kMinimumRatio, kMaximumRatio));
        }
    }
}

void dragLinear(PF_ParamDef* params[], FocusArea const& area, intptr_t handle, Point point, int32_t modifiers) {
    const Offsets offsets = offsetsOf(area, point);
    if (handle == HANDLE_ROTATION) {
        dragRotation(params, area, offsets, modifiers);
        return;
    }
    const double side = -offsets.across;
    const double inner = area.innerWidth;
    if (handle == HANDLE_OUTER) {
        writeFloat(params, PARAM_BLUR_AMOUNT, std::max(std::abs(side) - inner, 0.0));
    } else if (handle == HANDLE_FOCUS_DISTANCE) {
        writeFloat(params, PARAM_FOCUS_DISTANCE, std::max(side - inner, 0.0));
    } else if (handle == HANDLE_INNER) {
        writeFloat(params, PARAM_INNER_WIDTH, std::abs(side));
        // Shift keeps the focus-distance line where it is.
        if (area.linearMode == LINEAR_MODE_FOCUS_DISTANCE && (modifiers & PF_Mod_SHIFT_KEY) != 0) {
            writeFloat(params, PARAM_FOCUS_DISTANCE, std::max(area.focusDistance - (std::abs(side) - inner), 0.0));
        }
    }
}

// ---------------------------------------------------------------- events

PF_Err doClick(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], PF_EventExtra* event) {
    FocusArea area;
    PF_Err err = readFocusArea(params, area);
    if (err != PF_Err_NONE || (area.type != TYPE_RADIAL && area.type != TYPE_LINEAR)) return err;

    const ViewTransform view(*in_data, *event);
    PF_FixedPoint pointer{};
    double scale = 0;
    err = pointerInLayer(view, *event, pointer);
    if (err == PF_Err_NONE) err = pixelScale(*in_data, *event, scale);
    if (err != PF_Err_NONE) return err;

    const double tolerance = handleTolerance(scale);
    const FocusHandle handle = area.type == TYPE_RADIAL
                                   ? clickRadial(area, toPoint(pointer), tolerance)
                                   : clickLinear(area, toPoint(pointer), tolerance, layerDiagonal(*in_data));
    if (handle == HANDLE_NONE) return PF_Err_NONE;
    PF_DoClickEventInfo& click = event->u.do_click;
    click.continue_refcon[0] = handle;
    click.continue_refcon[1] = pointer.x;
    click.continue_refcon[2] = pointer.y;
    click.continue_refcon[3] = 0;
    click.send_drag = 1;
    event->evt_out_flags = PF_EO_HANDLED_EVENT;
    return PF_Err_NONE;
}

PF_Err doDrag(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], PF_EventExtra* event) {
    PF_DoClickEventInfo& drag = event->u.do_click;
    event->evt_out_flags = PF_EO_HANDLED_EVENT;
    FocusArea area;
    PF_Err err = readFocusArea(params, area);
    PF_FixedPoint pointer{};
    if (err == PF_Err_NONE) err = pointerInLayer(ViewTransform(*in_data, *event), *event, pointer);
    if (err == PF_Err_NONE) {
        const intptr_t handle = drag.continue_refcon[0];
        if (area.type == TYPE_RADIAL) dragRadial(params, area, handle, toPoint(pointer), drag.modifiers);
        if (area.type == TYPE_LINEAR) dragLinear(params, area, handle, toPoint(pointer), drag.modifiers);
        drag.continue_refcon[1] = pointer.x;
        drag.continue_refcon[2] = pointer.y;
    }
    // Also after a failure: the host must not keep sending drags for a released button.
    if (drag.last_time) {
        drag.continue_refcon[0] = HANDLE_NONE;
        drag.send_drag = 0;
    }
    return err;
}

PF_Err handleEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef*,
                   PF_EventExtra* event) {
    if (event == nullptr) return PF_Err_NONE;
    if (event->e_type == PF_Event_DO_CLICK && event->u.do_click.send_drag) event->e_type = PF_Event_DRAG;
    const int32_t type = event->e_type;
    if (type != PF_Event_DO_CLICK && type != PF_Event_DRAG && type != PF_Event_DRAW) return PF_Err_NONE;
    if (!servedWindow(*event)) return PF_Err_NONE;
    if (in_data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    // Nothing thrown below may reach the host: a failed drawing call or suite is this call's code.
    try {
        switch (type) {
            case PF_Event_DO_CLICK: return doClick(in_data, out_data, params, event);
            case PF_Event_DRAG: return doDrag(in_data, out_data, params, event);
            default: return doDraw(in_data, out_data, params, event);
        }
    } catch (Morvel::ColorExpressionData::DRAWBOT_Exception const& failure) {
        return failure.err();
    } catch (PF_Err err) {
        return err;
    }
}

}  // namespace TiltShift
