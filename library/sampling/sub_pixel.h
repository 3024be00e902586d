#pragma once

#include <memory>

#include "Util/AEGP_SuiteHandler.h"
#include "library/sampling/wrap.h"
#include "library/world/bpc.h"
#include "library/world/world.h"
#include "morvel_host/host.h"

namespace Morvel::Sampler {

// Reads a layer between pixels through the host's sub-pixel sampling, wrapping the position first.
// sample() is const and stateless, so one sampler serves all band threads at once. The sampler
// borrows the handler (and, when given a bare record, the layer): it must not outlive the command
// that built it.
class SubPixel {
public:
    // Takes the three sampling suites now, on the render's thread, so bands only call them.
    SubPixel(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_LayerDef* layer, Wrap wrap);
    // Holds the world, so the layer stays checked out (or allocated) while any copy of the
    // sampler lives.
    SubPixel(PF_InData* in_data, AEGP_SuiteHandler& suites, std::shared_ptr<World> layer, Wrap wrap);

    // The overload must match the layer's depth, taken from its pixel format at construction (a
    // record without a known format: 16-bit when flagged deep, else 8-bit). Any other overload
    // gives transparent black and PF_Err_BAD_CALLBACK_PARAM without asking the host, which would
    // otherwise write a pixel of the layer's size into the caller's smaller one.
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
    PF_Err sampleSeam(double ax, double ay, double bx, double by, double t, Pixel* out, SampleFunc<Pixel> fn) const;

    std::shared_ptr<World> held_;  // may be null: the layer is then borrowed
    PF_InData* in_data_;
    // Kept with the sampler although sampling only uses the functions taken at construction.
    [[maybe_unused]] AEGP_SuiteHandler* suites_;
    PF_SampPB params_{};
    Wrap wrap_;
    double width_ = 0, width2_ = 0, widthLast_ = 0;
    double height_ = 0, height2_ = 0, heightLast_ = 0;
    bool empty_ = true;
    Bpc bpc_ = Bpc8;
    SampleFunc<PF_Pixel> sample8_ = nullptr;
    SampleFunc<PF_Pixel16> sample16_ = nullptr;
    SampleFunc<PF_PixelFloat> sampleFloat_ = nullptr;
    double (*fmod_)(double, double) = nullptr;
};

}  // namespace Morvel::Sampler
