#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "host/sim/iterate.h"
#include "host/world_helpers.h"
#include "library/utility/pixel.h"
#include "support/host_fixture.h"

using namespace WorldHelpers;
using Sim::Unit;

namespace {

class TransferTest : public HostTest {
protected:
    // One source pixel onto one destination pixel; returns the destination afterwards.
    Unit transferOne(PF_PixelFormat format, int32_t xfer, const Unit& source, const Unit& destination,
                     double opacity = 1.0, bool rgbOnly = false, int32_t flags = PF_MF_Alpha_STRAIGHT) {
        PF_LayerDef* src = hostWorld(host(), 1, 1, format);
        PF_LayerDef* dst = hostWorld(host(), 1, 1, format);
        set(src, 0, 0, source);
        set(dst, 0, 0, destination);
        PF_CompositeMode mode{xfer, 0, Morvel::PixelTraits<PF_Pixel>::fromUnit(opacity), PF_Boolean(rgbOnly),
                              Morvel::PixelTraits<PF_Pixel16>::fromUnit(opacity)};
        const PF_Rect rect{0, 0, 1, 1};
        EXPECT_EQ(in_data_.utils->transfer_rect(in_data_.effect_ref, PF_Quality_HI, flags, PF_Field_FRAME, &rect, src,
                                                &mode, nullptr, 0, 0, dst),
                  PF_Err_NONE);
        return get(dst, 0, 0);
    }
};

struct GreyCase {
    const char* name;
    int32_t xfer;
    double backdrop, source, expected;  // hand-computed, unit scale
};

// Opaque grey pixels: the result is the mode's formula on one channel.
const GreyCase kGreyCases[] = {
    {"in front", PF_Xfer_IN_FRONT, 0.25, 0.5, 0.5},
    {"add", PF_Xfer_ADD, 0.25, 0.5, 0.75},
    {"multiply", PF_Xfer_MULTIPLY, 0.25, 0.5, 0.125},
    {"multiply 2", PF_Xfer_MULTIPLY, 0.75, 0.25, 0.1875},
    {"screen", PF_Xfer_SCREEN, 0.25, 0.5, 0.625},
    {"overlay dark backdrop", PF_Xfer_OVERLAY, 0.25, 0.5, 0.25},
    {"overlay light backdrop", PF_Xfer_OVERLAY, 0.75, 0.25, 0.625},
    {"soft light dark source", PF_Xfer_SOFT_LIGHT, 0.75, 0.25, 0.65625},
    {"soft light, backdrop at 1/4", PF_Xfer_SOFT_LIGHT, 0.25, 0.75, 0.375},
    {"soft light, light backdrop", PF_Xfer_SOFT_LIGHT, 0.75, 0.75, 0.8080127},
    {"hard light dark source", PF_Xfer_HARD_LIGHT, 0.75, 0.25, 0.375},
    {"hard light light source", PF_Xfer_HARD_LIGHT, 0.25, 0.75, 0.625},
    {"darken", PF_Xfer_DARKEN, 0.25, 0.5, 0.25},
    {"lighten", PF_Xfer_LIGHTEN, 0.25, 0.5, 0.5},
    {"classic difference", PF_Xfer_DIFFERENCE, 0.75, 0.25, 0.5},
    {"difference", PF_Xfer_DIFFERENCE2, 0.25, 0.75, 0.5},
    {"exclusion", PF_Xfer_EXCLUSION, 0.25, 0.5, 0.5},
    {"exclusion 2", PF_Xfer_EXCLUSION, 0.75, 0.25, 0.625},
    {"classic colour dodge", PF_Xfer_COLOR_DODGE, 0.5, 0.25, 2.0 / 3},
    {"colour dodge", PF_Xfer_COLOR_DODGE2, 0.25, 0.5, 0.5},
    {"colour dodge saturates", PF_Xfer_COLOR_DODGE2, 0.75, 0.5, 1.0},
    {"classic colour burn", PF_Xfer_COLOR_BURN, 0.75, 0.5, 0.5},
    {"colour burn", PF_Xfer_COLOR_BURN2, 0.5, 0.75, 1.0 / 3},
    {"colour burn saturates", PF_Xfer_COLOR_BURN2, 0.25, 0.5, 0.0},
    {"linear dodge", PF_Xfer_LINEAR_DODGE, 0.25, 0.5, 0.75},
    {"linear dodge saturates", PF_Xfer_LINEAR_DODGE, 0.75, 0.5, 1.0},
    {"linear burn", PF_Xfer_LINEAR_BURN, 0.75, 0.5, 0.25},
    {"linear burn saturates", PF_Xfer_LINEAR_BURN, 0.25, 0.5, 0.0},
    {"linear light", PF_Xfer_LINEAR_LIGHT, 0.25, 0.75, 0.75},
    {"linear light dark", PF_Xfer_LINEAR_LIGHT, 0.75, 0.25, 0.25},
    {"vivid light burns", PF_Xfer_VIVID_LIGHT, 0.75, 0.25, 0.5},
    {"vivid light dodges", PF_Xfer_VIVID_LIGHT, 0.25, 0.75, 0.5},
    {"pin light dark source", PF_Xfer_PIN_LIGHT, 0.75, 0.25, 0.5},
    {"pin light light source", PF_Xfer_PIN_LIGHT, 0.25, 0.75, 0.5},
    {"pin light keeps backdrop", PF_Xfer_PIN_LIGHT, 0.75, 0.5, 0.75},
    {"hard mix low", PF_Xfer_HARD_MIX, 0.25, 0.5, 0.0},
    {"hard mix high", PF_Xfer_HARD_MIX, 0.75, 0.5, 1.0},
};

// Input quantisation at 8 bits moves dodge and burn results by up to two steps.
double tolerance(const Depth& depth) { return depth.lsb == 0 ? 1e-6 : 2.5 * depth.lsb; }

TEST_F(TransferTest, SeparableModesOnOpaqueGreyAtEveryDepth) {
    for (const Depth& depth : kDepths) {
        for (const GreyCase& c : kGreyCases) {
            const Unit got = transferOne(depth.format, c.xfer, {1, c.source, c.source, c.source},
                                         {1, c.backdrop, c.backdrop, c.backdrop});
            EXPECT_TRUE(near(got, {1, c.expected, c.expected, c.expected}, tolerance(depth)))
                << c.name << " at " << depth.name;
        }
    }
}

struct ColourCase {
    const char* name;
    int32_t xfer;
    Unit backdrop, source, expected;
};

// Luminance weights 0.3, 0.59, 0.11; clipping pulls out-of-range colours back toward their
// luminance. Worked by hand.
const ColourCase kColourCases[] = {
    {"luminosity", PF_Xfer_LUMINOSITY, {1, 1, 0, 0}, {1, 0.5, 0.5, 0.5}, {1, 1, 0.2857143, 0.2857143}},
    {"colour", PF_Xfer_COLOR, {1, 0.5, 0.5, 0.5}, {1, 1, 0, 0}, {1, 1, 0.2857143, 0.2857143}},
    {"hue", PF_Xfer_HUE, {1, 0.5, 0.25, 0.25}, {1, 0, 0, 1}, {1, 0.2975, 0.2975, 0.5475}},
    {"saturation", PF_Xfer_SATURATION, {1, 0.5, 0.25, 0.25}, {1, 1, 0, 0}, {1, 1, 0.0357143, 0.0357143}},
    // A grey has every channel lowest and highest: clipped, it is white above 1 and black below 0.
    // Integer worlds clamp these inputs into range and reach the same colours.
    {"luminosity of a grey above 1", PF_Xfer_LUMINOSITY, {1, 0.5, 0.5, 0.5}, {1, 3, 3, 3}, {1, 1, 1, 1}},
    {"luminosity of a grey below 0", PF_Xfer_LUMINOSITY, {1, 0.5, 0.5, 0.5}, {1, -3, -3, -3}, {1, 0, 0, 0}},
    {"colour onto a grey above 1", PF_Xfer_COLOR, {1, 3, 3, 3}, {1, 0.5, 0.5, 0.5}, {1, 1, 1, 1}},
    {"hue onto a grey above 1", PF_Xfer_HUE, {1, 1.5, 1.5, 1.5}, {1, 1, 0, 0}, {1, 1, 1, 1}},
    {"saturation onto a grey below 0", PF_Xfer_SATURATION, {1, -3, -3, -3}, {1, 1, 0, 0}, {1, 0, 0, 0}},
};

TEST_F(TransferTest, NonSeparableModesAtEveryDepth) {
    for (const Depth& depth : kDepths) {
        for (const ColourCase& c : kColourCases) {
            const Unit got = transferOne(depth.format, c.xfer, c.source, c.backdrop);
            EXPECT_TRUE(near(got, c.expected, tolerance(depth))) << c.name << " at " << depth.name;
        }
    }
}

// Float worlds only: a blend that leaves the float range keeps the nearest finite value.
TEST_F(TransferTest, FloatBlendsOfHugeColourStayFinite) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    struct Case {
        const char* name;
        int32_t xfer;
        double backdrop, source;
        double exact;  // the formula in double
    } cases[] = {
        {"screen", PF_Xfer_SCREEN, 4, 3e38, 4 + 3e38 - 4 * 3e38},
        {"multiply", PF_Xfer_MULTIPLY, 8, 3e38, 8 * 3e38},
        {"add", PF_Xfer_ADD, 3e38, 3e38, 6e38},
        {"in range", PF_Xfer_MULTIPLY, 2, 1e38, 2e38},
    };
    for (const Case& c : cases) {
        const Unit got = transferOne(PF_PixelFormat_ARGB128, c.xfer, {1, c.source, c.source, c.source},
                                     {1, c.backdrop, c.backdrop, c.backdrop});
        const double expected = std::clamp(c.exact, -kLargest, kLargest);
        EXPECT_NEAR(got.red, expected, 1e-6 * kLargest) << c.name;
        EXPECT_NEAR(got.blue, expected, 1e-6 * kLargest) << c.name;
    }
}

struct AlphaCase {
    const char* name;
    int32_t xfer;
    Unit backdrop, source;
    double opacity;
    bool rgbOnly;
    Unit expected;
};

const AlphaCase kAlphaCases[] = {
    {"half-transparent source", PF_Xfer_IN_FRONT, {1, 0, 0, 0}, {0.5, 1, 1, 1}, 1, false, {1, 0.5, 0.5, 0.5}},
    {"half opacity", PF_Xfer_IN_FRONT, {1, 0, 0, 0}, {1, 1, 1, 1}, 0.5, false, {1, 0.5, 0.5, 0.5}},
    {"zero opacity", PF_Xfer_MULTIPLY, {1, 0.5, 0.5, 0.5}, {1, 0, 0, 0}, 0, false, {1, 0.5, 0.5, 0.5}},
    {"onto transparent", PF_Xfer_MULTIPLY, {0, 0, 0, 0}, {0.5, 1, 0.5, 0.25}, 1, false, {0.5, 1, 0.5, 0.25}},
    {"both half", PF_Xfer_IN_FRONT, {0.5, 0, 0, 0}, {0.5, 1, 1, 1}, 1, false, {0.75, 2.0 / 3, 2.0 / 3, 2.0 / 3}},
    {"rgb only keeps alpha", PF_Xfer_IN_FRONT, {0.25, 0, 0, 0}, {1, 1, 1, 1}, 1, true, {0.25, 1, 1, 1}},
    {"alpha add", PF_Xfer_ALPHA_ADD, {0.25, 0, 0, 0}, {0.5, 1, 1, 1}, 1, false, {0.75, 2.0 / 3, 2.0 / 3, 2.0 / 3}},
    {"multiply alpha",
     PF_Xfer_MULTIPLY_ALPHA,
     {1, 0.25, 0.25, 0.25},
     {0.75, 0.5, 0.5, 0.5},
     1,
     false,
     {0.75, 0.25, 0.25, 0.25}},
    {"multiply alpha luma",
     PF_Xfer_MULTIPLY_ALPHA_LUMA,
     {1, 0.25, 0.25, 0.25},
     {0.75, 0.5, 0.5, 0.5},
     1,
     false,
     {0.375, 0.25, 0.25, 0.25}},
    {"multiply not alpha",
     PF_Xfer_MULTIPLY_NOT_ALPHA,
     {1, 0.25, 0.25, 0.25},
     {0.75, 0.5, 0.5, 0.5},
     1,
     false,
     {0.25, 0.25, 0.25, 0.25}},
    {"multiply not alpha luma",
     PF_Xfer_MULTIPLY_NOT_ALPHA_LUMA,
     {1, 0.25, 0.25, 0.25},
     {0.75, 0.5, 0.5, 0.5},
     1,
     false,
     {0.625, 0.25, 0.25, 0.25}},
    {"dissolve at full opacity", PF_Xfer_DISSOLVE, {1, 0, 0, 0}, {1, 1, 1, 1}, 1, false, {1, 1, 1, 1}},
    {"dissolve of nothing", PF_Xfer_DISSOLVE, {1, 0.5, 0.5, 0.5}, {0, 1, 1, 1}, 1, false, {1, 0.5, 0.5, 0.5}},
    {"no transfer", PF_Xfer_NONE, {1, 0.5, 0.5, 0.5}, {1, 1, 1, 1}, 1, false, {1, 0.5, 0.5, 0.5}},
};

TEST_F(TransferTest, AlphaOpacityAndRgbOnlyAtEveryDepth) {
    for (const Depth& depth : kDepths) {
        for (const AlphaCase& c : kAlphaCases) {
            const Unit got = transferOne(depth.format, c.xfer, c.source, c.backdrop, c.opacity, c.rgbOnly);
            EXPECT_TRUE(near(got, c.expected, tolerance(depth))) << c.name << " at " << depth.name;
        }
    }
}

// Large enough to be shared out over the host's threads: the bands together write what one band
// writes, whatever the mode, depth, placement and field.
TEST_F(TransferTest, ThreadedBandsWriteWhatOneBandWrites) {
    struct Case {
        const char* name;
        int32_t xfer;
        int32_t flags;
        int32_t field;
        PF_Rect rect;
        int32_t x, y;
    } cases[] = {
        {"screen", PF_Xfer_SCREEN, PF_MF_Alpha_STRAIGHT, PF_Field_FRAME, {0, 0, 640, 360}, 0, 0},
        {"luminosity, premultiplied", PF_Xfer_LUMINOSITY, PF_MF_Alpha_PREMUL, PF_Field_FRAME, {0, 0, 640, 360}, 0, 0},
        {"dissolve, moved and clipped",
         PF_Xfer_DISSOLVE,
         PF_MF_Alpha_STRAIGHT,
         PF_Field_FRAME,
         {-5, 3, 600, 350},
         17,
         -9},
        {"alpha add, upper field", PF_Xfer_ALPHA_ADD, PF_MF_Alpha_STRAIGHT, PF_Field_UPPER, {0, 0, 640, 360}, 0, 1},
        {"luma matte, lower field",
         PF_Xfer_MULTIPLY_ALPHA_LUMA,
         PF_MF_Alpha_STRAIGHT,
         PF_Field_LOWER,
         {0, 0, 640, 360},
         -3,
         0},
    };
    for (const Depth& depth : kDepths) {
        for (const Case& c : cases) {
            PF_LayerDef* src = hostWorld(host(), 640, 360, depth.format);
            setVaried(src);
            PF_LayerDef* result[2];
            for (bool threaded : {false, true}) {
                host().iteration().setDeterministic(!threaded);
                host().iteration().setProcessors(8);
                PF_LayerDef* dst = hostWorld(host(), 640, 360, depth.format);
                setAll(dst, {0.75, 0.25, 0.5, 0.125});
                const PF_CompositeMode mode{c.xfer, 11, 200, false, 25000};
                ASSERT_EQ(in_data_.utils->transfer_rect(in_data_.effect_ref, PF_Quality_HI, c.flags, c.field, &c.rect,
                                                        src, &mode, nullptr, c.x, c.y, dst),
                          PF_Err_NONE)
                    << c.name;
                result[threaded] = dst;
            }
            EXPECT_TRUE(sameBytes(result[0], result[1])) << c.name << " at " << depth.name;
        }
    }
}

TEST_F(TransferTest, PremultipliedPixelsAreComposedAsStraightColour) {
    // Straight white at half alpha over opaque black gives mid grey, stored premultiplied.
    const Unit got = transferOne(PF_PixelFormat_ARGB128, PF_Xfer_IN_FRONT, {0.5, 0.5, 0.5, 0.5}, {1, 0, 0, 0}, 1, false,
                                 PF_MF_Alpha_PREMUL);
    EXPECT_TRUE(near(got, {1, 0.5, 0.5, 0.5}, 1e-6));
    const Unit half = transferOne(PF_PixelFormat_ARGB128, PF_Xfer_IN_FRONT, {0.5, 0.5, 0.5, 0.5}, {0, 0, 0, 0}, 1,
                                  false, PF_MF_Alpha_PREMUL);
    EXPECT_TRUE(near(half, {0.5, 0.5, 0.5, 0.5}, 1e-6));
}

TEST_F(TransferTest, EightBitUsesTheEightBitOpacityAndDeepWorldsTheSixteenBitOne) {
    for (const Depth& depth : kDepths) {
        PF_LayerDef* src = hostWorld(host(), 1, 1, depth.format);
        PF_LayerDef* dst = hostWorld(host(), 1, 1, depth.format);
        set(src, 0, 0, {1, 1, 1, 1});
        set(dst, 0, 0, {1, 0, 0, 0});
        // The two fields disagree on purpose.
        const PF_CompositeMode mode{PF_Xfer_IN_FRONT, 0, 255, false, 0};
        const PF_Rect rect{0, 0, 1, 1};
        ASSERT_EQ(in_data_.utils->transfer_rect(in_data_.effect_ref, PF_Quality_HI, PF_MF_Alpha_STRAIGHT, 0, &rect, src,
                                                &mode, nullptr, 0, 0, dst),
                  PF_Err_NONE);
        const double expected = depth.format == PF_PixelFormat_ARGB32 ? 1.0 : 0.0;
        EXPECT_TRUE(near(get(dst, 0, 0), {1, expected, expected, expected}, 1e-6)) << depth.name;
    }
}

TEST_F(TransferTest, DissolveIsRepeatableAndFollowsOpacity) {
    auto dissolve = [&](int32_t seed) {
        PF_LayerDef* src = hostWorld(host(), 64, 64, PF_PixelFormat_ARGB32);
        PF_LayerDef* dst = hostWorld(host(), 64, 64, PF_PixelFormat_ARGB32);
        setAll(src, {1, 1, 1, 1});
        setAll(dst, {1, 0, 0, 0});
        const PF_CompositeMode mode{PF_Xfer_DISSOLVE, seed, 128, false, 16384};
        const PF_Rect rect{0, 0, 64, 64};
        EXPECT_EQ(in_data_.utils->transfer_rect(in_data_.effect_ref, PF_Quality_HI, PF_MF_Alpha_STRAIGHT, 0, &rect, src,
                                                &mode, nullptr, 0, 0, dst),
                  PF_Err_NONE);
        std::vector<bool> taken;
        for (int32_t y = 0; y < 64; ++y) {
            for (int32_t x = 0; x < 64; ++x) taken.push_back(get(dst, x, y).red > 0.5);
        }
        return taken;
    };
    const std::vector<bool> first = dissolve(7);
    EXPECT_EQ(first, dissolve(7));
    EXPECT_NE(first, dissolve(8));
    const auto count = std::count(first.begin(), first.end(), true);
    EXPECT_GT(count, 4096 * 0.4);
    EXPECT_LT(count, 4096 * 0.6);
}

TEST_F(TransferTest, SourceRectangleLandsAtTheDestinationPositionAndIsClipped) {
    PF_LayerDef* src = hostWorld(host(), 4, 4, PF_PixelFormat_ARGB64);
    PF_LayerDef* dst = hostWorld(host(), 4, 4, PF_PixelFormat_ARGB64);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 4; ++x) set(src, x, y, {1, (x + 4 * y) / 16.0, 0, 0});
    }
    setAll(dst, {1, 0, 0, 1});
    // Rectangle (1,1)-(3,5) reaches below the source; placed at (-1, 2) it reaches left of the
    // destination. Only source pixels (2,1) and (2,2) land, at (0,2) and (0,3).
    const PF_Rect rect{1, 1, 3, 5};
    const PF_CompositeMode mode{PF_Xfer_IN_FRONT, 0, 255, false, 32768};
    ASSERT_EQ(in_data_.utils->transfer_rect(in_data_.effect_ref, PF_Quality_HI, PF_MF_Alpha_STRAIGHT, 0, &rect, src,
                                            &mode, nullptr, -1, 2, dst),
              PF_Err_NONE);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            Unit want{1, 0, 0, 1};
            if (x == 0 && y == 2) want = {1, 6 / 16.0, 0, 0};
            if (x == 0 && y == 3) want = {1, 10 / 16.0, 0, 0};
            EXPECT_TRUE(near(get(dst, x, y), want, 1e-9)) << "pixel " << x << "," << y;
        }
    }
}

// A rectangle from the far corner of the 32-bit range placed at that corner lands one to one.
TEST_F(TransferTest, RectanglesSpanningTheWholeRangeLandOneToOne) {
    PF_LayerDef* src = hostWorld(host(), 3, 2, PF_PixelFormat_ARGB128);
    PF_LayerDef* dst = hostWorld(host(), 3, 2, PF_PixelFormat_ARGB128);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 3; ++x) set(src, x, y, {1, (x + 3 * y) / 8.0, 0, 0});
    }
    const PF_Rect huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    const PF_CompositeMode mode{PF_Xfer_IN_FRONT, 0, 255, false, 32768};
    ASSERT_EQ(in_data_.utils->transfer_rect(in_data_.effect_ref, PF_Quality_HI, PF_MF_Alpha_STRAIGHT, 0, &huge, src,
                                            &mode, nullptr, INT32_MIN, INT32_MIN, dst),
              PF_Err_NONE);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 3; ++x) EXPECT_TRUE(near(get(dst, x, y), get(src, x, y), 0)) << x << "," << y;
    }
}

TEST_F(TransferTest, OverlappingSourceAndDestinationReadTheOriginalPixels) {
    PF_LayerDef* world = hostWorld(host(), 4, 1, PF_PixelFormat_ARGB128);
    for (int32_t x = 0; x < 4; ++x) set(world, x, 0, {1, float(x), 0, 0});
    const PF_Rect rect{0, 0, 3, 1};
    const PF_CompositeMode mode{PF_Xfer_IN_FRONT, 0, 255, false, 32768};
    ASSERT_EQ(in_data_.utils->transfer_rect(in_data_.effect_ref, PF_Quality_HI, PF_MF_Alpha_STRAIGHT, 0, &rect, world,
                                            &mode, nullptr, 1, 0, world),
              PF_Err_NONE);
    const double expected[4] = {0, 0, 1, 2};
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(get(world, x, 0).red, expected[x]) << x;
}

TEST_F(TransferTest, RefusesWhatACarefulHostWouldNot) {
    expectFault("error: ");
    PF_LayerDef* eight = hostWorld(host(), 2, 2, PF_PixelFormat_ARGB32);
    PF_LayerDef* deep = hostWorld(host(), 2, 2, PF_PixelFormat_ARGB64);
    PF_LayerDef stranger = *eight;
    std::vector<PF_Pixel> ownPixels(4);
    stranger.data = ownPixels.data();
    PF_LayerDef tooTall = *eight;
    tooTall.height = 1000;
    const PF_Rect rect{0, 0, 2, 2};
    const PF_CompositeMode good{PF_Xfer_IN_FRONT, 0, 255, false, 32768};
    const PF_CompositeMode unknownMode{PF_Xfer_ADDITIVE_PREMUL, 0, 255, false, 32768};
    const PF_CompositeMode tooOpaque{PF_Xfer_IN_FRONT, 0, 255, false, 40000};
    PF_MaskWorld mask{};
    struct Case {
        const char* name;
        const PF_LayerDef* src;
        PF_LayerDef* dst;
        const PF_CompositeMode* mode;
        const PF_MaskWorld* mask;
        int32_t flags;
    };
    const Case cases[] = {
        {"null source", nullptr, eight, &good, nullptr, 1},
        {"null destination", eight, nullptr, &good, nullptr, 1},
        {"null mode", eight, eight, nullptr, nullptr, 1},
        {"depths differ", eight, deep, &good, nullptr, 1},
        {"unknown pixels", &stranger, eight, &good, nullptr, 1},
        {"record beyond its pixels", &tooTall, eight, &good, nullptr, 1},
        {"mode not offered", eight, eight, &unknownMode, nullptr, 1},
        {"16-bit opacity above full", eight, eight, &tooOpaque, nullptr, 1},
        {"mask", eight, eight, &good, &mask, 1},
        {"unknown flags", eight, eight, &good, nullptr, 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(in_data_.utils->transfer_rect(in_data_.effect_ref, PF_Quality_HI, c.flags, 0, &rect, c.src, c.mode,
                                                c.mask, 0, 0, c.dst),
                  PF_Err_BAD_CALLBACK_PARAM)
            << c.name;
    }
}

}  // namespace
