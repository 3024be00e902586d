#pragma once

#include <cstdint>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/threshold_parameters.h"
#include "glow/threshold_toning.h"
#include "library/filter/filter.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

namespace Glow {

// "Rendering Mode" 2: the input with its alpha scaled by the threshold alpha.
constexpr int32_t PREVIEW_THRESHOLD = 2;
// Any other value: the toned threshold image ("Rendering Mode" 3, and the glow of the final modes
// when no kernel is on).
constexpr int32_t PREVIEW_TONER = 3;

struct ThresholdPreviewParameters {
    ThresholdCommonParameters common;
    int32_t previewMode = PREVIEW_TONER;
};

// Renders the thresholded image straight into a world, as straight colour at the world's depth,
// without any convolution.
class ThresholdPreview : public Morvel::Filter::Filter<ThresholdPreviewParameters>, private ThresholdToning {
public:
    // input and output have the same size; they and the record must outlive the filter.
    ThresholdPreview(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                     PF_LayerDef* output, ThresholdPreviewParameters* params);

    // The band's first sampling error, or 0; a missing sampling suite is thrown.
    PF_Err filter8(const Morvel::Rect<int>& rect, bool first) override;
    PF_Err filter16(const Morvel::Rect<int>& rect, bool first) override;
    PF_Err filter32(const Morvel::Rect<int>& rect, bool first) override;

private:
    template <typename Pixel>
    PF_Err previewBand(const Morvel::Rect<int>& rect);
};

}  // namespace Glow
