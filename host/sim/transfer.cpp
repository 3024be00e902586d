// The transfer-rectangle callback: a source rectangle composited onto a destination world with a
// transfer mode, opacity, RGB-only and straight or premultiplied alpha.
//
// The blend formulas are the published ones of the W3C Compositing and Blending Level 1 note
// (normal, multiply, screen, overlay, darken, lighten, colour dodge and burn, hard and soft light,
// difference, exclusion, hue, saturation, colour, luminosity) and the usual definitions of the
// linear, vivid, pin and hard-mix modes. All work in unit scale on straight colour; a mode's
// result B(backdrop, source) is then composited as
//   alpha = as + ab (1 - as)
//   colour = (as (1 - ab) Cs + as ab B + (1 - as) ab Cb) / alpha
// with as = source alpha x opacity and ab = destination alpha.
// The classic and current variants of difference, colour dodge and colour burn share one formula.

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/sim/host.h"
#include "host/sim/iterate.h"
#include "host/sim/thread_pool.h"
#include "host/sim/worlds.h"

namespace Sim {

namespace {

struct Rgb {
    double r, g, b;
};

double multiply(double b, double s) { return b * s; }
double screen(double b, double s) { return b + s - b * s; }
double hardLight(double b, double s) { return s <= 0.5 ? multiply(b, 2 * s) : screen(b, 2 * s - 1); }
double overlay(double b, double s) { return hardLight(s, b); }
double softLight(double b, double s) {
    if (s <= 0.5) return b - (1 - 2 * s) * b * (1 - b);
    const double d = b <= 0.25 ? ((16 * b - 12) * b + 4) * b : std::sqrt(b);
    return b + (2 * s - 1) * (d - b);
}
double darken(double b, double s) { return std::min(b, s); }
double lighten(double b, double s) { return std::max(b, s); }
double difference(double b, double s) { return std::fabs(b - s); }
double exclusion(double b, double s) { return b + s - 2 * b * s; }
double add(double b, double s) { return b + s; }
double colorDodge(double b, double s) {
    if (b <= 0) return 0;
    if (s >= 1) return 1;
    return std::min(1.0, b / (1 - s));
}
double colorBurn(double b, double s) {
    if (b >= 1) return 1;
    if (s <= 0) return 0;
    return 1 - std::min(1.0, (1 - b) / s);
}
double linearDodge(double b, double s) { return std::min(1.0, b + s); }
double linearBurn(double b, double s) { return std::max(0.0, b + s - 1); }
double linearLight(double b, double s) { return std::clamp(b + 2 * s - 1, 0.0, 1.0); }
double vividLight(double b, double s) { return s <= 0.5 ? colorBurn(b, 2 * s) : colorDodge(b, 2 * s - 1); }
double pinLight(double b, double s) { return s <= 0.5 ? std::min(b, 2 * s) : std::max(b, 2 * s - 1); }
double hardMix(double b, double s) { return b + s >= 1 ? 1.0 : 0.0; }
double normal(double, double s) { return s; }

template <double (*F)(double, double)>
Rgb separable(const Rgb& b, const Rgb& s) {
    return {F(b.r, s.r), F(b.g, s.g), F(b.b, s.b)};
}

double lum(const Rgb& c) { return 0.3 * c.r + 0.59 * c.g + 0.11 * c.b; }

Rgb clipColor(Rgb c) {
    const double l = lum(c);
    const double n = std::min({c.r, c.g, c.b});
    const double x = std::max({c.r, c.g, c.b});
    // The clip takes the lowest channel to 0 or the highest to 1. A grey (or a colour that rounds
    // to one) has every channel lowest and highest, and the ratio would be 0 / 0.
    auto scale = [&](double& v) {
        if (n < 0) v = l > n ? l + (v - l) * l / (l - n) : 0.0;
        if (x > 1) v = x > l ? l + (v - l) * (1 - l) / (x - l) : 1.0;
    };
    if (n < 0 || x > 1) {
        scale(c.r);
        scale(c.g);
        scale(c.b);
    }
    return c;
}

Rgb setLum(const Rgb& c, double l) {
    const double d = l - lum(c);
    return clipColor({c.r + d, c.g + d, c.b + d});
}

double sat(const Rgb& c) { return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}); }

Rgb setSat(Rgb c, double s) {
    double* channels[3] = {&c.r, &c.g, &c.b};
    std::sort(channels, channels + 3, [](const double* a, const double* b) { return *a < *b; });
    double& low = *channels[0];
    double& mid = *channels[1];
    double& high = *channels[2];
    if (high > low) {
        mid = (mid - low) * s / (high - low);
        high = s;
    } else {
        mid = high = 0;
    }
    low = 0;
    return c;
}

Rgb hue(const Rgb& b, const Rgb& s) { return setLum(setSat(s, sat(b)), lum(b)); }
Rgb saturation(const Rgb& b, const Rgb& s) { return setLum(setSat(b, sat(s)), lum(b)); }
Rgb color(const Rgb& b, const Rgb& s) { return setLum(s, lum(b)); }
Rgb luminosity(const Rgb& b, const Rgb& s) { return setLum(b, lum(s)); }

using MixFn = Rgb (*)(const Rgb&, const Rgb&);

enum class Kind { Mix, Dissolve, AlphaAdd, Matte };

struct Mode {
    Kind kind = Kind::Mix;
    MixFn mix = nullptr;
    bool luma = false;      // mattes: the source's luminance times its alpha
    bool inverted = false;  // mattes: keep where the source is not
};

// False for a mode the host does not offer.
bool modeOf(int32_t xfer, Mode* mode) {
    switch (xfer) {
        case PF_Xfer_IN_FRONT: *mode = {Kind::Mix, separable<normal>}; return true;
        case PF_Xfer_DISSOLVE: *mode = {Kind::Dissolve}; return true;
        case PF_Xfer_ADD: *mode = {Kind::Mix, separable<add>}; return true;
        case PF_Xfer_MULTIPLY: *mode = {Kind::Mix, separable<multiply>}; return true;
        case PF_Xfer_SCREEN: *mode = {Kind::Mix, separable<screen>}; return true;
        case PF_Xfer_OVERLAY: *mode = {Kind::Mix, separable<overlay>}; return true;
        case PF_Xfer_SOFT_LIGHT: *mode = {Kind::Mix, separable<softLight>}; return true;
        case PF_Xfer_HARD_LIGHT: *mode = {Kind::Mix, separable<hardLight>}; return true;
        case PF_Xfer_DARKEN: *mode = {Kind::Mix, separable<darken>}; return true;
        case PF_Xfer_LIGHTEN: *mode = {Kind::Mix, separable<lighten>}; return true;
        case PF_Xfer_DIFFERENCE:
        case PF_Xfer_DIFFERENCE2: *mode = {Kind::Mix, separable<difference>}; return true;
        case PF_Xfer_HUE: *mode = {Kind::Mix, hue}; return true;
        case PF_Xfer_SATURATION: *mode = {Kind::Mix, saturation}; return true;
        case PF_Xfer_COLOR: *mode = {Kind::Mix, color}; return true;
        case PF_Xfer_LUMINOSITY: *mode = {Kind::Mix, luminosity}; return true;
        case PF_Xfer_MULTIPLY_ALPHA: *mode = {Kind::Matte, nullptr, false, false}; return true;
        case PF_Xfer_MULTIPLY_ALPHA_LUMA: *mode = {Kind::Matte, nullptr, true, false}; return true;
        case PF_Xfer_MULTIPLY_NOT_ALPHA: *mode = {Kind::Matte, nullptr, false, true}; return true;
        case PF_Xfer_MULTIPLY_NOT_ALPHA_LUMA: *mode = {Kind::Matte, nullptr, true, true}; return true;
        case PF_Xfer_ALPHA_ADD: *mode = {Kind::AlphaAdd}; return true;
        case PF_Xfer_COLOR_DODGE:
        case PF_Xfer_COLOR_DODGE2: *mode = {Kind::Mix, separable<colorDodge>}; return true;
        case PF_Xfer_COLOR_BURN:
        case PF_Xfer_COLOR_BURN2: *mode = {Kind::Mix, separable<colorBurn>}; return true;
        case PF_Xfer_EXCLUSION: *mode = {Kind::Mix, separable<exclusion>}; return true;
        case PF_Xfer_LINEAR_DODGE: *mode = {Kind::Mix, separable<linearDodge>}; return true;
        case PF_Xfer_LINEAR_BURN: *mode = {Kind::Mix, separable<linearBurn>}; return true;
        case PF_Xfer_LINEAR_LIGHT: *mode = {Kind::Mix, separable<linearLight>}; return true;
        case PF_Xfer_VIVID_LIGHT: *mode = {Kind::Mix, separable<vividLight>}; return true;
        case PF_Xfer_PIN_LIGHT: *mode = {Kind::Mix, separable<pinLight>}; return true;
        case PF_Xfer_HARD_MIX: *mode = {Kind::Mix, separable<hardMix>}; return true;
        default: return false;
    }
}

// Uniform in [0, 1), fixed for a pixel and seed.
double noise(int32_t x, int32_t y, int32_t seed) {
    uint64_t z = (uint64_t(uint32_t(x)) << 32 | uint32_t(y)) + uint64_t(uint32_t(seed)) * 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    z ^= z >> 31;
    return double(z >> 11) * 0x1.0p-53;
}

double unitClamp(double v) { return v > 0 ? std::min(v, 1.0) : 0.0; }

struct Transfer {
    Mode mode;
    double opacity = 1;
    bool rgbOnly = false;
    bool premultiplied = false;
    int32_t seed = 0;

    Unit apply(Unit src, Unit dst, int32_t x, int32_t y) const {
        if (premultiplied) {
            src = straighten(src);
            dst = straighten(dst);
        }
        const double ab = unitClamp(dst.alpha);
        const double as = unitClamp(src.alpha) * opacity;
        const Rgb cs{src.red, src.green, src.blue};
        const Rgb cb{dst.red, dst.green, dst.blue};
        Rgb co{0, 0, 0};
        double ao = 0;
        switch (mode.kind) {
            case Kind::Mix: {
                ao = as + ab * (1 - as);
                if (ao > 0) {
                    const Rgb m = mode.mix(cb, cs);
                    const double ws = as * (1 - ab), wm = as * ab, wb = (1 - as) * ab;
                    co = {(ws * cs.r + wm * m.r + wb * cb.r) / ao, (ws * cs.g + wm * m.g + wb * cb.g) / ao,
                          (ws * cs.b + wm * m.b + wb * cb.b) / ao};
                }
                break;
            }
            case Kind::Dissolve:
                if (noise(x, y, seed) < as) {
                    co = cs;
                    ao = 1;
                } else {
                    co = cb;
                    ao = ab;
                }
                break;
            case Kind::AlphaAdd: {
                const double sum = as + ab;
                ao = std::min(1.0, sum);
                if (sum > 0) {
                    co = {(as * cs.r + ab * cb.r) / sum, (as * cs.g + ab * cb.g) / sum, (as * cs.b + ab * cb.b) / sum};
                }
                break;
            }
            case Kind::Matte: {
                const double matte = unitClamp(src.alpha) * (mode.luma ? unitClamp(lum(cs)) : 1.0);
                co = cb;
                ao = ab * (mode.inverted ? 1 - opacity * matte : 1 - opacity * (1 - matte));
                break;
            }
        }
        if (rgbOnly) ao = dst.alpha;
        Unit out{ao, co.r, co.g, co.b};
        if (premultiplied) {
            out.red *= ao;
            out.green *= ao;
            out.blue *= ao;
        }
        // Blends of colour near the float limit (the screen or product of a huge colour) can leave
        // the float range: a float world keeps the nearest finite value, as integer worlds clamp.
        out.red = withinFloatRange(out.red);
        out.green = withinFloatRange(out.green);
        out.blue = withinFloatRange(out.blue);
        return out;
    }

    // Non-finite values pass as they are.
    static double withinFloatRange(double v) {
        constexpr double kLargest = std::numeric_limits<float>::max();
        return std::isfinite(v) ? std::clamp(v, -kLargest, kLargest) : v;
    }

    static Unit straighten(const Unit& u) {
        if (!(u.alpha > 0)) return {u.alpha, 0, 0, 0};
        return {u.alpha, u.red / u.alpha, u.green / u.alpha, u.blue / u.alpha};
    }
};

template <typename Pixel>
void transferPixels(const Transfer& transfer, const PixelsView& from, const PF_LRect& r, const PixelsView& to,
                    int32_t dest_x, int32_t dest_y, int32_t field, ThreadPool* pool) {
    const int32_t top = std::max(r.top, 0), bottom = std::min(r.bottom, from.height);
    const int32_t left = std::max(r.left, 0), right = std::min(r.right, from.width);
    if (top >= bottom || left >= right) return;
    // Each source row lands on a row of its own, so bands of rows share nothing.
    forRowBands(pool, bottom - top, right - left, [&](int32_t first, int32_t end) {
        for (int32_t sy = top + first; sy < top + end; ++sy) {
            const int64_t dy = int64_t(dest_y) + (int64_t(sy) - r.top);
            if (dy < 0 || dy >= to.height) continue;
            if ((field == PF_Field_UPPER && dy % 2 != 0) || (field == PF_Field_LOWER && dy % 2 == 0)) continue;
            const Pixel* source = from.row<Pixel>(sy);
            Pixel* target = to.row<Pixel>(int32_t(dy));
            for (int32_t sx = left; sx < right; ++sx) {
                const int64_t dx = int64_t(dest_x) + (int64_t(sx) - r.left);
                if (dx < 0 || dx >= to.width) continue;
                const Unit out = transfer.apply(toUnit(source[sx]), toUnit(target[dx]), int32_t(dx), int32_t(dy));
                fromUnit(out, &target[dx]);
            }
        }
    });
}

PF_Err transferRect(PF_ProgPtr effect_ref, int32_t quality, int32_t m_flags, int32_t field, const PF_Rect* src_rec,
                    const PF_LayerDef* src_world, const PF_CompositeMode* comp_mode, const PF_MaskWorld* mask_world0,
                    int32_t dest_x, int32_t dest_y, PF_LayerDef* dst_world) {
    Host& host = Host::current();
    std::string line = "transfer_rect";
    if (comp_mode != nullptr) {
        line += " xfer " + std::to_string(comp_mode->xfer) + " opacity " + std::to_string(comp_mode->opacity) +
                " opacitySu " + std::to_string(comp_mode->opacitySu) + " rgb_only " +
                std::to_string(comp_mode->rgb_only) + " seed " + std::to_string(comp_mode->rand_seed);
    }
    if (src_rec != nullptr) {
        line += " rect (" + std::to_string(src_rec->left) + "," + std::to_string(src_rec->top) + "," +
                std::to_string(src_rec->right) + "," + std::to_string(src_rec->bottom) + ")";
    }
    line += " at " + std::to_string(dest_x) + "," + std::to_string(dest_y) + " quality " + std::to_string(quality) +
            " flags " + std::to_string(m_flags) + " field " + std::to_string(field);
    host.log().add(line);
    if (PF_Err err = host.faults().onCall("transfer_rect")) return err;

    auto refuse = [&](const std::string& why) {
        host.log().add("error: transfer_rect: " + why);
        return PF_Err_BAD_CALLBACK_PARAM;
    };
    if (effect_ref == nullptr) return refuse("null effect reference");
    if (comp_mode == nullptr) return refuse("null composite mode");
    if (m_flags != PF_MF_Alpha_PREMUL && m_flags != PF_MF_Alpha_STRAIGHT) return refuse("unknown mode flags");
    if (field < PF_Field_FRAME || field > PF_Field_LOWER) return refuse("unknown field");
    if (mask_world0 != nullptr) return refuse("masks are not offered");
    if (comp_mode->opacitySu > PF_MAX_CHAN16) return refuse("16-bit opacity above 32768");
    Mode mode;
    if (comp_mode->xfer != PF_Xfer_NONE && !modeOf(comp_mode->xfer, &mode)) {
        return refuse("transfer mode " + std::to_string(comp_mode->xfer) + " is not offered");
    }
    PixelsView from, to;
    if (PF_Err err = host.worlds().check(src_world, "transfer_rect source", &from)) return err;
    if (PF_Err err = host.worlds().check(dst_world, "transfer_rect destination", &to)) return err;
    if (from.format != to.format) return refuse("source and destination differ in depth");
    if (comp_mode->xfer == PF_Xfer_NONE) return PF_Err_NONE;

    const PF_LRect r = src_rec != nullptr ? *src_rec : PF_LRect{0, 0, from.width, from.height};
    Transfer transfer;
    transfer.mode = mode;
    transfer.opacity =
        from.format == PF_PixelFormat_ARGB32 ? comp_mode->opacity / 255.0 : comp_mode->opacitySu / 32768.0;
    transfer.rgbOnly = comp_mode->rgb_only != 0;
    transfer.premultiplied = m_flags == PF_MF_Alpha_PREMUL;
    transfer.seed = comp_mode->rand_seed;

    Image snapshot;
    if (from.overlaps(to)) snapshot = from.detach();
    ThreadPool* pool = host.iteration().poolFor(int64_t(to.width) * to.height);
    withPixelType(from.format, [&](auto tag) {
        transferPixels<typename decltype(tag)::type>(transfer, from, r, to, dest_x, dest_y, field, pool);
        return 0;
    });
    return PF_Err_NONE;
}

}  // namespace

void installTransferCallback(PF_UtilCallbacks& utils) { utils.transfer_rect = transferRect; }

}  // namespace Sim
