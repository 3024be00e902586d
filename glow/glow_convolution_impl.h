#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <new>
#include <tuple>
#include <vector>

#include "glow/glow_convolution.h"
#include "glow/stages/kernel_creators.h"
#include "glow/stages/kernel_size.h"
#include "glow/stages/tile_loop.h"
#include "library/fft/buffer.h"
#include "library/fft/fft2d.h"
#include "library/filter/iterate.h"

namespace Glow {

namespace Convolution {

template <std::size_t N>
using Rows = std::array<double**, N>;

// N complex buffers of one size, zero-filled.
template <std::size_t N>
struct Buffers {
    std::array<Morvel::FFT::Buffer, N> buffers;

    bool init(int size) {
        for (Morvel::FFT::Buffer& buffer : buffers) {
            if (!buffer.init(size)) return false;
        }
        return true;
    }
    Rows<N> rows() {
        Rows<N> rows{};
        for (std::size_t i = 0; i < N; ++i) rows[i] = buffers[i].rows();
        return rows;
    }
};

// Whether there is work: an error for missing inputs or a source shorter than the glow world,
// else PF_Err_NONE with `empty` set when the world has no pixels to write.
inline PF_Err checkInputs(const PF_LayerDef* glowWorld, const GlowParameters* params, const void* source,
                          std::size_t sourceCount, bool& empty) {
    empty = false;
    if (glowWorld == nullptr || params == nullptr || source == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    empty = glowWorld->width <= 0 || glowWorld->height <= 0;
    if (empty) return PF_Err_NONE;
    const std::size_t pixels = static_cast<std::size_t>(glowWorld->width) * static_cast<std::size_t>(glowWorld->height);
    return sourceCount < pixels ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE;
}

}  // namespace Convolution

template <typename Source>
PF_Err GlowConvolution<Source>::execute() {
    using Mode = ConvolutionMode<Source>;
    bool empty = false;
    if (PF_Err err = Convolution::checkInputs(glowWorld, params, source ? &source : nullptr, source.size(), empty)) {
        return err;
    }
    // An empty world has nothing to wrap onto (Mirror would divide by its size) and nothing to write.
    if (empty) return PF_Err_NONE;
    const int width = glowWorld->width;
    const int height = glowWorld->height;
    try {
        const int threads = std::max(threadCount, 1);
        auto creators = Mode::creators(in_data, suites, bpc, threads, params);
        const int radius = kernelRadius(in_data, creators);
        const int size = getKernelSize(radius, width, height);

        Morvel::FFT::FFT2D fft(in_data, suites, threads, 0);
        if (PF_Err err = fft.init(size)) return err;
        Convolution::Buffers<Mode::kKernels> kernels;
        if (!kernels.init(size)) return PF_Err_OUT_OF_MEMORY;
        const Convolution::Rows<Mode::kKernels> kernelRows = kernels.rows();

        // Every creator adds into the same kernels, so each sees what those before it added.
        auto run = [&](auto& creator, PF_Err pending) {
            return std::apply(
                [&](auto... rows) { return runKernelCreator(in_data, suites, creator, pending, size, rows...); },
                kernelRows);
        };
        PF_Err err = PF_Err_NONE;
        for (auto& creator : creators) err = run(*creator, err);
        typename Mode::OutputterParameters outputterParams;
        {
            typename Mode::Divisor divisor(in_data, suites, bpc, threads, params);
            err = run(divisor, err);
            Mode::takeTotals(divisor, outputterParams);
        }
        for (double** rows : kernelRows) {
            if (!err) err = fft.fft(1, rows);
        }
        if (!err && in_data->inter.abort != nullptr) err = in_data->inter.abort(in_data->effect_ref);
        if (err) return err;

        typename Mode::SetterParameters setterParams;
        setterParams.width = width;
        setterParams.height = height;
        setterParams.size = size;
        setterParams.source = source;
        setterParams.wrap = params->wrap;
        typename Mode::MultiplierParameters multiplierParams;
        multiplierParams.size = size;
        outputterParams.size = size;
        outputterParams.radius = radius;
        outputterParams.exposure = params->exposure;
        outputterParams.unmult = params->glowUnmult;
        outputterParams.black = params->glowBlack;
        outputterParams.white = params->glowWhite;
        outputterParams.gamma = params->glowGamma;
        outputterParams.alphaBlack = params->glowAlphaBlack;
        outputterParams.alphaWhite = params->glowAlphaWhite;

        const TileGrid grid(width, height, size, radius);
        const TilePlan plan = planTiles(grid, threads, static_cast<int>(Mode::kPlanes));
        std::vector<std::unique_ptr<TileSlot<Mode>>> slots;
        for (int k = 0; k < plan.inFlight; ++k) {
            auto slot = std::make_unique<TileSlot<Mode>>(size);
            slot->setterParams = setterParams;
            slot->multiplierParams = multiplierParams;
            slot->outputterParams = outputterParams;
            Mode::attach(kernelRows, slot->images, slot->setterParams, slot->multiplierParams, slot->outputterParams);
            slot->setter.emplace(in_data, suites, &slot->setterParams);
            slot->multiplier.emplace(in_data, suites, &slot->multiplierParams);
            slot->outputter.emplace(in_data, suites, bpc, glowWorld, &slot->outputterParams);
            slots.push_back(std::move(slot));
        }
        return convolveTiles(in_data, suites, fft, grid, plan, slots);
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    }
}

}  // namespace Glow
