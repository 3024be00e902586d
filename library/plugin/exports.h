#pragma once

#include "library/plugin/plugin_info.h"
#include "morvel_host/host.h"

// The host reads the record by its symbol's size, which clang's address sanitizer would grow by
// a red zone.
#if defined(__clang__)
#define MORVEL_RECORD [[clang::no_sanitize("address")]]
#else
#define MORVEL_RECORD
#endif

// What every plug-in file exports; each effect defines both.
extern "C" {
MORVEL_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                    PF_LayerDef* output, void* extra);
MORVEL_RECORD MORVEL_EXPORT extern const Morvel::Plugin::PluginInfo MPluginInfo;
}

static_assert(sizeof(&EntryPointFunc) == sizeof(PF_EntryPointFunc));
