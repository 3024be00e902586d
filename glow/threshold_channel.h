#pragma once

#include "glow/stages/glow_color.h"
#include "glow/threshold_toning.h"

namespace Glow {

extern template class ThresholdRecordStage<ChannelColor>;

// The threshold stage of the three-channel glow ("Blur Type" "Channel"): the one-colour stage
// writing one alpha per colour channel, all three equal, so that each channel can be spread by a
// kernel of its own.
class ThresholdChannel final : public ThresholdRecordStage<ChannelColor> {
public:
    using ThresholdRecordStage::ThresholdRecordStage;
};

}  // namespace Glow
