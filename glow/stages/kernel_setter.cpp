#include "glow/stages/kernel_setter.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "glow/stages/band_range.h"
#include "glow/stages/wrap_function.h"

namespace Glow {

namespace {

void mapImageRows(std::vector<int>& imageRows, const std::function<int(int)>& wrapY, int tileY, int height,
                  BandRange columns) {
    for (int y = columns.first; y < columns.end; ++y) {
        const int Y = wrapY(tileY + y);
        imageRows[static_cast<std::size_t>(y)] = Y >= 0 && Y < height ? Y : -1;
    }
}

// Columns per block of the band walk: the reads and writes of a block stay on a few cache lines.
constexpr int kColumnBlock = 16;

void clear(double* row, BandRange columns) { std::fill(row + 2 * columns.first, row + 2 * columns.end, 0.0); }

// Walks band's columns of every buffer row x: clear(x, columns) where image column wrapX(tileX + x)
// lies outside the image, else load(x, y, the record or null beyond the image's rows). The columns
// go in blocks, so that a block reads a few image rows side by side as it walks down the rows.
template <typename Record, typename Clear, typename Load>
void loadBand(const std::vector<int>& imageRows, const std::function<int(int)>& wrapX, int tileX, int width, int size,
              BandRange band, const Record* source, Clear clear, Load load) {
    const std::size_t stride = static_cast<std::size_t>(width);
    for (int block = band.first; block < band.end; block += kColumnBlock) {
        const BandRange columns{block, std::min(block + kColumnBlock, band.end)};
        for (int x = 0; x < size; ++x) {
            const int X = wrapX(tileX + x);
            if (X < 0 || X >= width) {
                clear(x, columns);
                continue;
            }
            const Record* column = source + X;
            for (int y = columns.first; y < columns.end; ++y) {
                const int Y = imageRows[static_cast<std::size_t>(y)];
                load(x, y, Y < 0 ? nullptr : column + static_cast<std::size_t>(Y) * stride);
            }
        }
    }
}

}  // namespace

KernelSetterBase::KernelSetterBase(PF_InData* in_data, AEGP_SuiteHandler& suites, int width, int height,
                                   Morvel::Wrap wrap, int size)
    : in_data(in_data),
      suites(suites),
      wrapX(generateWrapFunc(width, wrap)),
      wrapY(generateWrapFunc(height, wrap)),
      imageRows(static_cast<std::size_t>(std::max(size, 0)), -1) {}

template <typename Pixel, std::size_t Planes, typename Values>
void KernelSetterBase::load(const KernelSetterSource<Pixel>& tile, int i, int n, double* const* const (&planes)[Planes],
                            Values values) {
    const BandRange band = bandRange(tile.size, i, n);
    mapImageRows(imageRows, wrapY, tile.tileY, tile.height, band);
    loadBand(
        imageRows, wrapX, tile.tileX, tile.width, tile.size, band, tile.source.data(),
        [&](int x, BandRange columns) {
            for (double* const* plane : planes) clear(plane[x], columns);
        },
        [&](int x, int y, const Pixel* pixel) {
            if (pixel == nullptr) {
                for (double* const* plane : planes) plane[x][2 * y] = plane[x][2 * y + 1] = 0.0;
                return;
            }
            const auto parts = values(*pixel);
            for (std::size_t k = 0; k < Planes; ++k) {
                double* at = planes[k][x] + 2 * y;
                at[0] = parts[2 * k];
                at[1] = parts[2 * k + 1];
            }
        });
}

KernelSetterNormal::KernelSetterNormal(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                       KernelSetterNormalParameters* params)
    : KernelSetterBase(in_data, suites, params->width, params->height, params->wrap, params->size), params(params) {}

PF_Err KernelSetterNormal::operator()(int i, int n) {
    double* const* const planes[2] = {params->bufferA, params->bufferB};
    load(*params, i, n, planes, [](const Color& p) { return std::array<double, 4>{p.red, p.green, p.blue, p.alpha}; });
    return PF_Err_NONE;
}

KernelSetterChannel::KernelSetterChannel(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                         KernelSetterChannelParameters* params)
    : KernelSetterBase(in_data, suites, params->width, params->height, params->wrap, params->size), params(params) {}

PF_Err KernelSetterChannel::operator()(int i, int n) {
    double* const* const planes[3] = {params->red, params->green, params->blue};
    load(*params, i, n, planes, [](const ChannelColor& p) {
        return std::array<double, 6>{p.red, p.redAlpha, p.green, p.greenAlpha, p.blue, p.blueAlpha};
    });
    return PF_Err_NONE;
}

}  // namespace Glow
