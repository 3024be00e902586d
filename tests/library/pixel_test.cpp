#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <type_traits>

#include "library/utility/pixel.h"
#include "support/raw_world.h"

using Morvel::Bpc;
using Morvel::PixelTraits;

namespace {

TEST(PixelTraits, ChannelTypeFullScaleFormatAndDepth) {
    static_assert(std::is_same_v<Morvel::ChannelOf<PF_Pixel>, uint8_t>);
    static_assert(std::is_same_v<Morvel::ChannelOf<PF_Pixel16>, uint16_t>);
    static_assert(std::is_same_v<Morvel::ChannelOf<PF_PixelFloat>, float>);
    EXPECT_EQ(PixelTraits<PF_Pixel>::full, 255);
    EXPECT_EQ(PixelTraits<PF_Pixel16>::full, 32768);
    EXPECT_EQ(PixelTraits<PF_PixelFloat>::full, 1.0f);
    EXPECT_EQ(PixelTraits<PF_Pixel>::format, PF_PixelFormat_ARGB32);
    EXPECT_EQ(PixelTraits<PF_Pixel16>::format, PF_PixelFormat_ARGB64);
    EXPECT_EQ(PixelTraits<PF_PixelFloat>::format, PF_PixelFormat_ARGB128);
    EXPECT_EQ(PixelTraits<PF_Pixel>::bpc, Morvel::Bpc8);
    EXPECT_EQ(PixelTraits<PF_Pixel16>::bpc, Morvel::Bpc16);
    EXPECT_EQ(PixelTraits<PF_PixelFloat>::bpc, Morvel::Bpc32);
}

// Every value of an integer depth survives a trip through unit scale.
template <typename Pixel>
void expectEveryChannelRoundTrips() {
    using Traits = PixelTraits<Pixel>;
    for (int v = 0; v <= Traits::full; ++v) {
        const auto channel = static_cast<typename Traits::Channel>(v);
        ASSERT_EQ(Traits::fromUnit(Traits::toUnit(channel)), channel) << v;
    }
}

TEST(PixelTraits, IntegerChannelsRoundTripThroughUnitScale) {
    expectEveryChannelRoundTrips<PF_Pixel>();
    expectEveryChannelRoundTrips<PF_Pixel16>();
}

TEST(PixelTraits, UnitConversionClampsIntegerDepthsOnly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double unit;
        int want8;
        int want16;
        float wantFloat;
    } cases[] = {
        {"zero", 0.0, 0, 0, 0.0f},         {"full", 1.0, 255, 32768, 1.0f},
        {"half", 0.5, 128, 16384, 0.5f},   {"over range", 1.5, 255, 32768, 1.5f},
        {"negative", -0.25, 0, 0, -0.25f}, {"just under half a step", 0.49 / 255.0, 0, 63, float(0.49 / 255.0)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PixelTraits<PF_Pixel>::fromUnit(c.unit), c.want8) << c.name;
        EXPECT_EQ(PixelTraits<PF_Pixel16>::fromUnit(c.unit), c.want16) << c.name;
        EXPECT_EQ(PixelTraits<PF_PixelFloat>::fromUnit(c.unit), c.wantFloat) << c.name;
    }
    EXPECT_EQ(PixelTraits<PF_Pixel>::fromUnit(nan), 0);
    EXPECT_EQ(PixelTraits<PF_Pixel16>::fromUnit(nan), 0);
}

TEST(PixelRow, StepsByRowBytesNotByWidth) {
    RawWorld<PF_Pixel16> world(3, 4, 5);
    world.at(2, 3) = PF_Pixel16{1, 2, 3, 4};
    PF_LayerDef* def = world.get();
    EXPECT_EQ(Morvel::pixelRow<PF_Pixel16>(def, 3)[2].blue, 4);
    const PF_LayerDef* readOnly = def;
    EXPECT_EQ(Morvel::pixelRow<PF_Pixel16>(readOnly, 3) + 2, &world.at(2, 3));
    EXPECT_EQ(reinterpret_cast<const char*>(Morvel::pixelRow<PF_Pixel16>(readOnly, 1)) -
                  reinterpret_cast<const char*>(def->data),
              def->rowbytes);
}

TEST(WithPixelType, DispatchesEachDepthAndNothingElse) {
    struct Case {
        const char* name;
        int bpc;
        int wantSize;  // 0: not called
    } cases[] = {
        {"8-bit", 0, int(sizeof(PF_Pixel))},
        {"16-bit", 1, int(sizeof(PF_Pixel16))},
        {"float", 2, int(sizeof(PF_PixelFloat))},
        {"unknown", 3, 0},
        {"negative", -1, 0},
    };
    for (const auto& c : cases) {
        int calls = 0;
        const int size = Morvel::withPixelType(static_cast<Bpc>(c.bpc), [&](auto tag) {
            using Pixel = typename decltype(tag)::type;
            ++calls;
            EXPECT_EQ(int(PixelTraits<Pixel>::bpc), c.bpc) << c.name;
            return int(sizeof(Pixel));
        });
        EXPECT_EQ(size, c.wantSize) << c.name;
        EXPECT_EQ(calls, c.wantSize != 0 ? 1 : 0) << c.name;
    }
}

TEST(BpcOfFormat, KnownFormatsOnly) {
    struct Case {
        const char* name;
        PF_PixelFormat format;
        bool known;
        Bpc want;
    } cases[] = {
        {"argb", PF_PixelFormat_ARGB32, true, Morvel::Bpc8},
        {"ae16", PF_PixelFormat_ARGB64, true, Morvel::Bpc16},
        {"ae32", PF_PixelFormat_ARGB128, true, Morvel::Bpc32},
        {"invalid", PF_PixelFormat_INVALID, false, Morvel::Bpc16},
        {"zero", 0, false, Morvel::Bpc16},
    };
    for (const auto& c : cases) {
        Bpc bpc = Morvel::Bpc16;
        EXPECT_EQ(Morvel::bpcOfFormat(c.format, &bpc), c.known) << c.name;
        EXPECT_EQ(bpc, c.want) << c.name;
    }
}

}  // namespace
