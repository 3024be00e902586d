// The built tilt-shift plug-in's focus-area UI in the stand-in's composition and layer windows:
// a click grabs a handle, drags rewrite the parameters' streams, drawing records the area. With
// MORVEL_PICTURES set to a folder and MORVEL_PHOTO to an 8-bit PNG photograph of 512 × 512
// pixels, the drawn area is painted over the photograph into that folder.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/sim/image_io.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "host/sim/surface_paint.h"
#include "host/sim/windows.h"
#include "support/plugin_fixture.h"
#include "support/view_window.h"
#include "tiltshift/parameter_table.h"

using namespace TiltShift;

namespace {

constexpr double kFixed = 65536.0;
constexpr int32_t kSide = 512;  // the photograph's size

class TiltShiftFocusUiTest : public PluginHostTest {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        load("MorvelTiltShift");
        ASSERT_NO_FATAL_FAILURE(start());
        ASSERT_EQ(instance_->effect().registered.size(), size_t(HOST_PARAM_COUNT));
        instance_->placeOnLayer(AEGP_ObjectType_AV, kSide, kSide);
        // The examples' radial area: centre (100, 100), inner ellipse 50 × 25, outer 80 × 40.
        setPopup(PARAM_TYPE, TYPE_RADIAL);
        setPoint(PARAM_CENTER, 100, 100);
        setFloat(PARAM_INNER_WIDTH, 50);
        setFloat(PARAM_BLUR_AMOUNT, 30);
        setFloat(PARAM_RATIO, 0.5);
        setFloat(PARAM_FOCUS_DISTANCE, 100);
        host().log().clear();
    }
    void TearDown() override {
        windows_.clear();
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
        PluginHostTest::TearDown();
    }

    PF_ParamDef current(int index) { return instance_->effect().values[size_t(index)]; }
    void setAngle(int index, double degrees) {
        set(index, [degrees](PF_ParamDefUnion& u) { u.ad.value = PF_Fixed(std::lround(degrees * kFixed)); });
    }
    void setPoint(int index, double x, double y) {
        set(index, [x, y](PF_ParamDefUnion& u) {
            u.td.x_value = PF_Fixed(std::lround(x * kFixed));
            u.td.y_value = PF_Fixed(std::lround(y * kFixed));
        });
    }
    // The value the project holds for the parameter.
    double stream(int index) { return instance_->effect().projectEffect->params[size_t(index)]->value.v[0]; }

    Sim::ViewWindow& layerWindow() {
        windows_.push_back(std::make_unique<Sim::ViewWindow>(host(), PF_Window_LAYER, instance_->layer()));
        return *windows_.back();
    }
    // The layer scaled 50 %, turned 30° and moved, seen at zoom 2 with offset (10, 20).
    Sim::ViewWindow& compWindow() {
        windows_.push_back(turnedCompositionWindow(host(), *instance_->layer(), 256, 256, 320, 240));
        return *windows_.back();
    }

    // Paints what the window drew over the photograph, when pictures are asked for.
    void picture(const Sim::ViewWindow& window, const std::string& name) {
        const char* folder = std::getenv("MORVEL_PICTURES");
        const char* photoPath = std::getenv("MORVEL_PHOTO");
        if (folder == nullptr || photoPath == nullptr) return;
        Sim::Image photo = Sim::loadImage(photoPath);
        Sim::paintStrokes(window, photo);
        Sim::saveImage(std::string(folder) + "/" + name + ".png", photo.def());
    }

    std::vector<std::unique_ptr<Sim::ViewWindow>> windows_;
};

TEST_F(TiltShiftFocusUiTest, AClickAndItsDragsRewriteTheStreamInEitherWindow) {
    for (bool composition : {false, true}) {
        const char* which = composition ? "composition window" : "layer window";
        setFloat(PARAM_BLUR_AMOUNT, 30);
        Sim::ViewWindow& window = composition ? compWindow() : layerWindow();
        ASSERT_EQ(window.click(*instance_, window.screenOf(100, 60)), PF_Err_NONE) << which;
        EXPECT_EQ(window.lastEvent().evt_out_flags, PF_EO_HANDLED_EVENT) << which;
        EXPECT_EQ(window.lastEvent().u.do_click.continue_refcon[0], 1) << which;
        ASSERT_TRUE(window.dragging()) << which;
        ASSERT_EQ(window.drag(*instance_, window.screenOf(100, 55)), PF_Err_NONE) << which;
        EXPECT_NEAR(stream(PARAM_BLUR_AMOUNT), 40, 1.5) << which;
        ASSERT_EQ(window.drag(*instance_, window.screenOf(100, 50), PF_Mod_NONE, true), PF_Err_NONE) << which;
        EXPECT_NEAR(stream(PARAM_BLUR_AMOUNT), 50, 1.5) << which;
        EXPECT_FALSE(window.dragging()) << which;
        EXPECT_EQ(window.lastEvent().u.do_click.continue_refcon[0], 0) << which;
        // Check-out sees what the drag wrote.
        EXPECT_DOUBLE_EQ(current(PARAM_BLUR_AMOUNT).u.fs_d.value, stream(PARAM_BLUR_AMOUNT)) << which;
    }
    EXPECT_EQ(host().log().count("problem: "), 0u);
}

TEST_F(TiltShiftFocusUiTest, RotatingWithShiftSnapsTheDirectionStream) {
    Sim::ViewWindow& window = layerWindow();
    ASSERT_EQ(window.click(*instance_, window.screenOf(100, 30)), PF_Err_NONE);
    ASSERT_TRUE(window.dragging());
    const double radians = 44 * 3.14159265358979 / 180;
    const PF_Point pointer = window.screenOf(100 + 300 * std::sin(radians), 100 - 300 * std::cos(radians));
    ASSERT_EQ(window.drag(*instance_, pointer, PF_Mod_SHIFT_KEY, true), PF_Err_NONE);
    EXPECT_EQ(stream(PARAM_DIRECTION), 45);
    EXPECT_EQ(current(PARAM_DIRECTION).u.ad.value, 45 << 16);
}

TEST_F(TiltShiftFocusUiTest, AFocusDistanceDraggedToTheNearSideIsWrittenAndLogged) {
    setPopup(PARAM_TYPE, TYPE_LINEAR);
    setPopup(PARAM_LINEAR_MODE, LINEAR_MODE_FOCUS_DISTANCE);
    expectFault("\"Focus Distance\": 0 outside 1 .. 1e+06");
    Sim::ViewWindow& window = layerWindow();
    ASSERT_EQ(window.click(*instance_, window.screenOf(100, 250)), PF_Err_NONE);
    EXPECT_EQ(window.lastEvent().u.do_click.continue_refcon[0], 4);
    ASSERT_EQ(window.drag(*instance_, window.screenOf(100, 60), PF_Mod_NONE, true), PF_Err_NONE);
    EXPECT_EQ(stream(PARAM_FOCUS_DISTANCE), 0);
    EXPECT_EQ(host().log().count("problem: event wrote parameter 11 \"Focus Distance\": 0 outside 1 .. 1e+06"), 1u)
        << "log has " << host().log().count("problem: ") << " problems";
}

TEST_F(TiltShiftFocusUiTest, AClickOnNothingIsUnhandledAndOtherWindowsAreNotServed) {
    Sim::ViewWindow& window = layerWindow();
    ASSERT_EQ(window.click(*instance_, window.screenOf(100, 200)), PF_Err_NONE);
    EXPECT_EQ(window.lastEvent().evt_out_flags, PF_EO_NONE);
    EXPECT_FALSE(window.dragging());
    EXPECT_EQ(stream(PARAM_BLUR_AMOUNT), 30);

    Sim::EffectControlsWindow controls(host());
    PF_EventExtra draw = controls.drawEvent(PARAM_TYPE, PF_Rect{0, 0, 200, 20});
    std::vector<PF_ParamDef> values = instance_->effect().values;
    std::vector<PF_ParamDef*> params;
    for (PF_ParamDef& value : values) params.push_back(&value);
    EXPECT_EQ(instance_->command(PF_Cmd_EVENT, params.data(), nullptr, &draw), PF_Err_NONE);
    EXPECT_EQ(draw.evt_out_flags, PF_EO_NONE);
    EXPECT_TRUE(controls.calls().empty());
}

TEST_F(TiltShiftFocusUiTest, DrawingRecordsTheAreaAndLetsGoOfEverything) {
    struct Case {
        const char* name;
        int32_t type, mode;
        size_t strokes;
    };
    for (const Case& c : {Case{"radial", TYPE_RADIAL, 1, 3}, Case{"linear", TYPE_LINEAR, 1, 3},
                          Case{"linear with focus distance", TYPE_LINEAR, 2, 4}}) {
        setPopup(PARAM_TYPE, c.type);
        setPopup(PARAM_LINEAR_MODE, c.mode);
        for (bool composition : {false, true}) {
            Sim::ViewWindow& window = composition ? compWindow() : layerWindow();
            ASSERT_EQ(window.draw(*instance_), PF_Err_NONE) << c.name;
            EXPECT_EQ(window.lastEvent().evt_out_flags, PF_EO_HANDLED_EVENT) << c.name;
            EXPECT_EQ(window.calls("StrokePath").size(), c.strokes) << c.name;
            EXPECT_EQ(host().ledger().outstanding("drawbot pen"), 0u) << c.name;
            EXPECT_EQ(host().ledger().outstanding("drawbot path"), 0u) << c.name;
        }
    }
}

TEST_F(TiltShiftFocusUiTest, PicturesOfTheDrawnArea) {
    setPoint(PARAM_CENTER, 256, 280);
    setAngle(PARAM_DIRECTION, 20);
    setFloat(PARAM_INNER_WIDTH, 120);
    setFloat(PARAM_BLUR_AMOUNT, 60);
    setFloat(PARAM_RATIO, 0.6);
    setFloat(PARAM_FOCUS_DISTANCE, 150);
    struct Case {
        const char* name;
        int32_t type, mode;
    };
    for (const Case& c : {Case{"tiltshift_focus_radial", TYPE_RADIAL, 1},
                          Case{"tiltshift_focus_linear", TYPE_LINEAR, LINEAR_MODE_FOCUS_DISTANCE}}) {
        setPopup(PARAM_TYPE, c.type);
        setPopup(PARAM_LINEAR_MODE, c.mode);
        Sim::ViewWindow& window = layerWindow();
        ASSERT_EQ(window.draw(*instance_), PF_Err_NONE) << c.name;
        picture(window, c.name);
    }
}

}  // namespace
