#pragma once

// Loading a built plug-in file and driving it like a host.

#include <cstdint>
#include <string>
#include <vector>

#include "host/sim/host.h"
#include "host/sim/pipl.h"

namespace Sim {

// The 40-byte record a plug-in exports as `MPluginInfo`, as the host sees it.
struct PluginRecord {
    const void* table;
    int32_t rows;
    int32_t padding;
    const void* reserved1;
    const void* reserved2;
    const void* render;
};
static_assert(sizeof(PluginRecord) == 40);

// A plug-in file, opened. Its property list is read from the file first; only a file that carries
// an effect's list is loaded. Throws PluginError with a one-line reason otherwise.
class Plugin {
public:
    explicit Plugin(const std::string& path);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const std::string& path() const { return path_; }
    const PropertyList& properties() const { return properties_; }
    const std::vector<uint8_t>& propertyListBytes() const { return propertyListBytes_; }
    PF_EntryPointFunc entry() const { return entry_; }
    const PluginRecord& record() const { return *record_; }

private:
    std::string path_;
    std::vector<uint8_t> propertyListBytes_;
    PropertyList properties_;
    void* library_ = nullptr;
    PF_EntryPointFunc entry_ = nullptr;
    const PluginRecord* record_ = nullptr;
};

// Where the build puts the plug-in of the given name (without ".so").
std::string builtPluginPath(const std::string& name);

// The property list section of an ELF shared library file. Throws PluginError.
std::vector<uint8_t> readPropertyListSection(const std::string& path);

// One effect instance driven like the host drives it: global set-up once, commands with a fresh
// input record each, global set-down when it goes. What the effect hands back is checked; what is
// wrong is kept in violations().
class PluginInstance {
public:
    PluginInstance(Host& host, const Plugin& plugin);
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    PF_Err globalSetup();
    // Gives the global data back to the effect; also done when the instance goes.
    PF_Err globalSetdown();

    // A command with the caller's output record, exactly as the caller filled it.
    PF_Err run(PF_Cmd cmd, PF_OutData& out_data, PF_ParamDef** params = nullptr, PF_LayerDef* output = nullptr,
               void* extra = nullptr);
    // A command with a fresh output record, kept as lastOut().
    PF_Err command(PF_Cmd cmd, PF_ParamDef** params = nullptr, PF_LayerDef* output = nullptr, void* extra = nullptr);

    const PF_OutData& lastOut() const { return lastOut_; }
    // What global set-up handed back.
    const PF_OutData& globalSetupOut() const { return setupOut_; }
    PF_Handle globalData() const { return globalData_; }
    PF_EffectInstance& effect() { return effect_; }
    const std::vector<std::string>& violations() const { return violations_; }

    // True when the ledger holds nothing but the global data handle: what a command acquires
    // must be released by its end.
    bool commandScopeBalanced() const;
    std::string ledgerReport() const;

private:
    PF_Err call(PF_Cmd cmd, PF_OutData& out_data, PF_ParamDef** params, PF_LayerDef* output, void* extra);
    void check(PF_Cmd cmd, PF_OutData& out_data);

    Host& host_;
    const Plugin& plugin_;
    PF_EffectInstance effect_;
    PF_Handle globalData_ = nullptr;
    bool setUp_ = false;
    PF_OutData lastOut_{};
    PF_OutData setupOut_{};
    std::vector<std::string> violations_;
};

}  // namespace Sim
