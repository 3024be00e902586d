#include "glow/glow_normal.h"

#include "glow/glow_convolution_impl.h"
#include "glow/kernel_outputter.h"
#include "glow/stages/kernel_multiplier.h"
#include "glow/stages/kernel_setter.h"

namespace Glow {

// One kernel; the four premultiplied values in two complex planes: red + i green, blue + i alpha.
template <>
struct ConvolutionMode<Color> {
    using Divisor = KernelCreatorNormalDivisor;
    using SetterParameters = KernelSetterNormalParameters;
    using Setter = KernelSetterNormal;
    using MultiplierParameters = KernelMultiplierNormalParameters;
    using Multiplier = KernelMultiplierNormal;
    using OutputterParameters = KernelOutputterNormalParameters;
    using Outputter = KernelOutputterNormal;
    static constexpr std::size_t kKernels = 1;
    static constexpr std::size_t kPlanes = 2;

    static constexpr auto creators = &getKernelCreatorsNormal;
    static void takeTotals(const Divisor& divisor, OutputterParameters& outputter) {
        outputter.kernelTotal = divisor.total();
    }
    static void attach(const Convolution::Rows<kKernels>& kernels, const Convolution::Rows<kPlanes>& planes,
                       SetterParameters& setter, MultiplierParameters& multiplier, OutputterParameters& outputter) {
        multiplier.kernel = kernels[0];
        setter.bufferA = multiplier.bufferA = outputter.bufferA = planes[0];
        setter.bufferB = multiplier.bufferB = outputter.bufferB = planes[1];
    }
};

template class GlowConvolution<Color>;

}  // namespace Glow
