#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "host/sim/frame.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "support/case_name.h"
#include "support/plugin_fixture.h"

namespace {

struct Effect {
    const char* file;
    const char* name;
    const char* matchName;
    uint32_t outFlags;
    uint32_t outFlags2;
    // Data lengths of the name and match-name properties: length byte, characters, padding.
    uint32_t nameLength;
    uint32_t matchNameLength;
    // Commands this effect never handles besides those no effect handles.
    std::vector<PF_Cmd> ownUnknown;
};

const Effect kEffects[] = {
    {"MorvelGlow", "MorvelGlow", "MorvelGlow 2", 0x06008000, 0x1400, 12, 16, {}},
    {"MorvelTiltShift", "MorvelTiltShift", "MorvelTiltShift", 0x06008000, 0x1480, 16, 16, {PF_Cmd_ARBITRARY_CALLBACK}},
    {"MorvelDiffusion",
     "MorvelDiffusion",
     "MorvelDiffusion 2",
     0x06000000,
     0x1480,
     16,
     20,
     {PF_Cmd_EVENT, PF_Cmd_ARBITRARY_CALLBACK}},
};

void PrintTo(const Effect& effect, std::ostream* out) { *out << effect.file; }

// The property list as the host's format lays it out, written down from the effect's values.
std::vector<uint8_t> expectedPropertyList(const Effect& e) {
    std::vector<uint8_t> b;
    auto u16 = [&](uint32_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    auto text = [&](const std::string& s) { b.insert(b.end(), s.begin(), s.end()); };
    auto property = [&](const char* key, uint32_t length) {
        text("8BIM");
        text(key);
        u32(0);
        u32(length);
    };
    auto padTo = [&](size_t size) { b.resize(size, 0); };

    u16(1);
    u32(0);
    u32(12);
    property("kind", 4);
    text("eFKT");
    property("name", e.nameLength);
    size_t end = b.size() + e.nameLength;
    b.push_back(uint8_t(std::strlen(e.name)));
    text(e.name);
    padTo(end);
    property("catg", 8);
    b.push_back(6);
    text("Morvel");
    b.push_back(0);
    property("8664", 16);
    text("EntryPointFunc");
    u16(0);
    property("ePVR", 4);
    u16(2);
    u16(0);
    property("eSVR", 4);
    u16(13);
    u16(1);
    property("eVER", 4);
    u32(0x80600);
    property("eINF", 4);
    u32(0);
    property("eGLO", 4);
    u32(e.outFlags);
    property("eGL2", 4);
    u32(e.outFlags2);
    property("eMNA", e.matchNameLength);
    end = b.size() + e.matchNameLength;
    b.push_back(uint8_t(std::strlen(e.matchName)));
    text(e.matchName);
    padTo(end);
    property("aeFL", 4);
    u32(8);
    return b;
}

class EffectEntryTest : public PluginHostTest, public ::testing::WithParamInterface<Effect> {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        load(GetParam().file);
        start(Setup::None);
    }

    // An output record as a host might leave it between calls, with a terminated message.
    static PF_OutData patterned() {
        PF_OutData out;
        std::memset(&out, 0xA5, sizeof out);
        out.return_msg[PF_MAX_RETURN_MSG_LEN - 1] = '\0';
        return out;
    }
};

TEST_P(EffectEntryTest, AboutTextNamesTheEffectAndItsVersion) {
    ASSERT_EQ(instance().globalSetup(), PF_Err_NONE);
    ASSERT_EQ(instance().command(PF_Cmd_ABOUT), PF_Err_NONE);
    const std::string text = instance().lastOut().return_msg;
    EXPECT_EQ(text.substr(0, text.find('\r')), std::string(GetParam().name) + ", v1.0.0");
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    EXPECT_TRUE(instance().violations().empty());
}

TEST_P(EffectEntryTest, PropertyListByteForByte) {
    EXPECT_EQ(plugin_->propertyListBytes(), expectedPropertyList(GetParam()));
}

TEST_P(EffectEntryTest, PropertyListAgreesWithGlobalSetup) {
    ASSERT_EQ(instance().globalSetup(), PF_Err_NONE);
    const PF_OutData& out = instance().globalSetupOut();
    const Sim::PropertyList& list = plugin_->properties();
    EXPECT_EQ(out.my_version, list.effectVersion);
    EXPECT_EQ(static_cast<uint32_t>(out.out_flags), list.outFlags);
    EXPECT_EQ(static_cast<uint32_t>(out.out_flags2), list.outFlags2);
    EXPECT_EQ(list.outFlags, GetParam().outFlags);
    EXPECT_EQ(list.outFlags2, GetParam().outFlags2);
}

TEST_P(EffectEntryTest, GlobalSetupKeepsOnlyTheGlobalDataAndSetdownGivesItBack) {
    ASSERT_EQ(instance().globalSetup(), PF_Err_NONE);
    PF_Handle global = instance().globalData();
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(host().handleSize(global), 16u);
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    EXPECT_EQ(host().ledger().outstanding(), 1u);
    EXPECT_EQ(instance().globalSetdown(), PF_Err_NONE);
    EXPECT_FALSE(host().isLiveHandle(global));
    EXPECT_TRUE(instance().violations().empty()) << instance().violations().front();
}

TEST_P(EffectEntryTest, UnknownCommandsReturn0AndTouchNothing) {
    ASSERT_EQ(instance().globalSetup(), PF_Err_NONE);
    std::vector<PF_Cmd> unknown = {2, 5, 6, 7, 8, 9, 10, 11, 12, 16, 17, 18, 19, 20, 21, 25, 26, 1000, -1};
    unknown.insert(unknown.end(), GetParam().ownUnknown.begin(), GetParam().ownUnknown.end());
    for (PF_Cmd cmd : unknown) {
        PF_OutData out = patterned();
        const PF_OutData before = out;
        EXPECT_EQ(instance().run(cmd, out), PF_Err_NONE) << "command " << cmd;
        EXPECT_EQ(std::memcmp(&out, &before, sizeof out), 0) << "command " << cmd << " changed the output record";
        EXPECT_TRUE(instance().commandScopeBalanced()) << "command " << cmd << "\n" << instance().ledgerReport();
    }
    EXPECT_TRUE(instance().violations().empty());
}

TEST_P(EffectEntryTest, MissingSuiteIs516ThroughTheEntry) {
    struct Case {
        const char* suite;
        int version;
    } cases[] = {{"PF Handle Suite", 2}, {"AEGP Utility Suite", 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suite);
        host().faults().clear();
        host().faults().makeSuiteMissing(c.suite, c.version);
        Sim::PluginInstance fresh(host(), *plugin_);
        EXPECT_EQ(fresh.globalSetup(), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(fresh.globalData(), nullptr);
        EXPECT_TRUE(host().ledger().balanced()) << host().ledger().report();
        EXPECT_TRUE(fresh.violations().empty());
    }
}

TEST_P(EffectEntryTest, GlobalSetupFailuresThroughTheEntry) {
    struct Case {
        const char* failing;
        PF_Err planned;
        PF_Err expected;
    } cases[] = {
        {"host_new_handle", 1, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {"host_lock_handle", 1, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {"AEGP_RegisterWithAEGP", PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        host().faults().clear();
        host().faults().failCall(c.failing, 1, c.planned);
        Sim::PluginInstance fresh(host(), *plugin_);
        EXPECT_EQ(fresh.globalSetup(), c.expected);
        EXPECT_EQ(fresh.globalData(), nullptr);
        EXPECT_TRUE(host().ledger().balanced()) << host().ledger().report();
        EXPECT_TRUE(fresh.violations().empty());
    }
}

TEST_P(EffectEntryTest, ALoadedInstanceSitsOnALayerUnderTheIdItRegistered) {
    ASSERT_EQ(instance().globalSetup(), PF_Err_NONE);
    ASSERT_EQ(instance().paramSetup(), PF_Err_NONE);
    instance().placeOnLayer(AEGP_ObjectType_TEXT, 32, 16);
    ASSERT_NE(instance().effect().pluginId, 0);
    EXPECT_EQ(instance().effect().pluginId, *reinterpret_cast<AEGP_PluginID*>(*instance().globalData()));

    PF_InData in{};
    host().fillInData(in, &instance().effect());
    {
        AEGP_SuiteHandler suites(in.pica_basicP);
        AEGP_LayerH layer = nullptr;
        AEGP_ObjectType type = AEGP_ObjectType_NONE;
        AEGP_EffectRefH self = nullptr;
        ASSERT_EQ(suites.PFInterfaceSuite1()->AEGP_GetEffectLayer(in.effect_ref, &layer), PF_Err_NONE);
        ASSERT_EQ(suites.LayerSuite13()->AEGP_GetLayerObjectType(layer, &type), PF_Err_NONE);
        EXPECT_EQ(type, AEGP_ObjectType_TEXT);
        ASSERT_EQ(
            suites.PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(instance().effect().pluginId, in.effect_ref, &self),
            PF_Err_NONE);
        EXPECT_EQ(suites.EffectSuite2()->AEGP_DisposeEffect(self), PF_Err_NONE);
    }
    EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    EXPECT_TRUE(instance().violations().empty());
}

// Finite float colour in, finite colour out: each slider at its valid minimum and maximum, and each
// blending mode, at 32 bits on a small picture with colour above 1, below 0 and grey.
TEST_P(EffectEntryTest, ThirtyTwoBitRendersOfAFinitePictureStayFinite) {
    ASSERT_EQ(instance().globalSetup(), PF_Err_NONE);
    ASSERT_EQ(instance().paramSetup(), PF_Err_NONE);
    constexpr int kWidth = 12, kHeight = 8;
    instance().placeOnLayer(AEGP_ObjectType_AV, kWidth, kHeight, PF_PixelFormat_ARGB128);
    Sim::Image& layer = *host().worlds().hostImage(instance().effect().inputLayer);
    const PF_PixelFloat kColours[] = {{1, 4, 2.5f, 0.5f},       {1, -0.5f, 0.25f, 3}, {1, 3, 3, 3},
                                      {1, -1, -1, -1},          {0.5f, 8, 0, -2},     {1, 0.5f, 0.5f, 0.5f},
                                      {0.25f, 1.5f, 1.5f, 1.5f}};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) layer.at<PF_PixelFloat>(x, y) = kColours[(x + 3 * y) % std::size(kColours)];
    }
    // A bright patch, so that the glow itself rises well above 1.
    for (int y = 2; y < 6; ++y) {
        for (int x = 3; x < 8; ++x) layer.at<PF_PixelFloat>(x, y) = PF_PixelFloat{1, 16, 12, 8};
    }

    struct Setting {
        std::string name;
        int index;
        std::function<void(PF_ParamDefUnion&)> change;
    };
    std::vector<Setting> settings;
    const int count = instance().lastOut().num_params;
    for (int i = 1; i < count; ++i) {
        const PF_ParamDef& def = Sim::paramValue(instance().effect(), i);
        const std::string name = def.name;
        if (def.param_type == PF_Param_FLOAT_SLIDER) {
            const double low = def.u.fs_d.valid_min, high = def.u.fs_d.valid_max;
            settings.push_back({name + " at its minimum", i, [low](PF_ParamDefUnion& u) { u.fs_d.value = low; }});
            settings.push_back({name + " at its maximum", i, [high](PF_ParamDefUnion& u) { u.fs_d.value = high; }});
        } else if (def.param_type == PF_Param_SLIDER) {
            const int32_t low = def.u.sd.valid_min, high = def.u.sd.valid_max;
            settings.push_back({name + " at its minimum", i, [low](PF_ParamDefUnion& u) { u.sd.value = low; }});
            settings.push_back({name + " at its maximum", i, [high](PF_ParamDefUnion& u) { u.sd.value = high; }});
        } else if (def.param_type == PF_Param_POPUP && name == "Blending Mode") {
            for (int item = 1; item <= def.u.pd.num_choices; ++item) {
                const std::string text(Sim::menuItem(def.u.pd.namesptr, item));
                if (text == "(-") continue;
                settings.push_back({name + " " + text, i, [item](PF_ParamDefUnion& u) { u.pd.value = item; }});
            }
        }
    }
    ASSERT_GT(settings.size(), 20u);

    for (const Setting& setting : settings) {
        SCOPED_TRACE(setting.name);
        const PF_ParamDef before = Sim::paramValue(instance().effect(), setting.index);
        set(setting.index, setting.change);
        Sim::FrameRequest request;
        request.depth = 32;
        const Sim::FrameResult frame = instance().renderFrame(request);
        set(setting.index, [&before](PF_ParamDefUnion& u) { u = before.u; });
        ASSERT_EQ(frame.err(), PF_Err_NONE);
        int nonFinite = 0;
        for (int y = 0; y < frame.output.height(); ++y) {
            for (int x = 0; x < frame.output.width(); ++x) {
                const PF_PixelFloat& p = frame.output.at<PF_PixelFloat>(x, y);
                for (float v : {p.alpha, p.red, p.green, p.blue}) nonFinite += std::isfinite(v) ? 0 : 1;
            }
        }
        EXPECT_EQ(nonFinite, 0);
        EXPECT_TRUE(instance().commandScopeBalanced()) << instance().ledgerReport();
    }
    EXPECT_TRUE(instance().violations().empty());
}

INSTANTIATE_TEST_SUITE_P(Effects, EffectEntryTest, ::testing::ValuesIn(kEffects), RowName());

// ---------------------------------------------------------------- the glow's own commands

class GlowEntryTest : public HostTest {
protected:
    Sim::Plugin plugin_{Sim::builtPluginPath("MorvelGlow")};
};

TEST_F(GlowEntryTest, UserChangedParamOnlyAsksForARefresh) {
    Sim::PluginInstance instance(host(), plugin_);
    ASSERT_EQ(instance.globalSetup(), PF_Err_NONE);
    PF_OutData out;
    std::memset(&out, 0x5A, sizeof out);
    out.return_msg[PF_MAX_RETURN_MSG_LEN - 1] = '\0';
    PF_OutData expected = out;
    expected.out_flags |= PF_OutFlag_REFRESH_UI;
    EXPECT_EQ(instance.run(PF_Cmd_USER_CHANGED_PARAM, out), PF_Err_NONE);
    EXPECT_EQ(std::memcmp(&out, &expected, sizeof out), 0);
    EXPECT_TRUE(instance.commandScopeBalanced()) << instance.ledgerReport();
}

TEST_F(GlowEntryTest, NoBasicSuiteIs516FromTheEntry) {
    PF_InData in;
    host().fillInData(in, &effect_);
    in.pica_basicP = nullptr;
    PF_OutData out{};
    EXPECT_EQ(plugin_.entry()(PF_Cmd_USER_CHANGED_PARAM, &in, &out, nullptr, nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(plugin_.entry()(PF_Cmd_GLOBAL_SETUP, &in, &out, nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(out.global_data, nullptr);
}

}  // namespace
