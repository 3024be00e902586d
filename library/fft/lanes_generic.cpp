#include "library/fft/lanes.h"

#include "library/fft/lanes_impl.h"

namespace Morvel::FFT {

const LaneKernels& genericKernels() { return kLaneKernels; }

}  // namespace Morvel::FFT
