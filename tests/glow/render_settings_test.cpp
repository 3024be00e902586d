#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/fill_render_settings.h"
#include "glow/parameter_table.h"
#include "glow/stages/render_settings.h"
#include "host/sim/plugin.h"
#include "library/custom_data/color_expression_data/color_expression_data.h"
#include "library/custom_data/color_expression_data/expression_parser.h"
#include "library/effect/effect_handle.h"
#include "library/plugin/exports.h"
#include "support/host_fixture.h"

using Morvel::BlendingMode;
using Morvel::Color;
using Morvel::Wrap;
using Morvel::Plugin::ParameterValue;

namespace {

constexpr double kPi = 3.14159265358979323846;

// One value per row as a render receives it, each row at its table default.
std::vector<ParameterValue> defaultValues() {
    std::vector<ParameterValue> values(Glow::kParamCount);
    for (int r = 0; r < Glow::kParamCount; ++r) {
        values[r] = {Glow::PARAM_DEFS[r].id, Glow::PARAM_DEFS[r].kind, Glow::PARAM_DEFS[r].dephault};
    }
    return values;
}

void setColor(ParameterValue& value, float red, float green, float blue) {
    value.value.color.red = red;
    value.value.color.green = green;
    value.value.color.blue = blue;
}

void expectColor(const Color<float>& color, float red, float green, float blue, const std::string& what) {
    EXPECT_FLOAT_EQ(color.alpha, 1.0f) << what;
    EXPECT_FLOAT_EQ(color.red, red) << what;
    EXPECT_FLOAT_EQ(color.green, green) << what;
    EXPECT_FLOAT_EQ(color.blue, blue) << what;
}

TEST(GlowBlendingTable, EveryPopupValueGivesTheModeOfItsItem) {
    // The modes of popup values 1 to 31, separators taking the item after them.
    const int expected[31] = {0, 10, 10, 3,  18, 9,  19, 2,  2,  11, 4,  20, 8,  21, 5, 5,
                              6, 7,  22, 23, 24, 25, 12, 12, 26, 13, 14, 14, 15, 27, 16};
    for (int popup = 1; popup <= 31; ++popup) {
        EXPECT_EQ(static_cast<int>(Glow::blendingModeOf(popup)), expected[popup - 1]) << "popup " << popup;
    }
    for (int popup : {0, -1, 32, 1000}) {
        EXPECT_EQ(Glow::blendingModeOf(popup), BlendingMode::Normal) << "popup " << popup;
    }
    EXPECT_EQ(Glow::blendingModeOf(11), BlendingMode::Screen);
    EXPECT_EQ(Glow::blendingModeOf(25), BlendingMode::ClassicDifference);
}

TEST(GlowWrap, MenusMapToTheirWraps) {
    struct Case {
        int popup;
        Wrap kernel;
        Wrap maskLayer;
    } cases[] = {
        {0, Wrap::None, Wrap::None},     {1, Wrap::None, Wrap::None},   {2, Wrap::Edge, Wrap::Edge},
        {3, Wrap::Mirror, Wrap::Repeat}, {4, Wrap::None, Wrap::Mirror}, {5, Wrap::None, Wrap::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Glow::kernelWrapOf(c.popup), c.kernel) << "Wrap " << c.popup;
        EXPECT_EQ(Glow::maskLayerWrapOf(c.popup), c.maskLayer) << "Mask Layer Wrap " << c.popup;
    }
}

TEST(GlowChannelColors, EachComponentSumsToOneOrFallsBack) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        float in[3];  // the red components of the three colours
        float out[3];
    } cases[] = {
        {"all zero", {0, 0, 0}, {1, 0, 0}},        {"two halves", {0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}},
        {"unequal", {1, 3, 0}, {0.25f, 0.75f, 0}}, {"one", {0, 0, 0.2f}, {0, 0, 1}},
        {"not a number", {nan, 0, 0}, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        // The same numbers in each channel; each channel falls back to its own colour.
        Color<float> c1(1, c.in[0], c.in[0], c.in[0]);
        Color<float> c2(1, c.in[1], c.in[1], c.in[1]);
        Color<float> c3(1, c.in[2], c.in[2], c.in[2]);
        Glow::normaliseChannelColors(c1, c2, c3);
        const bool fallback = c.in[0] + c.in[1] + c.in[2] == 0 || std::isnan(c.in[0]);
        EXPECT_FLOAT_EQ(c1.red, c.out[0]) << c.name;
        EXPECT_FLOAT_EQ(c2.red, c.out[1]) << c.name;
        EXPECT_FLOAT_EQ(c3.red, c.out[2]) << c.name;
        EXPECT_FLOAT_EQ(c2.green, fallback ? 1.0f : c.out[1]) << c.name;
        EXPECT_FLOAT_EQ(c3.blue, fallback ? 1.0f : c.out[2]) << c.name;
        EXPECT_FLOAT_EQ(c1.green + c2.green + c3.green, 1.0f) << c.name;
        EXPECT_FLOAT_EQ(c1.alpha * c2.alpha * c3.alpha, 1.0f) << c.name;
    }
}

class GlowRecord : public HostTest {
protected:
    // Fills from the values with nothing looked up in the host (no layers, no expressions read).
    PF_Err fill(const std::vector<ParameterValue>& values, Glow::GlowParameters& out, double ds = 1.0,
                PF_Err pending = PF_Err_NONE) {
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        const Glow::GlowParametersSource source{&in_data_, suites, 1, nullptr, {0, 30}, ds, true};
        return Glow::fillGlowParameters(source, values.data(), pending, out);
    }
};

TEST_F(GlowRecord, DefaultsConvertToTheirUnits) {
    Glow::GlowParameters p;
    ASSERT_EQ(fill(defaultValues(), p), PF_Err_NONE);
    EXPECT_EQ(p.renderingMode, Glow::RenderingModeItem::Final);
    EXPECT_DOUBLE_EQ(p.blurRadius, 20.0);
    EXPECT_TRUE(p.diffusion);
    EXPECT_DOUBLE_EQ(p.diffusionConvergence, 10.0);
    EXPECT_EQ(p.beamNumber, 4);
    EXPECT_DOUBLE_EQ(p.beamIntensity, 0.1);
    EXPECT_DOUBLE_EQ(p.beamPhase, kPi / 6);
    EXPECT_FALSE(p.kernel);
    EXPECT_EQ(p.kernelLayer, nullptr);
    EXPECT_EQ(p.kernelIntensity, 0.0);
    EXPECT_EQ(p.wrap, Wrap::Mirror);
    expectColor(p.color1, 1, 0, 0, "color1");
    expectColor(p.color3, 0, 0, 1, "color3");
    EXPECT_DOUBLE_EQ(p.color1Radius, 0.6);
    EXPECT_FLOAT_EQ(p.preprocessing.hls.alpha, 0.0f);
    EXPECT_FLOAT_EQ(p.preprocessing.hls.green, 1.0f);
    EXPECT_DOUBLE_EQ(p.preprocessing.white, 1.0);
    EXPECT_DOUBLE_EQ(p.preprocessing.center.x, 50.0);
    EXPECT_DOUBLE_EQ(p.preprocessing.width, 150.0);
    EXPECT_DOUBLE_EQ(p.threshold, 0.7);
    EXPECT_EQ(p.channel, 1);
    EXPECT_TRUE(p.customChannel.empty());
    expectColor(p.shadow, 0, 0.5f, 1, "shadow");
    EXPECT_EQ(p.blendingMode, BlendingMode::Screen);
    EXPECT_DOUBLE_EQ(p.sourceOpacity, 1.0);
    EXPECT_DOUBLE_EQ(p.glowAlphaWhite, 1.0);
    EXPECT_EQ(p.compositeSettings, Glow::CompositeSettingsItem::OnSource);
}

TEST_F(GlowRecord, EdgeCasesOfTheConversion) {
    struct Case {
        const char* name;
        double ds;
        std::function<void(std::vector<ParameterValue>&)> set;
        std::function<void(const Glow::GlowParameters&)> check;
    } cases[] = {
        {"downsample 1/2 halves the lengths", 0.5,
         [](auto& v) {
             v[42].value.d = 100;
             v[43].value.d = 60;
             v[44].value.d = 8;
         },
         [](const auto& p) {
             EXPECT_DOUBLE_EQ(p.blurRadius, 10.0);
             EXPECT_DOUBLE_EQ(p.preprocessing.width, 50.0);
             EXPECT_DOUBLE_EQ(p.preprocessing.height, 30.0);
             EXPECT_DOUBLE_EQ(p.preprocessing.falloff, 4.0);
         }},
        {"Pre Black = Pre White = 50 keeps a gap", 1.0, [](auto& v) { v[29].value.d = v[30].value.d = 50; },
         [](const auto& p) {
             EXPECT_DOUBLE_EQ(p.preprocessing.black, 0.5);
             EXPECT_DOUBLE_EQ(p.preprocessing.white, 0.5 + 1e-6);
         }},
        {"every level pair but the toner's keeps the gap", 1.0,
         [](auto& v) {
             for (int r : {32, 33, 61, 62, 73, 74, 76, 77, 80, 81, 83, 84}) v[r].value.d = 20;
         },
         [](const auto& p) {
             EXPECT_DOUBLE_EQ(p.preprocessing.alphaWhite, 0.2 + 1e-6);
             EXPECT_DOUBLE_EQ(p.tonerWhite, 0.2);
             EXPECT_DOUBLE_EQ(p.sourceWhite, 0.2 + 1e-6);
             EXPECT_DOUBLE_EQ(p.sourceAlphaWhite, 0.2 + 1e-6);
             EXPECT_DOUBLE_EQ(p.glowWhite, 0.2 + 1e-6);
             EXPECT_DOUBLE_EQ(p.glowAlphaWhite, 0.2 + 1e-6);
             EXPECT_DOUBLE_EQ(p.glowAlphaBlack, 0.2);
         }},
        {"white below black by more than the gap stays", 1.0, [](auto& v) { v[30].value.d = -10; },
         [](const auto& p) { EXPECT_DOUBLE_EQ(p.preprocessing.white, -0.1); }},
        {"red components 0, 0, 0 become 1, 0, 0", 1.0,
         [](auto& v) {
             setColor(v[20], 0, 0.2f, 0.2f);
             setColor(v[21], 0, 0.2f, 0.6f);
             setColor(v[22], 0, 0.6f, 0.2f);
         },
         [](const auto& p) {
             expectColor(p.color1, 1, 0.2f, 0.2f, "color1");
             expectColor(p.color2, 0, 0.2f, 0.6f, "color2");
             expectColor(p.color3, 0, 0.6f, 0.2f, "color3");
         }},
        {"Wrap 1 is None", 1.0, [](auto& v) { v[19].value.i = 1; },
         [](const auto& p) { EXPECT_EQ(p.wrap, Wrap::None); }},
        {"Mask Layer Wrap 3 is Repeat", 1.0, [](auto& v) { v[38].value.i = 3; },
         [](const auto& p) { EXPECT_EQ(p.preprocessing.layerWrap, Wrap::Repeat); }},
        {"Blending Mode 1 is Normal", 1.0, [](auto& v) { v[71].value.i = 1; },
         [](const auto& p) { EXPECT_EQ(p.blendingMode, BlendingMode::Normal); }},
        {"popup numbers outside their menus come through unchanged", 1.0,
         [](auto& v) {
             for (int r : {0, 3, 7, 35, 37, 51, 55, 56, 66, 70}) v[r].value.i = 99;
         },
         [](const auto& p) {
             const auto& pre = p.preprocessing;
             for (int32_t item :
                  {int32_t(p.renderingMode), int32_t(p.blurType), int32_t(p.diffusionQuality), int32_t(pre.maskType),
                   int32_t(pre.layerChannel), int32_t(p.channel), int32_t(p.toner), int32_t(p.tones),
                   int32_t(p.tonerChannel), int32_t(p.compositeSettings)}) {
                 EXPECT_EQ(item, 99);
             }
         }},
        {"angles in radians, hue in degrees", 1.0,
         [](auto& v) {
             v[13].value.d = 90;
             v[40].value.d = -180;
             v[26].value.d = 45;
         },
         [](const auto& p) {
             EXPECT_DOUBLE_EQ(p.beamPhase, kPi / 2);
             EXPECT_DOUBLE_EQ(p.preprocessing.rotation, -kPi);
             EXPECT_FLOAT_EQ(p.preprocessing.hls.red, 45.0f);
         }},
        {"convergence counts down from 10", 1.0, [](auto& v) { v[6].value.d = 7.5; },
         [](const auto& p) { EXPECT_DOUBLE_EQ(p.diffusionConvergence, 2.5); }},
        {"custom channels fall back without expressions", 1.0, [](auto& v) { v[51].value.i = v[66].value.i = 13; },
         [](const auto& p) {
             EXPECT_EQ(p.channel, 1);
             EXPECT_EQ(p.tonerChannel, 1);
             EXPECT_TRUE(p.customChannel.empty());
         }},
        {"a checkbox byte other than 1 is on", 1.0, [](auto& v) { v[47].value.i = 0x100 | 7; },
         [](const auto& p) { EXPECT_TRUE(p.useThreshold2); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ParameterValue> values = defaultValues();
        c.set(values);
        Glow::GlowParameters p;
        ASSERT_EQ(fill(values, p, c.ds), PF_Err_NONE);
        c.check(p);
    }
}

TEST_F(GlowRecord, APendingErrorStopsTheFillingAtTheFirstLookUp) {
    std::vector<ParameterValue> values = defaultValues();
    values[14].value.i = 1;  // Kernel on: its layer would be looked up
    values[72].value.d = 40;
    Glow::GlowParameters p;
    host().log().clear();
    EXPECT_EQ(fill(values, p, 1.0, PF_Err_OUT_OF_MEMORY), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host().log().count("checkout_param"), 0u);
    EXPECT_DOUBLE_EQ(p.blurRadius, 20.0);
    EXPECT_EQ(p.sourceOpacity, 0.0);  // never reached
}

TEST_F(GlowRecord, TheGapIsMeasuredWithTheHostsFabs) {
    // A host whose fabs says every difference is large: the pair is taken as it is.
    static int calls = 0;
    calls = 0;
    PF_UtilCallbacks utils = *in_data_.utils;
    in_data_.utils = &utils;
    utils.ansi.fabs = [](double) {
        ++calls;
        return 1.0;
    };
    std::vector<ParameterValue> values = defaultValues();
    values[29].value.d = values[30].value.d = 50;
    Glow::GlowParameters p;
    ASSERT_EQ(fill(values, p), PF_Err_NONE);
    EXPECT_DOUBLE_EQ(p.preprocessing.white, 0.5);
    EXPECT_EQ(calls, 6);
}

// ---------------------------------------------------------------- look-ups in the host

// The glow placed on a layer, so that its layer parameters and expression texts are the host's.
class GlowRecordLookUps : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        instance_ = std::make_unique<Sim::PluginInstance>(host(), &EntryPointFunc, "MorvelGlow");
        ASSERT_EQ(instance_->globalSetup(), PF_Err_NONE);
        ASSERT_EQ(instance_->paramSetup(), PF_Err_NONE);
        instance_->placeOnLayer(AEGP_ObjectType_AV, 16, 12);
        host().fillInData(in_, &instance_->effect());
        in_.global_data = instance_->globalData();
    }
    void TearDown() override {
        EXPECT_TRUE(instance_->commandScopeBalanced()) << instance_->ledgerReport();
        instance_.reset();
        HostTest::TearDown();
    }

    PF_Err setText(int id, const char* text) {
        AEGP_SuiteHandler suites(in_.pica_basicP);
        Morvel::EffectHandle effect(instance_->effect().pluginId, &in_, suites);
        PF_Err err = effect.init();
        Morvel::ColorExpressionData::Data data{};
        std::strncpy(data.text, text, sizeof data.text - 1);
        if (err == PF_Err_NONE) {
            err = Morvel::ColorExpressionData::SetData(instance_->effect().pluginId, &in_, suites, effect.effect(), id,
                                                       &data);
        }
        const PF_Err disposed = effect.dispose();
        return err != PF_Err_NONE ? err : disposed;
    }

    PF_Err fill(const std::vector<ParameterValue>& values, Glow::GlowParameters& out) {
        AEGP_SuiteHandler suites(in_.pica_basicP);
        Morvel::EffectHandle effect(instance_->effect().pluginId, &in_, suites);
        PF_Err err = effect.init();
        const Glow::GlowParametersSource source{&in_, suites, instance_->effect().pluginId, effect.effect(), {0, 30},
                                                1.0,  false};
        err = Glow::fillGlowParameters(source, values.data(), err, out);
        const PF_Err disposed = effect.dispose();
        return err != PF_Err_NONE ? err : disposed;
    }

    std::unique_ptr<Sim::PluginInstance> instance_;
    PF_InData in_{};
};

TEST_F(GlowRecordLookUps, CustomChannelsParseTheirTextsOrFallBackToLuminance) {
    struct Case {
        const char* name;
        const char* text;
        bool parses;
    } cases[] = {
        {"the default", "a * r * s", true},
        {"empty", "", false},
        {"unparsable", "r +", false},
        {"a constant", "0.25", true},
    };
    const Color<float> probe(0.5f, 0.8f, 0.4f, 0.2f);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(setText(64, c.text), PF_Err_NONE);
        ASSERT_EQ(setText(82, c.text), PF_Err_NONE);
        std::vector<ParameterValue> values = defaultValues();
        values[51].value.i = values[66].value.i = 13;
        Glow::GlowParameters p;
        ASSERT_EQ(fill(values, p), PF_Err_NONE);
        EXPECT_EQ(p.channel, c.parses ? 13 : 1);
        EXPECT_EQ(p.tonerChannel, c.parses ? 13 : 1);
        EXPECT_EQ(p.customChannel.empty(), !c.parses);
        if (c.parses) {
            Morvel::ColorExpressionData::Expression direct;
            ASSERT_TRUE(Morvel::ColorExpressionData::parseExpression(c.text, direct));
            EXPECT_FLOAT_EQ(p.customChannel.evaluate(probe), direct.evaluate(probe));
            EXPECT_FLOAT_EQ(p.tonerCustomChannel.evaluate(probe), direct.evaluate(probe));
        }
    }
}

TEST_F(GlowRecordLookUps, EmptyLayersSwitchOffOrFallBack) {
    struct Case {
        const char* name;
        std::function<void(std::vector<ParameterValue>&)> set;
        std::function<void(const Glow::GlowParameters&)> check;
    } cases[] = {
        {"kernel without a layer is off", [](auto& v) { v[14].value.i = 1; },
         [](const auto& p) {
             EXPECT_FALSE(p.kernel);
             EXPECT_EQ(p.kernelLayer, nullptr);
             EXPECT_DOUBLE_EQ(p.kernelIntensity, 1.0);
         }},
        {"layer mask without a layer is off",
         [](auto& v) {
             v[34].value.i = 1;
             v[35].value.i = 3;
         },
         [](const auto& p) { EXPECT_FALSE(p.preprocessing.useMask); }},
        {"a drawn mask needs no layer",
         [](auto& v) {
             v[34].value.i = 1;
             v[35].value.i = 2;
         },
         [](const auto& p) { EXPECT_TRUE(p.preprocessing.useMask); }},
        {"Tones 4 without a map: monotone in white",
         [](auto& v) {
             v[56].value.i = 4;
             setColor(v[57], 0.1f, 0.2f, 0.3f);
         },
         [](const auto& p) {
             EXPECT_EQ(p.tones, 1);
             expectColor(p.highlight, 1, 1, 1, "highlight");
         }},
        {"Tones 5 without a map: monotone in the shadow colour",
         [](auto& v) {
             v[56].value.i = 5;
             setColor(v[59], 0.3f, 0.6f, 0.9f);
         },
         [](const auto& p) {
             EXPECT_EQ(p.tones, 1);
             expectColor(p.highlight, 0.3f, 0.6f, 0.9f, "highlight");
         }},
        {"Tones 6 without a map: monotone in the highlight",
         [](auto& v) {
             v[56].value.i = 6;
             setColor(v[57], 0.1f, 0.2f, 0.3f);
         },
         [](const auto& p) {
             EXPECT_EQ(p.tones, 1);
             expectColor(p.highlight, 0.1f, 0.2f, 0.3f, "highlight");
             EXPECT_EQ(p.tonerMap, nullptr);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ParameterValue> values = defaultValues();
        c.set(values);
        Glow::GlowParameters p;
        ASSERT_EQ(fill(values, p), PF_Err_NONE);
        c.check(p);
    }
}

TEST_F(GlowRecordLookUps, LayersSetToImagesAreHeldByTheRecord) {
    instance_->setLayerParam(17, Sim::Image(8, 8, PF_PixelFormat_ARGB32));
    instance_->setLayerParam(72, Sim::Image(4, 2, PF_PixelFormat_ARGB32));
    std::vector<ParameterValue> values = defaultValues();
    values[14].value.i = 1;
    values[56].value.i = 5;
    {
        Glow::GlowParameters p;
        ASSERT_EQ(fill(values, p), PF_Err_NONE);
        EXPECT_TRUE(p.kernel);
        ASSERT_NE(p.kernelLayer, nullptr);
        EXPECT_EQ(p.kernelLayer->world->width, 8);
        EXPECT_EQ(p.tones, 5);
        ASSERT_NE(p.tonerMap, nullptr);
        EXPECT_EQ(p.tonerMap->world->height, 2);
    }
    // A failing look-up ends the filling with its error; what was checked out goes back.
    host().faults().failCall("checkout_param", 2, PF_Err_OUT_OF_MEMORY);
    Glow::GlowParameters failed;
    EXPECT_EQ(fill(values, failed), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(failed.tonerMap, nullptr);
    host().faults().clear();
}

}  // namespace
