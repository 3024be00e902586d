#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/params.h"
#include "library/parameter/parameter.h"
#include "support/host_fixture.h"

namespace {

class GrayOut : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        for (int id = 1; id <= 2; ++id) {
            PF_ParamDef def{};
            def.param_type = PF_Param_CHECKBOX;
            def.uu.id = id;
            def.ui_flags = PF_PUI_TOPIC | PF_PUI_INVISIBLE;
            std::strcpy(def.name, "Box");
            ASSERT_EQ(in_data_.inter.add_param(&effect_, -1, &def), PF_Err_NONE);
        }
        // The parameter array a command receives: the host's current records.
        for (auto& value : effect_.values) params_.push_back(&value);
    }

    int32_t registeredFlags(int index) const { return effect_.registered[static_cast<size_t>(index)].ui_flags; }

    std::vector<PF_ParamDef*> params_;
};

TEST_F(GrayOut, SendsOneUpdatePerCallAndTouchesOnlyTheDisabledBit) {
    struct Step {
        bool gray;
        int32_t expectedFlags;
    };
    const Step steps[] = {
        {true, PF_PUI_TOPIC | PF_PUI_INVISIBLE | PF_PUI_DISABLED},
        {true, PF_PUI_TOPIC | PF_PUI_INVISIBLE | PF_PUI_DISABLED},
        {false, PF_PUI_TOPIC | PF_PUI_INVISIBLE},
        {false, PF_PUI_TOPIC | PF_PUI_INVISIBLE},
    };
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    size_t sent = 0;
    for (const Step& step : steps) {
        EXPECT_EQ(Morvel::grayOutParameter(&in_data_, suites, params_.data(), 2, step.gray), PF_Err_NONE);
        EXPECT_EQ(host().log().count("PF_UpdateParamUI"), ++sent) << "an update on every call";
        EXPECT_EQ(registeredFlags(2), step.expectedFlags);
        EXPECT_EQ(registeredFlags(1), PF_PUI_TOPIC | PF_PUI_INVISIBLE) << "other parameters untouched";
    }
    EXPECT_EQ(params_[2]->ui_flags, PF_PUI_TOPIC | PF_PUI_INVISIBLE) << "the caller's record is not changed";
}

// Captures exactly what the effect hands to the suite.
struct Captured {
    int32_t index = -1;
    PF_ParamDef def{};
    int calls = 0;
} captured;

PF_Err captureUpdate(PF_ProgPtr, int32_t index, const PF_ParamDef* def) {
    captured.index = index;
    captured.def = *def;
    ++captured.calls;
    return PF_Err_NONE;
}

const PF_ParamUtilsSuite2 kCapturingSuite = {captureUpdate};

TEST_F(GrayOut, TheSentRecordIsTheParameterWithOnlyTheBitChanged) {
    host().addSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2, &kCapturingSuite);
    captured = Captured{};
    PF_ParamDef& original = *params_[1];
    original.u.bd.value = 1;
    original.flags = PF_ParamFlag_SUPERVISE;
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    ASSERT_EQ(Morvel::grayOutParameter(&in_data_, suites, params_.data(), 1, true), PF_Err_NONE);
    EXPECT_EQ(captured.calls, 1);
    EXPECT_EQ(captured.index, 1);
    PF_ParamDef expected = original;
    expected.ui_flags |= PF_PUI_DISABLED;
    EXPECT_EQ(std::memcmp(&captured.def, &expected, sizeof expected), 0);
}

TEST_F(GrayOut, SuiteErrorIsReturned) {
    host().faults().failCall("PF_UpdateParamUI", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    EXPECT_EQ(Morvel::grayOutParameter(&in_data_, suites, params_.data(), 1, true), PF_Err_INTERNAL_STRUCT_DAMAGED);
}

TEST_F(GrayOut, MissingSuiteRaises516) {
    host().faults().makeSuiteMissing(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    try {
        Morvel::grayOutParameter(&in_data_, suites, params_.data(), 1, true);
        ADD_FAILURE() << "no error raised";
    } catch (PF_Err err) {
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    }
}

}  // namespace
