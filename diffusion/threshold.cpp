#include "diffusion/threshold.h"

#include <cmath>
#include <utility>

#include "library/utility/ansi.h"
#include "library/utility/pixel.h"

namespace Diffusion {

namespace {

// The Glow's menu continues with its custom channel; here that item does not exist.
Glow::ChannelItem measuredChannel(Glow::ChannelItem channel) {
    return channel >= Glow::CHANNEL_RED && channel <= Glow::CHANNEL_DISTANCE_HSB ? channel : Glow::CHANNEL_LUMINANCE;
}

double clampUnit(double v) {
    if (!(v > 0.0)) return 0.0;
    return v < 1.0 ? v : 1.0;
}

// Where the ramp starts; a softness too small to divide by becomes a step 1e-6 wide.
double rampStart(double threshold, double softness) {
    return softness < 1e-6 ? threshold - 1e-6 : threshold - softness;
}

std::vector<double> rampTable(double threshold, double softness, double full, int last, size_t size) {
    const double start = rampStart(threshold, softness);
    const double width = threshold - start;
    std::vector<double> table(size, 0.0);
    for (int i = 0; i <= last; ++i) table[size_t(i)] = clampUnit((i - full * start) / (full * width));
    return table;
}

// 255/32768: a 16-bit step on the 8-bit scale the weight exponent is counted in.
constexpr double kSixteenToEight = 0.007781982421875;

std::vector<double> sixteenBitWeights(double weightFactor, Pow pow, size_t size) {
    std::vector<double> table(size, 0.0);
    for (int i = 0; i <= 32768; ++i) table[size_t(i)] = pow(weightFactor, i * kSixteenToEight);
    return table;
}

// The thresholded alpha as the destination stores it: integer depths truncate.
template <typename Pixel>
auto storedAlpha(double u) {
    using Channel = decltype(Pixel{}.alpha);
    return static_cast<Channel>(u);
}

Pow hostPow(const PF_InData* in_data) {
    return Morvel::ansiCallback<Pow>(in_data, &PF_ANSICallbacks::pow,
                                     [](double x, double y) { return std::pow(x, y); });
}

}  // namespace

Glow::ChannelFunc8 generateChannelFunc8(Glow::ChannelItem channel, const Morvel::Color<float>& reference) {
    return Glow::generateChannelFunc8(measuredChannel(channel), false, reference, {});
}

Glow::ChannelFunc16 generateChannelFunc16(Glow::ChannelItem channel, const Morvel::Color<float>& reference) {
    return Glow::generateChannelFunc16(measuredChannel(channel), false, reference, {});
}

Glow::ChannelFunc32 generateChannelFunc32(Glow::ChannelItem channel, const Morvel::Color<float>& reference) {
    return Glow::generateChannelFunc32(measuredChannel(channel), false, reference, {});
}

std::vector<double> rampTable8(double threshold, double softness) {
    return rampTable(threshold, softness, 255.0, 255, 256);
}

std::vector<double> rampTable16(double threshold, double softness) {
    return rampTable(threshold, softness, 32768.0, 32768, 65536);
}

std::function<double(float)> rampFunc32(double threshold, double softness) {
    const double start = rampStart(threshold, softness);
    const float startF = static_cast<float>(start);
    const float widthF = static_cast<float>(threshold - start);
    return [startF, widthF](float v) {
        const float a = (v - startF) / widthF;
        if (!(a > 0.0f)) return 0.0;
        return a < 1.0f ? double{a} : 1.0;
    };
}

std::vector<double> weightTable8(double weightFactor, Pow pow) {
    std::vector<double> table(256);
    for (int i = 0; i < 256; ++i) table[size_t(i)] = pow(weightFactor, i);
    return table;
}

std::vector<double> weightTable16(double weightFactor, Pow pow) { return sixteenBitWeights(weightFactor, pow, 65536); }

std::vector<double> weightTable32(double weightFactor, Pow pow) { return sixteenBitWeights(weightFactor, pow, 32769); }

// Clamped before the conversion: a bright HDR value or a NaN must not overflow the integer.
int weightIndex32(float value) {
    const double index = double{value} * 32768.0 + 0.5;
    if (!(index > 0.0)) return 0;
    return index < 32768.0 ? static_cast<int>(index) : 32768;
}

Threshold::Threshold(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* source,
                     PF_LayerDef* destination, ThresholdParameters* params)
    : Filter(in_data, suites, bpc, source, destination, params) {
    const Pow pow = hostPow(in_data);
    switch (bpc) {
        case Morvel::Bpc8:
            channel8 = generateChannelFunc8(params->channel, params->reference);
            ramp = rampTable8(params->threshold, params->softness);
            if (params->weighted) weights = weightTable8(params->weightFactor, pow);
            break;
        case Morvel::Bpc16:
            channel16 = generateChannelFunc16(params->channel, params->reference);
            ramp = rampTable16(params->threshold, params->softness);
            if (params->weighted) weights = weightTable16(params->weightFactor, pow);
            break;
        case Morvel::Bpc32:
            channel32 = generateChannelFunc32(params->channel, params->reference);
            ramp32 = rampFunc32(params->threshold, params->softness);
            if (params->weighted) weights = weightTable32(params->weightFactor, pow);
            break;
    }
}

template <typename Pixel, bool Weighted, typename Channel, typename Ramp, typename Weight>
void Threshold::band(const Morvel::Rect<int>& area, const Channel& channel, const Ramp& rampOf, const Weight& weight) {
    Glow::Color* buffer = params->buffer.data();
    const int64_t width = output->width;
    for (int y = area.top; y < area.bottom; ++y) {
        const Pixel* in = Morvel::pixelRow<Pixel>(input, y);
        Pixel* out = Morvel::pixelRow<Pixel>(output, y);
        Glow::Color* premultiplied = buffer + y * width;
        for (int x = area.left; x < area.right; ++x) {
            const Pixel& p = in[x];
            const double u = p.alpha * rampOf(channel(p));
            if (u > 1e-6) {
                if constexpr (Weighted) {
                    premultiplied[x] = Glow::Color{u * weight(p.red), u * weight(p.green), u * weight(p.blue), u};
                } else {
                    premultiplied[x] = Glow::Color{p.red * u, p.green * u, p.blue * u, u};
                }
            } else {
                premultiplied[x] = Glow::Color{};
            }
            Pixel kept = p;
            kept.alpha = storedAlpha<Pixel>(u);
            out[x] = kept;
        }
    }
}

template <typename Pixel, typename Channel, typename Ramp, typename Weight>
PF_Err Threshold::run(const Morvel::Rect<int>& area, const Channel& channel, const Ramp& rampOf, const Weight& weight) {
    if (input == nullptr || output == nullptr || !params->buffer ||
        params->buffer.size() < size_t(output->width) * size_t(output->height) || input->width < output->width ||
        input->height < output->height) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (params->weighted) {
        band<Pixel, true>(area, channel, rampOf, weight);
    } else {
        band<Pixel, false>(area, channel, rampOf, weight);
    }
    return PF_Err_NONE;
}

PF_Err Threshold::filter8(const Morvel::Rect<int>& area, bool) {
    return run<PF_Pixel>(
        area, channel8, [this](uint8_t v) { return ramp[v]; }, [this](uint8_t v) { return weights[v]; });
}

PF_Err Threshold::filter16(const Morvel::Rect<int>& area, bool) {
    return run<PF_Pixel16>(
        area, channel16, [this](uint16_t v) { return ramp[v]; }, [this](uint16_t v) { return weights[v]; });
}

PF_Err Threshold::filter32(const Morvel::Rect<int>& area, bool) {
    return run<PF_PixelFloat>(area, channel32, ramp32, [this](float v) { return weights[size_t(weightIndex32(v))]; });
}

}  // namespace Diffusion
