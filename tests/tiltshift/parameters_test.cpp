#include "tiltshift/parameters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace Morvel::Plugin;
using TiltShift::PARAM_COUNT;
using TiltShift::PARAM_DEFS;

namespace {

// The table as the effect's users know it, written down independently of the code.
struct ExpectedRow {
    const char* name;
    int32_t kind;
    double dephault, validMin, validMax, sliderMin, sliderMax;
    int32_t precision;
    bool percent;
};

constexpr ExpectedRow kRows[PARAM_COUNT] = {
    {"Type", KIND_INT, 1, 1, 2, 0, 0, 0, false},
    {"Blur Amount", KIND_FLOAT, 50, 0, 5000, 0, 100, 1, false},
    {"Blur Offset", KIND_FLOAT, 0, 0, 5000, 0, 100, 1, false},
    {"Weight", KIND_FLOAT, 3, 0, 5, 0, 5, 2, false},
    {"Center", KIND_POINT, 50, 0, 0, 0, 0, 0, false},
    {"Direction", KIND_ANGLE, 0, 0, 0, 0, 0, 0, false},
    {"Ratio", KIND_FLOAT, 1, 0.0001, 100, 0.2, 5, 2, false},
    {"Inner Width", KIND_FLOAT, 100, 0, 100000, 0, 200, 1, false},
    {"Linear Mode", KIND_INT, 1, 1, 2, 0, 0, 0, false},
    {"Power", KIND_FLOAT, 2, 0.1, 5, 0.1, 3, 2, false},
    {"Focus Distance", KIND_FLOAT, 1000, 1, 1000000, 500, 2000, 1, false},
    {"Chromatic Aberration", KIND_FLOAT, 0, 0, 100, 0, 10, 1, false},
    {"Vignetting", KIND_FLOAT, 0, 0, 10000, 0, 100, 1, true},
    {"Vignetting Color", KIND_COLOR, 0, 0, 0, 0, 0, 0, false},
    {"Blending Mode", KIND_INT, 4, 1, 20, 0, 0, 0, false},
    {"Repeat Edge Pixels", KIND_CHECKBOX, 1, 0, 0, 0, 0, 0, false},
    {"Grow Bounds", KIND_CHECKBOX, 1, 0, 0, 0, 0, 0, false},
};

int menuItems(const char* menu) {
    int items = 1;
    for (const char* c = menu; *c != '\0'; ++c) items += *c == '|' ? 1 : 0;
    return items;
}

TEST(TiltShiftParameters, TableRowsMatchTheEffectsControls) {
    for (int r = 0; r < PARAM_COUNT; ++r) {
        const ParameterDef& row = PARAM_DEFS[r];
        const ExpectedRow& want = kRows[r];
        SCOPED_TRACE(want.name);
        EXPECT_STREQ(row.name, want.name);
        EXPECT_EQ(row.id, r + 1) << "id is the host index";
        EXPECT_EQ(row.kind, want.kind);
        switch (want.kind) {
        case KIND_INT:
            EXPECT_EQ(row.dephault.i, int32_t(want.dephault));
            EXPECT_EQ(row.validMin.i, int32_t(want.validMin));
            EXPECT_EQ(row.validMax.i, int32_t(want.validMax));
            ASSERT_NE(TiltShift::ROW_REGISTRATION[r].menu, nullptr);
            EXPECT_EQ(menuItems(TiltShift::ROW_REGISTRATION[r].menu), row.validMax.i) << "choices = items";
            break;
        case KIND_FLOAT:
            EXPECT_EQ(row.dephault.d, want.dephault);
            EXPECT_EQ(row.validMin.d, want.validMin);
            EXPECT_EQ(row.validMax.d, want.validMax);
            EXPECT_EQ(row.sliderMin.d, want.sliderMin);
            EXPECT_EQ(row.sliderMax.d, want.sliderMax);
            EXPECT_LE(row.validMin.d, row.sliderMin.d);
            EXPECT_LE(row.sliderMax.d, row.validMax.d);
            EXPECT_LE(row.validMin.d, row.dephault.d);
            EXPECT_LE(row.dephault.d, row.validMax.d);
            EXPECT_EQ(TiltShift::ROW_REGISTRATION[r].precision, want.precision);
            EXPECT_EQ(TiltShift::ROW_REGISTRATION[r].percent, want.percent);
            break;
        case KIND_POINT:
            EXPECT_EQ(row.dephault.point.x, want.dephault);
            EXPECT_EQ(row.dephault.point.y, want.dephault);
            break;
        case KIND_ANGLE:
            EXPECT_EQ(row.dephault.d, want.dephault);
            break;
        case KIND_COLOR:
            EXPECT_EQ(row.dephault.color.red, 0.0f);
            EXPECT_EQ(row.dephault.color.green, 0.0f);
            EXPECT_EQ(row.dephault.color.blue, 0.0f);
            break;
        case KIND_CHECKBOX:
            EXPECT_EQ(row.dephault.i, int32_t(want.dephault));
            break;
        }
    }
}

TEST(TiltShiftParameters, IndicesNameTheirRows) {
    struct Case {
        TiltShift::ParamIndex index;
        const char* name;
    };
    const Case cases[] = {{TiltShift::PARAM_TYPE, "Type"},
                          {TiltShift::PARAM_CENTER, "Center"},
                          {TiltShift::PARAM_DIRECTION, "Direction"},
                          {TiltShift::PARAM_RATIO, "Ratio"},
                          {TiltShift::PARAM_LINEAR_MODE, "Linear Mode"},
                          {TiltShift::PARAM_VIGNETTING_COLOR, "Vignetting Color"},
                          {TiltShift::PARAM_GROW_BOUNDS, "Grow Bounds"}};
    for (const Case& c : cases) {
        EXPECT_STREQ(PARAM_DEFS[TiltShift::rowOf(c.index)].name, c.name);
        EXPECT_EQ(PARAM_DEFS[TiltShift::rowOf(c.index)].id, c.index) << c.name;
    }
}

TEST(TiltShiftParameters, BlendingModeDefaultIsMultiplyCountingSeparators) {
    const ParameterDef& row = PARAM_DEFS[TiltShift::rowOf(TiltShift::PARAM_BLENDING_MODE)];
    std::string menu = TiltShift::MENU_BLENDING_MODE;
    std::string item;
    for (int i = 1; i <= row.dephault.i; ++i) {
        const size_t bar = menu.find('|');
        item = menu.substr(0, bar);
        menu = menu.substr(bar + 1);
    }
    EXPECT_EQ(item, "Multiply");
}

// "Grow Bounds" is read from byte 384 of the pre-render data: record 16 of 24 bytes.
static_assert(TiltShift::rowOf(TiltShift::PARAM_GROW_BOUNDS) * sizeof(ParameterUnionValue) == 384);

}  // namespace
