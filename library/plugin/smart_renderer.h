#pragma once

#include <cstdint>
#include <memory>

#include "Util/AEGP_SuiteHandler.h"
#include "library/effect/effect_handle.h"
#include "library/parameter/parameter_def.h"
#include "library/plugin/entry_guard.h"
#include "library/world/bpc.h"
#include "library/world/world.h"
#include "morvel_host/host.h"

namespace Morvel {

// One smart render of an effect: gathers the layer, a reference to the effect, the thread count
// and the worlds from the host in a fixed order, then hands over to the effect's render. Each
// effect derives a class, overrides render, and runs execute once on the stack.
class SmartRenderer {
public:
    // Throws the suite handler's error when in_data carries no basic suite.
    SmartRenderer(int pluginId, PF_InData* inData, PF_OutData* outData, PF_SmartRenderExtra* extra,
                  const Plugin::ParameterValue* values, bool flag);
    virtual ~SmartRenderer();
    SmartRenderer(const SmartRenderer&) = delete;
    SmartRenderer& operator=(const SmartRenderer&) = delete;

    // Kept in its slot of the table for the effects built against it; nothing calls it.
    virtual int unusedHook();
    // The effect's work. Called only with both worlds holding pixels and bpc known.
    virtual int render();

    int execute();
    int renderWorlds();
    // Lets go early of what destruction would: the output, the input, then the effect reference,
    // whose disposal's error it returns, so that a caller can report a reference the host refused
    // to take back instead of losing it in the destructor.
    int release();

protected:
    // The order of these members is the order of release, last first: output, input, the effect
    // reference, then the suites.
    int32_t state;
    int32_t pluginId;
    PF_InData* inData;
    PF_OutData* outData;
    PF_SmartRenderExtra* extra;
    const Plugin::ParameterValue* values;
    bool flag;  // the caller's; stored only
    AEGP_SuiteHandler suites;
    AEGP_LayerH layer = nullptr;
    AEGP_CompH comp = nullptr;
    EffectHandle effect;
    int32_t threadCount = 1;
    int32_t currentTime;
    uint32_t timeScale;
    double downsampleX;
    double downsampleY;
    std::shared_ptr<World> input;
    std::shared_ptr<World> output;
    Bpc bpc = Bpc8;
};

// The render entry of an effect built on SmartRenderer (its MPluginInfo entry, and what its smart
// render hands the values to): one Renderer over the values, executed once, then let go of in
// the open so that a reference the host refuses to take back is reported. The first error wins;
// nothing is thrown back to the caller.
template <class Renderer>
int runSmartRenderer(int pluginId, PF_InData* inData, PF_OutData* outData, PF_SmartRenderExtra* extra,
                     const Plugin::ParameterValue* values, bool flag) noexcept {
    return Plugin::runGuarded([&] {
        Renderer renderer(pluginId, inData, outData, extra, values, flag);
        const int err = renderer.execute();
        const int released = renderer.release();
        return err != PF_Err_NONE ? err : released;
    });
}

}  // namespace Morvel
