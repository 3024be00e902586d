#include "tiltshift/settings.h"

#include <cmath>

#include "library/utility/ansi.h"
#include "tiltshift/blend_mode.h"
#include "tiltshift/parameter_table.h"

namespace TiltShift {

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;

double standardHypot(double x, double y) { return std::hypot(x, y); }

}  // namespace

Settings makeSettings(const Morvel::Plugin::ParameterValue* values, const PF_InData* in_data, double downsampleX,
                      const PF_LayerDef& output) {
    auto value = [values](ParamIndex index) -> const Morvel::Plugin::ParameterUnionValue& {
        return values[rowOf(index)].value;
    };
    const auto hypot = Morvel::ansiCallback(in_data, &PF_ANSICallbacks::hypot, standardHypot);
    const auto& color = value(PARAM_VIGNETTING_COLOR).color;

    Settings s{};
    s.halfDiagonal = hypot(in_data->width, in_data->height) * downsampleX * 0.5;
    s.blurAmount = value(PARAM_BLUR_AMOUNT).d * downsampleX;
    s.blurOffset = value(PARAM_BLUR_OFFSET).d * downsampleX;
    s.weightBase = 1.0 + value(PARAM_WEIGHT).d * 0.01;
    s.centerX = value(PARAM_CENTER).point.x - output.origin_x;
    s.centerY = value(PARAM_CENTER).point.y - output.origin_y;
    s.direction = value(PARAM_DIRECTION).d * kRadiansPerDegree;
    s.ratio = value(PARAM_RATIO).d;
    s.innerWidth = value(PARAM_INNER_WIDTH).d * downsampleX;
    s.linearMode = static_cast<LinearMode>(value(PARAM_LINEAR_MODE).i);
    s.power = value(PARAM_POWER).d;
    s.focusDistance = value(PARAM_FOCUS_DISTANCE).d * downsampleX;
    s.chromaticAberration = value(PARAM_CHROMATIC_ABERRATION).d * downsampleX;
    s.vignetting = value(PARAM_VIGNETTING).d * 0.01;
    s.vignettingColor = Morvel::Color<float>(1.0f, color.red, color.green, color.blue);
    s.blendMode = toBlendMode(value(PARAM_BLENDING_MODE).i);
    s.repeatEdgePixels = value(PARAM_REPEAT_EDGE_PIXELS).b;
    return s;
}

}  // namespace TiltShift
