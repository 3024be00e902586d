#include <algorithm>
#include <cmath>

#include "Util/AEGP_SuiteHandler.h"
#include "library/custom_data/color_expression_data/drawbot_objects.h"
#include "tiltshift/focus_ui.h"
#include "tiltshift/parameter_table.h"

namespace TiltShift {

namespace {

using namespace Morvel::ColorExpressionData;
using Point = Morvel::Vector2<double>;

constexpr float kPenWidth = 2.5f;
constexpr DRAWBOT_ColorRGBA kInnerColour{1, 1, 0, 1};
constexpr DRAWBOT_ColorRGBA kOuterColour{0, 1, 1, 1};
constexpr DRAWBOT_ColorRGBA kFocusDistanceColour{0, 1, 0, 1};
constexpr DRAWBOT_ColorRGBA kTriangleColour{1, 0, 0, 1};
// A quarter ellipse as one cubic Bézier: control points this fraction of the radius from the ends.
constexpr double kBezierArc = 4.0 * 0.41421356237309515 / 3.0;
constexpr double kMinimumInnerWidth = 1e-6;

void check(PF_Err err) {
    if (err != PF_Err_NONE) throw err;
}

Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
Point operator*(double k, Point a) { return {k * a.x, k * a.y}; }

// The direction (along) and the way to the rotation triangle (up); y runs down.
struct Axes {
    Point along, up;
};

Axes axesOf(FocusArea const& area) {
    return {{std::cos(area.direction), std::sin(area.direction)},
            {std::sin(area.direction), -std::cos(area.direction)}};
}

class PathBuilder {
public:
    explicit PathBuilder(FocusDrawing const& drawing)
        : drawing_(drawing),
          path_(new DRAWBOT_PathP(drawing.suites.supplier_suite, drawing.suites.path_suite, drawing.supplier)) {}

    void moveTo(Point point) { path_->moveTo(screen(point)); }
    void lineTo(Point point) { path_->lineTo(screen(point)); }
    void bezierTo(Point control1, Point control2, Point end) {
        path_->bezierTo(screen(control1), screen(control2), screen(end));
    }
    void close() { path_->close(); }

    void stroke(DRAWBOT_ColorRGBA const& colour) {
        SharedRef<DRAWBOT_PenP> pen(
            new DRAWBOT_PenP(drawing_.suites.supplier_suite, drawing_.supplier, colour, kPenWidth));
        checkDrawbot(drawing_.suites.surface_suite->StrokePath(drawing_.surface, pen->get(), path_->get()));
    }

private:
    // Layer pixels to the window's screen, kept on the 16.16 grid the conversions work in.
    DRAWBOT_PointF32 screen(Point point) const {
        PF_FixedPoint fixed{roundToFixed(point.x), roundToFixed(point.y)};
        check(drawing_.view.toScreen(fixed));
        return DRAWBOT_PointF32{static_cast<float>(fixed.x / 65536.0), static_cast<float>(fixed.y / 65536.0)};
    }

    FocusDrawing const& drawing_;
    SharedRef<DRAWBOT_PathP> path_;
};

// Four quarter arcs, starting at the end along the direction.
void addEllipse(PathBuilder& path, Point center, Axes const& axes, double a, double b) {
    const Point ends[4] = {a * axes.along, b * axes.up, -a * axes.along, -b * axes.up};
    path.moveTo(center + ends[0]);
    for (int quarter = 0; quarter < 4; ++quarter) {
        const Point from = ends[quarter];
        const Point to = ends[(quarter + 1) % 4];
        // The tangent at each end points at the next end's radius direction.
        path.bezierTo(center + from + kBezierArc * to, center + to + kBezierArc * from, center + to);
    }
}

void strokeEllipse(FocusDrawing const& drawing, FocusArea const& area, double a, double b,
                   DRAWBOT_ColorRGBA const& colour) {
    PathBuilder path(drawing);
    addEllipse(path, area.center, axesOf(area), a, b);
    path.stroke(colour);
}

void strokeTriangle(FocusDrawing const& drawing, FocusArea const& area) {
    const Axes axes = axesOf(area);
    const Point apex = area.center + 80.0 * axes.up;
    PathBuilder path(drawing);
    path.moveTo(apex);
    path.lineTo(apex - 16.0 * axes.up - 8.0 * axes.along);
    path.lineTo(apex - 16.0 * axes.up + 8.0 * axes.along);
    path.close();
    path.stroke(kTriangleColour);
}

// Lines parallel to the focus line at the given signed distances (positive on the far side from
// the triangle), as long as the layer's diagonal.
void strokeLines(FocusDrawing const& drawing, FocusArea const& area, double diagonal,
                 std::initializer_list<double> distances, DRAWBOT_ColorRGBA const& colour) {
    const Axes axes = axesOf(area);
    const Point normal = -1.0 * axes.up;
    PathBuilder path(drawing);
    for (double distance : distances) {
        const Point middle = area.center + distance * normal;
        path.moveTo(middle - (diagonal / 2) * axes.along);
        path.lineTo(middle + (diagonal / 2) * axes.along);
    }
    path.stroke(colour);
}

}  // namespace

void drawRadial(FocusDrawing const& drawing, FocusArea const& area) {
    const double inner = std::max(area.innerWidth, kMinimumInnerWidth);
    const double outer = inner + area.blurAmount;
    strokeEllipse(drawing, area, inner, inner * area.ratio, kInnerColour);
    strokeEllipse(drawing, area, outer, outer * area.ratio, kOuterColour);
    strokeTriangle(drawing, area);
}

void drawLinear(FocusDrawing const& drawing, FocusArea const& area, double diagonal) {
    const double inner = area.innerWidth;
    const double outer = inner + area.blurAmount;
    strokeLines(drawing, area, diagonal, {inner, -inner}, kInnerColour);
    strokeLines(drawing, area, diagonal, {outer, -outer}, kOuterColour);
    if (area.linearMode == LINEAR_MODE_FOCUS_DISTANCE) {
        strokeLines(drawing, area, diagonal, {inner + area.focusDistance}, kFocusDistanceColour);
    }
    strokeTriangle(drawing, area);
}

PF_Err doDraw(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_EventExtra* event) {
    // Handled even when nothing can be drawn, so the host does not draw in the effect's place.
    event->evt_out_flags = PF_EO_HANDLED_EVENT;
    FocusArea area;
    PF_Err err = readFocusArea(params, area);
    if (err != PF_Err_NONE) return err;
    if (area.type == TYPE_RADIAL || area.type == TYPE_LINEAR) {
        AEGP_SuiteHandler suites(in_data->pica_basicP);
        DrawbotSuitesScope drawbot(in_data, out_data);
        err = drawbot.err();
        DRAWBOT_DrawRef drawRef = nullptr;
        if (err == PF_Err_NONE) err = suites.EffectCustomUISuite1()->PF_GetDrawingReference(event->contextH, &drawRef);
        if (err == PF_Err_NONE && drawRef != nullptr) {
            DRAWBOT_Suites const& drawbotSuites = drawbot.suites();
            DRAWBOT_SupplierRef supplier = nullptr;
            DRAWBOT_SurfaceRef surface = nullptr;
            checkDrawbot(drawbotSuites.draw_suite->GetSupplier(drawRef, &supplier));
            checkDrawbot(drawbotSuites.draw_suite->GetSurface(drawRef, &surface));
            const ViewTransform view(*in_data, *event);
            const FocusDrawing drawing{view, drawbotSuites, supplier, surface};
            if (area.type == TYPE_RADIAL) {
                drawRadial(drawing, area);
            } else {
                drawLinear(drawing, area, layerDiagonal(*in_data));
            }
        }
    }
    return err;
}

}  // namespace TiltShift
