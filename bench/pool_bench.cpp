// The stand-in host's generic iteration: the cost of one iteration that does no work, and a
// 256 x 256 FFT2D (the glow's default tile) at 1, 2, 4 and 8 threads. Each FFT run above one
// thread reports "speedup": the fastest one-thread transform, measured just before, divided by
// its own fastest (on a machine shared with other work, the fastest runs are the undisturbed ones).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/host.h"
#include "host/sim/iterate.h"
#include "library/fft/fft2d.h"
#include "library/filter/iterate.h"

namespace {

struct NoWork {
    PF_Err operator()(int, int) const { return PF_Err_NONE; }
};

// Iterations of `bands` bands that do no work, the caller working alone for `gap` after each.
void emptyIterations(benchmark::State& state, int bands, std::chrono::microseconds gap) {
    Sim::Host host;
    PF_InData in_data{};
    host.fillInData(in_data, nullptr);
    AEGP_SuiteHandler suites(in_data.pica_basicP);
    NoWork work;
    for (auto _ : state) {
        if (Morvel::iterateGeneric(&in_data, suites, work, bands) != PF_Err_NONE) state.SkipWithError("failed");
        const auto until = std::chrono::steady_clock::now() + gap;
        while (std::chrono::steady_clock::now() < until) {
        }
    }
    state.counters["processors"] = host.iteration().processors();
}

// Arg: the band count handed to iterateGeneric (-1: one band per processor).
void BM_EmptyIteration(benchmark::State& state) {
    emptyIterations(state, static_cast<int>(state.range(0)), std::chrono::microseconds(0));
}
BENCHMARK(BM_EmptyIteration)->Arg(2)->Arg(8)->Arg(-1)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Runs of 8 short bands with the caller working alone between them, as a render's stages
// follow one another. Arg: the caller's own work between runs, in microseconds. CPU is the
// whole process's: workers that poll through the gaps show up there, not in the time.
void BM_IterationsWithGaps(benchmark::State& state) {
    emptyIterations(state, 8, std::chrono::microseconds(state.range(0)));
}
BENCHMARK(BM_IterationsWithGaps)
    ->Arg(20)
    ->Arg(80)
    ->Arg(300)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

struct Tile {
    Sim::Host host;
    PF_InData in_data{};
    std::vector<double> source;
    std::vector<double> image;
    std::vector<double*> rows;

    explicit Tile(int n) : source(2 * size_t(n) * n), image(source.size()) {
        host.fillInData(in_data, nullptr);
        std::mt19937 generator(5);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        for (double& value : source) value = uniform(generator);
        for (int r = 0; r < n; ++r) rows.push_back(image.data() + 2 * size_t(n) * r);
    }

    // The fastest of `count` transforms, each from the same image.
    double fastestTransform(Morvel::FFT::FFT2D& fft, int count) {
        double best = 1e30;
        for (int k = 0; k < count; ++k) {
            std::memcpy(image.data(), source.data(), source.size() * sizeof(double));
            const auto start = std::chrono::steady_clock::now();
            fft.fft(1, rows.data());
            best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        return best;
    }
};

// Arg: the FFT's thread count.
void BM_FFT2D256Threads(benchmark::State& state) {
    constexpr int kSize = 256;
    const int threads = static_cast<int>(state.range(0));
    Tile tile(kSize);
    AEGP_SuiteHandler suites(tile.in_data.pica_basicP);
    Morvel::FFT::FFT2D fft(&tile.in_data, suites, threads, kSize);
    double oneThread = 0.0;
    if (threads > 1) {
        Morvel::FFT::FFT2D single(&tile.in_data, suites, 1, kSize);
        oneThread = tile.fastestTransform(single, 500);
    }
    double best = 1e30;
    for (auto _ : state) {
        std::memcpy(tile.image.data(), tile.source.data(), tile.source.size() * sizeof(double));
        const auto start = std::chrono::steady_clock::now();
        if (fft.fft(1, tile.rows.data()) != PF_Err_NONE) state.SkipWithError("fft failed");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        best = std::min(best, seconds);
    }
    state.counters["best_us"] = best * 1e6;
    if (threads > 1) state.counters["speedup"] = oneThread / best;
}
BENCHMARK(BM_FFT2D256Threads)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
