#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/sim/frame.h"
#include "host/sim/iterate.h"
#include "host/sim/plugin.h"
#include "support/plugin_fixture.h"

namespace {

// The diffusion loaded from its file.
class DiffusionFrameTest : public PluginHostTest {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        load("MorvelDiffusion");
        start(Setup::Global);
    }
};

TEST_F(DiffusionFrameTest, RegistrationStopsAtAFailingEntryAndStillCountsThirtyThree) {
    host().faults().failCall("add_param", 10, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(instance().paramSetup(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(instance().lastOut().num_params, 33);
    EXPECT_EQ(host().log().count("add_param"), 9u) << "the tenth call failed, none followed";
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
}

// Until the blur is in, the diffusion layer is the layer with its alpha thresholded; over a
// uniform opaque layer in Normal mode it changes nothing.
TEST_F(DiffusionFrameTest, ThreadedRendersOfAUniformLayerStayUniformAtEveryDepthAndDownsample) {
    host().iteration().setProcessors(4);
    ASSERT_EQ(instance().paramSetup(), PF_Err_NONE);
    instance().placeOnLayer(AEGP_ObjectType_AV, 30, 20);
    Sim::Image& layer = *host().worlds().hostImage(instance().effect().inputLayer);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 30; ++x) layer.at<PF_Pixel>(x, y) = PF_Pixel{255, 230, 200, 120};
    }
    for (int depth : {8, 16, 32}) {
        for (int den : {1, 2}) {
            SCOPED_TRACE(std::to_string(depth) + " bits at 1/" + std::to_string(den));
            Sim::FrameRequest request;
            request.depth = depth;
            request.downsampleX = request.downsampleY = PF_RationalScale{1, uint32_t(den)};
            const Sim::FrameResult frame = instance().renderFrame(request);
            ASSERT_EQ(frame.err(), PF_Err_NONE);
            ASSERT_EQ(frame.output.width(), 30 / den);
            ASSERT_EQ(frame.output.height(), 20 / den);
            const double step = depth == 8 ? 1.0 / 255 : depth == 16 ? 1.0 / 32768 : 1e-6;
            for (int y = 0; y < frame.output.height(); ++y) {
                for (int x = 0; x < frame.output.width(); ++x) {
                    const Sim::Unit got = Sim::withPixelType(frame.output.format(), [&](auto tag) {
                        return Sim::toUnit(frame.output.at<typename decltype(tag)::type>(x, y));
                    });
                    ASSERT_NEAR(got.alpha, 1.0, step) << x << "," << y;
                    ASSERT_NEAR(got.red, 230 / 255.0, 1.0 / 255) << x << "," << y;
                    ASSERT_NEAR(got.green, 200 / 255.0, 1.0 / 255) << x << "," << y;
                    ASSERT_NEAR(got.blue, 120 / 255.0, 1.0 / 255) << x << "," << y;
                }
            }
            EXPECT_EQ(frame.deletes, 1);
            EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
        }
    }
}

TEST_F(DiffusionFrameTest, AMissingIterationSuiteIsTheRendersErrorAndLeavesNothing) {
    ASSERT_EQ(instance().paramSetup(), PF_Err_NONE);
    instance().placeOnLayer(AEGP_ObjectType_AV, 12, 12);
    host().faults().makeSuiteMissing(kPFIterate8Suite, kPFIterate8SuiteVersion1);
    for (int depth : {8, 16, 32}) {
        Sim::FrameRequest request;
        request.depth = depth;
        const Sim::FrameResult frame = instance().renderFrame(request);
        EXPECT_EQ(frame.renderErr, PF_Err_BAD_CALLBACK_PARAM) << depth;
        EXPECT_EQ(frame.deletes, 1) << depth;
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }
}

}  // namespace
