#include "host/sim/frame.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "host/sim/iterate.h"
#include "host/sim/thread_pool.h"

namespace Sim {

namespace {

// Averages a box of source pixels, weighting colour by alpha so that transparent pixels do not
// darken their neighbours; a box of transparent pixels keeps its plain colour average.
template <typename From>
Unit boxAverage(const PixelsView& from, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (x1 - x0 == 1 && y1 - y0 == 1) return toUnit(from.row<From>(y0)[x0]);
    Unit weighted{0, 0, 0, 0};
    Unit plain{0, 0, 0, 0};
    for (int32_t y = y0; y < y1; ++y) {
        const From* row = from.row<From>(y);
        for (int32_t x = x0; x < x1; ++x) {
            const Unit u = toUnit(row[x]);
            weighted.alpha += u.alpha;
            weighted.red += u.red * u.alpha;
            weighted.green += u.green * u.alpha;
            weighted.blue += u.blue * u.alpha;
            plain.red += u.red;
            plain.green += u.green;
            plain.blue += u.blue;
        }
    }
    const double count = double(x1 - x0) * double(y1 - y0);
    if (weighted.alpha > 0) {
        return {weighted.alpha / count, weighted.red / weighted.alpha, weighted.green / weighted.alpha,
                weighted.blue / weighted.alpha};
    }
    return {0, plain.red / count, plain.green / count, plain.blue / count};
}

// The source span [first, last) of frame pixel p at a downsample factor num / den.
void sourceSpan(int64_t p, PF_RationalScale scale, int32_t sourceLength, int32_t& first, int32_t& last) {
    const int64_t num = scale.num, den = scale.den;
    int64_t a = p * den / num;
    int64_t b = (p + 1) * den / num;
    a = std::clamp<int64_t>(a, 0, sourceLength - 1);
    b = std::clamp<int64_t>(b, a + 1, sourceLength);
    first = int32_t(a);
    last = int32_t(b);
}

// Frame rows [first, end) of `to`, which shows `rect` of the source, each pixel the average of
// the box it covers.
template <typename From, typename To>
void averageRows(const PixelsView& from, const PixelsView& to, const PF_LRect& rect, PF_RationalScale sx,
                 PF_RationalScale sy, int32_t first, int32_t end) {
    for (int32_t row = first; row < end; ++row) {
        int32_t y0, y1;
        sourceSpan(int64_t(rect.top) + row, sy, from.height, y0, y1);
        To* target = to.row<To>(row);
        for (int32_t x = rect.left; x < rect.right; ++x) {
            int32_t x0, x1;
            sourceSpan(x, sx, from.width, x0, x1);
            fromUnit(boxAverage<From>(from, x0, y0, x1, y1), &target[x - rect.left]);
        }
    }
}

// A run of pixels as a conversion to the same depth leaves them: 16-bit channels are held to
// the full scale, where the host's tables for the depth end; the other depths come through as
// they are.
template <typename Pixel>
void passThrough(const Pixel* source, Pixel* target, int64_t count) {
    if constexpr (std::is_same_v<Pixel, PF_Pixel16>) {
        constexpr uint16_t full = PF_MAX_CHAN16;
        for (int64_t x = 0; x < count; ++x) {
            const Pixel& p = source[x];
            target[x] = {std::min(p.alpha, full), std::min(p.red, full), std::min(p.green, full),
                         std::min(p.blue, full)};
        }
    } else {
        std::memcpy(target, source, size_t(count) * sizeof(Pixel));
    }
}

// averageRows at full resolution and equal depths, where every box is one pixel: a row copy,
// the edge pixels repeated where the rectangle reaches past the source.
template <typename Pixel>
void copyRows(const PixelsView& from, const PixelsView& to, const PF_LRect& rect, int32_t first, int32_t end) {
    const int64_t inside0 = std::clamp<int64_t>(0, rect.left, rect.right);
    const int64_t inside1 = std::clamp<int64_t>(from.width, inside0, rect.right);
    for (int32_t row = first; row < end; ++row) {
        const int32_t y = int32_t(std::clamp<int64_t>(int64_t(rect.top) + row, 0, from.height - 1));
        const Pixel* source = from.row<Pixel>(y);
        Pixel* target = to.row<Pixel>(row);
        for (int64_t x = rect.left; x < inside0; ++x) passThrough(source, &target[x - rect.left], 1);
        passThrough(source + inside0, &target[inside0 - rect.left], inside1 - inside0);
        for (int64_t x = inside1; x < rect.right; ++x) passThrough(source + from.width - 1, &target[x - rect.left], 1);
    }
}

bool isUnscaled(PF_RationalScale scale) { return int64_t(scale.num) == int64_t(scale.den); }

}  // namespace

int32_t downsampled(int32_t length, PF_RationalScale scale) {
    if (scale.den == 0) return length;
    return int32_t(int64_t(length) * scale.num / int64_t(scale.den));
}

PF_PixelFormat formatOfDepth(int depth) {
    switch (depth) {
        case 8: return PF_PixelFormat_ARGB32;
        case 16: return PF_PixelFormat_ARGB64;
        case 32: return PF_PixelFormat_ARGB128;
        default: return 0;
    }
}

bool isEmptyRect(const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; }

PF_LRect intersect(const PF_LRect& a, const PF_LRect& b) {
    const PF_LRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
    return isEmptyRect(r) ? PF_LRect{0, 0, 0, 0} : r;
}

PF_LRect frameBounds(const PF_EffectInstance& effect, const PF_LayerDef& layer) {
    if (!effect.frame.active) return {0, 0, layer.width, layer.height};
    return {0, 0, downsampled(layer.width, effect.frame.downsampleX),
            downsampled(layer.height, effect.frame.downsampleY)};
}

PF_LayerDef* frameWorld(Host& host, PF_EffectInstance& effect, const PF_LayerDef& layer, const PF_LRect& rect) {
    if (isEmptyRect(rect)) return nullptr;
    PixelsView from;
    if (host.worlds().check(&layer, "layer pixels", &from) != PF_Err_NONE) return nullptr;
    if (from.width == 0 || from.height == 0) return nullptr;
    const FrameState& frame = effect.frame;
    const PF_PixelFormat format = frame.active ? frame.format : from.format;
    const PF_RationalScale sx = frame.active ? frame.downsampleX : PF_RationalScale{1, 1};
    const PF_RationalScale sy = frame.active ? frame.downsampleY : PF_RationalScale{1, 1};
    if (sx.num <= 0 || sy.num <= 0 || sx.den == 0 || sy.den == 0) return nullptr;

    Image image(rect.right - rect.left, rect.bottom - rect.top, format);
    const PixelsView to{image.begin(), image.width(), image.height(), image.def().rowbytes, format};
    ThreadPool* pool = host.iteration().poolFor(int64_t(to.width) * to.height);
    withPixelType(from.format, [&](auto fromTag) {
        using From = typename decltype(fromTag)::type;
        withPixelType(format, [&](auto toTag) {
            using To = typename decltype(toTag)::type;
            forRowBands(pool, to.height, to.width, [&](int32_t first, int32_t end) {
                if constexpr (std::is_same_v<From, To>) {
                    if (isUnscaled(sx) && isUnscaled(sy)) {
                        copyRows<To>(from, to, rect, first, end);
                        return;
                    }
                }
                averageRows<From, To>(from, to, rect, sx, sy, first, end);
            });
            return 0;
        });
        return 0;
    });
    image.def().origin_x = rect.left;
    image.def().origin_y = rect.top;
    image.def().extent_hint = {0, 0, image.width(), image.height()};
    PF_LayerDef* world = host.worlds().adopt(std::move(image));
    effect.frameWorlds.push_back(world);
    return world;
}

void deliverForFrame(Host& host, PF_EffectInstance& effect, int32_t index, PF_ParamDef& param) {
    const FrameState& frame = effect.frame;
    if (!frame.active) return;
    if (param.param_type == PF_Param_POINT) {
        param.u.td.x_value = PF_Fixed(int64_t(param.u.td.x_value) * frame.downsampleX.num / frame.downsampleX.den);
        param.u.td.y_value = PF_Fixed(int64_t(param.u.td.y_value) * frame.downsampleY.num / frame.downsampleY.den);
        return;
    }
    if (param.param_type != PF_Param_LAYER || param.u.ld.data == nullptr) return;
    auto found = effect.frameLayerParams.find(index);
    PF_LayerDef* world = nullptr;
    if (found != effect.frameLayerParams.end()) {
        world = found->second;
    } else {
        world = frameWorld(host, effect, param.u.ld, frameBounds(effect, param.u.ld));
        effect.frameLayerParams[index] = world;
    }
    const int32_t dephault = param.u.ld.dephault;
    param.u.ld = world != nullptr ? *world : PF_LayerDef{};
    param.u.ld.dephault = dephault;
}

std::string layerCheckoutKey(const PF_EffectInstance& effect, int32_t checkoutId) {
    return Ledger::keyOf(&effect) + "#" + std::to_string(checkoutId);
}

void endFrame(Host& host, PF_EffectInstance& effect) {
    host.ledger().releaseAll("layer checkout", Ledger::keyOf(&effect) + "#");
    for (PF_LayerDef* world : effect.frameWorlds) host.worlds().drop(world);
    effect.frameWorlds.clear();
    effect.frameLayerParams.clear();
    effect.layerCheckouts.clear();
    effect.frame = FrameState{};
}

}  // namespace Sim
