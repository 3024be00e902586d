#include "glow/stages/preprocessor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#include "library/colorsys/colorsys.h"
#include "library/sampling/sub_pixel.h"
#include "library/utility/ansi.h"
#include "library/utility/pixel.h"

namespace Glow {

using Morvel::Color;

namespace {

// A change of 0.0001 must count although 1.0001 − 1 falls a hair short of it in double.
constexpr double kIdentityTolerance = 0.0001 * (1.0 - 1e-9);

bool differs(double value, double identity) { return std::abs(value - identity) >= kIdentityTolerance; }

using Unary = double (*)(double);
using Binary = double (*)(double, double);

// ---- level tables, in single precision

// trunc(y) within 0..full; NaN gives 0.
template <typename Entry>
Entry tableEntry(float y, float full) {
    if (!(y > 0.0f)) return 0;
    return y > full ? static_cast<Entry>(full) : static_cast<Entry>(y);
}

float clampUnit(float x) {
    if (!(x > 0.0f)) return 0.0f;
    return x < 1.0f ? x : 1.0f;
}

template <typename Entry>
std::vector<Entry> colorTable(const LevelCoefficients& c, float unit, float full, int last, size_t size) {
    std::vector<Entry> table(size, 0);
    for (int i = 0; i <= last; ++i) {
        const float x = clampUnit(i * unit * c.slope + c.offset);
        table[static_cast<size_t>(i)] = tableEntry<Entry>(std::pow(x, c.inverseGamma) * full + 0.5f, full);
    }
    return table;
}

template <typename Entry>
std::vector<Entry> alphaTable(const LevelCoefficients& c, float unit, float full, int last, size_t size) {
    std::vector<Entry> table(size, 0);
    for (int i = 0; i <= last; ++i) {
        table[static_cast<size_t>(i)] = tableEntry<Entry>((i * unit * c.slope + c.offset) * full + 0.5f, full);
    }
    return table;
}

constexpr float kUnit8 = 0.003921569f;    // 1/255 in single precision
constexpr float kUnit16 = 3.0517578e-5f;  // 1/32768

// ---- hue, lightness and saturation at unit scale

Color<float> shiftedHls(float red, float green, float blue, const Color<float>& shift) {
    Color<float> hls = Morvel::Colorsys::rgbToHls(Color<float>(0.0f, red, green, blue));
    hls.red += shift.red;
    hls.green *= shift.green;
    // Float pixels with max + min = 2 have infinite HLS saturation; a factor of 0 must still
    // remove it rather than make it NaN.
    hls.blue = shift.blue == 0.0f ? 0.0f : hls.blue * shift.blue;
    return Morvel::Colorsys::hlsToRgb(hls);
}

// In place on the colour channels; integer channels are rounded to the nearest step, float
// channels are not clamped.
template <typename Pixel>
void shiftHls(Pixel& p, float unit, const Color<float>& shift) {
    const Color<float> c = shiftedHls(p.red * unit, p.green * unit, p.blue * unit, shift);
    Pixel shifted;
    if constexpr (std::is_same_v<Pixel, PF_PixelFloat>) {
        shifted = PF_PixelFloat{0.0f, c.red, c.green, c.blue};
    } else {
        shifted = static_cast<Pixel>(c);
    }
    p.red = shifted.red;
    p.green = shifted.green;
    p.blue = shifted.blue;
}

// ---- masks

PF_Err unitMask(int, int, double& a) {
    a = 1.0;
    return PF_Err_NONE;
}

// The mask's own axes: u along its width, v along its height.
struct MaskFrame {
    double cx, cy, c, s;
    void axes(int x, int y, double& u, double& v) const {
        const double dx = x - cx, dy = y - cy;
        u = dx * c + dy * s;
        v = dx * s - dy * c;
    }
};

struct RectangleMask {
    MaskFrame frame;
    double w, h, f, wOuter, hOuter;
    bool invert;

    double edge(double distance, double extent) const {
        return distance >= extent ? (extent - distance) / f + 1.0 : 1.0;
    }

    PF_Err operator()(int x, int y, double& a) const {
        double u, v;
        frame.axes(x, y, u, v);
        u = std::abs(u);
        v = std::abs(v);
        if (u > wOuter || v > hOuter) {
            a = 0.0;
        } else {
            const double au = edge(u, w), av = edge(v, h);
            a = au < av ? au : av;
        }
        if (invert) a = 1.0 - a;
        return PF_Err_NONE;
    }
};

// The ellipse is scaled along its longer axis onto a circle of the shorter semi-axis R.
struct EllipseMask {
    MaskFrame frame;
    double uScale, vScale, radius, radiusSquared, outerSquared, f;
    bool invert;
    Unary sqrt;

    PF_Err operator()(int x, int y, double& a) const {
        double u, v;
        frame.axes(x, y, u, v);
        u *= uScale;
        v *= vScale;
        const double r2 = u * u + v * v;
        if (r2 > outerSquared) {
            a = 0.0;
        } else if (r2 < radiusSquared) {
            a = 1.0;
        } else {
            a = (radius - sqrt(r2)) / f + 1.0;
        }
        if (invert) a = 1.0 - a;
        return PF_Err_NONE;
    }
};

// Alpha (times luminance) of the layer at the mask's rotated and scaled position.
template <typename Pixel>
double layerValue(const Pixel& p, bool luminance);

template <>
double layerValue(const PF_Pixel& p, bool luminance) {
    double a = p.alpha / 255.0;
    if (luminance) a *= ((76 * p.red + 150 * p.green + 29 * p.blue) / 255) / 255.0;
    return a;
}

template <>
double layerValue(const PF_Pixel16& p, bool luminance) {
    double a = p.alpha / 32768.0;
    if (luminance) {
        const uint32_t v = 9798u * p.red + 19235u * p.green + 3735u * p.blue;
        a *= v < 1073774592u ? (v >> 15) / 32768.0 : 1.0;
    }
    return a;
}

template <>
double layerValue(const PF_PixelFloat& p, bool luminance) {
    double a = p.alpha;
    if (luminance) a *= 0.299f * p.red + 0.587f * p.green + 0.114f * p.blue;
    return a;
}

template <typename Pixel>
struct LayerMask {
    Morvel::Sampler::SubPixel sampler;
    double cx, cy, c, s, k, halfWidth, halfHeight;
    bool luminance;
    bool invert;

    PF_Err operator()(int x, int y, double& a) const {
        const double dx = x - cx, dy = y - cy;
        Pixel p{};
        const PF_Err err = sampler.sample(k * (dx * c + dy * s) + halfWidth, k * (-dx * s + dy * c) + halfHeight, &p);
        a = layerValue(p, luminance);
        if (invert) a = 1.0 - a;
        return err;
    }
};

// alpha × a cut toward zero, kept inside the channel: a layer's alpha may exceed full scale.
template <typename Channel>
Channel maskedAlpha(Channel alpha, double a) {
    const double product = alpha * a;
    if (!(product > 0.0)) return 0;
    constexpr double kMax = std::numeric_limits<Channel>::max();
    return product >= kMax ? static_cast<Channel>(kMax) : static_cast<Channel>(product);
}

template <typename Pixel>
const Pixel* sourceRow(const PF_LayerDef* world, int y) {
    return reinterpret_cast<const Pixel*>(static_cast<const char*>(world->data) + int64_t{y} * world->rowbytes);
}

template <typename Pixel>
Pixel* destinationRow(PF_LayerDef* world, int y) {
    return reinterpret_cast<Pixel*>(static_cast<char*>(world->data) + int64_t{y} * world->rowbytes);
}

}  // namespace

bool doColorLevels(double black, double white, double gamma) {
    return differs(black, 0.0) || differs(white, 1.0) || differs(gamma, 1.0);
}

bool doAlphaLevels(double black, double white) { return differs(black, 0.0) || differs(white, 1.0); }

bool doHls(Color<float> hls) {
    return std::abs(hls.red) >= 0.0001f || std::abs(hls.green - 1.0f) >= 0.0001f ||
           std::abs(hls.blue - 1.0f) >= 0.0001f;
}

LevelCoefficients levelCoefficients(double black, double white, double gamma) {
    return LevelCoefficients{static_cast<float>(1.0 / (white - black)), static_cast<float>(-black / (white - black)),
                             static_cast<float>(1.0 / gamma)};
}

std::vector<uint8_t> colorLevelTable8(double black, double white, double gamma) {
    return colorTable<uint8_t>(levelCoefficients(black, white, gamma), kUnit8, 255.0f, 255, 256);
}

std::vector<uint16_t> colorLevelTable16(double black, double white, double gamma) {
    return colorTable<uint16_t>(levelCoefficients(black, white, gamma), kUnit16, 32768.0f, 32768, 65536);
}

std::vector<uint8_t> alphaLevelTable8(double black, double white) {
    return alphaTable<uint8_t>(levelCoefficients(black, white, 1.0), kUnit8, 255.0f, 255, 256);
}

std::vector<uint16_t> alphaLevelTable16(double black, double white) {
    return alphaTable<uint16_t>(levelCoefficients(black, white, 1.0), kUnit16, 32768.0f, 32768, 65536);
}

Preprocessor::Preprocessor(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* source,
                           PF_LayerDef* destination, GlowParameters::Preprocessing* params)
    : Filter(in_data, suites, bpc, source, destination, params),
      hlsOn(doHls(params->hls)),
      colorLevelsOn(doColorLevels(params->black, params->white, params->gamma)),
      alphaLevelsOn(doAlphaLevels(params->alphaBlack, params->alphaWhite)),
      useMask(params->useMask),
      colorLevels(levelCoefficients(params->black, params->white, params->gamma)),
      alphaLevels(levelCoefficients(params->alphaBlack, params->alphaWhite, 1.0)),
      hostPow(Morvel::ansiCallback<Binary>(in_data, &PF_ANSICallbacks::pow,
                                           [](double x, double y) { return std::pow(x, y); })) {
    if (useMask) maskFunc = createMaskFunc();
    if (bpc == Morvel::Bpc16) {
        init16();
    } else if (bpc == Morvel::Bpc8) {
        init8();
    }
}

void Preprocessor::init8() {
    if (colorLevelsOn) colorTable8 = colorLevelTable8(params->black, params->white, params->gamma);
    if (alphaLevelsOn) alphaTable8 = alphaLevelTable8(params->alphaBlack, params->alphaWhite);
}

void Preprocessor::init16() {
    if (colorLevelsOn) colorTable16 = colorLevelTable16(params->black, params->white, params->gamma);
    if (alphaLevelsOn) alphaTable16 = alphaLevelTable16(params->alphaBlack, params->alphaWhite);
}

MaskFunc Preprocessor::createMaskFunc() {
    const GlowParameters::Preprocessing& p = *params;
    const Unary cos =
        Morvel::ansiCallback<Unary>(in_data, &PF_ANSICallbacks::cos, [](double x) { return std::cos(x); });
    const Unary sin =
        Morvel::ansiCallback<Unary>(in_data, &PF_ANSICallbacks::sin, [](double x) { return std::sin(x); });
    const double c = cos(p.rotation), s = sin(p.rotation);

    if (p.maskType == MaskTypeItem::Rectangle || p.maskType == MaskTypeItem::Circle) {
        const MaskFrame frame{p.center.x, p.center.y, c, s};
        const double w = std::max(p.scale * p.width, 1e-10), h = std::max(p.scale * p.height, 1e-10);
        // A falloff of 0 would divide by zero; anything up to 0.2 acts as 0.2.
        const double f = p.falloff <= 0.2 ? 0.2 : p.falloff;
        if (p.maskType == MaskTypeItem::Rectangle) return RectangleMask{frame, w, h, f, w + f, h + f, p.invert};

        const Unary fabs =
            Morvel::ansiCallback<Unary>(in_data, &PF_ANSICallbacks::fabs, [](double x) { return std::fabs(x); });
        const Unary sqrt =
            Morvel::ansiCallback<Unary>(in_data, &PF_ANSICallbacks::sqrt, [](double x) { return std::sqrt(x); });
        const double q = w / h;
        double uScale = 1.0, vScale = 1.0, radius = w;
        if (fabs(q - 1.0) >= 1e-6) {
            if (q >= 1.0) {
                uScale = h / w;
                radius = h;
            } else {
                vScale = q;
            }
        }
        return EllipseMask{frame, uScale,   vScale, radius, radius * radius, (radius + f) * (radius + f),
                           f,     p.invert, sqrt};
    }

    if (p.maskType == MaskTypeItem::Layer) {
        const PF_LayerDef* layer = p.maskLayer != nullptr ? p.maskLayer->world : nullptr;
        // The sampler holds the layer, so the mask function keeps it for as long as it lives.
        const Morvel::Sampler::SubPixel sampler(in_data, *suites, p.maskLayer, p.layerWrap);
        const double k = p.scale > 1e-7 ? 1.0 / p.scale : 1e7;
        const double halfWidth = layer != nullptr ? layer->width / 2.0 : 0.0;
        const double halfHeight = layer != nullptr ? layer->height / 2.0 : 0.0;
        const bool luminance = p.layerChannel == LayerChannelItem::Luminance;
        MaskFunc mask = Morvel::withPixelType(bpc, [&](auto tag) -> MaskFunc {
            using Pixel = typename decltype(tag)::type;
            return LayerMask<Pixel>{sampler, p.center.x, p.center.y, c,         s,
                                    k,       halfWidth,  halfHeight, luminance, p.invert};
        });
        // An unknown depth has no layer mask to sample.
        if (mask) return mask;
    }
    return unitMask;
}

double Preprocessor::maskFactor(int x, int y, PF_Err& bandErr) const {
    // After a failed call the band's result is that error, and the rest of its pixels are
    // masked out.
    if (bandErr != PF_Err_NONE) return 0.0;
    double a = 0.0;
    bandErr = maskFunc(x, y, a);
    return bandErr == PF_Err_NONE ? a : 0.0;
}

template <typename Pixel>
PF_Err Preprocessor::filterWithTables(const Morvel::Rect<int>& rect,
                                      const std::vector<decltype(Pixel{}.alpha)>& colorTable,
                                      const std::vector<decltype(Pixel{}.alpha)>& alphaTable) {
    using Channel = decltype(Pixel{}.alpha);
    constexpr float kScale = std::is_same_v<Channel, uint8_t> ? 1.0f / 255.0f : 1.0f / 32768.0f;
    PF_Err bandErr = PF_Err_NONE;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const Pixel* in = sourceRow<Pixel>(input, y);
        Pixel* out = destinationRow<Pixel>(output, y);
        for (int x = rect.left; x < rect.right; ++x) {
            Pixel p = in[x];
            if (p.alpha == 0) continue;
            if (hlsOn) shiftHls(p, kScale, params->hls);
            if (useMask) {
                p.alpha = maskedAlpha(p.alpha, maskFactor(x, y, bandErr));
                if (p.alpha == 0) continue;
            }
            if (alphaLevelsOn) p.alpha = alphaTable[p.alpha];
            if (colorLevelsOn) {
                p.red = colorTable[p.red];
                p.green = colorTable[p.green];
                p.blue = colorTable[p.blue];
            }
            out[x] = p;
        }
    }
    return bandErr;
}

PF_Err Preprocessor::filter8(const Morvel::Rect<int>& rect, bool) {
    return filterWithTables<PF_Pixel>(rect, colorTable8, alphaTable8);
}

PF_Err Preprocessor::filter16(const Morvel::Rect<int>& rect, bool) {
    return filterWithTables<PF_Pixel16>(rect, colorTable16, alphaTable16);
}

PF_Err Preprocessor::filter32(const Morvel::Rect<int>& rect, bool) {
    PF_Err bandErr = PF_Err_NONE;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const PF_PixelFloat* in = sourceRow<PF_PixelFloat>(input, y);
        PF_PixelFloat* out = destinationRow<PF_PixelFloat>(output, y);
        for (int x = rect.left; x < rect.right; ++x) {
            PF_PixelFloat p = in[x];
            if (!(p.alpha > 1e-6f)) continue;
            if (hlsOn) shiftHls(p, 1.0f, params->hls);
            if (useMask) {
                p.alpha = static_cast<float>(p.alpha * maskFactor(x, y, bandErr));
                if (!(p.alpha >= 1e-6f)) continue;
            }
            if (alphaLevelsOn) p.alpha = clampUnit(p.alpha * alphaLevels.slope + alphaLevels.offset);
            if (colorLevelsOn) {
                auto level = [this](float c) {
                    const float x = c * colorLevels.slope + colorLevels.offset;
                    return static_cast<float>(floatColorLevel(x, colorLevels.inverseGamma, hostPow));
                };
                p.red = level(p.red);
                p.green = level(p.green);
                p.blue = level(p.blue);
            }
            out[x] = p;
        }
    }
    return bandErr;
}

}  // namespace Glow
