#pragma once

#include "glow/stages/preprocessor.h"
#include "glow/stages/render_settings.h"
#include "library/filter/filter.h"
#include "library/utility/color.h"

namespace Diffusion {

// The colour details of the source or of the diffusion layer. Black comes before white.
struct DetailParameters {
    Morvel::Color<float> hls;  // {0, hue shift in degrees, lightness factor, saturation factor}
    double black = 0.0;
    double white = 1.0;
    double gamma = 1.0;
    double alphaBlack = 0.0;
    double alphaWhite = 1.0;
};

// Whether any of the three stages differs from identity.
bool changesAnything(const DetailParameters& details);

// Hue, lightness and saturation, then alpha levels, then colour levels: the glow's preprocessing
// with its mask off, whose flags, tables and bands it runs. Pixels with zero alpha (float: at most
// 1e-6) are not written.
class Preprocessor : public Morvel::Filter::Filter<DetailParameters> {
public:
    // May run in place (source == destination).
    Preprocessor(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* source,
                 PF_LayerDef* destination, DetailParameters* params);

    PF_Err filter8(const Morvel::Rect<int>& area, bool first) override;
    PF_Err filter16(const Morvel::Rect<int>& area, bool first) override;
    PF_Err filter32(const Morvel::Rect<int>& area, bool first) override;

private:
    Glow::GlowParameters::Preprocessing unmasked;
    Glow::Preprocessor stage;  // reads `unmasked`, declared before it
};

}  // namespace Diffusion
