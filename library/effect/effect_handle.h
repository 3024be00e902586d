#pragma once

#include <string>

#include "Util/AEGP_SuiteHandler.h"
#include "morvel_host/host.h"

namespace Morvel {

// The host's reference to one effect instance on a layer: this effect's own instance or
// another one. Every call returns the host's error code.
class EffectHandle {
public:
    EffectHandle(int plugin_id, PF_InData* in_data, AEGP_SuiteHandler& suites);
    // Releases a reference still held; errors there have no one to go to.
    ~EffectHandle();

    // A copy would dispose the one reference twice.
    EffectHandle(const EffectHandle&) = delete;
    EffectHandle& operator=(const EffectHandle&) = delete;

    // Each of these lets go of the reference held so far before it takes the new one; when that
    // fails, its error is returned and nothing else happens, except that init(effect) takes
    // ownership of the given reference whatever the dispose gave.
    PF_Err init();                        // the instance running the current command
    PF_Err init(AEGP_EffectRefH effect);  // takes ownership of effect
    PF_Err init(AEGP_LayerH layer, int index);
    PF_Err apply(int key);  // to the layer of the running instance
    PF_Err apply(AEGP_LayerH layer, int key);
    PF_Err dispose();

    PF_Err getEffectFlags(int& flags) const;
    PF_Err setEffectFlags(int mask, int flags) const;
    PF_Err getName(std::u16string& name) const;
    PF_Err setName(const std::u16string& name) const;
    // Position in the layer's effect stack.
    PF_Err getIndex(int& index) const;
    PF_Err reorder(int index) const;
    PF_Err getKey(int& key) const;

    AEGP_EffectRefH effect() const { return effect_; }

private:
    int pluginId_;
    PF_InData* inData_;
    AEGP_SuiteHandler* suites_;
    AEGP_EffectRefH effect_ = nullptr;
};

}  // namespace Morvel
