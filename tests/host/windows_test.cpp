// The composition and layer windows: their conversions between screen, layer and composition,
// the callbacks events carry, and how events reach an effect instance and what comes back.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <thread>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "host/sim/windows.h"
#include "support/host_fixture.h"

namespace {

constexpr double kFixed = 65536.0;

PF_FixedPoint fixedPoint(double x, double y) {
    return PF_FixedPoint{PF_Fixed(std::lround(x * kFixed)), PF_Fixed(std::lround(y * kFixed))};
}

void setTransform(Sim::ProjectLayer& layer, AEGP_LayerStream which, double x, double y = 0) {
    layer.transform[which]->value.v[0] = x;
    layer.transform[which]->value.v[1] = y;
}

struct Placement {
    const char* name;
    double anchorX, anchorY, positionX, positionY, scaleX, scaleY, rotation;
};

const Placement kPlacements[] = {
    {"untransformed", 0, 0, 0, 0, 100, 100, 0},       {"moved", 10, 20, 300, 200, 100, 100, 0},
    {"scaled unevenly", 32, 24, 100, 80, 50, 200, 0}, {"turned a quarter", 0, 0, 50, 50, 100, 100, 90},
    {"everything", 100, 100, 300, 200, 50, 50, 30},   {"mirrored and turned back", 5, 5, 0, 0, -100, 100, -45},
};

class WindowsTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        Sim::Project& project = host().project();
        comp_ = &project.addComp("Comp 1");
        layer_ = &project.addLayer(*comp_, u"Solid", AEGP_ObjectType_AV);
    }

    void place(const Placement& p) {
        setTransform(*layer_, AEGP_LayerStream_ANCHORPOINT, p.anchorX, p.anchorY);
        setTransform(*layer_, AEGP_LayerStream_POSITION, p.positionX, p.positionY);
        setTransform(*layer_, AEGP_LayerStream_SCALE, p.scaleX, p.scaleY);
        setTransform(*layer_, AEGP_LayerStream_ROTATION, p.rotation);
    }

    Sim::ProjectComp* comp_ = nullptr;
    Sim::ProjectLayer* layer_ = nullptr;
};

TEST_F(WindowsTest, LayerToCompPlacesTheLayerAsItsTransformSays) {
    // Worked by hand: anchor (10, 10), position (100, 50), 200 %, turned 90° clockwise (y down).
    // The layer point (11, 10) is 1 right of the anchor, 2 after scaling, which the turn sends down.
    place({"", 10, 10, 100, 50, 200, 200, 90});
    Sim::ViewWindow window(host(), PF_Window_COMP, layer_);
    double x = 11, y = 10;
    ASSERT_TRUE(window.layerToComp(0, x, y));
    EXPECT_NEAR(x, 100, 1e-9);
    EXPECT_NEAR(y, 52, 1e-9);
}

TEST_F(WindowsTest, ConversionsRoundTrip) {
    for (const Placement& placement : kPlacements) {
        place(placement);
        Sim::ViewWindow window(host(), PF_Window_COMP, layer_);
        window.setZoom(1.5);
        window.setOffset(-7, 12);
        for (const auto& [x0, y0] : {std::pair{0.0, 0.0}, {13.25, -4.5}, {640.0, 480.0}}) {
            double x = x0, y = y0;
            ASSERT_TRUE(window.layerToComp(0, x, y));
            window.sourceToFrame(x, y);
            window.frameToSource(x, y);
            ASSERT_TRUE(window.compToLayer(0, x, y));
            EXPECT_NEAR(x, x0, 1e-9) << placement.name;
            EXPECT_NEAR(y, y0, 1e-9) << placement.name;
        }
        // Lengths scale with the layer's scale and the zoom, whatever the turn.
        double ax = 0, ay = 0, bx = 1, by = 0;
        window.layerToComp(0, ax, ay);
        window.layerToComp(0, bx, by);
        EXPECT_NEAR(std::hypot(bx - ax, by - ay), std::abs(placement.scaleX) / 100, 1e-9) << placement.name;
    }
}

TEST_F(WindowsTest, CallbacksConvertAtTheTimeTheyAreGiven) {
    // Rotation keyed from 0° at 0 s to 90° at 1 s: half a second in, the layer is turned 45°.
    Sim::ProjectStream& rotation = *layer_->transform[AEGP_LayerStream_ROTATION];
    rotation.keys.push_back({A_Time{0, 1}, {}});
    rotation.keys.push_back({A_Time{1, 1}, {}});
    rotation.keys.back().value.v[0] = 90;
    Sim::ViewWindow window(host(), PF_Window_COMP, layer_);
    window.setZoom(2);
    window.setOffset(10, 20);
    const PF_EventExtra event = window.clickEvent(PF_Point{0, 0});
    const PF_EventCallbacks& cbs = event.cbs;

    struct Case {
        const char* name;
        int32_t time;
        double x, y;
    };
    const double half = std::sqrt(0.5) * 10;
    for (const Case& c : {Case{"start", 0, 10, 0}, Case{"half way", 15, half, half}, Case{"end", 30, 0, 10}}) {
        PF_FixedPoint pt = fixedPoint(10, 0);
        ASSERT_EQ(cbs.layer_to_comp(cbs.refcon, event.contextH, c.time, 30, &pt), PF_Err_NONE);
        EXPECT_NEAR(pt.x / kFixed, c.x, 1e-4) << c.name;
        EXPECT_NEAR(pt.y / kFixed, c.y, 1e-4) << c.name;
        ASSERT_EQ(cbs.source_to_frame(cbs.refcon, event.contextH, &pt), PF_Err_NONE);
        EXPECT_NEAR(pt.x / kFixed, c.x * 2 + 10, 1e-4) << c.name;
        ASSERT_EQ(cbs.frame_to_source(cbs.refcon, event.contextH, &pt), PF_Err_NONE);
        ASSERT_EQ(cbs.comp_to_layer(cbs.refcon, event.contextH, c.time, 30, &pt), PF_Err_NONE);
        EXPECT_NEAR(pt.x / kFixed, 10, 1e-4) << c.name;
        EXPECT_NEAR(pt.y / kFixed, 0, 1e-4) << c.name;
    }
}

TEST_F(WindowsTest, CallbacksRefuseWhatTheyCannotTrust) {
    expectFault("error: ");
    Sim::ViewWindow window(host(), PF_Window_COMP, layer_);
    Sim::ViewWindow other(host(), PF_Window_LAYER, nullptr);
    const PF_EventExtra event = window.clickEvent(PF_Point{0, 0});
    const PF_EventCallbacks& cbs = event.cbs;
    PF_ContextRecord forged = *event.contextH;
    PF_FixedPoint pt{0, 0};

    EXPECT_EQ(cbs.frame_to_source(cbs.refcon, &forged, &pt), PF_Err_BAD_CALLBACK_PARAM) << "unknown context";
    EXPECT_EQ(cbs.frame_to_source(other.callbackRefcon(), event.contextH, &pt), PF_Err_BAD_CALLBACK_PARAM)
        << "refcon of another window";
    EXPECT_EQ(cbs.source_to_frame(cbs.refcon, event.contextH, nullptr), PF_Err_BAD_CALLBACK_PARAM) << "null point";
    EXPECT_EQ(cbs.comp_to_layer(cbs.refcon, event.contextH, 0, 0, &pt), PF_Err_BAD_CALLBACK_PARAM) << "time scale 0";
    const PF_EventExtra layerless = other.clickEvent(PF_Point{0, 0});
    EXPECT_EQ(cbs.layer_to_comp(layerless.cbs.refcon, layerless.contextH, 0, 30, &pt), PF_Err_BAD_CALLBACK_PARAM)
        << "a window without a layer";
    setTransform(*layer_, AEGP_LayerStream_SCALE, 0, 100);
    EXPECT_EQ(cbs.comp_to_layer(cbs.refcon, event.contextH, 0, 30, &pt), PF_Err_BAD_CALLBACK_PARAM)
        << "a layer scaled to nothing";
    EXPECT_EQ(pt.x, 0);
    EXPECT_EQ(host().log().count("error: "), 6u);

    host().faults().failCall("frame_to_source", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(cbs.frame_to_source(cbs.refcon, event.contextH, &pt), PF_Err_OUT_OF_MEMORY) << "planned failure";
}

TEST_F(WindowsTest, EveryWindowsEventsCarryTheFourCallbacks) {
    Sim::EffectControlsWindow controls(host());
    Sim::ViewWindow layerWindow(host(), PF_Window_LAYER, layer_);
    Sim::ViewWindow compWindow(host(), PF_Window_COMP, layer_);
    const PF_Rect frame{0, 0, 100, 20};
    const PF_EventExtra events[] = {controls.drawEvent(1, frame), controls.clickEvent(1, frame, {5, 5}),
                                    layerWindow.drawEvent(), layerWindow.dragEvent({1, 2}),
                                    compWindow.clickEvent({3, 4})};
    for (const PF_EventExtra& event : events) {
        EXPECT_NE(event.cbs.layer_to_comp, nullptr);
        EXPECT_NE(event.cbs.comp_to_layer, nullptr);
        EXPECT_NE(event.cbs.source_to_frame, nullptr);
        EXPECT_NE(event.cbs.frame_to_source, nullptr);
        EXPECT_EQ(event.cbs.refcon, Sim::Window::fromContext(event.contextH)->callbackRefcon());
    }
    EXPECT_EQ(layerWindow.drawEvent().contextH->w_type, PF_Window_LAYER);
    EXPECT_EQ(compWindow.drawEvent().contextH->w_type, PF_Window_COMP);
}

// Clicks and drags carry the time they happened at, later for each event; records without a
// time (draw, cursor) keep their own fields in the bytes a time would take.
TEST_F(WindowsTest, PointerEventsCarryARealIncreasingTime) {
    Sim::EffectControlsWindow controls(host());
    Sim::ViewWindow layerWindow(host(), PF_Window_LAYER, layer_);
    Sim::ViewWindow compWindow(host(), PF_Window_COMP, layer_);
    const PF_Rect frame{7, 3, 100, 20};
    struct Made {
        const char* name;
        PF_EventExtra event;
    };
    // Made in this order, so each is later than the one before.
    const Made made[] = {
        {"controls click", controls.clickEvent(1, frame, {5, 5})},
        {"controls drag", controls.dragEvent(1, frame, {6, 5}, false)},
        {"layer click", layerWindow.clickEvent({1, 2})},
        {"layer drag", layerWindow.dragEvent({1, 3})},
        {"composition click", compWindow.clickEvent({3, 4})},
        {"composition last drag", compWindow.dragEvent({3, 5}, PF_Mod_NONE, true)},
    };
    uint32_t previous = 0;
    for (const Made& m : made) {
        EXPECT_GT(m.event.u.do_click.when, previous) << m.name;
        previous = m.event.u.do_click.when;
    }
    EXPECT_EQ(controls.drawEvent(1, frame).u.draw.update_rect.left, frame.left);
    EXPECT_EQ(controls.cursorEvent(1, frame, {9, 8}).u.adjust_cursor.screen_point.h, 9);

    // The clock is the host's own: what passes between two events shows in their times. (Events
    // made within one millisecond run it ahead by one each; the first pause lets it catch up.)
    constexpr uint32_t kPauseMs = 30;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
    const uint32_t before = layerWindow.clickEvent({1, 2}).u.do_click.when;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
    const uint32_t after = layerWindow.clickEvent({1, 2}).u.do_click.when;
    EXPECT_GE(after - before, kPauseMs);
}

TEST_F(WindowsTest, DrawingReferenceOfAViewWindowRecordsOnItsSurface) {
    Sim::ViewWindow window(host(), PF_Window_COMP, layer_);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    DRAWBOT_DrawRef reference = nullptr;
    ASSERT_EQ(suites.EffectCustomUISuite1()->PF_GetDrawingReference(window.context(), &reference), PF_Err_NONE);
    EXPECT_EQ(reference, window.drawRef());
    window.setDrawingAvailable(false);
    ASSERT_EQ(suites.EffectCustomUISuite1()->PF_GetDrawingReference(window.context(), &reference), PF_Err_NONE);
    EXPECT_EQ(reference, nullptr);
}

// ---------------------------------------------------------------- events sent to an instance

enum Param { kInput = 0, kAmount, kMode, kCentre, kParamCount };

// What the effect under test does with an event; set by each test.
std::function<PF_Err(PF_ParamDef**, PF_EventExtra*)> onEvent;

PF_Err entry(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef*, void* extra) {
    if (cmd == PF_Cmd_PARAMS_SETUP) {
        PF_ParamDef amount{};
        amount.param_type = PF_Param_FLOAT_SLIDER;
        std::strcpy(amount.name, "Amount");
        amount.uu.id = kAmount;
        amount.u.fs_d.valid_min = amount.u.fs_d.slider_min = 1;
        amount.u.fs_d.valid_max = amount.u.fs_d.slider_max = 100;
        amount.u.fs_d.dephault = 25;
        PF_ParamDef mode{};
        mode.param_type = PF_Param_POPUP;
        std::strcpy(mode.name, "Mode");
        mode.uu.id = kMode;
        mode.u.pd = PF_PopupDef{1, 2, 1, "One|Two"};
        PF_ParamDef centre{};
        centre.param_type = PF_Param_POINT;
        std::strcpy(centre.name, "Centre");
        centre.uu.id = kCentre;
        PF_Err err = in->inter.add_param(in->effect_ref, -1, &amount);
        if (!err) err = in->inter.add_param(in->effect_ref, -1, &mode);
        if (!err) err = in->inter.add_param(in->effect_ref, -1, &centre);
        out->num_params = kParamCount;
        return err;
    }
    if (cmd == PF_Cmd_EVENT && onEvent) return onEvent(params, static_cast<PF_EventExtra*>(extra));
    return PF_Err_NONE;
}

class WindowEventsTest : public WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        instance_ = std::make_unique<Sim::PluginInstance>(host(), entry, "Events");
        ASSERT_EQ(instance_->paramSetup(), PF_Err_NONE);
        instance_->placeOnLayer();
        window_ = std::make_unique<Sim::ViewWindow>(host(), PF_Window_COMP, instance_->layer());
    }
    void TearDown() override {
        onEvent = nullptr;
        window_.reset();
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
        EXPECT_TRUE(instance_->violations().empty());
        instance_.reset();
        WindowsTest::TearDown();
    }
    double amountInStream() { return instance_->effect().projectEffect->params[kAmount]->value.v[0]; }

    std::unique_ptr<Sim::PluginInstance> instance_;
    std::unique_ptr<Sim::ViewWindow> window_;
};

TEST_F(WindowEventsTest, ValuesFlaggedChangedReachTheStreamsAndOthersDoNot) {
    Sim::ProjectStream& centre = *instance_->effect().projectEffect->params[kCentre];
    centre.value.v[0] = 12.5;
    onEvent = [](PF_ParamDef** params, PF_EventExtra*) {
        EXPECT_DOUBLE_EQ(params[kAmount]->u.fs_d.value, 25) << "the current value is sent";
        EXPECT_EQ(params[kCentre]->u.td.x_value, PF_Fixed(12.5 * kFixed)) << "the stream's value is sent";
        EXPECT_EQ(params[kAmount]->uu.change_flags, 0);
        params[kAmount]->u.fs_d.value = 40;
        params[kAmount]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
        // The type and name are not the effect's to change; only the value is taken.
        params[kAmount]->param_type = PF_Param_CHECKBOX;
        std::strcpy(params[kAmount]->name, "Renamed");
        params[kMode]->u.pd.value = 2;  // not flagged
        return PF_Err_NONE;
    };
    ASSERT_EQ(window_->draw(*instance_), PF_Err_NONE);
    EXPECT_DOUBLE_EQ(amountInStream(), 40);
    EXPECT_EQ(instance_->effect().projectEffect->params[kMode]->value.v[0], 1);
    EXPECT_EQ(instance_->effect().values[kAmount].param_type, PF_Param_FLOAT_SLIDER);
    EXPECT_STREQ(instance_->effect().values[kAmount].name, "Amount");
    EXPECT_EQ(host().log().count("problem: "), 0u);
}

TEST_F(WindowEventsTest, ValuesOutsideTheirRangeAreLoggedAndNumbersOnlyKept) {
    expectFault("problem: event wrote parameter");
    struct Case {
        const char* name;
        double written;
        double kept;
        size_t problems;
    };
    const Case cases[] = {
        {"inside", 50, 50, 0},
        {"below the minimum", 0, 0, 1},
        {"above the maximum", 1000, 1000, 1},
        {"not a number", std::nan(""), 1000, 1},
    };
    for (const Case& c : cases) {
        host().log().clear();
        onEvent = [&](PF_ParamDef** params, PF_EventExtra*) {
            params[kAmount]->u.fs_d.value = c.written;
            params[kAmount]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
            return PF_Err_NONE;
        };
        ASSERT_EQ(window_->click(*instance_, PF_Point{1, 1}), PF_Err_NONE) << c.name;
        EXPECT_EQ(amountInStream(), c.kept) << c.name;
        EXPECT_EQ(host().log().count("problem: event wrote parameter 1 \"Amount\""), c.problems) << c.name;
    }
}

TEST_F(WindowEventsTest, AFailedEventChangesNothing) {
    onEvent = [](PF_ParamDef** params, PF_EventExtra*) {
        params[kAmount]->u.fs_d.value = 60;
        params[kAmount]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
        return PF_Err_OUT_OF_MEMORY;
    };
    EXPECT_EQ(window_->draw(*instance_), PF_Err_OUT_OF_MEMORY);
    EXPECT_DOUBLE_EQ(amountInStream(), 25);
}

TEST_F(WindowEventsTest, TheRefconTravelsFromAClickToItsDrags) {
    std::vector<std::string> seen;
    onEvent = [&](PF_ParamDef**, PF_EventExtra* event) {
        PF_DoClickEventInfo& click = event->u.do_click;
        seen.push_back(std::to_string(event->e_type) + ":" + std::to_string(click.continue_refcon[0]) + ":" +
                       std::to_string(click.modifiers) + ":" + std::to_string(click.last_time));
        if (event->e_type == PF_Event_DO_CLICK) {
            click.continue_refcon[0] = 7;
            click.send_drag = 1;
        } else {
            click.continue_refcon[0] += 1;
            if (click.last_time) click.send_drag = 0;
        }
        return PF_Err_NONE;
    };
    ASSERT_EQ(window_->click(*instance_, PF_Point{1, 1}, PF_Mod_SHIFT_KEY), PF_Err_NONE);
    EXPECT_TRUE(window_->dragging());
    ASSERT_EQ(window_->drag(*instance_, PF_Point{2, 2}), PF_Err_NONE);
    EXPECT_TRUE(window_->dragging());
    ASSERT_EQ(window_->drag(*instance_, PF_Point{3, 3}, PF_Mod_NONE, true), PF_Err_NONE);
    EXPECT_FALSE(window_->dragging());
    // A new click starts afresh.
    ASSERT_EQ(window_->click(*instance_, PF_Point{1, 1}), PF_Err_NONE);
    const std::vector<std::string> expected = {"2:0:512:0", "3:7:0:0", "3:8:0:1", "2:0:0:0"};
    EXPECT_EQ(seen, expected);
}

TEST(ViewWindow, RefusesWindowsItCannotBe) {
    Sim::Host host;
    EXPECT_THROW(Sim::ViewWindow(host, PF_Window_EFFECT, nullptr), std::invalid_argument);
    EXPECT_THROW(Sim::ViewWindow(host, PF_Window_COMP, nullptr), std::invalid_argument);
    Sim::ViewWindow window(host, PF_Window_LAYER, nullptr);
    EXPECT_THROW(window.setZoom(0), std::invalid_argument);
    EXPECT_THROW(window.setOffset(std::nan(""), 0), std::invalid_argument);
}

}  // namespace
