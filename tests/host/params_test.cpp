#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/sim/params.h"
#include "support/host_fixture.h"

namespace {

class HostParams : public HostTest {
protected:
    PF_Err add(PF_ParamDef def, int32_t index = -1) { return in_data_.inter.add_param(&effect_, index, &def); }

    static PF_ParamDef popup(int16_t choices, int16_t dephault, const char* menu) {
        PF_ParamDef def{};
        def.param_type = PF_Param_POPUP;
        std::strcpy(def.name, "Menu");
        def.u.pd.num_choices = choices;
        def.u.pd.dephault = dephault;
        def.u.pd.namesptr = menu;
        return def;
    }
    static PF_ParamDef floatSlider(float low, float high, float sliderLow, float sliderHigh, float dephault) {
        PF_ParamDef def{};
        def.param_type = PF_Param_FLOAT_SLIDER;
        std::strcpy(def.name, "Amount");
        def.u.fs_d.valid_min = low;
        def.u.fs_d.valid_max = high;
        def.u.fs_d.slider_min = sliderLow;
        def.u.fs_d.slider_max = sliderHigh;
        def.u.fs_d.dephault = dephault;
        return def;
    }
    static PF_ParamDef slider(int32_t low, int32_t high, int32_t dephault) {
        PF_ParamDef def{};
        def.param_type = PF_Param_SLIDER;
        def.u.sd.valid_min = def.u.sd.slider_min = low;
        def.u.sd.valid_max = def.u.sd.slider_max = high;
        def.u.sd.dephault = dephault;
        return def;
    }
};

TEST_F(HostParams, RegistrationProblemsAreLoggedNotFatal) {
    expectFault("problem: ");
    struct Case {
        const char* name;
        PF_ParamDef def;
        const char* problem;  // null: none expected
    };
    const Case cases[] = {
        {"popup offering fewer items than its menu", popup(2, 1, "A|B|C"), nullptr},
        {"popup offering more items than its menu", popup(4, 1, "A|B|C"), "4 choices but the menu names 3 items"},
        {"popup without choices", popup(0, 1, "A"), "0 choices"},
        {"popup default beyond its choices", popup(3, 4, "A|B|C|D"), "default 4 outside 1 .. 3"},
        {"popup default zero", popup(3, 0, "A|B|C"), "default 0 outside"},
        {"popup default on a separator", popup(3, 2, "A|(-|C"), "is a separator"},
        {"popup without a menu", popup(1, 1, nullptr), "without a menu text"},
        {"float slider default inside", floatSlider(0, 10, 0, 5, 5), nullptr},
        {"float slider default outside its valid range", floatSlider(0, 10, 0, 10, 11), "outside valid range"},
        {"float slider default outside its slider range", floatSlider(0, 10, 0, 5, 6), "outside slider range"},
        {"float slider with an empty range", floatSlider(10, 0, 0, 5, 1), "is empty"},
        {"integer slider default outside", slider(1, 8, 9), "default 9 outside valid range 1 .. 8"},
    };
    int32_t id = 1;
    for (const Case& c : cases) {
        host().log().clear();
        const size_t before = effect_.registered.size();
        PF_ParamDef def = c.def;
        def.uu.id = id++;
        EXPECT_EQ(add(def), PF_Err_NONE) << c.name;
        EXPECT_EQ(effect_.registered.size(), std::max<size_t>(before, 1) + 1) << c.name << ": still registered";
        if (c.problem == nullptr) {
            EXPECT_EQ(host().log().count("problem:"), 0u) << c.name;
        } else {
            EXPECT_TRUE(host().log().contains(c.problem)) << c.name;
        }
    }
}

TEST_F(HostParams, MenuItems) {
    EXPECT_EQ(Sim::menuItemCount("A"), 1);
    EXPECT_EQ(Sim::menuItemCount("A|(-|B"), 3);
    EXPECT_EQ(Sim::menuItemCount(""), 1);
    EXPECT_EQ(Sim::menuItemCount(nullptr), 0);
    EXPECT_EQ(Sim::menuItem("A|(-|B", 2), "(-");
    EXPECT_EQ(Sim::menuItem("A|(-|B", 3), "B");
    EXPECT_EQ(Sim::menuItem("A|(-|B", 4), "");
    EXPECT_EQ(Sim::menuItem("A|(-|B", 0), "");
}

TEST_F(HostParams, UnknownTypeAndOutOfOrderIndexAreRefused) {
    expectFault("add_param 1 \"\": unknown type 99");
    expectFault("add_param at index 7 while the next is 1");
    expectFault("add_param without an effect reference");
    PF_ParamDef strange{};
    strange.param_type = 99;
    EXPECT_EQ(add(strange), PF_Err_UNRECOGNIZED_PARAM_TYPE);
    EXPECT_EQ(add(slider(0, 1, 0), 7), PF_Err_INVALID_INDEX);
    EXPECT_EQ(add(slider(0, 1, 0), 1), PF_Err_NONE) << "the next index itself is fine";
    EXPECT_EQ(in_data_.inter.add_param(&effect_, -1, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(in_data_.inter.add_param(nullptr, -1, &strange), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(effect_.registered.size(), 2u);
}

TEST_F(HostParams, RepeatedIdsAreAProblemExceptForGroups) {
    expectFault("add_param 4 \"\": id 3 already used at index 3");
    PF_ParamDef group{};
    group.param_type = PF_Param_GROUP_START;
    group.uu.id = 9;
    ASSERT_EQ(add(group), PF_Err_NONE);
    ASSERT_EQ(add(group), PF_Err_NONE);
    EXPECT_EQ(host().log().count("problem:"), 0u);
    PF_ParamDef row = slider(0, 1, 0);
    row.uu.id = 3;
    ASSERT_EQ(add(row), PF_Err_NONE);
    ASSERT_EQ(add(row), PF_Err_NONE);
    EXPECT_TRUE(host().log().contains("id 3 already used at index 3"));
}

TEST_F(HostParams, ValuesStartAtTheirDefaults) {
    expectFault("add_param 2 \"Menu\": id 0 already used at index 1");
    expectFault("add_param 3 \"\": id 0 already used at index 1");
    expectFault("add_param 4 \"\": id 0 already used at index 1");
    PF_ParamDef angle{};
    angle.param_type = PF_Param_ANGLE;
    angle.u.ad.dephault = 7 << 16;
    PF_ParamDef layer{};
    layer.param_type = PF_Param_LAYER;
    layer.u.ld.dephault = PF_LayerDefault_MYSELF;
    ASSERT_EQ(add(floatSlider(0, 10, 0, 10, 2.5f)), PF_Err_NONE);
    ASSERT_EQ(add(popup(3, 2, "A|B|C")), PF_Err_NONE);
    ASSERT_EQ(add(angle), PF_Err_NONE);
    ASSERT_EQ(add(layer), PF_Err_NONE);
    ASSERT_EQ(effect_.values.size(), 5u);
    EXPECT_EQ(effect_.values[0].param_type, PF_Param_LAYER) << "the input layer";
    EXPECT_EQ(effect_.values[1].u.fs_d.value, 2.5);
    EXPECT_EQ(effect_.values[2].u.pd.value, 2);
    EXPECT_EQ(effect_.values[3].u.ad.value, 7 << 16);
    EXPECT_EQ(effect_.values[4].u.ld.data, nullptr);
    EXPECT_EQ(effect_.values[4].u.ld.dephault, PF_LayerDefault_MYSELF);
}

TEST_F(HostParams, CheckoutsAreLedgeredUntilCheckedIn) {
    expectFault("checkin_param of a parameter that is not checked out");
    PF_ParamDef& value = Sim::paramValue(effect_, 2);
    value.param_type = PF_Param_SLIDER;
    value.u.sd.value = 31;
    PF_ParamDef first{}, second{};
    ASSERT_EQ(in_data_.inter.checkout_param(&effect_, 2, 0, 1, 30, &first), PF_Err_NONE);
    ASSERT_EQ(in_data_.inter.checkout_param(&effect_, 2, 0, 1, 30, &second), PF_Err_NONE);
    EXPECT_EQ(first.u.sd.value, 31);
    EXPECT_EQ(host().ledger().outstanding("param checkout"), 2u);
    EXPECT_EQ(in_data_.inter.checkin_param(&effect_, &first), PF_Err_NONE);
    EXPECT_EQ(host().ledger().outstanding("param checkout"), 1u);
    EXPECT_EQ(in_data_.inter.checkin_param(&effect_, &first), PF_Err_BAD_CALLBACK_PARAM) << "already returned";
    EXPECT_TRUE(host().log().contains("error: checkin_param of a parameter that is not checked out"));
    EXPECT_EQ(in_data_.inter.checkin_param(&effect_, &second), PF_Err_NONE);
}

TEST_F(HostParams, LayerValueIsTheStoredWorld) {
    PF_ParamDef& value = Sim::paramValue(effect_, 1);
    value.param_type = PF_Param_LAYER;
    value.u.ld.width = 64;
    value.u.ld.height = 32;
    PF_ParamDef out{};
    ASSERT_EQ(in_data_.inter.checkout_param(&effect_, 1, 0, 1, 30, &out), PF_Err_NONE);
    EXPECT_EQ(out.u.ld.width, 64);
    EXPECT_EQ(out.u.ld.height, 32);
    EXPECT_EQ(in_data_.inter.checkin_param(&effect_, &out), PF_Err_NONE);
}

TEST_F(HostParams, BadCheckoutsAreErrors) {
    expectFault("error: ");
    Sim::paramValue(effect_, 1).param_type = PF_Param_SLIDER;
    PF_ParamDef out{};
    struct Case {
        const char* name;
        PF_ProgPtr effect;
        int32_t index;
        uint32_t scale;
        PF_ParamDef* param;
        PF_Err expected;
    };
    const Case cases[] = {
        {"index past the end", &effect_, 2, 30, &out, PF_Err_INVALID_INDEX},
        {"negative index", &effect_, -1, 30, &out, PF_Err_INVALID_INDEX},
        {"time scale 0", &effect_, 1, 0, &out, PF_Err_BAD_CALLBACK_PARAM},
        {"no record", &effect_, 1, 30, nullptr, PF_Err_BAD_CALLBACK_PARAM},
        {"no effect", nullptr, 1, 30, &out, PF_Err_BAD_CALLBACK_PARAM},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(in_data_.inter.checkout_param(c.effect, c.index, 0, 1, c.scale, c.param), c.expected) << c.name;
    }
    EXPECT_EQ(host().ledger().outstanding("param checkout"), 0u);
}

TEST_F(HostParams, UpdateParamUIChangesOnlyTheFlags) {
    expectFault("PF_UpdateParamUI of unknown index 0");
    expectFault("PF_UpdateParamUI of unknown index 2");
    ASSERT_EQ(add(slider(0, 9, 3)), PF_Err_NONE);
    const void* table = nullptr;
    ASSERT_EQ(in_data_.pica_basicP->AcquireSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2, &table), 0);
    const auto* suite = static_cast<const PF_ParamUtilsSuite2*>(table);
    PF_ParamDef update = slider(5, 6, 5);
    update.ui_flags = PF_PUI_DISABLED;
    EXPECT_EQ(suite->PF_UpdateParamUI(&effect_, 1, &update), PF_Err_NONE);
    EXPECT_EQ(effect_.registered[1].ui_flags, PF_PUI_DISABLED);
    EXPECT_EQ(effect_.registered[1].u.sd.valid_max, 9);
    EXPECT_TRUE(host().log().contains("PF_UpdateParamUI 1 ui_flags 0x20"));
    EXPECT_EQ(suite->PF_UpdateParamUI(&effect_, 2, &update), PF_Err_INVALID_INDEX);
    EXPECT_EQ(suite->PF_UpdateParamUI(&effect_, 0, &update), PF_Err_INVALID_INDEX);
    EXPECT_EQ(in_data_.pica_basicP->ReleaseSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2), 0);
}

}  // namespace
