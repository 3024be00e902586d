#pragma once

#include <cstdint>
#include <vector>

#include "library/filter/filter.h"
#include "morvel_host/host.h"
#include "tiltshift/parameter_table.h"
#include "tiltshift/pass_buffer.h"

namespace TiltShift {

// What both samplers write: per pixel of the input (row-major), the blur amount t and the
// weighted, premultiplied colour (alpha, red, green, blue).
struct SamplerBuffers {
    const std::vector<double>* weightTable;  // empty unless weighted
    PassBuffer* amounts;
    PassBuffer* colours;
};

struct RadialSamplerParameters {
    double halfDiagonal;
    bool weighted;
    double weightBase;
    double centerX, centerY;
    double direction;
    double innerWidth;
    double power;
    double ratio;
    bool chromaticAberrationOn;
    double chromaticAberration;
    SamplerBuffers buffers;
};

struct LinearSamplerParameters {
    double halfDiagonal;
    double blurAmount;
    bool weighted;
    double weightBase;
    double centerX, centerY;
    double direction;
    double innerWidth;
    LinearMode linearMode;
    double power;
    double focusDistance;
    bool chromaticAberrationOn;
    double chromaticAberration;
    SamplerBuffers buffers;
};

// The host's sub-pixel sampling at the render's depth, taken once on the render's thread.
class ChannelSampling {
public:
    // Takes the suite only when chromatic aberration will sample; a missing suite throws 516.
    ChannelSampling(AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input, bool needed);

    PF_Err operator()(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, PF_Pixel* out) const {
        return sample8_(ref, x, y, &params_, out);
    }
    PF_Err operator()(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, PF_Pixel16* out) const {
        return sample16_(ref, x, y, &params_, out);
    }
    PF_Err operator()(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, PF_PixelFloat* out) const {
        return sampleFloat_(ref, x, y, &params_, out);
    }

private:
    PF_SampPB params_{};
    PF_Err (*sample8_)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, PF_Pixel*) = nullptr;
    PF_Err (*sample16_)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, PF_Pixel16*) = nullptr;
    PF_Err (*sampleFloat_)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, PF_PixelFloat*) = nullptr;
};

// The blur amount grows with the distance outside an ellipse round the centre.
class RadialSampler : public Morvel::Filter::PixelFilter<RadialSampler, RadialSamplerParameters> {
public:
    // cosine and sine of the direction.
    RadialSampler(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                  PF_LayerDef* output, RadialSamplerParameters* params, double cosine, double sine);

    template <typename Pixel>
    PF_Err band(const Morvel::Rect<int>& area, bool first);

private:
    double cos_, sin_;
    ChannelSampling sampling_;
};

// The blur amount grows with the distance from a band along a line through the centre.
class LinearSampler : public Morvel::Filter::PixelFilter<LinearSampler, LinearSamplerParameters> {
public:
    // (normalX, normalY): the line's unit normal, (-sin d, cos d).
    LinearSampler(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                  PF_LayerDef* output, LinearSamplerParameters* params, double normalX, double normalY);

    // A "Linear Mode" other than Power or Focus Distance does nothing.
    template <typename Pixel>
    PF_Err band(const Morvel::Rect<int>& area, bool first);

private:
    double nx_, ny_;
    ChannelSampling sampling_;
};

}  // namespace TiltShift
