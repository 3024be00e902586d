#include "glow/kernel_setter.h"

#include <algorithm>
#include <cstddef>

#include "glow/band_range.h"
#include "glow/wrap_function.h"

namespace Glow {

namespace {

void mapImageRows(std::vector<int>& imageRows, const std::function<int(int)>& wrapY, int tileY, int height,
                  BandRange columns) {
    for (int y = columns.first; y < columns.end; ++y) {
        const int Y = wrapY(tileY + y);
        imageRows[static_cast<std::size_t>(y)] = Y >= 0 && Y < height ? Y : -1;
    }
}

// A band's columns in blocks of a few: a block reads a few image rows side by side as it walks
// down the buffer rows, so both the reads and the writes stay on a handful of cache lines.
constexpr int kColumnBlock = 16;

void clear(double* row, BandRange columns) {
    std::fill(row + 2 * columns.first, row + 2 * columns.end, 0.0);
}

}  // namespace

KernelSetterNormal::KernelSetterNormal(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                       KernelSetterNormalParameters* params)
    : in_data(in_data),
      suites(suites),
      params(params),
      wrapX(generateWrapFunc(params->width, params->wrap)),
      wrapY(generateWrapFunc(params->height, params->wrap)),
      imageRows(static_cast<std::size_t>(std::max(params->size, 0)), -1) {}

PF_Err KernelSetterNormal::operator()(int i, int n) {
    const KernelSetterNormalParameters& p = *params;
    const BandRange band = bandRange(p.size, i, n);
    mapImageRows(imageRows, wrapY, p.tileY, p.height, band);
    const Color* source = p.source->data();
    const std::size_t width = static_cast<std::size_t>(p.width);
    for (int block = band.first; block < band.end; block += kColumnBlock) {
        const BandRange columns{block, std::min(block + kColumnBlock, band.end)};
        for (int x = 0; x < p.size; ++x) {
            double* a = p.bufferA[x];
            double* b = p.bufferB[x];
            const int X = wrapX(p.tileX + x);
            if (X < 0 || X >= p.width) {
                clear(a, columns);
                clear(b, columns);
                continue;
            }
            const Color* column = source + X;
            for (int y = columns.first; y < columns.end; ++y) {
                const int Y = imageRows[static_cast<std::size_t>(y)];
                if (Y < 0) {
                    a[2 * y] = a[2 * y + 1] = b[2 * y] = b[2 * y + 1] = 0.0;
                    continue;
                }
                const Color& pixel = column[static_cast<std::size_t>(Y) * width];
                a[2 * y] = pixel.red;
                a[2 * y + 1] = pixel.green;
                b[2 * y] = pixel.blue;
                b[2 * y + 1] = pixel.alpha;
            }
        }
    }
    return PF_Err_NONE;
}

KernelSetterChannel::KernelSetterChannel(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                         KernelSetterChannelParameters* params)
    : in_data(in_data),
      suites(suites),
      params(params),
      wrapX(generateWrapFunc(params->width, params->wrap)),
      wrapY(generateWrapFunc(params->height, params->wrap)),
      imageRows(static_cast<std::size_t>(std::max(params->size, 0)), -1) {}

PF_Err KernelSetterChannel::operator()(int i, int n) {
    const KernelSetterChannelParameters& p = *params;
    const BandRange band = bandRange(p.size, i, n);
    mapImageRows(imageRows, wrapY, p.tileY, p.height, band);
    const ChannelColor* source = p.source->data();
    const std::size_t width = static_cast<std::size_t>(p.width);
    for (int block = band.first; block < band.end; block += kColumnBlock) {
        const BandRange columns{block, std::min(block + kColumnBlock, band.end)};
        for (int x = 0; x < p.size; ++x) {
            double* red = p.red[x];
            double* green = p.green[x];
            double* blue = p.blue[x];
            const int X = wrapX(p.tileX + x);
            if (X < 0 || X >= p.width) {
                clear(red, columns);
                clear(green, columns);
                clear(blue, columns);
                continue;
            }
            const ChannelColor* column = source + X;
            for (int y = columns.first; y < columns.end; ++y) {
                const int Y = imageRows[static_cast<std::size_t>(y)];
                if (Y < 0) {
                    red[2 * y] = red[2 * y + 1] = green[2 * y] = green[2 * y + 1] = blue[2 * y] = blue[2 * y + 1] = 0.0;
                    continue;
                }
                const ChannelColor& pixel = column[static_cast<std::size_t>(Y) * width];
                red[2 * y] = pixel.red;
                red[2 * y + 1] = pixel.redAlpha;
                green[2 * y] = pixel.green;
                green[2 * y + 1] = pixel.greenAlpha;
                blue[2 * y] = pixel.blue;
                blue[2 * y + 1] = pixel.blueAlpha;
            }
        }
    }
    return PF_Err_NONE;
}

}  // namespace Glow
