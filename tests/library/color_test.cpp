#include "library/utility/color.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct ChannelCase {
    const char* name;
    double value;
    int eight;    // value x 255 + 1/2, cut, within 0..255
    int sixteen;  // value x 32768 + 1/2, cut, within 0..32768
};

const ChannelCase kChannelCases[] = {
    {"zero", 0.0, 0, 0},
    {"half", 0.5, 128, 16384},
    {"one", 1.0, 255, 32768},
    {"just under one", 0.998, 254, 32702},
    {"one step", 1.0 / 255, 1, 129},
    {"below zero", -0.1, 0, 0},
    {"above one", 1.2, 255, 32768},
    {"not a number", std::numeric_limits<double>::quiet_NaN(), 0, 0},
};

template <typename T>
void checkChannels() {
    for (const ChannelCase& c : kChannelCases) {
        const T v = static_cast<T>(c.value);
        const Morvel::Color<T> color(v, v, T(0), T(1));
        const auto eight = static_cast<PF_Pixel>(color);
        EXPECT_EQ(eight.alpha, c.eight) << c.name;
        EXPECT_EQ(eight.red, c.eight) << c.name;
        EXPECT_EQ(eight.green, 0) << c.name;
        EXPECT_EQ(eight.blue, 255) << c.name;
        const auto sixteen = static_cast<PF_Pixel16>(color);
        EXPECT_EQ(sixteen.alpha, c.sixteen) << c.name;
        EXPECT_EQ(sixteen.red, c.sixteen) << c.name;
        EXPECT_EQ(sixteen.blue, 32768) << c.name;
    }
}

TEST(Color, FloatChannelsRoundAndClampToEightAndSixteenBits) { checkChannels<float>(); }
TEST(Color, DoubleChannelsRoundAndClampToEightAndSixteenBits) { checkChannels<double>(); }

TEST(Color, FloatPixelsKeepColourAndClampOnlyAlpha) {
    struct Case {
        const char* name;
        Morvel::Color<double> color;
        PF_PixelFloat expected;
    };
    const Case cases[] = {
        {"over-bright", {1.5, 2.5, -0.5, 0.25}, {1.0f, 2.5f, -0.5f, 0.25f}},
        {"negative alpha", {-0.5, 0.1, 0.2, 0.3}, {0.0f, 0.1f, 0.2f, 0.3f}},
        {"inside", {0.75, 0.0, 1.0, 0.5}, {0.75f, 0.0f, 1.0f, 0.5f}},
    };
    for (const Case& c : cases) {
        const auto got = static_cast<PF_PixelFloat>(c.color);
        EXPECT_FLOAT_EQ(got.alpha, c.expected.alpha) << c.name;
        EXPECT_FLOAT_EQ(got.red, c.expected.red) << c.name;
        EXPECT_FLOAT_EQ(got.green, c.expected.green) << c.name;
        EXPECT_FLOAT_EQ(got.blue, c.expected.blue) << c.name;
    }
}

}  // namespace
