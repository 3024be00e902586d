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

// Columns per block of the band walk: the reads and writes of a block stay on a few cache lines.
constexpr int kColumnBlock = 16;

void clear(double* row, BandRange columns) {
    std::fill(row + 2 * columns.first, row + 2 * columns.end, 0.0);
}

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
    double* const* bufferA = p.bufferA;
    double* const* bufferB = p.bufferB;
    loadBand(
        imageRows, wrapX, p.tileX, p.width, p.size, band, p.source->data(),
        [&](int x, BandRange columns) {
            clear(bufferA[x], columns);
            clear(bufferB[x], columns);
        },
        [&](int x, int y, const Color* pixel) {
            double* a = bufferA[x] + 2 * y;
            double* b = bufferB[x] + 2 * y;
            if (pixel == nullptr) {
                a[0] = a[1] = b[0] = b[1] = 0.0;
                return;
            }
            a[0] = pixel->red;
            a[1] = pixel->green;
            b[0] = pixel->blue;
            b[1] = pixel->alpha;
        });
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
    double* const* red = p.red;
    double* const* green = p.green;
    double* const* blue = p.blue;
    loadBand(
        imageRows, wrapX, p.tileX, p.width, p.size, band, p.source->data(),
        [&](int x, BandRange columns) {
            clear(red[x], columns);
            clear(green[x], columns);
            clear(blue[x], columns);
        },
        [&](int x, int y, const ChannelColor* pixel) {
            double* r = red[x] + 2 * y;
            double* g = green[x] + 2 * y;
            double* b = blue[x] + 2 * y;
            if (pixel == nullptr) {
                r[0] = r[1] = g[0] = g[1] = b[0] = b[1] = 0.0;
                return;
            }
            r[0] = pixel->red;
            r[1] = pixel->redAlpha;
            g[0] = pixel->green;
            g[1] = pixel->greenAlpha;
            b[0] = pixel->blue;
            b[1] = pixel->blueAlpha;
        });
    return PF_Err_NONE;
}

}  // namespace Glow
