// Frames through the frame driver with a small effect of the test's own: what the input record,
// the check-outs and the output world carry at each depth and downsampling, and how the
// pre-render data is given back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "Util/AEGP_SuiteHandler.h"
#include "Util/Smart_Utils.h"
#include "host/sim/iterate.h"
#include "host/sim/plugin.h"
#include "library/default/default.h"
#include "library/plugin/pre_render_data.h"
#include "support/host_fixture.h"
#include "world_helpers.h"

namespace {

using WorldHelpers::get;

enum Param { kInput = 0, kCentre, kOther, kParamCount };

enum class Keep { WithDeleteFunction, WithoutDeleteFunction, DeleteFunctionThatKeepsIt };

// What the test's effect is told to do and what it saw, per frame.
struct Options {
    Keep keep = Keep::WithDeleteFunction;
    bool growToLayer = true;
};
struct Seen {
    int32_t width = 0, height = 0;
    PF_RationalScale downsampleX{}, downsampleY{};
    unsigned char marker = 0;
    PF_LayerDef input{};
    bool inputNull = false;
    PF_LayerDef output{};
    PF_Fixed centreX = 0, centreY = 0;
    PF_LayerDef other{};
    Sim::Unit otherCorner{};
    int renders = 0;
    size_t checkoutsHeld = 0;  // layer check-outs in the ledger while rendering
    size_t preRenderDataHeld = 0;
};
Options options;
Seen seen;

constexpr unsigned char kMarker = 0x5a;

void keepHandleOnly(void*) {}

PF_Err setUpParams(PF_InData* in, PF_OutData* out) {
    PF_ParamDef def{};
    def.param_type = PF_Param_POINT;
    std::strcpy(def.name, "Centre");
    def.uu.id = kCentre;
    def.u.td.x_dephault = 50 << 16;
    def.u.td.y_dephault = 50 << 16;
    PF_Err err = in->inter.add_param(in->effect_ref, -1, &def);
    if (!err) {
        def = PF_ParamDef{};
        def.param_type = PF_Param_LAYER;
        std::strcpy(def.name, "Other Layer");
        def.uu.id = kOther;
        err = in->inter.add_param(in->effect_ref, -1, &def);
    }
    out->num_params = kParamCount;
    return err;
}

PF_Err preRender(PF_InData* in, PF_PreRenderExtra* extra) {
    AEGP_SuiteHandler suites(in->pica_basicP);
    void* data = nullptr;
    if (options.keep == Keep::WithDeleteFunction) {
        if (PF_Err err = Morvel::Plugin::createPreRenderData(suites, extra, 16, &data)) return err;
    } else {
        PF_Handle handle = suites.HandleSuite2()->host_new_handle(16);
        data = suites.HandleSuite2()->host_lock_handle(handle);
        extra->output->pre_render_data = handle;
        if (options.keep == Keep::DeleteFunctionThatKeepsIt)
            extra->output->delete_pre_render_data_func = keepHandleOnly;
    }
    static_cast<unsigned char*>(data)[0] = kMarker;
    seen.width = in->width;
    seen.height = in->height;
    seen.downsampleX = in->downsample_x;
    seen.downsampleY = in->downsample_y;

    PF_RenderRequest request = extra->input->output_request;
    if (options.growToLayer) {
        const int32_t w = int32_t(int64_t(in->width) * in->downsample_x.num / in->downsample_x.den);
        const int32_t h = int32_t(int64_t(in->height) * in->downsample_y.num / in->downsample_y.den);
        const PF_LRect layer{0, 0, w, h};
        UnionLRect(&layer, &request.rect);
    }
    PF_CheckoutResult checkout{};
    PF_Err err = extra->cb->checkout_layer(in->effect_ref, 0, 0, &request, in->current_time, in->time_step,
                                           in->time_scale, &checkout);
    if (err) return err;
    extra->output->flags |= PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS;
    UnionLRect(&checkout.result_rect, &extra->output->result_rect);
    UnionLRect(&checkout.max_result_rect, &extra->output->max_result_rect);
    return PF_Err_NONE;
}

// Copies the input into the output where both lie, each placed at its origin.
PF_Err render(PF_InData* in, PF_SmartRenderExtra* extra) {
    AEGP_SuiteHandler suites(in->pica_basicP);
    ++seen.renders;
    seen.checkoutsHeld = Sim::Host::current().ledger().outstanding("layer checkout");
    seen.preRenderDataHeld = Sim::Host::current().ledger().outstanding("pre-render data");
    auto handle = static_cast<PF_Handle>(extra->input->pre_render_data);
    const auto* data = static_cast<const unsigned char*>(suites.HandleSuite2()->host_lock_handle(handle));
    if (data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    seen.marker = data[0];
    suites.HandleSuite2()->host_unlock_handle(handle);

    PF_ParamDef centre{};
    PF_Err err =
        in->inter.checkout_param(in->effect_ref, kCentre, in->current_time, in->time_step, in->time_scale, &centre);
    if (err) return err;
    seen.centreX = centre.u.td.x_value;
    seen.centreY = centre.u.td.y_value;
    in->inter.checkin_param(in->effect_ref, &centre);
    PF_ParamDef other{};
    err = in->inter.checkout_param(in->effect_ref, kOther, in->current_time, in->time_step, in->time_scale, &other);
    if (err) return err;
    seen.other = other.u.ld;
    if (other.u.ld.data != nullptr) seen.otherCorner = get(&other.u.ld, 0, 0);
    in->inter.checkin_param(in->effect_ref, &other);

    PF_LayerDef* input = nullptr;
    PF_LayerDef* output = nullptr;
    err = extra->cb->checkout_layer_pixels(in->effect_ref, 0, &input);
    if (!err) err = extra->cb->checkout_output(in->effect_ref, &output);
    if (err) return err;
    seen.output = *output;
    seen.inputNull = input == nullptr;
    if (input == nullptr) return PF_Err_NONE;
    seen.input = *input;
    const PF_LRect inRect{input->origin_x, input->origin_y, input->origin_x + input->width,
                          input->origin_y + input->height};
    const PF_LRect outRect{output->origin_x, output->origin_y, output->origin_x + output->width,
                           output->origin_y + output->height};
    const PF_LRect both = Sim::intersect(inRect, outRect);
    if (Sim::isEmptyRect(both)) return PF_Err_NONE;
    PF_Rect from{both.left - inRect.left, both.top - inRect.top, both.right - inRect.left, both.bottom - inRect.top};
    PF_Rect to{both.left - outRect.left, both.top - outRect.top, both.right - outRect.left, both.bottom - outRect.top};
    return in->utils->copy(in->effect_ref, input, output, &from, &to);
}

PF_Err frameEffect(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**, PF_LayerDef* output, void* extra) {
    try {
        switch (cmd) {
            case PF_Cmd_GLOBAL_SETUP:
                return Morvel::Default::GlobalSetup({1, 0, 0, 0, 0}, 0, PF_OutFlag2_SUPPORTS_SMART_RENDER, in, out,
                                                    nullptr, output);
            case PF_Cmd_GLOBAL_SETDOWN: return Morvel::Default::GlobalSetdown(in);
            case PF_Cmd_PARAMS_SETUP: return setUpParams(in, out);
            case PF_Cmd_SMART_PRE_RENDER: return preRender(in, static_cast<PF_PreRenderExtra*>(extra));
            case PF_Cmd_SMART_RENDER: return render(in, static_cast<PF_SmartRenderExtra*>(extra));
            default: return PF_Err_NONE;
        }
    } catch (PF_Err err) {
        return err;
    }
}

// A layer whose every pixel differs: alpha, red and green from the position.
Sim::Unit layerPixel(int32_t x, int32_t y) { return {1.0 - (x % 3) * 0.25, x / 63.0, y / 47.0, 0.5}; }

class FrameDriverTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        options = Options{};
        seen = Seen{};
        instance_ = std::make_unique<Sim::PluginInstance>(host(), frameEffect, "Frame Effect");
        ASSERT_EQ(instance_->globalSetup(), PF_Err_NONE);
        ASSERT_EQ(instance_->paramSetup(), PF_Err_NONE);
    }
    void TearDown() override {
        if (instance_) {
            EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
            for (const std::string& line : instance_->violations()) ADD_FAILURE() << line;
        }
        instance_.reset();
        HostTest::TearDown();
    }

    void place(AEGP_ObjectType type = AEGP_ObjectType_AV, PF_PixelFormat format = PF_PixelFormat_ARGB128) {
        instance_->placeOnLayer(type, 64, 48, format);
        PF_LayerDef* layer = instance_->effect().inputLayer;
        for (int32_t y = 0; y < 48; ++y) {
            for (int32_t x = 0; x < 64; ++x) WorldHelpers::set(layer, x, y, layerPixel(x, y));
        }
    }

    std::unique_ptr<Sim::PluginInstance> instance_;
};

bool sameRect(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
std::string text(const PF_LRect& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + ")";
}

TEST_F(FrameDriverTest, CheckOutsAndPreRenderDataAreLedgeredForTheirFrameOnly) {
    place();
    for (int frameNumber = 0; frameNumber < 2; ++frameNumber) {
        const Sim::FrameResult frame = instance_->renderFrame();
        ASSERT_EQ(frame.err(), PF_Err_NONE);
        EXPECT_EQ(seen.checkoutsHeld, 1u) << "frame " << frameNumber;
        EXPECT_EQ(seen.preRenderDataHeld, 1u) << "frame " << frameNumber;
        EXPECT_EQ(host().ledger().outstanding("layer checkout"), 0u) << "frame " << frameNumber;
        EXPECT_EQ(host().ledger().outstanding("pre-render data"), 0u) << "frame " << frameNumber;
    }
}

TEST_F(FrameDriverTest, RequestsResultsAndOutputFollowTheDownsampling) {
    place();
    struct Case {
        const char* name;
        std::optional<PF_LRect> request;
        int32_t den;
        PF_LRect inputRequest;  // the whole layer at render resolution joined with the request
        PF_LRect output;        // result ∩ request
    } cases[] = {
        {"whole layer", std::nullopt, 1, {0, 0, 64, 48}, {0, 0, 64, 48}},
        {"small request", PF_LRect{10, 10, 20, 20}, 1, {0, 0, 64, 48}, {10, 10, 20, 20}},
        {"whole layer at half", std::nullopt, 2, {0, 0, 32, 24}, {0, 0, 32, 24}},
        {"small request at half", PF_LRect{10, 10, 20, 20}, 2, {0, 0, 32, 24}, {10, 10, 20, 20}},
        {"request beyond the layer", PF_LRect{-5, 40, 70, 60}, 1, {-5, 0, 70, 60}, {0, 40, 64, 48}},
    };
    for (const Case& c : cases) {
        Sim::FrameRequest request;
        request.rect = c.request;
        request.downsampleX = request.downsampleY = {1, uint32_t(c.den)};
        const Sim::FrameResult frame = instance_->renderFrame(request);
        EXPECT_EQ(frame.err(), PF_Err_NONE) << c.name;
        EXPECT_EQ(seen.width, 64) << c.name << ": the input record carries the layer's full size";
        EXPECT_EQ(seen.height, 48) << c.name;
        EXPECT_EQ(seen.downsampleX.den, uint32_t(c.den)) << c.name;
        ASSERT_EQ(frame.checkouts.size(), 1u) << c.name;
        EXPECT_TRUE(sameRect(frame.checkouts[0].request.rect, c.inputRequest))
            << c.name << ": " << text(frame.checkouts[0].request.rect);
        EXPECT_TRUE(sameRect(frame.outputRect, c.output)) << c.name << ": " << text(frame.outputRect);
        EXPECT_EQ(frame.output.def().origin_x, c.output.left) << c.name;
        EXPECT_EQ(frame.output.width(), c.output.right - c.output.left) << c.name;
        EXPECT_EQ(seen.output.origin_y, c.output.top) << c.name << ": the effect sees the origin";
        EXPECT_EQ(seen.marker, kMarker) << c.name << ": the render reads what pre-render wrote";
        EXPECT_EQ(frame.deletes, 1) << c.name;
        EXPECT_EQ(host().ledger().outstanding("pre-render data"), 0u) << c.name;
        EXPECT_EQ(frame.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS, 1) << c.name;
    }
}

TEST_F(FrameDriverTest, PixelsArriveAtTheFramesDepthAndResolution) {
    place();
    struct Case {
        const char* name;
        int depth;
        int32_t den;
        double tolerance;
    } cases[] = {
        {"8-bit", 8, 1, 0.5 / 255},         {"16-bit", 16, 1, 0.5 / 32768}, {"float", 32, 1, 0},
        {"8-bit at half", 8, 2, 0.5 / 255}, {"float at half", 32, 2, 1e-6},
    };
    const PF_LayerDef* layer = instance_->effect().inputLayer;
    for (const Case& c : cases) {
        Sim::FrameRequest request;
        request.depth = c.depth;
        request.downsampleX = request.downsampleY = {1, uint32_t(c.den)};
        const Sim::FrameResult frame = instance_->renderFrame(request);
        ASSERT_EQ(frame.err(), PF_Err_NONE) << c.name;
        EXPECT_EQ(frame.output.format(), Sim::formatOfDepth(c.depth)) << c.name;
        EXPECT_EQ(seen.input.pixel_format, Sim::formatOfDepth(c.depth)) << c.name;
        for (int32_t y = 0; y < frame.output.height(); ++y) {
            for (int32_t x = 0; x < frame.output.width(); ++x) {
                // A downsampled pixel is the alpha-weighted mean of its source box, worked here directly.
                Sim::Unit want{0, 0, 0, 0};
                double weight = 0;
                for (int32_t sy = y * c.den; sy < (y + 1) * c.den; ++sy) {
                    for (int32_t sx = x * c.den; sx < (x + 1) * c.den; ++sx) {
                        const Sim::Unit u = get(layer, sx, sy);
                        want.alpha += u.alpha / (c.den * c.den);
                        want.red += u.red * u.alpha;
                        want.green += u.green * u.alpha;
                        want.blue += u.blue * u.alpha;
                        weight += u.alpha;
                    }
                }
                want.red /= weight;
                want.green /= weight;
                want.blue /= weight;
                const Sim::Unit got = get(&frame.output.def(), x, y);
                ASSERT_TRUE(WorldHelpers::near(got, want, c.tolerance)) << c.name << " at " << x << "," << y;
            }
        }
    }
}

// Frame worlds large enough to be made in bands on the host's threads: the bands together give
// what one band gives. At full resolution each pixel is its layer pixel (the nearest edge pixel
// where the rectangle reaches past the layer) taken to the frame's depth, worked out directly.
TEST_F(FrameDriverTest, ThreadedFrameWorldsEqualOneBand) {
    const int32_t w = 613, h = 419;
    struct Case {
        const char* name;
        PF_PixelFormat layerFormat;
        int depth;
        uint32_t den;
        PF_LRect rect;
    } cases[] = {
        {"8-bit", PF_PixelFormat_ARGB32, 8, 1, {0, 0, w, h}},
        {"16-bit past every edge", PF_PixelFormat_ARGB64, 16, 1, {-7, -3, w + 5, h + 2}},
        {"float inside", PF_PixelFormat_ARGB128, 32, 1, {9, 4, w - 20, h - 1}},
        {"float to 8-bit", PF_PixelFormat_ARGB128, 8, 1, {0, 0, w, h}},
        {"16-bit at half", PF_PixelFormat_ARGB64, 16, 2, {0, 0, w / 2, h / 2}},
        {"8-bit to float at a third", PF_PixelFormat_ARGB32, 32, 3, {-2, 0, w / 3, h / 3 + 2}},
    };
    for (const Case& c : cases) {
        PF_LayerDef* layer = WorldHelpers::hostWorld(host(), w, h, c.layerFormat);
        WorldHelpers::setVaried(layer);
        if (c.layerFormat == PF_PixelFormat_ARGB64) {
            // Beyond the 16-bit full scale, as no file gives but an effect's world may hold.
            static_cast<PF_Pixel16*>(layer->data)[3] = {40000, 32769, 65535, 12};
        }
        effect_.frame = {true, Sim::formatOfDepth(c.depth), {1, c.den}, {1, c.den}};
        PF_LayerDef* made[2];
        for (bool threaded : {false, true}) {
            host().iteration().setDeterministic(!threaded);
            host().iteration().setProcessors(8);
            made[threaded] = Sim::frameWorld(host(), effect_, *layer, c.rect);
            ASSERT_NE(made[threaded], nullptr) << c.name;
        }
        EXPECT_TRUE(WorldHelpers::sameBytes(made[0], made[1])) << c.name;
        if (c.den == 1) {
            int wrong = 0;
            Sim::Image one(1, 1, Sim::formatOfDepth(c.depth));
            const size_t bytes = Sim::pixelBytes(one.format());
            for (int32_t y = c.rect.top; y < c.rect.bottom; ++y) {
                for (int32_t x = c.rect.left; x < c.rect.right; ++x) {
                    const Sim::Unit u = get(layer, std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1));
                    WorldHelpers::set(&one.def(), 0, 0, u);
                    const char* got = static_cast<const char*>(made[1]->data) +
                                      ptrdiff_t(y - c.rect.top) * made[1]->rowbytes + (x - c.rect.left) * bytes;
                    wrong += std::memcmp(got, one.begin(), bytes) != 0;
                }
            }
            EXPECT_EQ(wrong, 0) << c.name;
        }
        Sim::endFrame(host(), effect_);
        host().worlds().drop(layer);
    }
}

TEST_F(FrameDriverTest, TextAndShapeLayersDeliverOnlyTheirContent) {
    struct Case {
        const char* name;
        AEGP_ObjectType type;
        std::optional<PF_LRect> request;
        PF_LRect result;
    } cases[] = {
        {"text, whole request", AEGP_ObjectType_TEXT, std::nullopt, {12, 5, 40, 30}},
        {"text, part of the content", AEGP_ObjectType_TEXT, PF_LRect{0, 0, 20, 10}, {12, 5, 20, 10}},
        {"shape, outside the content", AEGP_ObjectType_SHAPE, PF_LRect{50, 40, 60, 48}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        options.growToLayer = false;
        place(c.type);
        instance_->setContentBounds({12, 5, 40, 30});
        Sim::FrameRequest request;
        request.rect = c.request;
        const Sim::FrameResult frame = instance_->renderFrame(request);
        ASSERT_EQ(frame.err(), PF_Err_NONE);
        ASSERT_EQ(frame.checkouts.size(), 1u);
        EXPECT_TRUE(sameRect(frame.checkouts[0].result.result_rect, c.result))
            << text(frame.checkouts[0].result.result_rect);
        EXPECT_TRUE(sameRect(frame.checkouts[0].result.max_result_rect, {12, 5, 40, 30}));
        if (Sim::isEmptyRect(c.result)) {
            EXPECT_FALSE(frame.rendered) << "nothing to render";
            EXPECT_EQ(frame.deletes, 1) << "the pre-render data goes all the same";
            continue;
        }
        EXPECT_FALSE(seen.inputNull);
        EXPECT_EQ(seen.input.origin_x, c.result.left);
        EXPECT_EQ(seen.input.origin_y, c.result.top);
        EXPECT_EQ(seen.input.width, c.result.right - c.result.left);
        EXPECT_EQ(seen.input.height, c.result.bottom - c.result.top);
        // The output shows the layer's own pixels where the content lies.
        for (int32_t y = 0; y < frame.output.height(); ++y) {
            for (int32_t x = 0; x < frame.output.width(); ++x) {
                const int32_t lx = x + frame.output.def().origin_x, ly = y + frame.output.def().origin_y;
                ASSERT_TRUE(WorldHelpers::near(get(&frame.output.def(), x, y), layerPixel(lx, ly), 0.5 / 255))
                    << lx << "," << ly;
            }
        }
    }
}

TEST_F(FrameDriverTest, PointDefaultsArePercentOfTheLayerAndFollowTheDownsampling) {
    place();
    for (int32_t den : {1, 2}) {
        Sim::FrameRequest request;
        request.downsampleX = request.downsampleY = {1, uint32_t(den)};
        ASSERT_EQ(instance_->renderFrame(request).err(), PF_Err_NONE);
        EXPECT_EQ(seen.centreX, (32 << 16) / den) << "1/" << den;
        EXPECT_EQ(seen.centreY, (24 << 16) / den) << "1/" << den;
    }
}

TEST_F(FrameDriverTest, LayerParametersArriveAtTheFramesDepthAndResolution) {
    place();
    Sim::Image other(20, 10, PF_PixelFormat_ARGB32);
    WorldHelpers::setAll(&other.def(), {1, 1, 0.5, 0});
    instance_->setLayerParam(kOther, std::move(other));
    for (int depth : {8, 16, 32}) {
        for (int32_t den : {1, 2}) {
            Sim::FrameRequest request;
            request.depth = depth;
            request.downsampleX = request.downsampleY = {1, uint32_t(den)};
            ASSERT_EQ(instance_->renderFrame(request).err(), PF_Err_NONE);
            EXPECT_EQ(seen.other.pixel_format, Sim::formatOfDepth(depth)) << depth << " bits 1/" << den;
            EXPECT_EQ(seen.other.width, 20 / den) << depth << " bits 1/" << den;
            EXPECT_EQ(seen.other.height, 10 / den) << depth << " bits 1/" << den;
            EXPECT_TRUE(WorldHelpers::near(seen.otherCorner, {1, 1, 128 / 255.0, 0}, 0.5 / 255))
                << depth << " bits 1/" << den << ": " << WorldHelpers::text(seen.otherCorner);
        }
    }
    EXPECT_EQ(host().worlds().effectWorlds(), 0u);
}

TEST_F(FrameDriverTest, PreRenderDataThatOutlivesItsFrameIsAViolation) {
    struct Case {
        const char* name;
        Keep keep;
        const char* violation;
    } cases[] = {
        {"no delete function", Keep::WithoutDeleteFunction, "without a delete function"},
        {"a delete function that keeps it", Keep::DeleteFunctionThatKeepsIt, "outlives its frame"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        options.keep = c.keep;
        if (instance_->layer() == nullptr) place();
        const size_t before = instance_->violations().size();
        const Sim::FrameResult frame = instance_->renderFrame();
        EXPECT_EQ(frame.err(), PF_Err_NONE);
        ASSERT_EQ(instance_->violations().size(), before + 1);
        EXPECT_NE(instance_->violations().back().find(c.violation), std::string::npos)
            << instance_->violations().back();
        EXPECT_FALSE(instance_->commandScopeBalanced()) << "the leak shows in the ledger";
    }
    // The leaks are the point here; the host takes their blocks back when it goes.
    instance_.reset();
    host().ledger().reset();
}

}  // namespace
