#include <gtest/gtest.h>

#include <new>
#include <string>

#include "library/plugin/command_dispatch.h"
#include "support/host_fixture.h"

namespace {

using Morvel::Plugin::CommandHandlers;
using Morvel::Plugin::Effect;

// What the recording handlers saw of the last command; one test runs at a time.
struct Seen {
    std::string handler;
    void* extra = nullptr;
    PF_ParamDef** params = nullptr;
    PF_LayerDef* output = nullptr;
};
Seen seen;
PF_Err thrown = PF_Err_NONE;  // what the handlers throw, unless none
bool throwBadAlloc = false;

PF_Err record(const char* handler, void* extra, PF_ParamDef** params = nullptr, PF_LayerDef* output = nullptr) {
    seen = {handler, extra, params, output};
    if (throwBadAlloc) throw std::bad_alloc();
    if (thrown != PF_Err_NONE) throw thrown;
    return 40;  // a result of the effect's own, passed back as it is
}

constexpr CommandHandlers kRecording{
    .paramsSetup = [](PF_InData*, PF_OutData*) { return record("paramsSetup", nullptr); },
    .userChangedParam = [](PF_InData*, PF_OutData*,
                           PF_ParamDef* params[]) { return record("userChangedParam", nullptr, params); },
    .updateParamsUI = [](PF_InData*, PF_OutData*,
                         PF_ParamDef* params[]) { return record("updateParamsUI", nullptr, params); },
    .event = [](PF_InData*, PF_OutData*, PF_ParamDef* params[], PF_LayerDef* output,
                PF_EventExtra* extra) { return record("event", extra, params, output); },
    .arbitraryCallback = [](PF_InData*, PF_OutData*, PF_ParamDef* params[], PF_LayerDef* output,
                            PF_ArbParamsExtra* extra) { return record("arbitraryCallback", extra, params, output); },
    .smartPreRender = [](PF_InData*, PF_OutData*, PF_PreRenderExtra* extra) { return record("smartPreRender", extra); },
    .smartRender = [](PF_InData*, PF_OutData*, PF_SmartRenderExtra* extra) { return record("smartRender", extra); },
};

constexpr Morvel::Plugin::EffectIdentity kIdentity{.name = "Recorder",
                                                   .matchName = "Recorder 2",
                                                   .years = "2017",
                                                   .version = {1, 2, 3, 3, 4},
                                                   .outFlags = PF_OutFlag_DEEP_COLOR_AWARE,
                                                   .outFlags2 = PF_OutFlag2_SUPPORTS_SMART_RENDER};

class CommandDispatchTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        seen = {};
        thrown = PF_Err_NONE;
        throwBadAlloc = false;
    }
    PF_Err run(const Effect& effect, int cmd) {
        return Morvel::Plugin::dispatchCommand(effect, static_cast<PF_Cmd>(cmd), &in_data_, &out_data_, params_,
                                               &output_, &extra_);
    }

    PF_ParamDef* params_[1] = {nullptr};
    PF_LayerDef output_{};
    int extra_ = 0;
};

TEST_F(CommandDispatchTest, EachCommandReachesItsHandlerWithItsArguments) {
    struct Case {
        int cmd;
        const char* handler;  // empty: no handler, and the result is 0
        bool getsExtra;
        bool getsParams;
    } cases[] = {
        {PF_Cmd_PARAMS_SETUP, "paramsSetup", false, false},
        {PF_Cmd_USER_CHANGED_PARAM, "userChangedParam", false, true},
        {PF_Cmd_UPDATE_PARAMS_UI, "updateParamsUI", false, true},
        {PF_Cmd_EVENT, "event", true, true},
        {PF_Cmd_ARBITRARY_CALLBACK, "arbitraryCallback", true, true},
        {PF_Cmd_SMART_PRE_RENDER, "smartPreRender", true, false},
        {PF_Cmd_SMART_RENDER, "smartRender", true, false},
        {2, "", false, false},
        {PF_Cmd_RENDER, "", false, false},
        {PF_Cmd_SEQUENCE_SETUP, "", false, false},
        {PF_Cmd_AUDIO_SETDOWN, "", false, false},
        {25, "", false, false},
        {1000, "", false, false},
        {-1, "", false, false},
    };
    const Effect effect{kIdentity, kRecording};
    for (const Case& c : cases) {
        seen = {};
        const std::string what = "command " + std::to_string(c.cmd);
        const bool handled = c.handler[0] != '\0';
        EXPECT_EQ(run(effect, c.cmd), handled ? 40 : PF_Err_NONE) << what;
        EXPECT_EQ(seen.handler, c.handler) << what;
        EXPECT_EQ(seen.extra, c.getsExtra ? static_cast<void*>(&extra_) : nullptr) << what;
        EXPECT_EQ(seen.params, c.getsParams ? params_ : nullptr) << what;
    }
}

TEST_F(CommandDispatchTest, AHandlerTheEffectLacksAnswersNothing) {
    const Effect bare{kIdentity, CommandHandlers{}};
    for (int cmd : {PF_Cmd_PARAMS_SETUP, PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI, PF_Cmd_EVENT,
                    PF_Cmd_ARBITRARY_CALLBACK, PF_Cmd_SMART_PRE_RENDER, PF_Cmd_SMART_RENDER}) {
        EXPECT_EQ(run(bare, cmd), PF_Err_NONE) << "command " << cmd;
    }
    EXPECT_EQ(seen.handler, "");
}

TEST_F(CommandDispatchTest, WhatAHandlerThrowsBecomesTheResult) {
    const Effect effect{kIdentity, kRecording};
    thrown = PF_Err_BAD_CALLBACK_PARAM;
    EXPECT_EQ(run(effect, PF_Cmd_SMART_RENDER), PF_Err_BAD_CALLBACK_PARAM);
    thrown = PF_Err_NONE;
    throwBadAlloc = true;
    EXPECT_EQ(run(effect, PF_Cmd_PARAMS_SETUP), PF_Err_OUT_OF_MEMORY);
}

// The library's own commands run with the effect's constants, the same that its property list
// carries.
TEST_F(CommandDispatchTest, TheDefaultCommandsUseTheEffectsIdentity) {
    const Effect effect{kIdentity, kRecording};
    ASSERT_EQ(run(effect, PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    constexpr Morvel::Plugin::PiplValues pipl = Morvel::Plugin::piplValuesOf(kIdentity);
    EXPECT_EQ(out_data_.my_version, pipl.version);
    EXPECT_EQ(pipl.version, (1u << 19) | (2u << 15) | (3u << 11) | (3u << 9) | 4u);
    EXPECT_EQ(static_cast<uint32_t>(out_data_.out_flags), pipl.outFlags);
    EXPECT_EQ(static_cast<uint32_t>(out_data_.out_flags2), pipl.outFlags2);
    EXPECT_EQ(pipl.name, "Recorder");
    EXPECT_EQ(pipl.matchName, "Recorder 2");
    EXPECT_EQ(pipl.category, "Morvel");
    EXPECT_EQ(pipl.entryPoint, "EntryPointFunc");

    ASSERT_EQ(run(effect, PF_Cmd_ABOUT), PF_Err_NONE);
    EXPECT_EQ(std::string(out_data_.return_msg).rfind("Recorder, v1.2.3\r", 0), 0u) << out_data_.return_msg;

    in_data_.global_data = out_data_.global_data;
    EXPECT_EQ(run(effect, PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(seen.handler, "") << "none of the effect's handlers is asked";
}

}  // namespace
