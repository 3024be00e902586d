// The focus-area custom UI driven through the stand-in's composition and layer windows with a
// parameter array of the tilt-shift's own: which handle a click grabs, what a drag writes, what is
// drawn, and that every failure gives its code back with nothing left acquired.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "host/sim/project.h"
#include "host/sim/windows.h"
#include "support/host_fixture.h"
#include "tiltshift/focus_ui.h"
#include "tiltshift/parameter_table.h"

using namespace TiltShift;

namespace {

constexpr double kFixed = 65536.0;
constexpr double kBezierFraction = 0.5522847;

PF_Fixed fixed(double value) { return PF_Fixed(std::lround(value * kFixed)); }

class FocusUiTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        Sim::Project& project = host().project();
        Sim::ProjectComp& comp = project.addComp("Comp 1");
        layer_ = &project.addLayer(comp, u"Photo", AEGP_ObjectType_AV);
        for (int i = 0; i < HOST_PARAM_COUNT; ++i) pointers_[i] = &records_[i];
        records_[PARAM_TYPE].param_type = PF_Param_POPUP;
        records_[PARAM_LINEAR_MODE].param_type = PF_Param_POPUP;
        records_[PARAM_CENTER].param_type = PF_Param_POINT;
        records_[PARAM_DIRECTION].param_type = PF_Param_ANGLE;
        for (int index : {PARAM_BLUR_AMOUNT, PARAM_RATIO, PARAM_INNER_WIDTH, PARAM_FOCUS_DISTANCE}) {
            records_[index].param_type = PF_Param_FLOAT_SLIDER;
        }
        // The radial area of the examples: centre (100, 100), inner ellipse 50 × 25, outer 80 × 40.
        setType(TYPE_RADIAL);
        setLinearMode(LINEAR_MODE_POWER);
        setCenter(100, 100);
        setDirection(0);
        setFloat(PARAM_INNER_WIDTH, 50);
        setFloat(PARAM_BLUR_AMOUNT, 30);
        setFloat(PARAM_RATIO, 0.5);
        setFloat(PARAM_FOCUS_DISTANCE, 100);
        in_data_.width = 400;  // diagonal 500
        in_data_.height = 300;
        layerWindow_ = std::make_unique<Sim::ViewWindow>(host(), PF_Window_LAYER, layer_);
    }
    void TearDown() override {
        layerWindow_.reset();
        compWindow_.reset();
        HostTest::TearDown();
    }

    // A fresh host and the example's values, for a table's next row.
    void restart() {
        TearDown();
        SetUp();
    }

    void setType(int32_t type) { records_[PARAM_TYPE].u.pd.value = type; }
    void setLinearMode(int32_t mode) { records_[PARAM_LINEAR_MODE].u.pd.value = mode; }
    void setCenter(double x, double y) {
        records_[PARAM_CENTER].u.td.x_value = fixed(x);
        records_[PARAM_CENTER].u.td.y_value = fixed(y);
    }
    void setDirection(double degrees) { records_[PARAM_DIRECTION].u.ad.value = fixed(degrees); }
    void setFloat(int index, double value) { records_[index].u.fs_d.value = value; }
    double value(int index) const { return records_[index].u.fs_d.value; }
    bool changed(int index) const { return records_[index].uu.change_flags == PF_ChangeFlag_CHANGED_VALUE; }
    std::vector<int> changedIndices() const {
        std::vector<int> indices;
        for (int i = 0; i < HOST_PARAM_COUNT; ++i) {
            if (changed(i)) indices.push_back(i);
        }
        return indices;
    }

    // A composition window over the layer scaled 50 %, turned 30° and moved, at zoom 2, offset
    // (10, 20): one screen pixel is one layer pixel, turned.
    Sim::ViewWindow& compWindow() {
        auto set = [&](AEGP_LayerStream which, double x, double y) {
            layer_->transform[which]->value.v[0] = x;
            layer_->transform[which]->value.v[1] = y;
        };
        set(AEGP_LayerStream_ANCHORPOINT, 200, 150);
        set(AEGP_LayerStream_POSITION, 320, 240);
        set(AEGP_LayerStream_SCALE, 50, 50);
        set(AEGP_LayerStream_ROTATION, 30, 0);
        compWindow_ = std::make_unique<Sim::ViewWindow>(host(), PF_Window_COMP, layer_);
        compWindow_->setZoom(2);
        compWindow_->setOffset(10, 20);
        return *compWindow_;
    }

    PF_Err send(PF_EventExtra& event) {
        for (PF_ParamDef& record : records_) record.uu.change_flags = PF_ChangeFlag_NONE;
        return handleEvent(&in_data_, &out_data_, pointers_, nullptr, &event);
    }
    // A click at the screen point that shows the layer point.
    PF_EventExtra clickAt(Sim::ViewWindow& window, double x, double y, int32_t modifiers = PF_Mod_NONE) {
        PF_EventExtra event = window.clickEvent(window.screenOf(x, y), modifiers);
        EXPECT_EQ(send(event), PF_Err_NONE);
        return event;
    }
    PF_EventExtra dragAt(Sim::ViewWindow& window, FocusHandle handle, double x, double y,
                         int32_t modifiers = PF_Mod_NONE, bool lastTime = false) {
        PF_EventExtra event = window.dragEvent(window.screenOf(x, y), modifiers, lastTime);
        event.u.do_click.continue_refcon[0] = handle;
        EXPECT_EQ(send(event), PF_Err_NONE);
        return event;
    }

    Sim::ProjectLayer* layer_ = nullptr;
    PF_ParamDef records_[HOST_PARAM_COUNT] = {};
    PF_ParamDef* pointers_[HOST_PARAM_COUNT] = {};
    std::unique_ptr<Sim::ViewWindow> layerWindow_;
    std::unique_ptr<Sim::ViewWindow> compWindow_;
};

// ---------------------------------------------------------------- clicks

struct ClickCase {
    const char* name;
    double x, y;
    FocusHandle handle;
    // The ellipse's ends along the direction can be grabbed only within 0.6 pixels (the distance
    // is measured across): a turned view's rounding to whole screen pixels misses them.
    bool untransformedOnly = false;
};

const ClickCase kRadialClicks[] = {
    {"outer ellipse, end along the direction", 180, 100, HANDLE_OUTER, true},
    {"outer ellipse, 30° round", 100 + 80 * std::cos(std::numbers::pi / 6), 80, HANDLE_OUTER},
    {"outer ellipse, across", 100, 60, HANDLE_OUTER},
    {"inner ellipse, across", 100, 75, HANDLE_INNER},
    {"inner ellipse, end along the direction", 50, 100, HANDLE_INNER, true},
    {"inner ellipse, 30° round", 100 + 50 * std::cos(std::numbers::pi / 6), 87.5, HANDLE_INNER},
    {"rotation triangle", 100, 30, HANDLE_ROTATION},
    {"outer ellipse within tolerance", 100, 143, HANDLE_OUTER},
    {"outside everything", 100, 200, HANDLE_NONE},
    {"between the ellipses", 100, 68, HANDLE_NONE},
    {"beyond the outer ellipse's end", 190, 100, HANDLE_NONE},
};

TEST_F(FocusUiTest, RadialClickGrabsTheHandleUnderThePointerInEitherWindow) {
    for (Sim::ViewWindow* window : {layerWindow_.get(), &compWindow()}) {
        const std::string where = window->type() == PF_Window_COMP ? "composition window: " : "layer window: ";
        for (const ClickCase& c : kRadialClicks) {
            if (c.untransformedOnly && window->type() == PF_Window_COMP) continue;
            const PF_EventExtra event = clickAt(*window, c.x, c.y);
            const PF_DoClickEventInfo& click = event.u.do_click;
            EXPECT_EQ(click.continue_refcon[0], c.handle) << where << c.name;
            EXPECT_EQ(click.send_drag, c.handle != HANDLE_NONE ? 1 : 0) << where << c.name;
            EXPECT_EQ(event.evt_out_flags, c.handle != HANDLE_NONE ? PF_EO_HANDLED_EVENT : PF_EO_NONE)
                << where << c.name;
            EXPECT_TRUE(changedIndices().empty()) << where << c.name;
            if (c.handle == HANDLE_NONE) continue;
            // The pointer's layer position, as the window itself places the screen point.
            double x = 0, y = 0;
            const PF_Point screen = window->screenOf(c.x, c.y);
            window->layerOf(screen.h, screen.v, x, y);
            EXPECT_NEAR(click.continue_refcon[1] / kFixed, x, 1e-3) << where << c.name;
            EXPECT_NEAR(click.continue_refcon[2] / kFixed, y, 1e-3) << where << c.name;
            EXPECT_EQ(click.continue_refcon[3], 0) << where << c.name;
        }
    }
}

TEST_F(FocusUiTest, ToleranceIsFiveScreenPixelsInLayerPixelsWhateverTheTurn) {
    struct Case {
        const char* name;
        double zoom, scale, rotation, pixel;
    };
    const Case cases[] = {
        {"identity", 1, 100, 0, 1},    {"zoomed in", 2, 100, 0, 0.5}, {"zoomed in, layer halved", 2, 50, 30, 1},
        {"turned 45°", 1, 100, 45, 1}, {"turned 40°", 1, 100, 40, 1}, {"turned -45°, zoomed out", 0.5, 100, -45, 2},
    };
    for (const Case& c : cases) {
        layer_->transform[AEGP_LayerStream_SCALE]->value.v[0] = c.scale;
        layer_->transform[AEGP_LayerStream_SCALE]->value.v[1] = c.scale;
        layer_->transform[AEGP_LayerStream_ROTATION]->value.v[0] = c.rotation;
        Sim::ViewWindow window(host(), PF_Window_COMP, layer_);
        window.setZoom(c.zoom);
        PF_EventExtra event = window.clickEvent(PF_Point{0, 0});
        double scale = 0;
        ASSERT_EQ(pixelScale(in_data_, event, scale), PF_Err_NONE) << c.name;
        EXPECT_NEAR(scale, c.pixel, 1e-4) << c.name;
        EXPECT_NEAR(handleTolerance(scale), 5 * c.pixel, 5e-4) << c.name;
    }
}

TEST_F(FocusUiTest, OnALayerTurned45DegreesTheOuterEllipseIsStillGrabbed) {
    layer_->transform[AEGP_LayerStream_ROTATION]->value.v[0] = 45;
    Sim::ViewWindow window(host(), PF_Window_COMP, layer_);
    // 3 layer pixels outside the outer ellipse's top, well within 5.
    EXPECT_EQ(clickAt(window, 100, 57).u.do_click.continue_refcon[0], HANDLE_OUTER);
    EXPECT_EQ(clickAt(window, 100, 50).u.do_click.continue_refcon[0], HANDLE_NONE);
}

TEST_F(FocusUiTest, EllipseHitFollowsTheEllipseAcrossTheDirection) {
    const double a = 80, b = 40;
    for (double t = 0; t < 2 * std::numbers::pi; t += 0.37) {
        const double along = a * std::cos(t), across = b * std::sin(t);
        EXPECT_TRUE(hitEllipse(along, across, a, b, 1)) << "on the ellipse at " << t;
        EXPECT_TRUE(hitEllipse(along, across + 0.99, a, b, 1)) << "just within at " << t;
        EXPECT_FALSE(hitEllipse(along, std::copysign(std::abs(across) + 1.01, across), a, b, 1))
            << "just outside at " << t;
    }
    EXPECT_FALSE(hitEllipse(80.001, 0, a, b, 5)) << "beyond the end along the direction";
}

TEST_F(FocusUiTest, RotationTriangleCornersTurnWithTheDirection) {
    // Direction 0 about the origin: apex (0, -80), corners (-8, -64) and (8, -64).
    FocusArea area;
    EXPECT_TRUE(insideRotationTriangle(area, {0, -70}));
    EXPECT_TRUE(insideRotationTriangle(area, {-3, -66}));
    EXPECT_FALSE(insideRotationTriangle(area, {0, -60}));
    EXPECT_FALSE(insideRotationTriangle(area, {-7, -70}));
    EXPECT_FALSE(insideRotationTriangle(area, {0, 70})) << "the mirror image below";
    // A quarter turn clockwise sends the apex to (80, 0).
    area.direction = std::numbers::pi / 2;
    EXPECT_TRUE(insideRotationTriangle(area, {70, 0}));
    EXPECT_FALSE(insideRotationTriangle(area, {0, -70}));
}

TEST_F(FocusUiTest, LinearClickGrabsLinesOnlyWithinTheLayersDiagonal) {
    setType(TYPE_LINEAR);
    // Half the diagonal is 250: the lines end 250 either side of the centre along the direction.
    struct Case {
        const char* name;
        int32_t mode;
        double x, y;
        FocusHandle handle;
    };
    const Case cases[] = {
        {"outer line, far side", LINEAR_MODE_POWER, 100, 180, HANDLE_OUTER},
        {"outer line, near side", LINEAR_MODE_POWER, 150, 20, HANDLE_OUTER},
        {"inner line, far side", LINEAR_MODE_POWER, 300, 150, HANDLE_INNER},
        {"inner line, near side", LINEAR_MODE_POWER, -100, 52, HANDLE_INNER},
        {"focus-distance line in Power mode", LINEAR_MODE_POWER, 100, 250, HANDLE_NONE},
        {"focus-distance line", LINEAR_MODE_FOCUS_DISTANCE, 100, 250, HANDLE_FOCUS_DISTANCE},
        {"focus-distance line's place on the near side", LINEAR_MODE_FOCUS_DISTANCE, 150, -50, HANDLE_NONE},
        {"outer line beyond the end", LINEAR_MODE_POWER, 360, 180, HANDLE_NONE},
        {"inner line beyond the end", LINEAR_MODE_FOCUS_DISTANCE, -160, 150, HANDLE_NONE},
        {"focus-distance line beyond the end", LINEAR_MODE_FOCUS_DISTANCE, 351, 250, HANDLE_NONE},
        {"triangle", LINEAR_MODE_FOCUS_DISTANCE, 100, 30, HANDLE_ROTATION},
    };
    for (const Case& c : cases) {
        setLinearMode(c.mode);
        EXPECT_EQ(clickAt(*layerWindow_, c.x, c.y).u.do_click.continue_refcon[0], c.handle) << c.name;
    }
}

TEST_F(FocusUiTest, ClicksOutsideTheServedWindowsTypesAndEventsAreLeftAlone) {
    Sim::EffectControlsWindow controls(host());
    PF_EventExtra effectWindow = controls.clickEvent(1, PF_Rect{0, 0, 100, 20}, {100, 60});
    EXPECT_EQ(send(effectWindow), PF_Err_NONE);
    EXPECT_EQ(effectWindow.evt_out_flags, PF_EO_NONE);
    EXPECT_EQ(effectWindow.u.do_click.send_drag, 0);

    PF_EventExtra idle = layerWindow_->clickEvent(layerWindow_->screenOf(100, 60));
    idle.e_type = PF_Event_IDLE;
    EXPECT_EQ(send(idle), PF_Err_NONE);
    EXPECT_EQ(idle.evt_out_flags, PF_EO_NONE);

    setType(3);
    const PF_EventExtra click = clickAt(*layerWindow_, 100, 60);
    EXPECT_EQ(click.evt_out_flags, PF_EO_NONE);
    EXPECT_EQ(click.u.do_click.send_drag, 0);
    EXPECT_TRUE(host().log().count("layer_to_comp") + host().log().count("frame_to_source") == 0)
        << "nothing is converted for a type without a shape";
}

// ---------------------------------------------------------------- drags

TEST_F(FocusUiTest, DragsWriteWhatTheirHandleStandsFor) {
    struct Case {
        const char* name;
        int32_t type, mode;
        double ratio;
        FocusHandle handle;
        double x, y;
        int32_t modifiers;
        // What is written, and nothing else.
        std::vector<std::pair<int, double>> written;
        double inner = 50;
    };
    const int32_t shift = PF_Mod_SHIFT_KEY;
    const Case cases[] = {
        {"radial outer", TYPE_RADIAL, 1, 0.5, HANDLE_OUTER, 100, 50, 0, {{PARAM_BLUR_AMOUNT, 50}}},
        {"radial outer inside the inner shape",
         TYPE_RADIAL,
         1,
         0.5,
         HANDLE_OUTER,
         100,
         90,
         0,
         {{PARAM_BLUR_AMOUNT, 0}}},
        {"radial inner", TYPE_RADIAL, 1, 0.5, HANDLE_INNER, 100, 60, 0, {{PARAM_INNER_WIDTH, 80}}},
        {"radial inner, along", TYPE_RADIAL, 1, 0.5, HANDLE_INNER, 40, 100, 0, {{PARAM_INNER_WIDTH, 60}}},
        // along 30, across 20 on an ellipse 50 long: 20 / sqrt(1 - 0.36) / 50.
        {"radial inner with Shift", TYPE_RADIAL, 1, 1, HANDLE_INNER, 130, 80, shift, {{PARAM_RATIO, 0.5}}},
        {"radial inner with Shift on the axis", TYPE_RADIAL, 1, 1, HANDLE_INNER, 130, 100, shift, {}},
        {"radial inner with Shift beyond the end", TYPE_RADIAL, 1, 1, HANDLE_INNER, 160, 90, shift, {}},
        // 0.02 / 500 and 400 / sqrt(1 - 0.998) / 50: clamped to the ratio's range.
        {"radial inner with Shift, a tiny ratio",
         TYPE_RADIAL,
         1,
         1,
         HANDLE_INNER,
         100,
         99.98,
         shift,
         {{PARAM_RATIO, 0.0001}},
         500},
        {"radial inner with Shift, a huge ratio",
         TYPE_RADIAL,
         1,
         1,
         HANDLE_INNER,
         149.9,
         -300,
         shift,
         {{PARAM_RATIO, 100}}},
        {"radial, no handle", TYPE_RADIAL, 1, 1, HANDLE_NONE, 100, 60, 0, {}},
        {"linear outer", TYPE_LINEAR, 1, 1, HANDLE_OUTER, 100, 200, 0, {{PARAM_BLUR_AMOUNT, 50}}},
        {"linear outer, near side", TYPE_LINEAR, 1, 1, HANDLE_OUTER, 400, 10, 0, {{PARAM_BLUR_AMOUNT, 40}}},
        {"linear focus distance", TYPE_LINEAR, 2, 1, HANDLE_FOCUS_DISTANCE, 100, 300, 0, {{PARAM_FOCUS_DISTANCE, 150}}},
        {"linear focus distance onto the near side",
         TYPE_LINEAR,
         2,
         1,
         HANDLE_FOCUS_DISTANCE,
         100,
         60,
         0,
         {{PARAM_FOCUS_DISTANCE, 0}}},
        {"linear inner", TYPE_LINEAR, 2, 1, HANDLE_INNER, 100, 30, 0, {{PARAM_INNER_WIDTH, 70}}},
        // Inner width 50 → 70 with the focus line kept at 150: focus distance 100 → 80.
        {"linear inner with Shift",
         TYPE_LINEAR,
         2,
         1,
         HANDLE_INNER,
         100,
         170,
         shift,
         {{PARAM_INNER_WIDTH, 70}, {PARAM_FOCUS_DISTANCE, 80}}},
        {"linear inner with Shift in Power mode",
         TYPE_LINEAR,
         1,
         1,
         HANDLE_INNER,
         100,
         170,
         shift,
         {{PARAM_INNER_WIDTH, 70}}},
        {"linear inner with Shift past the focus line",
         TYPE_LINEAR,
         2,
         1,
         HANDLE_INNER,
         100,
         300,
         shift,
         {{PARAM_INNER_WIDTH, 200}, {PARAM_FOCUS_DISTANCE, 0}}},
    };
    for (const Case& c : cases) {
        restart();
        setType(c.type);
        setLinearMode(c.mode);
        setFloat(PARAM_RATIO, c.ratio);
        setFloat(PARAM_INNER_WIDTH, c.inner);
        // Zoomed in, so whole screen pixels place the pointer within 0.01 layer pixels.
        layerWindow_->setZoom(50);
        PF_ParamDef before[HOST_PARAM_COUNT];
        std::copy(std::begin(records_), std::end(records_), before);
        const PF_EventExtra event = dragAt(*layerWindow_, c.handle, c.x, c.y, c.modifiers);
        EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT) << c.name;
        std::vector<int> expectedChanged;
        for (const auto& [index, expected] : c.written) {
            EXPECT_NEAR(value(index), expected, 1e-6) << c.name;
            expectedChanged.push_back(index);
        }
        std::sort(expectedChanged.begin(), expectedChanged.end());
        EXPECT_EQ(changedIndices(), expectedChanged) << c.name;
        for (int i = 0; i < HOST_PARAM_COUNT; ++i) {
            if (changed(i)) continue;
            EXPECT_EQ(std::memcmp(&records_[i].u, &before[i].u, sizeof before[i].u), 0) << c.name << ", index " << i;
        }
    }
}

TEST_F(FocusUiTest, RotationFollowsThePointerToTheNearestTurnAndSnapsWithShift) {
    struct Case {
        const char* name;
        double start;    // "Direction" before, degrees
        double pointer;  // the pointer's angle from straight up, clockwise, degrees
        int32_t modifiers;
        double expected;
    };
    const Case cases[] = {
        {"a quarter turn", 0, 90, 0, 90},
        {"44° with Shift", 0, 44, PF_Mod_SHIFT_KEY, 45},
        {"-22° with Shift", 0, -22, PF_Mod_SHIFT_KEY, 0},
        {"-23° with Shift", 0, -23, PF_Mod_SHIFT_KEY, -45},
        {"past a whole turn", 350, 10, 0, 370},
        {"two turns back", -720, -30, 0, -750},
        {"with Shift, past a whole turn", 350, 20, PF_Mod_SHIFT_KEY, 360},
    };
    for (const Case& c : cases) {
        for (int32_t type : {int32_t(TYPE_RADIAL), int32_t(TYPE_LINEAR)}) {
            restart();
            setType(type);
            setDirection(c.start);
            const double radians = c.pointer * std::numbers::pi / 180;
            // Far from the centre, so rounding to whole screen pixels moves the angle by < 0.02°.
            const double x = 100 + 3000 * std::sin(radians), y = 100 - 3000 * std::cos(radians);
            dragAt(*layerWindow_, HANDLE_ROTATION, x, y, c.modifiers);
            const double degrees = records_[PARAM_DIRECTION].u.ad.value / kFixed;
            if (c.modifiers != 0) {
                EXPECT_EQ(records_[PARAM_DIRECTION].u.ad.value, fixed(c.expected)) << c.name;
            } else {
                EXPECT_NEAR(degrees, c.expected, 0.02) << c.name;
            }
            EXPECT_EQ(changedIndices(), std::vector<int>{PARAM_DIRECTION}) << c.name;
        }
    }
}

TEST_F(FocusUiTest, AClickThenDragsThenTheLastDragReleasesTheHandle) {
    PF_EventExtra event = layerWindow_->clickEvent(layerWindow_->screenOf(100, 60));
    ASSERT_EQ(send(event), PF_Err_NONE);
    ASSERT_EQ(event.u.do_click.continue_refcon[0], HANDLE_OUTER);

    // The host sends the drags as clicks with send_drag still set; they count as drags.
    PF_EventExtra drag = event;
    drag.u.do_click.screen_point = layerWindow_->screenOf(100, 55);
    ASSERT_EQ(send(drag), PF_Err_NONE);
    EXPECT_EQ(drag.e_type, PF_Event_DRAG);
    EXPECT_NEAR(value(PARAM_BLUR_AMOUNT), 40, 1e-9);
    EXPECT_EQ(drag.u.do_click.continue_refcon[0], HANDLE_OUTER);
    EXPECT_EQ(drag.u.do_click.continue_refcon[2], fixed(55));
    EXPECT_EQ(drag.u.do_click.send_drag, 1);

    drag.u.do_click.screen_point = layerWindow_->screenOf(100, 50);
    drag.u.do_click.last_time = 1;
    ASSERT_EQ(send(drag), PF_Err_NONE);
    EXPECT_NEAR(value(PARAM_BLUR_AMOUNT), 50, 1e-9);
    EXPECT_EQ(drag.u.do_click.continue_refcon[0], HANDLE_NONE);
    EXPECT_EQ(drag.u.do_click.continue_refcon[2], fixed(50));
    EXPECT_EQ(drag.u.do_click.send_drag, 0);
    EXPECT_EQ(drag.evt_out_flags, PF_EO_HANDLED_EVENT);
}

// ---------------------------------------------------------------- drawing

struct Xy {
    double x, y;
};

std::vector<Xy> pointsOf(const Sim::PathStep& step) {
    std::vector<Xy> points;
    for (size_t i = 0; i + 1 < step.values.size(); i += 2) points.push_back({step.values[i], step.values[i + 1]});
    return points;
}

bool onFixedGrid(const Sim::DrawCall& call) {
    for (const Sim::PathStep& step : call.path) {
        for (float value : step.values) {
            const double scaled = double(value) * kFixed;
            if (scaled != std::round(scaled)) return false;
        }
    }
    return true;
}

// An ellipse about (cx, cy) with semi-axes a along x and b along y, as four Béziers: ends on the
// ellipse, control points 0.5522847 of the radius from their ends, each arc's middle on the
// ellipse within the approximation's 0.03 %.
void expectEllipse(const Sim::DrawCall& call, double cx, double cy, double a, double b, const std::string& what) {
    ASSERT_EQ(call.path.size(), 5u) << what;
    ASSERT_EQ(call.path[0].op, 'M') << what;
    auto onEllipse = [&](Xy p) { return std::pow((p.x - cx) / a, 2) + std::pow((p.y - cy) / b, 2); };
    Xy start = pointsOf(call.path[0])[0];
    EXPECT_NEAR(onEllipse(start), 1, 1e-5) << what;
    const Xy first = start;
    for (size_t i = 1; i < 5; ++i) {
        ASSERT_EQ(call.path[i].op, 'C') << what;
        const std::vector<Xy> p = pointsOf(call.path[i]);
        const Xy end = p[2];
        EXPECT_NEAR(onEllipse(end), 1, 1e-5) << what << ", arc " << i;
        const double startRadius = std::hypot(start.x - cx, start.y - cy);
        const double endRadius = std::hypot(end.x - cx, end.y - cy);
        EXPECT_NEAR(std::hypot(p[0].x - start.x, p[0].y - start.y), kBezierFraction * endRadius, 1e-4) << what;
        EXPECT_NEAR(std::hypot(p[1].x - end.x, p[1].y - end.y), kBezierFraction * startRadius, 1e-4) << what;
        const Xy middle{(start.x + 3 * p[0].x + 3 * p[1].x + end.x) / 8,
                        (start.y + 3 * p[0].y + 3 * p[1].y + end.y) / 8};
        EXPECT_NEAR(onEllipse(middle), 1, 1e-3) << what << ", arc " << i;
        start = end;
    }
    EXPECT_NEAR(start.x, first.x, 1e-4) << what << ": closed";
    EXPECT_NEAR(start.y, first.y, 1e-4) << what << ": closed";
}

void expectPen(const Sim::DrawCall& call, std::vector<double> colour, const std::string& what) {
    colour.push_back(2.5);
    EXPECT_EQ(call.numbers, colour) << what;
}

void expectTriangle(const Sim::DrawCall& call, std::vector<Xy> const& corners) {
    expectPen(call, {1, 0, 0, 1}, "triangle");
    ASSERT_EQ(call.path.size(), 4u);
    const char ops[] = {'M', 'L', 'L', 'Z'};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(call.path[i].op, ops[i]);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(pointsOf(call.path[i])[0].x, corners[i].x, 1e-4) << "corner " << i;
        EXPECT_NEAR(pointsOf(call.path[i])[0].y, corners[i].y, 1e-4) << "corner " << i;
    }
}

TEST_F(FocusUiTest, RadialDrawingIsTwoEllipsesAndTheTriangle) {
    PF_EventExtra event = layerWindow_->drawEvent();
    ASSERT_EQ(send(event), PF_Err_NONE);
    EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
    const auto strokes = layerWindow_->calls("StrokePath");
    ASSERT_EQ(strokes.size(), 3u);
    expectPen(strokes[0], {1, 1, 0, 1}, "inner");
    expectEllipse(strokes[0], 100, 100, 50, 25, "inner");
    expectPen(strokes[1], {0, 1, 1, 1}, "outer");
    expectEllipse(strokes[1], 100, 100, 80, 40, "outer");
    expectTriangle(strokes[2], {{100, 20}, {92, 36}, {108, 36}});
    for (const auto& stroke : strokes) EXPECT_TRUE(onFixedGrid(stroke));
}

TEST_F(FocusUiTest, DrawnPointsAreTheLayersPointsOnTheScreenOnTheFixedGrid) {
    setCenter(100.3, 99.7);
    setDirection(17);
    Sim::ViewWindow& window = compWindow();
    PF_EventExtra event = window.drawEvent();
    ASSERT_EQ(send(event), PF_Err_NONE);
    const auto strokes = window.calls("StrokePath");
    ASSERT_EQ(strokes.size(), 3u);
    // The apex, 80 from the centre towards the triangle, through the window's own mapping.
    const double d = 17 * std::numbers::pi / 180;
    double x = 100.3 + 80 * std::sin(d), y = 99.7 - 80 * std::cos(d);
    window.layerToComp(0, x, y);
    window.sourceToFrame(x, y);
    const Xy apex = pointsOf(strokes[2].path[0])[0];
    EXPECT_NEAR(apex.x, x, 2e-4);
    EXPECT_NEAR(apex.y, y, 2e-4);
    for (const auto& stroke : strokes) EXPECT_TRUE(onFixedGrid(stroke));
}

TEST_F(FocusUiTest, LinearDrawingIsLinesAcrossTheLayerAndTheFocusLineOnlyInItsMode) {
    setType(TYPE_LINEAR);
    for (int32_t mode : {int32_t(LINEAR_MODE_POWER), int32_t(LINEAR_MODE_FOCUS_DISTANCE)}) {
        layerWindow_->clearCalls();
        setLinearMode(mode);
        PF_EventExtra event = layerWindow_->drawEvent();
        ASSERT_EQ(send(event), PF_Err_NONE);
        const auto strokes = layerWindow_->calls("StrokePath");
        const bool focusLine = mode == LINEAR_MODE_FOCUS_DISTANCE;
        ASSERT_EQ(strokes.size(), focusLine ? 4u : 3u);
        struct Lines {
            const char* what;
            std::vector<double> colour;
            std::vector<double> ys;
        };
        std::vector<Lines> expected = {{"inner", {1, 1, 0, 1}, {150, 50}}, {"outer", {0, 1, 1, 1}, {180, 20}}};
        if (focusLine) expected.push_back({"focus distance", {0, 1, 0, 1}, {250}});
        for (size_t i = 0; i < expected.size(); ++i) {
            const Lines& lines = expected[i];
            expectPen(strokes[i], lines.colour, lines.what);
            ASSERT_EQ(strokes[i].path.size(), 2 * lines.ys.size()) << lines.what;
            for (size_t j = 0; j < lines.ys.size(); ++j) {
                const Sim::PathStep& from = strokes[i].path[2 * j];
                const Sim::PathStep& to = strokes[i].path[2 * j + 1];
                EXPECT_EQ(from.op, 'M');
                EXPECT_EQ(to.op, 'L');
                // Half the layer's diagonal (500) either side of the centre.
                EXPECT_EQ(from.values, (std::vector<float>{-150, float(lines.ys[j])})) << lines.what;
                EXPECT_EQ(to.values, (std::vector<float>{350, float(lines.ys[j])})) << lines.what;
            }
        }
        expectTriangle(strokes.back(), {{100, 20}, {92, 36}, {108, 36}});
    }
}

TEST_F(FocusUiTest, NothingToDrawOnIsStillHandled) {
    layerWindow_->setDrawingAvailable(false);
    PF_EventExtra event = layerWindow_->drawEvent();
    EXPECT_EQ(send(event), PF_Err_NONE);
    EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
    layerWindow_->setDrawingAvailable(true);
    setType(3);
    event = layerWindow_->drawEvent();
    EXPECT_EQ(send(event), PF_Err_NONE);
    EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
    EXPECT_TRUE(layerWindow_->calls().empty());
}

TEST_F(FocusUiTest, AFailedDrawingCallGivesItsCodeWithEverythingReleased) {
    struct Case {
        const char* name;
        std::function<void(Sim::FaultPlan&)> plan;
        PF_Err expected;
        int32_t type = TYPE_RADIAL;
    };
    const Case cases[] = {
        {"first pen", [](Sim::FaultPlan& f) { f.failCall("DRAWBOT_NewPen", 1, PF_Err_OUT_OF_MEMORY); },
         PF_Err_OUT_OF_MEMORY},
        {"third pen", [](Sim::FaultPlan& f) { f.failCall("DRAWBOT_NewPen", 3, 512); }, 512},
        {"second stroke", [](Sim::FaultPlan& f) { f.failCall("DRAWBOT_StrokePath", 2, 513); }, 513},
        {"a path", [](Sim::FaultPlan& f) { f.failCall("DRAWBOT_NewPath", 2, 4); }, 4},
        {"an arc", [](Sim::FaultPlan& f) { f.failCall("DRAWBOT_BezierTo", 6, 515); }, 515},
        {"a line", [](Sim::FaultPlan& f) { f.failCall("DRAWBOT_LineTo", 3, 512); }, 512, TYPE_LINEAR},
        {"closing", [](Sim::FaultPlan& f) { f.failCall("DRAWBOT_Close", 1, 512); }, 512},
        {"the surface", [](Sim::FaultPlan& f) { f.failCall("DRAWBOT_GetSurface", 1, 512); }, 512},
        {"the drawing reference", [](Sim::FaultPlan& f) { f.failCall("PF_GetDrawingReference", 1, 4); }, 4},
        {"a conversion", [](Sim::FaultPlan& f) { f.failCall("source_to_frame", 7, 512); }, 512},
        {"no custom UI suite",
         [](Sim::FaultPlan& f) { f.makeSuiteMissing(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1); },
         PF_Err_BAD_CALLBACK_PARAM},
        {"no path suite", [](Sim::FaultPlan& f) { f.makeSuiteMissing(kDRAWBOT_PathSuite, kDRAWBOT_SuiteVersion1); },
         PF_Err_BAD_CALLBACK_PARAM},
    };
    for (const Case& c : cases) {
        restart();
        setType(c.type);
        c.plan(host().faults());
        PF_EventExtra event = layerWindow_->drawEvent();
        EXPECT_EQ(send(event), c.expected) << c.name;
        EXPECT_TRUE(host().ledger().balanced()) << c.name << "\n" << host().ledger().report();
    }
}

TEST_F(FocusUiTest, AFailedConversionStopsAClickOrDragWithItsCode) {
    host().faults().failCall("comp_to_layer", 1, 512);
    Sim::ViewWindow& window = compWindow();
    PF_EventExtra click = window.clickEvent(window.screenOf(100, 60));
    EXPECT_EQ(send(click), 512);
    EXPECT_EQ(click.u.do_click.send_drag, 0);

    host().faults().failCall("frame_to_source", 1, 4);
    PF_EventExtra drag = window.dragEvent(window.screenOf(100, 50), PF_Mod_NONE, true);
    drag.u.do_click.continue_refcon[0] = HANDLE_OUTER;
    EXPECT_EQ(send(drag), 4);
    EXPECT_TRUE(changedIndices().empty());
    EXPECT_EQ(drag.u.do_click.send_drag, 0) << "the last drag lets go even when it fails";
    EXPECT_EQ(drag.u.do_click.continue_refcon[0], HANDLE_NONE);
}

}  // namespace
