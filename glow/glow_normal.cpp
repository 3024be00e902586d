#include "glow/glow_normal.h"

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

GlowNormal::GlowNormal(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* glowWorld,
                       int threadCount, GlowParameters* params, std::vector<Color>* source)
    : in_data(in_data),
      suites(suites),
      bpc(bpc),
      threadCount(threadCount),
      glowWorld(glowWorld),
      params(params),
      source(source) {}

PF_Err GlowNormal::execute() {
    bool empty = false;
    const std::size_t sourceCount = source != nullptr ? source->size() : 0;
    if (PF_Err err = checkConvolutionInputs(glowWorld, params, source, sourceCount, empty)) return err;
    // An empty world has nothing to wrap onto (Mirror would divide by its size) and nothing to write.
    if (empty) return PF_Err_NONE;
    const int width = glowWorld->width;
    const int height = glowWorld->height;
    try {
        const int threads = std::max(threadCount, 1);
        auto creators = getKernelCreatorsNormal(in_data, suites, bpc, threads, params);
        const int radius = kernelRadius(in_data, creators);
        const int size = getKernelSize(radius, width, height);

        Morvel::FFT::FFT2D fft(in_data, suites, threads, 0);
        fft.init(size);
        Morvel::FFT::Buffer kernel;
        if (!fft.initialised() || !kernel.init(size)) return PF_Err_OUT_OF_MEMORY;

        PF_Err err = PF_Err_NONE;
        for (auto& creator : creators) err = runKernelCreator(in_data, suites, *creator, err, size, kernel.rows());
        double kernelTotal = 0.0;
        {
            KernelCreatorNormalDivisor divisor(in_data, suites, bpc, threads, params);
            err = runKernelCreator(in_data, suites, divisor, err, size, kernel.rows());
            kernelTotal = divisor.total();
        }
        if (!err) err = fft.fft(1, kernel.rows());
        if (!err && in_data->inter.abort != nullptr) err = in_data->inter.abort(in_data->effect_ref);
        if (err) return err;

        Morvel::FFT::Buffer bufferA;
        Morvel::FFT::Buffer bufferB;
        if (!bufferA.init(size) || !bufferB.init(size)) return PF_Err_OUT_OF_MEMORY;

        KernelSetterNormalParameters setterParams;
        setTileSource(setterParams, *params, width, height, size, source);
        setterParams.bufferA = bufferA.rows();
        setterParams.bufferB = bufferB.rows();
        KernelMultiplierNormalParameters multiplierParams{size, kernel.rows(), bufferA.rows(), bufferB.rows()};
        KernelOutputterNormalParameters outputterParams;
        setOutputLevels(outputterParams, *params, size, radius);
        outputterParams.kernelTotal = kernelTotal;
        outputterParams.bufferA = bufferA.rows();
        outputterParams.bufferB = bufferB.rows();

        KernelSetterNormal setter(in_data, suites, &setterParams);
        KernelMultiplierNormal multiplier(in_data, suites, &multiplierParams);
        KernelOutputterNormal outputter(in_data, suites, bpc, glowWorld, &outputterParams);

        return forEachTile(in_data, width, height, TileGrid(width, height, size, radius), [&](int tx, int ty) {
            setterParams.tileX = outputterParams.tileX = tx;
            setterParams.tileY = outputterParams.tileY = ty;
            return convolveTilePair(in_data, suites, fft, setter, multiplier, outputter, bufferA.rows(),
                                    bufferB.rows());
        });
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    }
}

}  // namespace Glow
