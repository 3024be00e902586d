#include "glow/kernel_creator_kernel.h"

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <type_traits>

#include "library/sampling/sub_pixel.h"

namespace Glow {

namespace {

// Channel values as fractions of full scale, with the depth's own constants.
template <typename Pixel>
struct Scale;
template <>
struct Scale<PF_Pixel> {
    static constexpr double kInverse = 1.0 / 255.0;
};
template <>
struct Scale<PF_Pixel16> {
    static constexpr double kInverse = 1.0 / 32768.0;
};
template <>
struct Scale<PF_PixelFloat> {
    static constexpr double kInverse = 1.0;  // float layers are read unclamped
};

template <typename Pixel>
double luminanceTimesAlpha(const Pixel& p) {
    constexpr double k = Scale<Pixel>::kInverse;
    return (0.299 * k * p.red + 0.587 * k * p.green + 0.114 * k * p.blue) * (k * p.alpha);
}

template <typename Pixel>
double colourTimesAlpha(double colour, const Pixel& p) {
    constexpr double k = Scale<Pixel>::kInverse;
    return colour * k * (p.alpha * k);
}

// A kernel sample averages the layer over about one kernel pixel's footprint, at most ten layer
// pixels from the sample point.
PF_Fixed sampleRadius(double scale) {
    const double s = scale * 0.5;
    return s >= 10.0 ? PF_Fixed{10 << 16} : Morvel::Sampler::SubPixel::toFixed(s);
}

PF_LayerDef* layerOf(const GlowParameters& params) {
    return params.kernelLayer != nullptr ? params.kernelLayer->world : nullptr;
}

// The layer's centre on the kernel's centre, its larger side over 2 L kernel pixels.
void placeLayer(const PF_LayerDef* layer, int size, double L, double& half, double& centreX, double& centreY,
                double& scale, std::vector<double>& u) {
    half = size * 0.5;
    const double lw = layer != nullptr ? layer->width : 0;
    const double lh = layer != nullptr ? layer->height : 0;
    centreX = lw * 0.5;
    centreY = lh * 0.5;
    scale = std::max(lw, lh) * 0.5 / L;
    u.resize(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) u[static_cast<std::size_t>(i)] = (i - half) * scale;
}

void addTable(double* const* kernel, const KernelTable& table, int size, int firstRow, int endRow, double gain) {
    for (int x = firstRow; x < endRow; ++x) {
        double* row = kernel[x];
        const double* samples = table.rows[static_cast<std::size_t>(x)];
        for (int y = 0; y < size; ++y) row[2 * y] += samples[y] * gain;
    }
}

double layerGain(const GlowParameters& params, double total) {
    if (!(total > 0.0)) return 0.0;
    return (params.kernelNormalizing ? 1.0 / total : 1.0) * params.kernelIntensity;
}

double sumOf(const std::vector<double>& partial) { return std::accumulate(partial.begin(), partial.end(), 0.0); }

}  // namespace

void KernelTable::init(int size) {
    const std::size_t side = static_cast<std::size_t>(std::max(size, 0));
    values.assign(side * side, 0.0);
    rows.resize(side);
    for (std::size_t x = 0; x < side; ++x) rows[x] = values.data() + side * x;
}

PF_Err AreaSampling::take(AEGP_SuiteHandler& suites, Morvel::Bpc bpc) {
    try {
        switch (bpc) {
            case Morvel::Bpc8: sample8 = suites.Sampling8Suite1()->area_sample; break;
            case Morvel::Bpc16: sample16 = suites.Sampling16Suite1()->area_sample16; break;
            case Morvel::Bpc32: sampleFloat = suites.SamplingFloatSuite1()->area_sample_float; break;
        }
    } catch (PF_Err err) {
        return err;
    }
    return PF_Err_NONE;
}

// ---- single kernel

KernelCreatorNormalKernel::KernelCreatorNormalKernel(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                                     Morvel::Bpc bpc, int threadCount, GlowParameters* params)
    : KernelCreatorNormal(in_data, suites, bpc, threadCount, params),
      L(std::max(params->blurRadius * params->kernelScaling, 1e-6)),
      partial(this->threadCount, 0.0),
      layer(layerOf(*params)) {}

BlurRadius KernelCreatorNormalKernel::getBlurRadius() { return {L, true}; }

PF_Err KernelCreatorNormalKernel::initialize() {
    placeLayer(layer, size, L, half, centreX, centreY, scale, u);
    table.init(size);
    return layer != nullptr ? areaSample.take(suites, bpc) : PF_Err_NONE;
}

PF_Err KernelCreatorNormalKernel::calculate(int band, int firstRow, int endRow) {
    switch (bpc) {
        case Morvel::Bpc8: return calculateMain<PF_Pixel>(band, firstRow, endRow);
        case Morvel::Bpc16: return calculateMain<PF_Pixel16>(band, firstRow, endRow);
        case Morvel::Bpc32: return calculateMain<PF_PixelFloat>(band, firstRow, endRow);
    }
    return PF_Err_NONE;
}

template <typename Pixel>
PF_Err KernelCreatorNormalKernel::calculateMain(int band, int firstRow, int endRow) {
    if (layer == nullptr) return PF_Err_NONE;
    PF_SampPB sampling{};
    sampling.src = layer;
    sampling.x_radius = sampling.y_radius = sampleRadius(scale);
    double sum = 0.0;
    for (int x = firstRow; x < endRow; ++x) {
        const PF_Fixed fx = Morvel::Sampler::SubPixel::toFixed(u[static_cast<std::size_t>(x)] + centreX);
        double* samples = table.rows[static_cast<std::size_t>(x)];
        for (int y = 0; y < size; ++y) {
            const PF_Fixed fy = Morvel::Sampler::SubPixel::toFixed(u[static_cast<std::size_t>(y)] + centreY);
            Pixel pixel{};
            if (PF_Err err = areaSample(in_data->effect_ref, fx, fy, &sampling, &pixel)) {
                partial[static_cast<std::size_t>(band)] += sum;
                return err;
            }
            samples[y] = luminanceTimesAlpha(pixel);
            sum += samples[y];
        }
    }
    partial[static_cast<std::size_t>(band)] += sum;
    return PF_Err_NONE;
}

void KernelCreatorNormalKernel::beforeBake() {
    total = sumOf(partial);
    gain = layerGain(*params, total);
}

PF_Err KernelCreatorNormalKernel::bake(int firstRow, int endRow) {
    addTable(rows, table, size, firstRow, endRow, gain);
    return PF_Err_NONE;
}

// ---- three kernels

KernelCreatorChannelKernel::KernelCreatorChannelKernel(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                                       Morvel::Bpc bpc, int threadCount, GlowParameters* params)
    : KernelCreatorChannel(in_data, suites, bpc, threadCount, params),
      L(std::max(params->blurRadius * params->kernelScaling, 1e-6)),
      partialRed(this->threadCount, 0.0),
      partialGreen(this->threadCount, 0.0),
      partialBlue(this->threadCount, 0.0),
      layer(layerOf(*params)) {}

BlurRadius KernelCreatorChannelKernel::getBlurRadius() { return {L, true}; }

PF_Err KernelCreatorChannelKernel::initialize() {
    placeLayer(layer, size, L, half, centreX, centreY, scale, u);
    redTable.init(size);
    greenTable.init(size);
    blueTable.init(size);
    return layer != nullptr ? areaSample.take(suites, bpc) : PF_Err_NONE;
}

PF_Err KernelCreatorChannelKernel::calculate(int band, int firstRow, int endRow) {
    switch (bpc) {
        case Morvel::Bpc8: return calculateMain<PF_Pixel>(band, firstRow, endRow);
        case Morvel::Bpc16: return calculateMain<PF_Pixel16>(band, firstRow, endRow);
        case Morvel::Bpc32: return calculateMain<PF_PixelFloat>(band, firstRow, endRow);
    }
    return PF_Err_NONE;
}

template <typename Pixel>
PF_Err KernelCreatorChannelKernel::calculateMain(int band, int firstRow, int endRow) {
    if (layer == nullptr) return PF_Err_NONE;
    PF_SampPB sampling{};
    sampling.src = layer;
    sampling.x_radius = sampling.y_radius = sampleRadius(scale);
    double sumRed = 0.0;
    double sumGreen = 0.0;
    double sumBlue = 0.0;
    PF_Err err = PF_Err_NONE;
    for (int x = firstRow; x < endRow && err == PF_Err_NONE; ++x) {
        const std::size_t row = static_cast<std::size_t>(x);
        const PF_Fixed fx = Morvel::Sampler::SubPixel::toFixed(u[row] + centreX);
        for (int y = 0; y < size; ++y) {
            const PF_Fixed fy = Morvel::Sampler::SubPixel::toFixed(u[static_cast<std::size_t>(y)] + centreY);
            Pixel pixel{};
            if ((err = areaSample(in_data->effect_ref, fx, fy, &sampling, &pixel)) != PF_Err_NONE) break;
            const double red = colourTimesAlpha(pixel.red, pixel);
            const double green = colourTimesAlpha(pixel.green, pixel);
            const double blue = colourTimesAlpha(pixel.blue, pixel);
            redTable.rows[row][y] = red;
            greenTable.rows[row][y] = green;
            blueTable.rows[row][y] = blue;
            sumRed += red;
            sumGreen += green;
            sumBlue += blue;
        }
    }
    const std::size_t slot = static_cast<std::size_t>(band);
    partialRed[slot] += sumRed;
    partialGreen[slot] += sumGreen;
    partialBlue[slot] += sumBlue;
    return err;
}

void KernelCreatorChannelKernel::beforeBake() {
    const double m = std::max({0.0, sumOf(partialRed), sumOf(partialGreen), sumOf(partialBlue)});
    gain = layerGain(*params, m);
}

PF_Err KernelCreatorChannelKernel::bake(int firstRow, int endRow) {
    addTable(red, redTable, size, firstRow, endRow, gain);
    addTable(green, greenTable, size, firstRow, endRow, gain);
    addTable(blue, blueTable, size, firstRow, endRow, gain);
    return PF_Err_NONE;
}

}  // namespace Glow
