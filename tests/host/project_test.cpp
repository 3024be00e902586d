#include "host/sim/project.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "support/project_fixture.h"

namespace {

class ProjectSuitesTest : public ProjectTest {
protected:
    const AEGP_StreamSuite9& streams() { return *suites().StreamSuite9(); }
    const AEGP_DynamicStreamSuite5& dynamic() { return *suites().DynamicStreamSuite5(); }
    const AEGP_KeyframeSuite4& keyframes() { return *suites().KeyframeSuite4(); }
    const AEGP_EffectSuite2& effects() { return *suites().EffectSuite2(); }
    const AEGP_MemorySuite1& memory() { return *suites().MemorySuite1(); }

    AEGP_StreamRefH paramRef(int index) { return host().project().newStreamRef(param(index)); }
    void release(AEGP_StreamRefH ref) { EXPECT_EQ(streams().AEGP_DisposeStream(ref), PF_Err_NONE); }

    double amountAt(AEGP_StreamRefH ref, AEGP_LTimeMode mode, A_Time time) {
        AEGP_StreamValue2 value{};
        EXPECT_EQ(streams().AEGP_GetNewStreamValue(kPluginId, ref, mode, &time, false, &value), PF_Err_NONE);
        const double read = value.val.one_d;
        EXPECT_EQ(streams().AEGP_DisposeStreamValue(&value), PF_Err_NONE);
        return read;
    }
};

TEST_F(ProjectSuitesTest, UnknownAndDisposedReferencesAreRefused) {
    expectFault("error: ");
    AEGP_StreamRefH stale = paramRef(kAmount);
    release(stale);
    AEGP_EffectRefH staleEffect = host().project().newEffectRef(*effect_under_test_);
    ASSERT_EQ(effects().AEGP_DisposeEffect(staleEffect), PF_Err_NONE);
    auto bogusLayer = reinterpret_cast<AEGP_LayerH>(&stale);
    auto bogusMask = reinterpret_cast<AEGP_MaskRefH>(&stale);
    auto bogusMem = reinterpret_cast<AEGP_MemHandle>(&stale);
    auto bogusBatch = reinterpret_cast<AEGP_AddKeyframesInfoH>(&stale);
    PF_EffectInstance stranger;

    AEGP_StreamRefH outStream = nullptr;
    AEGP_EffectRefH outEffect = nullptr;
    AEGP_MemHandle outMem = nullptr;
    AEGP_StreamValue2 value{};
    PF_Boolean flag = 0;
    int32_t number = 0;
    A_Time time{0, 1};
    void* locked = nullptr;
    AEGP_MemSize size = 0;
    AEGP_ObjectType type = 0;
    AEGP_CompH comp = nullptr;
    AEGP_LayerH layer = nullptr;
    const A_UTF16Char name[] = {u'x', 0};

    struct Case {
        const char* name;
        std::function<PF_Err()> call;
    };
    const Case cases[] = {
        {"DisposeStream", [&] { return streams().AEGP_DisposeStream(stale); }},
        {"GetStreamName", [&] { return streams().AEGP_GetStreamName(kPluginId, stale, false, &outMem); }},
        {"IsStreamTimevarying", [&] { return streams().AEGP_IsStreamTimevarying(stale, &flag); }},
        {"GetNewStreamValue", [&] { return streams().AEGP_GetNewStreamValue(kPluginId, stale, 0, &time, 0, &value); }},
        {"DisposeStreamValue", [&] { return streams().AEGP_DisposeStreamValue(&value); }},
        {"SetStreamValue", [&] { return streams().AEGP_SetStreamValue(kPluginId, stale, &value); }},
        {"GetExpression", [&] { return streams().AEGP_GetExpression(kPluginId, stale, &outMem); }},
        {"SetExpression", [&] { return streams().AEGP_SetExpression(kPluginId, stale, "1"); }},
        {"GetDynamicStreamFlags", [&] { return dynamic().AEGP_GetDynamicStreamFlags(stale, &number); }},
        {"SetDynamicStreamFlag", [&] { return dynamic().AEGP_SetDynamicStreamFlag(stale, 2, 0, 1); }},
        {"SetStreamName", [&] { return dynamic().AEGP_SetStreamName(stale, name); }},
        {"GetNewParentStreamRef", [&] { return dynamic().AEGP_GetNewParentStreamRef(kPluginId, stale, &outStream); }},
        {"GetStreamIndexInParent", [&] { return dynamic().AEGP_GetStreamIndexInParent(stale, &number); }},
        {"GetStreamNumKFs", [&] { return keyframes().AEGP_GetStreamNumKFs(stale, &number); }},
        {"GetKeyframeTime", [&] { return keyframes().AEGP_GetKeyframeTime(stale, 0, 0, &time); }},
        {"StartAddKeyframes", [&] { return keyframes().AEGP_StartAddKeyframes(stale, &bogusBatch); }},
        {"AddKeyframe", [&] { return keyframes().AEGP_AddKeyframe(bogusBatch, 0, &time, &number); }},
        {"EndAddKeyframes", [&] { return keyframes().AEGP_EndAddKeyframes(true, bogusBatch); }},
        {"GetNewEffectStreamByIndex",
         [&] { return streams().AEGP_GetNewEffectStreamByIndex(kPluginId, staleEffect, 1, &outStream); }},
        {"GetEffectFlags", [&] { return effects().AEGP_GetEffectFlags(staleEffect, &number); }},
        {"DisposeEffect", [&] { return effects().AEGP_DisposeEffect(staleEffect); }},
        {"GetLayerEffectByIndex",
         [&] { return effects().AEGP_GetLayerEffectByIndex(kPluginId, bogusLayer, 0, &outEffect); }},
        {"ApplyEffect", [&] { return effects().AEGP_ApplyEffect(kPluginId, bogusLayer, key_, &outEffect); }},
        {"GetNewLayerStream", [&] { return streams().AEGP_GetNewLayerStream(kPluginId, bogusLayer, 0, &outStream); }},
        {"GetLayerObjectType", [&] { return suites().LayerSuite13()->AEGP_GetLayerObjectType(bogusLayer, &type); }},
        {"GetLayerParentComp", [&] { return suites().LayerSuite13()->AEGP_GetLayerParentComp(bogusLayer, &comp); }},
        {"GetNewMaskStream", [&] { return streams().AEGP_GetNewMaskStream(kPluginId, bogusMask, 0, &outStream); }},
        {"GetNewStreamRefForMask",
         [&] { return dynamic().AEGP_GetNewStreamRefForMask(kPluginId, bogusMask, &outStream); }},
        {"GetEffectLayer", [&] { return suites().PFInterfaceSuite1()->AEGP_GetEffectLayer(&stranger, &layer); }},
        {"GetNewEffectForEffect",
         [&] { return suites().PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(kPluginId, nullptr, &outEffect); }},
        {"LockMemHandle", [&] { return memory().AEGP_LockMemHandle(bogusMem, &locked); }},
        {"UnlockMemHandle", [&] { return memory().AEGP_UnlockMemHandle(bogusMem); }},
        {"GetMemHandleSize", [&] { return memory().AEGP_GetMemHandleSize(bogusMem, &size); }},
        {"FreeMemHandle", [&] { return memory().AEGP_FreeMemHandle(bogusMem); }},
    };
    for (const Case& c : cases) {
        host().log().clear();
        EXPECT_NE(c.call(), PF_Err_NONE) << c.name;
        EXPECT_TRUE(host().log().contains("error: ")) << c.name << " was not logged";
    }
    EXPECT_EQ(outStream, nullptr);
    EXPECT_EQ(outEffect, nullptr);
    EXPECT_EQ(outMem, nullptr);
    EXPECT_EQ(host().ledger().badReleases(), 0u);
}

TEST_F(ProjectSuitesTest, LayersReportObjectTypeAndParentComposition) {
    struct Case {
        const char* name;
        AEGP_ObjectType type;
    };
    const Case cases[] = {{"footage", AEGP_ObjectType_AV},
                          {"text", AEGP_ObjectType_TEXT},
                          {"shape", AEGP_ObjectType_SHAPE},
                          {"camera", AEGP_ObjectType_CAMERA}};
    Sim::ProjectComp& other = host().project().addComp("Comp 2");
    for (const Case& c : cases) {
        Sim::ProjectLayer& layer = host().project().addLayer(other, u"layer", c.type);
        AEGP_ObjectType type = AEGP_ObjectType_NONE;
        AEGP_CompH comp = nullptr;
        EXPECT_EQ(suites().LayerSuite13()->AEGP_GetLayerObjectType(Sim::Project::handleOf(layer), &type), PF_Err_NONE);
        EXPECT_EQ(suites().LayerSuite13()->AEGP_GetLayerParentComp(Sim::Project::handleOf(layer), &comp), PF_Err_NONE);
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(comp, Sim::Project::handleOf(other)) << c.name;
    }
    EXPECT_EQ(AEGP_ObjectType_TEXT, 3);
    EXPECT_EQ(AEGP_ObjectType_SHAPE, 4);
    AEGP_LayerH layer = nullptr;
    ASSERT_EQ(suites().PFInterfaceSuite1()->AEGP_GetEffectLayer(&effect_, &layer), PF_Err_NONE);
    EXPECT_EQ(layer, layerH());
}

TEST_F(ProjectSuitesTest, ArbitraryValuesTravelInTheirOwnHandle) {
    expectFault("AEGP_DisposeStreamValue: unknown or already disposed value record");
    AEGP_StreamRefH ref = paramRef(kCustom);
    const A_Time now{0, 1};
    AEGP_StreamValue2 value{};
    ASSERT_EQ(streams().AEGP_GetNewStreamValue(kPluginId, ref, 0, &now, true, &value), PF_Err_NONE);
    ASSERT_NE(value.val.arbH, nullptr);
    EXPECT_EQ(value.streamH, ref);
    EXPECT_EQ(in_data_.utils->get_handle_size(value.val.arbH), 256u);
    EXPECT_STREQ(*value.val.arbH, "r");
    std::memcpy(*value.val.arbH, "g*2", 4);
    ASSERT_EQ(streams().AEGP_SetStreamValue(kPluginId, ref, &value), PF_Err_NONE);
    EXPECT_EQ(host().ledger().outstanding("handle"), 1u);
    ASSERT_EQ(streams().AEGP_DisposeStreamValue(&value), PF_Err_NONE);
    EXPECT_EQ(host().ledger().outstanding("handle"), 0u) << "the value's handle goes with it";
    EXPECT_NE(streams().AEGP_DisposeStreamValue(&value), PF_Err_NONE) << "twice";

    ASSERT_EQ(streams().AEGP_GetNewStreamValue(kPluginId, ref, 0, &now, true, &value), PF_Err_NONE);
    EXPECT_STREQ(*value.val.arbH, "g*2");
    ASSERT_EQ(streams().AEGP_DisposeStreamValue(&value), PF_Err_NONE);
    release(ref);
}

TEST_F(ProjectSuitesTest, ValuesAndReferencesStayInTheLedgerUntilGivenBack) {
    expectFault("AEGP_DisposeStreamValue: unknown or already disposed value record");
    AEGP_StreamRefH ref = paramRef(kCentre);
    const A_Time now{0, 1};
    AEGP_StreamValue2 value{};
    ASSERT_EQ(streams().AEGP_GetNewStreamValue(kPluginId, ref, 0, &now, false, &value), PF_Err_NONE);
    EXPECT_EQ(host().ledger().outstanding("stream value"), 1u);
    EXPECT_EQ(host().ledger().outstanding("stream reference"), 1u);
    AEGP_StreamValue2 copy = value;
    EXPECT_NE(streams().AEGP_DisposeStreamValue(&copy), PF_Err_NONE) << "a copy is not the record handed out";
    EXPECT_EQ(streams().AEGP_DisposeStreamValue(&value), PF_Err_NONE);
    release(ref);
    EXPECT_EQ(host().ledger().outstanding("stream value") + host().ledger().outstanding("stream reference"), 0u);
}

TEST_F(ProjectSuitesTest, KeyframeBatchesCommitInTimeOrderOrAreDropped) {
    expectFault("AEGP_SetStreamValue: the stream has keyframes");
    AEGP_StreamRefH ref = paramRef(kAmount);
    auto addBatch = [&](bool commit, std::initializer_list<std::pair<A_Time, double>> keys, bool setValues) {
        AEGP_AddKeyframesInfoH batch = nullptr;
        ASSERT_EQ(keyframes().AEGP_StartAddKeyframes(ref, &batch), PF_Err_NONE);
        for (const auto& [time, amount] : keys) {
            int32_t index = -1;
            ASSERT_EQ(keyframes().AEGP_AddKeyframe(batch, AEGP_LTimeMode_LayerTime, &time, &index), PF_Err_NONE);
            if (!setValues) continue;
            AEGP_StreamValue2 value{};
            ASSERT_EQ(streams().AEGP_GetNewStreamValue(kPluginId, ref, 0, &time, true, &value), PF_Err_NONE);
            value.val.one_d = amount;
            EXPECT_EQ(keyframes().AEGP_SetAddKeyframe(batch, index, &value), PF_Err_NONE);
            EXPECT_EQ(streams().AEGP_DisposeStreamValue(&value), PF_Err_NONE);
        }
        ASSERT_EQ(keyframes().AEGP_EndAddKeyframes(commit, batch), PF_Err_NONE);
    };
    addBatch(false, {{{1, 1}, 5.0}}, true);
    EXPECT_TRUE(param(kAmount).keys.empty()) << "a dropped batch adds nothing";

    addBatch(true, {{{4, 1}, 8.0}, {{0, 1}, 0.0}, {{2, 1}, 2.0}}, true);
    int32_t count = 0;
    ASSERT_EQ(keyframes().AEGP_GetStreamNumKFs(ref, &count), PF_Err_NONE);
    ASSERT_EQ(count, 3);
    double last = -1;
    for (int i = 0; i < count; ++i) {
        A_Time time{};
        ASSERT_EQ(keyframes().AEGP_GetKeyframeTime(ref, i, AEGP_LTimeMode_LayerTime, &time), PF_Err_NONE);
        EXPECT_GT(double(time.value) / time.scale, last);
        last = double(time.value) / time.scale;
    }
    // Piecewise linear through (0,0), (2,2), (4,8).
    EXPECT_DOUBLE_EQ(amountAt(ref, AEGP_LTimeMode_LayerTime, {1, 1}), 1.0);
    EXPECT_DOUBLE_EQ(amountAt(ref, AEGP_LTimeMode_LayerTime, {3, 1}), 5.0);

    // A key without a value takes what the stream had at its time.
    addBatch(true, {{{3, 1}, 0.0}}, false);
    EXPECT_DOUBLE_EQ(amountAt(ref, AEGP_LTimeMode_LayerTime, {3, 1}), 5.0);
    EXPECT_EQ(param(kAmount).keys.size(), 4u);

    AEGP_StreamValue2 value{};
    const A_Time now{0, 1};
    ASSERT_EQ(streams().AEGP_GetNewStreamValue(kPluginId, ref, 0, &now, false, &value), PF_Err_NONE);
    EXPECT_NE(streams().AEGP_SetStreamValue(kPluginId, ref, &value), PF_Err_NONE) << "keyframed stream";
    ASSERT_EQ(streams().AEGP_DisposeStreamValue(&value), PF_Err_NONE);
    release(ref);
}

TEST_F(ProjectSuitesTest, CompositionTimeIsLayerTimeShiftedByTheLayerStart) {
    layer_->start = A_Time{3, 2};
    param(kAmount).keys = {{A_Time{0, 1}, {}}, {A_Time{10, 1}, {}}};
    param(kAmount).keys[1].value.v[0] = 10;  // the value equals the layer time in seconds
    AEGP_StreamRefH ref = paramRef(kAmount);
    for (double compSeconds : {1.5, 2.0, 4.25, 9.0}) {
        const A_Time comp{int32_t(compSeconds * 4), 4};
        EXPECT_DOUBLE_EQ(amountAt(ref, AEGP_LTimeMode_CompTime, comp), compSeconds - 1.5) << compSeconds;
    }
    release(ref);
}

TEST_F(ProjectSuitesTest, ExpressionsAreKeptButNotEvaluated) {
    AEGP_StreamRefH ref = paramRef(kAmount);
    PF_Boolean varying = 1;
    ASSERT_EQ(streams().AEGP_IsStreamTimevarying(ref, &varying), PF_Err_NONE);
    EXPECT_EQ(varying, 0);
    ASSERT_EQ(streams().AEGP_SetExpression(kPluginId, ref, "time * 100"), PF_Err_NONE);
    ASSERT_EQ(streams().AEGP_SetExpressionState(kPluginId, ref, true), PF_Err_NONE);
    ASSERT_EQ(streams().AEGP_IsStreamTimevarying(ref, &varying), PF_Err_NONE);
    EXPECT_EQ(varying, 1) << "an enabled expression may vary";
    EXPECT_EQ(amountAt(ref, AEGP_LTimeMode_LayerTime, {5, 1}), 0.5);
    release(ref);
}

TEST_F(ProjectSuitesTest, OnlyGroupsAreRenamedAndNamesMustEnd) {
    expectFault("AEGP_SetDynamicStreamFlag: only the hidden or the disabled flag may be set");
    expectFault("AEGP_SetStreamName: name too long or not terminated");
    expectFault("AEGP_SetStreamName: this stream cannot be renamed");
    AEGP_StreamRefH parameter = paramRef(kAmount);
    AEGP_StreamRefH group = nullptr;
    ASSERT_EQ(dynamic().AEGP_GetNewParentStreamRef(kPluginId, parameter, &group), PF_Err_NONE);
    const A_UTF16Char name[] = {u'N', u'e', u'w', 0};
    EXPECT_NE(dynamic().AEGP_SetStreamName(parameter, name), PF_Err_NONE);
    EXPECT_EQ(param(kAmount).name, u"Amount");
    EXPECT_EQ(dynamic().AEGP_SetStreamName(group, name), PF_Err_NONE);
    EXPECT_EQ(effect_under_test_->group->name, u"New");
    std::vector<A_UTF16Char> endless(5000, u'a');
    endless.push_back(0);
    EXPECT_NE(dynamic().AEGP_SetStreamName(group, endless.data()), PF_Err_NONE);
    EXPECT_EQ(effect_under_test_->group->name, u"New");

    EXPECT_NE(dynamic().AEGP_SetDynamicStreamFlag(parameter, AEGP_DynStreamFlag_HIDDEN | 1, 0, 1), PF_Err_NONE);
    EXPECT_EQ(param(kAmount).flags, 0);
    release(group);
    release(parameter);
}

TEST_F(ProjectSuitesTest, MemoryHandlesAreCheckedAndLedgered) {
    expectFault("error: ");
    AEGP_MemHandle mem = nullptr;
    ASSERT_EQ(memory().AEGP_NewMemHandle(kPluginId, "test", 8, AEGP_MemFlag_CLEAR, &mem), PF_Err_NONE);
    void* locked = nullptr;
    ASSERT_EQ(memory().AEGP_LockMemHandle(mem, &locked), PF_Err_NONE);
    std::memcpy(locked, "1234567", 8);
    EXPECT_NE(memory().AEGP_ResizeMemHandle("test", 16, mem), PF_Err_NONE) << "locked";
    ASSERT_EQ(memory().AEGP_UnlockMemHandle(mem), PF_Err_NONE);
    EXPECT_NE(memory().AEGP_UnlockMemHandle(mem), PF_Err_NONE) << "not locked any more";
    ASSERT_EQ(memory().AEGP_ResizeMemHandle("test", 16, mem), PF_Err_NONE);
    AEGP_MemSize size = 0;
    ASSERT_EQ(memory().AEGP_GetMemHandleSize(mem, &size), PF_Err_NONE);
    EXPECT_EQ(size, 16u);
    ASSERT_EQ(memory().AEGP_LockMemHandle(mem, &locked), PF_Err_NONE);
    EXPECT_STREQ(static_cast<char*>(locked), "1234567");
    EXPECT_EQ(static_cast<char*>(locked)[15], 0);
    ASSERT_EQ(memory().AEGP_UnlockMemHandle(mem), PF_Err_NONE);
    EXPECT_EQ(memory().AEGP_FreeMemHandle(mem), PF_Err_NONE);
    EXPECT_NE(memory().AEGP_FreeMemHandle(mem), PF_Err_NONE) << "twice";

    AEGP_MemHandle huge = nullptr;
    EXPECT_NE(memory().AEGP_NewMemHandle(kPluginId, "huge", AEGP_MemSize(1) << 40, 0, &huge), PF_Err_NONE);
    EXPECT_EQ(huge, nullptr);
}

TEST_F(ProjectSuitesTest, FreeingALockedHandleIsCaught) {
    expectFault("AEGP_FreeMemHandle: memory handle freed while locked");
    AEGP_MemHandle mem = nullptr;
    ASSERT_EQ(memory().AEGP_NewMemHandle(kPluginId, "test", 4, 0, &mem), PF_Err_NONE);
    void* locked = nullptr;
    ASSERT_EQ(memory().AEGP_LockMemHandle(mem, &locked), PF_Err_NONE);
    EXPECT_EQ(memory().AEGP_FreeMemHandle(mem), PF_Err_NONE);
    EXPECT_TRUE(host().log().contains("freed while locked"));
    EXPECT_EQ(host().ledger().outstanding("memory lock"), 1u);
    EXPECT_EQ(host().project().releaseEverything(), 1u);
}

TEST_F(ProjectSuitesTest, AnAdoptedInstanceGetsStreamsForItsParameters) {
    PF_EffectInstance plugin;
    plugin.registered.resize(5);
    plugin.registered[0].param_type = PF_Param_LAYER;
    plugin.registered[1].param_type = PF_Param_FIX_SLIDER;
    std::strcpy(plugin.registered[1].name, "Radius");
    plugin.registered[1].u.fd.value = 3 << 15;  // 1.5
    plugin.registered[2].param_type = PF_Param_COLOR;
    plugin.registered[2].u.cd.value = PF_Pixel{255, 51, 0, 255};
    plugin.registered[3].param_type = PF_Param_GROUP_START;
    plugin.registered[4].param_type = PF_Param_POINT;
    plugin.registered[4].u.td = PF_PointDef{};
    plugin.registered[4].u.td.x_value = 10 << 16;
    plugin.registered[4].u.td.y_value = -(1 << 14);
    Sim::ProjectEffect& adopted = host().project().adopt(plugin, u"Adopted", AEGP_ObjectType_TEXT);
    EXPECT_EQ(plugin.projectEffect, &adopted);
    ASSERT_EQ(adopted.params.size(), 5u);
    struct Case {
        int index;
        AEGP_StreamType type;
        double v0, v1, v2, v3;
    };
    const Case cases[] = {{0, AEGP_StreamType_LAYER_ID, 0, 0, 0, 0},
                          {1, AEGP_StreamType_OneD, 1.5, 0, 0, 0},
                          {2, AEGP_StreamType_COLOR, 1, 0.2, 0, 1},
                          {3, AEGP_StreamType_NO_DATA, 0, 0, 0, 0},
                          {4, AEGP_StreamType_TwoD, 10, -0.25, 0, 0}};
    for (const Case& c : cases) {
        const Sim::ProjectStream& stream = *adopted.params[size_t(c.index)];
        EXPECT_EQ(stream.type, c.type) << c.index;
        EXPECT_DOUBLE_EQ(stream.value.v[0], c.v0) << c.index;
        EXPECT_DOUBLE_EQ(stream.value.v[1], c.v1) << c.index;
        EXPECT_DOUBLE_EQ(stream.value.v[2], c.v2) << c.index;
        EXPECT_DOUBLE_EQ(stream.value.v[3], c.v3) << c.index;
    }
    EXPECT_EQ(adopted.params[1]->name, u"Radius");
    AEGP_LayerH layer = nullptr;
    ASSERT_EQ(suites().PFInterfaceSuite1()->AEGP_GetEffectLayer(&plugin, &layer), PF_Err_NONE);
    AEGP_ObjectType type = AEGP_ObjectType_NONE;
    ASSERT_EQ(suites().LayerSuite13()->AEGP_GetLayerObjectType(layer, &type), PF_Err_NONE);
    EXPECT_EQ(type, AEGP_ObjectType_TEXT);
}

}  // namespace
