#include "diffusion/parameter_table.h"

#include <gtest/gtest.h>

#include "host/sim/params.h"
#include "support/table_rows.h"

using namespace Morvel::Plugin;
using Diffusion::kParamCount;
using Diffusion::kRowRegistration;
using Diffusion::PARAM_DEFS;

namespace {

// The table as the effect's users know it, written down independently of the code.
constexpr ExpectedRow kRows[kParamCount] = {
    {"Blur Radius", 1, KIND_FLOAT, 30, 0, 1000, 0, 100, 1, false},
    {"Blur Softness", 2, KIND_FLOAT, 5, 0, 20, 0, 20, 1, false},
    {"Weight", 3, KIND_FLOAT, 2, 0, 10, 0, 5, 2, false},
    {"Threshold", 4, KIND_FLOAT, 50, 0, 100, 0, 100, 2, true},
    {"Threshold Softness", 5, KIND_FLOAT, 10, 0, 100, 0, 100, 2, true},
    {"Channel", 6, KIND_INT, 1, 1, 12, 0, 0, 0, false},
    {"Reference Color", 7, KIND_COLOR, 0, 0, 0, 0, 0, 0, false},
    {"Wrap", 8, KIND_INT, 3, 1, 3, 0, 0, 0, false},
    {"Blending Mode", 9, KIND_INT, 1, 1, 31, 0, 0, 0, false},
    {"Source Opacity", 10, KIND_FLOAT, 100, 0, 100, 0, 100, 1, true},
    {"Source Hue", 12, KIND_ANGLE, 0, 0, 0, 0, 0, 0, false},
    {"Source Lightness", 13, KIND_FLOAT, 100, 0, 10000, 0, 200, 1, true},
    {"Source Saturation", 14, KIND_FLOAT, 100, 0, 10000, 0, 200, 1, true},
    {"Source Black", 15, KIND_FLOAT, 0, -5000, 5000, 0, 100, 1, true},
    {"Source White", 16, KIND_FLOAT, 100, -5000, 5000, 0, 100, 1, true},
    {"Source Gamma", 17, KIND_FLOAT, 1, 0.01, 5, 0.01, 5, 2, false},
    {"Source Alpha Black", 18, KIND_FLOAT, 0, -5000, 5000, 0, 100, 1, true},
    {"Source Alpha White", 19, KIND_FLOAT, 100, -5000, 5000, 0, 100, 1, true},
    {"Diffusion Opacity", 21, KIND_FLOAT, 100, 0, 100, 0, 100, 1, true},
    {"Diffusion Hue", 23, KIND_ANGLE, 0, 0, 0, 0, 0, 0, false},
    {"Diffusion Lightness", 24, KIND_FLOAT, 100, 0, 10000, 0, 200, 1, true},
    {"Diffusion Saturation", 25, KIND_FLOAT, 100, 0, 10000, 0, 200, 1, true},
    {"Diffusion Black", 26, KIND_FLOAT, 0, -5000, 5000, 0, 100, 1, true},
    {"Diffusion White", 27, KIND_FLOAT, 100, -5000, 5000, 0, 100, 1, true},
    {"Diffusion Gamma", 28, KIND_FLOAT, 1, 0.01, 5, 0.01, 5, 2, false},
    {"Diffusion Alpha Black", 29, KIND_FLOAT, 0, -5000, 5000, 0, 100, 1, true},
    {"Diffusion Alpha White", 30, KIND_FLOAT, 100, -5000, 5000, 0, 100, 1, true},
    {"Grow Bounds", 32, KIND_CHECKBOX, 1, 0, 0, 0, 0, 0, false},
};

TEST(DiffusionParameters, TableRowsMatchTheEffectsControls) {
    for (int r = 0; r < kParamCount; ++r) {
        const ParameterDef& row = PARAM_DEFS[r];
        const ExpectedRow& want = kRows[r];
        expectRow(row, kRowRegistration[r], want);
        if (want.kind == KIND_COLOR) {
            EXPECT_EQ(row.dephault.color.red, 1.0f);
            EXPECT_EQ(row.dephault.color.green, 0.0f);
            EXPECT_EQ(row.dephault.color.blue, 0.0f);
        }
        const bool expanded = want.id == 6 || want.id == 9;
        EXPECT_EQ(kRowRegistration[r].flags, expanded ? 0 : PF_ParamFlag_START_COLLAPSED);
    }
}

TEST(DiffusionParameters, MenusNameTheirItems) {
    struct Case {
        const char* name;
        const char* menu;
        int item;
        const char* text;
    };
    const Case cases[] = {
        {"channel first", Diffusion::kMenuChannel, 1, "Luminance"},
        {"channel hue", Diffusion::kMenuChannel, 6, "Hue"},
        {"channel last", Diffusion::kMenuChannel, 12, "Distance from Color(HSB)"},
        {"wrap default", Diffusion::kMenuWrap, 3, "Mirror"},
        {"blending separator", Diffusion::kMenuBlendingMode, 2, "(-"},
        {"blending classic difference", Diffusion::kMenuBlendingMode, 25, "Classic Difference"},
        {"blending last", Diffusion::kMenuBlendingMode, 31, "Luminosity"},
    };
    for (const Case& c : cases) EXPECT_EQ(Sim::menuItem(c.menu, c.item), c.text) << c.name;
}

}  // namespace
