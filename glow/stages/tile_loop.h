#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/stages/band_range.h"
#include "library/fft/buffer.h"
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
    int64_t columns;    // of the tiles run
    int64_t rows;

    TileGrid(int width, int height, int size, int radius) : size(size), radius(radius), step(size - 2 * radius) {
        const int64_t reachX = int64_t{width} + radius;
        const int64_t reachY = int64_t{height} + radius;
        columns = std::max<int64_t>((reachX + step - 1) / step, 0);
        rows = std::max<int64_t>((reachY + step - 1) / step, 0);
        const int64_t total = (reachX / step + 1) * (reachY / step + 1);
        progressTotal = static_cast<int>(std::min<int64_t>(total, INT32_MAX));
    }

    int64_t tiles() const { return columns * rows; }
    // Tile k counts row of tiles by row of tiles from the top left.
    int originX(int64_t k) const { return static_cast<int>(-radius + (k % columns) * step); }
    int originY(int64_t k) const { return static_cast<int>(-radius + (k / columns) * step); }
};

// How the tiles use the host's threads: inFlight tiles at once, each whole on one thread with
// planes of its own; or one tile at a time with its passes and transforms split over the host's
// bands (banded), which is faster where the tiles in flight would no longer share the caches, or
// where one tile is all there is.
struct TilePlan {
    int inFlight = 1;
    bool banded = false;
};

// Tiles above this size run banded: side by side, their planes would leave the caches.
constexpr int kLargestConcurrentTile = 512;
// Bytes the planes of the tiles in flight may take together.
constexpr std::size_t kTilePlaneBudget = std::size_t(128) << 20;

// threads: the render's worker-thread count; planes: the complex planes of one tile.
inline TilePlan planTiles(const TileGrid& grid, int threads, int planes) {
    const std::size_t side = static_cast<std::size_t>(std::max(grid.size, 1));
    const std::size_t tileBytes = static_cast<std::size_t>(std::max(planes, 1)) * side * side * 2 * sizeof(double);
    const int64_t byMemory = std::max<int64_t>(static_cast<int64_t>(kTilePlaneBudget / tileBytes), 1);
    const int64_t inFlight =
        std::max<int64_t>(std::min<int64_t>({threads, Morvel::kMaxIterateThreads, grid.tiles(), byMemory}), 1);
    TilePlan plan;
    plan.banded = threads > 1 && (inFlight < 2 || grid.size > kLargestConcurrentTile);
    plan.inFlight = plan.banded ? 1 : static_cast<int>(inFlight);
    return plan;
}

// A tile in flight: complex planes of its own and the setter, multiplier and outputter that work
// on them, with their records. Parts names the six types (as ConvolutionMode does) and kPlanes.
// The client wires the records to the planes and then constructs the functors; the functors keep
// pointers to the records, so a slot does not move.
template <typename Parts>
struct TileSlot {
    std::array<Morvel::FFT::Buffer, Parts::kPlanes> planes;
    std::array<double**, Parts::kPlanes> images{};
    typename Parts::SetterParameters setterParams;
    typename Parts::MultiplierParameters multiplierParams;
    typename Parts::OutputterParameters outputterParams;
    std::optional<typename Parts::Setter> setter;
    std::optional<typename Parts::Multiplier> multiplier;
    std::optional<typename Parts::Outputter> outputter;

    // Planes of size x size, zero-filled; std::bad_alloc when they cannot be had.
    explicit TileSlot(int size) {
        for (std::size_t k = 0; k < Parts::kPlanes; ++k) {
            if (!planes[k].init(size)) throw std::bad_alloc();
            images[k] = planes[k].rows();
        }
    }
    TileSlot(const TileSlot&) = delete;
    TileSlot& operator=(const TileSlot&) = delete;

    void place(int tileX, int tileY) {
        setterParams.tileX = outputterParams.tileX = tileX;
        setterParams.tileY = outputterParams.tileY = tileY;
    }
};

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

// One slot's tile whole on the calling thread, its transforms in the FFT's work room of `band`:
// the steps of convolveTile as one band, so the arithmetic is the same value by value.
template <typename Parts>
PF_Err convolveAlone(Morvel::FFT::FFT2D& fft, TileSlot<Parts>& slot, int band) {
    constexpr int count = static_cast<int>(Parts::kPlanes);
    const int size = fft.size();
    if (PF_Err err = (*slot.setter)(0, 1)) return err;
    fft.transformColumnRange(1, slot.images.data(), count, 0, size, band);
    fft.transformRowRange(1, slot.images.data(), count, 0, size, band);
    if (PF_Err err = (*slot.multiplier)(0, 1)) return err;
    fft.transformRowRange(-1, slot.images.data(), count, 0, size, band);
    fft.transformColumnRange(-1, slot.images.data(), count, 0, size, band);
    return (*slot.outputter)(0, 1);
}

// What became of one tile in flight.
struct TileResult {
    bool ran = false;
    PF_Err err = PF_Err_NONE;
};

// Band i convolves the tile of slot i whole. Each band keeps its result in its own entry, so that
// the tiles' errors are taken in tile order whatever the host makes of them.
template <typename Parts>
struct ConcurrentTiles {
    Morvel::FFT::FFT2D& fft;
    std::vector<std::unique_ptr<TileSlot<Parts>>>& slots;
    std::vector<TileResult>& results;
    int count;

    PF_Err operator()(int i, int /*n*/) {
        if (i < 0 || i >= count) return PF_Err_NONE;
        auto tile = [this, i](int, int) { return convolveAlone(fft, *slots[static_cast<std::size_t>(i)], i); };
        TileResult& result = results[static_cast<std::size_t>(i)];
        result.err = Morvel::detail::runBand(tile, 0, 1);
        result.ran = true;
        return result.err;
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

// Convolves every tile of the grid with the slots' functors: slots.size() tiles at a time, one per
// band of a host iteration, or one tile banded as convolveTile when the plan says so (one slot).
// After each tile, in tile order on the calling thread, polls the host's abort and reports
// progress (whose result does not matter); the first error in tile order ends it, and a tile the
// host did not run ends it with the host's error. Tiles write disjoint windows of the world, so
// tiles in flight never write the same pixel.
template <typename Parts>
PF_Err convolveTiles(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::FFT::FFT2D& fft, const TileGrid& grid,
                     const TilePlan& plan, std::vector<std::unique_ptr<TileSlot<Parts>>>& slots) {
    if (slots.empty()) return PF_Err_BAD_CALLBACK_PARAM;
    const int inFlight = plan.banded ? 1 : static_cast<int>(slots.size());
    std::vector<detail::TileResult> results(static_cast<std::size_t>(inFlight));
    int done = 0;
    const int64_t tiles = grid.tiles();
    for (int64_t first = 0; first < tiles; first += inFlight) {
        const int count = static_cast<int>(std::min<int64_t>(inFlight, tiles - first));
        for (int j = 0; j < count; ++j) {
            slots[static_cast<std::size_t>(j)]->place(grid.originX(first + j), grid.originY(first + j));
        }
        std::fill(results.begin(), results.end(), detail::TileResult{});
        PF_Err hostErr = PF_Err_NONE;
        if (plan.banded) {
            TileSlot<Parts>& slot = *slots.front();
            results.front().err = convolveTile(in_data, suites, fft, *slot.setter, *slot.multiplier, *slot.outputter,
                                               slot.images.data(), static_cast<int>(Parts::kPlanes));
            results.front().ran = true;
        } else {
            detail::ConcurrentTiles<Parts> batch{fft, slots, results, count};
            hostErr = Morvel::iterateGeneric(in_data, suites, batch, count);
        }
        for (int j = 0; j < count; ++j) {
            const detail::TileResult& result = results[static_cast<std::size_t>(j)];
            if (!result.ran) return hostErr != PF_Err_NONE ? hostErr : PF_Err_INTERNAL_STRUCT_DAMAGED;
            if (result.err) return result.err;
            if (in_data->inter.abort != nullptr) {
                if (PF_Err err = in_data->inter.abort(in_data->effect_ref)) return err;
            }
            ++done;
            if (in_data->inter.progress != nullptr) {
                (void)in_data->inter.progress(in_data->effect_ref, done, grid.progressTotal);
            }
        }
        if (hostErr) return hostErr;
    }
    return PF_Err_NONE;
}

}  // namespace Glow
