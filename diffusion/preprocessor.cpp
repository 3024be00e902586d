#include "diffusion/preprocessor.h"

#include <cmath>

#include "library/utility/ansi.h"

namespace Diffusion {

namespace {

template <typename Pixel>
const Pixel* sourceRow(const PF_LayerDef* world, int y) {
    return reinterpret_cast<const Pixel*>(static_cast<const char*>(world->data) + int64_t{y} * world->rowbytes);
}

template <typename Pixel>
Pixel* destinationRow(PF_LayerDef* world, int y) {
    return reinterpret_cast<Pixel*>(static_cast<char*>(world->data) + int64_t{y} * world->rowbytes);
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
      hlsOn(Glow::doHls(params->hls)),
      colorLevelsOn(Glow::doColorLevels(params->black, params->white, params->gamma)),
      alphaLevelsOn(Glow::doAlphaLevels(params->alphaBlack, params->alphaWhite)),
      colorLevels(Glow::levelCoefficients(params->black, params->white, params->gamma)),
      alphaLevels(Glow::levelCoefficients(params->alphaBlack, params->alphaWhite, 1.0)),
      hostPow(Morvel::ansiCallback<double (*)(double, double)>(in_data, &PF_ANSICallbacks::pow,
                                                               [](double x, double y) { return std::pow(x, y); })) {
    if (bpc == Morvel::Bpc8) {
        if (colorLevelsOn) colorTable8 = Glow::colorLevelTable8(params->black, params->white, params->gamma);
        if (alphaLevelsOn) alphaTable8 = Glow::alphaLevelTable8(params->alphaBlack, params->alphaWhite);
    } else if (bpc == Morvel::Bpc16) {
        if (colorLevelsOn) colorTable16 = Glow::colorLevelTable16(params->black, params->white, params->gamma);
        if (alphaLevelsOn) alphaTable16 = Glow::alphaLevelTable16(params->alphaBlack, params->alphaWhite);
    }
}

template <typename Pixel>
PF_Err Preprocessor::withTables(const Morvel::Rect<int>& area, const std::vector<decltype(Pixel{}.alpha)>& colorTable,
                                const std::vector<decltype(Pixel{}.alpha)>& alphaTable) {
    if (!fits(input, output)) return PF_Err_BAD_CALLBACK_PARAM;
    for (int y = area.top; y < area.bottom; ++y) {
        const Pixel* in = sourceRow<Pixel>(input, y);
        Pixel* out = destinationRow<Pixel>(output, y);
        for (int x = area.left; x < area.right; ++x) {
            Pixel p = in[x];
            if (p.alpha == 0) continue;
            if (hlsOn) Glow::shiftHls(p, params->hls);
            if (alphaLevelsOn) p.alpha = alphaTable[p.alpha];
            if (colorLevelsOn) {
                p.red = colorTable[p.red];
                p.green = colorTable[p.green];
                p.blue = colorTable[p.blue];
            }
            out[x] = p;
        }
    }
    return PF_Err_NONE;
}

PF_Err Preprocessor::filter8(const Morvel::Rect<int>& area, bool) {
    return withTables<PF_Pixel>(area, colorTable8, alphaTable8);
}

PF_Err Preprocessor::filter16(const Morvel::Rect<int>& area, bool) {
    return withTables<PF_Pixel16>(area, colorTable16, alphaTable16);
}

PF_Err Preprocessor::filter32(const Morvel::Rect<int>& area, bool) {
    if (!fits(input, output)) return PF_Err_BAD_CALLBACK_PARAM;
    for (int y = area.top; y < area.bottom; ++y) {
        const PF_PixelFloat* in = sourceRow<PF_PixelFloat>(input, y);
        PF_PixelFloat* out = destinationRow<PF_PixelFloat>(output, y);
        for (int x = area.left; x < area.right; ++x) {
            PF_PixelFloat p = in[x];
            if (!(p.alpha > 1e-6f)) continue;
            if (hlsOn) Glow::shiftHls(p, params->hls);
            if (alphaLevelsOn) p.alpha = Glow::alphaLevel32(p.alpha, alphaLevels);
            if (colorLevelsOn) {
                p.red = Glow::colorLevel32(p.red, colorLevels, hostPow);
                p.green = Glow::colorLevel32(p.green, colorLevels, hostPow);
                p.blue = Glow::colorLevel32(p.blue, colorLevels, hostPow);
            }
            out[x] = p;
        }
    }
    return PF_Err_NONE;
}

}  // namespace Diffusion
