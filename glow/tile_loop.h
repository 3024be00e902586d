#pragma once

#include <algorithm>
#include <cstdint>

#include "Util/AEGP_SuiteHandler.h"
#include "library/fft/fft2d.h"
#include "library/filter/iterate.h"
#include "morvel_host/host.h"

namespace Glow {

// Overlap-save tiling of a width x height image with FFT tiles of size overlapping by the kernel
// radius: tile origins -radius, -radius + step, ... with step = size - 2 radius, so the written
// windows [origin + radius, origin + size - radius) abut from 0 on.
struct TileGrid {
    int size;
    int radius;
    int step;
    int progressTotal;  // one column or row more than the tiles when (extent + radius) is a multiple of step

    TileGrid(int width, int height, int size, int radius) : size(size), radius(radius), step(size - 2 * radius) {
        const int64_t columns = (int64_t{width} + radius) / step + 1;
        const int64_t rows = (int64_t{height} + radius) / step + 1;
        progressTotal = static_cast<int>(std::min<int64_t>(columns * rows, INT32_MAX));
    }
};

// Runs tile(tx, ty) over every tile, row of tiles by row of tiles; after each tile polls the
// host's abort and reports progress (whose result does not matter). The first error ends it.
template <typename Tile>
PF_Err forEachTile(PF_InData* in_data, int width, int height, const TileGrid& grid, Tile&& tile) {
    int done = 0;
    for (int64_t ty = -grid.radius; ty < height; ty += grid.step) {
        for (int64_t tx = -grid.radius; tx < width; tx += grid.step) {
            if (PF_Err err = tile(static_cast<int>(tx), static_cast<int>(ty))) return err;
            if (in_data->inter.abort != nullptr) {
                if (PF_Err err = in_data->inter.abort(in_data->effect_ref)) return err;
            }
            ++done;
            if (in_data->inter.progress != nullptr) {
                (void)in_data->inter.progress(in_data->effect_ref, done, grid.progressTotal);
            }
        }
    }
    return PF_Err_NONE;
}

// One tile of a four-channel convolution in two complex planes: load, both forward, multiply by
// the kernel's spectrum, both back, write. The first error ends it.
template <typename Setter, typename Multiplier, typename Outputter>
PF_Err convolveTilePair(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::FFT::FFT2D& fft, Setter& setter,
                        Multiplier& multiplier, Outputter& outputter, double** bufferA, double** bufferB) {
    constexpr int kOncePerProcessor = PF_Iterations_ONCE_PER_PROCESSOR;
    PF_Err err = Morvel::iterateGeneric(in_data, suites, setter, kOncePerProcessor);
    if (!err) err = fft.fft(1, bufferA);
    if (!err) err = fft.fft(1, bufferB);
    if (!err) err = Morvel::iterateGeneric(in_data, suites, multiplier, kOncePerProcessor);
    if (!err) err = fft.fft(-1, bufferA);
    if (!err) err = fft.fft(-1, bufferB);
    if (!err) err = Morvel::iterateGeneric(in_data, suites, outputter, kOncePerProcessor);
    return err;
}

}  // namespace Glow
