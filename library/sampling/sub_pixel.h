#pragma once

#include "Util/AEGP_SuiteHandler.h"
#include "library/sampling/wrap.h"
#include "morvel_host/host.h"

namespace Morvel::Sampler {

// Reads a layer between pixels through the host's sub-pixel sampling, wrapping the position first.
// sample() is const and stateless, so one sampler serves all band threads at once. The sampler
// borrows the layer and the handler: it must not outlive the command that built it.
class SubPixel {
public:
    // Takes the three sampling suites now, on the render's thread, so bands only call them.
    SubPixel(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_LayerDef* layer, Wrap wrap);

    // The overload must match the layer's depth.
    PF_Err sample(double x, double y, PF_Pixel* out) const;
    PF_Err sample(double x, double y, PF_Pixel16* out) const;
    PF_Err sample(double x, double y, PF_PixelFloat* out) const;

    // 16.16 fixed point, rounded half away from zero. Saturates beyond the range; NaN becomes the
    // most negative value, which lies outside every layer.
    static PF_Fixed toFixed(double v);

    template <typename Pixel>
    using SampleFunc = PF_Err (*)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, Pixel*);

private:
    template <typename Pixel>
    PF_Err sampleWrapped(double x, double y, Pixel* out, SampleFunc<Pixel> fn) const;
    template <typename Pixel>
    PF_Err sampleSeam(double ax, double ay, double bx, double by, double t, Pixel* out,
                      SampleFunc<Pixel> fn) const;

    PF_InData* in_data_;
    // Kept with the sampler although sampling only uses the functions taken at construction.
    [[maybe_unused]] AEGP_SuiteHandler* suites_;
    PF_SampPB params_{};
    Wrap wrap_;
    double width_ = 0, width2_ = 0, widthLast_ = 0;
    double height_ = 0, height2_ = 0, heightLast_ = 0;
    bool empty_ = true;
    SampleFunc<PF_Pixel> sample8_ = nullptr;
    SampleFunc<PF_Pixel16> sample16_ = nullptr;
    SampleFunc<PF_PixelFloat> sampleFloat_ = nullptr;
    double (*fmod_)(double, double) = nullptr;
};

}  // namespace Morvel::Sampler
