#include "tiltshift/parameter_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/table_rows.h"

using namespace Morvel::Plugin;
using TiltShift::kParamCount;
using TiltShift::PARAM_DEFS;

namespace {

// The table as the effect's users know it, written down independently of the code; a row's id
// is its host index.
constexpr ExpectedRow kRows[kParamCount] = {
    {"Type", 1, KIND_INT, 1, 1, 2, 0, 0, 0, false},
    {"Blur Amount", 2, KIND_FLOAT, 50, 0, 5000, 0, 100, 1, false},
    {"Blur Offset", 3, KIND_FLOAT, 0, 0, 5000, 0, 100, 1, false},
    {"Weight", 4, KIND_FLOAT, 3, 0, 5, 0, 5, 2, false},
    {"Center", 5, KIND_POINT, 50, 0, 0, 0, 0, 0, false},
    {"Direction", 6, KIND_ANGLE, 0, 0, 0, 0, 0, 0, false},
    {"Ratio", 7, KIND_FLOAT, 1, 0.0001, 100, 0.2, 5, 2, false},
    {"Inner Width", 8, KIND_FLOAT, 100, 0, 100000, 0, 200, 1, false},
    {"Linear Mode", 9, KIND_INT, 1, 1, 2, 0, 0, 0, false},
    {"Power", 10, KIND_FLOAT, 2, 0.1, 5, 0.1, 3, 2, false},
    {"Focus Distance", 11, KIND_FLOAT, 1000, 1, 1000000, 500, 2000, 1, false},
    {"Chromatic Aberration", 12, KIND_FLOAT, 0, 0, 100, 0, 10, 1, false},
    {"Vignetting", 13, KIND_FLOAT, 0, 0, 10000, 0, 100, 1, true},
    {"Vignetting Color", 14, KIND_COLOR, 0, 0, 0, 0, 0, 0, false},
    {"Blending Mode", 15, KIND_INT, 4, 1, 20, 0, 0, 0, false},
    {"Repeat Edge Pixels", 16, KIND_CHECKBOX, 1, 0, 0, 0, 0, 0, false},
    {"Grow Bounds", 17, KIND_CHECKBOX, 1, 0, 0, 0, 0, 0, false},
};

TEST(TiltShiftParameters, TableRowsMatchTheEffectsControls) {
    for (int r = 0; r < kParamCount; ++r) {
        const ParameterDef& row = PARAM_DEFS[r];
        expectRow(row, TiltShift::kRowRegistration[r], kRows[r]);
        if (kRows[r].kind == KIND_COLOR) {
            EXPECT_EQ(row.dephault.color.red, 0.0f);
            EXPECT_EQ(row.dephault.color.green, 0.0f);
            EXPECT_EQ(row.dephault.color.blue, 0.0f);
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
    std::string menu = TiltShift::kMenuBlendingMode;
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
