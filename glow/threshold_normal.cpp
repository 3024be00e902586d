#include "glow/threshold_normal.h"

namespace Glow {

template class ThresholdRecordStage<Color>;

}  // namespace Glow
