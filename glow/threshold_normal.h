#pragma once

#include "glow/stages/glow_color.h"
#include "glow/threshold_toning.h"

namespace Glow {

extern template class ThresholdRecordStage<Color>;

// The threshold stage of the one-colour glow ("Blur Type" "Normal"): one toned, premultiplied
// record per input pixel for the convolution.
class ThresholdNormal final : public ThresholdRecordStage<Color> {
public:
    using ThresholdRecordStage::ThresholdRecordStage;
};

}  // namespace Glow
