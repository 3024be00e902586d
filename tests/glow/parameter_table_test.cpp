#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "glow/parameter_table.h"
#include "host/sim/params.h"
#include "library/parameter/parameter.h"
#include "support/host_fixture.h"

using namespace Morvel::Plugin;
using Glow::AddFunction;
using Glow::kParamCount;
using Glow::PARAM_DEFS;

namespace {

PF_Err registerRow(PF_InData* in_data, int r) {
    const ParameterDef& row = PARAM_DEFS[r];
    const Glow::RowRegistration& how = Glow::kRowRegistration[r];
    PF_ParamDef def{};
    def.flags = PF_ParamFlag_START_COLLAPSED;
    switch (how.add) {
        case AddFunction::Layer: return addLayer(in_data, def, row);
        case AddFunction::Slider: return addSlider(in_data, def, row);
        case AddFunction::Angle: return addAngle(in_data, def, row);
        case AddFunction::Checkbox: return addCheckbox(in_data, def, row, Glow::kCheckboxLabel);
        case AddFunction::Color: return addColor(in_data, def, row);
        case AddFunction::Point: return addPoint(in_data, def, row, Glow::kMaskCenterRestrictBounds);
        case AddFunction::Popup: return addPopup(in_data, def, row, how.menu);
        case AddFunction::Float: return addFloat(in_data, def, row, how.precision);
        case AddFunction::Percent: return addPercent(in_data, def, row, how.precision);
        case AddFunction::CustomData:
            // The custom-data default belongs to the expression parameter; the record alone will do.
            def = PF_ParamDef{};
            def.param_type = PF_Param_ARBITRARY_DATA;
            def.uu.id = row.id;
            std::strcpy(def.name, row.name);
            def.ui_flags = PF_PUI_TOPIC;
            def.u.arb_d.id = static_cast<int16_t>(row.id);
            return in_data->inter.add_param(in_data->effect_ref, -1, &def);
    }
    return PF_Err_UNRECOGNIZED_PARAM_TYPE;
}

PF_Err registerGroupEntry(PF_InData* in_data, const Glow::GroupEntry& entry) {
    PF_ParamDef def{};
    def.flags = PF_ParamFlag_START_COLLAPSED;
    return entry.name ? addTopic(in_data, def, entry.id, entry.name) : addTopicEnd(in_data, def, entry.id);
}

// Parameter set-up's order: each row, preceded by the group entries placed before it.
PF_Err registerTable(PF_InData* in_data) {
    int g = 0;
    for (int r = 0; r < kParamCount; ++r) {
        for (; g < Glow::kGroupEntryCount && Glow::kGroupEntries[g].beforeRow == r; ++g) {
            if (PF_Err err = registerGroupEntry(in_data, Glow::kGroupEntries[g])) return err;
        }
        if (PF_Err err = registerRow(in_data, r)) return err;
    }
    for (; g < Glow::kGroupEntryCount; ++g) {
        if (PF_Err err = registerGroupEntry(in_data, Glow::kGroupEntries[g])) return err;
    }
    return PF_Err_NONE;
}

bool isCheckedOut(int32_t kind) { return kind >= KIND_SLIDER && kind <= KIND_COLOR; }

size_t bytesWritten(int32_t kind) {
    switch (kind) {
        case KIND_CHECKBOX: return 1;
        case KIND_SLIDER:
        case KIND_INT: return 4;
        case KIND_COLOR: return 12;
        case KIND_POINT: return 16;
        case KIND_POINT3D: return 24;
        default: return 8;
    }
}

class GlowTable : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        ASSERT_EQ(registerTable(&in_data_), PF_Err_NONE);
    }
};

TEST_F(GlowTable, EveryEntryRegistersCleanly) {
    EXPECT_EQ(effect_.registered.size(), static_cast<size_t>(Glow::HOST_PARAM_COUNT));
    EXPECT_EQ(effect_.registered.size(), 109u);
    EXPECT_EQ(host().log().count("problem:"), 0u);
    EXPECT_EQ(host().log().count("error:"), 0u);
    for (const std::string& line : host().log().lines()) {
        EXPECT_EQ(line.find("problem"), std::string::npos) << line;
    }
}

TEST_F(GlowTable, EveryIdEqualsItsPosition) {
    for (int r = 0; r < kParamCount; ++r) {
        const ParameterDef& row = PARAM_DEFS[r];
        ASSERT_LT(static_cast<size_t>(row.id), effect_.registered.size()) << row.name;
        const PF_ParamDef& registered = effect_.registered[static_cast<size_t>(row.id)];
        EXPECT_STREQ(registered.name, row.name) << "row " << r;
        EXPECT_EQ(registered.uu.id, row.id) << row.name;
    }
    std::vector<std::string> sharing89;
    for (size_t i = 1; i < effect_.registered.size(); ++i) {
        const PF_ParamDef& entry = effect_.registered[i];
        if (i == 87 || i == 98) {
            EXPECT_EQ(entry.uu.id, 89) << "position " << i;
        } else {
            EXPECT_EQ(entry.uu.id, static_cast<int32_t>(i)) << "position " << i << " " << entry.name;
        }
        if (entry.uu.id == 89) {
            EXPECT_EQ(entry.param_type, PF_Param_GROUP_START);
            sharing89.push_back(entry.name);
        }
    }
    EXPECT_EQ(sharing89, (std::vector<std::string>{"Composite", "Source Levels", "Glow Levels"}));
}

TEST_F(GlowTable, GroupsHoldTheRowsTheyShould) {
    // Expected nesting, written from the control layout rather than from the entry list.
    std::map<int, std::string> expected;
    auto span = [&](int first, int last, const char* group) {
        for (int r = first; r <= last; ++r) expected[r] = group;
    };
    span(0, 3, "");
    span(4, 19, "Blur");
    span(20, 25, "Channel Blur");
    span(26, 34, "Preprocessing");
    span(35, 45, "Preprocessing/Mask");
    span(46, 54, "Threshold");
    span(55, 65, "Toner");
    span(66, 69, "Toner/Toner Channel");
    span(70, 71, "");
    span(72, 72, "Composite");
    span(73, 77, "Composite/Source Levels");
    span(78, 79, "Composite");
    span(80, 84, "Composite/Glow Levels");
    span(85, 86, "Composite");
    span(87, 87, "");

    std::vector<std::string> open;
    std::map<int32_t, int> rowOfId;
    for (int r = 0; r < kParamCount; ++r) rowOfId[PARAM_DEFS[r].id] = r;
    for (size_t i = 1; i < effect_.registered.size(); ++i) {
        const PF_ParamDef& entry = effect_.registered[i];
        if (entry.param_type == PF_Param_GROUP_START) {
            open.push_back(entry.name);
        } else if (entry.param_type == PF_Param_GROUP_END) {
            ASSERT_FALSE(open.empty()) << "group end at " << i << " closes nothing";
            open.pop_back();
        } else {
            std::string path;
            for (const std::string& name : open) path += (path.empty() ? "" : "/") + name;
            const int r = rowOfId.at(entry.uu.id);
            EXPECT_EQ(path, expected.at(r)) << PARAM_DEFS[r].name;
        }
    }
    EXPECT_TRUE(open.empty()) << "every group is closed";
}

TEST(GlowTableRows, KindsMatchHowTheyAreRegistered) {
    const std::map<AddFunction, int32_t> kindOf = {
        {AddFunction::Layer, KIND_LAYER},   {AddFunction::Slider, KIND_INT},
        {AddFunction::Angle, KIND_ANGLE},   {AddFunction::Checkbox, KIND_CHECKBOX},
        {AddFunction::Color, KIND_COLOR},   {AddFunction::Point, KIND_POINT},
        {AddFunction::Popup, KIND_INT},     {AddFunction::Float, KIND_FLOAT},
        {AddFunction::Percent, KIND_FLOAT}, {AddFunction::CustomData, KIND_ARBITRARY},
    };
    std::map<AddFunction, int> counts;
    for (int r = 0; r < kParamCount; ++r) {
        const Glow::RowRegistration& how = Glow::kRowRegistration[r];
        EXPECT_EQ(PARAM_DEFS[r].kind, kindOf.at(how.add)) << PARAM_DEFS[r].name;
        EXPECT_EQ(how.menu != nullptr, how.add == AddFunction::Popup) << PARAM_DEFS[r].name;
        ++counts[how.add];
    }
    EXPECT_EQ(counts[AddFunction::Popup], 13);
    EXPECT_EQ(counts[AddFunction::Checkbox], 14);
    EXPECT_EQ(counts[AddFunction::Layer], 5);
    EXPECT_EQ(counts[AddFunction::Color], 8);
    EXPECT_EQ(counts[AddFunction::Float], 10);
    EXPECT_EQ(counts[AddFunction::Percent], 31);
    EXPECT_EQ(counts[AddFunction::Angle], 3);
    EXPECT_EQ(counts[AddFunction::CustomData], 2);
    EXPECT_EQ(counts[AddFunction::Slider], 1);
    EXPECT_EQ(counts[AddFunction::Point], 1);
}

TEST(GlowTableRows, UnusedBytesAreZero) {
    auto allZero = [](const void* p, size_t n) {
        const auto* bytes = static_cast<const unsigned char*>(p);
        for (size_t i = 0; i < n; ++i) {
            if (bytes[i] != 0) return false;
        }
        return true;
    };
    for (int r = 0; r < kParamCount; ++r) {
        const ParameterDef& row = PARAM_DEFS[r];
        const size_t length = std::strlen(row.name);
        ASSERT_LT(length, sizeof row.name);
        EXPECT_TRUE(allZero(row.name + length, sizeof row.name - length)) << row.name << ": zero-padded name";
        const bool ranged = row.kind == KIND_FLOAT || Glow::kRowRegistration[r].add == AddFunction::Slider;
        const bool popup = Glow::kRowRegistration[r].add == AddFunction::Popup;
        if (!ranged && !popup) {
            EXPECT_TRUE(allZero(&row.validMin, 4 * sizeof(ParameterUnionValue))) << row.name;
        }
        if (popup) {
            EXPECT_TRUE(allZero(&row.sliderMin, 2 * sizeof(ParameterUnionValue))) << row.name;
        }
        size_t used = sizeof(ParameterUnionValue);
        switch (row.kind) {
            case KIND_INT:
            case KIND_CHECKBOX:
            case KIND_LAYER: used = 4; break;
            case KIND_FLOAT:
            case KIND_ANGLE: used = 8; break;
            case KIND_COLOR: used = 12; break;
            case KIND_POINT: used = 16; break;
            case KIND_ARBITRARY: used = 0; break;
        }
        const auto* slot = reinterpret_cast<const unsigned char*>(&row.dephault);
        EXPECT_TRUE(allZero(slot + used, sizeof(ParameterUnionValue) - used)) << row.name << ": default slot tail";
    }
}

TEST(GlowTableRows, PopupsAgreeWithTheirMenus) {
    for (int r = 0; r < kParamCount; ++r) {
        const Glow::RowRegistration& how = Glow::kRowRegistration[r];
        if (how.add != AddFunction::Popup) continue;
        const ParameterDef& row = PARAM_DEFS[r];
        const int items = Sim::menuItemCount(how.menu);
        EXPECT_EQ(row.validMin.i, 1) << row.name;
        if (std::string(row.name) == "Rendering Mode") {
            EXPECT_LT(row.validMax.i, items) << "Source Only and Glow Only are not offered";
        } else {
            EXPECT_EQ(row.validMax.i, items) << row.name;
        }
        EXPECT_GE(row.dephault.i, 1) << row.name;
        EXPECT_LE(row.dephault.i, row.validMax.i) << row.name;
        EXPECT_NE(Sim::menuItem(how.menu, row.dephault.i), "(-") << row.name;
    }

    struct Case {
        int row;
        int choices;
        int items;
        const char* defaultItem;
        std::vector<int> separators;
    };
    const Case cases[] = {
        {0, 5, 8, "Final", {4, 6}},    {71, 31, 31, "Screen", {2, 8, 15, 23, 27}},
        {51, 13, 13, "Luminance", {}}, {66, 13, 13, "Luminance", {}},
        {19, 3, 3, "Mirror", {}},      {38, 4, 4, "None", {}},
        {56, 6, 6, "Monotone", {}},
    };
    for (const Case& c : cases) {
        const ParameterDef& row = PARAM_DEFS[c.row];
        const char* menu = Glow::kRowRegistration[c.row].menu;
        EXPECT_EQ(row.validMax.i, c.choices) << row.name;
        EXPECT_EQ(Sim::menuItemCount(menu), c.items) << row.name;
        EXPECT_EQ(Sim::menuItem(menu, row.dephault.i), c.defaultItem) << row.name;
        std::vector<int> separators;
        for (int item = 1; item <= c.items; ++item) {
            if (Sim::menuItem(menu, item) == "(-") separators.push_back(item);
        }
        EXPECT_EQ(separators, c.separators) << row.name;
    }
    EXPECT_EQ(Sim::menuItem(Glow::kMenuChannel, 13), "Custom");
    EXPECT_EQ(Sim::menuItem(Glow::kMenuRenderingMode, 7), "Source Only");
    EXPECT_EQ(Sim::menuItem(Glow::kMenuRenderingMode, 8), "Glow Only");
}

// A 0..1 channel after the trip through an 8-bit host colour.
float nearestByte(float channel) { return static_cast<float>(std::floor(channel * 255.0 + 0.5)) / 255.0f; }

TEST_F(GlowTable, DefaultsCheckOutAsTheTableGivesThem) {
    std::vector<ParameterUnionValue> values(kParamCount);
    std::memset(values.data(), 0, values.size() * sizeof(ParameterUnionValue));
    ASSERT_EQ(checkoutParams(&in_data_, PARAM_DEFS, kParamCount, values.data()), PF_Err_NONE);
    for (int r = 0; r < kParamCount; ++r) {
        const ParameterDef& row = PARAM_DEFS[r];
        const ParameterUnionValue& value = values[static_cast<size_t>(r)];
        switch (row.kind) {
            case KIND_INT: EXPECT_EQ(value.i, row.dephault.i) << row.name; break;
            case KIND_CHECKBOX: EXPECT_EQ(value.b, row.dephault.i != 0) << row.name; break;
            case KIND_FLOAT:  // the host keeps the default in single precision
                EXPECT_NEAR(value.d, row.dephault.d, 1e-6 * std::max(1.0, std::fabs(row.dephault.d))) << row.name;
                break;
            case KIND_ANGLE: EXPECT_EQ(value.d, row.dephault.d) << row.name; break;
            case KIND_POINT:
                EXPECT_EQ(value.point.x, std::trunc(row.dephault.point.x)) << row.name;
                EXPECT_EQ(value.point.y, std::trunc(row.dephault.point.y)) << row.name;
                break;
            case KIND_COLOR:
                EXPECT_EQ(value.color.red, nearestByte(row.dephault.color.red)) << row.name;
                EXPECT_EQ(value.color.green, nearestByte(row.dephault.color.green)) << row.name;
                EXPECT_EQ(value.color.blue, nearestByte(row.dephault.color.blue)) << row.name;
                break;
            default: break;
        }
    }
    // A few from the table itself, as a user would see them.
    EXPECT_EQ(values[0].i, 5);
    EXPECT_TRUE(values[5].b);
    EXPECT_FALSE(values[8].b);
    EXPECT_EQ(values[13].d, 30.0);
    EXPECT_NEAR(values[46].d, 70.0, 1e-9);
    EXPECT_EQ(values[71].i, 11);
    EXPECT_TRUE(values[87].b);
}

// A value per row that no other row shares (checkboxes alternate).
void setDistinctiveValue(PF_ParamDef& param, int r) {
    switch (param.param_type) {
        case PF_Param_POPUP: param.u.pd.value = 1000 + r; break;
        case PF_Param_SLIDER: param.u.sd.value = 1000 + r; break;
        case PF_Param_CHECKBOX: param.u.bd.value = r % 2; break;
        case PF_Param_FLOAT_SLIDER: param.u.fs_d.value = r + 0.125; break;
        case PF_Param_ANGLE: param.u.ad.value = r * 65536 + 16384; break;
        case PF_Param_POINT:
            param.u.td.x_value = r * 65536 + 32768;
            param.u.td.y_value = -r * 65536;
            break;
        case PF_Param_COLOR:
            param.u.cd.value = PF_Pixel{0, static_cast<uint8_t>(r), static_cast<uint8_t>(255 - r), 17};
            break;
        default: break;
    }
}

TEST_F(GlowTable, AllValuesCheckOutAtOnceEachToItsOwnRow) {
    for (int r = 0; r < kParamCount; ++r) setDistinctiveValue(Sim::paramValue(effect_, PARAM_DEFS[r].id), r);
    std::vector<ParameterUnionValue> values(kParamCount);
    std::memset(values.data(), 0x5A, values.size() * sizeof(ParameterUnionValue));
    ASSERT_EQ(checkoutParams(&in_data_, PARAM_DEFS, kParamCount, values.data()), PF_Err_NONE);

    int checkedOut = 0;
    for (int r = 0; r < kParamCount; ++r) {
        const ParameterDef& row = PARAM_DEFS[r];
        const ParameterUnionValue& value = values[static_cast<size_t>(r)];
        if (isCheckedOut(row.kind)) ++checkedOut;
        switch (row.kind) {
            case KIND_INT: EXPECT_EQ(value.i, 1000 + r) << row.name; break;
            case KIND_CHECKBOX: EXPECT_EQ(value.b, r % 2 == 1) << row.name; break;
            case KIND_FLOAT: EXPECT_EQ(value.d, r + 0.125) << row.name; break;
            case KIND_ANGLE: EXPECT_EQ(value.d, r + 0.25) << row.name; break;
            case KIND_POINT:
                EXPECT_EQ(value.point.x, r + 0.5) << row.name;
                EXPECT_EQ(value.point.y, -r) << row.name;
                break;
            case KIND_COLOR:
                EXPECT_EQ(value.color.red, r / 255.0f) << row.name;
                EXPECT_EQ(value.color.green, (255 - r) / 255.0f) << row.name;
                EXPECT_EQ(value.color.blue, 17 / 255.0f) << row.name;
                break;
            default:
                EXPECT_EQ(value.i, 0x5A5A5A5A) << row.name << ": layers and custom data are not checked out";
                break;
        }
    }
    EXPECT_EQ(checkedOut, 81);
    EXPECT_EQ(host().log().count("checkout_param"), 81u);
    EXPECT_EQ(host().log().count("checkin_param"), 81u);
    EXPECT_EQ(host().ledger().outstanding("param checkout"), 0u);
    EXPECT_TRUE(host().ledger().balanced()) << host().ledger().report();

    // The parameter array of a command gives the same values through copyParams.
    std::vector<PF_ParamDef*> params;
    for (auto& param : effect_.values) params.push_back(&param);
    std::vector<ParameterValue> copied(kParamCount);
    ASSERT_EQ(copyParams(params.data(), PARAM_DEFS, kParamCount, copied.data()), 0);
    for (int r = 0; r < kParamCount; ++r) {
        EXPECT_EQ(copied[r].id, PARAM_DEFS[r].id);
        EXPECT_EQ(copied[r].kind, PARAM_DEFS[r].kind);
        if (!isCheckedOut(PARAM_DEFS[r].kind)) continue;
        EXPECT_EQ(std::memcmp(&copied[r].value, &values[r], bytesWritten(PARAM_DEFS[r].kind)), 0) << PARAM_DEFS[r].name;
    }
}

}  // namespace
