// An effect driven through the loader's instance machinery and placed in the project: the project
// suites know it, its parameters' values are the same through check-out and through the streams,
// and its arbitrary-data values are the handles its own callback makes.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/arbitrary_param.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "host/sim/worlds.h"
#include "library/custom_data/color_expression_data/color_expression_data.h"
#include "library/default/default.h"
#include "library/effect/effect_handle.h"
#include "library/stream/stream.h"
#include "support/add_param.h"
#include "support/host_fixture.h"

namespace {

namespace Expression = Morvel::ColorExpressionData;

enum Param { kInput = 0, kAmount, kEnabled, kTint, kCentre, kMode, kCustom, kParamCount };

PF_Err addParam(PF_InData* in, PF_ParamType type, const char* name, int32_t id,
                const std::function<void(PF_ParamDefUnion&)>& fill) {
    return addTestParam(in, type, name, id, fill);
}

PF_Err setUpParams(PF_InData* in, PF_OutData* out) {
    PF_Err err = addParam(in, PF_Param_FLOAT_SLIDER, "Amount", kAmount, [](PF_ParamDefUnion& u) {
        u.fs_d.valid_max = u.fs_d.slider_max = 100;
        u.fs_d.dephault = 25;
    });
    if (!err)
        err = addParam(in, PF_Param_CHECKBOX, "Enabled", kEnabled, [](PF_ParamDefUnion& u) { u.bd.dephault = 1; });
    if (!err) {
        err = addParam(in, PF_Param_COLOR, "Tint", kTint, [](PF_ParamDefUnion& u) {
            u.cd.dephault = {255, 255, 0, 0};
        });
    }
    if (!err) {
        err = addParam(in, PF_Param_POINT, "Centre", kCentre, [](PF_ParamDefUnion& u) {
            u.td.x_dephault = 8 << 16;
            u.td.y_dephault = 4 << 16;
        });
    }
    if (!err) {
        err = addParam(in, PF_Param_POPUP, "Mode", kMode, [](PF_ParamDefUnion& u) {
            u.pd.namesptr = "One|Two|Three";
            u.pd.num_choices = 3;
            u.pd.dephault = 1;
        });
    }
    if (!err) {
        err = addParam(in, PF_Param_ARBITRARY_DATA, "Custom", kCustom, [&](PF_ParamDefUnion& u) {
            u.arb_d.id = kCustom;
            Expression::NewDefaultData(in, out, nullptr, &u.arb_d.dephault, "a * r * s");
        });
    }
    out->num_params = kParamCount;
    return err;
}

// The sequence a smart-render context runs before its effect renders: layer, composition, a
// reference to itself, thread count, input and output; then the input is copied out.
PF_Err smartRender(PF_InData* in, PF_SmartRenderExtra* extra) {
    const AEGP_SuiteHandler suites(in->pica_basicP);
    const AEGP_PluginID pluginId = *reinterpret_cast<AEGP_PluginID*>(*in->global_data);
    AEGP_LayerH layer = nullptr;
    AEGP_CompH comp = nullptr;
    AEGP_EffectRefH self = nullptr;
    int32_t threads = 0;
    PF_LayerDef* input = nullptr;
    PF_LayerDef* output = nullptr;
    PF_Err err = suites.PFInterfaceSuite1()->AEGP_GetEffectLayer(in->effect_ref, &layer);
    if (!err) err = suites.LayerSuite13()->AEGP_GetLayerParentComp(layer, &comp);
    if (!err) err = suites.PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(pluginId, in->effect_ref, &self);
    if (!err) err = suites.IterateSuite1()->AEGP_GetNumThreads(&threads);
    if (!err) err = extra->cb->checkout_layer_pixels(in->effect_ref, 0, &input);
    if (!err) err = extra->cb->checkout_output(in->effect_ref, &output);
    if (!err) err = in->utils->copy(in->effect_ref, input, output, nullptr, nullptr);
    if (self != nullptr) {
        const PF_Err disposed = suites.EffectSuite2()->AEGP_DisposeEffect(self);
        if (!err) err = disposed;
    }
    return err;
}

PF_Err testEffect(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**, PF_LayerDef* output, void* extra) {
    switch (cmd) {
        case PF_Cmd_GLOBAL_SETUP:
            return Morvel::Default::GlobalSetup({1, 0, 0, 0, 0}, 0, PF_OutFlag2_SUPPORTS_SMART_RENDER, in, out, nullptr,
                                                output);
        case PF_Cmd_GLOBAL_SETDOWN: return Morvel::Default::GlobalSetdown(in);
        case PF_Cmd_PARAMS_SETUP: return setUpParams(in, out);
        case PF_Cmd_ARBITRARY_CALLBACK:
            return Expression::HandleData(in, out, nullptr, nullptr, static_cast<PF_ArbParamsExtra*>(extra), kCustom);
        case PF_Cmd_SMART_PRE_RENDER:
            return Morvel::Default::PreRender(in, out, static_cast<PF_PreRenderExtra*>(extra));
        case PF_Cmd_SMART_RENDER: return smartRender(in, static_cast<PF_SmartRenderExtra*>(extra));
        default: return PF_Err_NONE;
    }
}

class PluginInstanceTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        instance_ = std::make_unique<Sim::PluginInstance>(host(), testEffect, "Test Effect");
        ASSERT_EQ(instance_->globalSetup(), PF_Err_NONE);
        ASSERT_EQ(instance_->paramSetup(), PF_Err_NONE);
        host().fillInData(in_, &instance_->effect());
        in_.global_data = instance_->globalData();
    }
    void TearDown() override {
        suites_.reset();
        instance_.reset();
        EXPECT_EQ(violations(), "");
        HostTest::TearDown();
    }

    Sim::PluginInstance& instance() { return *instance_; }
    PF_EffectInstance& effect() { return instance_->effect(); }
    AEGP_SuiteHandler& suites() {
        if (!suites_) suites_ = std::make_unique<AEGP_SuiteHandler>(in_.pica_basicP);
        return *suites_;
    }
    AEGP_PluginID pluginId() { return effect().pluginId; }

    // A reference to the instance's own effect, as an effect gets it.
    AEGP_EffectRefH self() {
        AEGP_EffectRefH ref = nullptr;
        EXPECT_EQ(suites().PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(pluginId(), in_.effect_ref, &ref),
                  PF_Err_NONE);
        return ref;
    }
    void dispose(AEGP_EffectRefH ref) { EXPECT_EQ(suites().EffectSuite2()->AEGP_DisposeEffect(ref), PF_Err_NONE); }

    // Checks the parameter out at a time (in 1/scale seconds), hands the record to `read`, checks it in.
    PF_Err checkedOut(int index, int32_t time, uint32_t scale, const std::function<void(const PF_ParamDef&)>& read) {
        PF_ParamDef def{};
        const PF_Err err = in_.inter.checkout_param(in_.effect_ref, index, time, 1, scale, &def);
        if (err != PF_Err_NONE) return err;
        read(def);
        return in_.inter.checkin_param(in_.effect_ref, &def);
    }

    // What a command may leave behind: the test's own suites are given back first.
    bool scopeBalanced() {
        suites_.reset();
        return instance().commandScopeBalanced();
    }

    std::string violations() {
        std::string all;
        if (instance_) {
            for (const std::string& line : instance_->violations()) all += line + "\n";
        }
        return all;
    }

    std::unique_ptr<Sim::PluginInstance> instance_;
    std::unique_ptr<AEGP_SuiteHandler> suites_;
    PF_InData in_{};
};

TEST_F(PluginInstanceTest, ThePlacedInstanceIsKnownToTheProjectSuites) {
    expectFault("AEGP_GetNewEffectForEffect with plug-in id 6 while the effect registered as 1");
    const AEGP_ObjectType type = AEGP_ObjectType_TEXT;
    instance().placeOnLayer(type, 40, 30);
    // The id the effect keeps in its global data is the one the host gave it.
    ASSERT_NE(pluginId(), 0);
    EXPECT_EQ(pluginId(), *reinterpret_cast<AEGP_PluginID*>(*instance().globalData()));

    AEGP_LayerH layer = nullptr;
    AEGP_ObjectType reported = AEGP_ObjectType_NONE;
    AEGP_CompH comp = nullptr;
    ASSERT_EQ(suites().PFInterfaceSuite1()->AEGP_GetEffectLayer(in_.effect_ref, &layer), PF_Err_NONE);
    EXPECT_EQ(layer, Sim::Project::handleOf(*instance().layer()));
    ASSERT_EQ(suites().LayerSuite13()->AEGP_GetLayerObjectType(layer, &reported), PF_Err_NONE);
    EXPECT_EQ(reported, type);
    ASSERT_EQ(suites().LayerSuite13()->AEGP_GetLayerParentComp(layer, &comp), PF_Err_NONE);
    EXPECT_EQ(comp, Sim::Project::handleOf(*instance().layer()->comp));
    ASSERT_NE(effect().inputLayer, nullptr);
    EXPECT_EQ(effect().inputLayer->width, 40);
    EXPECT_EQ(effect().inputLayer->height, 30);

    // The instance's name and position come through its stream group.
    AEGP_EffectRefH ref = self();
    std::u16string name;
    int position = -1;
    {
        Morvel::EffectHandle handle(pluginId(), &in_, suites());
        ASSERT_EQ(handle.init(ref), PF_Err_NONE);
        EXPECT_EQ(handle.getName(name), PF_Err_NONE);
        EXPECT_EQ(handle.getIndex(position), PF_Err_NONE);
        EXPECT_EQ(handle.dispose(), PF_Err_NONE);
    }
    EXPECT_EQ(name, u"Test Effect");
    EXPECT_EQ(position, 0);
    EXPECT_FALSE(host().log().contains("problem: AEGP_GetNewEffectForEffect"));

    AEGP_EffectRefH stranger = nullptr;
    ASSERT_EQ(suites().PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(pluginId() + 5, in_.effect_ref, &stranger),
              PF_Err_NONE);
    EXPECT_TRUE(host().log().contains("problem: AEGP_GetNewEffectForEffect")) << "an id the effect never had";
    dispose(stranger);
}

TEST_F(PluginInstanceTest, StreamsAndCheckOutShowTheSameValues) {
    instance().placeOnLayer();
    auto write = [&](int index, auto value) {
        AEGP_EffectRefH ref = self();
        const PF_Err err = Morvel::setEffectValue(pluginId(), &in_, suites(), ref, index, A_Time{0, 1},
                                                  AEGP_LTimeMode_LayerTime, value);
        dispose(ref);
        return err;
    };
    auto read = [&](int index, auto& value) {
        AEGP_EffectRefH ref = self();
        const PF_Err err = Morvel::getEffectValue(pluginId(), &in_, suites(), ref, index, A_Time{0, 1},
                                                  AEGP_LTimeMode_LayerTime, false, &value);
        dispose(ref);
        return err;
    };
    // Values exact in both forms: 16.16 fixed points, 8-bit channels as fractions of 255.
    struct Case {
        const char* name;
        int index;
        std::function<PF_Err()> writeStream;
        std::function<bool(const PF_ParamDef&)> checkoutShowsIt;
        std::function<void(PF_ParamDef&)> writeInstance;
        std::function<bool()> streamShowsIt;
    };
    const Case cases[] = {
        {"float slider", kAmount, [&] { return write(kAmount, 62.5); },
         [](const PF_ParamDef& d) { return d.u.fs_d.value == 62.5; }, [](PF_ParamDef& d) { d.u.fs_d.value = 12.25; },
         [&] {
             double v = 0;
             return read(kAmount, v) == PF_Err_NONE && v == 12.25;
         }},
        {"checkbox", kEnabled, [&] { return write(kEnabled, false); },
         [](const PF_ParamDef& d) { return d.u.bd.value == 0; }, [](PF_ParamDef& d) { d.u.bd.value = 1; },
         [&] {
             bool v = false;
             return read(kEnabled, v) == PF_Err_NONE && v;
         }},
        {"colour", kTint,
         [&] {
             return write(kTint, AEGP_ColorVal{1.0, 51 / 255.0, 1.0, 0.0});
         },
         [](const PF_ParamDef& d) {
             const PF_Pixel p = d.u.cd.value;
             return p.alpha == 255 && p.red == 51 && p.green == 255 && p.blue == 0;
         },
         [](PF_ParamDef& d) {
             d.u.cd.value = {102, 0, 204, 255};
         },
         [&] {
             AEGP_ColorVal v{};
             return read(kTint, v) == PF_Err_NONE && v.alpha == 0.4 && v.red == 0 && v.green == 0.8 && v.blue == 1;
         }},
        {"point", kCentre,
         [&] {
             return write(kCentre, AEGP_TwoDVal{-3.5, 20.25});
         },
         [](const PF_ParamDef& d) { return d.u.td.x_value == -(7 << 15) && d.u.td.y_value == (81 << 14); },
         [](PF_ParamDef& d) {
             d.u.td.x_value = 7 << 16;
             d.u.td.y_value = -(1 << 15);
         },
         [&] {
             AEGP_TwoDVal v{};
             return read(kCentre, v) == PF_Err_NONE && v.x == 7 && v.y == -0.5;
         }},
        {"popup", kMode, [&] { return write(kMode, 3.0); }, [](const PF_ParamDef& d) { return d.u.pd.value == 3; },
         [](PF_ParamDef& d) { d.u.pd.value = 2; },
         [&] {
             double v = 0;
             return read(kMode, v) == PF_Err_NONE && v == 2;
         }},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.writeStream(), PF_Err_NONE) << c.name;
        bool shown = false;
        ASSERT_EQ(checkedOut(c.index, 0, 30, [&](const PF_ParamDef& d) { shown = c.checkoutShowsIt(d); }), PF_Err_NONE);
        EXPECT_TRUE(shown) << c.name << ": checked out after a stream write";

        PF_ParamDef value = effect().values[size_t(c.index)];
        c.writeInstance(value);
        Sim::setParamValue(effect(), c.index, value);
        EXPECT_TRUE(c.streamShowsIt()) << c.name << ": read through the stream after an instance write";
    }
    EXPECT_TRUE(scopeBalanced()) << host().ledger().report();
}

TEST_F(PluginInstanceTest, KeyframedValuesCheckOutAtTheAskedTime) {
    instance().placeOnLayer();
    AEGP_EffectRefH ref = self();
    {
        Morvel::Stream<double> amount(pluginId(), &in_, suites());
        ASSERT_EQ(amount.init(ref, kAmount), PF_Err_NONE);
        auto keys = amount.getKeyframer();
        ASSERT_EQ(keys.add(AEGP_LTimeMode_LayerTime, A_Time{0, 1}, 0.0), PF_Err_NONE);
        ASSERT_EQ(keys.add(AEGP_LTimeMode_LayerTime, A_Time{2, 1}, 10.0), PF_Err_NONE);
    }
    dispose(ref);
    // Linear between the keys, held after the last: amount = 5 * seconds up to 2 s.
    const struct {
        int32_t time;
        uint32_t scale;
        double amount;
    } cases[] = {{0, 30, 0.0}, {15, 30, 2.5}, {3, 4, 3.75}, {2, 1, 10.0}, {90, 30, 10.0}};
    for (const auto& c : cases) {
        double amount = -1;
        ASSERT_EQ(checkedOut(kAmount, c.time, c.scale, [&](const PF_ParamDef& d) { amount = d.u.fs_d.value; }),
                  PF_Err_NONE);
        EXPECT_DOUBLE_EQ(amount, c.amount) << c.time << "/" << c.scale;
    }
}

TEST_F(PluginInstanceTest, ArbitraryValuesAreTheEffectsOwnHandles) {
    // Before the instance is in the project the default is the value.
    std::string text;
    auto readCheckedOut = [&] {
        return checkedOut(kCustom, 0, 30, [&](const PF_ParamDef& d) {
            EXPECT_EQ(in_.utils->get_handle_size(d.u.arb_d.value), Expression::kDataSize);
            text = Expression::readValueText(&in_, d.u.arb_d.value);
        });
    };
    ASSERT_EQ(readCheckedOut(), PF_Err_NONE);
    EXPECT_EQ(text, "a * r * s");
    ASSERT_NE(instance().arbitrary(kCustom), nullptr);

    instance().placeOnLayer();
    AEGP_EffectRefH ref = self();
    Expression::Data written{};
    std::strcpy(written.text, "max(r, g)");
    ASSERT_EQ(Expression::SetData(pluginId(), &in_, suites(), ref, kCustom, &written), PF_Err_NONE);
    ASSERT_EQ(readCheckedOut(), PF_Err_NONE);
    EXPECT_EQ(text, "max(r, g)") << "check-out reads the stream";
    Expression::Data read{};
    ASSERT_EQ(Expression::GetData(pluginId(), &in_, suites(), ref, kCustom, &read), PF_Err_NONE);
    EXPECT_STREQ(read.text, "max(r, g)");
    dispose(ref);

    // The host keeps the default and the current value, nothing more, once everything is back.
    EXPECT_EQ(instance().arbitrary(kCustom)->held(), 2u);
    EXPECT_TRUE(scopeBalanced()) << host().ledger().report();

    // A failing copy reaches the effect's check-out as the effect's error, and nothing is held.
    host().faults().failCall("host_new_handle", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_NE(readCheckedOut(), PF_Err_NONE);
    EXPECT_EQ(instance().arbitrary(kCustom)->held(), 2u);
    EXPECT_TRUE(scopeBalanced()) << host().ledger().report();
}

TEST_F(PluginInstanceTest, SmartRenderFindsItsLayerSelfAndWorlds) {
    instance().placeOnLayer(AEGP_ObjectType_SHAPE, 6, 4);
    PF_LayerDef* input = effect().inputLayer;
    auto* pixels = static_cast<PF_Pixel*>(input->data);
    for (int y = 0; y < input->height; ++y) {
        auto* row = reinterpret_cast<PF_Pixel*>(reinterpret_cast<char*>(pixels) + y * input->rowbytes);
        for (int x = 0; x < input->width; ++x) row[x] = PF_Pixel{255, uint8_t(40 * x), uint8_t(60 * y), 7};
    }
    effect().outputWorld = host().worlds().newHostWorld(6, 4, PF_PixelFormat_ARGB32);

    PF_PreRenderInput preIn{};
    preIn.output_request.rect = {0, 0, 6, 4};
    PF_PreRenderOutput preOut{};
    PF_PreRenderExtra pre{&preIn, &preOut, Sim::preRenderCallbacks()};
    ASSERT_EQ(instance().command(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &pre), PF_Err_NONE);
    PF_SmartRenderInput renderIn{};
    PF_SmartRenderExtra render{};
    render.input = &renderIn;
    render.cb = Sim::smartRenderCallbacks();
    ASSERT_EQ(instance().command(PF_Cmd_SMART_RENDER, nullptr, nullptr, &render), PF_Err_NONE);

    const PF_LayerDef* output = effect().outputWorld;
    for (int y = 0; y < 4; ++y) {
        const auto* in = reinterpret_cast<const PF_Pixel*>(static_cast<const char*>(input->data) + y * input->rowbytes);
        const auto* out =
            reinterpret_cast<const PF_Pixel*>(static_cast<const char*>(output->data) + y * output->rowbytes);
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(std::memcmp(&in[x], &out[x], sizeof(PF_Pixel)), 0) << x << "," << y;
        }
    }
    EXPECT_TRUE(scopeBalanced()) << host().ledger().report();
    host().worlds().drop(effect().outputWorld);
    effect().outputWorld = nullptr;
}

TEST_F(PluginInstanceTest, ParameterSetUpIsCheckedAgainstWhatWasRegistered) {
    EXPECT_EQ(effect().registered.size(), size_t(kParamCount));
    EXPECT_EQ(instance().lastOut().num_params, kParamCount);
    EXPECT_EQ(violations(), "");
    EXPECT_THROW(instance().paramSetup(), std::logic_error);
}

}  // namespace
