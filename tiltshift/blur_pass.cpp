#include "tiltshift/blur_pass.h"

#include <cmath>

#include "library/filter/iterate.h"
#include "library/utility/ansi.h"
#include "tiltshift/box_blur.h"
#include "tiltshift/compositor.h"
#include "tiltshift/focus_sampler.h"
#include "tiltshift/weighting.h"

namespace TiltShift {

namespace {

double standardCos(double x) { return std::cos(x); }
double standardSin(double x) { return std::sin(x); }

size_t pixelCount(const std::shared_ptr<Morvel::World>& world) {
    return size_t(world->world->width) * size_t(world->world->height);
}

}  // namespace

BlurPass::BlurPass(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, std::shared_ptr<Morvel::World> input,
                   std::shared_ptr<Morvel::World> output, const Settings& settings)
    : in_data(in_data),
      suites(suites),
      bpc(bpc),
      input(std::move(input)),
      output(std::move(output)),
      settings(settings),
      weighted(settings.weightBase > 1.000001),
      amounts(pixelCount(this->input)),
      colours(4 * pixelCount(this->input)) {
    if (weighted) weightTable = makeWeightTable(in_data, bpc, settings.weightBase);
}

BlurPass::Direction BlurPass::direction() const {
    return Direction{Morvel::ansiCallback(in_data, &PF_ANSICallbacks::cos, standardCos)(settings.direction),
                     Morvel::ansiCallback(in_data, &PF_ANSICallbacks::sin, standardSin)(settings.direction)};
}

PF_Err BlurPass::runAfter(Morvel::Filter::FilterBase& sampler) {
    constexpr int kOncePerProcessor = -1;
    PF_LayerDef* source = input->world;
    PF_LayerDef* destination = output->world;
    if (PF_Err err = Morvel::iterateGeneric(in_data, suites, sampler, kOncePerProcessor)) return err;

    const OutputSettings out{weighted, settings.weightBase, settings.vignetting, settings.vignettingColor,
                             settings.blendMode};
    if (settings.blurAmount > 1e-6 || settings.blurOffset > 1e-6) {
        BoxBlurParameters box{false,   settings.blurAmount / 3.0, settings.blurOffset / 3.0,
                              out,     settings.repeatEdgePixels, &amounts,
                              &colours};
        for (int round = 0; round < 3; ++round) {
            VerticalBoxBlur vertical(in_data, suites, bpc, source, destination, &box);
            if (PF_Err err = Morvel::iterateGeneric(in_data, suites, vertical, kOncePerProcessor)) return err;
            box.lastRound = round == 2;
            HorizontalBoxBlur horizontal(in_data, suites, bpc, source, destination, &box);
            if (PF_Err err = Morvel::iterateGeneric(in_data, suites, horizontal, kOncePerProcessor)) return err;
        }
        return PF_Err_NONE;
    }
    CompositorParameters composite{out, &amounts, &colours};
    Compositor compositor(in_data, suites, bpc, source, destination, &composite);
    return Morvel::iterateGeneric(in_data, suites, compositor, kOncePerProcessor);
}

PF_Err RadialBlurPass::run() {
    const Settings& s = settings;
    RadialSamplerParameters params{s.halfDiagonal,
                                   weighted,
                                   s.weightBase,
                                   s.centerX,
                                   s.centerY,
                                   s.direction,
                                   s.innerWidth,
                                   s.power,
                                   s.ratio,
                                   s.chromaticAberration > 1e-6,
                                   s.chromaticAberration,
                                   {&weightTable, &amounts, &colours}};
    const Direction d = direction();
    RadialSampler sampler(in_data, suites, bpc, input->world, output->world, &params, d.cosine, d.sine);
    return runAfter(sampler);
}

PF_Err LinearBlurPass::run() {
    const Settings& s = settings;
    LinearSamplerParameters params{s.halfDiagonal,
                                   s.blurAmount,
                                   weighted,
                                   s.weightBase,
                                   s.centerX,
                                   s.centerY,
                                   s.direction,
                                   s.innerWidth,
                                   s.linearMode,
                                   s.power,
                                   s.focusDistance,
                                   s.chromaticAberration > 1e-6,
                                   s.chromaticAberration,
                                   {&weightTable, &amounts, &colours}};
    const Direction d = direction();
    LinearSampler sampler(in_data, suites, bpc, input->world, output->world, &params, -d.sine, d.cosine);
    return runAfter(sampler);
}

}  // namespace TiltShift
