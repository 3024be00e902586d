#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <vector>

#include "host/sim/params.h"
#include "library/parameter/parameter.h"
#include "support/host_fixture.h"

using namespace Morvel::Plugin;

namespace {

constexpr unsigned char kUntouched = 0xAB;

ParameterDef makeRow(int32_t kind, int32_t id) {
    ParameterDef row{};
    row.kind = kind;
    row.id = id;
    return row;
}

ParameterUnionValue untouched() {
    ParameterUnionValue value;
    std::memset(&value, kUntouched, sizeof value);
    return value;
}

bool isUntouched(const void* bytes, size_t size) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < size; ++i) {
        if (p[i] != kUntouched) return false;
    }
    return true;
}

// Host records of every kind, with values whose conversions are easy to confirm by hand.
struct HostValues {
    PF_ParamDef slider{}, popup{}, checkbox{}, floatSlider{}, angle{}, point{}, point3d{}, color{}, layer{};
    HostValues() {
        slider.param_type = PF_Param_SLIDER;
        slider.u.sd.value = -17;
        popup.param_type = PF_Param_POPUP;
        popup.u.pd.value = 4;
        checkbox.param_type = PF_Param_CHECKBOX;
        checkbox.u.bd.value = 1;
        floatSlider.param_type = PF_Param_FLOAT_SLIDER;
        floatSlider.u.fs_d.value = 12.375;
        angle.param_type = PF_Param_ANGLE;
        angle.u.ad.value = -(90 * 65536 + 16384);  // -90.25 degrees
        point.param_type = PF_Param_POINT;
        point.u.td.x_value = 50 * 65536 + 32768;  // 50.5
        point.u.td.y_value = -3 * 65536;
        point3d.param_type = PF_Param_POINT_3D;
        point3d.u.point3d_d.x_value = 1.5;
        point3d.u.point3d_d.y_value = -2.0;
        point3d.u.point3d_d.z_value = 1e6;
        color.param_type = PF_Param_COLOR;
        color.u.cd.value = PF_Pixel{7, 255, 0, 51};
        layer.param_type = PF_Param_LAYER;
        layer.u.ld.width = 3;
    }
};

// What each kind must read, by hand: 16.16 over 65536, bytes over 255.
void expectConverted(int32_t kind, const ParameterUnionValue& value, const char* where) {
    switch (kind) {
        case KIND_SLIDER: EXPECT_EQ(value.i, -17) << where; break;
        case KIND_INT: EXPECT_EQ(value.i, 4) << where; break;
        case KIND_CHECKBOX:
            EXPECT_TRUE(value.b) << where;
            EXPECT_TRUE(isUntouched(reinterpret_cast<const char*>(&value) + 1, sizeof value - 1))
                << where << ": only the bool is written";
            break;
        case KIND_FLOAT: EXPECT_EQ(value.d, 12.375) << where; break;
        case KIND_ANGLE: EXPECT_EQ(value.d, -90.25) << where; break;
        case KIND_POINT:
            EXPECT_EQ(value.point.x, 50.5) << where;
            EXPECT_EQ(value.point.y, -3.0) << where;
            break;
        case KIND_POINT3D:
            EXPECT_EQ(value.point3d.x, 1.5) << where;
            EXPECT_EQ(value.point3d.y, -2.0) << where;
            EXPECT_EQ(value.point3d.z, 1e6) << where;
            break;
        case KIND_COLOR:
            EXPECT_EQ(value.color.red, 1.0f) << where;
            EXPECT_EQ(value.color.green, 0.0f) << where;
            EXPECT_FLOAT_EQ(value.color.blue, 0.2f) << where;
            break;
        default: EXPECT_TRUE(isUntouched(&value, sizeof value)) << where << ": not converted"; break;
    }
}

struct KindRow {
    const char* name;
    int32_t kind;
    PF_ParamDef HostValues::*record;
};

const KindRow kKindRows[] = {
    {"integer slider", KIND_SLIDER, &HostValues::slider},
    {"popup", KIND_INT, &HostValues::popup},
    {"checkbox", KIND_CHECKBOX, &HostValues::checkbox},
    {"float slider", KIND_FLOAT, &HostValues::floatSlider},
    {"angle", KIND_ANGLE, &HostValues::angle},
    {"point", KIND_POINT, &HostValues::point},
    {"3-D point", KIND_POINT3D, &HostValues::point3d},
    {"colour", KIND_COLOR, &HostValues::color},
    {"layer", KIND_LAYER, &HostValues::layer},
    {"custom data", KIND_ARBITRARY, &HostValues::layer},
};
constexpr int kKindCount = sizeof kKindRows / sizeof kKindRows[0];

TEST(CopyParams, ConvertsEveryKind) {
    HostValues host;
    // Ids in reverse so that a mix-up of row and id shows.
    std::vector<PF_ParamDef*> params(kKindCount + 1, nullptr);
    std::vector<ParameterDef> rows;
    for (int r = 0; r < kKindCount; ++r) {
        const int id = kKindCount - r;
        rows.push_back(makeRow(kKindRows[r].kind, id));
        params[id] = &(host.*kKindRows[r].record);
    }
    std::vector<ParameterValue> out(kKindCount);
    for (auto& value : out) value.value = untouched();
    EXPECT_EQ(copyParams(params.data(), rows.data(), kKindCount, out.data()), 0);
    for (int r = 0; r < kKindCount; ++r) {
        EXPECT_EQ(out[r].id, rows[r].id) << kKindRows[r].name;
        EXPECT_EQ(out[r].kind, rows[r].kind) << kKindRows[r].name;
        expectConverted(kKindRows[r].kind, out[r].value, kKindRows[r].name);
    }
}

TEST(CopyParams, CountBelowOneWritesNothing) {
    HostValues host;
    PF_ParamDef* params[] = {&host.slider, &host.slider};
    const ParameterDef rows[] = {makeRow(KIND_SLIDER, 1)};
    for (int count : {0, -1}) {
        ParameterValue out;
        std::memset(&out, kUntouched, sizeof out);
        EXPECT_EQ(copyParams(params, rows, count, &out), 0);
        EXPECT_TRUE(isUntouched(&out, sizeof out)) << "count " << count;
    }
}

using CheckoutParams = HostTest;

TEST_F(CheckoutParams, ConvertsEveryKindAndChecksEachBackIn) {
    HostValues host_values;
    std::vector<ParameterDef> rows;
    for (int r = 0; r < kKindCount; ++r) {
        rows.push_back(makeRow(kKindRows[r].kind, r + 1));
        Sim::paramValue(effect_, r + 1) = host_values.*kKindRows[r].record;
    }
    std::vector<ParameterUnionValue> out(kKindCount, untouched());
    EXPECT_EQ(checkoutParams(&in_data_, rows.data(), kKindCount, out.data()), PF_Err_NONE);
    for (int r = 0; r < kKindCount; ++r) expectConverted(kKindRows[r].kind, out[r], kKindRows[r].name);
    // Layers and custom data are not checked out at all.
    EXPECT_EQ(host().log().count("checkout_param"), 8u);
    EXPECT_EQ(host().log().count("checkin_param"), 8u);
    EXPECT_EQ(host().ledger().outstanding("param checkout"), 0u);
}

TEST_F(CheckoutParams, AskedAtTheCurrentTime) {
    in_data_.current_time = 45;
    in_data_.time_step = 3;
    in_data_.time_scale = 24;
    Sim::paramValue(effect_, 1).param_type = PF_Param_SLIDER;
    const ParameterDef row = makeRow(KIND_SLIDER, 1);
    ParameterUnionValue out{};
    EXPECT_EQ(checkoutParams(&in_data_, &row, 1, &out), PF_Err_NONE);
    EXPECT_TRUE(host().log().contains("checkout_param 1 at 45/24 step 3"));
}

TEST_F(CheckoutParams, StopsAtTheFirstFailureLeavingLaterValues) {
    const int32_t kinds[] = {KIND_SLIDER, KIND_FLOAT, KIND_COLOR, KIND_ANGLE, KIND_CHECKBOX};
    std::vector<ParameterDef> rows;
    for (int r = 0; r < 5; ++r) {
        rows.push_back(makeRow(kinds[r], r + 1));
        PF_ParamDef& value = Sim::paramValue(effect_, r + 1);
        value.param_type = PF_Param_SLIDER;
        value.u.sd.value = 100 + r;
        if (kinds[r] == KIND_FLOAT) {
            value.param_type = PF_Param_FLOAT_SLIDER;
            value.u.fs_d.value = 2.5;
        }
    }
    host().faults().failCall("checkout_param", 3, PF_Err_INVALID_INDEX);
    std::vector<ParameterUnionValue> out(5, untouched());
    EXPECT_EQ(checkoutParams(&in_data_, rows.data(), 5, out.data()), PF_Err_INVALID_INDEX);
    EXPECT_EQ(out[0].i, 100);
    EXPECT_EQ(out[1].d, 2.5);
    for (int r = 2; r < 5; ++r) EXPECT_TRUE(isUntouched(&out[r], sizeof out[r])) << "row " << r;
    EXPECT_EQ(host().faults().calls("checkout_param"), 3) << "nothing is checked out after the failure";
    EXPECT_EQ(host().log().count("checkin_param"), 2u);
}

TEST_F(CheckoutParams, UnknownIndexIsAnErrorNotACrash) {
    expectFault("checkout_param of unknown index 500");
    const ParameterDef row = makeRow(KIND_SLIDER, 500);
    ParameterUnionValue out = untouched();
    EXPECT_EQ(checkoutParams(&in_data_, &row, 1, &out), PF_Err_INVALID_INDEX);
    EXPECT_TRUE(isUntouched(&out, sizeof out));
}

class SingleCheckout : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        HostValues values;
        Sim::paramValue(effect_, 1) = values.slider;
        Sim::paramValue(effect_, 2) = values.checkbox;
        Sim::paramValue(effect_, 3) = values.color;
        Sim::paramValue(effect_, 4) = values.popup;
        PF_ParamDef& path = Sim::paramValue(effect_, 5);
        path.param_type = PF_Param_PATH;
        path.u.path_d.path_id = 0xC0FFEEu;
        Sim::paramValue(effect_, 6) = values.angle;
        Sim::paramValue(effect_, 7) = values.point;
        Sim::paramValue(effect_, 8) = values.floatSlider;
        Sim::paramValue(effect_, 9) = values.point3d;
    }
};

TEST_F(SingleCheckout, ReadsAndReturnsEachKind) {
    int slider = 0;
    bool checkbox = false;
    Morvel::Color<float> color;
    int popup = 0;
    unsigned int path = 0;
    EXPECT_EQ(checkoutSliderParam(&in_data_, 1, slider), PF_Err_NONE);
    EXPECT_EQ(checkoutCheckboxParam(&in_data_, 2, checkbox), PF_Err_NONE);
    EXPECT_EQ(checkoutColorParam(&in_data_, 3, color), PF_Err_NONE);
    EXPECT_EQ(checkoutPopupParam(&in_data_, 4, popup), PF_Err_NONE);
    EXPECT_EQ(checkoutPathParam(&in_data_, 5, path), PF_Err_NONE);
    EXPECT_EQ(slider, -17);
    EXPECT_TRUE(checkbox);
    EXPECT_EQ(color.alpha, 1.0f) << "the parameter's own alpha is not used";
    EXPECT_EQ(color.red, 1.0f);
    EXPECT_EQ(color.green, 0.0f);
    EXPECT_FLOAT_EQ(color.blue, 0.2f);
    EXPECT_EQ(popup, 4);
    EXPECT_EQ(path, 0xC0FFEEu);
    EXPECT_EQ(host().log().count("checkin_param"), 5u);
}

template <typename T>
class SingleCheckoutTemplates : public SingleCheckout {};
using Precisions = ::testing::Types<float, double>;
TYPED_TEST_SUITE(SingleCheckoutTemplates, Precisions);

TYPED_TEST(SingleCheckoutTemplates, ConvertInTheirPrecision) {
    using T = TypeParam;
    PF_InData* in = &this->in_data_;
    T degrees{}, radians{}, scaled{};
    Morvel::Vector2<T> point;
    Morvel::Vector3<T> point3d;
    EXPECT_EQ(checkoutAngleParam<T>(in, 6, degrees, false), PF_Err_NONE);
    EXPECT_EQ(checkoutAngleParam<T>(in, 6, radians, true), PF_Err_NONE);
    EXPECT_EQ(checkoutPointParam<T>(in, 7, point), PF_Err_NONE);
    EXPECT_EQ(checkoutFloatParam<T>(in, 8, scaled, T(0.01)), PF_Err_NONE);
    EXPECT_EQ(checkoutPoint3DParam<T>(in, 9, point3d), PF_Err_NONE);
    EXPECT_EQ(degrees, T(-90.25));
    EXPECT_NEAR(radians, -90.25 * std::numbers::pi / 180.0, 1e-6);
    EXPECT_EQ(point.x, T(50.5));
    EXPECT_EQ(point.y, T(-3));
    EXPECT_NEAR(scaled, 0.12375, 1e-6);
    EXPECT_EQ(point3d.x, T(1.5));
    EXPECT_EQ(point3d.y, T(-2));
    EXPECT_EQ(point3d.z, T(1e6));
    EXPECT_EQ(this->host().log().count("checkin_param"), 5u);
}

TYPED_TEST(SingleCheckoutTemplates, HugeFloatValuesSaturate) {
    using T = TypeParam;
    Sim::paramValue(this->effect_, 8).u.fs_d.value = 1e300;
    T value{};
    EXPECT_EQ(checkoutFloatParam<T>(&this->in_data_, 8, value, T(1)), PF_Err_NONE);
    EXPECT_TRUE(std::isfinite(value));
}

TEST_F(SingleCheckout, FailedCheckoutStoresZerosAndReturnsTheError) {
    struct Case {
        const char* name;
        std::function<PF_Err()> call;
        std::function<bool()> zero;
    };
    int slider = 9, popup = 9;
    bool checkbox = true;
    unsigned int path = 9;
    Morvel::Color<float> color(1, 1, 1, 1);
    double angle = 9;
    Morvel::Vector2<float> point{9, 9};
    float scaled = 9;
    Morvel::Vector3<double> point3d{9, 9, 9};
    PF_InData* in = &in_data_;
    const Case cases[] = {
        {"slider", [&] { return checkoutSliderParam(in, 1, slider); }, [&] { return slider == 0; }},
        {"checkbox", [&] { return checkoutCheckboxParam(in, 2, checkbox); }, [&] { return !checkbox; }},
        {"colour", [&] { return checkoutColorParam(in, 3, color); },
         [&] { return color.alpha == 1.0f && color.red == 0 && color.green == 0 && color.blue == 0; }},
        {"popup", [&] { return checkoutPopupParam(in, 4, popup); }, [&] { return popup == 0; }},
        {"path", [&] { return checkoutPathParam(in, 5, path); }, [&] { return path == 0; }},
        {"angle", [&] { return checkoutAngleParam<double>(in, 6, angle, true); }, [&] { return angle == 0; }},
        {"point", [&] { return checkoutPointParam<float>(in, 7, point); },
         [&] { return point.x == 0 && point.y == 0; }},
        {"float", [&] { return checkoutFloatParam<float>(in, 8, scaled, 2.0f); }, [&] { return scaled == 0; }},
        {"3-D point", [&] { return checkoutPoint3DParam<double>(in, 9, point3d); },
         [&] { return point3d.x == 0 && point3d.y == 0 && point3d.z == 0; }},
    };
    for (const Case& c : cases) {
        host().faults().failCall("checkout_param", 1, PF_Err_OUT_OF_MEMORY);
        EXPECT_EQ(c.call(), PF_Err_OUT_OF_MEMORY) << c.name;
        EXPECT_TRUE(c.zero()) << c.name;
    }
    EXPECT_EQ(host().log().count("checkin_param"), 0u) << "nothing was checked out";
}

TEST_F(SingleCheckout, UnknownIndexIsAnError) {
    expectFault("checkout_param of unknown index -1");
    expectFault("checkout_param of unknown index 77");
    int value = 5;
    EXPECT_EQ(checkoutSliderParam(&in_data_, 77, value), PF_Err_INVALID_INDEX);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(checkoutSliderParam(&in_data_, -1, value), PF_Err_INVALID_INDEX);
}

}  // namespace
