#include "library/world/world.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/worlds.h"
#include "support/host_fixture.h"

using Morvel::BlendingMode;
using Morvel::World;

namespace {

class WorldTest : public SuitesHostTest {
protected:
    std::shared_ptr<World> hostWorld(int32_t width, int32_t height, PF_PixelFormat format) {
        return std::make_shared<World>(host().worlds().newHostWorld(width, height, format));
    }
    // The last line the host logged for a call, or empty.
    std::string lastLine(const std::string& prefix) {
        std::string found;
        for (const std::string& line : host().log().lines()) {
            if (line.rfind(prefix, 0) == 0) found = line;
        }
        return found;
    }
};

// ---------------------------------------------------------------- blend

struct ModeCase {
    int32_t mode;
    int32_t xfer;
};

// Blending mode to host transfer mode, as the effects' menus need them.
const ModeCase kModeCases[] = {
    {-2, 2},  {-1, -1}, {0, 2},   {1, 3},   {2, 4},   {3, 5},   {4, 6},   {5, 7},   {6, 8},
    {7, 9},   {8, 27},  {9, 28},  {10, 10}, {11, 11}, {12, 26}, {13, 25}, {14, 13}, {15, 14},
    {16, 16}, {17, 22}, {18, 30}, {19, 24}, {20, 29}, {21, 23}, {22, 31}, {23, 32}, {24, 33},
    {25, 34}, {26, 12}, {27, 15}, {28, 17}, {29, 18}, {30, 19}, {31, 20}, {32, 2},  {1000, 2},
};

TEST_F(WorldTest, BlendPassesTheTransferModeOfTheTableAndFullOpacity) {
    auto source = hostWorld(3, 2, PF_PixelFormat_ARGB32);
    auto destination = hostWorld(3, 2, PF_PixelFormat_ARGB32);
    for (const ModeCase& c : kModeCases) {
        EXPECT_EQ(Morvel::blend(&in_data_, source, destination, Morvel::Bpc8, static_cast<BlendingMode>(c.mode)),
                  PF_Err_NONE)
            << "mode " << c.mode;
        EXPECT_EQ(lastLine("transfer_rect"), "transfer_rect xfer " + std::to_string(c.xfer) +
                                                 " opacity 255 opacitySu 32768 rgb_only 0 seed 0 rect (0,0,3,2) at 0,0"
                                                 " quality 1 flags 1 field 0")
            << "mode " << c.mode;
    }
}

struct OpacityCase {
    const char* name;
    double opacity;
    int opacity8;
    int opacity16;
};

const OpacityCase kOpacityCases[] = {
    {"half", 0.5, 127, 16384},
    {"full", 1.0, 255, 32768},
    {"none", 0.0, 0, 0},
    {"above one is clamped", 1.5, 255, 32768},
    {"far above one", 300.0, 255, 32768},
    {"below zero is clamped", -0.3, 0, 0},
    {"not a number", std::numeric_limits<double>::quiet_NaN(), 0, 0},
};

TEST_F(WorldTest, BlendOpacityIsClampedAndCutToEightAndSixteenBits) {
    auto source = hostWorld(2, 2, PF_PixelFormat_ARGB64);
    auto destination = hostWorld(4, 4, PF_PixelFormat_ARGB64);
    for (const OpacityCase& c : kOpacityCases) {
        EXPECT_EQ(Morvel::blend(&in_data_, source, destination, Morvel::Bpc16, {1, 0, 2, 1}, {2, 3},
                                BlendingMode::Screen, c.opacity, true),
                  PF_Err_NONE)
            << c.name;
        EXPECT_EQ(lastLine("transfer_rect"), "transfer_rect xfer 6 opacity " + std::to_string(c.opacity8) +
                                                 " opacitySu " + std::to_string(c.opacity16) +
                                                 " rgb_only 1 seed 0 rect (1,0,2,1) at 2,3 quality 1 flags 1 field 0")
            << c.name;
    }
}

TEST_F(WorldTest, BlendOfARectangleLandsAtTheOffset) {
    auto source = hostWorld(2, 2, PF_PixelFormat_ARGB128);
    auto destination = hostWorld(3, 3, PF_PixelFormat_ARGB128);
    auto* pixels = static_cast<PF_PixelFloat*>(source->world->data);
    pixels[1] = {1, 0.25f, 0.5f, 0.75f};  // (1, 0)
    ASSERT_EQ(Morvel::blend(&in_data_, source, destination, Morvel::Bpc32, {1, 0, 2, 1}, {0, 2}, BlendingMode::Normal,
                            1.0, false),
              PF_Err_NONE);
    const auto* row2 = reinterpret_cast<const PF_PixelFloat*>(static_cast<const char*>(destination->world->data) +
                                                              2 * destination->world->rowbytes);
    EXPECT_FLOAT_EQ(row2[0].green, 0.5f);
    EXPECT_FLOAT_EQ(row2[0].alpha, 1.0f);
    EXPECT_FLOAT_EQ(row2[1].alpha, 0.0f);
}

TEST_F(WorldTest, BlendOfAnEmptySourcePassesAnEmptyRectangleAndTheHostRefusesIt) {
    expectFault("transfer_rect source: null world");
    auto empty = std::make_shared<World>();
    auto destination = hostWorld(2, 2, PF_PixelFormat_ARGB32);
    EXPECT_EQ(Morvel::blend(&in_data_, empty, destination, Morvel::Bpc8, BlendingMode::Add), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_NE(lastLine("transfer_rect").find("rect (0,0,0,0)"), std::string::npos);
}

// ---------------------------------------------------------------- creation

struct DepthCase {
    const char* name;
    Morvel::Bpc bpc;
    PF_PixelFormat format;
    const char* newCall;
    const char* disposeCall;
};

const DepthCase kDepthCases[] = {
    {"8-bit", Morvel::Bpc8, PF_PixelFormat_ARGB32, "new_world", "dispose_world"},
    {"16-bit", Morvel::Bpc16, PF_PixelFormat_ARGB64, "new_world", "dispose_world"},
    {"float", Morvel::Bpc32, PF_PixelFormat_ARGB128, "PF_NewWorld", "PF_DisposeWorld"},
};

TEST_F(WorldTest, CreatedWorldsAreDisposedWhenTheLastHolderGoes) {
    for (const DepthCase& c : kDepthCases) {
        std::shared_ptr<World> world;
        ASSERT_EQ(Morvel::createWorld(&in_data_, &out_data_, suites(), c.bpc, 7, 5, true, world), PF_Err_NONE)
            << c.name;
        ASSERT_TRUE(world && world->world && world->world->data) << c.name;
        EXPECT_EQ(world->world->width, 7) << c.name;
        EXPECT_EQ(world->world->height, 5) << c.name;
        EXPECT_EQ(world->world->pixel_format, c.format) << c.name;
        EXPECT_EQ(host().ledger().outstanding("world"), 1u) << c.name;
        std::shared_ptr<World> second = world;
        world.reset();
        EXPECT_EQ(host().ledger().outstanding("world"), 1u) << c.name;
        second.reset();
        EXPECT_EQ(host().ledger().outstanding("world"), 0u) << c.name;
        EXPECT_EQ(host().log().count(c.disposeCall), 1u) << c.name;
        host().log().clear();
    }
}

TEST_F(WorldTest, ASecondInitDoesNothing) {
    for (const DepthCase& c : kDepthCases) {
        Morvel::NewWorld world(&in_data_, &out_data_, suites());
        ASSERT_EQ(world.init(c.bpc, 4, 4, true), PF_Err_NONE) << c.name;
        PF_LayerDef* first = world.world;
        void* pixels = first->data;
        EXPECT_EQ(world.init(Morvel::Bpc8, 9, 9, false), PF_Err_NONE) << c.name;
        EXPECT_EQ(world.world, first) << c.name;
        EXPECT_EQ(world.world->data, pixels) << c.name;
        EXPECT_EQ(world.bpc(), c.bpc) << c.name;
        EXPECT_EQ(host().log().count(c.newCall), 1u) << c.name;
        host().log().clear();
    }
}

TEST_F(WorldTest, AFailedCreationLeavesOutAloneAndIsNeverDisposed) {
    expectFault("new world: refused absurd size 100000x100000 ae32");
    for (const DepthCase& c : kDepthCases) {
        host().faults().failCall(c.newCall, 1, PF_Err_OUT_OF_MEMORY);
        auto previous = std::make_shared<World>();
        std::shared_ptr<World> out = previous;
        EXPECT_EQ(Morvel::createWorld(&in_data_, &out_data_, suites(), c.bpc, 4, 4, true, out), PF_Err_OUT_OF_MEMORY)
            << c.name;
        EXPECT_EQ(out, previous) << c.name;
        EXPECT_EQ(host().log().count(c.disposeCall), 0u) << c.name;
    }
    // The host refuses an absurd size the same way.
    std::shared_ptr<World> out;
    EXPECT_EQ(Morvel::createWorld(&in_data_, &out_data_, suites(), Morvel::Bpc32, 100000, 100000, false, out),
              PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(out, nullptr);
}

TEST_F(WorldTest, ADepthOutsideTheThreeCreatesAnEmptyWorld) {
    std::shared_ptr<World> out;
    EXPECT_EQ(Morvel::createWorld(&in_data_, &out_data_, suites(), static_cast<Morvel::Bpc>(3), 4, 4, true, out),
              PF_Err_NONE);
    ASSERT_NE(out, nullptr);
    ASSERT_NE(out->world, nullptr);
    EXPECT_EQ(out->world->data, nullptr);
    EXPECT_EQ(host().log().count("new_world") + host().log().count("PF_NewWorld"), 0u);
}

TEST_F(WorldTest, AFloatWorldWithoutItsSuiteReportsTheLoadMessage) {
    host().faults().makeSuiteMissing(kPFWorldSuite, 2);
    std::shared_ptr<World> out;
    EXPECT_EQ(Morvel::createWorld(&in_data_, &out_data_, suites(), Morvel::Bpc32, 4, 4, true, out),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(out, nullptr);
    EXPECT_NE(out_data_.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    EXPECT_STREQ(out_data_.return_msg, "Couldn't load suite.");
}

// A world kept past the command's suite handler still gives its pixels back properly.
TEST_F(WorldTest, AWorldMayOutliveTheHandlerThatCreatedIt) {
    for (const DepthCase& c : kDepthCases) {
        std::shared_ptr<World> kept;
        {
            AEGP_SuiteHandler commandSuites(in_data_.pica_basicP);
            ASSERT_EQ(Morvel::createWorld(&in_data_, &out_data_, commandSuites, c.bpc, 3, 3, false, kept), PF_Err_NONE)
                << c.name;
        }
        EXPECT_EQ(host().ledger().outstanding("world"), 1u) << c.name;
        kept.reset();
        EXPECT_EQ(host().ledger().outstanding("world"), 0u) << c.name;
        EXPECT_EQ(host().ledger().badReleases(), 0u) << c.name;
        EXPECT_EQ(host().log().count(c.disposeCall), 1u) << c.name;
        host().log().clear();
    }
}

// Without a hold on the suite that would dispose it, a new world is given back at once.
TEST_F(WorldTest, AWorldThatCouldNotBeHeldIsGivenBackAtOnce) {
    for (const DepthCase& c : kDepthCases) {
        // The handler's or the helper's acquisition comes first, the world's own hold second.
        AEGP_SuiteHandler commandSuites(in_data_.pica_basicP);
        host().faults().failCall("AcquireSuite", 2, PF_Err_OUT_OF_MEMORY);
        std::shared_ptr<World> out;
        EXPECT_EQ(Morvel::createWorld(&in_data_, &out_data_, commandSuites, c.bpc, 3, 3, false, out),
                  PF_Err_BAD_CALLBACK_PARAM)
            << c.name;
        EXPECT_EQ(out, nullptr) << c.name;
        EXPECT_EQ(host().ledger().outstanding("world"), 0u) << c.name;
        EXPECT_EQ(host().log().count(c.disposeCall), 1u) << c.name;
        host().log().clear();
    }
}

TEST_F(WorldTest, CloneConvertsAnEightBitWorldToFloat) {
    auto source = hostWorld(100, 50, PF_PixelFormat_ARGB32);
    for (int32_t y = 0; y < 50; ++y) {
        auto* row = reinterpret_cast<PF_Pixel*>(static_cast<char*>(source->world->data) + y * source->world->rowbytes);
        for (int32_t x = 0; x < 100; ++x) row[x] = {uint8_t(255 - x), uint8_t(x), uint8_t(y * 5), uint8_t(x + y)};
    }
    std::shared_ptr<World> clone;
    ASSERT_EQ(Morvel::cloneWorld(&in_data_, &out_data_, suites(), Morvel::Bpc32, source, clone), PF_Err_NONE);
    ASSERT_NE(clone, nullptr);
    ASSERT_EQ(clone->world->width, 100);
    ASSERT_EQ(clone->world->height, 50);
    Morvel::Bpc bpc = Morvel::Bpc8;
    ASSERT_EQ(Morvel::getBpc(&in_data_, &out_data_, clone->world, &bpc), PF_Err_NONE);
    EXPECT_EQ(bpc, Morvel::Bpc32);
    for (int32_t y = 0; y < 50; ++y) {
        const auto* row = reinterpret_cast<const PF_PixelFloat*>(static_cast<const char*>(clone->world->data) +
                                                                 y * clone->world->rowbytes);
        for (int32_t x = 0; x < 100; ++x) {
            ASSERT_FLOAT_EQ(row[x].alpha, (255 - x) / 255.0f) << x << "," << y;
            ASSERT_FLOAT_EQ(row[x].red, x / 255.0f) << x << "," << y;
            ASSERT_FLOAT_EQ(row[x].green, (y * 5) / 255.0f) << x << "," << y;
            ASSERT_FLOAT_EQ(row[x].blue, (x + y) / 255.0f) << x << "," << y;
        }
    }
}

// ---------------------------------------------------------------- bit depth

TEST_F(WorldTest, BitDepthFollowsThePixelFormat) {
    struct Case {
        const char* name;
        PF_PixelFormat format;
        Morvel::Bpc expected;
    };
    const Case cases[] = {
        {"argb", PF_PixelFormat_ARGB32, Morvel::Bpc8},
        {"ae16", PF_PixelFormat_ARGB64, Morvel::Bpc16},
        {"ae32", PF_PixelFormat_ARGB128, Morvel::Bpc32},
    };
    for (const Case& c : cases) {
        PF_LayerDef* world = host().worlds().newHostWorld(1, 1, c.format);
        Morvel::Bpc bpc = static_cast<Morvel::Bpc>(7);
        EXPECT_EQ(Morvel::getBpc(&in_data_, &out_data_, world, &bpc), PF_Err_NONE) << c.name;
        EXPECT_EQ(bpc, c.expected) << c.name;
    }
    PF_LayerDef odd{};
    odd.pixel_format = MORVEL_FOURCC('r', 'g', 'b', 'a');
    Morvel::Bpc bpc = Morvel::Bpc16;
    EXPECT_EQ(Morvel::getBpc(&in_data_, &out_data_, &odd, &bpc), PF_Err_NONE);
    EXPECT_EQ(bpc, Morvel::Bpc16);
}

TEST_F(WorldTest, BitDepthWithoutTheSuiteIsAnErrorAndChangesNothing) {
    host().faults().makeSuiteMissing(kPFWorldSuite, 2);
    PF_LayerDef* world = host().worlds().newHostWorld(1, 1, PF_PixelFormat_ARGB128);
    Morvel::Bpc bpc = Morvel::Bpc8;
    EXPECT_EQ(Morvel::getBpc(&in_data_, &out_data_, world, &bpc), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(bpc, Morvel::Bpc8);
    EXPECT_STREQ(out_data_.return_msg, "Couldn't load suite.");
}

// ---------------------------------------------------------------- borrowed and checked-out worlds

TEST_F(WorldTest, SmartRenderWorldsAreBorrowedAndFailuresStillGiveAWorld) {
    expectFault("checkout_layer_pixels: id 0 was not checked out at pre-render");
    effect_.inputLayer = host().worlds().newHostWorld(4, 4, PF_PixelFormat_ARGB64);
    effect_.outputWorld = host().worlds().newHostWorld(4, 4, PF_PixelFormat_ARGB64);
    PF_SmartRenderExtra extra{nullptr, Sim::smartRenderCallbacks()};
    std::shared_ptr<World> input, output, missing;
    // Before pre-render checked it out, the input is refused.
    EXPECT_EQ(Morvel::getInputWorld(&in_data_, &extra, 0, missing), PF_Err_BAD_CALLBACK_PARAM);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->world, nullptr);

    PF_RenderRequest request{};
    request.rect = {0, 0, 4, 4};
    PF_CheckoutResult result{};
    ASSERT_EQ(Sim::preRenderCallbacks()->checkout_layer(&effect_, 0, 0, &request, 0, 1, 30, &result), PF_Err_NONE);
    EXPECT_EQ(Morvel::getInputWorld(&in_data_, &extra, 0, input), PF_Err_NONE);
    EXPECT_EQ(input->world, effect_.inputLayer);
    EXPECT_EQ(Morvel::getOutputWorld(&in_data_, &extra, output), PF_Err_NONE);
    EXPECT_EQ(output->world, effect_.outputWorld);
    input.reset();
    output.reset();
    EXPECT_EQ(host().log().count("dispose"), 0u);

    PF_SmartRenderExtra noCallbacks{nullptr, nullptr};
    EXPECT_EQ(Morvel::getOutputWorld(&in_data_, &noCallbacks, output), PF_Err_INVALID_CALLBACK);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->world, nullptr);
}

TEST_F(WorldTest, AnExistingWorldIsBorrowed) {
    PF_LayerDef* layer = host().worlds().newHostWorld(2, 2, PF_PixelFormat_ARGB32);
    std::shared_ptr<World> world;
    EXPECT_EQ(Morvel::setExistingWorld(&in_data_, suites(), *layer, world), PF_Err_NONE);
    EXPECT_EQ(world->world, layer);
    world.reset();
    EXPECT_NE(layer->data, nullptr);
}

class ParameterWorldTest : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        layer_ = host().worlds().newHostWorld(6, 3, PF_PixelFormat_ARGB128);
        PF_ParamDef withPixels{};
        withPixels.param_type = PF_Param_LAYER;
        withPixels.u.ld = *layer_;
        PF_ParamDef empty{};
        empty.param_type = PF_Param_LAYER;
        effect_.values = {PF_ParamDef{}, withPixels, empty};
    }
    PF_LayerDef* layer_ = nullptr;
};

TEST_F(ParameterWorldTest, ALayerWithPixelsIsCheckedOutUntilTheLastHolderGoes) {
    std::shared_ptr<World> world;
    ASSERT_EQ(Morvel::getParameterWorld(&in_data_, suites(), 1, A_Time{0, 30}, world), PF_Err_NONE);
    ASSERT_NE(world->world, nullptr);
    EXPECT_EQ(world->world->data, layer_->data);
    EXPECT_EQ(world->world->width, 6);
    EXPECT_EQ(host().ledger().outstanding("param checkout"), 1u);
    world.reset();
    EXPECT_EQ(host().ledger().outstanding("param checkout"), 0u);
}

TEST_F(ParameterWorldTest, AnEmptyLayerIsCheckedBackInToo) {
    std::shared_ptr<World> world;
    ASSERT_EQ(Morvel::getParameterWorld(&in_data_, suites(), 2, A_Time{0, 30}, world), PF_Err_NONE);
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world->world, nullptr);
    world.reset();
    EXPECT_EQ(host().log().count("checkin_param"), 1u);
}

TEST_F(ParameterWorldTest, AFailedCheckOutLeavesOutAloneAndChecksNothingIn) {
    expectFault("checkout_param of unknown index 9");
    std::shared_ptr<World> world;
    EXPECT_EQ(Morvel::getParameterWorld(&in_data_, suites(), 9, A_Time{0, 30}, world), PF_Err_INVALID_INDEX);
    EXPECT_EQ(world, nullptr);
    host().faults().failCall("checkout_param", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(Morvel::getParameterWorld(&in_data_, suites(), 1, A_Time{0, 30}, world), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(world, nullptr);
    EXPECT_EQ(host().log().count("checkin_param"), 0u);
}

TEST_F(ParameterWorldTest, TheCheckOutUsesTheGivenTimeAndTheRecordsStep) {
    in_data_.time_step = 2;
    Morvel::ParameterWorld world(&in_data_, suites());
    ASSERT_EQ(world.init(1, A_Time{12, 24}), PF_Err_NONE);
    EXPECT_TRUE(host().log().contains("checkout_param 1 at 12/24 step 2"));
    EXPECT_EQ(world.init(1, A_Time{0, 30}), PF_Err_NONE);
    EXPECT_EQ(host().ledger().outstanding("param checkout"), 1u);
}

// ---------------------------------------------------------------- copy and fill

TEST_F(WorldTest, CopyPassesRectanglesUnchanged) {
    auto source = hostWorld(2, 2, PF_PixelFormat_ARGB32);
    auto destination = hostWorld(4, 4, PF_PixelFormat_ARGB32);
    static_cast<PF_Pixel*>(source->world->data)[0] = {255, 9, 8, 7};
    ASSERT_EQ(Morvel::copy(&in_data_, source, destination, {0, 0, 1, 1}, {1, 1, 3, 3}), PF_Err_NONE);
    EXPECT_EQ(lastLine("copy"), "copy (0,0,1,1) -> (1,1,3,3)");
    for (int32_t y = 0; y < 4; ++y) {
        const auto* row = reinterpret_cast<const PF_Pixel*>(static_cast<const char*>(destination->world->data) +
                                                            y * destination->world->rowbytes);
        for (int32_t x = 0; x < 4; ++x) {
            const bool inside = x >= 1 && x < 3 && y >= 1 && y < 3;
            EXPECT_EQ(row[x].red, inside ? 9 : 0) << x << "," << y;
        }
    }
    ASSERT_EQ(Morvel::copy(&in_data_, source->world, destination->world), PF_Err_NONE);
    EXPECT_EQ(lastLine("copy"), "copy whole -> whole");
}

struct FillCase {
    const char* name;
    Morvel::Color<float> color;
    PF_Pixel expected;
};

const FillCase kFillCases[] = {
    {"clamped", {-0.2f, 1.5f, 0.5f, 1.0f}, {0, 255, 128, 255}},
    {"rounded", {1.0f, 0.1f, 0.002f, 0.998f}, {255, 26, 1, 254}},
};

TEST_F(WorldTest, FillConvertsTheColourToEightBitsAndTheHostToTheWorldsDepth) {
    for (const FillCase& c : kFillCases) {
        auto eight = hostWorld(2, 2, PF_PixelFormat_ARGB32);
        auto floats = hostWorld(2, 2, PF_PixelFormat_ARGB128);
        ASSERT_EQ(Morvel::fill(&in_data_, eight, c.color), PF_Err_NONE) << c.name;
        ASSERT_EQ(Morvel::fill(&in_data_, floats, c.color, {1, 1, 2, 2}), PF_Err_NONE) << c.name;
        const PF_Pixel got = static_cast<PF_Pixel*>(eight->world->data)[0];
        EXPECT_EQ(got.alpha, c.expected.alpha) << c.name;
        EXPECT_EQ(got.red, c.expected.red) << c.name;
        EXPECT_EQ(got.green, c.expected.green) << c.name;
        EXPECT_EQ(got.blue, c.expected.blue) << c.name;
        const auto* row1 = reinterpret_cast<const PF_PixelFloat*>(static_cast<const char*>(floats->world->data) +
                                                                  floats->world->rowbytes);
        EXPECT_FLOAT_EQ(row1[1].red, c.expected.red / 255.0f) << c.name;
        EXPECT_FLOAT_EQ(row1[1].alpha, c.expected.alpha / 255.0f) << c.name;
        EXPECT_FLOAT_EQ(row1[0].red, 0.0f) << c.name;
    }
}

}  // namespace
