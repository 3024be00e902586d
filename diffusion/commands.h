#pragma once

#include "glow/stages/menu_items.h"
#include "library/parameter/parameter_def.h"
#include "morvel_host/host.h"

// The diffusion's command handlers; each returns the host's error code.
namespace Diffusion {

PF_Err paramsSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err userChangedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);
PF_Err updateParamsUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);
PF_Err smartPreRender(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);
PF_Err smartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);

// The render over checked-out values that MPluginInfo hands to callers outside the host.
int renderEntry(int plugin_id, PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                const Morvel::Plugin::ParameterValue* values, bool flag);

// Whether "Reference Color" applies to a "Channel" item: Hue and the two distances.
bool usesReferenceColor(Glow::ChannelItem channel);

}  // namespace Diffusion
