#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/arbitrary_param.h"
#include "host/sim/drawing.h"
#include "host/sim/script.h"
#include "support/host_fixture.h"

namespace {

// The edit dialog, piece by piece, as the effects must send it.
const std::string kHead =
    "(function () { function createDialog() {    function textOnChange() {      if (this.text.length > 50"
    "0) {        this.text = this.text.slice(0, 500);      }    }    function createOutput() {      var t"
    "ext = ok ? '1' + ui.text.text : '0';      return text;    }    var w = new Window('dialog', '";
const std::string kMiddle =
    "', undefined);    w.margins = 10;    w.alignChildren = ['fill', 'center'];    var ui = {},    ok = f"
    "alse;    var path_group = w.add('group');    path_group.add('statictext', [0, 0, 60, 20], 'Expressio"
    "n: ');    ui.text = path_group.add('edittext', [0, 0, 240, 20], '";
const std::string kTail =
    "');    ui.text.onChange = textOnChange;    var button_group = w.add('group');    button_group.alignC"
    "hildren = ['fill', 'top'];    ui.ok = button_group.add('button', undefined, 'OK', {name: 'ok'});    "
    "ui.ok.onClick = function () {      ok = true;      w.close(1);    };    ui.cancel = button_group.add"
    "('button', undefined, 'Cancel', {name: 'cancel'});    ui.cancel.onClick = function () {      ok = fa"
    "lse;      w.close(1);    };    w.onShow = function () {      ui.text.active = true;    }    w.center"
    "();    w.show();    return createOutput();  }  return createDialog();})();";

class DrawingSurfaceTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        window_ = std::make_unique<Sim::EffectControlsWindow>(host());
        const void* suite = nullptr;
        in_data_.pica_basicP->AcquireSuite(kDRAWBOT_DrawSuite, 1, &suite);
        draw_ = static_cast<const DRAWBOT_DrawSuite1*>(suite);
        in_data_.pica_basicP->AcquireSuite(kDRAWBOT_SupplierSuite, 1, &suite);
        supplier_ = static_cast<const DRAWBOT_SupplierSuite1*>(suite);
        in_data_.pica_basicP->AcquireSuite(kDRAWBOT_SurfaceSuite, 1, &suite);
        surface_ = static_cast<const DRAWBOT_SurfaceSuite1*>(suite);
        in_data_.pica_basicP->AcquireSuite(kDRAWBOT_PathSuite, 1, &suite);
        path_ = static_cast<const DRAWBOT_PathSuite1*>(suite);
        ASSERT_TRUE(draw_ && supplier_ && surface_ && path_);
        ASSERT_EQ(draw_->GetSupplier(window_->drawRef(), &supplierRef_), PF_Err_NONE);
        ASSERT_EQ(draw_->GetSurface(window_->drawRef(), &surfaceRef_), PF_Err_NONE);
    }
    void TearDown() override {
        for (const char* name :
             {kDRAWBOT_DrawSuite, kDRAWBOT_SupplierSuite, kDRAWBOT_SurfaceSuite, kDRAWBOT_PathSuite}) {
            in_data_.pica_basicP->ReleaseSuite(name, 1);
        }
        window_.reset();
        HostTest::TearDown();
    }

    std::unique_ptr<Sim::EffectControlsWindow> window_;
    const DRAWBOT_DrawSuite1* draw_ = nullptr;
    const DRAWBOT_SupplierSuite1* supplier_ = nullptr;
    const DRAWBOT_SurfaceSuite1* surface_ = nullptr;
    const DRAWBOT_PathSuite1* path_ = nullptr;
    DRAWBOT_SupplierRef supplierRef_ = nullptr;
    DRAWBOT_SurfaceRef surfaceRef_ = nullptr;
};

TEST_F(DrawingSurfaceTest, ObjectsAreInTheLedgerUntilReleased) {
    expectFault("DRAWBOT_ReleaseObject: unknown object");
    const DRAWBOT_ColorRGBA red{1, 0, 0, 1};
    DRAWBOT_PenRef pen = nullptr;
    DRAWBOT_PathRef path = nullptr;
    DRAWBOT_BrushRef brush = nullptr;
    DRAWBOT_FontRef font = nullptr;
    ASSERT_EQ(supplier_->NewPen(supplierRef_, &red, 2.5f, &pen), PF_Err_NONE);
    ASSERT_EQ(supplier_->NewPath(supplierRef_, &path), PF_Err_NONE);
    ASSERT_EQ(supplier_->NewBrush(supplierRef_, &red, &brush), PF_Err_NONE);
    ASSERT_EQ(supplier_->NewDefaultFont(supplierRef_, 12, &font), PF_Err_NONE);
    for (const char* kind : {"drawbot pen", "drawbot path", "drawbot brush", "drawbot font"}) {
        EXPECT_EQ(host().ledger().outstanding(kind), 1u) << kind;
    }
    const DRAWBOT_PointF32 c1{1, 2}, c2{3, 4}, end{5, 6};
    ASSERT_EQ(path_->MoveTo(path, 0, 0), PF_Err_NONE);
    ASSERT_EQ(path_->BezierTo(path, &c1, &c2, &end), PF_Err_NONE);
    ASSERT_EQ(path_->Close(path), PF_Err_NONE);
    ASSERT_EQ(surface_->StrokePath(surfaceRef_, pen, path), PF_Err_NONE);
    const auto strokes = window_->calls("StrokePath");
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0].numbers, (std::vector<double>{1, 0, 0, 1, 2.5}));
    ASSERT_EQ(strokes[0].path.size(), 3u);
    EXPECT_EQ(strokes[0].path[1].op, 'C');
    EXPECT_EQ(strokes[0].path[1].values, (std::vector<float>{1, 2, 3, 4, 5, 6}));
    for (DRAWBOT_ObjectRef object : {pen, path, brush, font}) {
        EXPECT_EQ(supplier_->ReleaseObject(object), PF_Err_NONE);
    }
    EXPECT_NE(supplier_->ReleaseObject(pen), PF_Err_NONE) << "released twice";
}

TEST_F(DrawingSurfaceTest, WhatIsNotTheHostsIsRefused) {
    expectFault("error: ");
    const DRAWBOT_ColorRGBA white{1, 1, 1, 1};
    const DRAWBOT_ColorRGBA notFinite{1, 1, 1, std::numeric_limits<float>::quiet_NaN()};
    DRAWBOT_BrushRef brush = nullptr;
    DRAWBOT_PenRef pen = nullptr;
    DRAWBOT_FontRef font = nullptr;
    ASSERT_EQ(supplier_->NewBrush(supplierRef_, &white, &brush), PF_Err_NONE);
    ASSERT_EQ(supplier_->NewPen(supplierRef_, &white, 1, &pen), PF_Err_NONE);
    ASSERT_EQ(supplier_->NewDefaultFont(supplierRef_, 12, &font), PF_Err_NONE);
    const DRAWBOT_UTF16Char text[] = {'r', 0};
    const DRAWBOT_PointF32 origin{0, 0};
    char strangerTag = 0;
    auto stranger = reinterpret_cast<DRAWBOT_SurfaceRef>(&strangerTag);
    struct Case {
        const char* name;
        PF_Err err;
    };
    const std::vector<Case> cases = {
        {"unknown surface", surface_->DrawString(stranger, brush, font, text, &origin, 0, 0, 10)},
        {"pen as brush", surface_->DrawString(surfaceRef_, pen, font, text, &origin, 0, 0, 10)},
        {"null string", surface_->DrawString(surfaceRef_, brush, font, nullptr, &origin, 0, 0, 10)},
        {"bad truncation", surface_->DrawString(surfaceRef_, brush, font, text, &origin, 0, 9, 10)},
        {"bad anti-alias policy", surface_->SetAntiAliasPolicy(surfaceRef_, 7)},
        {"brush colour not finite", supplier_->NewBrush(supplierRef_, &notFinite, &brush)},
        {"unknown supplier", supplier_->NewDefaultFont(reinterpret_cast<DRAWBOT_SupplierRef>(stranger), 12, &font)},
        {"unknown drawing reference", draw_->GetSurface(reinterpret_cast<DRAWBOT_DrawRef>(stranger), &surfaceRef_)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.err, PF_Err_BAD_CALLBACK_PARAM) << c.name;
    EXPECT_TRUE(window_->calls().empty());
    for (DRAWBOT_ObjectRef object : {brush, pen, font}) supplier_->ReleaseObject(object);
}

TEST(DialogScriptForm, OnlyTheDialogIsAccepted) {
    struct Case {
        const char* name;
        std::string script;
        bool dialog;
        std::u16string title;
        std::u16string field;
    };
    const std::vector<Case> cases = {
        {"dialog", kHead + "\\u0041" + kMiddle + "\\ud83d\\ude00" + kTail, true, u"A", u"\U0001F600"},
        {"empty texts", kHead + kMiddle + kTail, true, u"", u""},
        {"raw quote in the title", kHead + "'" + kMiddle + kTail, false, u"", u""},
        {"upper-case hex", kHead + "\\u004A" + kMiddle + kTail, false, u"", u""},
        {"short escape", kHead + "\\u41" + kMiddle + kTail, false, u"", u""},
        {"something after the end", kHead + kMiddle + kTail + "alert(1);", false, u"", u""},
        {"other script", "1 + 1", false, u"", u""},
    };
    for (const Case& c : cases) {
        std::u16string title, field;
        const bool dialog = Sim::parseDialogScript(c.script, title, field);
        EXPECT_EQ(dialog, c.dialog) << c.name;
        if (dialog) {
            EXPECT_EQ(title, c.title) << c.name;
            EXPECT_EQ(field, c.field) << c.name;
        }
    }
}

class ScriptEngineTest : public HostTest {};

TEST_F(ScriptEngineTest, AnswersInTheOrderQueued) {
    expectFault("AEGP_ExecuteScript: no answer queued");
    expectFault("AEGP_ExecuteScript: not the edit dialog's script");
    Sim::ScriptEngine engine(host());
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    const AEGP_UtilitySuite11* utility = suites.UtilitySuite11();
    const AEGP_MemorySuite1* memory = suites.MemorySuite1();
    engine.answerOk("g");
    engine.answerCancel();
    engine.answerError(PF_Interrupt_CANCEL);
    const std::string script = "not a dialog";
    AEGP_MemHandle result = nullptr;
    EXPECT_EQ(utility->AEGP_ExecuteScript(1, script.c_str(), false, &result, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(engine.pending(), 3u) << "a refused script takes no answer";

    const std::string dialog = kHead + kMiddle + kTail;
    for (const char* expected : {"1g", "0"}) {
        ASSERT_EQ(utility->AEGP_ExecuteScript(1, dialog.c_str(), false, &result, nullptr), PF_Err_NONE);
        void* bytes = nullptr;
        ASSERT_EQ(memory->AEGP_LockMemHandle(result, &bytes), PF_Err_NONE);
        EXPECT_STREQ(static_cast<const char*>(bytes), expected);
        memory->AEGP_UnlockMemHandle(result);
        memory->AEGP_FreeMemHandle(result);
    }
    EXPECT_EQ(utility->AEGP_ExecuteScript(1, dialog.c_str(), false, &result, nullptr), PF_Interrupt_CANCEL);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(utility->AEGP_ExecuteScript(1, dialog.c_str(), false, &result, nullptr), PF_Err_BAD_CALLBACK_PARAM)
        << "nothing queued";
}

// A handler that misbehaves is caught by the host rather than trusted.
TEST_F(ScriptEngineTest, ArbitraryParamRefusesWhatIsNotANewHostHandle) {
    expectFault("compare: no answer");
    expectFault("flat size: no size or too large");
    expectFault("new: value is not a new host handle");
    PF_Handle shared = host().newHandle(4);
    Sim::ArbitraryParam param(host(), in_data_, 1, [&](PF_InData*, PF_OutData*, PF_ArbParamsExtra* extra) {
        if (extra->which_function == PF_Arbitrary_NEW_FUNC) *extra->u.new_func_params.arbPH = shared;
        if (extra->which_function == PF_Arbitrary_FLAT_SIZE_FUNC) {
            *extra->u.flat_size_func_params.flat_data_sizePLu = 1u << 30;
        }
        return PF_Err_NONE;
    });
    PF_ArbitraryH first = nullptr, second = nullptr;
    EXPECT_EQ(param.create(first), PF_Err_NONE);
    EXPECT_EQ(param.create(second), PF_Err_INTERNAL_STRUCT_DAMAGED) << "the same handle twice";
    std::vector<char> flat;
    EXPECT_EQ(param.save(first, flat), PF_Err_INTERNAL_STRUCT_DAMAGED) << "absurd flat size";
    int32_t result = 0;
    EXPECT_EQ(param.compare(first, first, result), PF_Err_INTERNAL_STRUCT_DAMAGED) << "no answer";
    // The handler's dispose does nothing, so the host gives the block back itself.
    EXPECT_EQ(param.dispose(first), PF_Err_NONE);
    host().disposeHandle(shared);
}

}  // namespace
