// The glow's convolution at its defaults (Blur Radius 20, "Low", Exposure 0, diffusion only) on a
// float image through the stand-in at 1 to 8 threads, and the three-channel one at Blur Radius
// 200 on a 4K image; the one-colour ones at 1 and 8 threads next to FFTW convolving the same two
// complex planes directly: padded to (w + 2R) x (h + 2R), forward, multiplied by a kernel
// spectrum, backward, with a measured plan at the same thread count. Each FFTW run prints ours /
// FFTW. The FFT share is the tiles' transforms (timed alone at the tile size) over the render's
// time; host_iterations counts the render's calls of the host's generic iteration. As in the FFT
// benchmark, the fastest run of each is compared.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <map>
#include <random>
#include <tuple>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/glow_channel.h"
#include "glow/glow_normal.h"
#include "glow/kernel_outputter.h"
#include "glow/stages/kernel_multiplier.h"
#include "glow/stages/kernel_setter.h"
#include "glow/stages/kernel_size.h"
#include "glow/stages/tile_loop.h"
#include "host/sim/host.h"
#include "host/sim/iterate.h"
#include "library/fft/buffer.h"
#include "library/fft/fft2d.h"
#include "library/filter/iterate.h"

#if MORVEL_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

using Key = std::tuple<int, int, int>;  // width, blur radius, threads

std::map<Key, double>& renderSeconds() {
    static std::map<Key, double> seconds;
    return seconds;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int heightOf(int width) { return width * 9 / 16; }

Glow::GlowParameters defaults(double blurRadius, Glow::BlurTypeItem blurType = Glow::BlurTypeItem::Normal) {
    Glow::GlowParameters p;
    p.blurType = blurType;
    p.blurRadius = blurRadius;
    p.diffusion = true;
    p.diffusionConvergence = 10;
    p.diffusionQuality = Glow::DiffusionQualityItem::Low;
    p.glowWhite = 1;
    p.glowGamma = 1;
    p.glowAlphaWhite = 1;
    // The colours' defaults: red, green and blue at 60, 100 and 140 % of the radius.
    p.color1 = {1, 1, 0, 0};
    p.color2 = {1, 0, 1, 0};
    p.color3 = {1, 0, 0, 1};
    p.color1Radius = 0.6;
    p.color2Radius = 1.0;
    p.color3Radius = 1.4;
    return p;
}

// A thresholded picture: soft random blobs of light, a third of the pixels lit.
std::vector<Glow::Color> glowSource(int w, int h) {
    std::vector<Glow::Color> source(static_cast<size_t>(w) * h);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0, 1);
    for (auto& c : source) {
        if (unit(rng) < 0.33) {
            const double a = unit(rng);
            c = {unit(rng) * a, unit(rng) * a, unit(rng) * a, a};
        }
    }
    return source;
}

// The same light for the three-channel glow, each colour with the pixel's alpha.
std::vector<Glow::ChannelColor> channelSource(int w, int h) {
    std::vector<Glow::ChannelColor> channels;
    channels.reserve(static_cast<size_t>(w) * h);
    for (const Glow::Color& c : glowSource(w, h)) {
        channels.push_back({c.red, c.green, c.blue, c.alpha, c.alpha, c.alpha});
    }
    return channels;
}

// Processors of the stand-in's pool and the render's thread count, as a host with that many.
struct StandIn {
    Sim::Host host;
    PF_InData in_data{};
    AEGP_SuiteHandler suites;
    explicit StandIn(int threads, int w, int h) : suites((host.fillInData(in_data, nullptr), in_data.pica_basicP)) {
        host.iteration().setProcessors(threads);
        in_data.width = w;
        in_data.height = h;
    }
};

// Time of one transform at the tile size, the fastest of a few.
double fftSeconds(StandIn& standIn, int size, int threads) {
    Morvel::FFT::FFT2D fft(&standIn.in_data, standIn.suites, threads, size);
    Morvel::FFT::Buffer buffer;
    buffer.init(size);
    double best = 1e30;
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        fft.fft(i % 2 ? -1 : 1, buffer.rows());
        best = std::min(best, secondsSince(start));
    }
    return best;
}

// An unpadded float world over pixels the caller keeps.
PF_LayerDef floatWorld(std::vector<PF_PixelFloat>& pixels, int w, int h) {
    PF_LayerDef world{};
    world.data = pixels.data();
    world.width = w;
    world.height = h;
    world.rowbytes = w * static_cast<int>(sizeof(PF_PixelFloat));
    return world;
}

// Args: width, blur radius, threads, blur type (1 one colour, 2 three channels).
void BM_GlowConvolution(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    const int h = heightOf(w);
    const int radius = static_cast<int>(state.range(1));
    const int threads = static_cast<int>(state.range(2));
    const auto blurType = static_cast<Glow::BlurTypeItem>(state.range(3));
    const bool normal = blurType == Glow::BlurTypeItem::Normal;
    StandIn standIn(threads, w, h);
    Glow::GlowParameters params = defaults(radius, blurType);
    std::vector<Glow::Color> source;
    std::vector<Glow::ChannelColor> channels;
    if (normal) {
        source = glowSource(w, h);
    } else {
        channels = channelSource(w, h);
    }
    std::vector<PF_PixelFloat> pixels(static_cast<size_t>(w) * h);
    PF_LayerDef world = floatWorld(pixels, w, h);

    double best = 1e30;
    standIn.host.log().clear();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const PF_Err err = normal ? Glow::GlowNormal(&standIn.in_data, standIn.suites, Morvel::Bpc32, &world, threads,
                                                     &params, &source)
                                        .execute()
                                  : Glow::GlowChannel(&standIn.in_data, standIn.suites, Morvel::Bpc32, &world, threads,
                                                      &params, &channels)
                                        .execute();
        if (err != PF_Err_NONE) state.SkipWithError("render failed");
        const double seconds = secondsSince(start);
        state.SetIterationTime(seconds);
        best = std::min(best, seconds);
    }
    const size_t iterations = standIn.host.log().count("iterate_generic");
    const bool logComplete = standIn.host.log().dropped() == 0;
    // Exposure 0 and "Low" keep the reach at the blur radius, times the widest colour's radius.
    const int reach = normal ? radius : static_cast<int>(std::ceil(radius * 1.4));
    const int size = Glow::getKernelSize(reach, w, h);
    const Glow::TileGrid grid(w, h, size, reach);
    const double tiles = static_cast<double>(grid.tiles());
    const double fft = fftSeconds(standIn, size, threads);
    state.counters["best_ms"] = best * 1e3;
    state.counters["tiles"] = tiles;
    // Two transforms of each plane per tile, one of each kernel.
    const int planes = normal ? 2 : 3;
    const int kernels = normal ? 1 : 3;
    state.counters["fft_share"] = (2.0 * planes * tiles + kernels) * fft / best;
    // Host iterations per render: each one waits for its slowest band.
    if (state.iterations() > 0 && logComplete) {
        state.counters["host_iterations"] = double(iterations) / double(state.iterations());
    }
    if (state.iterations() > 0 && normal) renderSeconds()[{w, radius, threads}] = best;
}

// One tile's setter, multiplier and outputter against its four transforms.
void BM_GlowTilePasses(benchmark::State& state) {
    const int w = 1920, h = 1080, radius = 20;
    const int threads = static_cast<int>(state.range(0));
    StandIn standIn(threads, w, h);
    Glow::GlowParameters params = defaults(radius);
    std::vector<Glow::Color> source = glowSource(w, h);
    std::vector<PF_PixelFloat> pixels(static_cast<size_t>(w) * h);
    PF_LayerDef world = floatWorld(pixels, w, h);
    const int size = Glow::getKernelSize(radius, w, h);
    Morvel::FFT::Buffer kernel, a, b;
    kernel.init(size);
    a.init(size);
    b.init(size);
    kernel.row(size / 2)[size] = 1;

    Glow::KernelSetterNormalParameters setterParams;
    setterParams.tileX = setterParams.tileY = 500;
    setterParams.width = w;
    setterParams.height = h;
    setterParams.size = size;
    setterParams.source = &source;
    setterParams.bufferA = a.rows();
    setterParams.bufferB = b.rows();
    Glow::KernelMultiplierNormalParameters multiplierParams{size, kernel.rows(), a.rows(), b.rows()};
    Glow::KernelOutputterNormalParameters outputterParams;
    outputterParams.tileX = outputterParams.tileY = 500;
    outputterParams.size = size;
    outputterParams.radius = radius;
    outputterParams.kernelTotal = 1;
    outputterParams.bufferA = a.rows();
    outputterParams.bufferB = b.rows();
    Glow::KernelSetterNormal setter(&standIn.in_data, standIn.suites, &setterParams);
    Glow::KernelMultiplierNormal multiplier(&standIn.in_data, standIn.suites, &multiplierParams);
    Glow::KernelOutputterNormal outputter(&standIn.in_data, standIn.suites, Morvel::Bpc32, &world, &outputterParams);

    double best = 1e30;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        PF_Err err = Morvel::iterateGeneric(&standIn.in_data, standIn.suites, setter, PF_Iterations_ONCE_PER_PROCESSOR);
        if (!err)
            err =
                Morvel::iterateGeneric(&standIn.in_data, standIn.suites, multiplier, PF_Iterations_ONCE_PER_PROCESSOR);
        if (!err)
            err = Morvel::iterateGeneric(&standIn.in_data, standIn.suites, outputter, PF_Iterations_ONCE_PER_PROCESSOR);
        if (err) state.SkipWithError("pass failed");
        const double seconds = secondsSince(start);
        state.SetIterationTime(seconds);
        best = std::min(best, seconds);
    }
    const double fft = fftSeconds(standIn, size, threads);
    state.counters["best_ms"] = best * 1e3;
    state.counters["four_ffts_ms"] = 4 * fft * 1e3;
    state.counters["passes/ffts"] = best / (4 * fft);
}

#if MORVEL_HAVE_FFTW
void BM_FFTWConvolution(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    const int h = heightOf(w);
    const int radius = static_cast<int>(state.range(1));
    const int threads = static_cast<int>(state.range(2));
#if MORVEL_HAVE_FFTW_THREADS
    static const bool threadsReady = fftw_init_threads() != 0;
    if (threadsReady) fftw_plan_with_nthreads(threads);
#else
    if (threads > 1) {
        state.SkipWithError("FFTW without threads");
        return;
    }
#endif
    const int pw = w + 2 * radius, ph = h + 2 * radius;
    const size_t count = static_cast<size_t>(pw) * ph;
    auto* a = fftw_alloc_complex(count);
    auto* b = fftw_alloc_complex(count);
    auto* spectrum = fftw_alloc_complex(count);
    fftw_plan forward = fftw_plan_dft_2d(ph, pw, a, a, FFTW_BACKWARD, FFTW_MEASURE);
    fftw_plan backward = fftw_plan_dft_2d(ph, pw, a, a, FFTW_FORWARD, FFTW_MEASURE);
    // The same planes the glow loads: red + i green and blue + i alpha, zero in the border.
    const std::vector<Glow::Color> source = glowSource(w, h);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> unit(0, 1);
    for (size_t i = 0; i < count; ++i) {
        spectrum[i][0] = unit(rng);
        spectrum[i][1] = unit(rng);
    }

    double best = 1e30;
    for (auto _ : state) {
        state.PauseTiming();
        std::fill_n(&a[0][0], 2 * count, 0.0);
        std::fill_n(&b[0][0], 2 * count, 0.0);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const Glow::Color& c = source[static_cast<size_t>(y) * w + x];
                const size_t at = static_cast<size_t>(y + radius) * pw + x + radius;
                a[at][0] = c.red;
                a[at][1] = c.green;
                b[at][0] = c.blue;
                b[at][1] = c.alpha;
            }
        }
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        fftw_execute_dft(forward, a, a);
        fftw_execute_dft(forward, b, b);
        for (size_t i = 0; i < count; ++i) {
            const std::complex<double> k(spectrum[i][0], spectrum[i][1]);
            const std::complex<double> va = std::complex<double>(a[i][0], a[i][1]) * k;
            const std::complex<double> vb = std::complex<double>(b[i][0], b[i][1]) * k;
            a[i][0] = va.real();
            a[i][1] = va.imag();
            b[i][0] = vb.real();
            b[i][1] = vb.imag();
        }
        fftw_execute_dft(backward, a, a);
        fftw_execute_dft(backward, b, b);
        const double seconds = secondsSince(start);
        state.SetIterationTime(seconds);
        best = std::min(best, seconds);
    }
    fftw_destroy_plan(forward);
    fftw_destroy_plan(backward);
    fftw_free(a);
    fftw_free(b);
    fftw_free(spectrum);

    state.counters["best_ms"] = best * 1e3;
    const auto ours = renderSeconds().find({w, radius, threads});
    if (ours != renderSeconds().end() && state.iterations() > 0) state.counters["glow/fftw"] = ours->second / best;
}
#endif

const bool registered = [] {
    const int cases[][3] = {{1920, 20, 1}, {3840, 20, 1}, {1920, 200, 1}, {3840, 200, 2}, {1920, 100, 1}};
    for (const auto& c : cases) {
        for (int threads : {1, 2, 4, 8}) {
            benchmark::RegisterBenchmark("GlowConvolution", BM_GlowConvolution)
                ->Args({c[0], c[1], threads, c[2]})
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
#if MORVEL_HAVE_FFTW
            if (c[2] != 1 || (threads != 1 && threads != 8)) continue;
            benchmark::RegisterBenchmark("FFTWConvolution", BM_FFTWConvolution)
                ->Args({c[0], c[1], threads})
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
#endif
        }
    }
    for (int threads : {1, 8}) {
        benchmark::RegisterBenchmark("GlowTilePasses", BM_GlowTilePasses)
            ->Arg(threads)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
