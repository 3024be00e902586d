#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "host/sim/params.h"
#include "library/parameter/parameter_def.h"

// A row of an effect's parameter table as its users know it, written down independently of the
// code. Colours are left to the caller: their defaults are three floats.
struct ExpectedRow {
    const char* name;
    int32_t id;
    int32_t kind;
    double dephault, validMin, validMax, sliderMin, sliderMax;
    int32_t precision;  // float sliders
    bool percent;       // float sliders
};

// Checks a table row, and what registration adds to it (an effect's RowRegistration: precision
// and percent of a slider, the items of a popup), against what users know.
template <class Registration>
void expectRow(const Morvel::Plugin::ParameterDef& row, const Registration& how, const ExpectedRow& want) {
    using namespace Morvel::Plugin;
    SCOPED_TRACE(want.name);
    EXPECT_STREQ(row.name, want.name);
    EXPECT_EQ(row.id, want.id);
    EXPECT_EQ(row.kind, want.kind);
    switch (want.kind) {
        case KIND_INT:
            EXPECT_EQ(row.dephault.i, int32_t(want.dephault));
            EXPECT_EQ(row.validMin.i, int32_t(want.validMin));
            EXPECT_EQ(row.validMax.i, int32_t(want.validMax));
            EXPECT_EQ(Sim::menuItemCount(how.menu), row.validMax.i) << "choices = items";
            break;
        case KIND_FLOAT:
            EXPECT_EQ(row.dephault.d, want.dephault);
            EXPECT_EQ(row.validMin.d, want.validMin);
            EXPECT_EQ(row.validMax.d, want.validMax);
            EXPECT_EQ(row.sliderMin.d, want.sliderMin);
            EXPECT_EQ(row.sliderMax.d, want.sliderMax);
            // The slider's range and the default lie inside the valid range.
            EXPECT_LE(row.validMin.d, row.sliderMin.d);
            EXPECT_LE(row.sliderMax.d, row.validMax.d);
            EXPECT_LE(row.validMin.d, row.dephault.d);
            EXPECT_LE(row.dephault.d, row.validMax.d);
            EXPECT_EQ(how.precision, want.precision);
            EXPECT_EQ(how.percent, want.percent);
            break;
        case KIND_POINT:
            EXPECT_EQ(row.dephault.point.x, want.dephault);
            EXPECT_EQ(row.dephault.point.y, want.dephault);
            break;
        case KIND_ANGLE: EXPECT_EQ(row.dephault.d, want.dephault); break;
        case KIND_COLOR: break;
        default: EXPECT_EQ(row.dephault.i, int32_t(want.dephault)); break;
    }
}
