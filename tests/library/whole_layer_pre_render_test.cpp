#include "library/plugin/whole_layer_pre_render.h"

#include <gtest/gtest.h>

#include "host/sim/worlds.h"
#include "support/host_fixture.h"

using Morvel::Plugin::ParameterDef;

namespace {

class WholeLayerPreRenderTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        rows_[0].id = 1;
        rows_[0].kind = Morvel::Plugin::KIND_CHECKBOX;
        extra_ = PF_PreRenderExtra{&input_, &output_, Sim::preRenderCallbacks()};
    }

    ParameterDef rows_[1]{};
    PF_PreRenderInput input_{};
    PF_PreRenderOutput output_{};
    PF_PreRenderExtra extra_{};
};

// What the host could hand over wrongly is refused before anything is made.
TEST_F(WholeLayerPreRenderTest, UnusableArgumentsAreRefusedUpFront) {
    struct Case {
        const char* name;
        int count;
        int growBoundsRow;
        uint32_t denominator;
    };
    for (const Case& c : {Case{"no rows", 0, 0, 1}, Case{"grow-bounds row outside", 1, 1, 1},
                          Case{"negative grow-bounds row", 1, -1, 1}, Case{"zero downsample", 1, 0, 0}}) {
        SCOPED_TRACE(c.name);
        in_data_.downsample_y = {1, c.denominator};
        EXPECT_EQ(Morvel::Plugin::preRenderWholeLayer(&in_data_, &extra_, rows_, c.count, c.growBoundsRow),
                  PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(output_.pre_render_data, nullptr);
        EXPECT_TRUE(host().log().lines().empty());
    }
    EXPECT_EQ(Morvel::Plugin::preRenderWholeLayer(&in_data_, nullptr, rows_, 1, 0), PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
