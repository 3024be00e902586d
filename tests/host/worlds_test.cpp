#include <gtest/gtest.h>

#include "host/world_helpers.h"
#include "support/host_fixture.h"

using namespace WorldHelpers;

namespace {

class WorldSuiteTest : public HostTest {
protected:
    const PF_WorldSuite1* suite1() {
        const void* suite = nullptr;
        EXPECT_EQ(in_data_.pica_basicP->AcquireSuite(kPFWorldSuite, 1, &suite), kSPNoError);
        held_.push_back(1);
        return static_cast<const PF_WorldSuite1*>(suite);
    }
    const PF_WorldSuite2* suite2() {
        const void* suite = nullptr;
        EXPECT_EQ(in_data_.pica_basicP->AcquireSuite(kPFWorldSuite, 2, &suite), kSPNoError);
        held_.push_back(2);
        return static_cast<const PF_WorldSuite2*>(suite);
    }
    void releaseSuites() {
        for (int version : held_) in_data_.pica_basicP->ReleaseSuite(kPFWorldSuite, version);
        held_.clear();
    }
    std::vector<int> held_;
};

struct NewWorldCase {
    const char* name;
    int version;
    int32_t flags;          // version 1
    PF_PixelFormat format;  // version 2, and the format expected
    size_t pixelSize;
};

const NewWorldCase kNewWorldCases[] = {
    {"v1 8-bit", 1, PF_NewWorldFlag_CLEAR_PIXELS, PF_PixelFormat_ARGB32, 4},
    {"v1 16-bit", 1, PF_NewWorldFlag_CLEAR_PIXELS | PF_NewWorldFlag_DEEP_PIXELS, PF_PixelFormat_ARGB64, 8},
    {"v2 8-bit", 2, 0, PF_PixelFormat_ARGB32, 4},
    {"v2 16-bit", 2, 0, PF_PixelFormat_ARGB64, 8},
    {"v2 float", 2, 0, PF_PixelFormat_ARGB128, 16},
};

TEST_F(WorldSuiteTest, CreatedWorldsAreLedgeredUntilDisposedAtEveryDepth) {
    const PF_WorldSuite1* v1 = suite1();
    const PF_WorldSuite2* v2 = suite2();
    for (const NewWorldCase& c : kNewWorldCases) {
        PF_LayerDef world{};
        const PF_Err err = c.version == 1 ? v1->new_world(in_data_.effect_ref, 5, 3, c.flags, &world)
                                          : v2->PF_NewWorld(in_data_.effect_ref, 5, 3, true, c.format, &world);
        ASSERT_EQ(err, PF_Err_NONE) << c.name;
        EXPECT_EQ(world.width, 5) << c.name;
        EXPECT_EQ(world.height, 3) << c.name;
        EXPECT_EQ(world.pixel_format, c.format) << c.name;
        // Rows are padded: stepping by width x pixel size would be wrong.
        EXPECT_GT(size_t(world.rowbytes), 5 * c.pixelSize) << c.name;
        EXPECT_EQ(world.rowbytes % int32_t(c.pixelSize), 0) << c.name;
        EXPECT_EQ(host().ledger().outstanding("world"), 1u) << c.name;
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t x = 0; x < 5; ++x) EXPECT_TRUE(near(get(&world, x, y), {0, 0, 0, 0}, 0)) << c.name;
        }
        PF_PixelFormat format = PF_PixelFormat_INVALID;
        EXPECT_EQ(v2->PF_GetPixelFormat(&world, &format), PF_Err_NONE);
        EXPECT_EQ(format, c.format) << c.name;
        EXPECT_EQ(c.version == 1 ? v1->dispose_world(in_data_.effect_ref, &world)
                                 : v2->PF_DisposeWorld(in_data_.effect_ref, &world),
                  PF_Err_NONE)
            << c.name;
        EXPECT_EQ(world.data, nullptr) << c.name;
        EXPECT_EQ(host().ledger().outstanding("world"), 0u) << c.name;
    }
    releaseSuites();
}

TEST_F(WorldSuiteTest, UnclearedWorldsAreNotZero) {
    const PF_WorldSuite2* v2 = suite2();
    PF_LayerDef world{};
    ASSERT_EQ(v2->PF_NewWorld(in_data_.effect_ref, 2, 2, false, PF_PixelFormat_ARGB32, &world), PF_Err_NONE);
    EXPECT_NE(static_cast<const PF_Pixel*>(world.data)->alpha, 0);
    EXPECT_EQ(v2->PF_DisposeWorld(in_data_.effect_ref, &world), PF_Err_NONE);
    releaseSuites();
}

TEST_F(WorldSuiteTest, BadRequestsAreRefusedAndLeaveNothingHeld) {
    expectFault("error: ");
    const PF_WorldSuite1* v1 = suite1();
    const PF_WorldSuite2* v2 = suite2();
    PF_LayerDef world{};
    struct Case {
        const char* name;
        PF_Err got;
        PF_Err want;
    };
    const Case cases[] = {
        {"negative width", v2->PF_NewWorld(in_data_.effect_ref, -1, 4, true, PF_PixelFormat_ARGB32, &world),
         PF_Err_BAD_CALLBACK_PARAM},
        {"unknown format", v2->PF_NewWorld(in_data_.effect_ref, 4, 4, true, PF_PixelFormat_INVALID, &world),
         PF_Err_BAD_CALLBACK_PARAM},
        {"null record", v2->PF_NewWorld(in_data_.effect_ref, 4, 4, true, PF_PixelFormat_ARGB32, nullptr),
         PF_Err_BAD_CALLBACK_PARAM},
        {"null effect", v2->PF_NewWorld(nullptr, 4, 4, true, PF_PixelFormat_ARGB32, &world), PF_Err_BAD_CALLBACK_PARAM},
        {"absurd size", v2->PF_NewWorld(in_data_.effect_ref, 30000, 30000, true, PF_PixelFormat_ARGB128, &world),
         PF_Err_OUT_OF_MEMORY},
        {"too wide", v1->new_world(in_data_.effect_ref, 30001, 1, 0, &world), PF_Err_OUT_OF_MEMORY},
        {"unknown flags", v1->new_world(in_data_.effect_ref, 4, 4, 8, &world), PF_Err_BAD_CALLBACK_PARAM},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
    EXPECT_EQ(world.data, nullptr);
    EXPECT_EQ(host().ledger().outstanding("world"), 0u);
    releaseSuites();
}

TEST_F(WorldSuiteTest, DisposingTwiceOrDisposingAHostWorldIsRefused) {
    expectFault("dispose of a null world");
    expectFault("dispose of a world the host did not create for the effect");
    const PF_WorldSuite1* v1 = suite1();
    PF_LayerDef world{};
    ASSERT_EQ(v1->new_world(in_data_.effect_ref, 2, 2, 0, &world), PF_Err_NONE);
    PF_LayerDef copy = world;
    EXPECT_EQ(v1->dispose_world(in_data_.effect_ref, &world), PF_Err_NONE);
    EXPECT_EQ(v1->dispose_world(in_data_.effect_ref, &world), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(v1->dispose_world(in_data_.effect_ref, &copy), PF_Err_BAD_CALLBACK_PARAM);
    PF_LayerDef* layer = hostWorld(host(), 2, 2, PF_PixelFormat_ARGB32);
    PF_LayerDef layerCopy = *layer;
    EXPECT_EQ(v1->dispose_world(in_data_.effect_ref, &layerCopy), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(host().log().contains("did not create for the effect"));
    releaseSuites();
}

TEST_F(WorldSuiteTest, PlannedFailuresCreateNothing) {
    const PF_WorldSuite2* v2 = suite2();
    host().faults().failCall("PF_NewWorld", 1, PF_Err_OUT_OF_MEMORY);
    PF_LayerDef world{};
    EXPECT_EQ(v2->PF_NewWorld(in_data_.effect_ref, 2, 2, true, PF_PixelFormat_ARGB32, &world), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(world.data, nullptr);
    EXPECT_EQ(host().ledger().outstanding("world"), 0u);
    releaseSuites();
}

TEST_F(WorldSuiteTest, PixelFormatOfARecordTheHostDoesNotKnowIsTheRecordsOwn) {
    const PF_WorldSuite2* v2 = suite2();
    PF_LayerDef odd{};
    odd.pixel_format = MORVEL_FOURCC('x', 'y', 'z', 'w');
    PF_PixelFormat format = PF_PixelFormat_INVALID;
    EXPECT_EQ(v2->PF_GetPixelFormat(&odd, &format), PF_Err_NONE);
    EXPECT_EQ(format, odd.pixel_format);
    EXPECT_EQ(v2->PF_GetPixelFormat(nullptr, &format), PF_Err_BAD_CALLBACK_PARAM);
    releaseSuites();
}

// ---------------------------------------------------------------- smart render

class SmartRenderTest : public HostTest {
protected:
    PF_Err checkoutLayer(int32_t index, int32_t id, PF_LRect want, PF_CheckoutResult* result) {
        PF_RenderRequest request{};
        request.rect = want;
        return Sim::preRenderCallbacks()->checkout_layer(in_data_.effect_ref, index, id, &request, 0, 1, 30, result);
    }
};

TEST_F(SmartRenderTest, InputPixelsFollowThePreRenderCheckout) {
    expectFault("checkout_layer_pixels: id 4 was not checked out at pre-render");
    effect_.inputLayer = hostWorld(host(), 8, 6, PF_PixelFormat_ARGB64);
    PF_CheckoutResult result{};
    ASSERT_EQ(checkoutLayer(0, 3, {-2, 1, 5, 20}, &result), PF_Err_NONE);
    EXPECT_EQ(result.result_rect.left, 0);
    EXPECT_EQ(result.result_rect.top, 1);
    EXPECT_EQ(result.result_rect.right, 5);
    EXPECT_EQ(result.result_rect.bottom, 6);
    EXPECT_EQ(result.max_result_rect.right, 8);
    EXPECT_EQ(result.ref_height, 6);

    PF_SmartRenderCallbacks* cb = Sim::smartRenderCallbacks();
    PF_LayerDef* pixels = nullptr;
    EXPECT_EQ(cb->checkout_layer_pixels(in_data_.effect_ref, 3, &pixels), PF_Err_NONE);
    EXPECT_EQ(pixels, effect_.inputLayer);
    EXPECT_EQ(cb->checkout_layer_pixels(in_data_.effect_ref, 4, &pixels), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(cb->checkin_layer_pixels(in_data_.effect_ref, 3), PF_Err_NONE);
}

TEST_F(SmartRenderTest, LayerParametersAndBadIndices) {
    expectFault("checkout_layer: bad arguments");
    expectFault("checkout_layer: parameter 2 is not a layer");
    expectFault("checkout_layer: parameter 9 is not a layer");
    PF_ParamDef layer{};
    layer.param_type = PF_Param_LAYER;
    PF_ParamDef slider{};
    slider.param_type = PF_Param_SLIDER;
    effect_.values = {PF_ParamDef{}, layer, slider};
    PF_CheckoutResult result{};
    // An empty layer parameter checks out with no pixels.
    ASSERT_EQ(checkoutLayer(1, 0, {0, 0, 10, 10}, &result), PF_Err_NONE);
    EXPECT_EQ(result.result_rect.right, 0);
    PF_LayerDef* pixels = effect_.outputWorld;
    EXPECT_EQ(Sim::smartRenderCallbacks()->checkout_layer_pixels(in_data_.effect_ref, 0, &pixels), PF_Err_NONE);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(checkoutLayer(2, 1, {0, 0, 1, 1}, &result), PF_Err_INVALID_INDEX);
    EXPECT_EQ(checkoutLayer(9, 1, {0, 0, 1, 1}, &result), PF_Err_INVALID_INDEX);
    EXPECT_EQ(Sim::preRenderCallbacks()->checkout_layer(in_data_.effect_ref, 0, 0, nullptr, 0, 1, 30, &result),
              PF_Err_BAD_CALLBACK_PARAM);
}

TEST_F(SmartRenderTest, OutputIsTheInstancesOutputWorld) {
    expectFault("checkout_output: the effect instance has no output world");
    PF_LayerDef* output = nullptr;
    PF_SmartRenderCallbacks* cb = Sim::smartRenderCallbacks();
    EXPECT_EQ(cb->checkout_output(in_data_.effect_ref, &output), PF_Err_BAD_CALLBACK_PARAM);
    effect_.outputWorld = hostWorld(host(), 4, 4, PF_PixelFormat_ARGB128);
    EXPECT_EQ(cb->checkout_output(in_data_.effect_ref, &output), PF_Err_NONE);
    EXPECT_EQ(output, effect_.outputWorld);
    EXPECT_EQ(cb->checkout_output(in_data_.effect_ref, nullptr), PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
