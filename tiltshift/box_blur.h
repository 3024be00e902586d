#pragma once

#include <cstdint>
#include <vector>

#include "library/filter/filter.h"
#include "tiltshift/compositor.h"
#include "tiltshift/pass_buffer.h"

namespace TiltShift {

// Shared by both directions. The radius at a pixel is a × t + b, t from the amount buffer.
struct BoxBlurParameters {
    bool lastRound;  // the horizontal blur writes the output instead of the colour buffer
    double a;
    double b;
    OutputSettings output;
    bool repeatEdgePixels;
    const PassBuffer* amounts;  // one per pixel, row-major over the output's width
    PassBuffer* colours;        // four per pixel; blurred in place
};

// Blurs the colour buffer along its columns, a band of whole columns each.
class VerticalBoxBlur : public Morvel::Filter::Filter<BoxBlurParameters> {
public:
    VerticalBoxBlur(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                    PF_LayerDef* output, BoxBlurParameters* params);

    PF_Err filter8(const Morvel::Rect<int>& area, bool first) override;
    PF_Err filter16(const Morvel::Rect<int>& area, bool first) override;
    PF_Err filter32(const Morvel::Rect<int>& area, bool first) override;

private:
    template <typename Sums>
    PF_Err columns(const Morvel::Rect<int>& area, bool first);
};

// Blurs along the rows; in the last round each result goes through the output step to the
// output pixel.
class HorizontalBoxBlur : public Morvel::Filter::Filter<BoxBlurParameters> {
public:
    using Filter::Filter;

    PF_Err filter8(const Morvel::Rect<int>& area, bool first) override;
    PF_Err filter16(const Morvel::Rect<int>& area, bool first) override;
    PF_Err filter32(const Morvel::Rect<int>& area, bool first) override;

private:
    template <typename Pixel, typename Sums>
    PF_Err rows(const Morvel::Rect<int>& area, bool first);
};

}  // namespace TiltShift
