#pragma once

#include <cstdint>

#include "library/parameter/parameter_def.h"
#include "library/utility/color.h"
#include "morvel_host/host.h"
#include "tiltshift/blend_mode.h"
#include "tiltshift/parameter_table.h"

namespace TiltShift {

// One render's settings, lengths in pixels of the render's resolution (both axes scaled by the
// horizontal downsample).
struct Settings {
    double halfDiagonal;
    double blurAmount;
    double blurOffset;
    double weightBase;
    double centerX, centerY;  // in the output world's pixels
    double direction;         // radians
    double ratio;
    double innerWidth;
    LinearMode linearMode;
    double power;
    double focusDistance;
    double chromaticAberration;
    double vignetting;  // fraction
    Morvel::Color<float> vignettingColor;
    BlendMode blendMode;
    bool repeatEdgePixels;
};

// values: the 17 render values in table order. output: the world the render writes, whose origin
// places the centre.
Settings makeSettings(const Morvel::Plugin::ParameterValue* values, const PF_InData* in_data, double downsampleX,
                      const PF_LayerDef& output);

}  // namespace TiltShift
