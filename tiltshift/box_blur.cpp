#include "tiltshift/box_blur.h"

#include <algorithm>
#include <cstring>

#include "tiltshift/box_blur_line.h"

namespace TiltShift {

// Float entries can be weighted to anything up to the cap; their windows must not be read as
// differences of huge sums. Integer depths keep plain prefix sums.
using IntegerSums = PrefixSums;
using FloatSums = DisjointSums;

VerticalBoxBlur::VerticalBoxBlur(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                                 PF_LayerDef* output, BoxBlurParameters* params)
    : Filter(in_data, suites, bpc, input, output, params) {
    by_columns = true;
}

PF_Err VerticalBoxBlur::filter8(const Morvel::Rect<int>& area, bool first) { return columns<IntegerSums>(area, first); }
PF_Err VerticalBoxBlur::filter16(const Morvel::Rect<int>& area, bool first) {
    return columns<IntegerSums>(area, first);
}
PF_Err VerticalBoxBlur::filter32(const Morvel::Rect<int>& area, bool first) { return columns<FloatSums>(area, first); }

// Columns are gathered a group at a time, so that each row's stretch of the buffer is read and
// written once per group rather than once per column.
constexpr int kColumnGroup = 16;

template <typename Sums>
PF_Err VerticalBoxBlur::columns(const Morvel::Rect<int>& area, bool first) {
    const size_t width = size_t(output->width);
    const int64_t height = area.bottom - area.top;
    if (height <= 0) return PF_Err_NONE;
    auto* colours = reinterpret_cast<Entry*>(params->colours->data());
    const double* amounts = params->amounts->data();
    std::vector<Entry> lines(size_t(kColumnGroup) * size_t(height));
    std::vector<double> lineAmounts(lines.size());
    std::vector<Entry> blurred(static_cast<size_t>(height));
    Sums sums;
    for (int left = area.left; left < area.right; left += kColumnGroup) {
        const int count = std::min(kColumnGroup, area.right - left);
        for (int64_t y = 0; y < height; ++y) {
            const size_t k = size_t(area.top + y) * width + size_t(left);
            for (int c = 0; c < count; ++c) {
                lines[size_t(c) * size_t(height) + size_t(y)] = colours[k + size_t(c)];
                lineAmounts[size_t(c) * size_t(height) + size_t(y)] = amounts[k + size_t(c)];
            }
        }
        for (int c = 0; c < count; ++c) {
            const size_t offset = size_t(c) * size_t(height);
            blurLine(lines.data() + offset, lineAmounts.data() + offset, height, params->a, params->b,
                     params->repeatEdgePixels, sums, [&](int64_t y, const Entry& e) { blurred[size_t(y)] = e; });
            std::copy(blurred.begin(), blurred.end(), lines.begin() + std::ptrdiff_t(offset));
            if (first) {
                if (PF_Err err = checkAbort(in_data)) return err;
            }
        }
        for (int64_t y = 0; y < height; ++y) {
            const size_t k = size_t(area.top + y) * width + size_t(left);
            for (int c = 0; c < count; ++c) colours[k + size_t(c)] = lines[size_t(c) * size_t(height) + size_t(y)];
        }
    }
    return PF_Err_NONE;
}

PF_Err HorizontalBoxBlur::filter8(const Morvel::Rect<int>& area, bool first) {
    return rows<PF_Pixel, IntegerSums>(area, first);
}
PF_Err HorizontalBoxBlur::filter16(const Morvel::Rect<int>& area, bool first) {
    return rows<PF_Pixel16, IntegerSums>(area, first);
}
PF_Err HorizontalBoxBlur::filter32(const Morvel::Rect<int>& area, bool first) {
    return rows<PF_PixelFloat, FloatSums>(area, first);
}

template <typename Pixel, typename Sums>
PF_Err HorizontalBoxBlur::rows(const Morvel::Rect<int>& area, bool first) {
    const int64_t width = area.right - area.left;
    auto* colours = reinterpret_cast<Entry*>(params->colours->data());
    const double* amounts = params->amounts->data();
    const OutputStep<Pixel> step(in_data, params->output);
    std::vector<Entry> line(size_t(width > 0 ? width : 0));
    Sums sums;
    for (int y = area.top; y < area.bottom; ++y) {
        const size_t start = size_t(y) * size_t(output->width) + size_t(area.left);
        Entry* row = colours + start;
        const double* rowAmounts = amounts + start;
        if (width > 0) std::memcpy(line.data(), row, line.size() * sizeof(Entry));
        if (params->lastRound) {
            Pixel* out = Morvel::pixelRow<Pixel>(output, y) + area.left;
            blurLine(line.data(), rowAmounts, width, params->a, params->b, params->repeatEdgePixels, sums,
                     [&](int64_t x, const Entry& e) { out[x] = step(e.v, rowAmounts[x]); });
        } else {
            blurLine(line.data(), rowAmounts, width, params->a, params->b, params->repeatEdgePixels, sums,
                     [&](int64_t x, const Entry& e) { row[x] = e; });
        }
        if (first) {
            if (PF_Err err = checkAbort(in_data)) return err;
        }
    }
    return PF_Err_NONE;
}

}  // namespace TiltShift
