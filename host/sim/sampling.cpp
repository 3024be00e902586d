// The host's sampling suites: nearest, bilinear and box-area sampling at the three depths.
// Pixel centres lie at whole coordinates; everything outside the world is transparent black.
// Channels are interpolated as stored (straight), each on its own.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <type_traits>

#include "host/sim/host.h"
#include "host/sim/pixel_traits.h"
#include "host/sim/worlds.h"

namespace Sim {

namespace {

template <typename Pixel>
using Depth = PixelTraits<Pixel>;

// Alpha, red, green, blue accumulated in double.
struct Sum {
    double a = 0, r = 0, g = 0, b = 0;
};

template <typename Pixel>
class Source {
public:
    explicit Source(const PF_LayerDef& world) : world_(world) {}

    // Transparent outside the world.
    void add(int64_t x, int64_t y, double weight, Sum& sum) const {
        if (weight == 0.0 || x < 0 || y < 0 || x >= world_.width || y >= world_.height) return;
        const auto* row = static_cast<const char*>(world_.data) + y * int64_t(world_.rowbytes);
        const Pixel& p = reinterpret_cast<const Pixel*>(row)[x];
        sum.a += weight * p.alpha;
        sum.r += weight * p.red;
        sum.g += weight * p.green;
        sum.b += weight * p.blue;
    }

private:
    const PF_LayerDef& world_;
};

template <typename Pixel>
Pixel toPixel(const Sum& sum) {
    using Channel = typename Depth<Pixel>::Channel;
    if constexpr (std::is_integral_v<Channel>) {
        auto channel = [](double v) {
            if (!(v > 0.0)) return Channel(0);
            return static_cast<Channel>(std::min(v + 0.5, double(Depth<Pixel>::full)));
        };
        return Pixel{channel(sum.a), channel(sum.r), channel(sum.g), channel(sum.b)};
    } else {
        return Pixel{static_cast<float>(sum.a), static_cast<float>(sum.r), static_cast<float>(sum.g),
                     static_cast<float>(sum.b)};
    }
}

enum class Kind { Nearest, Bilinear, Area };

// Checks what the effect handed over. Sets empty for a world without pixels to read.
template <typename Pixel>
PF_Err validate(const char* function, const PF_SampPB* params, Pixel* dst, bool& empty) {
    Host& host = Host::current();
    auto refuse = [&](const char* why) {
        host.log().add(std::string("error: ") + function + ": " + why);
        return PF_Err_BAD_CALLBACK_PARAM;
    };
    if (dst == nullptr) return refuse("null result pixel");
    if (params == nullptr || params->src == nullptr) return refuse("no source world");
    const PF_LayerDef& world = *params->src;
    if (world.width < 0 || world.height < 0) return refuse("negative world size");
    empty = world.width == 0 || world.height == 0;
    if (empty) return PF_Err_NONE;
    // A world of another depth would be read past its rows. A record without a format is taken at
    // its buffer's.
    const PF_PixelFormat format = world.pixel_format != 0 ? world.pixel_format : host.worlds().formatOf(world);
    if (format != Depth<Pixel>::format) return refuse("world of another depth");
    // Only pixels the host handed out, described within their buffer, are read.
    return host.worlds().checkOften(&world, function);
}

// Overlap of pixel i's cell [i - 0.5, i + 0.5] with [low, high].
double overlap(int64_t i, double low, double high) {
    return std::max(0.0, std::min(double(i) + 0.5, high) - std::max(double(i) - 0.5, low));
}

template <typename Pixel, Kind kind>
PF_Err samplePixel(HotCall call, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, Pixel* dst) {
    if (PF_Err err = Host::current().faults().onCall(call)) return err;
    const char* function = FaultPlan::nameOf(call).data();
    bool empty = false;
    if (PF_Err err = validate(function, params, dst, empty)) return err;
    if (empty) {
        *dst = Pixel{};
        return PF_Err_NONE;
    }
    const PF_LayerDef& world = *params->src;
    const Source<Pixel> source(world);
    const double px = x / 65536.0;
    const double py = y / 65536.0;
    Sum sum;
    if constexpr (kind == Kind::Nearest) {
        source.add(int64_t(std::floor(px + 0.5)), int64_t(std::floor(py + 0.5)), 1.0, sum);
    } else if constexpr (kind == Kind::Bilinear) {
        const double x0 = std::floor(px);
        const double y0 = std::floor(py);
        const double fx = px - x0;
        const double fy = py - y0;
        const auto ix = int64_t(x0);
        const auto iy = int64_t(y0);
        source.add(ix, iy, (1 - fx) * (1 - fy), sum);
        source.add(ix + 1, iy, fx * (1 - fy), sum);
        source.add(ix, iy + 1, (1 - fx) * fy, sum);
        source.add(ix + 1, iy + 1, fx * fy, sum);
    } else {
        // A box of half-size radius (at least half a pixel, where it equals bilinear), weighted
        // by how much of each pixel it covers and divided by its whole area.
        const double hx = std::max(params->x_radius / 65536.0, 0.5);
        const double hy = std::max(params->y_radius / 65536.0, 0.5);
        const int64_t left = std::max<int64_t>(0, int64_t(std::floor(px - hx + 0.5)));
        const int64_t right = std::min<int64_t>(world.width - 1, int64_t(std::ceil(px + hx - 0.5)));
        const int64_t top = std::max<int64_t>(0, int64_t(std::floor(py - hy + 0.5)));
        const int64_t bottom = std::min<int64_t>(world.height - 1, int64_t(std::ceil(py + hy - 0.5)));
        for (int64_t j = top; j <= bottom; ++j) {
            const double wy = overlap(j, py - hy, py + hy);
            for (int64_t i = left; i <= right; ++i) source.add(i, j, wy * overlap(i, px - hx, px + hx), sum);
        }
        const double area = 4.0 * hx * hy;
        sum.a /= area;
        sum.r /= area;
        sum.g /= area;
        sum.b /= area;
    }
    *dst = toPixel<Pixel>(sum);
    return PF_Err_NONE;
}

#define MORVEL_SIM_SAMPLER(name, call, Pixel, kind)                                        \
    PF_Err name(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, Pixel* dst) { \
        return samplePixel<Pixel, kind>(HotCall::call, x, y, params, dst);                 \
    }

MORVEL_SIM_SAMPLER(nn_sample, NnSample, PF_Pixel, Kind::Nearest)
MORVEL_SIM_SAMPLER(subpixel_sample, SubpixelSample, PF_Pixel, Kind::Bilinear)
MORVEL_SIM_SAMPLER(area_sample, AreaSample, PF_Pixel, Kind::Area)
MORVEL_SIM_SAMPLER(nn_sample16, NnSample16, PF_Pixel16, Kind::Nearest)
MORVEL_SIM_SAMPLER(subpixel_sample16, SubpixelSample16, PF_Pixel16, Kind::Bilinear)
MORVEL_SIM_SAMPLER(area_sample16, AreaSample16, PF_Pixel16, Kind::Area)
MORVEL_SIM_SAMPLER(nn_sample_float, NnSampleFloat, PF_PixelFloat, Kind::Nearest)
MORVEL_SIM_SAMPLER(subpixel_sample_float, SubpixelSampleFloat, PF_PixelFloat, Kind::Bilinear)
MORVEL_SIM_SAMPLER(area_sample_float, AreaSampleFloat, PF_PixelFloat, Kind::Area)

#undef MORVEL_SIM_SAMPLER

const PF_Sampling8Suite1 kSampling8Suite1 = {nn_sample, subpixel_sample, area_sample};
const PF_Sampling16Suite1 kSampling16Suite1 = {nn_sample16, subpixel_sample16, area_sample16};
const PF_SamplingFloatSuite1 kSamplingFloatSuite1 = {nn_sample_float, subpixel_sample_float, area_sample_float};

}  // namespace

void installSamplingSuites(Host& host) {
    for (int call = 0; call < static_cast<int>(HotCall::Count); ++call) {
        host.faults().registerNames({FaultPlan::nameOf(static_cast<HotCall>(call))});
    }
    host.addSuite(kPFSampling8Suite, kPFSamplingSuiteVersion1, &kSampling8Suite1);
    host.addSuite(kPFSampling16Suite, kPFSamplingSuiteVersion1, &kSampling16Suite1);
    host.addSuite(kPFSamplingFloatSuite, kPFSamplingSuiteVersion1, &kSamplingFloatSuite1);
}

}  // namespace Sim
