#pragma once

// The focus area drawn over the image in the composition and layer windows: clicking grabs one of
// its handles and dragging rewrites the parameter the handle stands for.

#include <cstdint>

#include "library/utility/geometry.h"
#include "morvel_host/host.h"
#include "tiltshift/parameter_table.h"

namespace TiltShift {

// Kept in continue_refcon[0] from a click to the drags that follow it.
enum FocusHandle : intptr_t {
    HANDLE_NONE = 0,
    HANDLE_OUTER = 1,
    HANDLE_ROTATION = 2,
    HANDLE_INNER = 3,
    HANDLE_FOCUS_DISTANCE = 4
};

// The parameter values the focus area is made of, in layer pixels; direction in radians.
struct FocusArea {
    FocusType type{};
    LinearMode linearMode{};
    Morvel::Vector2<double> center;
    double direction = 0;
    double blurAmount = 0;
    double ratio = 0;
    double innerWidth = 0;
    double focusDistance = 0;
};

// Reads the focus area from the event's parameter array; 516 when a parameter is missing.
PF_Err readFocusArea(PF_ParamDef* params[], FocusArea& area);

// The event window's conversions between its screen and the layer, at the input record's time.
class ViewTransform {
public:
    ViewTransform(PF_InData const& in_data, PF_EventExtra& event);
    // Screen → source, then (composition windows) composition → layer.
    PF_Err toLayer(PF_FixedPoint& point) const;
    // The reverse.
    PF_Err toScreen(PF_FixedPoint& point) const;

private:
    PF_InData const& in_data_;
    PF_EventExtra& event_;
};

// 16.16, rounded half away from zero, saturating.
PF_Fixed roundToFixed(double value);
// The layer's diagonal: the integer squares of in_data's width and height, the host's sqrt.
double layerDiagonal(PF_InData const& in_data);

// Where the focus area is drawn: the window's surface and supplier, the drawing suites, and the
// conversion of layer points to the screen.
struct FocusDrawing {
    ViewTransform const& view;
    DRAWBOT_Suites const& suites;
    DRAWBOT_SupplierRef supplier;
    DRAWBOT_SurfaceRef surface;
};
// Both throw the failing call's error: a drawing call's as the library's drawing error, a
// conversion's as the PF_Err itself.
void drawRadial(FocusDrawing const& drawing, FocusArea const& area);
void drawLinear(FocusDrawing const& drawing, FocusArea const& area, double diagonal);

// Command 15.
PF_Err handleEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                   PF_EventExtra* event);
PF_Err doClick(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_EventExtra* event);
PF_Err doDrag(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_EventExtra* event);
PF_Err doDraw(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_EventExtra* event);

// Layer pixels per screen pixel of the event's window, in `scale`.
PF_Err pixelScale(PF_InData const& in_data, PF_EventExtra& event, double& scale);
// How far from a handle, in layer pixels, a click still grabs it.
double handleTolerance(double pixelScale);

// Whether a point at (along, across) from the centre lies within tolerance of the ellipse of
// semi-axes a (along) and b (across), measured across.
bool hitEllipse(double along, double across, double a, double b, double tolerance);
bool insideRotationTriangle(FocusArea const& area, Morvel::Vector2<double> point);
FocusHandle clickRadial(FocusArea const& area, Morvel::Vector2<double> point, double tolerance);
// diagonal: the layer's, in pixels.
FocusHandle clickLinear(FocusArea const& area, Morvel::Vector2<double> point, double tolerance, double diagonal);

// Write the parameters the handle moves to follow the pointer, flagging each one written.
void dragRadial(PF_ParamDef* params[], FocusArea const& area, intptr_t handle, Morvel::Vector2<double> point,
                int32_t modifiers);
void dragLinear(PF_ParamDef* params[], FocusArea const& area, intptr_t handle, Morvel::Vector2<double> point,
                int32_t modifiers);

}  // namespace TiltShift
