#include "library/plugin/command_dispatch.h"
#include "library/plugin/exports.h"
#include "tiltshift/commands.h"
#include "tiltshift/focus_ui.h"
#include "tiltshift/parameter_table.h"

namespace TiltShift {

namespace {

constexpr char PLUGIN_NAME[] = "MorvelTiltShift";
constexpr char PLUGIN_YEARS[] = "2017";

constexpr Morvel::Plugin::Effect kEffect{
    .identity = {.name = PLUGIN_NAME,
                 .matchName = "MorvelTiltShift",
                 .years = PLUGIN_YEARS,
                 .version = {1, 0, 0, 3, 0},
                 .outFlags = PF_OutFlag_CUSTOM_UI | PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_SEND_UPDATE_PARAMS_UI,
                 .outFlags2 = PF_OutFlag2_REVEALS_ZERO_ALPHA | PF_OutFlag2_SUPPORTS_SMART_RENDER |
                              PF_OutFlag2_FLOAT_COLOR_AWARE},
    .handlers = {.paramsSetup = paramsSetup,
                 .userChangedParam = userChangedParam,
                 .updateParamsUI = updateParamsUI,
                 .event = handleEvent,  // the focus-area handles
                 .arbitraryCallback = nullptr,
                 .smartPreRender = smartPreRender,
                 .smartRender = smartRender}};

constexpr Morvel::Plugin::PiplValues kPiplValues = Morvel::Plugin::piplValuesOf(kEffect.identity);

// The host reads this from the file before it calls anything (see morvel_host/pipl.h).
MORVEL_PROPERTY_LIST constexpr auto kPropertyList = Morvel::Plugin::buildPipl<kPiplValues>();

}  // namespace

}  // namespace TiltShift

PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                      void* extra) {
    return Morvel::Plugin::dispatchCommand(TiltShift::kEffect, cmd, in_data, out_data, params, output, extra);
}

const Morvel::Plugin::PluginInfo MPluginInfo = {TiltShift::PARAM_DEFS, TiltShift::kParamCount, 0, nullptr, nullptr,
                                                TiltShift::renderEntry};
