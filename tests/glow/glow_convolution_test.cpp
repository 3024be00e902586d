#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "glow/glow_channel.h"
#include "glow/glow_normal.h"
#include "host/sim/iterate.h"
#include "support/host_fixture.h"
#include "support/raw_world.h"

using Glow::ChannelColor;
using Glow::GlowParameters;
using Morvel::Wrap;

namespace {

// The glow's defaults: Blur Radius 20, Convergence 0, "Low", Exposure 0, diffusion only, levels off.
GlowParameters defaultParameters() {
    GlowParameters p;
    p.blurType = Glow::BlurTypeItem::Normal;
    p.blurRadius = 20;
    p.diffusion = true;
    p.diffusionConvergence = 10;  // 10 - "Diffusion Convergence"
    p.diffusionQuality = Glow::DiffusionQualityItem::Low;
    p.beamNumber = 4;
    p.beamIntensity = 1;
    p.beamScaling = 1;
    p.beamNormalizing = true;
    p.wrap = Wrap::None;
    p.color1 = {1, 1, 0, 0};
    p.color2 = {1, 0, 1, 0};
    p.color3 = {1, 0, 0, 1};
    p.color1Radius = p.color2Radius = p.color3Radius = 1;
    p.glowWhite = 1;
    p.glowGamma = 1;
    p.glowAlphaWhite = 1;
    return p;
}

// The diffusion profile without fade (exposure 0 leaves none), normalised by its sum: the kernel
// worked out apart from the creators. Indexed [dx + R][dy + R].
struct DirectKernel {
    int R = 0;
    double rawSum = 0;
    std::vector<double> values;
    double at(int dx, int dy) const { return values[static_cast<size_t>((dx + R) * (2 * R + 1) + dy + R)]; }
};

DirectKernel directKernel(double r, double convergence) {
    const double k = (63.5 - 6 * convergence) / r;
    DirectKernel kernel;
    kernel.R = static_cast<int>(std::ceil(r));
    const int side = 2 * kernel.R + 1;
    kernel.values.assign(static_cast<size_t>(side) * side, 0.0);
    for (int dx = -kernel.R; dx <= kernel.R; ++dx) {
        for (int dy = -kernel.R; dy <= kernel.R; ++dy) {
            const double d = std::sqrt(double(dx * dx + dy * dy));
            const double w = d <= r ? std::min(1.0 / ((k * d + 0.5) * (k * d + 0.5)), 1.0) : 0.0;
            kernel.values[static_cast<size_t>((dx + kernel.R) * side + dy + kernel.R)] = w;
            kernel.rawSum += w;
        }
    }
    for (double& v : kernel.values) v /= kernel.rawSum;
    return kernel;
}

// Where an index beyond the image reads from, worked out without the code under test; -1: nothing.
int wrapped(int v, int n, Wrap wrap) {
    if (v >= 0 && v < n) return v;
    if (wrap == Wrap::Edge) return v < 0 ? 0 : n - 1;
    if (wrap == Wrap::Mirror) {
        while (v < 0 || v >= n) v = v < 0 ? -1 - v : 2 * n - 1 - v;
        return v;
    }
    return -1;
}

// Brute-force convolution of the records (as four planes) with a kernel, the image extended by
// the wrap rule: result(X, Y) = sum over d of kernel(d) x source(X - dx, Y - dy).
template <typename Record, typename Get>
std::vector<double> directConvolution(const std::vector<Record>& source, int w, int h, const DirectKernel& kernel,
                                      Wrap wrap, Get get) {
    std::vector<double> out(static_cast<size_t>(w) * h, 0.0);
    const int R = kernel.R;
    for (int sy = -R; sy < h + R; ++sy) {
        const int Y = wrapped(sy, h, wrap);
        if (Y < 0) continue;
        for (int sx = -R; sx < w + R; ++sx) {
            const int X = wrapped(sx, w, wrap);
            if (X < 0) continue;
            const double v = get(source[static_cast<size_t>(Y) * w + X]);
            if (v == 0) continue;
            for (int dx = -R; dx <= R; ++dx) {
                const int ox = sx + dx;
                if (ox < 0 || ox >= w) continue;
                for (int dy = -R; dy <= R; ++dy) {
                    const int oy = sy + dy;
                    if (oy < 0 || oy >= h) continue;
                    out[static_cast<size_t>(oy) * w + ox] += kernel.at(dx, dy) * v;
                }
            }
        }
    }
    return out;
}

class ConvolutionTest : public SuitesHostTest {
protected:
    void imageSize(int w, int h) {
        in_data_.width = w;
        in_data_.height = h;
    }
};

// Sparse opaque colours, small enough that no colour overflows into alpha; the corners and some
// edge pixels are always set so that the wrap rules have something to reflect.
template <typename Record, typename Fill>
std::vector<Record> sparseImage(int w, int h, unsigned seed, Fill fill) {
    std::vector<Record> image(static_cast<size_t>(w) * h);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool edge = (x == 0 || y == 0 || x == w - 1 || y == h - 1) && (x + y) % 17 == 0;
            const bool corner = (x == 0 || x == w - 1) && (y == 0 || y == h - 1);
            if (corner || edge || unit(rng) < 0.004) fill(image[static_cast<size_t>(y) * w + x], rng);
        }
    }
    return image;
}

struct TilingCase {
    const char* name;
    double radius;
    Wrap wrap;
};
const TilingCase kTilingCases[] = {
    {"radius 20, none", 20, Wrap::None}, {"radius 20, edge", 20, Wrap::Edge}, {"radius 20, mirror", 20, Wrap::Mirror},
    {"radius 60, none", 60, Wrap::None}, {"radius 60, edge", 60, Wrap::Edge}, {"radius 60, mirror", 60, Wrap::Mirror},
};

// Colours are stored as floats: keeping them below 0.004 of full scale keeps the float rounding of
// the premultiplied values under 1e-9.
constexpr double kColourTop = 0.004;

TEST_F(ConvolutionTest, TiledNormalEqualsDirectConvolution) {
    const int w = 300, h = 200;
    imageSize(w, h);
    auto image = sparseImage<Glow::Color>(w, h, 7, [](Glow::Color& c, std::mt19937& rng) {
        std::uniform_real_distribution<double> colour(0, kColourTop);
        c = {colour(rng), colour(rng), colour(rng), 1.0};
    });
    for (const auto& c : kTilingCases) {
        GlowParameters p = defaultParameters();
        p.blurRadius = c.radius;
        p.wrap = c.wrap;
        RawWorld<PF_PixelFloat> glow(w, h);
        ASSERT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc32, glow.get(), 4, &p, &image).execute(), 0)
            << c.name;
        const DirectKernel kernel = directKernel(c.radius, p.diffusionConvergence);
        const auto red = directConvolution(image, w, h, kernel, c.wrap, [](const Glow::Color& v) { return v.red; });
        const auto green = directConvolution(image, w, h, kernel, c.wrap, [](const Glow::Color& v) { return v.green; });
        const auto blue = directConvolution(image, w, h, kernel, c.wrap, [](const Glow::Color& v) { return v.blue; });
        const auto alpha = directConvolution(image, w, h, kernel, c.wrap, [](const Glow::Color& v) { return v.alpha; });
        int failures = 0;
        for (int y = 0; y < h && failures < 5; ++y) {
            for (int x = 0; x < w && failures < 5; ++x) {
                const size_t i = static_cast<size_t>(y) * w + x;
                const PF_PixelFloat& out = glow.at(x, y);
                if (alpha[i] <= 1e-6) {
                    failures += out.alpha != 0 || out.red != 0 || out.green != 0 || out.blue != 0;
                    continue;
                }
                // The diffusion normalises itself, so the kernel's energy is 1 and the premultiplied
                // output is the convolution.
                const double a = out.alpha;
                const bool ok = std::fabs(out.red * a - red[i]) < 1e-9 && std::fabs(out.green * a - green[i]) < 1e-9 &&
                                std::fabs(out.blue * a - blue[i]) < 1e-9 && std::fabs(a - alpha[i]) < 1e-7;
                if (!ok) {
                    ++failures;
                    ADD_FAILURE() << c.name << " at (" << x << ", " << y << "): alpha " << a << " vs " << alpha[i]
                                  << ", red " << out.red * a << " vs " << red[i];
                }
            }
        }
        EXPECT_EQ(failures, 0) << c.name;
    }
}

TEST_F(ConvolutionTest, TiledChannelEqualsDirectConvolution) {
    const int w = 300, h = 200;
    imageSize(w, h);
    auto image = sparseImage<ChannelColor>(w, h, 11, [](ChannelColor& c, std::mt19937& rng) {
        std::uniform_real_distribution<double> colour(0, kColourTop);
        c = {colour(rng), colour(rng), colour(rng), 1.0, 1.0, 1.0};
    });
    const double factors[3] = {0.6, 1.0, 1.4};
    for (const auto& c : kTilingCases) {
        GlowParameters p = defaultParameters();
        p.blurType = Glow::BlurTypeItem::Channel;
        p.blurRadius = c.radius / 1.4;  // the widest kernel reaches the case's radius
        p.color1Radius = factors[0];
        p.color2Radius = factors[1];
        p.color3Radius = factors[2];
        p.wrap = c.wrap;
        RawWorld<PF_PixelFloat> glow(w, h);
        ASSERT_EQ(Glow::GlowChannel(&in_data_, suites(), Morvel::Bpc32, glow.get(), 4, &p, &image).execute(), 0)
            << c.name;
        DirectKernel kernels[3];
        std::vector<double> colour[3];
        std::vector<double> alpha[3];
        for (int j = 0; j < 3; ++j) {
            kernels[j] = directKernel(p.blurRadius * factors[j], p.diffusionConvergence);
            auto colourOf = [j](const ChannelColor& v) { return j == 0 ? v.red : j == 1 ? v.green : v.blue; };
            auto alphaOf = [j](const ChannelColor& v) {
                return j == 0 ? v.redAlpha : j == 1 ? v.greenAlpha : v.blueAlpha;
            };
            colour[j] = directConvolution(image, w, h, kernels[j], c.wrap, colourOf);
            alpha[j] = directConvolution(image, w, h, kernels[j], c.wrap, alphaOf);
        }
        int failures = 0;
        for (int y = 0; y < h && failures < 5; ++y) {
            for (int x = 0; x < w && failures < 5; ++x) {
                const size_t i = static_cast<size_t>(y) * w + x;
                const PF_PixelFloat& out = glow.at(x, y);
                const double a = out.alpha;
                const double outColour[3] = {out.red, out.green, out.blue};
                const double expectedAlpha = std::max({alpha[0][i], alpha[1][i], alpha[2][i]});
                bool ok = expectedAlpha <= 1e-6 || std::fabs(a - expectedAlpha) < 1e-7;
                for (int j = 0; j < 3; ++j) {
                    ok = ok && std::fabs(outColour[j] * a - colour[j][i]) < 1e-9;
                }
                if (!ok) {
                    ++failures;
                    ADD_FAILURE() << c.name << " at (" << x << ", " << y << "): alpha " << a << " vs " << expectedAlpha;
                }
            }
        }
        EXPECT_EQ(failures, 0) << c.name;
    }
}

// With Color 1 white, Colors 2 and 3 black and one radius for all, the three kernels are the
// Normal kernel, so a three-channel image whose alphas agree must glow as the one-colour image.
TEST_F(ConvolutionTest, ChannelWithTheNormalKernelForEachColourMatchesNormal) {
    struct Case {
        const char* name;
        bool diffusion;
        bool beam;
        Wrap wrap;
    };
    const Case cases[] = {
        {"diffusion, none", true, false, Wrap::None},
        {"diffusion and beam, edge", true, true, Wrap::Edge},
        {"beam, mirror", false, true, Wrap::Mirror},
    };
    const int w = 150, h = 90;
    imageSize(w, h);
    std::vector<Glow::Color> normal(static_cast<size_t>(w) * h);
    std::vector<ChannelColor> channel(normal.size());
    std::mt19937 rng(23);
    std::uniform_real_distribution<double> unit(0, 1);
    for (size_t i = 0; i < normal.size(); ++i) {
        const double a = 0.2 + 0.8 * unit(rng);
        normal[i] = {0.5 * a * unit(rng), 0.5 * a * unit(rng), 0.5 * a * unit(rng), a};
        channel[i] = {normal[i].red, normal[i].green, normal[i].blue, a, a, a};
    }
    for (const Case& c : cases) {
        GlowParameters p = defaultParameters();
        p.diffusion = c.diffusion;
        p.beam = c.beam;
        p.wrap = c.wrap;
        p.color1 = {1, 1, 1, 1};
        p.color2 = p.color3 = {1, 0, 0, 0};
        RawWorld<PF_PixelFloat> one(w, h);
        RawWorld<PF_PixelFloat> three(w, h);
        ASSERT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc32, one.get(), 3, &p, &normal).execute(), 0)
            << c.name;
        p.blurType = Glow::BlurTypeItem::Channel;
        ASSERT_EQ(Glow::GlowChannel(&in_data_, suites(), Morvel::Bpc32, three.get(), 3, &p, &channel).execute(), 0)
            << c.name;
        double worst = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const PF_PixelFloat& a = one.at(x, y);
                const PF_PixelFloat& b = three.at(x, y);
                ASSERT_GT(a.alpha, 0.0f) << c.name << " at (" << x << ", " << y << ")";
                worst = std::max({worst, std::fabs(double(a.alpha) - b.alpha), std::fabs(double(a.red) - b.red),
                                  std::fabs(double(a.green) - b.green), std::fabs(double(a.blue) - b.blue)});
            }
        }
        // The planes pair the values differently, so only the transforms' rounding may differ.
        EXPECT_LT(worst, 1e-6) << c.name;
    }
}

TEST_F(ConvolutionTest, OneWhitePixelGivesTheKernel) {
    const int w = 101, h = 91, px = 50, py = 45;
    imageSize(w, h);
    std::vector<Glow::Color> image(static_cast<size_t>(w) * h);
    image[static_cast<size_t>(py) * w + px] = {1, 1, 1, 1};
    GlowParameters p = defaultParameters();
    RawWorld<PF_PixelFloat> glow(w, h);
    ASSERT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc32, glow.get(), 8, &p, &image).execute(), 0);

    const DirectKernel kernel = directKernel(20, 10);
    EXPECT_NEAR(kernel.rawSum, 233.16417, 1e-5);
    EXPECT_NEAR(kernel.at(0, 0), 0.0042888, 1e-7);
    int nonZero = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const PF_PixelFloat& out = glow.at(x, y);
            const int dx = x - px, dy = y - py;
            const double expected = std::abs(dx) <= 20 && std::abs(dy) <= 20 ? kernel.at(dx, dy) : 0.0;
            ASSERT_NEAR(out.alpha, expected, 1e-9) << x << ", " << y;
            if (out.alpha > 0) {
                ++nonZero;
                ASSERT_NEAR(out.red, 1.0, 1e-5) << x << ", " << y;
                ASSERT_NEAR(out.green, 1.0, 1e-5);
                ASSERT_NEAR(out.blue, 1.0, 1e-5);
            }
        }
    }
    EXPECT_EQ(nonZero, 1257);
}

template <typename Pixel>
void expectUniform(RawWorld<Pixel>& world, double tolerance, const std::string& name) {
    const Pixel first = world.at(0, 0);
    EXPECT_GT(first.alpha, 0) << name;
    double worst = 0;
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            const Pixel& p = world.at(x, y);
            worst = std::max({worst, std::fabs(double(p.alpha) - first.alpha), std::fabs(double(p.red) - first.red),
                              std::fabs(double(p.green) - first.green), std::fabs(double(p.blue) - first.blue)});
        }
    }
    EXPECT_LE(worst, tolerance) << name;
}

TEST_F(ConvolutionTest, UniformImageStaysUniformWithEdgeAndMirror) {
    const int w = 230, h = 170;
    imageSize(w, h);
    for (Wrap wrap : {Wrap::Edge, Wrap::Mirror}) {
        GlowParameters p = defaultParameters();
        p.wrap = wrap;
        const std::string name = wrap == Wrap::Edge ? "edge" : "mirror";
        // An opaque colour in each depth's units, premultiplied: colour x alpha.
        auto image = [&](double full) {
            return std::vector<Glow::Color>(static_cast<size_t>(w) * h,
                                            Glow::Color{0.2 * full * full, 0.1 * full * full, 0.3 * full * full, full});
        };
        auto image8 = image(255), image16 = image(32768), image32 = image(1);
        RawWorld<PF_Pixel> glow8(w, h);
        RawWorld<PF_Pixel16> glow16(w, h);
        RawWorld<PF_PixelFloat> glow32(w, h);
        ASSERT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc8, glow8.get(), 2, &p, &image8).execute(), 0);
        ASSERT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc16, glow16.get(), 2, &p, &image16).execute(), 0);
        ASSERT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc32, glow32.get(), 2, &p, &image32).execute(), 0);
        expectUniform(glow8, 1, name + " 8");
        expectUniform(glow16, 1, name + " 16");
        expectUniform(glow32, 1e-6, name + " 32");
        EXPECT_NEAR(glow32.at(0, 0).red, 0.2, 1e-7) << name;
        EXPECT_NEAR(glow32.at(0, 0).alpha, 1.0, 1e-7) << name;
        EXPECT_NEAR(glow8.at(0, 0).red, 51, 1) << name;
        EXPECT_NEAR(glow16.at(0, 0).blue, 0.3 * 32768, 1) << name;
    }
}

// The same grey picture in each depth's units: 8 and 16 bits come out within 2 steps of the float
// output quantised, in Normal and Channel alike.
TEST_F(ConvolutionTest, IntegerDepthsFollowTheFloatOutput) {
    const int w = 160, h = 120;
    imageSize(w, h);
    auto grey = [&](int x, int y, double& c, double& a) {
        const double d = std::hypot(x - 70.0, y - 50.0);
        a = d < 30 ? 1.0 : d < 60 ? (60 - d) / 30 : 0.0;
        c = 0.3 + 0.5 * ((x / 8 + y / 8) % 2);
    };
    for (int blurType : {1, 2}) {
        GlowParameters p = defaultParameters();
        p.blurType = static_cast<Glow::BlurTypeItem>(blurType);
        p.beam = true;
        p.color1Radius = 0.7;
        p.color3Radius = 1.3;
        RawWorld<PF_Pixel> glow8(w, h);
        RawWorld<PF_Pixel16> glow16(w, h);
        RawWorld<PF_PixelFloat> glow32(w, h);
        auto render = [&](double full, Morvel::Bpc bpc, PF_LayerDef* world) {
            std::vector<Glow::Color> normal(static_cast<size_t>(w) * h);
            std::vector<ChannelColor> channel(static_cast<size_t>(w) * h);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    double c = 0, a = 0;
                    grey(x, y, c, a);
                    const double pc = c * full * a * full, pa = a * full;
                    normal[static_cast<size_t>(y) * w + x] = {pc, pc, pc, pa};
                    channel[static_cast<size_t>(y) * w + x] = {pc, pc, pc, pa, pa, pa};
                }
            }
            if (blurType == 1) return Glow::GlowNormal(&in_data_, suites(), bpc, world, 3, &p, &normal).execute();
            return Glow::GlowChannel(&in_data_, suites(), bpc, world, 3, &p, &channel).execute();
        };
        ASSERT_EQ(render(255, Morvel::Bpc8, glow8.get()), 0);
        ASSERT_EQ(render(32768, Morvel::Bpc16, glow16.get()), 0);
        ASSERT_EQ(render(1, Morvel::Bpc32, glow32.get()), 0);
        auto quantised = [](float v, double full) { return std::floor(std::clamp(v * full, 0.0, full) + 0.5); };
        double worst8 = 0, worst16 = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const PF_PixelFloat& f = glow32.at(x, y);
                const PF_Pixel& e = glow8.at(x, y);
                const PF_Pixel16& s = glow16.at(x, y);
                const float fv[4] = {f.alpha, f.red, f.green, f.blue};
                const double ev[4] = {double(e.alpha), double(e.red), double(e.green), double(e.blue)};
                const double sv[4] = {double(s.alpha), double(s.red), double(s.green), double(s.blue)};
                // Where alpha rounds to nothing the colour is a ratio of rounding noise, and unseen.
                for (int k = 0; k < 4; ++k) {
                    if (k == 0 || e.alpha > 0) worst8 = std::max(worst8, std::fabs(ev[k] - quantised(fv[k], 255)));
                    if (k == 0 || s.alpha > 0) worst16 = std::max(worst16, std::fabs(sv[k] - quantised(fv[k], 32768)));
                }
            }
        }
        EXPECT_LE(worst8, 2) << blurType;
        EXPECT_LE(worst16, 2) << blurType;
        EXPECT_GT(glow8.at(70, 50).alpha, 200) << blurType;
    }
}

TEST_F(ConvolutionTest, EmptyWorldsAndShortSourcesAreHandled) {
    GlowParameters p = defaultParameters();
    p.wrap = Wrap::Mirror;
    std::vector<Glow::Color> none;
    RawWorld<PF_PixelFloat> empty(0, 5);
    RawWorld<PF_PixelFloat> flat(5, 0);
    EXPECT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc32, empty.get(), 2, &p, &none).execute(), 0);
    EXPECT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc32, flat.get(), 2, &p, &none).execute(), 0);
    std::vector<ChannelColor> noChannels;
    EXPECT_EQ(Glow::GlowChannel(&in_data_, suites(), Morvel::Bpc32, empty.get(), 2, &p, &noChannels).execute(), 0);
    // A source shorter than the world is refused rather than read past its end.
    RawWorld<PF_PixelFloat> small(4, 4);
    std::vector<Glow::Color> tooShort(15);
    EXPECT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc32, small.get(), 2, &p, &tooShort).execute(),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host().iteration().progressReports().size(), 0u);
}

TEST_F(ConvolutionTest, AllKernelsOffGiveTransparentBlack) {
    const int w = 40, h = 30;
    imageSize(w, h);
    GlowParameters p = defaultParameters();
    p.diffusion = false;
    std::vector<Glow::Color> image(static_cast<size_t>(w) * h, Glow::Color{0.5, 0.5, 0.5, 1});
    RawWorld<PF_PixelFloat> glow(w, h);
    glow.at(3, 3) = {1, 1, 1, 1};
    ASSERT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc32, glow.get(), 1, &p, &image).execute(), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) ASSERT_EQ(glow.at(x, y).alpha, 0.0f);
    }
}

TEST_F(ConvolutionTest, ProgressCountsTheTiles) {
    struct Case {
        const char* name;
        int w, h;
        size_t calls;
        int lastCurrent, total;
    } cases[] = {
        {"full HD", 1920, 1080, 54, 54, 54},
        {"4K", 3840, 2160, 198, 198, 198},
        // (196 + 20) is a multiple of the step 216: the total counts a tile row and column more.
        {"one tile", 196, 196, 1, 1, 4},
    };
    for (const auto& c : cases) {
        imageSize(c.w, c.h);
        GlowParameters p = defaultParameters();
        std::vector<Glow::Color> image(static_cast<size_t>(c.w) * c.h);
        RawWorld<PF_Pixel> glow(c.w, c.h, 0);
        const size_t before = host().iteration().progressReports().size();
        ASSERT_EQ(Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc8, glow.get(), 8, &p, &image).execute(), 0)
            << c.name;
        const auto reports = host().iteration().progressReports();
        ASSERT_EQ(reports.size() - before, c.calls) << c.name;
        EXPECT_EQ(reports.back().current, c.lastCurrent) << c.name;
        EXPECT_EQ(reports.back().total, c.total) << c.name;
        // Tiles finish beside one another but are reported one by one, in order.
        for (size_t k = 0; k < c.calls; ++k) EXPECT_EQ(reports[before + k].current, int(k + 1)) << c.name;
    }
}

TEST_F(ConvolutionTest, ThreadedCancelEndsTheRenderWithTheHostsCode) {
    const int w = 500, h = 300;
    imageSize(w, h);
    for (int blurType : {1, 2}) {
        host().iteration().abortAfterPolls(2);
        GlowParameters p = defaultParameters();
        p.beam = true;
        RawWorld<PF_Pixel16> glow(w, h);
        PF_Err err = PF_Err_NONE;
        if (blurType == 1) {
            std::vector<Glow::Color> image(static_cast<size_t>(w) * h, Glow::Color{1, 1, 1, 1});
            err = Glow::GlowNormal(&in_data_, suites(), Morvel::Bpc16, glow.get(), 3, &p, &image).execute();
        } else {
            std::vector<ChannelColor> image(static_cast<size_t>(w) * h, ChannelColor{1, 1, 1, 1, 1, 1});
            err = Glow::GlowChannel(&in_data_, suites(), Morvel::Bpc16, glow.get(), 3, &p, &image).execute();
        }
        EXPECT_EQ(err, PF_Interrupt_CANCEL) << blurType;
        // After the kernel, then after the first tile; the second tile's poll sees the cancel.
        EXPECT_EQ(host().iteration().abortPolls(), 3) << blurType;
        host().iteration().abortAfterPolls(-1);
    }
}

}  // namespace
