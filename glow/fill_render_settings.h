#pragma once

#include "glow/stages/render_settings.h"
#include "library/parameter/parameter_def.h"
#include "morvel_host/host.h"

namespace Glow {

// What filling the record asks of the host besides the values.
struct GlowParametersSource {
    PF_InData* in_data;
    AEGP_SuiteHandler& suites;
    int pluginId;
    AEGP_EffectRefH effect;  // whose streams hold the expression texts
    A_Time time;             // of the layer look-ups
    double downsampleX;      // the horizontal downsample factor
    bool noExpressions;      // custom channels fall back to Luminance unread
};

// Fills the record in field order from one value per parameter-table row. With an error pending
// (or once one happens) nothing more is fetched from the host: a layer look-up ends the filling,
// an expression text is not read. Returns the first error, pending included.
PF_Err fillGlowParameters(const GlowParametersSource& source, const Morvel::Plugin::ParameterValue* values,
                          PF_Err pending, GlowParameters& out);

}  // namespace Glow
