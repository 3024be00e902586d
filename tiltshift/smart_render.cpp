#include "library/plugin/render_values.h"
#include "library/plugin/whole_layer_pre_render.h"
#include "tiltshift/commands.h"
#include "tiltshift/parameter_table.h"
#include "tiltshift/renderer.h"

namespace TiltShift {

// Pre-render data of 408 bytes, render values of 544.
static_assert(kParamCount * sizeof(Morvel::Plugin::ParameterUnionValue) == 408);
static_assert(kParamCount * sizeof(Morvel::Plugin::ParameterValue) == 544);

PF_Err smartPreRender(PF_InData* in_data, PF_OutData*, PF_PreRenderExtra* extra) {
    return Morvel::Plugin::preRenderWholeLayer(in_data, extra, PARAM_DEFS, kParamCount, rowOf(PARAM_GROW_BOUNDS));
}

PF_Err smartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
    return Morvel::Plugin::renderWithValues(in_data, out_data, extra, PARAM_DEFS, kParamCount, renderEntry);
}

int renderEntry(int plugin_id, PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                const Morvel::Plugin::ParameterValue* values, bool flag) {
    return Morvel::runSmartRenderer<Renderer>(plugin_id, in_data, out_data, extra, values, flag);
}

}  // namespace TiltShift
