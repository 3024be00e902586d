#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "host/sim/params.h"
#include "library/parameter/parameter.h"
#include "support/host_fixture.h"

using namespace Morvel::Plugin;

namespace {

ParameterDef makeRow(const char* name, int32_t kind, int32_t id) {
    ParameterDef row{};
    std::strncpy(row.name, name, sizeof row.name - 1);
    row.kind = kind;
    row.id = id;
    return row;
}

class ParameterRegistration : public HostTest {
protected:
    // Registers through `add` into a record cleared as set-up clears it, and returns what the
    // host recorded.
    const PF_ParamDef& registerWith(const std::function<PF_Err(PF_ParamDef&)>& add, PF_Err expected = 0) {
        PF_ParamDef def{};
        EXPECT_EQ(add(def), expected);
        return effect_.registered.back();
    }
};

TEST_F(ParameterRegistration, ColourChannelsAreRoundedAndClamped) {
    ParameterDef row = makeRow("Tint", KIND_COLOR, 1);
    row.dephault.color = {1.2f, -0.1f, 0.5f};
    const PF_ParamDef& def = registerWith([&](PF_ParamDef& d) { return addColor(&in_data_, d, row); });
    EXPECT_EQ(def.param_type, PF_Param_COLOR);
    for (const PF_Pixel& pixel : {def.u.cd.value, def.u.cd.dephault}) {
        EXPECT_EQ(pixel.alpha, 255);
        EXPECT_EQ(pixel.red, 255);
        EXPECT_EQ(pixel.green, 0);
        EXPECT_EQ(pixel.blue, 128);  // 0.5 x 255 + 0.5 = 128.0
    }
}

TEST_F(ParameterRegistration, ColourNaNBecomesZero) {
    ParameterDef row = makeRow("Tint", KIND_COLOR, 1);
    row.dephault.color = {std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f};
    const PF_ParamDef& def = registerWith([&](PF_ParamDef& d) { return addColor(&in_data_, d, row); });
    EXPECT_EQ(def.u.cd.dephault.red, 0);
    EXPECT_EQ(def.u.cd.dephault.green, 255);
    EXPECT_EQ(def.u.cd.dephault.blue, 0);
}

TEST_F(ParameterRegistration, AngleDefaultsInSixteenSixteen) {
    struct Case {
        const char* name;
        double degrees;
        PF_Fixed expected;
    };
    const Case cases[] = {
        {"45.5 degrees", 45.5, 2981888},
        {"negative", -90.25, -(90 * 65536 + 16384)},
        {"too large", 1e12, std::numeric_limits<int32_t>::max()},
        {"too small", -1e12, std::numeric_limits<int32_t>::min()},
        {"NaN", std::numeric_limits<double>::quiet_NaN(), 0},
    };
    int id = 1;
    for (const Case& c : cases) {
        ParameterDef row = makeRow(c.name, KIND_ANGLE, id++);
        row.dephault.d = c.degrees;
        const PF_ParamDef& def = registerWith([&](PF_ParamDef& d) { return addAngle(&in_data_, d, row); });
        EXPECT_EQ(def.param_type, PF_Param_ANGLE) << c.name;
        EXPECT_EQ(def.u.ad.dephault, c.expected) << c.name;
        EXPECT_EQ(def.u.ad.value, c.expected) << c.name;
    }
}

TEST_F(ParameterRegistration, PointDefaultKeepsTheIntegerPart) {
    ParameterDef row = makeRow("Center", KIND_POINT, 1);
    row.dephault.point = {50.7, 20.2};
    const PF_ParamDef& def = registerWith([&](PF_ParamDef& d) { return addPoint(&in_data_, d, row, true); });
    EXPECT_EQ(def.param_type, PF_Param_POINT);
    EXPECT_EQ(def.u.td.x_dephault, 50 << 16);
    EXPECT_EQ(def.u.td.y_dephault, 20 << 16);
    EXPECT_EQ(def.u.td.x_value, 50 << 16);
    EXPECT_EQ(def.u.td.y_value, 20 << 16);
    EXPECT_EQ(def.u.td.restrict_bounds, 1);

    ParameterDef wild = makeRow("Wild", KIND_POINT, 2);
    wild.dephault.point = {-1e20, std::numeric_limits<double>::quiet_NaN()};
    const PF_ParamDef& saturated = registerWith([&](PF_ParamDef& d) { return addPoint(&in_data_, d, wild, false); });
    EXPECT_EQ(saturated.u.td.x_dephault, -32768 * 65536);
    EXPECT_EQ(saturated.u.td.y_dephault, 0);
    EXPECT_EQ(saturated.u.td.restrict_bounds, 0);
}

TEST_F(ParameterRegistration, PopupDefaultAndCountAreCutToSixteenBits) {
    expectFault("add_param 2 \"default beyond 16 bits\": default 32767 outside 1 .. 3");
    expectFault("add_param 3 \"negative default\": default -32768 outside 1 .. 3");
    expectFault("add_param 4 \"count beyond 16 bits\": 32767 choices but the menu names 3 items");
    struct Case {
        const char* name;
        int32_t dephault;
        int32_t count;
        int16_t expectedDefault;
        int16_t expectedCount;
    };
    const Case cases[] = {
        {"ordinary", 2, 3, 2, 3},
        {"default beyond 16 bits", 70000, 3, 32767, 3},
        {"negative default", -70000, 3, -32768, 3},
        {"count beyond 16 bits", 1, 100000, 1, 32767},
    };
    int id = 1;
    for (const Case& c : cases) {
        ParameterDef row = makeRow(c.name, KIND_INT, id++);
        row.dephault.i = c.dephault;
        row.validMin.i = 1;
        row.validMax.i = c.count;
        const char* menu = "A|B|C";
        const PF_ParamDef& def = registerWith([&](PF_ParamDef& d) { return addPopup(&in_data_, d, row, menu); });
        EXPECT_EQ(def.param_type, PF_Param_POPUP) << c.name;
        EXPECT_EQ(def.u.pd.dephault, c.expectedDefault) << c.name;
        EXPECT_EQ(def.u.pd.value, static_cast<int32_t>(c.expectedDefault)) << c.name << ": widened with its sign";
        EXPECT_EQ(def.u.pd.num_choices, c.expectedCount) << c.name;
        EXPECT_EQ(def.u.pd.namesptr, menu) << c.name;
    }
    // The three unusual rows are registered all the same, and the host says why it objects.
    EXPECT_EQ(host().log().count("problem: add_param"), 3u);
}

TEST_F(ParameterRegistration, FloatAndPercentDifferOnlyInTheDisplayFlag) {
    ParameterDef row = makeRow("Gamma", KIND_FLOAT, 1);
    row.dephault.d = 0.1;
    row.validMin.d = -5;
    row.validMax.d = 5;
    row.sliderMin.d = 0.01;
    row.sliderMax.d = 2;
    const PF_ParamDef plain = registerWith([&](PF_ParamDef& d) { return addFloat(&in_data_, d, row, 2); });
    row.id = 2;
    const PF_ParamDef percent = registerWith([&](PF_ParamDef& d) { return addPercent(&in_data_, d, row, 3); });
    for (const PF_ParamDef* def : {&plain, &percent}) {
        EXPECT_EQ(def->param_type, PF_Param_FLOAT_SLIDER);
        EXPECT_EQ(def->u.fs_d.value, 0.1) << "the value keeps double precision";
        EXPECT_EQ(def->u.fs_d.dephault, 0.1f);
        EXPECT_EQ(def->u.fs_d.valid_min, -5.0f);
        EXPECT_EQ(def->u.fs_d.valid_max, 5.0f);
        EXPECT_EQ(def->u.fs_d.slider_min, 0.01f);
        EXPECT_EQ(def->u.fs_d.slider_max, 2.0f);
        EXPECT_EQ(def->u.fs_d.curve_tolerance, 0.0f);
    }
    EXPECT_EQ(plain.u.fs_d.display_flags, PF_ValueDisplayFlag_NONE);
    EXPECT_EQ(plain.u.fs_d.precision, 2);
    EXPECT_EQ(percent.u.fs_d.display_flags, PF_ValueDisplayFlag_PERCENT);
    EXPECT_EQ(percent.u.fs_d.precision, 3);
}

TEST_F(ParameterRegistration, HugeFloatDefaultsStayFinite) {
    ParameterDef row = makeRow("Huge", KIND_FLOAT, 1);
    row.dephault.d = 1e300;
    row.validMin.d = -1e300;
    row.validMax.d = 1e300;
    row.sliderMax.d = 1e300;
    const PF_ParamDef& def = registerWith([&](PF_ParamDef& d) { return addFloat(&in_data_, d, row, 1); });
    EXPECT_TRUE(std::isfinite(def.u.fs_d.dephault));
    EXPECT_TRUE(std::isfinite(def.u.fs_d.valid_min));
    EXPECT_TRUE(std::isfinite(def.u.fs_d.valid_max));
}

TEST_F(ParameterRegistration, OtherKinds) {
    ParameterDef slider = makeRow("Count", KIND_INT, 1);
    slider.dephault.i = 4;
    slider.validMin.i = 1;
    slider.validMax.i = 20;
    slider.sliderMin.i = 2;
    slider.sliderMax.i = 8;
    const PF_ParamDef s = registerWith([&](PF_ParamDef& d) { return addSlider(&in_data_, d, slider); });
    EXPECT_EQ(s.param_type, PF_Param_SLIDER);
    EXPECT_EQ(s.u.sd.value, 4);
    EXPECT_EQ(s.u.sd.dephault, 4);
    EXPECT_EQ(s.u.sd.valid_min, 1);
    EXPECT_EQ(s.u.sd.valid_max, 20);
    EXPECT_EQ(s.u.sd.slider_min, 2);
    EXPECT_EQ(s.u.sd.slider_max, 8);
    EXPECT_STREQ(s.u.sd.value_str, "");

    ParameterDef box = makeRow("On", KIND_CHECKBOX, 2);
    box.dephault.i = 1;
    const char* label = "label";
    const PF_ParamDef c = registerWith([&](PF_ParamDef& d) { return addCheckbox(&in_data_, d, box, label); });
    EXPECT_EQ(c.param_type, PF_Param_CHECKBOX);
    EXPECT_EQ(c.u.bd.value, 1);
    EXPECT_EQ(c.u.bd.dephault, 1);
    EXPECT_EQ(c.u.bd.nameptr, label);

    ParameterDef layer = makeRow("Layer", KIND_LAYER, 3);
    layer.dephault.i = PF_LayerDefault_MYSELF;
    const PF_ParamDef l = registerWith([&](PF_ParamDef& d) { return addLayer(&in_data_, d, layer); });
    EXPECT_EQ(l.param_type, PF_Param_LAYER);
    EXPECT_EQ(l.u.ld.dephault, PF_LayerDefault_MYSELF);

    ParameterDef point3d = makeRow("Position", KIND_POINT3D, 4);
    point3d.dephault.point3d = {1.5, -2.25, 1e10};
    const PF_ParamDef p = registerWith([&](PF_ParamDef& d) { return addPoint3D(&in_data_, d, point3d); });
    EXPECT_EQ(p.param_type, PF_Param_POINT_3D);
    EXPECT_EQ(p.u.point3d_d.x_dephault, 1.5);
    EXPECT_EQ(p.u.point3d_d.y_value, -2.25);
    EXPECT_EQ(p.u.point3d_d.z_value, 1e10);

    ParameterDef path = makeRow("Mask", 9, 5);
    path.dephault.i = 7;
    const PF_ParamDef m = registerWith([&](PF_ParamDef& d) { return addPath(&in_data_, d, path); });
    EXPECT_EQ(m.param_type, PF_Param_PATH);
    EXPECT_EQ(m.u.path_d.dephault, 7);

    EXPECT_EQ(host().log().count("problem:"), 0u) << "every row above is sound";
}

TEST_F(ParameterRegistration, GroupEntriesCarryIdAndName) {
    const PF_ParamDef start = registerWith([&](PF_ParamDef& d) { return addTopic(&in_data_, d, 5, "Blur"); });
    EXPECT_EQ(start.param_type, PF_Param_GROUP_START);
    EXPECT_EQ(start.uu.id, 5);
    EXPECT_STREQ(start.name, "Blur");
    const PF_ParamDef end = registerWith([&](PF_ParamDef& d) { return addTopicEnd(&in_data_, d, 22); });
    EXPECT_EQ(end.param_type, PF_Param_GROUP_END);
    EXPECT_EQ(end.uu.id, 22);
    EXPECT_STREQ(end.name, "");
}

TEST_F(ParameterRegistration, IdNameAndCallersFlagsReachTheHost) {
    ParameterDef row = makeRow("Opacity", KIND_FLOAT, 42);
    row.validMax.d = 1;
    row.sliderMax.d = 1;
    PF_ParamDef def{};
    def.flags = PF_ParamFlag_START_COLLAPSED;
    ASSERT_EQ(addFloat(&in_data_, def, row, 1), PF_Err_NONE);
    const PF_ParamDef& recorded = effect_.registered.back();
    EXPECT_EQ(recorded.uu.id, 42);
    EXPECT_STREQ(recorded.name, "Opacity");
    EXPECT_EQ(recorded.flags, PF_ParamFlag_START_COLLAPSED);
    EXPECT_EQ(effect_.registered.size(), 2u) << "the input layer stands at index 0";
}

TEST_F(ParameterRegistration, NamesThatDoNotFitAreCut) {
    ParameterDef row = makeRow("", KIND_CHECKBOX, 1);
    std::memset(row.name, 'x', sizeof row.name);  // 32 characters, no terminator
    const PF_ParamDef unterminated = registerWith([&](PF_ParamDef& d) { return addCheckbox(&in_data_, d, row, ""); });
    EXPECT_EQ(std::string(unterminated.name), std::string(31, 'x'));

    const std::string longName(100, 'y');
    const PF_ParamDef topic = registerWith([&](PF_ParamDef& d) { return addTopic(&in_data_, d, 2, longName.c_str()); });
    EXPECT_EQ(std::string(topic.name), std::string(31, 'y'));
}

TEST_F(ParameterRegistration, HostErrorIsReturned) {
    host().faults().failCall("add_param", 1, PF_Err_OUT_OF_MEMORY);
    ParameterDef row = makeRow("Count", KIND_INT, 1);
    PF_ParamDef def{};
    EXPECT_EQ(addSlider(&in_data_, def, row), PF_Err_OUT_OF_MEMORY);
    EXPECT_TRUE(effect_.registered.empty());
}

}  // namespace
