#pragma once

#include <algorithm>
#include <cstdint>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/band_range.h"
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

namespace detail {

// The host's bands of one tile, each running a functor's band next to the transforms of the same
// rows or columns, so that a tile takes four host iterations rather than one per functor and two
// per transform. Both rely on the band rule the setter and the multiplier share: band i of n owns
// bandRange(size, i, n), the setter as columns, the multiplier as rows.

// The setter's band, then the forward transform of the columns it has just written.
template <typename Setter>
struct LoadColumns {
    Setter& setter;
    Morvel::FFT::FFT2D& fft;
    double** const* images;
    int count;

    PF_Err operator()(int i, int n) {
        if (PF_Err err = setter(i, n)) return err;
        const BandRange columns = bandRange(fft.size(), i, n);
        fft.transformColumnRange(1, images, count, columns.first, columns.end, i);
        return PF_Err_NONE;
    }
};

// The forward transform of the band's rows completes their spectrum; the multiplier's band
// multiplies exactly those rows, and the backward transform of the same rows follows at once.
template <typename Multiplier>
struct MultiplyRows {
    Multiplier& multiplier;
    Morvel::FFT::FFT2D& fft;
    double** const* images;
    int count;

    PF_Err operator()(int i, int n) {
        const BandRange rows = bandRange(fft.size(), i, n);
        fft.transformRowRange(1, images, count, rows.first, rows.end, i);
        if (PF_Err err = multiplier(i, n)) return err;
        fft.transformRowRange(-1, images, count, rows.first, rows.end, i);
        return PF_Err_NONE;
    }
};

}  // namespace detail

// One tile of a convolution of count complex planes: load, forward, multiply by the kernel's
// spectrum, back, write. Forward goes columns then rows and back rows then columns, which is the
// same transform up to rounding. The setter, multiplier and outputter each run on the host's
// bands with count -1 as they would alone, so the host polls for an abort as often. The first
// error ends it.
template <typename Setter, typename Multiplier, typename Outputter>
PF_Err convolveTile(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::FFT::FFT2D& fft, Setter& setter,
                    Multiplier& multiplier, Outputter& outputter, double** const* images, int count) {
    constexpr int kOncePerProcessor = PF_Iterations_ONCE_PER_PROCESSOR;
    detail::LoadColumns<Setter> load{setter, fft, images, count};
    detail::MultiplyRows<Multiplier> multiply{multiplier, fft, images, count};
    PF_Err err = Morvel::iterateGeneric(in_data, suites, load, kOncePerProcessor);
    if (!err) err = Morvel::iterateGeneric(in_data, suites, multiply, kOncePerProcessor);
    if (!err) err = fft.transformColumns(-1, images, count);
    if (!err) err = Morvel::iterateGeneric(in_data, suites, outputter, kOncePerProcessor);
    return err;
}

// One tile of a four-channel convolution in two complex planes.
template <typename Setter, typename Multiplier, typename Outputter>
PF_Err convolveTilePair(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::FFT::FFT2D& fft, Setter& setter,
                        Multiplier& multiplier, Outputter& outputter, double** bufferA, double** bufferB) {
    double** const images[2] = {bufferA, bufferB};
    return convolveTile(in_data, suites, fft, setter, multiplier, outputter, images, 2);
}

}  // namespace Glow
