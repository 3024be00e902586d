#pragma once

#include "Util/AEGP_SuiteHandler.h"
#include "glow/glow_color.h"
#include "glow/threshold_parameters.h"
#include "glow/threshold_toning.h"
#include "library/filter/filter.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

namespace Glow {

// The threshold stage of the three-channel glow: the one-colour stage writing one alpha per
// colour channel, all three equal, so that each channel can be spread by its own kernel.
class ThresholdChannel : public Morvel::Filter::Filter<ThresholdParameters<ChannelColor>>, private ThresholdToning {
public:
    // output is not used (the vector is); the record, the input and the vector must outlive the
    // filter, and the vector must hold one record per input pixel.
    ThresholdChannel(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                    PF_LayerDef* output, ThresholdParameters<ChannelColor>* params);

    // The band's first sampling error, or 0; a missing sampling suite is thrown.
    PF_Err filter8(const Morvel::Rect<int>& rect, bool first) override;
    PF_Err filter16(const Morvel::Rect<int>& rect, bool first) override;
    PF_Err filter32(const Morvel::Rect<int>& rect, bool first) override;
};

}  // namespace Glow
