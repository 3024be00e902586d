#include "diffusion/commands.h"
#include "diffusion/parameters.h"
#include "library/default/default.h"
#include "library/plugin/entry_guard.h"
#include "library/plugin/exports.h"
#include "library/plugin/pipl.h"

namespace Diffusion {

namespace {

constexpr char PLUGIN_NAME[] = "MorvelDiffusion";
constexpr char PLUGIN_YEARS[] = "2017";
constexpr Morvel::Default::Version VERSION{1, 0, 0, 3, 0};
constexpr int32_t OUT_FLAGS = PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_SEND_UPDATE_PARAMS_UI;
constexpr int32_t OUT_FLAGS2 =
    PF_OutFlag2_REVEALS_ZERO_ALPHA | PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE;

constexpr Morvel::Plugin::PiplValues PIPL_VALUES{.name = PLUGIN_NAME,
                                                 .category = "Morvel",
                                                 .entryPoint = "EntryPointFunc",
                                                 .matchName = "MorvelDiffusion 2",
                                                 .version = VERSION.packed(),
                                                 .outFlags = OUT_FLAGS,
                                                 .outFlags2 = OUT_FLAGS2};

// The host reads this from the file before it calls anything (see morvel_host/pipl.h).
MORVEL_PROPERTY_LIST constexpr auto PROPERTY_LIST =
    Morvel::Plugin::buildPipl<PIPL_VALUES>();

PF_Err dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                void* extra) {
    switch (cmd) {
        case PF_Cmd_ABOUT:
            return Morvel::Default::About(PLUGIN_NAME, PLUGIN_YEARS, VERSION, in_data, out_data, params, output);
        case PF_Cmd_GLOBAL_SETUP:
            return Morvel::Default::GlobalSetup(VERSION, OUT_FLAGS, OUT_FLAGS2, in_data, out_data, params, output);
        case PF_Cmd_GLOBAL_SETDOWN:
            return Morvel::Default::GlobalSetdown(in_data);
        case PF_Cmd_PARAMS_SETUP:
            return paramsSetup(in_data, out_data);
        case PF_Cmd_USER_CHANGED_PARAM:
            return userChangedParam(in_data, out_data, params);
        case PF_Cmd_UPDATE_PARAMS_UI:
            return updateParamsUI(in_data, out_data, params);
        case PF_Cmd_SMART_PRE_RENDER:
            return smartPreRender(in_data, out_data, static_cast<PF_PreRenderExtra*>(extra));
        case PF_Cmd_SMART_RENDER:
            return smartRender(in_data, out_data, static_cast<PF_SmartRenderExtra*>(extra));
        default:
            return PF_Err_NONE;
    }
}

}  // namespace

}  // namespace Diffusion

PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_LayerDef* output, void* extra) {
    return Morvel::Plugin::runGuarded(
        [&] { return Diffusion::dispatch(cmd, in_data, out_data, params, output, extra); });
}

const Morvel::Plugin::PluginInfo MPluginInfo = {Diffusion::PARAM_DEFS, Diffusion::PARAM_COUNT, 0,
                                                nullptr,              nullptr,               Diffusion::renderEntry};
