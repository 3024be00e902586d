#pragma once

#include <cstdint>
#include <vector>

#include "library/filter/filter.h"
#include "library/utility/color.h"
#include "library/utility/pixel.h"
#include "tiltshift/blend_mode.h"
#include "tiltshift/pass_buffer.h"

namespace TiltShift {

// What turns a blurred entry back into an output pixel and lays the vignette over it.
struct OutputSettings {
    bool weighted;
    double weightBase;
    double vignetting;
    Morvel::Color<float> vignettingColor;
    BlendMode blendMode;
};

// The output of one colour-buffer entry (alpha, then red, green and blue weighted and
// premultiplied) with blur amount t: un-premultiplied, weighting undone, the vignette blended on
// with the effect's mode, and the entry's own alpha kept.
template <typename Pixel>
class OutputStep {
public:
    OutputStep(const PF_InData* in_data, const OutputSettings& settings);
    Pixel operator()(const double* entry, double t) const;

private:
    using Channel = Morvel::ChannelOf<Pixel>;
    static Channel channel(double value);
    static Channel alpha(double value);

    bool weighted_;
    double inverseFactor_;
    double (*log_)(double);
    double vignetting_;
    Pixel vignette_;
    BlendFunction<Pixel> blend_;
};

extern template class OutputStep<PF_Pixel>;
extern template class OutputStep<PF_Pixel16>;
extern template class OutputStep<PF_PixelFloat>;

struct CompositorParameters {
    OutputSettings output;
    const PassBuffer* amounts;  // one per pixel of the output, row-major
    const PassBuffer* colours;  // four per pixel
};

// Writes the output straight from the colour buffer when there is nothing to blur.
class Compositor : public Morvel::Filter::PixelFilter<Compositor, CompositorParameters> {
public:
    using PixelFilter::PixelFilter;

    template <typename Pixel>
    PF_Err band(const Morvel::Rect<int>& area, bool first);
};

// The host's abort request, polled after each row or column of band 0.
PF_Err checkAbort(const PF_InData* in_data);

}  // namespace TiltShift
