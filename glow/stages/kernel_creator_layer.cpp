#include "glow/stages/kernel_creator_layer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

#include "library/sampling/sub_pixel.h"
#include "library/utility/pixel.h"

namespace Glow {

namespace {

// Channel values as fractions of full scale; float layers are read unclamped.
template <typename Pixel>
constexpr double kInverseFull = 1.0 / double(Morvel::PixelTraits<Pixel>::full);

template <typename Pixel>
double luminanceTimesAlpha(const Pixel& p) {
    constexpr double k = kInverseFull<Pixel>;
    return (0.299 * k * p.red + 0.587 * k * p.green + 0.114 * k * p.blue) * (k * p.alpha);
}

template <typename Pixel>
double colourTimesAlpha(double colour, const Pixel& p) {
    constexpr double k = kInverseFull<Pixel>;
    return colour * k * (p.alpha * k);
}

bool isFinite(const PF_PixelFloat& p) {
    return std::isfinite(p.alpha) && std::isfinite(p.red) && std::isfinite(p.green) && std::isfinite(p.blue);
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

// The creator's calculateMain at the render's depth.
template <typename Creator>
PF_Err calculateAtDepth(Creator& creator, Morvel::Bpc bpc, int band, int firstRow, int endRow) {
    return Morvel::withPixelType(bpc, [&](auto tag) {
        return creator.template calculateMain<typename decltype(tag)::type>(band, firstRow, endRow);
    });
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

LayerSampling::LayerSampling(const GlowParameters& params)
    : L(std::max(params.blurRadius * params.kernelScaling, 1e-6)), layer(layerOf(params)) {}

PF_Err LayerSampling::place(AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int kernelSize) {
    size = kernelSize;
    half = size * 0.5;
    const double lw = layer != nullptr ? layer->width : 0;
    const double lh = layer != nullptr ? layer->height : 0;
    centreX = lw * 0.5;
    centreY = lh * 0.5;
    scale = std::max(lw, lh) * 0.5 / L;
    u.resize(static_cast<std::size_t>(std::max(size, 0)));
    for (int i = 0; i < size; ++i) u[static_cast<std::size_t>(i)] = (i - half) * scale;
    return layer != nullptr ? areaSample.take(suites, bpc) : PF_Err_NONE;
}

template <typename Pixel, typename Take>
PF_Err LayerSampling::sample(PF_ProgPtr effect, int firstRow, int endRow, Take take) const {
    if (layer == nullptr) return PF_Err_NONE;
    PF_SampPB sampling{};
    sampling.src = layer;
    sampling.x_radius = sampling.y_radius = sampleRadius(scale);
    for (int x = firstRow; x < endRow; ++x) {
        const PF_Fixed fx = Morvel::Sampler::SubPixel::toFixed(u[static_cast<std::size_t>(x)] + centreX);
        for (int y = 0; y < size; ++y) {
            const PF_Fixed fy = Morvel::Sampler::SubPixel::toFixed(u[static_cast<std::size_t>(y)] + centreY);
            Pixel pixel{};
            if (PF_Err err = areaSample(effect, fx, fy, &sampling, &pixel)) return err;
            // A float layer may hold NaN or infinities; such a sample adds nothing, in one kernel or three.
            if constexpr (std::is_same_v<Pixel, PF_PixelFloat>) {
                if (!isFinite(pixel)) pixel = Pixel{};
            }
            take(static_cast<std::size_t>(x), y, pixel);
        }
    }
    return PF_Err_NONE;
}

// ---- single kernel

KernelCreatorNormalKernel::KernelCreatorNormalKernel(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                                     int threadCount, GlowParameters* params)
    : KernelCreatorNormal(in_data, suites, bpc, threadCount, params), layer(*params), partial(this->threadCount, 0.0) {}

BlurRadius KernelCreatorNormalKernel::getBlurRadius() { return {layer.length(), true}; }

PF_Err KernelCreatorNormalKernel::initialize() {
    table.init(size);
    return layer.place(suites, bpc, size);
}

PF_Err KernelCreatorNormalKernel::calculate(int band, int firstRow, int endRow) {
    return calculateAtDepth(*this, bpc, band, firstRow, endRow);
}

template <typename Pixel>
PF_Err KernelCreatorNormalKernel::calculateMain(int band, int firstRow, int endRow) {
    double sum = 0.0;
    const PF_Err err =
        layer.sample<Pixel>(in_data->effect_ref, firstRow, endRow, [&](std::size_t x, int y, const Pixel& pixel) {
            const double value = luminanceTimesAlpha(pixel);
            table.rows[x][y] = value;
            sum += value;
        });
    partial[static_cast<std::size_t>(band)] += sum;
    return err;
}

void KernelCreatorNormalKernel::beforeBake() { gain = layerGain(*params, sumOfPartials(partial)); }

PF_Err KernelCreatorNormalKernel::bake(int firstRow, int endRow) {
    addTable(rows, table, size, firstRow, endRow, gain);
    return PF_Err_NONE;
}

// ---- three kernels

KernelCreatorChannelKernel::KernelCreatorChannelKernel(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                                       int threadCount, GlowParameters* params)
    : KernelCreatorChannel(in_data, suites, bpc, threadCount, params),
      layer(*params),
      partialRed(this->threadCount, 0.0),
      partialGreen(this->threadCount, 0.0),
      partialBlue(this->threadCount, 0.0) {}

BlurRadius KernelCreatorChannelKernel::getBlurRadius() { return {layer.length(), true}; }

PF_Err KernelCreatorChannelKernel::initialize() {
    redTable.init(size);
    greenTable.init(size);
    blueTable.init(size);
    return layer.place(suites, bpc, size);
}

PF_Err KernelCreatorChannelKernel::calculate(int band, int firstRow, int endRow) {
    return calculateAtDepth(*this, bpc, band, firstRow, endRow);
}

template <typename Pixel>
PF_Err KernelCreatorChannelKernel::calculateMain(int band, int firstRow, int endRow) {
    double sumRed = 0.0;
    double sumGreen = 0.0;
    double sumBlue = 0.0;
    const PF_Err err =
        layer.sample<Pixel>(in_data->effect_ref, firstRow, endRow, [&](std::size_t x, int y, const Pixel& pixel) {
            const double red = colourTimesAlpha(pixel.red, pixel);
            const double green = colourTimesAlpha(pixel.green, pixel);
            const double blue = colourTimesAlpha(pixel.blue, pixel);
            redTable.rows[x][y] = red;
            greenTable.rows[x][y] = green;
            blueTable.rows[x][y] = blue;
            sumRed += red;
            sumGreen += green;
            sumBlue += blue;
        });
    const std::size_t slot = static_cast<std::size_t>(band);
    partialRed[slot] += sumRed;
    partialGreen[slot] += sumGreen;
    partialBlue[slot] += sumBlue;
    return err;
}

void KernelCreatorChannelKernel::beforeBake() {
    const double m =
        std::max({0.0, sumOfPartials(partialRed), sumOfPartials(partialGreen), sumOfPartials(partialBlue)});
    gain = layerGain(*params, m);
}

PF_Err KernelCreatorChannelKernel::bake(int firstRow, int endRow) {
    addTable(red, redTable, size, firstRow, endRow, gain);
    addTable(green, greenTable, size, firstRow, endRow, gain);
    addTable(blue, blueTable, size, firstRow, endRow, gain);
    return PF_Err_NONE;
}

}  // namespace Glow
