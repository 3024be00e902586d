#pragma once

#include <cstdint>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/threshold_parameters.h"
#include "glow/threshold_toning.h"
#include "library/filter/filter.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

namespace Glow {

struct ThresholdPreviewParameters {
    ThresholdCommonParameters common;
    // Threshold: the input with its alpha scaled by the threshold alpha. Any other: the toned
    // threshold image (Toner, and the glow of the final modes when no kernel is on).
    RenderingModeItem previewMode = RenderingModeItem::Toner;
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
