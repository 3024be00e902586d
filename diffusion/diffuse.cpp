#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "diffusion/kernel_creator.h"
#include "diffusion/outputter.h"
#include "diffusion/parameter_table.h"
#include "diffusion/renderer.h"
#include "glow/stages/kernel_creators.h"
#include "glow/stages/kernel_multiplier.h"
#include "glow/stages/kernel_setter.h"
#include "glow/stages/kernel_size.h"
#include "glow/stages/render_settings.h"
#include "glow/stages/tile_loop.h"
#include "library/fft/buffer.h"
#include "library/fft/fft2d.h"

namespace Diffusion {

namespace {

// A tile's parts: the glow's one-colour setter and multiplier, A = red + i green and
// B = blue + i alpha, with the diffusion's own outputter.
struct TileParts {
    using SetterParameters = Glow::KernelSetterNormalParameters;
    using Setter = Glow::KernelSetterNormal;
    using MultiplierParameters = Glow::KernelMultiplierNormalParameters;
    using Multiplier = Glow::KernelMultiplierNormal;
    using OutputterParameters = Diffusion::OutputterParameters;
    using Outputter = Diffusion::Outputter;
    static constexpr std::size_t kPlanes = 2;
};

}  // namespace

PF_Err Renderer::diffuse(Glow::Records<Glow::Color> buffer, PF_LayerDef* diffusion, bool weighted,
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
        if (PF_Err err = fft.init(size)) return err;
        Morvel::FFT::Buffer kernel;
        if (!kernel.init(size)) return PF_Err_OUT_OF_MEMORY;
        PF_Err err = Glow::runKernelCreator(inData, suites, *creators.front(), PF_Err_NONE, size, kernel.rows());
        if (!err) err = fft.fft(1, kernel.rows());
        if (!err && inData->inter.abort != nullptr) err = inData->inter.abort(inData->effect_ref);
        if (err) return err;

        Glow::KernelSetterNormalParameters setterParams;
        setterParams.width = width;
        setterParams.height = height;
        setterParams.size = size;
        setterParams.source = buffer;
        setterParams.wrap = Glow::kernelWrapOf(values[ROW_WRAP].value.i);
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

        const Glow::TileGrid grid(width, height, size, radius);
        const Glow::TilePlan plan = Glow::planTiles(grid, threads, static_cast<int>(TileParts::kPlanes));
        std::vector<std::unique_ptr<Glow::TileSlot<TileParts>>> slots;
        for (int k = 0; k < plan.inFlight; ++k) {
            auto slot = std::make_unique<Glow::TileSlot<TileParts>>(size);
            double** const bufferA = slot->images[0];
            double** const bufferB = slot->images[1];
            slot->setterParams = setterParams;
            slot->setterParams.bufferA = bufferA;
            slot->setterParams.bufferB = bufferB;
            slot->multiplierParams = {size, kernel.rows(), bufferA, bufferB};
            slot->outputterParams = outputterParams;
            slot->outputterParams.bufferA = bufferA;
            slot->outputterParams.bufferB = bufferB;
            slot->setter.emplace(inData, suites, &slot->setterParams);
            slot->multiplier.emplace(inData, suites, &slot->multiplierParams);
            slot->outputter.emplace(inData, suites, bpc, &slot->outputterParams);
            slots.push_back(std::move(slot));
        }
        return Glow::convolveTiles(inData, suites, fft, grid, plan, slots);
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    }
}

}  // namespace Diffusion
