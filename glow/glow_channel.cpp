#include "glow/glow_channel.h"

#include "glow/glow_convolution_impl.h"
#include "glow/kernel_outputter.h"
#include "glow/stages/kernel_multiplier.h"
#include "glow/stages/kernel_setter.h"

namespace Glow {

// Three kernels, red, green and blue; each colour with its alpha in a complex plane of its own,
// paired with the kernel of its colour.
template <>
struct ConvolutionMode<ChannelColor> {
    using Divisor = KernelCreatorChannelDivisor;
    using SetterParameters = KernelSetterChannelParameters;
    using Setter = KernelSetterChannel;
    using MultiplierParameters = KernelMultiplierChannelParameters;
    using Multiplier = KernelMultiplierChannel;
    using OutputterParameters = KernelOutputterChannelParameters;
    using Outputter = KernelOutputterChannel;
    static constexpr std::size_t kKernels = 3;
    static constexpr std::size_t kPlanes = 3;

    static constexpr auto creators = &getKernelCreatorsChannel;
    static void takeTotals(const Divisor& divisor, OutputterParameters& outputter) {
        outputter.totalRed = divisor.totalRed();
        outputter.totalGreen = divisor.totalGreen();
        outputter.totalBlue = divisor.totalBlue();
    }
    static void attach(const Convolution::Rows<kKernels>& kernels, const Convolution::Rows<kPlanes>& planes,
                       SetterParameters& setter, MultiplierParameters& multiplier, OutputterParameters& outputter) {
        multiplier.redKernel = kernels[0];
        multiplier.greenKernel = kernels[1];
        multiplier.blueKernel = kernels[2];
        setter.red = multiplier.red = outputter.red = planes[0];
        setter.green = multiplier.green = outputter.green = planes[1];
        setter.blue = multiplier.blue = outputter.blue = planes[2];
    }
};

template class GlowConvolution<ChannelColor>;

}  // namespace Glow
