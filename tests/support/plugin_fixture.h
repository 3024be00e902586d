#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "support/host_fixture.h"

// A host test around one instance of an effect: loaded from its built file (as the host would)
// or over an entry point linked into the test. Whatever the instance saw the effect do against
// the host's rules fails the test; the instance, and with it the global set-down, goes before the
// ledger is checked.
class PluginHostTest : public HostTest {
protected:
    enum class Setup { None, Global, Params };

    void TearDown() override {
        finish();
        HostTest::TearDown();
        plugin_.reset();
    }

    // The effect's built file by its name ("MorvelGlow"); instances made after this run it.
    void load(const std::string& name) { plugin_ = std::make_unique<Sim::Plugin>(Sim::builtPluginPath(name)); }

    // A fresh instance of the loaded file, or of an entry linked into the test, in place of any
    // earlier one (which is finished), taken through the set-up commands asked for.
    void start(Setup setup = Setup::Params) {
        finish();
        instance_ = std::make_unique<Sim::PluginInstance>(host(), *plugin_);
        runSetup(setup);
    }
    void start(PF_EntryPointFunc entry, const std::string& name, Setup setup = Setup::Params) {
        finish();
        instance_ = std::make_unique<Sim::PluginInstance>(host(), entry, name);
        runSetup(setup);
    }

    Sim::PluginInstance& instance() { return *instance_; }

    // Changes one value the host holds for the instance, by host index.
    void set(int index, const std::function<void(PF_ParamDefUnion&)>& change) {
        PF_ParamDef value = Sim::paramValue(instance_->effect(), index);
        change(value.u);
        Sim::setParamValue(instance_->effect(), index, value);
    }
    void setFloat(int index, double v) {
        set(index, [v](PF_ParamDefUnion& u) { u.fs_d.value = v; });
    }
    void setPopup(int index, int32_t item) {
        set(index, [item](PF_ParamDefUnion& u) { u.pd.value = item; });
    }
    void setCheckbox(int index, bool on) {
        set(index, [on](PF_ParamDefUnion& u) { u.bd.value = on ? 1 : 0; });
    }

    std::unique_ptr<Sim::Plugin> plugin_;
    std::unique_ptr<Sim::PluginInstance> instance_;

private:
    // Lets the instance go (global set-down); what it saw go against the host's rules fails the test.
    void finish() {
        if (!instance_) return;
        const std::vector<std::string> violations = instance_->violations();
        instance_.reset();
        for (const std::string& violation : violations) ADD_FAILURE() << violation;
    }
    void runSetup(Setup setup) {
        if (setup == Setup::None) return;
        ASSERT_EQ(instance_->globalSetup(), PF_Err_NONE);
        if (setup == Setup::Params) {
            ASSERT_EQ(instance_->paramSetup(), PF_Err_NONE);
        }
    }
};
