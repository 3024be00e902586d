#include "glow/glow_channel.h"

#include <algorithm>
#include <new>

#include "glow/convolution_setup.h"
#include "glow/kernel_creators.h"
#include "glow/kernel_multiplier.h"
#include "glow/kernel_outputter.h"
#include "glow/kernel_setter.h"
#include "glow/kernel_size.h"
#include "glow/tile_loop.h"
#include "library/fft/buffer.h"
#include "library/fft/fft2d.h"
#include "library/filter/iterate.h"

namespace Glow {

GlowChannel::GlowChannel(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* glowWorld,
                         int threadCount, GlowParameters* params, std::vector<ChannelColor>* source)
    : in_data(in_data),
      suites(suites),
      bpc(bpc),
      threadCount(threadCount),
      glowWorld(glowWorld),
      params(params),
      source(source) {}

PF_Err GlowChannel::execute() {
    bool empty = false;
    const std::size_t sourceCount = source != nullptr ? source->size() : 0;
    if (PF_Err err = checkConvolutionInputs(glowWorld, params, source, sourceCount, empty)) return err;
    // An empty world has nothing to wrap onto (Mirror would divide by its size) and nothing to write.
    if (empty) return PF_Err_NONE;
    const int width = glowWorld->width;
    const int height = glowWorld->height;
    try {
        const int threads = std::max(threadCount, 1);
        auto creators = getKernelCreatorsChannel(in_data, suites, bpc, threads, params);
        const int radius = kernelRadius(in_data, creators);
        const int size = getKernelSize(radius, width, height);

        Morvel::FFT::FFT2D fft(in_data, suites, threads, 0);
        fft.init(size);
        Morvel::FFT::Buffer redKernel;
        Morvel::FFT::Buffer greenKernel;
        Morvel::FFT::Buffer blueKernel;
        if (!fft.initialised() || !redKernel.init(size) || !greenKernel.init(size) || !blueKernel.init(size)) {
            return PF_Err_OUT_OF_MEMORY;
        }

        PF_Err err = PF_Err_NONE;
        for (auto& creator : creators) {
            err = runKernelCreator(in_data, suites, *creator, err, size, redKernel.rows(), greenKernel.rows(),
                                   blueKernel.rows());
        }
        KernelOutputterChannelParameters outputterParams;
        {
            KernelCreatorChannelDivisor divisor(in_data, suites, bpc, threads, params);
            err = runKernelCreator(in_data, suites, divisor, err, size, redKernel.rows(), greenKernel.rows(),
                                   blueKernel.rows());
            outputterParams.totalRed = divisor.totalRed();
            outputterParams.totalGreen = divisor.totalGreen();
            outputterParams.totalBlue = divisor.totalBlue();
        }
        if (!err) err = fft.fft(1, redKernel.rows());
        if (!err) err = fft.fft(1, greenKernel.rows());
        if (!err) err = fft.fft(1, blueKernel.rows());
        if (!err && in_data->inter.abort != nullptr) err = in_data->inter.abort(in_data->effect_ref);
        if (err) return err;

        Morvel::FFT::Buffer red;
        Morvel::FFT::Buffer green;
        Morvel::FFT::Buffer blue;
        if (!red.init(size) || !green.init(size) || !blue.init(size)) return PF_Err_OUT_OF_MEMORY;

        KernelSetterChannelParameters setterParams;
        setTileSource(setterParams, *params, width, height, size, source);
        setterParams.red = red.rows();
        setterParams.green = green.rows();
        setterParams.blue = blue.rows();
        KernelMultiplierChannelParameters multiplierParams{size,       redKernel.rows(), greenKernel.rows(),
                                                           blueKernel.rows(), red.rows(), green.rows(), blue.rows()};
        setOutputLevels(outputterParams, *params, size, radius);
        outputterParams.red = red.rows();
        outputterParams.green = green.rows();
        outputterParams.blue = blue.rows();

        KernelSetterChannel setter(in_data, suites, &setterParams);
        KernelMultiplierChannel multiplier(in_data, suites, &multiplierParams);
        KernelOutputterChannel outputter(in_data, suites, bpc, glowWorld, &outputterParams);
        constexpr int kOncePerProcessor = PF_Iterations_ONCE_PER_PROCESSOR;
        double** buffers[3] = {red.rows(), green.rows(), blue.rows()};

        return forEachTile(in_data, width, height, TileGrid(width, height, size, radius), [&](int tx, int ty) {
            setterParams.tileX = outputterParams.tileX = tx;
            setterParams.tileY = outputterParams.tileY = ty;
            PF_Err tileErr = Morvel::iterateGeneric(in_data, suites, setter, kOncePerProcessor);
            for (double** rows : buffers) {
                if (!tileErr) tileErr = fft.fft(1, rows);
            }
            if (!tileErr) tileErr = Morvel::iterateGeneric(in_data, suites, multiplier, kOncePerProcessor);
            for (double** rows : buffers) {
                if (!tileErr) tileErr = fft.fft(-1, rows);
            }
            if (!tileErr) tileErr = Morvel::iterateGeneric(in_data, suites, outputter, kOncePerProcessor);
            return tileErr;
        });
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    }
}

}  // namespace Glow
