// Image file reading and writing at frame sizes, in each format and depth the tool handles, with
// real files in a temporary folder. Throughput counts the picture's decoded bytes in the file's
// own layout (RGBA at its depth).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "host/sim/image_io.h"
#include "host/sim/thread_pool.h"

namespace {

namespace fs = std::filesystem;

struct Kind {
    const char* name;
    const char* extension;
    PF_PixelFormat format;
    bool half;
    int bytesPerPixel;  // in the file's layout
};

const Kind kKinds[] = {
    {"png8", ".png", PF_PixelFormat_ARGB32, false, 4},
    {"png16", ".png", PF_PixelFormat_ARGB64, false, 8},
    {"exr_half", ".exr", PF_PixelFormat_ARGB128, true, 8},
    {"exr_float", ".exr", PF_PixelFormat_ARGB128, false, 16},
};

Sim::ThreadPool& pool() {
    static Sim::ThreadPool threads(int(std::max(1u, std::thread::hardware_concurrency())));
    return threads;
}

// Made on first use and removed with everything in it when the program ends.
struct TemporaryFolder {
    fs::path path = fs::temp_directory_path() / ("morvel_image_bench_" + std::to_string(::getpid()));
    TemporaryFolder() { fs::create_directories(path); }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

fs::path folder() {
    static const TemporaryFolder dir;
    return dir.path;
}

// Something like a photograph: smooth shading with fine grain, opaque.
Sim::Image picture(const Kind& kind, int32_t width, int32_t height) {
    Sim::Image image(width, height, kind.format);
    uint32_t state = 1;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const double grain = double(state >> 24) / 255.0 * 0.03;
            const double u = double(x) / width, v = double(y) / height;
            const Sim::Unit colour{1.0, 0.5 + 0.4 * std::sin(6 * u + 2 * v) + grain,
                                   0.4 + 0.3 * std::cos(5 * v) + grain, 0.3 + 0.3 * u * v + grain};
            Sim::withPixelType(kind.format, [&](auto tag) {
                Sim::fromUnit(colour, &image.at<typename decltype(tag)::type>(x, y));
                return 0;
            });
        }
    }
    return image;
}

Sim::WriteOptions optionsFor(const Kind& kind) {
    Sim::WriteOptions options;
    options.layout.half = kind.half;
    options.pool = &pool();
    return options;
}

void BM_ImageWrite(benchmark::State& state) {
    const Kind& kind = kKinds[state.range(0)];
    const auto width = int32_t(state.range(1)), height = int32_t(state.range(2));
    const Sim::Image image = picture(kind, width, height);
    const std::string file = (folder() / (std::string("write_") + kind.name + kind.extension)).string();
    for (auto _ : state) Sim::writeImage(file, image.def(), optionsFor(kind));
    state.SetBytesProcessed(int64_t(state.iterations()) * width * height * kind.bytesPerPixel);
    state.SetLabel(std::string(kind.name) + ", file " + std::to_string(fs::file_size(file) / 1024) + " KB");
    fs::remove(file);
}

void BM_ImageRead(benchmark::State& state) {
    const Kind& kind = kKinds[state.range(0)];
    const auto width = int32_t(state.range(1)), height = int32_t(state.range(2));
    const std::string file = (folder() / (std::string("read_") + kind.name + kind.extension)).string();
    Sim::writeImage(file, picture(kind, width, height).def(), optionsFor(kind));
    Sim::ReadOptions options;
    options.pool = &pool();
    for (auto _ : state) benchmark::DoNotOptimize(Sim::readImage(file, options));
    state.SetBytesProcessed(int64_t(state.iterations()) * width * height * kind.bytesPerPixel);
    state.SetLabel(kind.name);
    fs::remove(file);
}

void frameSizes(benchmark::internal::Benchmark* benchmark) {
    for (int kind = 0; kind < int(std::size(kKinds)); ++kind) {
        benchmark->Args({kind, 1920, 1080});
        benchmark->Args({kind, 3840, 2160});
    }
}

BENCHMARK(BM_ImageWrite)->Apply(frameSizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImageRead)->Apply(frameSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
