#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "library/parameter/fixed_point.h"

using namespace Morvel::Plugin;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(FixedPoint, TruncationSaturatesInsteadOfOverflowing) {
    struct Case {
        const char* name;
        double in;
        int32_t expected;
    };
    const Case cases[] = {
        {"small positive cut toward zero", 0.99, 0},
        {"small negative cut toward zero", -0.99, 0},
        {"largest exact", 2147483647.0, INT32_MAX},
        {"just above the range", 2147483648.0, INT32_MAX},
        {"smallest exact", -2147483648.0, INT32_MIN},
        {"far below", -1e300, INT32_MIN},
        {"far above", 1e300, INT32_MAX},
        {"infinity", kInf, INT32_MAX},
        {"minus infinity", -kInf, INT32_MIN},
        {"NaN", kNaN, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(saturatingTrunc32(c.in), c.expected) << c.name;
}

TEST(FixedPoint, PointKeepsOnlyTheIntegerPart) {
    struct Case {
        const char* name;
        double coordinate;
        PF_Fixed expected;
    };
    const Case cases[] = {
        {"50.7", 50.7, 50 * 65536},
        {"20.2", 20.2, 20 * 65536},
        {"-50.7 cut toward zero", -50.7, -50 * 65536},
        {"largest whole part", 32767.9, 32767 * 65536},
        {"too large", 1e9, 32767 * 65536},
        {"too small", -1e9, -32768 * 65536},
        {"NaN", kNaN, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(integerPartToFixed(c.coordinate), c.expected) << c.name;
}

TEST(FixedPoint, SixteenBitCutSaturates) {
    struct Case {
        int32_t in;
        int16_t expected;
    };
    const Case cases[] = {{5, 5},         {-5, -5},         {32767, 32767},   {32768, 32767},
                          {70000, 32767}, {-32768, -32768}, {-70000, -32768}, {INT32_MIN, -32768}};
    for (const Case& c : cases) EXPECT_EQ(saturatingCut16(c.in), c.expected) << c.in;
}

TEST(FixedPoint, FloatNarrowingStaysFinite) {
    EXPECT_EQ(saturatingToFloat(1e300), FLT_MAX);
    EXPECT_EQ(saturatingToFloat(-1e300), -FLT_MAX);
    EXPECT_EQ(saturatingToFloat(0.25), 0.25f);
    EXPECT_TRUE(std::isinf(saturatingToFloat(kInf)));
    EXPECT_TRUE(std::isnan(saturatingToFloat(kNaN)));
}

TEST(FixedPoint, BackToDoubleIsExactPerUnit) {
    EXPECT_EQ(fixedToDouble(1), 1.52587890625e-5);
    EXPECT_EQ(fixedToDouble(45 * 65536 + 32768), 45.5);
    EXPECT_EQ(fixedToDouble(-65536), -1.0);
}

}  // namespace
