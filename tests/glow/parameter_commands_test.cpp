#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "glow/parameter_commands.h"
#include "glow/parameter_table.h"
#include "host/sim/params.h"
#include "library/custom_data/color_expression_data/color_expression_data.h"
#include "support/host_fixture.h"

namespace {

int uiRegistrations = 0;
int32_t uiEvents = -1;

PF_Err recordUi(PF_ProgPtr, PF_CustomUIInfo* info) {
    ++uiRegistrations;
    uiEvents = info != nullptr ? info->events : -1;
    return PF_Err_NONE;
}

class GlowParamCommands : public HostTest {
protected:
    void SetUp() override {
        effect_ = PF_EffectInstance{};
        out_data_ = PF_OutData{};
        HostTest::SetUp();
        uiRegistrations = 0;
        uiEvents = -1;
        in_data_.inter.register_ui = recordUi;
    }
    // The defaults of the expression parameters are the host's once registered; this host keeps
    // them nowhere else, so the test gives them back.
    void TearDown() override {
        for (const PF_ParamDef& def : effect_.registered) {
            if (def.param_type == PF_Param_ARBITRARY_DATA && def.u.arb_d.dephault != nullptr) {
                host().disposeHandle(def.u.arb_d.dephault);
            }
        }
        HostTest::TearDown();
    }

    std::vector<PF_ParamDef*> paramList() {
        std::vector<PF_ParamDef*> list;
        for (size_t i = 0; i < effect_.values.size(); ++i) list.push_back(&effect_.values[i]);
        return list;
    }
    bool grayed(int id) const { return (effect_.registered[size_t(id)].ui_flags & PF_PUI_DISABLED) != 0; }
};

TEST_F(GlowParamCommands, SetupRegistersEveryEntryAndTheCustomUi) {
    ASSERT_EQ(Glow::ParamsSetup(&in_data_, &out_data_), PF_Err_NONE);
    EXPECT_EQ(out_data_.num_params, 109);
    ASSERT_EQ(effect_.registered.size(), 109u);
    EXPECT_EQ(uiRegistrations, 1);
    EXPECT_EQ(uiEvents, 7);
    int collapsed = 0;
    for (size_t i = 1; i < effect_.registered.size(); ++i) {
        const PF_ParamDef& def = effect_.registered[i];
        if (i == 64 || i == 82) {
            EXPECT_EQ(def.flags, 0) << i;
            EXPECT_EQ(def.param_type, PF_Param_ARBITRARY_DATA) << i;
            EXPECT_EQ(def.ui_flags, PF_PUI_TOPIC) << i;
            EXPECT_EQ(def.u.arb_d.id, static_cast<int16_t>(i));
            EXPECT_EQ(def.u.arb_d.value, nullptr);
            EXPECT_EQ(Morvel::ColorExpressionData::readValueText(&in_data_, def.u.arb_d.dephault), "a * r * s");
        } else {
            EXPECT_EQ(def.flags, PF_ParamFlag_START_COLLAPSED) << i << " " << def.name;
            ++collapsed;
        }
    }
    EXPECT_EQ(collapsed, 106);
    EXPECT_STREQ(effect_.registered[64].name, "Custom Channel");
    EXPECT_STREQ(effect_.registered[82].name, "Toner Custom Channel");
    EXPECT_EQ(host().log().count("problem:"), 0u);
}

TEST_F(GlowParamCommands, SetupFailures) {
    struct Case {
        const char* name;
        const char* failing;
        int nth;
        PF_Err planned;
        PF_Err expected;
        size_t registered;  // entries the host took, the input layer included
        bool reportsCount;
    } cases[] = {
        // The chain stops; the two expression parameters are registered still.
        {"first registration", "add_param", 1, PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY, 3, true},
        {"a later row", "add_param", 10, PF_Err_INVALID_INDEX, PF_Err_INVALID_INDEX, 12, true},
        // The first expression parameter is the 64th entry; the command ends there.
        {"expression parameter refused", "add_param", 64, PF_Err_INVALID_INDEX, PF_Err_INVALID_INDEX, 64, false},
        {"no handle for a default", "host_new_handle", 1, PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY, 64, false},
        {"second default", "host_new_handle", 2, PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY, 82, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        host().faults().failCall(c.failing, c.nth, c.planned);
        EXPECT_EQ(Glow::ParamsSetup(&in_data_, &out_data_), c.expected);
        EXPECT_EQ(effect_.registered.size(), c.registered);
        EXPECT_EQ(out_data_.num_params, c.reportsCount ? 109 : 0);
        EXPECT_EQ(uiRegistrations, 0);
        if (c.reportsCount) {
            EXPECT_EQ(effect_.registered.back().uu.id, 82);
            EXPECT_EQ(effect_.registered[c.registered - 2].uu.id, 64);
        }
    }
}

TEST_F(GlowParamCommands, ACustomUiTheHostRefusesIsTheResult) {
    in_data_.inter.register_ui = [](PF_ProgPtr, PF_CustomUIInfo*) -> PF_Err { return PF_Err_OUT_OF_MEMORY; };
    EXPECT_EQ(Glow::ParamsSetup(&in_data_, &out_data_), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(out_data_.num_params, 109);
}

// The grey-out table written as id -> greyed, for settings where every rule is decided.
std::map<int, bool> planOf(const Glow::UiControls& controls) {
    std::map<int, bool> plan;
    for (const Glow::GrayOut& step : Glow::grayOutPlan(controls)) {
        EXPECT_EQ(plan.count(step.id), 0u) << "id " << step.id << " set twice";
        plan[step.id] = step.gray;
    }
    return plan;
}

constexpr Glow::UiControls kDefaults{.diffusion = true,
                                     .beam = false,
                                     .kernel = false,
                                     .blurType = Glow::BlurTypeItem::Normal,
                                     .useMask = false,
                                     .maskType = Glow::MaskTypeItem::Rectangle,
                                     .useThreshold2 = false,
                                     .channel = Glow::CHANNEL_LUMINANCE,
                                     .tones = Glow::TONES_MONOTONE,
                                     .useDifferentChannel = false,
                                     .tonerChannel = Glow::CHANNEL_LUMINANCE};

TEST(GlowGrayOut, UseMaskOffGreysTheWholeMaskGroupWhateverTheType) {
    for (int type : {1, 2, 3}) {
        Glow::UiControls c = kDefaults;
        c.maskType = static_cast<Glow::MaskTypeItem>(type);
        const auto plan = planOf(c);
        for (int id = 41; id <= 52; ++id) EXPECT_TRUE(plan.at(id)) << "type " << type << " id " << id;
    }
}

TEST(GlowGrayOut, MaskTypeDecidesWithUseMaskOn) {
    struct Case {
        int type;
        std::set<int> grayed;
    } cases[] = {{1, {43, 44, 45}}, {2, {43, 44, 45}}, {3, {49, 50, 51}}};
    for (const Case& c : cases) {
        Glow::UiControls controls = kDefaults;
        controls.useMask = true;
        controls.maskType = static_cast<Glow::MaskTypeItem>(c.type);
        const auto plan = planOf(controls);
        for (int id = 41; id <= 52; ++id) EXPECT_EQ(plan.at(id), c.grayed.count(id) == 1) << c.type << " " << id;
    }
}

TEST(GlowGrayOut, TonesRule) {
    // Highlight, Midtone, Shadow, Toner Map, then whether 73-75 and 77 are greyed.
    struct Case {
        int tones;
        const char* hmsm;  // 'y' greyed, 'n' enabled, '-' untouched
        bool curve;
    } cases[] = {
        {1, "nyyy", true},  {2, "nyny", false}, {3, "nnny", false}, {4, "yyyn", true},
        {5, "yynn", false}, {6, "nyyn", false}, {7, "----", false}, {0, "----", false},
    };
    for (const Case& c : cases) {
        Glow::UiControls controls = kDefaults;
        controls.tones = static_cast<Glow::TonesItem>(c.tones);
        const auto plan = planOf(controls);
        for (int i = 0; i < 4; ++i) {
            const int id = 69 + i;
            if (c.hmsm[i] == '-') {
                EXPECT_EQ(plan.count(id), 0u) << "tones " << c.tones << " id " << id;
            } else {
                EXPECT_EQ(plan.at(id), c.hmsm[i] == 'y') << "tones " << c.tones << " id " << id;
            }
        }
        for (int id : {73, 74, 75, 77}) EXPECT_EQ(plan.at(id), c.curve) << "tones " << c.tones << " id " << id;
        EXPECT_EQ(plan.count(76), 0u);
    }
}

TEST(GlowGrayOut, ChannelsAndTheTonerChannelGroup) {
    struct Case {
        const char* name;
        int channel;
        int tones;
        bool different;
        int tonerChannel;
        std::map<int, bool> expected;
    } cases[] = {
        {"custom channel", 13, 1, false, 1, {{62, true}, {63, true}, {64, false}}},
        {"hue channel", 6, 1, false, 1, {{62, false}, {63, false}, {64, true}}},
        {"distance channels", 12, 1, false, 1, {{63, false}, {64, true}}},
        {"toner group closed without a different channel",
         1,
         2,
         false,
         13,
         {{78, true}, {79, true}, {80, true}, {81, true}, {82, true}}},
        {"toner group closed for monotone",
         1,
         1,
         true,
         13,
         {{78, true}, {79, true}, {80, true}, {81, true}, {82, true}}},
        {"toner custom channel", 1, 3, true, 13, {{78, false}, {79, false}, {80, true}, {81, true}, {82, false}}},
        {"toner distance channel", 1, 2, true, 11, {{78, false}, {79, false}, {80, false}, {81, false}, {82, true}}},
    };
    for (const Case& c : cases) {
        Glow::UiControls controls = kDefaults;
        controls.channel = static_cast<Glow::ChannelItem>(c.channel);
        controls.tones = static_cast<Glow::TonesItem>(c.tones);
        controls.useDifferentChannel = c.different;
        controls.tonerChannel = static_cast<Glow::ChannelItem>(c.tonerChannel);
        const auto plan = planOf(controls);
        for (const auto& [id, gray] : c.expected) EXPECT_EQ(plan.at(id), gray) << c.name << " id " << id;
    }
}

TEST(GlowGrayOut, SwitchesGreyTheirGroups) {
    Glow::UiControls off = kDefaults;
    off.diffusion = false;
    Glow::UiControls on = kDefaults;
    on.beam = on.kernel = on.useThreshold2 = true;
    on.blurType = Glow::BlurTypeItem::Channel;
    const auto offPlan = planOf(off);
    const auto onPlan = planOf(on);
    for (int id : {8, 9, 11, 12, 13, 14, 15, 17, 18, 19, 20, 23, 29, 58}) {
        EXPECT_TRUE(offPlan.at(id)) << id;
        EXPECT_FALSE(onPlan.at(id)) << id;
    }
    EXPECT_FALSE(onPlan.at(8));
    EXPECT_EQ(onPlan.count(21), 0u);  // Wrap is never greyed
    EXPECT_EQ(onPlan.count(1), 0u);
}

TEST_F(GlowParamCommands, UpdateUiGreysThroughTheHostAndAlwaysAsksForARefresh) {
    ASSERT_EQ(Glow::ParamsSetup(&in_data_, &out_data_), PF_Err_NONE);
    Sim::paramValue(effect_, 68).u.pd.value = 7;  // Tones outside the menu
    Sim::paramValue(effect_, 42).u.pd.value = 3;
    auto params = paramList();
    PF_OutData out{};
    ASSERT_EQ(Glow::UpdateParameterUI(&in_data_, &out, params.data()), PF_Err_NONE);
    EXPECT_NE(out.out_flags & PF_OutFlag_REFRESH_UI, 0);
    for (int id = 41; id <= 52; ++id) EXPECT_TRUE(grayed(id)) << id;
    for (int id : {73, 74, 75, 77}) EXPECT_FALSE(grayed(id)) << id;
    for (int id : {69, 70, 71, 72}) EXPECT_EQ(effect_.registered[size_t(id)].ui_flags, 0) << id;
    EXPECT_FALSE(grayed(8));
    EXPECT_TRUE(grayed(11));

    // The third call fails: nothing after it.
    host().faults().failCall("PF_UpdateParamUI", 3, PF_Err_OUT_OF_MEMORY);
    host().log().clear();
    PF_OutData failed{};
    EXPECT_EQ(Glow::UpdateParameterUI(&in_data_, &failed, params.data()), PF_Err_OUT_OF_MEMORY);
    EXPECT_NE(failed.out_flags & PF_OutFlag_REFRESH_UI, 0);
    EXPECT_EQ(host().log().count("PF_UpdateParamUI"), 2u);
}

TEST_F(GlowParamCommands, EventNeedsGlobalDataAndGoesToBothExpressionParameters) {
    PF_ContextRecord context{};
    context.w_type = PF_Window_EFFECT;
    PF_EventExtra event{};
    event.contextH = &context;
    event.e_type = PF_Event_ADJUST_CURSOR;
    std::vector<PF_ParamDef*> params(109, nullptr);

    in_data_.global_data = nullptr;
    EXPECT_EQ(Glow::Event(&in_data_, &out_data_, params.data(), nullptr, &event), PF_Err_INTERNAL_STRUCT_DAMAGED);

    PF_Handle global = host().newHandle(16);
    in_data_.global_data = global;
    // Without the parameters' records each handler reports its own parameter's events as bad.
    for (int index : {64, 82}) {
        event.effect_win.index = index;
        EXPECT_EQ(Glow::Event(&in_data_, &out_data_, params.data(), nullptr, &event), PF_Err_BAD_CALLBACK_PARAM)
            << index;
    }
    event.effect_win.index = 63;
    EXPECT_EQ(Glow::Event(&in_data_, &out_data_, params.data(), nullptr, &event), PF_Err_NONE);
    host().disposeHandle(global);
}

TEST_F(GlowParamCommands, ArbitraryDataReachesTheParameterItNames) {
    for (int id : {64, 82, 5}) {
        PF_ArbitraryH made = nullptr;
        PF_ArbParamsExtra extra{};
        extra.id = static_cast<int16_t>(id);
        extra.which_function = PF_Arbitrary_NEW_FUNC;
        extra.u.new_func_params.arbPH = &made;
        EXPECT_EQ(Glow::ArbitraryData(&in_data_, &out_data_, nullptr, nullptr, &extra), PF_Err_NONE) << id;
        EXPECT_EQ(made != nullptr, id != 5) << id;
        if (made != nullptr) host().disposeHandle(made);
    }
    EXPECT_EQ(Glow::ArbitraryData(&in_data_, &out_data_, nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
