#include "library/plugin/smart_renderer.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "host/sim/iterate.h"
#include "host/sim/worlds.h"
#include "support/project_fixture.h"
#include "support/raw_world.h"

namespace {

static_assert(!std::is_copy_constructible_v<Morvel::SmartRenderer>);
static_assert(std::has_virtual_destructor_v<Morvel::SmartRenderer>);

// Notes what render saw; may throw instead of rendering.
class ProbeRenderer : public Morvel::SmartRenderer {
public:
    using SmartRenderer::SmartRenderer;

    int render() override {
        rendered = true;
        threadsAtRender = threadCount;
        bpcAtRender = bpc;
        worldsAtRender = {input->world, output->world};
        Sim::Host::current().log().add("render");
        if (throws != PF_Err_NONE) throw throws;
        return result;
    }

    int32_t threads() const { return threadCount; }
    int32_t stateNow() const { return state; }
    double scaleX() const { return downsampleX; }
    double scaleY() const { return downsampleY; }
    int32_t time() const { return currentTime; }
    uint32_t scale() const { return timeScale; }

    bool rendered = false;
    int32_t threadsAtRender = 0;
    Morvel::Bpc bpcAtRender = Morvel::Bpc8;
    std::vector<PF_LayerDef*> worldsAtRender;
    PF_Err throws = PF_Err_NONE;
    int result = PF_Err_NONE;
};

class SmartRendererTest : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        input_ = host().worlds().newHostWorld(8, 6, PF_PixelFormat_ARGB64);
        output_ = host().worlds().newHostWorld(8, 6, PF_PixelFormat_ARGB64);
        effect_.inputLayer = input_;
        effect_.outputWorld = output_;
        effect_.layerCheckouts[0] = Sim::LayerCheckout{};  // layer 0, as pre-render leaves it
        renderInput_.bitdepth = 16;
        extra_.input = &renderInput_;
        extra_.cb = Sim::smartRenderCallbacks();
        in_data_.downsample_x = {1, 2};
        in_data_.downsample_y = {1, 3};
        in_data_.current_time = 20;
        in_data_.time_scale = 30;
    }
    void TearDown() override {
        effect_.inputLayer = nullptr;
        effect_.outputWorld = nullptr;
        host().worlds().drop(input_);
        host().worlds().drop(output_);
        ProjectTest::TearDown();
    }

    // Lines of the log among the given ones, in the order made.
    std::vector<std::string> logOf(const std::vector<std::string>& wanted) {
        std::vector<std::string> seen;
        for (const auto& line : host().log().lines()) {
            for (const auto& w : wanted) {
                if (line == w) seen.push_back(line);
            }
        }
        return seen;
    }

    PF_LayerDef* input_ = nullptr;
    PF_LayerDef* output_ = nullptr;
    PF_SmartRenderInput renderInput_{};
    PF_SmartRenderExtra extra_{};
};

TEST_F(SmartRendererTest, ConstructionTakesTheCallsRecords) {
    ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, true);
    EXPECT_EQ(renderer.stateNow(), 1);
    EXPECT_EQ(renderer.threads(), 1);
    EXPECT_DOUBLE_EQ(renderer.scaleX(), 0.5);
    EXPECT_DOUBLE_EQ(renderer.scaleY(), 1.0 / 3.0);
    EXPECT_EQ(renderer.time(), 20);
    EXPECT_EQ(renderer.scale(), 30u);
    EXPECT_EQ(renderer.unusedHook(), PF_Err_NONE);
    EXPECT_TRUE(host().log().lines().empty()) << "nothing is asked of the host before execute";
}

TEST_F(SmartRendererTest, NoBasicSuiteIs516) {
    in_data_.pica_basicP = nullptr;
    EXPECT_THROW(ProbeRenderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false), PF_Err);
}

TEST_F(SmartRendererTest, ExecuteGathersInOrderThenRenders) {
    host().iteration().setReportedThreads(5);
    {
        ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
        EXPECT_EQ(renderer.execute(), PF_Err_NONE);
        EXPECT_TRUE(renderer.rendered);
        EXPECT_EQ(renderer.threadsAtRender, 5);
        EXPECT_EQ(renderer.bpcAtRender, Morvel::Bpc16);
        EXPECT_EQ(renderer.worldsAtRender, (std::vector<PF_LayerDef*>{input_, output_}));
        EXPECT_EQ(host().ledger().outstanding("effect reference"), 1u) << "held until the renderer goes";
    }
    const std::vector<std::string> order = {"AEGP_GetEffectLayer",
                                            "AEGP_GetLayerParentComp",
                                            "AEGP_GetNewEffectForEffect",
                                            "checkout_layer_pixels id 0",
                                            "checkout_output",
                                            "PF_GetPixelFormat",
                                            "render",
                                            "AEGP_DisposeEffect"};
    EXPECT_EQ(logOf(order), order);
    EXPECT_EQ(host().faults().calls("AEGP_GetNumThreads"), 1);
    EXPECT_EQ(host().ledger().outstanding("effect reference"), 0u);
}

TEST_F(SmartRendererTest, ThreadCountIsAtLeastOne) {
    host().iteration().setReportedThreads(0);
    ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
    EXPECT_EQ(renderer.execute(), PF_Err_NONE);
    EXPECT_EQ(renderer.threadsAtRender, 1);
}

TEST_F(SmartRendererTest, AFailingStepSkipsTheRestAndIsReturned) {
    struct Case {
        const char* function;
        PF_Err err;
    };
    const Case cases[] = {
        {"AEGP_GetEffectLayer", PF_Err_INTERNAL_STRUCT_DAMAGED}, {"AEGP_GetLayerParentComp", PF_Err_INVALID_INDEX},
        {"AEGP_GetNewEffectForEffect", PF_Err_OUT_OF_MEMORY},    {"AEGP_GetNumThreads", PF_Err_INTERNAL_STRUCT_DAMAGED},
        {"checkout_layer_pixels", PF_Err_OUT_OF_MEMORY},         {"checkout_output", PF_Err_INVALID_CALLBACK},
        {"PF_GetPixelFormat", PF_Err_INTERNAL_STRUCT_DAMAGED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        host().faults().failCall(c.function, 1, c.err);
        {
            ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
            EXPECT_EQ(renderer.execute(), c.err);
            EXPECT_FALSE(renderer.rendered);
        }
        host().faults().clear();
        EXPECT_EQ(host().ledger().outstanding("effect reference"), 0u);
        EXPECT_EQ(host().ledger().outstanding("suite"), 0u) << host().ledger().report();
    }
}

TEST_F(SmartRendererTest, MissingSuitesThrowAndEverythingIsGivenBack) {
    const std::pair<const char*, int> suites[] = {
        {"AEGP PF Interface Suite", 1}, {"AEGP Layer Suite", 13}, {"AEGP Iterate Suite", 1}};
    for (const auto& [name, version] : suites) {
        SCOPED_TRACE(name);
        host().faults().makeSuiteMissing(name, version);
        {
            ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
            EXPECT_THROW(renderer.execute(), PF_Err);
            EXPECT_FALSE(renderer.rendered);
        }
        host().faults().clear();
        EXPECT_EQ(host().ledger().outstanding("effect reference"), 0u);
    }
    // The depth is asked through a suite of its own, reported rather than thrown.
    host().faults().makeSuiteMissing("PF World Suite", 2);
    ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
    EXPECT_EQ(renderer.execute(), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_FALSE(renderer.rendered);
}

TEST_F(SmartRendererTest, ARenderThatThrowsStillReleasesEverything) {
    {
        ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
        renderer.throws = PF_Err_BAD_CALLBACK_PARAM;
        EXPECT_THROW(renderer.execute(), PF_Err);
    }
    EXPECT_EQ(host().ledger().outstanding("effect reference"), 0u);
    EXPECT_GE(logOf({"AEGP_DisposeEffect"}).size(), 1u);
}

// The fault sweep has the host refuse the disposal and sees its code come back.
TEST_F(SmartRendererTest, AnEarlyReleaseGivesTheReferenceBackOnce) {
    {
        ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
        ASSERT_EQ(renderer.execute(), PF_Err_NONE);
        EXPECT_EQ(renderer.release(), PF_Err_NONE);
        EXPECT_EQ(host().ledger().outstanding("effect reference"), 0u);
        EXPECT_EQ(renderer.release(), PF_Err_NONE) << "nothing is left to give back";
    }
    EXPECT_EQ(logOf({"AEGP_DisposeEffect"}).size(), 1u) << "the destructor does not try again";
}

TEST_F(SmartRendererTest, RendersErrorIsExecutesResult) {
    ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
    renderer.result = PF_Err_OUT_OF_MEMORY;
    EXPECT_EQ(renderer.execute(), PF_Err_OUT_OF_MEMORY);
}

TEST_F(SmartRendererTest, DepthFollowsTheInputsFormat) {
    struct Case {
        PF_PixelFormat format;
        Morvel::Bpc bpc;
    };
    for (const Case& c : {Case{PF_PixelFormat_ARGB32, Morvel::Bpc8}, Case{PF_PixelFormat_ARGB64, Morvel::Bpc16},
                          Case{PF_PixelFormat_ARGB128, Morvel::Bpc32}}) {
        PF_LayerDef* input = host().worlds().newHostWorld(4, 4, c.format);
        effect_.inputLayer = input;
        ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
        EXPECT_EQ(renderer.execute(), PF_Err_NONE);
        EXPECT_EQ(renderer.bpcAtRender, c.bpc) << c.format;
        host().worlds().drop(input);
    }
}

TEST_F(SmartRendererTest, AnUnknownPixelFormatIsAnErrorNotAGuess) {
    RawWorld<PF_Pixel> strange(4, 4);
    strange.get()->pixel_format = 0x7A7A7A7A;
    effect_.inputLayer = strange.get();
    ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
    EXPECT_EQ(renderer.execute(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_FALSE(renderer.rendered);
}

TEST_F(SmartRendererTest, NoOutputPixelsIsNothingToDo) {
    PF_LayerDef empty{};
    effect_.outputWorld = &empty;
    ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
    EXPECT_EQ(renderer.execute(), PF_Err_NONE);
    EXPECT_FALSE(renderer.rendered);
    EXPECT_TRUE(logOf({"PF_GetPixelFormat"}).empty());
}

TEST_F(SmartRendererTest, NoInputPixelsLeavesATransparentOutput) {
    Sim::Image* out = host().worlds().hostImage(output_);
    ASSERT_NE(out, nullptr);
    for (int y = 0; y < out->height(); ++y) {
        for (int x = 0; x < out->width(); ++x) out->at<PF_Pixel16>(x, y) = PF_Pixel16{32768, 100, 200, 300};
    }
    effect_.inputLayer = nullptr;
    ProbeRenderer renderer(kPluginId, &in_data_, &out_data_, &extra_, nullptr, false);
    EXPECT_EQ(renderer.execute(), PF_Err_NONE);
    EXPECT_FALSE(renderer.rendered);
    for (int y = 0; y < out->height(); ++y) {
        for (int x = 0; x < out->width(); ++x) {
            const PF_Pixel16& p = out->at<PF_Pixel16>(x, y);
            EXPECT_EQ(p.alpha + p.red + p.green + p.blue, 0) << x << "," << y;
        }
    }
}

}  // namespace
