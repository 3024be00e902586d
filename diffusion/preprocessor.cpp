#include "diffusion/preprocessor.h"

namespace Diffusion {

namespace {

Glow::GlowParameters::Preprocessing withoutMask(const DetailParameters& d) {
    Glow::GlowParameters::Preprocessing p;
    p.hls = d.hls;
    p.black = d.black;
    p.white = d.white;
    p.gamma = d.gamma;
    p.alphaBlack = d.alphaBlack;
    p.alphaWhite = d.alphaWhite;
    p.useMask = false;
    return p;
}

bool fits(const PF_LayerDef* source, const PF_LayerDef* destination) {
    return source != nullptr && destination != nullptr && source->width >= destination->width &&
           source->height >= destination->height;
}

}  // namespace

bool changesAnything(const DetailParameters& d) {
    return Glow::doHls(d.hls) || Glow::doColorLevels(d.black, d.white, d.gamma) ||
           Glow::doAlphaLevels(d.alphaBlack, d.alphaWhite);
}

Preprocessor::Preprocessor(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* source,
                           PF_LayerDef* destination, DetailParameters* params)
    : Filter(in_data, suites, bpc, source, destination, params),
      unmasked(withoutMask(*params)),
      stage(in_data, suites, bpc, source, destination, &unmasked) {}

// The bands index the source by the destination's rows and columns.
PF_Err Preprocessor::filter8(const Morvel::Rect<int>& area, bool first) {
    return fits(input, output) ? stage.filter8(area, first) : PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err Preprocessor::filter16(const Morvel::Rect<int>& area, bool first) {
    return fits(input, output) ? stage.filter16(area, first) : PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err Preprocessor::filter32(const Morvel::Rect<int>& area, bool first) {
    return fits(input, output) ? stage.filter32(area, first) : PF_Err_BAD_CALLBACK_PARAM;
}

}  // namespace Diffusion
