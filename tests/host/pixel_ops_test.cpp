#include <gtest/gtest.h>

#include <cstring>

#include "host/world_helpers.h"
#include "support/host_fixture.h"

using namespace WorldHelpers;
using Sim::Unit;

namespace {

class PixelOpsTest : public HostTest {
protected:
    PF_Err copy(PF_LayerDef* src, PF_LayerDef* dst, const PF_Rect* from = nullptr, const PF_Rect* to = nullptr) {
        return in_data_.utils->copy(in_data_.effect_ref, src, dst, const_cast<PF_Rect*>(from),
                                    const_cast<PF_Rect*>(to));
    }
};

// Depth conversion worked by hand: 8-bit v is v/255 of full scale, 16-bit v is v/32768, and
// conversion rounds to the nearest step with halves going up.
TEST_F(PixelOpsTest, CopyConvertsBetweenDepths) {
    PF_LayerDef* eight = hostWorld(host(), 2, 1, PF_PixelFormat_ARGB32);
    PF_LayerDef* deep = hostWorld(host(), 2, 1, PF_PixelFormat_ARGB64);
    PF_LayerDef* floats = hostWorld(host(), 2, 1, PF_PixelFormat_ARGB128);
    auto* e = static_cast<PF_Pixel*>(eight->data);
    e[0] = {255, 128, 1, 0};
    e[1] = {0, 51, 204, 17};
    ASSERT_EQ(copy(eight, deep), PF_Err_NONE);
    auto* d = static_cast<PF_Pixel16*>(deep->data);
    EXPECT_EQ(d[0].alpha, 32768);
    EXPECT_EQ(d[0].red, 16448);  // 128 x 32768 / 255 = 16448.25
    EXPECT_EQ(d[0].green, 129);  // 128.5 rounds up
    EXPECT_EQ(d[1].red, 6554);   // 6553.6

    ASSERT_EQ(copy(eight, floats), PF_Err_NONE);
    auto* f = static_cast<PF_PixelFloat*>(floats->data);
    EXPECT_FLOAT_EQ(f[0].red, 128 / 255.0f);
    EXPECT_FLOAT_EQ(f[1].green, 0.8f);

    // Back down: float outside 0..1 is clamped, 16384 / 32768 x 255 = 127.5 rounds up.
    f[0] = {2.0f, -1.0f, 0.5f, 1.0f};
    ASSERT_EQ(copy(floats, eight), PF_Err_NONE);
    EXPECT_EQ(e[0].alpha, 255);
    EXPECT_EQ(e[0].red, 0);
    EXPECT_EQ(e[0].green, 128);
    EXPECT_EQ(e[0].blue, 255);
    d[0] = {32768, 16384, 128, 0};
    ASSERT_EQ(copy(deep, eight), PF_Err_NONE);
    EXPECT_EQ(e[0].red, 128);
    EXPECT_EQ(e[0].green, 1);  // 0.996 of a step
}

TEST_F(PixelOpsTest, EveryEightBitValueSurvivesATripThroughEachDeeperDepth) {
    for (PF_PixelFormat format : {PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
        PF_LayerDef* eight = hostWorld(host(), 256, 1, PF_PixelFormat_ARGB32);
        PF_LayerDef* deeper = hostWorld(host(), 256, 1, format);
        PF_LayerDef* back = hostWorld(host(), 256, 1, PF_PixelFormat_ARGB32);
        auto* e = static_cast<PF_Pixel*>(eight->data);
        for (int v = 0; v < 256; ++v) e[v] = {uint8_t(v), uint8_t(255 - v), uint8_t(v), uint8_t(v / 2)};
        ASSERT_EQ(copy(eight, deeper), PF_Err_NONE);
        ASSERT_EQ(copy(deeper, back), PF_Err_NONE);
        EXPECT_EQ(std::memcmp(eight->data, back->data, 256 * sizeof(PF_Pixel)), 0) << Sim::formatName(format);
    }
}

TEST_F(PixelOpsTest, CopyScalesWhenTheRectanglesDiffer) {
    PF_LayerDef* small = hostWorld(host(), 2, 2, PF_PixelFormat_ARGB128);
    PF_LayerDef* large = hostWorld(host(), 4, 4, PF_PixelFormat_ARGB128);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 2; ++x) set(small, x, y, {1, float(x), float(y), 0});
    }
    const PF_Rect whole2{0, 0, 2, 2}, whole4{0, 0, 4, 4};
    ASSERT_EQ(copy(small, large, &whole2, &whole4), PF_Err_NONE);
    // Doubling: every source pixel covers a 2 x 2 block.
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 4; ++x)
            EXPECT_TRUE(near(get(large, x, y), {1, double(x / 2), double(y / 2), 0}, 0)) << x << "," << y;
    }
    // Halving takes the source pixel under each destination centre: source 1 and 3.
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 4; ++x) set(large, x, y, {1, float(x), float(y), 0});
    }
    ASSERT_EQ(copy(large, small, nullptr, nullptr), PF_Err_NONE);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 2; ++x) EXPECT_TRUE(near(get(small, x, y), {1, 2.0 * x + 1, 2.0 * y + 1, 0}, 0));
    }
}

// Large enough to be shared out over the workers: every destination pixel still holds the source
// pixel under its centre, worked out here one pixel at a time.
TEST_F(PixelOpsTest, ThreadedLargeScaledCopyTakesThePixelUnderEachCentre) {
    const int32_t sw = 700, sh = 500, dw = 611, dh = 433;
    PF_LayerDef* source = hostWorld(host(), sw, sh, PF_PixelFormat_ARGB64);
    PF_LayerDef* target = hostWorld(host(), dw, dh, PF_PixelFormat_ARGB64);
    auto* pixels = static_cast<PF_Pixel16*>(source->data);
    const int32_t stride = source->rowbytes / int32_t(sizeof(PF_Pixel16));
    for (int32_t y = 0; y < sh; ++y) {
        for (int32_t x = 0; x < sw; ++x) pixels[y * stride + x] = {32768, uint16_t(x), uint16_t(y), 7};
    }
    ASSERT_EQ(copy(source, target), PF_Err_NONE);
    const auto* out = static_cast<const PF_Pixel16*>(target->data);
    const int32_t outStride = target->rowbytes / int32_t(sizeof(PF_Pixel16));
    int wrong = 0;
    for (int32_t y = 0; y < dh; ++y) {
        for (int32_t x = 0; x < dw; ++x) {
            const int32_t sx = int32_t((2 * int64_t(x) + 1) * sw / (2 * dw));
            const int32_t sy = int32_t((2 * int64_t(y) + 1) * sh / (2 * dh));
            const PF_Pixel16& p = out[y * outStride + x];
            if (p.red != sx || p.green != sy || p.alpha != 32768 || p.blue != 7) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(PixelOpsTest, CopyIsClippedToBothWorldsWithoutShifting) {
    PF_LayerDef* src = hostWorld(host(), 3, 3, PF_PixelFormat_ARGB64);
    PF_LayerDef* dst = hostWorld(host(), 3, 3, PF_PixelFormat_ARGB64);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 3; ++x) set(src, x, y, {1, (x + 3 * y) / 16.0, 0, 0});
    }
    setAll(dst, {1, 0, 0, 1});
    // Source rectangle starts left of the source; destination rectangle runs past the bottom.
    const PF_Rect from{-1, 0, 2, 2}, to{1, 2, 4, 4};
    ASSERT_EQ(copy(src, dst, &from, &to), PF_Err_NONE);
    // Destination (x, 2) takes source (x - 2, 0): only x = 2 has a source pixel, (0, 0).
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            const Unit want = (x == 2 && y == 2) ? Unit{1, 0, 0, 0} : Unit{1, 0, 0, 1};
            EXPECT_TRUE(near(get(dst, x, y), want, 0)) << x << "," << y;
        }
    }
}

// Equal rectangles copy one to one, however far they reach; only what lies in both worlds lands.
TEST_F(PixelOpsTest, RectanglesSpanningTheWholeRangeCopyOneToOne) {
    PF_LayerDef* src = hostWorld(host(), 3, 2, PF_PixelFormat_ARGB32);
    PF_LayerDef* dst = hostWorld(host(), 3, 2, PF_PixelFormat_ARGB32);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 3; ++x) set(src, x, y, {1, (x + 3 * y) / 8.0, 0, 0});
    }
    const PF_Rect huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    ASSERT_EQ(copy(src, dst, &huge, &huge), PF_Err_NONE);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 3; ++x) EXPECT_TRUE(near(get(dst, x, y), get(src, x, y), 0)) << x << "," << y;
    }
}

TEST_F(PixelOpsTest, CopyWithinOneWorldReadsTheOriginal) {
    PF_LayerDef* world = hostWorld(host(), 4, 1, PF_PixelFormat_ARGB32);
    auto* p = static_cast<PF_Pixel*>(world->data);
    for (int x = 0; x < 4; ++x) p[x] = {255, uint8_t(10 * x), 0, 0};
    const PF_Rect from{0, 0, 3, 1}, to{1, 0, 4, 1};
    ASSERT_EQ(copy(world, world, &from, &to), PF_Err_NONE);
    const int expected[4] = {0, 0, 10, 20};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(p[x].red, expected[x]) << x;
}

TEST_F(PixelOpsTest, FillConvertsTheEightBitColourAndClipsTheRectangle) {
    const PF_Pixel colour{255, 128, 0, 64};
    for (const Depth& depth : kDepths) {
        PF_LayerDef* world = hostWorld(host(), 3, 3, depth.format);
        const PF_Rect rect{1, -5, 9, 2};
        ASSERT_EQ(in_data_.utils->fill(in_data_.effect_ref, &colour, &rect, world), PF_Err_NONE) << depth.name;
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t x = 0; x < 3; ++x) {
                const Unit want = (x >= 1 && y < 2) ? Unit{1, 128 / 255.0, 0, 64 / 255.0} : Unit{0, 0, 0, 0};
                EXPECT_TRUE(near(get(world, x, y), want, depth.lsb / 2 + 1e-7)) << depth.name << " " << x << "," << y;
            }
        }
        ASSERT_EQ(in_data_.utils->fill(in_data_.effect_ref, &colour, nullptr, world), PF_Err_NONE);
        EXPECT_TRUE(near(get(world, 0, 2), {1, 128 / 255.0, 0, 64 / 255.0}, depth.lsb / 2 + 1e-7)) << depth.name;
    }
}

TEST_F(PixelOpsTest, MalformedWorldsAreRefused) {
    expectFault("error: ");
    PF_LayerDef* good = hostWorld(host(), 4, 4, PF_PixelFormat_ARGB32);
    PF_LayerDef narrowRows = *good;
    narrowRows.rowbytes = 8;
    PF_LayerDef tooTall = *good;
    tooTall.height = 5;
    PF_LayerDef wrongFormat = *good;
    wrongFormat.pixel_format = PF_PixelFormat_ARGB128;
    PF_LayerDef noPixels = *good;
    noPixels.data = nullptr;
    PF_LayerDef inside = *good;  // the lower-right 2 x 2 of the world: allowed
    inside.data = static_cast<char*>(good->data) + 2 * good->rowbytes + 2 * 4;
    inside.width = inside.height = 2;
    PF_LayerDef spills = inside;
    spills.width = 3;
    spills.height = 3;
    struct Case {
        const char* name;
        PF_LayerDef* world;
        PF_Err want;
    };
    const Case cases[] = {
        {"null", nullptr, PF_Err_BAD_CALLBACK_PARAM},
        {"rows narrower than the width", &narrowRows, PF_Err_BAD_CALLBACK_PARAM},
        {"taller than its pixels", &tooTall, PF_Err_BAD_CALLBACK_PARAM},
        {"format differs from its pixels", &wrongFormat, PF_Err_BAD_CALLBACK_PARAM},
        {"no pixels", &noPixels, PF_Err_BAD_CALLBACK_PARAM},
        {"part of a world", &inside, PF_Err_NONE},
        {"reaches past the end", &spills, PF_Err_BAD_CALLBACK_PARAM},
    };
    const PF_Pixel colour{255, 1, 2, 3};
    for (const Case& c : cases) {
        EXPECT_EQ(copy(good, c.world), c.want) << "copy to " << c.name;
        EXPECT_EQ(in_data_.utils->fill(in_data_.effect_ref, &colour, nullptr, c.world), c.want) << "fill " << c.name;
    }
    EXPECT_EQ(in_data_.utils->fill(in_data_.effect_ref, nullptr, nullptr, good), PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
