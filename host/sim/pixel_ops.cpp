// The copy and fill callbacks of the input record.

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "host/sim/host.h"
#include "host/sim/iterate.h"
#include "host/sim/thread_pool.h"
#include "host/sim/worlds.h"

namespace Sim {

namespace {

std::string rectText(const PF_Rect* r) {
    if (r == nullptr) return "whole";
    return std::string("(") + std::to_string(r->left) + "," + std::to_string(r->top) + "," + std::to_string(r->right) +
           "," + std::to_string(r->bottom) + ")";
}

bool isEmpty(const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; }

template <typename From, typename To>
To convertPixel(const From& pixel) {
    if constexpr (std::is_same_v<From, To>) {
        return pixel;
    } else {
        To converted;
        fromUnit(toUnit(pixel), &converted);
        return converted;
    }
}

// Nearest pixel centre when the rectangles differ in size; pixels whose place falls outside
// either world are left alone, so clipping never shifts or stretches what remains.
template <typename From, typename To>
void copyPixels(const PixelsView& from, const PixelsView& to, const PF_LRect& s, const PF_LRect& d, ThreadPool* pool) {
    const int64_t sw = int64_t(s.right) - s.left, sh = int64_t(s.bottom) - s.top;
    const int64_t dw = int64_t(d.right) - d.left, dh = int64_t(d.bottom) - d.top;
    const int32_t x0 = std::max(d.left, 0), x1 = std::min(d.right, to.width);
    const int32_t y0 = std::max(d.top, 0), y1 = std::min(d.bottom, to.height);
    // Rectangles may span the whole 32-bit range, so the products need more than 64 bits.
    auto place = [](int32_t sourceStart, int64_t sourceSize, int64_t offset, int64_t destinationSize) {
        return sourceStart + int64_t((__int128(2 * offset + 1) * sourceSize) / (2 * destinationSize));
    };
    if (y0 >= y1 || x0 >= x1) return;
    if constexpr (std::is_same_v<From, To>) {
        if (sw == dw && sh == dh) {
            // Unscaled: each source row is one run of bytes, shifted by the rectangles' offset.
            const int64_t shiftX = int64_t(s.left) - d.left, shiftY = int64_t(s.top) - d.top;
            const int64_t first = std::max<int64_t>(x0, -shiftX), end = std::min<int64_t>(x1, from.width - shiftX);
            if (first >= end) return;
            const size_t runBytes = size_t(end - first) * sizeof(To);
            forRowBands(pool, y1 - y0, end - first, [&](int32_t firstRow, int32_t endRow) {
                for (int32_t y = y0 + firstRow; y < y0 + endRow; ++y) {
                    const int64_t sy = y + shiftY;
                    if (sy < 0 || sy >= from.height) continue;
                    std::memcpy(to.row<To>(y) + first, from.row<From>(int32_t(sy)) + (first + shiftX), runBytes);
                }
            });
            return;
        }
    }
    // Rows are independent, so a large copy is shared out over the workers.
    forRowBands(pool, y1 - y0, x1 - x0, [&](int32_t first, int32_t end) {
        for (int32_t y = y0 + first; y < y0 + end; ++y) {
            const int64_t sy = place(s.top, sh, int64_t(y) - d.top, dh);
            if (sy < 0 || sy >= from.height) continue;
            const From* source = from.row<From>(int32_t(sy));
            To* target = to.row<To>(y);
            for (int32_t x = x0; x < x1; ++x) {
                const int64_t sx = place(s.left, sw, int64_t(x) - d.left, dw);
                if (sx < 0 || sx >= from.width) continue;
                target[x] = convertPixel<From, To>(source[sx]);
            }
        }
    });
}

PF_Err copyCallback(PF_ProgPtr effect_ref, PF_LayerDef* src, PF_LayerDef* dst, PF_Rect* src_r, PF_Rect* dst_r) {
    Host& host = Host::current();
    host.log().add("copy " + rectText(src_r) + " -> " + rectText(dst_r));
    if (PF_Err err = host.faults().onCall("copy")) return err;
    if (effect_ref == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    PixelsView from, to;
    if (PF_Err err = host.worlds().check(src, "copy source", &from)) return err;
    if (PF_Err err = host.worlds().check(dst, "copy destination", &to)) return err;
    const PF_LRect s = src_r != nullptr ? *src_r : PF_LRect{0, 0, from.width, from.height};
    const PF_LRect d = dst_r != nullptr ? *dst_r : PF_LRect{0, 0, to.width, to.height};
    if (isEmpty(s) || isEmpty(d)) return PF_Err_NONE;

    Image snapshot;
    if (from.overlaps(to)) snapshot = from.detach();
    ThreadPool* pool = host.iteration().poolFor(int64_t(to.width) * to.height);
    withPixelType(from.format, [&](auto fromTag) {
        withPixelType(to.format, [&](auto toTag) {
            copyPixels<typename decltype(fromTag)::type, typename decltype(toTag)::type>(from, to, s, d, pool);
            return 0;
        });
        return 0;
    });
    return PF_Err_NONE;
}

PF_Err fillCallback(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect, PF_LayerDef* world) {
    Host& host = Host::current();
    host.log().add("fill " + rectText(dst_rect));
    if (PF_Err err = host.faults().onCall("fill")) return err;
    if (effect_ref == nullptr || color == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    PixelsView to;
    if (PF_Err err = host.worlds().check(world, "fill", &to)) return err;
    PF_LRect r = dst_rect != nullptr ? *dst_rect : PF_LRect{0, 0, to.width, to.height};
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, to.width);
    r.bottom = std::min(r.bottom, to.height);
    if (isEmpty(r)) return PF_Err_NONE;
    withPixelType(to.format, [&](auto tag) {
        using Pixel = typename decltype(tag)::type;
        const Pixel value = convertPixel<PF_Pixel, Pixel>(*color);
        for (int32_t y = r.top; y < r.bottom; ++y)
            std::fill(to.row<Pixel>(y) + r.left, to.row<Pixel>(y) + r.right, value);
        return 0;
    });
    return PF_Err_NONE;
}

}  // namespace

void installPixelCallbacks(PF_UtilCallbacks& utils) {
    utils.copy = copyCallback;
    utils.fill = fillCallback;
}

}  // namespace Sim
