// Parameter set-up as the host checks it: the custom UI an effect registers, and the parameter
// count, which only a set-up that succeeded must get right.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "host/sim/plugin.h"
#include "library/default/default.h"
#include "support/host_fixture.h"

namespace {

struct Options {
    int32_t reportedCount = 3;
    bool registerUI = true;
};
Options options;

PF_Err setUpParams(PF_InData* in, PF_OutData* out) {
    PF_Err err = PF_Err_NONE;
    for (int32_t id = 1; id <= 2 && !err; ++id) {
        PF_ParamDef def{};
        def.param_type = PF_Param_CHECKBOX;
        std::strcpy(def.name, id == 1 ? "One" : "Two");
        def.uu.id = id;
        err = in->inter.add_param(in->effect_ref, -1, &def);
    }
    if (!err && options.registerUI) {
        PF_CustomUIInfo info{};
        info.events = PF_CustomEFlag_COMP | PF_CustomEFlag_LAYER | PF_CustomEFlag_EFFECT;
        err = in->inter.register_ui(in->effect_ref, &info);
    }
    out->num_params = options.reportedCount;
    return err;
}

PF_Err uiEffect(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**, PF_LayerDef* output, void*) {
    switch (cmd) {
        case PF_Cmd_GLOBAL_SETUP: return Morvel::Default::GlobalSetup({1, 0, 0, 0, 0}, 0, 0, in, out, nullptr, output);
        case PF_Cmd_GLOBAL_SETDOWN: return Morvel::Default::GlobalSetdown(in);
        case PF_Cmd_PARAMS_SETUP: return setUpParams(in, out);
        default: return PF_Err_NONE;
    }
}

class CustomUITest : public HostTest {};

TEST_F(CustomUITest, RegisteredEventsAreKeptAndTheCountIsCheckedAfterASuccessfulSetUp) {
    expectFault("parameter set-up: 5 parameters reported, 3 registered");
    struct Case {
        const char* name;
        Options options;
        const char* failingCall;  // planned to fail once, or null
        PF_Err result;
        bool violation;
        bool registered;
    } cases[] = {
        {"a good set-up", {3, true}, nullptr, PF_Err_NONE, false, true},
        {"a good set-up that miscounts", {5, true}, nullptr, PF_Err_NONE, true, true},
        {"a failed registration may report the full count", {3, true}, "add_param", PF_Err_OUT_OF_MEMORY, false, false},
        {"a failed custom UI", {3, true}, "register_ui", PF_Err_OUT_OF_MEMORY, false, false},
        {"no custom UI", {3, false}, nullptr, PF_Err_NONE, false, false},
    };
    for (const Case& c : cases) {
        options = c.options;
        host().faults().clear();
        if (c.failingCall != nullptr) host().faults().failCall(c.failingCall, 1, PF_Err_OUT_OF_MEMORY);
        Sim::PluginInstance instance(host(), uiEffect, "UI Effect");
        ASSERT_EQ(instance.globalSetup(), PF_Err_NONE) << c.name;
        EXPECT_EQ(instance.paramSetup(), c.result) << c.name;
        EXPECT_EQ(!instance.violations().empty(), c.violation) << c.name;
        EXPECT_EQ(instance.effect().customUIRegistered, c.registered) << c.name;
        if (c.registered) {
            EXPECT_EQ(instance.effect().customUI.events, 7) << c.name;
        }
        EXPECT_EQ(host().log().contains("register_ui events 7"), c.registered) << c.name;
        host().log().clear();
    }
}

}  // namespace
