#pragma once

#include "library/plugin/plugin_info.h"
#include "morvel_host/host.h"

namespace Glow {

// Size of the pre-render data: one 24-byte value per parameter-table row.
inline constexpr size_t kPreRenderDataSize = 2112;
// Size of the render's values: one 32-byte record per row.
inline constexpr size_t kRenderValuesSize = 2816;

// Checks the values out into the pre-render data, asks for the input over at least the whole
// layer and reports the result area ("Grow Bounds" widens it for text and shape layers).
PF_Err SmartPreRender(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);

// Hands the pre-render values, one record per row, to the render entry (the glow's own unless a
// caller names another).
PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);
PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                   Morvel::Plugin::RenderEntry render);

}  // namespace Glow
