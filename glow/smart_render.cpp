#include "glow/smart_render.h"

#include "glow/parameter_table.h"
#include "glow/render_setup.h"
#include "library/parameter/parameter.h"
#include "library/plugin/render_values.h"
#include "library/plugin/whole_layer_pre_render.h"

namespace Glow {

namespace {

static_assert(kPreRenderDataSize == kParamCount * sizeof(Morvel::Plugin::ParameterUnionValue));
static_assert(kRenderValuesSize == kParamCount * sizeof(Morvel::Plugin::ParameterValue));

constexpr int kGrowBoundsRow = 87;

}  // namespace

// The glow reaches in from everywhere, so the whole layer is wanted whatever the host asks.
PF_Err SmartPreRender(PF_InData* in_data, PF_OutData*, PF_PreRenderExtra* extra) {
    return Morvel::Plugin::preRenderWholeLayer(in_data, extra, PARAM_DEFS, kParamCount, kGrowBoundsRow);
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
    return SmartRender(in_data, out_data, extra, MSmartRender);
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                   Morvel::Plugin::RenderEntry render) {
    return Morvel::Plugin::renderWithValues(in_data, out_data, extra, PARAM_DEFS, kParamCount, render);
}

}  // namespace Glow
