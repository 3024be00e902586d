#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/project.h"
#include "support/host_fixture.h"

// A composition with one layer carrying three effects; the middle one is the instance under test
// (linked to effect_), with one parameter of each stream type. A suite handler is ready and is
// released before the ledger is checked.
class ProjectTest : public SuitesHostTest {
protected:
    enum Param { kInput = 0, kAmount, kEnabled, kCentre, kPoint3D, kTint, kLayer, kCustom, kParamCount };

    void SetUp() override {
        SuitesHostTest::SetUp();
        Sim::Project& project = host().project();
        comp_ = &project.addComp("Comp 1");
        layer_ = &project.addLayer(*comp_, u"Solid", AEGP_ObjectType_AV);
        otherKey_ = project.installEffect(u"Other", {{u"Input", AEGP_StreamType_LAYER_ID, {}}});
        key_ = project.installEffect(u"Test Effect", params());
        first_ = project.addEffect(*layer_, otherKey_);
        effect_under_test_ = project.addEffect(*layer_, key_);
        last_ = project.addEffect(*layer_, otherKey_);
        project.link(*effect_under_test_, effect_);
        mask_ = &project.addMask(*layer_, u"Mask 1");
        host().log().clear();
    }

    static std::vector<Sim::ParamSpec> params() {
        std::vector<Sim::ParamSpec> specs(kParamCount);
        specs[kInput] = {u"Input", AEGP_StreamType_LAYER_ID, {}};
        specs[kAmount] = {u"Amount", AEGP_StreamType_OneD, {}};
        specs[kAmount].initial.v[0] = 0.5;
        specs[kEnabled] = {u"Enabled", AEGP_StreamType_OneD, {}};
        specs[kEnabled].initial.v[0] = 1;
        specs[kCentre] = {u"Centre", AEGP_StreamType_TwoD, {}};
        specs[kCentre].initial.v[0] = 10;
        specs[kCentre].initial.v[1] = 20;
        specs[kPoint3D] = {u"Point", AEGP_StreamType_ThreeD, {}};
        specs[kTint] = {u"Tint", AEGP_StreamType_COLOR, {}};
        specs[kLayer] = {u"Layer", AEGP_StreamType_LAYER_ID, {}};
        specs[kCustom] = {u"Custom", AEGP_StreamType_ARB, {}};
        // A value as the colour-expression parameter makes it: a 256-byte block, text first.
        specs[kCustom].initial.bytes.assign(256, '\0');
        specs[kCustom].initial.bytes[0] = 'r';
        return specs;
    }

    Sim::ProjectStream& param(int index) { return *effect_under_test_->params[static_cast<size_t>(index)]; }
    // What a reference handed out by the host stands for, looked up on the host's side.
    Sim::ProjectStream* streamOf(AEGP_StreamRefH ref) { return host().project().findStreamRef(ref, "test"); }
    AEGP_LayerH layerH() { return Sim::Project::handleOf(*layer_); }
    // Calls of the named host function (the log has one line per call, holding just the name).
    size_t calls(const std::string& function) {
        size_t n = 0;
        for (const auto& line : host().log().lines()) n += line == function ? 1 : 0;
        return n;
    }
    // Position of the first call of the function in the log, or -1.
    long firstCall(const std::string& function) {
        const auto lines = host().log().lines();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i] == function) return static_cast<long>(i);
        }
        return -1;
    }

    Sim::ProjectComp* comp_ = nullptr;
    Sim::ProjectLayer* layer_ = nullptr;
    Sim::ProjectMask* mask_ = nullptr;
    Sim::ProjectEffect* first_ = nullptr;
    Sim::ProjectEffect* effect_under_test_ = nullptr;
    Sim::ProjectEffect* last_ = nullptr;
    AEGP_InstalledEffectKey key_ = 0;
    AEGP_InstalledEffectKey otherKey_ = 0;
    static constexpr int kPluginId = 7;
};
