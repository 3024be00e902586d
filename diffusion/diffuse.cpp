#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "diffusion/kernel_creator.h"
#include "diffusion/outputter.h"
#include "diffusion/parameters.h"
#include "diffusion/renderer.h"
#include "glow/glow_parameters.h"
#include "glow/kernel_creators.h"
#include "glow/kernel_multiplier.h"
#include "glow/kernel_setter.h"
#include "glow/kernel_size.h"
#include "glow/tile_loop.h"
#include "library/fft/buffer.h"
#include "library/fft/fft2d.h"

namespace Diffusion {

PF_Err Renderer::diffuse(std::vector<Glow::Color>& buffer, PF_LayerDef* diffusion, bool weighted,
                         double weightFactor) {
    const int width = diffusion->width;
    const int height = diffusion->height;
    // Nothing to write, and an empty side has nothing to mirror onto (its wrap divides by it).
    if (width <= 0 || height <= 0) return PF_Err_NONE;
    if (buffer.size() < size_t(width) * size_t(height)) return PF_Err_BAD_CALLBACK_PARAM;

    try {
        const int threads = std::max<int>(threadCount, 1);
        const KernelRecord record{values[ROW_BLUR_RADIUS].value.d * downsampleX,
                                  values[ROW_BLUR_SOFTNESS].value.d - 10.0};
        std::vector<std::unique_ptr<KernelCreator>> creators;
        creators.push_back(std::make_unique<KernelCreator>(inData, suites, bpc, threads, &record));
        const int radius = Glow::kernelRadius(inData, creators);
        const int size = Glow::getKernelSize(radius, width, height);

        Morvel::FFT::FFT2D fft(inData, suites, threads, 0);
        fft.init(size);
        Morvel::FFT::Buffer kernel;
        if (!fft.initialised() || !kernel.init(size)) return PF_Err_OUT_OF_MEMORY;
        PF_Err err = Glow::runKernelCreator(inData, suites, *creators.front(), PF_Err_NONE, size, kernel.rows());
        if (!err) err = fft.fft(1, kernel.rows());
        if (!err && inData->inter.abort != nullptr) err = inData->inter.abort(inData->effect_ref);
        if (err) return err;

        Morvel::FFT::Buffer bufferA;
        Morvel::FFT::Buffer bufferB;
        if (!bufferA.init(size) || !bufferB.init(size)) return PF_Err_OUT_OF_MEMORY;

        Glow::KernelSetterNormalParameters setterParams;
        setterParams.width = width;
        setterParams.height = height;
        setterParams.size = size;
        setterParams.source = &buffer;
        setterParams.wrap = Glow::kernelWrapOf(values[ROW_WRAP].value.i);
        setterParams.bufferA = bufferA.rows();
        setterParams.bufferB = bufferB.rows();
        Glow::KernelMultiplierNormalParameters multiplierParams{size, kernel.rows(), bufferA.rows(), bufferB.rows()};
        OutputterParameters outputterParams;
        outputterParams.diffusion = diffusion;
        outputterParams.size = size;
        outputterParams.half = size / 2;
        outputterParams.scale = 1.0 / (double(size) * double(size));
        outputterParams.radius = radius;
        outputterParams.width = width;
        outputterParams.height = height;
        outputterParams.weighted = weighted;
        outputterParams.weightFactor = weightFactor;
        outputterParams.bufferA = bufferA.rows();
        outputterParams.bufferB = bufferB.rows();

        Glow::KernelSetterNormal setter(inData, suites, &setterParams);
        Glow::KernelMultiplierNormal multiplier(inData, suites, &multiplierParams);
        Outputter outputter(inData, suites, bpc, &outputterParams);

        const Glow::TileGrid grid(width, height, size, radius);
        return Glow::forEachTile(inData, width, height, grid, [&](int tx, int ty) {
            setterParams.tileX = outputterParams.tileX = tx;
            setterParams.tileY = outputterParams.tileY = ty;
            return Glow::convolveTilePair(inData, suites, fft, setter, multiplier, outputter, bufferA.rows(),
                                          bufferB.rows());
        });
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    }
}

}  // namespace Diffusion
