#include "glow/stages/threshold_functions.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "library/colorsys/colorsys.h"
#include "library/utility/ansi.h"

namespace Glow {

using Morvel::Color;
using Morvel::ColorExpressionData::Expression;

namespace {

// What differs between the depths: the integer luminance and alpha product of the 8- and 16-bit
// items, and how a 0..1 closeness becomes a channel value.
// trunc(v·full) within 0..full; NaN gives 0.
template <typename ValueType, int Full>
struct IntegerDepth {
    using Value = ValueType;
    static constexpr float kFull = Full;

    template <typename T>
    static Value fromUnit(T v) {
        const T scaled = v * T(Full);
        if (!(scaled > T(0))) return 0;
        return scaled >= T(Full) ? Value(Full) : static_cast<Value>(scaled);
    }
};

struct Depth8 : IntegerDepth<uint8_t, 255> {
    using Pixel = PF_Pixel;
    static constexpr float kUnit = 0.003921569f;  // 1/255 in single precision

    static Value luminance(const Pixel& p) {
        return static_cast<Value>((76 * p.red + 150 * p.green + 29 * p.blue) / 255);
    }
    static Value timesAlpha(Value v, const Pixel& p) { return static_cast<Value>(v * p.alpha / 255); }
};

struct Depth16 : IntegerDepth<uint16_t, 32768> {
    using Pixel = PF_Pixel16;
    static constexpr float kUnit = 1.0f / 32768.0f;

    // Channels above 32768 are possible in a 16-bit world; the sums stay within 32 bits unsigned
    // and the results keep their low 16 bits.
    static Value luminance(const Pixel& p) {
        const uint32_t v = (9798u * p.red + 19235u * p.green + 3735u * p.blue) >> 15;
        return static_cast<Value>(std::min<uint32_t>(v, 32768));
    }
    static Value timesAlpha(Value v, const Pixel& p) { return static_cast<Value>((uint32_t{v} * p.alpha) >> 15); }
};

struct Depth32 {
    using Pixel = PF_PixelFloat;
    using Value = float;
    static constexpr float kUnit = 1.0f;
    static constexpr float kFull = 1.0f;

    static Value luminance(const Pixel& p) { return 0.299f * p.red + 0.587f * p.green + 0.114f * p.blue; }
    static Value timesAlpha(Value v, const Pixel& p) { return v * p.alpha; }
    template <typename T>
    static Value fromUnit(T v) {
        if (!(v > T(0))) return 0.0f;
        return v >= T(1) ? 1.0f : static_cast<float>(v);
    }
};

// ---- closeness to the reference colour (items 6, 11, 12), single precision unless noted

struct Rgb {
    float red, green, blue;
};

struct Point3 {
    float x = 0, y = 0, z = 0;
};

constexpr float kDegreesToRadians = 0.017453292f;
constexpr double kDegreesToRadiansDouble = 3.14159265358979323846 / 180.0;

// Hue in degrees, [0, 360); red is tested first, then green.
float hueDegrees(const Rgb& c, float max, float delta) {
    float h = Morvel::Colorsys::detail::rawHueDegrees(c.red, c.green, c.blue, max, delta);
    h -= 360.0f * std::trunc(h * 0.0027777778f);
    return h < 0.0f ? h + 360.0f : h;
}

// The hue–lightness plane: cos and sin in double, rounded to single.
Point3 huePoint(const Rgb& c) {
    const float max = std::max({c.red, c.green, c.blue});
    const float min = std::min({c.red, c.green, c.blue});
    const float lightness = (max + min) * 0.5f;
    const double angle = hueDegrees(c, max, max - min) * kDegreesToRadiansDouble;
    return Point3{lightness * static_cast<float>(std::cos(angle)), lightness * static_cast<float>(std::sin(angle)),
                  0.0f};
}

Point3 rgbPoint(const Rgb& c) { return Point3{c.red, c.green, c.blue}; }

// The HSB cylinder: cos and sin in single precision.
Point3 hsbPoint(const Rgb& c) {
    const float max = std::max({c.red, c.green, c.blue});
    const float delta = max - std::min({c.red, c.green, c.blue});
    const float saturation = max == 0.0f ? 0.0f : delta / max;
    const float angle = hueDegrees(c, max, delta) * kDegreesToRadians;
    return Point3{saturation * std::cos(angle), saturation * std::sin(angle), max};
}

float squaredDistance(const Point3& a, const Point3& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// 1 − |P − Pref| / N; items 6 and 12 take the root and quotient in double, item 11 in single.
struct HueCloseness {
    static constexpr float kNormaliser = 1.4142135f;
    static Point3 point(const Rgb& c) { return huePoint(c); }
    static double value(float squared) { return 1.0 - std::sqrt(double{squared}) / double{kNormaliser}; }
};

struct RgbCloseness {
    static constexpr float kNormaliser = 1.7320508f;
    static Point3 point(const Rgb& c) { return rgbPoint(c); }
    static float value(float squared) { return 1.0f - std::sqrt(squared) / kNormaliser; }
};

struct HsbCloseness {
    static constexpr float kNormaliser = 2.236068f;
    static Point3 point(const Rgb& c) { return hsbPoint(c); }
    static double value(float squared) { return 1.0 - std::sqrt(double{squared}) / double{kNormaliser}; }
};

template <typename D>
Rgb unitColor(const typename D::Pixel& p) {
    return Rgb{p.red * D::kUnit, p.green * D::kUnit, p.blue * D::kUnit};
}

template <typename D>
Rgb premultipliedUnitColor(const typename D::Pixel& p) {
    const float a = p.alpha * D::kUnit;
    return Rgb{p.red * D::kUnit * a, p.green * D::kUnit * a, p.blue * D::kUnit * a};
}

template <typename D, typename Measure>
std::function<typename D::Value(const typename D::Pixel&)> closenessFunc(bool multiplyAlpha, const Color<float>& ref) {
    using Pixel = typename D::Pixel;
    const Point3 reference = Measure::point(Rgb{ref.red, ref.green, ref.blue});
    if (multiplyAlpha) {
        return [reference](const Pixel& p) {
            return D::fromUnit(
                Measure::value(squaredDistance(Measure::point(premultipliedUnitColor<D>(p)), reference)));
        };
    }
    return [reference](const Pixel& p) {
        return D::fromUnit(Measure::value(squaredDistance(Measure::point(unitColor<D>(p)), reference)));
    };
}

// ---- the factory shared by the three depths

template <typename D>
std::function<typename D::Value(const typename D::Pixel&)> channelFunc(ChannelItem channel, bool multiplyAlpha,
                                                                       const Color<float>& reference,
                                                                       Expression expression) {
    using Pixel = typename D::Pixel;
    using Func = std::function<typename D::Value(const Pixel&)>;
    // Items 1–4 and 7–10: the measure, or the measure times alpha.
    auto plain = [multiplyAlpha](auto measure) -> Func {
        if (multiplyAlpha) return [measure](const Pixel& p) { return D::timesAlpha(measure(p), p); };
        return measure;
    };
    switch (channel) {
        case CHANNEL_RED: return plain([](const Pixel& p) { return p.red; });
        case CHANNEL_GREEN: return plain([](const Pixel& p) { return p.green; });
        case CHANNEL_BLUE: return plain([](const Pixel& p) { return p.blue; });
        case CHANNEL_ALPHA: return [](const Pixel& p) { return p.alpha; };
        case CHANNEL_HUE: return closenessFunc<D, HueCloseness>(multiplyAlpha, reference);
        case CHANNEL_SATURATION: return plain([](const Pixel& p) { return Morvel::Colorsys::saturation(p); });
        case CHANNEL_SATURATION_CONE: return plain([](const Pixel& p) { return Morvel::Colorsys::saturationCone(p); });
        case CHANNEL_LIGHTNESS: return plain([](const Pixel& p) { return Morvel::Colorsys::lightness(p); });
        case CHANNEL_BRIGHTNESS: return plain([](const Pixel& p) { return Morvel::Colorsys::brightness(p); });
        case CHANNEL_DISTANCE_RGB: return closenessFunc<D, RgbCloseness>(multiplyAlpha, reference);
        case CHANNEL_DISTANCE_HSB: return closenessFunc<D, HsbCloseness>(multiplyAlpha, reference);
        case CHANNEL_CUSTOM:
            return [expression = std::move(expression)](const Pixel& p) {
                const Color<float> colour(p.alpha / D::kFull, p.red / D::kFull, p.green / D::kFull, p.blue / D::kFull);
                return D::fromUnit(expression.evaluate(colour));
            };
        default: return plain([](const Pixel& p) { return D::luminance(p); });
    }
}

// ---- threshold alpha

double clampUnit(double q) {
    if (!(q > 0.0)) return 0.0;
    return q < 1.0 ? q : 1.0;
}

// Bounds of the curve in the depth's units: rising from `low` over `width`, and for a band
// falling to 0 at `high` over `width`.
struct AlphaCurve {
    double low;
    double high;
    double width;
    bool band;
    bool invert;

    double operator()(double x) const {
        double a = clampUnit((x - low) / width);
        if (band) a = std::min(a, clampUnit((high - x) / width));
        return invert ? 1.0 - a : a;
    }
};

AlphaCurve alphaCurve(double threshold, bool useThreshold2, double threshold2, double softness, bool invert,
                      double full) {
    const double s = std::max(softness, 0.000001);
    if (!useThreshold2) return AlphaCurve{(threshold - s) * full, 0.0, s * full, false, invert};
    const double lower = std::min(threshold, threshold2);
    double upper = std::max(threshold, threshold2);
    if (threshold == threshold2) upper = threshold2 + 0.000001;
    return AlphaCurve{(lower - s) * full, (upper + s) * full, s * full, true, invert};
}

void fillAlphas(const AlphaCurve& curve, int last, std::vector<double>& alphas) {
    for (int i = 0; i <= last; ++i) alphas[static_cast<size_t>(i)] = curve(i);
}

}  // namespace

ChannelFunc8 generateChannelFunc8(ChannelItem channel, bool multiplyAlpha, const Color<float>& reference,
                                  Expression expression) {
    return channelFunc<Depth8>(channel, multiplyAlpha, reference, std::move(expression));
}

ChannelFunc16 generateChannelFunc16(ChannelItem channel, bool multiplyAlpha, const Color<float>& reference,
                                    Expression expression) {
    return channelFunc<Depth16>(channel, multiplyAlpha, reference, std::move(expression));
}

ChannelFunc32 generateChannelFunc32(ChannelItem channel, bool multiplyAlpha, const Color<float>& reference,
                                    Expression expression) {
    return channelFunc<Depth32>(channel, multiplyAlpha, reference, std::move(expression));
}

void generateAlphas8(double threshold, bool useThreshold2, double threshold2, double softness, bool invert,
                     std::vector<double>& alphas) {
    alphas.resize(256);
    fillAlphas(alphaCurve(threshold, useThreshold2, threshold2, softness, invert, 255.0), 255, alphas);
}

void generateAlphas16(double threshold, bool useThreshold2, double threshold2, double softness, bool invert,
                      std::vector<double>& alphas) {
    alphas.resize(65536);
    fillAlphas(alphaCurve(threshold, useThreshold2, threshold2, softness, invert, 32768.0), 32768, alphas);
}

AlphaFunc32 generateAlphaFunc32(double threshold, bool useThreshold2, double threshold2, double softness, bool invert) {
    const AlphaCurve c = alphaCurve(threshold, useThreshold2, threshold2, softness, invert, 1.0);
    // Four separate curves, so that the per-pixel call tests neither the band nor the inversion.
    if (!c.band && !invert) return [c](float x) { return clampUnit((x - c.low) / c.width); };
    if (!c.band) return [c](float x) { return 1.0 - clampUnit((x - c.low) / c.width); };
    if (!invert) {
        return [c](float x) { return std::min(clampUnit((x - c.low) / c.width), clampUnit((c.high - x) / c.width)); };
    }
    return [c](float x) { return 1.0 - std::min(clampUnit((x - c.low) / c.width), clampUnit((c.high - x) / c.width)); };
}

// ---- toner rate

TonerRateFunc generateTonerRateFunc(PF_InData* in_data, double white, double black, double gamma) {
    if (white == black) return [black](double x) { return x >= black ? 1.0 : 0.0; };

    const double k = 1.0 / (white - black);
    const auto hostFabs = Morvel::ansiCallback<double (*)(double)>(in_data, &PF_ANSICallbacks::fabs,
                                                                   [](double x) { return std::fabs(x); });
    if (hostFabs(gamma - 1.0) < 0.000001) return [black, k](double x) { return clampUnit((x - black) * k); };

    const auto hostPow = Morvel::ansiCallback<double (*)(double, double)>(
        in_data, &PF_ANSICallbacks::pow, [](double x, double y) { return std::pow(x, y); });
    const double exponent = 1.0 / gamma;
    return [hostPow, black, k, exponent](double x) { return hostPow(clampUnit((x - black) * k), exponent); };
}

bool useTonerRateFunc(TonesItem tones) { return tones != TONES_MONOTONE && tones != TONES_TONER_MAP; }

}  // namespace Glow
