#pragma once

#include <cstddef>
#include <cstdint>

#include "library/parameter/parameter_def.h"
#include "morvel_host/host.h"

namespace Morvel::Plugin {

// An effect's render over checked-out values (one per table row, in table order).
using RenderEntry = int (*)(int plugin_id, PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                            const ParameterValue* values, bool flag);

// The record each plug-in file exports as `MPluginInfo`, next to its entry point.
struct PluginInfo {
    const ParameterDef* params;
    int32_t paramCount;
    int32_t padding;        // zero
    const void* reserved1;  // zero
    const void* reserved2;  // zero
    RenderEntry render;
};

static_assert(sizeof(void*) == 8, "the record's layout is fixed for 64-bit builds");
static_assert(sizeof(PluginInfo) == 40);
static_assert(offsetof(PluginInfo, params) == 0);
static_assert(offsetof(PluginInfo, paramCount) == 8);
static_assert(offsetof(PluginInfo, padding) == 12);
static_assert(offsetof(PluginInfo, reserved1) == 16);
static_assert(offsetof(PluginInfo, reserved2) == 24);
static_assert(offsetof(PluginInfo, render) == 32);

}  // namespace Morvel::Plugin
