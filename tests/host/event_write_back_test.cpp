// What an event changes in an arbitrary-data value: the host keeps it when the effect edited the
// value it was handed in place and flagged it changed, and the next command sees it; anything
// else the effect did to the value is refused or forgotten, with nothing leaked.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "host/sim/arbitrary_param.h"
#include "host/sim/plugin.h"
#include "host/sim/project.h"
#include "host/sim/windows.h"
#include "library/custom_data/color_expression_data/color_expression_data.h"
#include "support/add_param.h"
#include "support/host_fixture.h"

namespace {

namespace Expression = Morvel::ColorExpressionData;

enum Param { kInput = 0, kCustom, kParamCount };

// What the effect under test does with an event; set by each case.
std::function<PF_Err(PF_InData*, PF_ParamDef**, PF_EventExtra*)> onEvent;

PF_Err entry(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef*, void* extra) {
    switch (cmd) {
        case PF_Cmd_PARAMS_SETUP: {
            out->num_params = kParamCount;
            return addTestParam(in, PF_Param_ARBITRARY_DATA, "Custom", kCustom, [&](PF_ParamDefUnion& u) {
                u.arb_d.id = kCustom;
                Expression::NewDefaultData(in, out, nullptr, &u.arb_d.dephault, "r");
            });
        }
        case PF_Cmd_ARBITRARY_CALLBACK:
            return Expression::HandleData(in, out, nullptr, nullptr, static_cast<PF_ArbParamsExtra*>(extra), kCustom);
        case PF_Cmd_EVENT: return onEvent ? onEvent(in, params, static_cast<PF_EventExtra*>(extra)) : PF_Err_NONE;
        default: return PF_Err_NONE;
    }
}

std::string textOf(PF_Handle value) { return value != nullptr && *value != nullptr ? std::string(*value) : "(none)"; }

// The effect writes the text into the value it was handed, through the host's handle callbacks.
PF_Err writeInPlace(PF_InData* in, PF_ParamDef& param, const char* text) {
    void* data = in->utils->host_lock_handle(param.u.arb_d.value);
    if (data == nullptr) return PF_Err_OUT_OF_MEMORY;
    std::strcpy(static_cast<char*>(data), text);
    in->utils->host_unlock_handle(param.u.arb_d.value);
    return PF_Err_NONE;
}

class EventWriteBackTest : public HostTest {
protected:
    void TearDown() override {
        close();
        HostTest::TearDown();
    }

    // A fresh instance after parameter set-up, in the project or not, with a layer window on it.
    void open(bool inProject) {
        close();
        instance_ = std::make_unique<Sim::PluginInstance>(host(), entry, "Write Back");
        ASSERT_EQ(instance_->paramSetup(), PF_Err_NONE);
        if (inProject) instance_->placeOnLayer();
        window_ = std::make_unique<Sim::ViewWindow>(host(), PF_Window_LAYER, instance_->layer());
    }
    void close() {
        onEvent = nullptr;
        window_.reset();
        if (!instance_) return;
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
        EXPECT_TRUE(instance_->violations().empty());
        instance_.reset();
    }

    // The text the next command is handed, read by an event of its own.
    std::string textSentNext() {
        std::string seen = "(no event)";
        onEvent = [&](PF_InData*, PF_ParamDef** params, PF_EventExtra*) {
            seen = textOf(params[kCustom]->u.arb_d.value);
            return PF_Err_NONE;
        };
        EXPECT_EQ(window_->draw(*instance_), PF_Err_NONE);
        return seen;
    }

    // Gives the stream of the parameter a keyframe holding the value it has.
    void addKeyframe() {
        Sim::ProjectStream& stream = *instance_->effect().projectEffect->params[kCustom];
        Sim::Keyframe key;
        ASSERT_EQ(instance_->arbitrary(kCustom)->duplicate(stream.value.arb, key.value.arb), PF_Err_NONE);
        stream.keys.push_back(std::move(key));
    }

    std::unique_ptr<Sim::PluginInstance> instance_;
    std::unique_ptr<Sim::ViewWindow> window_;
};

TEST_F(EventWriteBackTest, AnEditFlaggedChangedSurvivesToTheNextCommandAndOthersDoNot) {
    struct Case {
        const char* name;
        bool inProject;
        bool keyframed;
        bool flagged;
        PF_Err eventResult;
        std::string kept;     // the text the next command sees
        std::string problem;  // a refusal the host logs, or empty
    };
    const Case cases[] = {
        {"edited and flagged", true, false, true, PF_Err_NONE, "g * 2", ""},
        {"edited, not flagged", true, false, false, PF_Err_NONE, "r", ""},
        {"edited and flagged, the event failed", true, false, true, PF_Err_OUT_OF_MEMORY, "r", ""},
        {"edited and flagged, the stream keyframed", true, true, true, PF_Err_NONE, "r",
         "the stream has keyframes; not kept"},
        {"outside the project, edited and flagged", false, false, true, PF_Err_NONE, "g * 2", ""},
    };
    for (const Case& c : cases) {
        if (!c.problem.empty()) expectFault(c.problem);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open(c.inProject);
        if (c.keyframed) addKeyframe();
        host().log().clear();
        onEvent = [&](PF_InData* in, PF_ParamDef** params, PF_EventExtra*) {
            EXPECT_EQ(textOf(params[kCustom]->u.arb_d.value), "r") << "the current value is sent";
            if (PF_Err err = writeInPlace(in, *params[kCustom], "g * 2")) return err;
            if (c.flagged) params[kCustom]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
            return c.eventResult;
        };
        const size_t handlesBefore = host().ledger().outstanding("handle");
        EXPECT_EQ(window_->click(*instance_, PF_Point{1, 1}), c.eventResult);
        // One value in the parameter's place, whether the edit was kept or not.
        EXPECT_EQ(host().ledger().outstanding("handle"), handlesBefore);
        EXPECT_EQ(host().log().count("event wrote parameter 1 \"Custom\""), c.kept != "r" ? 1u : 0u);
        EXPECT_EQ(textSentNext(), c.kept);
        if (c.inProject && !c.keyframed) {
            // The project holds it too, as it saves it.
            std::vector<char> flat;
            const Sim::ProjectStream& stream = *instance_->effect().projectEffect->params[kCustom];
            ASSERT_EQ(instance_->arbitrary(kCustom)->save(stream.value.arb, flat), PF_Err_NONE);
            EXPECT_EQ(std::string(flat.data()), c.kept);
        }
    }
}

TEST_F(EventWriteBackTest, AValueReplacedByTheEffectIsRefusedAndTheOldOneKept) {
    expectFault("with a handle the host did not hand out; not kept");
    open(true);
    PF_Handle own = nullptr;
    onEvent = [&](PF_InData* in, PF_ParamDef** params, PF_EventExtra*) {
        own = in->utils->host_new_handle(256);
        if (own == nullptr) return PF_Err_OUT_OF_MEMORY;
        std::strcpy(*own, "b");
        params[kCustom]->u.arb_d.value = own;
        params[kCustom]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
        return PF_Err_NONE;
    };
    ASSERT_EQ(window_->click(*instance_, PF_Point{1, 1}), PF_Err_NONE);
    EXPECT_TRUE(host().isLiveHandle(own)) << "the effect's own handle is not the host's to dispose";
    EXPECT_EQ(textSentNext(), "r");
    // The effect's leak, given back here so that the ledger shows nothing else.
    host().disposeHandle(own);
}

}  // namespace
