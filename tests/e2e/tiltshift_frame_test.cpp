#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/sim/frame.h"
#include "host/sim/plugin.h"
#include "support/plugin_fixture.h"

namespace {

// The tilt-shift loaded from its file.
class TiltShiftFrameTest : public PluginHostTest {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        load("MorvelTiltShift");
        start(Setup::Global);
    }
};

TEST_F(TiltShiftFrameTest, RegistrationStopsAtAFailingRowAndStillCountsEighteen) {
    host().faults().failCall("add_param", 5, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(instance().paramSetup(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(instance().lastOut().num_params, 18);
    EXPECT_EQ(host().log().count("add_param"), 4u) << "the fifth call failed, none followed";
    EXPECT_EQ(host().log().count("register_ui"), 0u);
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

// A layer that lies wholly inside the default focus area is not blurred: every output pixel is
// the layer's pixel at the same place.
TEST_F(TiltShiftFrameTest, AFrameAtEightBitsIsTheLayerWhereverTheOutputLies) {
    ASSERT_EQ(instance().paramSetup(), PF_Err_NONE);
    instance().placeOnLayer(AEGP_ObjectType_AV, 24, 16);
    Sim::Image& layer = *host().worlds().hostImage(instance().effect().inputLayer);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 24; ++x) layer.at<PF_Pixel>(x, y) = PF_Pixel{255, uint8_t(x * 10), uint8_t(y * 15), 77};
    }
    for (const PF_LRect rect : {PF_LRect{0, 0, 24, 16}, PF_LRect{5, 3, 17, 11}, PF_LRect{-4, -4, 8, 30}}) {
        Sim::FrameRequest request;
        request.rect = rect;
        const Sim::FrameResult frame = instance().renderFrame(request);
        ASSERT_EQ(frame.err(), PF_Err_NONE);
        ASSERT_TRUE(frame.rendered);
        EXPECT_EQ(frame.deletes, 1);
        EXPECT_EQ(host().ledger().outstanding("pre-render data"), 0u);
        const int left = frame.outputRect.left;
        const int top = frame.outputRect.top;
        for (int y = 0; y < frame.output.height(); ++y) {
            for (int x = 0; x < frame.output.width(); ++x) {
                const PF_Pixel& got = frame.output.at<PF_Pixel>(x, y);
                const PF_Pixel& want = layer.at<PF_Pixel>(x + left, y + top);
                ASSERT_TRUE(got.alpha == want.alpha && got.red == want.red && got.green == want.green &&
                            got.blue == want.blue)
                    << "at " << x + left << "," << y + top;
            }
        }
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }
}

}  // namespace
