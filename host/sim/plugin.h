#pragma once

// Loading a built plug-in file and driving it like a host.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/sim/frame.h"
#include "host/sim/host.h"
#include "host/sim/pipl.h"
#include "host/sim/project.h"

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

// The property list section of an ELF shared library file. Throws PluginError. Adds the bytes it
// read from the file to *bytesRead when given.
std::vector<uint8_t> readPropertyListSection(const std::string& path, uint64_t* bytesRead = nullptr);

class ArbitraryParam;

// One effect instance driven like the host drives it: global set-up once, commands with a fresh
// input record each, global set-down when it goes. What the effect hands back is checked; what is
// wrong is kept in violations().
class PluginInstance {
public:
    PluginInstance(Host& host, const Plugin& plugin);
    // An entry function of the caller's own (a test's effect), driven the same way; `name` is
    // what the project calls the effect.
    PluginInstance(Host& host, PF_EntryPointFunc entry, const std::string& name);
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    // Also learns the plug-in id the effect registers with (effect().pluginId).
    PF_Err globalSetup();
    // Gives the global data back to the effect; also done when the instance goes.
    PF_Err globalSetdown();

    // Parameter set-up: the effect registers its parameters. The defaults of arbitrary-data
    // parameters become the host's, and each such parameter gets a value the effect makes.
    PF_Err paramSetup();
    // Puts the instance on a layer of its own in a new composition, with an input layer world of
    // the given size and format (unless one is set already); the project's streams hold the
    // parameters' values from then on. Call after paramSetup.
    ProjectEffect& placeOnLayer(AEGP_ObjectType type = AEGP_ObjectType_AV, int32_t width = 64, int32_t height = 64,
                                PF_PixelFormat format = PF_PixelFormat_ARGB32);
    ProjectLayer* layer();
    // A text or shape layer's content, in full-resolution layer pixels: the input check-out
    // delivers no more than this.
    void setContentBounds(const PF_LRect& content);
    // Sets the layer parameter at index to an image (kept by the host for the instance).
    void setLayerParam(int index, Image image);

    // One frame through smart pre-render and smart render (frame.h). Needs the input layer
    // (placeOnLayer). Throws std::invalid_argument for a depth other than 8, 16 or 32.
    FrameResult renderFrame(const FrameRequest& request = {});
    // What makes and disposes the values of the arbitrary-data parameter at index, or null.
    ArbitraryParam* arbitrary(int index);

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

    // True when the ledger holds nothing but the global data handle (and the values of arbitrary
    // parameters): what a command acquires must be released by its end.
    bool commandScopeBalanced() const;
    std::string ledgerReport() const;

private:
    PF_Err call(PF_Cmd cmd, PF_OutData& out_data, PF_ParamDef** params, PF_LayerDef* output, void* extra);
    PF_Err enter(PF_Cmd cmd, PF_InData& in_data, PF_OutData& out_data, PF_ParamDef** params, PF_LayerDef* output,
                 void* extra);
    void check(PF_Cmd cmd, PF_OutData& out_data);
    // A rule the effect broke: kept, and logged as a problem (a ledger fault).
    void violation(std::string what);
    // Handles held for the effect's parameters (arbitrary values), which outlive commands.
    size_t heldForParameters() const;

    Host& host_;
    PF_EntryPointFunc entry_;
    std::string name_;
    PF_EffectInstance effect_;
    // The input record of arbitrary-data callbacks; ArbitraryParam keeps a reference to it.
    PF_InData arbitraryInData_{};
    std::map<int32_t, std::unique_ptr<ArbitraryParam>> arbitrary_;
    PF_LayerDef* ownInput_ = nullptr;
    std::vector<PF_LayerDef*> layerImages_;
    PF_Handle globalData_ = nullptr;
    bool setUp_ = false;
    PF_OutData lastOut_{};
    PF_OutData setupOut_{};
    std::vector<std::string> violations_;
};

}  // namespace Sim
