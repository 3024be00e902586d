#include "library/plugin/command_dispatch.h"

#include "library/plugin/entry_guard.h"

namespace Morvel::Plugin {

namespace {

PF_Err dispatch(const Effect& effect, PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_LayerDef* output, void* extra) {
    const EffectIdentity& id = effect.identity;
    const CommandHandlers& on = effect.handlers;
    switch (cmd) {
        case PF_Cmd_ABOUT: return Default::About(id.name, id.years, id.version, in_data, out_data, params, output);
        case PF_Cmd_GLOBAL_SETUP:
            return Default::GlobalSetup(id.version, id.outFlags, id.outFlags2, in_data, out_data, params, output);
        case PF_Cmd_GLOBAL_SETDOWN: return Default::GlobalSetdown(in_data);
        case PF_Cmd_PARAMS_SETUP: return on.paramsSetup ? on.paramsSetup(in_data, out_data) : PF_Err_NONE;
        case PF_Cmd_USER_CHANGED_PARAM:
            return on.userChangedParam ? on.userChangedParam(in_data, out_data, params) : PF_Err_NONE;
        case PF_Cmd_UPDATE_PARAMS_UI:
            return on.updateParamsUI ? on.updateParamsUI(in_data, out_data, params) : PF_Err_NONE;
        case PF_Cmd_EVENT:
            return on.event ? on.event(in_data, out_data, params, output, static_cast<PF_EventExtra*>(extra))
                            : PF_Err_NONE;
        case PF_Cmd_ARBITRARY_CALLBACK:
            return on.arbitraryCallback
                       ? on.arbitraryCallback(in_data, out_data, params, output, static_cast<PF_ArbParamsExtra*>(extra))
                       : PF_Err_NONE;
        case PF_Cmd_SMART_PRE_RENDER:
            return on.smartPreRender ? on.smartPreRender(in_data, out_data, static_cast<PF_PreRenderExtra*>(extra))
                                     : PF_Err_NONE;
        case PF_Cmd_SMART_RENDER:
            return on.smartRender ? on.smartRender(in_data, out_data, static_cast<PF_SmartRenderExtra*>(extra))
                                  : PF_Err_NONE;
        default: return PF_Err_NONE;
    }
}

}  // namespace

PF_Err dispatchCommand(const Effect& effect, PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                       PF_ParamDef* params[], PF_LayerDef* output, void* extra) noexcept {
    return runGuarded([&] { return dispatch(effect, cmd, in_data, out_data, params, output, extra); });
}

}  // namespace Morvel::Plugin
