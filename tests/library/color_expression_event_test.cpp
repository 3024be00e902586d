#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/sim/arbitrary_param.h"
#include "host/sim/drawing.h"
#include "host/sim/project.h"
#include "host/sim/script.h"
#include "library/custom_data/color_expression_data/color_expression_data.h"
#include "library/custom_data/color_expression_data/dialog_script.h"
#include "library/custom_data/color_expression_data/drawbot_objects.h"
#include "support/host_fixture.h"

using namespace Morvel::ColorExpressionData;

namespace {

constexpr int kIndex = 1;
constexpr int kPluginId = 3;
// 100 wide (right is inclusive), 20 high.
constexpr PF_Rect kNarrow{10, 5, 109, 25};
// 300 wide.
constexpr PF_Rect kWide{10, 5, 309, 25};

std::vector<char> block(std::string const& text) {
    std::vector<char> bytes(kDataSize, '\0');
    std::memcpy(bytes.data(), text.data(), std::min(text.size(), kDataSize));
    return bytes;
}

std::string utf8(std::u16string const& units) {
    std::string text;
    for (char16_t unit : units) text += unit < 0x80 ? static_cast<char>(unit) : '?';
    return text;
}

// The glow's custom channel in a project: an effect on a layer whose parameter 1 is the
// colour expression, with the effect controls open and the script engine ready.
class ColorExpressionEventTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        Sim::Project& project = host().project();
        Sim::ProjectComp& comp = project.addComp("Comp 1");
        Sim::ProjectLayer& layer = project.addLayer(comp, u"Solid", AEGP_ObjectType_AV);
        Sim::ParamSpec custom{u"Custom Channel", AEGP_StreamType_ARB, {}};
        custom.initial.bytes = block("r");
        const AEGP_InstalledEffectKey key =
            project.installEffect(u"Glow", {{u"Input", AEGP_StreamType_LAYER_ID, {}}, custom});
        projectEffect_ = project.addEffect(layer, key);
        project.link(*projectEffect_, effect_);

        window_ = std::make_unique<Sim::EffectControlsWindow>(host());
        engine_ = std::make_unique<Sim::ScriptEngine>(host());
        arbitrary_ = std::make_unique<Sim::ArbitraryParam>(
            host(), in_data_, 1, [](PF_InData* in, PF_OutData* out, PF_ArbParamsExtra* extra) {
                return HandleData(in, out, nullptr, nullptr, extra, 1);
            });
        std::strcpy(param_.name, "Custom Channel");
        param_.param_type = PF_Param_ARBITRARY_DATA;
        setText("r");
        params_[0] = &input_;
        params_[1] = &param_;
    }
    void TearDown() override {
        arbitrary_.reset();
        engine_.reset();
        window_.reset();
        HostTest::TearDown();
    }

    // The parameter's current value, as the host restores it from stored bytes.
    void setText(std::string const& text) { setStored(block(text)); }
    void setStored(std::vector<char> const& flat) {
        PF_ArbitraryH value = nullptr;
        ASSERT_EQ(arbitrary_->load(flat, value), PF_Err_NONE);
        param_.u.arb_d.value = value;
    }
    void setDisabled(bool disabled) { param_.ui_flags = disabled ? PF_PUI_DISABLED : 0; }

    PF_Err send(PF_EventExtra& event) {
        return HandleEvent(kPluginId, &in_data_, &out_data_, params_, nullptr, &event, kIndex);
    }
    // The text the project holds for the parameter.
    std::string storedText() {
        const std::vector<char>& bytes = projectEffect_->params[kIndex]->value.bytes;
        return readBlockText(bytes.data(), bytes.size());
    }

    Sim::ProjectEffect* projectEffect_ = nullptr;
    std::unique_ptr<Sim::EffectControlsWindow> window_;
    std::unique_ptr<Sim::ScriptEngine> engine_;
    std::unique_ptr<Sim::ArbitraryParam> arbitrary_;
    PF_ParamDef input_{};
    PF_ParamDef param_{};
    PF_ParamDef* params_[2] = {};
};

// ---------------------------------------------------------------- draw

TEST_F(ColorExpressionEventTest, DrawShowsTheTextWithItsAlpha) {
    struct Case {
        const char* name;
        std::string text;
        bool disabled;
        std::u16string shown;
        double alpha;
    };
    const std::vector<Case> cases = {
        {"new value", "", false, u"(empty)", 1.0},
        {"expression", "a * r * s", false, u"a * r * s", 1.0},
        {"unparsable", "r +", false, u"r +", 0.5},
        {"disabled", "a * r * s", true, u"a * r * s", 0.5},
        {"disabled and unparsable", "r g", true, u"r g", 0.25},
        {"disabled and empty", "", true, u"(empty)", 0.5},
        {"not UTF-8 after a letter", "r\xE9", false, u"r", 0.5},
        {"not UTF-8 at all", "\xE9\xFF", false, u"(empty)", 0.5},
        {"e acute", "\xC3\xA9", false, u"\u00e9", 0.5},
    };
    for (const Case& c : cases) {
        setText(c.text);
        setDisabled(c.disabled);
        window_->clearCalls();
        out_data_.out_flags = 0;
        PF_EventExtra event = window_->drawEvent(kIndex, kNarrow);
        ASSERT_EQ(send(event), PF_Err_NONE) << c.name;
        EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT) << c.name;
        const auto strings = window_->calls("DrawString");
        ASSERT_EQ(strings.size(), 1u) << c.name;
        EXPECT_EQ(strings[0].text, c.shown) << c.name << ": drew " << utf8(strings[0].text);
        const std::vector<double> white{1.0, 1.0, 1.0, c.alpha};
        EXPECT_EQ(std::vector<double>(strings[0].numbers.begin(), strings[0].numbers.begin() + 4), white) << c.name;
    }
}

TEST_F(ColorExpressionEventTest, DrawPlacesTheTextAfterTheIndent) {
    struct Case {
        const char* name;
        PF_Rect frame;
        double x;
        double width;
    };
    // width = right - left + 1; indent = max(70, width / 2 + 15); height 20.
    const std::vector<Case> cases = {
        {"100 wide: indent 70", kNarrow, 10 + 70, 100 - 70},
        {"300 wide: indent 165", kWide, 10 + 165, 300 - 165},
        {"40 wide: no room for text", PF_Rect{10, 5, 49, 25}, 10 + 70, 0},
    };
    for (const Case& c : cases) {
        window_->clearCalls();
        PF_EventExtra event = window_->drawEvent(kIndex, c.frame);
        ASSERT_EQ(send(event), PF_Err_NONE) << c.name;
        const auto& calls = window_->calls();
        ASSERT_EQ(calls.size(), 2u) << c.name;
        EXPECT_EQ(calls[0].function, "SetAntiAliasPolicy") << c.name;
        EXPECT_EQ(calls[0].numbers, std::vector<double>{kDRAWBOT_AntiAliasPolicy_High}) << c.name;
        ASSERT_EQ(calls[1].function, "DrawString") << c.name;
        const std::vector<double>& n = calls[1].numbers;
        EXPECT_FLOAT_EQ(n[4], 16.0f) << c.name << ": font size";
        EXPECT_FLOAT_EQ(n[5], c.x) << c.name << ": origin x";
        EXPECT_FLOAT_EQ(n[6], 5 + 16.0f) << c.name << ": baseline";
        EXPECT_EQ(n[7], kDRAWBOT_TextAlignment_Left) << c.name;
        EXPECT_EQ(n[8], kDRAWBOT_TextTruncation_EndEllipsis) << c.name;
        EXPECT_FLOAT_EQ(n[9], c.width) << c.name << ": text width";
    }
}

TEST_F(ColorExpressionEventTest, DrawMakesNothingWithoutADrawingReference) {
    window_->setDrawingAvailable(false);
    PF_EventExtra event = window_->drawEvent(kIndex, kNarrow);
    EXPECT_EQ(send(event), PF_Err_NONE);
    EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
    EXPECT_TRUE(window_->calls().empty());
    EXPECT_EQ(host().log().count("DRAWBOT_New"), 0u);
}

TEST_F(ColorExpressionEventTest, DrawStopsAtTheFirstFailingStepAndReleasesEverything) {
    const std::vector<const char*> steps = {
        "PF_GetDrawingReference", "DRAWBOT_GetSurface",         "DRAWBOT_GetSupplier", "DRAWBOT_NewBrush",
        "DRAWBOT_NewDefaultFont", "DRAWBOT_SetAntiAliasPolicy", "DRAWBOT_DrawString"};
    for (const char* failing : steps) {
        window_->clearCalls();
        host().faults().failCall(failing, 1, PF_Err_OUT_OF_MEMORY);
        PF_EventExtra event = window_->drawEvent(kIndex, kNarrow);
        EXPECT_EQ(send(event), PF_Err_OUT_OF_MEMORY) << failing;
        EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT) << failing;
        EXPECT_EQ(window_->calls("DrawString").size(), 0u) << failing;
        EXPECT_EQ(host().ledger().outstanding("drawbot brush") + host().ledger().outstanding("drawbot font"), 0u)
            << failing;
        EXPECT_EQ(host().ledger().outstanding("suite"), 0u) << failing;
    }
}

TEST_F(ColorExpressionEventTest, AMissingDrawingSuiteIsReportedAndTheOthersReleased) {
    host().faults().makeSuiteMissing(kDRAWBOT_SurfaceSuite, kDRAWBOT_SuiteVersion1);
    PF_EventExtra event = window_->drawEvent(kIndex, kNarrow);
    EXPECT_EQ(send(event), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
    EXPECT_TRUE(window_->calls().empty());
    EXPECT_EQ(host().ledger().outstanding("suite"), 0u);
}

TEST_F(ColorExpressionEventTest, AMissingCustomUISuiteStillReleasesTheDrawingSuites) {
    host().faults().makeSuiteMissing(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1);
    PF_EventExtra event = window_->drawEvent(kIndex, kNarrow);
    try {
        send(event);
        ADD_FAILURE() << "no error raised";
    } catch (PF_Err err) {
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    }
    EXPECT_EQ(host().ledger().outstanding("suite"), 0u);
}

// ---------------------------------------------------------------- which events

TEST_F(ColorExpressionEventTest, EventsForOtherWindowsOrParametersAreIgnored) {
    PF_EventExtra otherParam = window_->drawEvent(kIndex + 1, kNarrow);
    EXPECT_EQ(send(otherParam), PF_Err_NONE);
    PF_EventExtra otherWindow = window_->drawEvent(kIndex, kNarrow);
    PF_ContextRecord layerWindow = *otherWindow.contextH;
    layerWindow.w_type = PF_Window_LAYER;
    otherWindow.contextH = &layerWindow;
    EXPECT_EQ(send(otherWindow), PF_Err_NONE);
    PF_EventExtra key = window_->drawEvent(kIndex, kNarrow);
    key.e_type = PF_Event_KEYDOWN;
    EXPECT_EQ(send(key), PF_Err_NONE);
    EXPECT_TRUE(window_->calls().empty());
    EXPECT_EQ(otherParam.evt_out_flags | otherWindow.evt_out_flags | key.evt_out_flags, 0);
    EXPECT_EQ(host().log().count("AcquireSuite"), 0u);
}

// ---------------------------------------------------------------- cursor

TEST_F(ColorExpressionEventTest, CursorIsTheTextCursorOverTheText) {
    struct Case {
        const char* name;
        PF_Point where;
        bool disabled;
        int32_t area;
        int32_t cursor;
    };
    // Narrow frame: the text runs from x 80 (exclusive) to 109, y 5 (exclusive) to 25.
    const std::vector<Case> cases = {
        {"over the text", {90, 15}, false, PF_EA_CONTROL, PF_Cursor_EDIT_TEXT},
        {"on the right and bottom edges", {109, 25}, false, PF_EA_CONTROL, PF_Cursor_EDIT_TEXT},
        {"on the indent", {80, 15}, false, PF_EA_CONTROL, PF_Cursor_ARROW},
        {"on the top edge", {90, 5}, false, PF_EA_CONTROL, PF_Cursor_ARROW},
        {"right of the frame", {110, 15}, false, PF_EA_CONTROL, PF_Cursor_ARROW},
        {"disabled", {90, 15}, true, PF_EA_CONTROL, PF_Cursor_NONE},
        {"over the title", {90, 15}, true, PF_EA_PARAM_TITLE, PF_Cursor_ARROW},
    };
    for (const Case& c : cases) {
        setDisabled(c.disabled);
        PF_EventExtra event = window_->cursorEvent(kIndex, kNarrow, c.where, c.area);
        EXPECT_EQ(send(event), PF_Err_NONE) << c.name;
        EXPECT_EQ(event.u.adjust_cursor.set_cursor, c.cursor) << c.name;
    }
}

// ---------------------------------------------------------------- click

TEST_F(ColorExpressionEventTest, ClickOpensTheDialogWithEscapedNameAndText) {
    engine_->answerCancel();
    PF_EventExtra event = window_->clickEvent(kIndex, kNarrow, {90, 15});
    ASSERT_EQ(send(event), PF_Err_NONE);
    ASSERT_EQ(engine_->runs().size(), 1u);
    const Sim::ScriptEngine::Run& run = engine_->runs()[0];
    EXPECT_TRUE(run.dialog);
    EXPECT_EQ(run.title, u"Custom Channel");
    EXPECT_EQ(run.field, u"r");
    EXPECT_FALSE(run.platformEncoding);
    EXPECT_TRUE(run.resultRequested);
    EXPECT_FALSE(run.errorRequested);
    EXPECT_NE(run.script.find("new Window('dialog', '\\u0043\\u0075\\u0073\\u0074\\u006f\\u006d\\u0020\\u0043\\u0068"
                              "\\u0061\\u006e\\u006e\\u0065\\u006c', undefined);"),
              std::string::npos);
    EXPECT_NE(run.script.find("'edittext', [0, 0, 240, 20], '\\u0072');"), std::string::npos);
    EXPECT_EQ(run.script, dialogScript("Custom Channel", "r"));
}

TEST_F(ColorExpressionEventTest, ClickStoresWhatTheUserTyped) {
    const std::string a254(254, 'a');
    struct Case {
        const char* name;
        std::function<void(Sim::ScriptEngine&)> answer;
        PF_Err err;
        std::string stored;
    };
    const std::vector<Case> cases = {
        {"OK", [](auto& e) { e.answerOk("g * 2"); }, PF_Err_NONE, "g * 2"},
        {"OK with 300 characters", [](auto& e) { e.answerOk(std::string(300, 'b')); }, PF_Err_NONE,
         std::string(255, 'b')},
        {"OK with e acute across byte 255", [&](auto& e) { e.answerOk(a254 + "\xC3\xA9"); }, PF_Err_NONE, a254},
        {"OK with an empty field", [](auto& e) { e.answerOk(""); }, PF_Err_NONE, ""},
        {"Cancel", [](auto& e) { e.answerCancel(); }, PF_Err_NONE, "r"},
        {"script error", [](auto& e) { e.answerError(PF_Err_INTERNAL_STRUCT_DAMAGED); }, PF_Err_INTERNAL_STRUCT_DAMAGED,
         "r"},
        {"result without terminator",
         [](auto& e) {
             e.answerRaw({'1', 'b', '+', 'g'});
         },
         PF_Err_NONE, "b+g"},
        {"empty result", [](auto& e) { e.answerRaw({}); }, PF_Err_NONE, "r"},
        {"result neither OK nor Cancel",
         [](auto& e) {
             e.answerRaw({'2', 'b', '\0'});
         },
         PF_Err_NONE, "r"},
    };
    for (const Case& c : cases) {
        setText("r");
        projectEffect_->params[kIndex]->value.bytes = block("r");
        c.answer(*engine_);
        out_data_.out_flags = 0;
        PF_EventExtra event = window_->clickEvent(kIndex, kNarrow, {90, 15});
        EXPECT_EQ(send(event), c.err) << c.name;
        EXPECT_EQ(storedText(), c.stored) << c.name;
        EXPECT_TRUE(out_data_.out_flags & PF_OutFlag_REFRESH_UI) << c.name;
        EXPECT_EQ(engine_->pending(), 0u) << c.name;
    }
}

TEST_F(ColorExpressionEventTest, ClickOnStoredTextThatIsNotUTF8OpensAnEmptyField) {
    setStored(std::vector<char>(kDataSize, '\xE9'));
    engine_->answerOk("a");
    PF_EventExtra event = window_->clickEvent(kIndex, kNarrow, {90, 15});
    ASSERT_EQ(send(event), PF_Err_NONE);
    ASSERT_EQ(engine_->runs().size(), 1u);
    EXPECT_TRUE(engine_->runs()[0].dialog);
    EXPECT_EQ(engine_->runs()[0].field, u"");
    EXPECT_EQ(storedText(), "a");
}

TEST_F(ColorExpressionEventTest, ClickDoesNothingWhenDisabledOrDragging) {
    setDisabled(true);
    PF_EventExtra disabled = window_->clickEvent(kIndex, kNarrow, {90, 15});
    EXPECT_EQ(send(disabled), PF_Err_NONE);
    EXPECT_EQ(disabled.e_type, PF_Event_DO_CLICK);

    setDisabled(false);
    PF_EventExtra dragging = window_->clickEvent(kIndex, kNarrow, {90, 15}, true);
    EXPECT_EQ(send(dragging), PF_Err_NONE);
    EXPECT_EQ(dragging.e_type, PF_Event_DRAG);

    PF_EventExtra drag = window_->dragEvent(kIndex, kNarrow, {95, 15}, true);
    EXPECT_EQ(send(drag), PF_Err_NONE);

    EXPECT_TRUE(engine_->runs().empty());
    EXPECT_EQ(out_data_.out_flags & PF_OutFlag_REFRESH_UI, 0);
    EXPECT_EQ(storedText(), "r");
}

TEST_F(ColorExpressionEventTest, ClickReportsTheFirstFailingStoreStep) {
    // A failed disposal leaves its object with the host, so only the steps before are failed here.
    for (const char* failing : {"AEGP_GetMemHandleSize", "AEGP_LockMemHandle", "AEGP_GetNewEffectForEffect",
                                "AEGP_GetNewEffectStreamByIndex", "AEGP_GetNewStreamValue", "AEGP_SetStreamValue"}) {
        projectEffect_->params[kIndex]->value.bytes = block("r");
        engine_->answerOk("b");
        host().faults().failCall(failing, 1, PF_Interrupt_CANCEL);
        PF_EventExtra event = window_->clickEvent(kIndex, kNarrow, {90, 15});
        EXPECT_EQ(send(event), PF_Interrupt_CANCEL) << failing;
        EXPECT_TRUE(out_data_.out_flags & PF_OutFlag_REFRESH_UI) << failing;
        EXPECT_EQ(storedText(), "r") << failing;
    }
}

// A suite missing after the host handed something out would strand it: each owner takes the
// suite it gives back with first. The missing suite is raised as 516, which the entry returns.
TEST_F(ColorExpressionEventTest, AMissingSuiteStrandsNothingTheClickWasGiven) {
    struct Case {
        const char* suite;
        int version;
        bool dialogRuns;
    } cases[] = {{kAEGPMemorySuite, kAEGPMemorySuiteVersion1, false},
                 {kAEGPStreamSuite, kAEGPStreamSuiteVersion9, true},
                 {kAEGPEffectSuite, kAEGPEffectSuiteVersion2, true}};
    for (const Case& c : cases) {
        host().faults().clear();
        host().faults().makeSuiteMissing(c.suite, c.version);
        const size_t runsBefore = engine_->runs().size();
        engine_->answerOk("b");
        PF_EventExtra event = window_->clickEvent(kIndex, kNarrow, {90, 15});
        PF_Err raised = PF_Err_NONE;
        try {
            send(event);
        } catch (PF_Err err) {
            raised = err;
        }
        EXPECT_EQ(raised, PF_Err_BAD_CALLBACK_PARAM) << c.suite;
        EXPECT_EQ(engine_->runs().size() - runsBefore, c.dialogRuns ? 1u : 0u) << c.suite;
        EXPECT_EQ(storedText(), "r") << c.suite;
        EXPECT_EQ(host().ledger().outstanding("memory handle"), 0u) << c.suite << "\n" << host().ledger().report();
        EXPECT_EQ(host().ledger().outstanding("effect reference"), 0u) << c.suite << "\n" << host().ledger().report();
    }
}

TEST_F(ColorExpressionEventTest, AValueThatCannotBeReadOpensNoDialogAndKeepsTheText) {
    engine_->answerOk("");
    host().faults().failCall("host_lock_handle", 1, PF_Err_OUT_OF_MEMORY);
    PF_EventExtra event = window_->clickEvent(kIndex, kNarrow, {90, 15});
    EXPECT_EQ(send(event), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_TRUE(engine_->runs().empty());
    EXPECT_EQ(storedText(), "r");
}

// ---------------------------------------------------------------- streams

TEST_F(ColorExpressionEventTest, SetDataThenGetDataGivesTheTextBack) {
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    AEGP_EffectRefH effect = nullptr;
    ASSERT_EQ(suites.PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(kPluginId, in_data_.effect_ref, &effect),
              PF_Err_NONE);
    for (const std::string& text : std::vector<std::string>{"a * r * s", "", "max(r, g)", std::string(255, 'y')}) {
        Data written{};
        std::memcpy(written.text, text.data(), text.size());
        ASSERT_EQ(SetData(kPluginId, &in_data_, suites, effect, kIndex, &written), PF_Err_NONE) << text;
        EXPECT_EQ(storedText(), text);
        Data read;
        std::memset(read.text, 'Z', sizeof read.text);
        ASSERT_EQ(GetData(kPluginId, &in_data_, suites, effect, kIndex, AEGP_LTimeMode_CompTime, A_Time{0, 1}, &read),
                  PF_Err_NONE);
        EXPECT_EQ(std::string(read.text), text);
    }
    // A stored text without a terminator is read as its first 255 bytes.
    projectEffect_->params[kIndex]->value.bytes = std::vector<char>(kDataSize, 'q');
    Data read;
    ASSERT_EQ(GetData(kPluginId, &in_data_, suites, effect, kIndex, &read), PF_Err_NONE);
    EXPECT_EQ(std::string(read.text), std::string(255, 'q'));
    ASSERT_EQ(suites.EffectSuite2()->AEGP_DisposeEffect(effect), PF_Err_NONE);
}

TEST_F(ColorExpressionEventTest, StreamFailuresAreReturnedAndEverythingIsDisposed) {
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    AEGP_EffectRefH effect = nullptr;
    ASSERT_EQ(suites.PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(kPluginId, in_data_.effect_ref, &effect),
              PF_Err_NONE);
    for (const char* failing : {"AEGP_GetNewEffectStreamByIndex", "AEGP_GetNewStreamValue"}) {
        Data data{};
        host().faults().failCall(failing, 1, PF_Interrupt_CANCEL);
        EXPECT_EQ(GetData(kPluginId, &in_data_, suites, effect, kIndex, &data), PF_Interrupt_CANCEL) << failing;
        host().faults().failCall(failing, 1, PF_Interrupt_CANCEL);
        EXPECT_EQ(SetData(kPluginId, &in_data_, suites, effect, kIndex, &data), PF_Interrupt_CANCEL) << failing;
        EXPECT_EQ(host().ledger().outstanding("stream reference"), 0u) << failing;
        EXPECT_EQ(host().ledger().outstanding("stream value"), 0u) << failing;
    }
    ASSERT_EQ(suites.EffectSuite2()->AEGP_DisposeEffect(effect), PF_Err_NONE);
}

// ---------------------------------------------------------------- malformed stored data

// Stored values straight from a damaged project: drawn and edited without harm.
TEST_F(ColorExpressionEventTest, MalformedStoredDataIsDrawnAndEdited) {
    const std::vector<std::vector<char>> stored = {
        std::vector<char>(kDataSize, 'x'), std::vector<char>(kDataSize, '\xF0'),  std::vector<char>(1000, '\xC3'),
        {'\xED', '\xA0', '\x80', '\0'},    {'r', '\xF4', '\x90', '\x80', '\x80'}, {},
    };
    for (const auto& flat : stored) {
        setStored(flat);
        PF_EventExtra draw = window_->drawEvent(kIndex, kWide);
        EXPECT_EQ(send(draw), PF_Err_NONE);
        engine_->answerCancel();
        PF_EventExtra click = window_->clickEvent(kIndex, kWide, {200, 15});
        EXPECT_EQ(send(click), PF_Err_NONE);
        EXPECT_TRUE(engine_->runs().back().dialog);
    }
    EXPECT_EQ(window_->calls("DrawString").size(), stored.size());
}

TEST(DrawbotObjects, ADrawingCallErrorIsRaisedWithItsCode) {
    try {
        checkDrawbot(PF_Err_OUT_OF_MEMORY);
        ADD_FAILURE() << "no exception";
    } catch (DRAWBOT_Exception const& failure) {
        EXPECT_EQ(failure.err(), PF_Err_OUT_OF_MEMORY);
    }
    EXPECT_NO_THROW(checkDrawbot(PF_Err_NONE));
}

}  // namespace
