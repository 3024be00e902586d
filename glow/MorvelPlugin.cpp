#include "Util/AEGP_SuiteHandler.h"
#include "glow/parameter_commands.h"
#include "glow/parameter_table.h"
#include "glow/render_setup.h"
#include "glow/smart_render.h"
#include "library/plugin/command_dispatch.h"
#include "library/plugin/exports.h"

namespace Glow {

namespace {

constexpr char PLUGIN_NAME[] = "MorvelGlow";
constexpr char PLUGIN_YEARS[] = "2017";

// A change of any parameter only asks for a redraw. The suite handler is made as the effect always
// has, so a host without a basic suite still hears 516.
PF_Err userChangedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[]) {
    const AEGP_SuiteHandler suites(in_data->pica_basicP);
    out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    return PF_Err_NONE;
}

constexpr Morvel::Plugin::Effect kEffect{
    .identity = {.name = PLUGIN_NAME,
                 .matchName = "MorvelGlow 2",
                 .years = PLUGIN_YEARS,
                 .version = {1, 0, 0, 3, 0},
                 .outFlags = PF_OutFlag_CUSTOM_UI | PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_SEND_UPDATE_PARAMS_UI,
                 .outFlags2 = PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE},
    .handlers = {.paramsSetup = ParamsSetup,
                 .userChangedParam = userChangedParam,
                 .updateParamsUI = UpdateParameterUI,
                 .event = Event,  // the colour-expression controls
                 .arbitraryCallback = ArbitraryData,
                 .smartPreRender = SmartPreRender,
                 .smartRender = SmartRender}};

constexpr Morvel::Plugin::PiplValues kPiplValues = Morvel::Plugin::piplValuesOf(kEffect.identity);

// The host reads this from the file before it calls anything (see morvel_host/pipl.h).
MORVEL_PROPERTY_LIST constexpr auto kPropertyList = Morvel::Plugin::buildPipl<kPiplValues>();

}  // namespace

}  // namespace Glow

PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                      void* extra) {
    return Morvel::Plugin::dispatchCommand(Glow::kEffect, cmd, in_data, out_data, params, output, extra);
}

const Morvel::Plugin::PluginInfo MPluginInfo = {Glow::PARAM_DEFS, Glow::kParamCount, 0,
                                                nullptr,          nullptr,           Glow::MSmartRender};
