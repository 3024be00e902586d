#include "glow/threshold_channel.h"

namespace Glow {

template class ThresholdRecordStage<ChannelColor>;

}  // namespace Glow
