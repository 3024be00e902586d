#pragma once

#include "library/parameter/parameter_def.h"
#include "morvel_host/host.h"

namespace Morvel::Plugin {

// Smart pre-render of an effect that reads the whole layer for any part of its output:
// - every row's value is checked out at the current time into pre-render data (one 24-byte value
//   per row, freed by the host through the delete function);
// - layer 0 is checked out with the output request widened to the layer frame at the render's
//   downsample, preserving the colour of transparent pixels, and extra pixels are announced;
// - when the checkbox row `growBoundsRow` is on and the layer is a text or shape layer with a
//   non-empty result, the result grows to the layer frame and the maximum result takes it in;
// - the result rectangles are merged into the output record.
// 4 when the pre-render data cannot be made; any other host error is returned as it is, and
// then the output rectangles are left as they were.
PF_Err preRenderWholeLayer(PF_InData* in_data, PF_PreRenderExtra* extra, const ParameterDef* rows, int count,
                           int growBoundsRow);

}  // namespace Morvel::Plugin
