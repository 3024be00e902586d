#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/host_fixture.h"
#include "tiltshift/commands.h"
#include "tiltshift/parameter_table.h"

using namespace TiltShift;

namespace {

// What the effect asked for with register_ui, for the fixture's host.
std::vector<PF_CustomUIInfo> registeredUIs;

PF_Err recordUI(PF_ProgPtr, PF_CustomUIInfo* info) {
    registeredUIs.push_back(*info);
    return PF_Err_NONE;
}

class ParameterCommandsTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        registeredUIs.clear();
        if (in_data_.inter.register_ui == nullptr) in_data_.inter.register_ui = recordUI;
    }

    std::vector<std::string> logged(const std::string& prefix) {
        std::vector<std::string> lines;
        for (const auto& line : host().log().lines()) {
            if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        }
        return lines;
    }

    // The parameter array a host hands to UPDATE_PARAMS_UI, over the registered records.
    std::vector<PF_ParamDef*> paramArray() {
        std::vector<PF_ParamDef*> params;
        for (auto& value : effect_.values) params.push_back(&value);
        return params;
    }
};

TEST_F(ParameterCommandsTest, RegistersEveryRowInOrderCollapsed) {
    ASSERT_EQ(paramsSetup(&in_data_, &out_data_), PF_Err_NONE);
    EXPECT_EQ(out_data_.num_params, 18);
    ASSERT_EQ(effect_.registered.size(), 18u) << "the input layer and 17 rows";
    for (int index = 1; index < HOST_PARAM_COUNT; ++index) {
        const PF_ParamDef& def = effect_.registered[size_t(index)];
        SCOPED_TRACE(def.name);
        EXPECT_STREQ(def.name, PARAM_DEFS[index - 1].name);
        EXPECT_EQ(def.uu.id, index);
        EXPECT_EQ(def.flags, PF_ParamFlag_START_COLLAPSED);
    }
    const auto problems = logged("problem");
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(logged("add_param").size(), 17u);
}

TEST_F(ParameterCommandsTest, RecordsCarryTheTablesMenusRangesAndDisplay) {
    ASSERT_EQ(paramsSetup(&in_data_, &out_data_), PF_Err_NONE);
    auto at = [&](ParamIndex index) -> const PF_ParamDef& { return effect_.registered[size_t(index)]; };

    struct Popup {
        ParamIndex index;
        int16_t choices, dephault;
        const char* menu;
    };
    for (const Popup& p :
         {Popup{PARAM_TYPE, 2, 1, "Radial|Linear"}, Popup{PARAM_LINEAR_MODE, 2, 1, "Power|Focus Distance"},
          Popup{PARAM_BLENDING_MODE, 20, 4, kMenuBlendingMode}}) {
        const PF_ParamDef& def = at(p.index);
        SCOPED_TRACE(def.name);
        EXPECT_EQ(def.param_type, PF_Param_POPUP);
        EXPECT_EQ(def.u.pd.num_choices, p.choices);
        EXPECT_EQ(def.u.pd.dephault, p.dephault);
        EXPECT_EQ(def.u.pd.value, p.dephault);
        EXPECT_STREQ(def.u.pd.namesptr, p.menu);
    }

    struct Slider {
        ParamIndex index;
        int16_t precision;
        int32_t display;
    };
    for (const Slider& s : {Slider{PARAM_BLUR_AMOUNT, 1, 0}, Slider{PARAM_WEIGHT, 2, 0}, Slider{PARAM_RATIO, 2, 0},
                            Slider{PARAM_POWER, 2, 0}, Slider{PARAM_FOCUS_DISTANCE, 1, 0},
                            Slider{PARAM_VIGNETTING, 1, PF_ValueDisplayFlag_PERCENT}}) {
        const PF_ParamDef& def = at(s.index);
        SCOPED_TRACE(def.name);
        EXPECT_EQ(def.param_type, PF_Param_FLOAT_SLIDER);
        EXPECT_EQ(def.u.fs_d.precision, s.precision);
        EXPECT_EQ(def.u.fs_d.display_flags, s.display);
    }
    EXPECT_FLOAT_EQ(at(PARAM_RATIO).u.fs_d.valid_min, 0.0001f);
    EXPECT_FLOAT_EQ(at(PARAM_FOCUS_DISTANCE).u.fs_d.valid_max, 1000000.0f);

    const PF_ParamDef& center = at(PARAM_CENTER);
    EXPECT_EQ(center.param_type, PF_Param_POINT);
    EXPECT_EQ(center.u.td.x_dephault, 3276800);
    EXPECT_EQ(center.u.td.y_dephault, 3276800);
    EXPECT_EQ(center.u.td.restrict_bounds, 0);

    EXPECT_EQ(at(PARAM_DIRECTION).param_type, PF_Param_ANGLE);
    EXPECT_EQ(at(PARAM_DIRECTION).u.ad.dephault, 0);

    const PF_ParamDef& color = at(PARAM_VIGNETTING_COLOR);
    EXPECT_EQ(color.param_type, PF_Param_COLOR);
    EXPECT_EQ(color.u.cd.dephault.alpha, 255);
    EXPECT_EQ(color.u.cd.dephault.red + color.u.cd.dephault.green + color.u.cd.dephault.blue, 0);

    for (ParamIndex index : {PARAM_REPEAT_EDGE_PIXELS, PARAM_GROW_BOUNDS}) {
        const PF_ParamDef& def = at(index);
        EXPECT_EQ(def.param_type, PF_Param_CHECKBOX);
        EXPECT_EQ(def.u.bd.dephault, 1);
        EXPECT_STREQ(def.u.bd.nameptr, "");
    }
}

TEST_F(ParameterCommandsTest, FocusUIIsRegisteredForCompAndLayerViewsAfterTheRows) {
    ASSERT_EQ(paramsSetup(&in_data_, &out_data_), PF_Err_NONE);
    if (in_data_.inter.register_ui != recordUI) {
        EXPECT_EQ(logged("register_ui events 3").size(), 1u);
        return;
    }
    ASSERT_EQ(registeredUIs.size(), 1u);
    const PF_CustomUIInfo& info = registeredUIs.front();
    EXPECT_EQ(info.events, PF_CustomEFlag_COMP | PF_CustomEFlag_LAYER);
    EXPECT_EQ(info.comp_ui_width + info.comp_ui_height + info.comp_ui_alignment + info.layer_ui_width +
                  info.layer_ui_height + info.layer_ui_alignment + info.preview_ui_width + info.preview_ui_height +
                  info.preview_ui_alignment,
              0);
}

TEST_F(ParameterCommandsTest, FirstFailingCallStopsRegistrationAndTheCountStands) {
    struct Case {
        const char* name;
        const char* function;
        int nth;
        PF_Err err;
        size_t rowsRegistered;
    };
    const Case cases[] = {
        {"first row", "add_param", 1, PF_Err_OUT_OF_MEMORY, 0},
        {"fifth row (Center)", "add_param", 5, PF_Err_INVALID_INDEX, 4},
        {"last row", "add_param", 17, PF_Err_INTERNAL_STRUCT_DAMAGED, 16},
        {"custom UI", "register_ui", 1, PF_Err_OUT_OF_MEMORY, 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.function) == "register_ui" && in_data_.inter.register_ui == recordUI) continue;
        effect_.registered.clear();
        effect_.values.clear();
        host().faults().failCall(c.function, c.nth, c.err);
        out_data_.num_params = 0;
        EXPECT_EQ(paramsSetup(&in_data_, &out_data_), c.err);
        EXPECT_EQ(out_data_.num_params, 18) << "reported in any case";
        EXPECT_EQ(effect_.registered.empty() ? 0u : effect_.registered.size() - 1, c.rowsRegistered);
        host().faults().clear();
    }
}

TEST_F(ParameterCommandsTest, MissingCustomUICallbackIsAnError) {
    in_data_.inter.register_ui = nullptr;
    EXPECT_EQ(paramsSetup(&in_data_, &out_data_), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(out_data_.num_params, 18);
}

TEST_F(ParameterCommandsTest, GrayOutFollowsTheFocusType) {
    ASSERT_EQ(paramsSetup(&in_data_, &out_data_), PF_Err_NONE);
    struct Case {
        const char* name;
        int16_t type, linearMode;
        // Expected calls in order: index and whether it is greyed.
        std::vector<std::pair<int, bool>> calls;
    };
    const Case cases[] = {
        {"radial, mode 1", 1, 1, {{7, false}, {9, true}, {10, false}, {11, true}}},
        {"radial, mode 2", 1, 2, {{7, false}, {9, true}, {10, false}, {11, true}}},
        {"radial, mode 7", 1, 7, {{7, false}, {9, true}, {10, false}, {11, true}}},
        {"linear, power", 2, 1, {{7, true}, {9, false}, {10, false}, {11, true}}},
        {"linear, focus distance", 2, 2, {{7, true}, {9, false}, {10, true}, {11, false}}},
        {"linear, mode 3", 2, 3, {{7, true}, {9, false}}},
        {"linear, mode 0", 2, 0, {{7, true}, {9, false}}},
        {"type 3", 3, 1, {}},
        {"type 0", 0, 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        effect_.values[PARAM_TYPE].u.pd.value = c.type;
        effect_.values[PARAM_LINEAR_MODE].u.pd.value = c.linearMode;
        // Start from the opposite of each expectation, so a call that is skipped shows.
        for (int index = 1; index < HOST_PARAM_COUNT; ++index) effect_.values[size_t(index)].ui_flags = 0;
        host().log().clear();
        auto params = paramArray();
        out_data_.out_flags = 0;
        EXPECT_EQ(updateParamsUI(&in_data_, &out_data_, params.data()), PF_Err_NONE);
        EXPECT_EQ(out_data_.out_flags, PF_OutFlag_REFRESH_UI);
        std::vector<std::string> want;
        for (auto [index, gray] : c.calls) {
            want.push_back("PF_UpdateParamUI " + std::to_string(index) + " ui_flags " + (gray ? "0x20" : "0x0"));
        }
        EXPECT_EQ(logged("PF_UpdateParamUI"), want);
    }
}

TEST_F(ParameterCommandsTest, RefreshIsAskedForAlsoWhenGrayingOutFails) {
    ASSERT_EQ(paramsSetup(&in_data_, &out_data_), PF_Err_NONE);
    auto params = paramArray();
    effect_.values[PARAM_TYPE].u.pd.value = TYPE_LINEAR;
    effect_.values[PARAM_LINEAR_MODE].u.pd.value = LINEAR_MODE_POWER;
    host().log().clear();
    host().faults().failCall("PF_UpdateParamUI", 2, PF_Err_INVALID_INDEX);
    out_data_.out_flags = 0;
    EXPECT_EQ(updateParamsUI(&in_data_, &out_data_, params.data()), PF_Err_INVALID_INDEX);
    EXPECT_EQ(out_data_.out_flags, PF_OutFlag_REFRESH_UI);
    EXPECT_EQ(logged("PF_UpdateParamUI").size(), 1u) << "the sequence stops at the failure";

    host().faults().makeSuiteMissing("PF Param Utils Suite", 2);
    out_data_.out_flags = 0;
    EXPECT_THROW(updateParamsUI(&in_data_, &out_data_, params.data()), PF_Err);
    EXPECT_EQ(out_data_.out_flags, PF_OutFlag_REFRESH_UI);

    out_data_.out_flags = 0;
    EXPECT_EQ(updateParamsUI(&in_data_, &out_data_, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(out_data_.out_flags, PF_OutFlag_REFRESH_UI);
}

}  // namespace
