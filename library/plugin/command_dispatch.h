#pragma once

#include <cstdint>

#include "library/default/default.h"
#include "library/plugin/pipl.h"
#include "morvel_host/host.h"

namespace Morvel::Plugin {

// What an effect is, compiled in. The about text, global set-up and the property list all read
// these constants, so the three cannot disagree.
struct EffectIdentity {
    const char* name;       // shown in the host and in the about text
    const char* matchName;  // the host matches saved projects by it
    const char* years;      // for the about notice
    Default::Version version;
    int32_t outFlags;
    int32_t outFlags2;
};

// The commands an effect answers with its own code. A null handler is a command the effect does
// not take: it returns 0, as any command without a handler does.
struct CommandHandlers {
    PF_Err (*paramsSetup)(PF_InData* in_data, PF_OutData* out_data);
    PF_Err (*userChangedParam)(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);
    PF_Err (*updateParamsUI)(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);
    PF_Err (*event)(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                    PF_EventExtra* extra);
    PF_Err (*arbitraryCallback)(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                                PF_ArbParamsExtra* extra);
    PF_Err (*smartPreRender)(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);
    PF_Err (*smartRender)(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);
};

struct Effect {
    EffectIdentity identity;
    CommandHandlers handlers;
};

// An effect's EntryPointFunc: about, global set-up and set-down go to the library's handlers with
// the effect's constants, the rest to the effect's own. Nothing is thrown back into the host: a
// thrown host error is the command's result (516 for a missing suite), see runGuarded.
PF_Err dispatchCommand(const Effect& effect, PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                       PF_ParamDef* params[], PF_LayerDef* output, void* extra) noexcept;

// The effect's property list values; every effect stands in the one category and is entered by
// the one exported name.
constexpr PiplValues piplValuesOf(const EffectIdentity& identity) {
    return PiplValues{.name = identity.name,
                      .category = "Morvel",
                      .entryPoint = "EntryPointFunc",
                      .matchName = identity.matchName,
                      .version = identity.version.packed(),
                      .outFlags = static_cast<uint32_t>(identity.outFlags),
                      .outFlags2 = static_cast<uint32_t>(identity.outFlags2)};
}

}  // namespace Morvel::Plugin
