#include "library/stream/stream.h"

#include <gtest/gtest.h>

#include <functional>
#include <type_traits>

#include "support/project_fixture.h"

using Morvel::Stream;
using Morvel::StreamBase;

static_assert(!std::is_copy_constructible_v<StreamBase> && !std::is_copy_assignable_v<StreamBase>);
static_assert(!std::is_copy_constructible_v<Stream<double>>);
static_assert(!std::is_copy_constructible_v<Stream<double>::Keyframer>);

namespace {

bool operator==(const AEGP_TwoDVal& a, const AEGP_TwoDVal& b) { return a.x == b.x && a.y == b.y; }
bool operator==(const AEGP_ThreeDVal& a, const AEGP_ThreeDVal& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
bool operator==(const AEGP_ColorVal& a, const AEGP_ColorVal& b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

A_Time seconds(int value, unsigned scale = 1) { return A_Time{value, scale}; }

}  // namespace

using StreamTest = ProjectTest;

TEST_F(StreamTest, DisposeWithoutAStreamCallsNothing) {
    StreamBase stream(kPluginId, &in_data_, suites());
    EXPECT_EQ(stream.dispose(), PF_Err_NONE);
    EXPECT_TRUE(host().log().lines().empty()) << "not even a suite may be acquired";
}

TEST_F(StreamTest, EachInitFormReachesItsStream) {
    Sim::ProjectStream* effectGroup = effect_under_test_->group;
    struct Case {
        const char* name;
        std::function<PF_Err(StreamBase&, AEGP_EffectRefH)> init;
        Sim::ProjectStream* expected;
    };
    const Case cases[] = {
        {"effect parameter", [](StreamBase& s, AEGP_EffectRefH e) { return s.init(e, kCentre); }, &param(kCentre)},
        {"layer stream",
         [this](StreamBase& s, AEGP_EffectRefH) { return s.init(layerH(), int(AEGP_LayerStream_OPACITY)); },
         layer_->transform[AEGP_LayerStream_OPACITY]},
        {"mask group", [this](StreamBase& s, AEGP_EffectRefH) { return s.init(Sim::Project::handleOf(*mask_)); },
         mask_->group},
        {"mask stream",
         [this](StreamBase& s, AEGP_EffectRefH) {
             return s.init(Sim::Project::handleOf(*mask_), int(AEGP_MaskStream_FEATHER));
         },
         mask_->streams[AEGP_MaskStream_FEATHER]},
    };
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    for (const Case& c : cases) {
        StreamBase stream(kPluginId, &in_data_, suites());
        ASSERT_EQ(c.init(stream, effect), PF_Err_NONE) << c.name;
        EXPECT_EQ(streamOf(stream.stream()), c.expected) << c.name;

        StreamBase parent(kPluginId, &in_data_, suites());
        ASSERT_EQ(parent.init(stream.stream()), PF_Err_NONE) << c.name;
        EXPECT_EQ(streamOf(parent.stream()), c.expected->parent) << c.name;
    }
    StreamBase parameter(kPluginId, &in_data_, suites());
    ASSERT_EQ(parameter.init(effect, kAmount), PF_Err_NONE);
    StreamBase group(kPluginId, &in_data_, suites());
    ASSERT_EQ(group.init(parameter.stream()), PF_Err_NONE);
    EXPECT_EQ(streamOf(group.stream()), effectGroup);
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, InitDisposesTheHeldStreamFirst) {
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    StreamBase stream(kPluginId, &in_data_, suites());
    ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE);
    host().log().clear();
    ASSERT_EQ(stream.init(effect, kTint), PF_Err_NONE);
    EXPECT_EQ(host().ledger().outstanding("stream reference"), 1u);
    EXPECT_LT(firstCall("AEGP_DisposeStream"), firstCall("AEGP_GetNewEffectStreamByIndex"));
    EXPECT_EQ(streamOf(stream.stream()), &param(kTint));
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, AFailedDisposeEndsInitWithItsError) {
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    StreamBase stream(kPluginId, &in_data_, suites());
    ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE);
    AEGP_StreamRefH first = stream.stream();
    host().log().clear();
    host().faults().failCall("AEGP_DisposeStream", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(stream.init(effect, kTint), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(stream.stream(), nullptr);
    EXPECT_EQ(calls("AEGP_GetNewEffectStreamByIndex"), 0u);
    // The host kept the reference its failed dispose did not release.
    EXPECT_TRUE(host().project().disposeStreamRef(first));
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, HideAndShowSetTheFlagOnlyWhenItDiffers) {
    struct Case {
        const char* name;
        bool hiddenBefore;
        bool hide;
        size_t setCalls;
    };
    const Case cases[] = {
        {"hide a shown stream", false, true, 1},
        {"hide a hidden stream", true, true, 0},
        {"show a hidden stream", true, false, 1},
        {"show a shown stream", false, false, 0},
    };
    for (const Case& c : cases) {
        param(kAmount).flags =
            c.hiddenBefore ? AEGP_DynStreamFlag_HIDDEN | AEGP_DynStreamFlag_DISABLED : AEGP_DynStreamFlag_DISABLED;
        AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
        {
            StreamBase stream(kPluginId, &in_data_, suites());
            ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE) << c.name;
            host().log().clear();
            EXPECT_EQ(c.hide ? stream.hide(effect) : stream.show(effect), PF_Err_NONE) << c.name;
        }
        EXPECT_EQ(calls("AEGP_SetDynamicStreamFlag"), c.setCalls) << c.name;
        if (c.setCalls != 0) {
            EXPECT_TRUE(host().log().contains(c.hide ? "flag 2 set" : "flag 2 cleared")) << c.name;
        }
        EXPECT_EQ((param(kAmount).flags & AEGP_DynStreamFlag_HIDDEN) != 0, c.hide) << c.name;
        EXPECT_NE(param(kAmount).flags & AEGP_DynStreamFlag_DISABLED, 0) << c.name << ": other flags kept";
        host().project().disposeEffectRef(effect);
    }
}

TEST_F(StreamTest, HideOnOwnEffectBorrowsAndReturnsItsReference) {
    expectFault("AEGP_DisposeStream: unknown or already disposed stream reference");
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    StreamBase stream(kPluginId, &in_data_, suites());
    ASSERT_EQ(stream.init(effect, kCentre), PF_Err_NONE);
    host().project().disposeEffectRef(effect);
    host().log().clear();

    EXPECT_EQ(stream.hide(), PF_Err_NONE);
    EXPECT_EQ(calls("AEGP_GetNewEffectForEffect"), 1u);
    EXPECT_EQ(calls("AEGP_DisposeEffect"), 1u);
    EXPECT_NE(param(kCentre).flags & AEGP_DynStreamFlag_HIDDEN, 0);

    host().faults().failCall("AEGP_GetNewEffectForEffect", 1, PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(stream.show(), PF_Err_INVALID_CALLBACK);
    EXPECT_NE(param(kCentre).flags & AEGP_DynStreamFlag_HIDDEN, 0);

    host().faults().failCall("AEGP_DisposeEffect", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(stream.show(), PF_Err_INTERNAL_STRUCT_DAMAGED) << "the dispose's error counts when nothing failed before";
    EXPECT_EQ(param(kCentre).flags & AEGP_DynStreamFlag_HIDDEN, 0);
    // The failed dispose left the host holding that reference.
    EXPECT_EQ(host().ledger().outstanding("effect reference"), 1u);
    EXPECT_EQ(host().project().releaseEverything(), 2u);
}

TEST_F(StreamTest, ExpressionTextAndStateRoundTrip) {
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    StreamBase stream(kPluginId, &in_data_, suites());
    ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE);
    const std::string texts[] = {"", "time * 2", std::string(1000, 'x'), "\xc3\xa9 = 1"};
    for (const std::string& text : texts) {
        ASSERT_EQ(stream.setExpression(text), PF_Err_NONE);
        std::string read = "previous";
        EXPECT_EQ(stream.getExpression(read), PF_Err_NONE);
        EXPECT_EQ(read, text);
        EXPECT_EQ(param(kAmount).expression, text);
    }
    for (unsigned char state : {1, 0}) {
        ASSERT_EQ(stream.setExpressionState(state), PF_Err_NONE);
        unsigned char read = 7;
        EXPECT_EQ(stream.getExpressionState(read), PF_Err_NONE);
        EXPECT_EQ(read, state);
    }
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, ExpressionFailuresLeaveTheStringAndFreeTheHandle) {
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    StreamBase stream(kPluginId, &in_data_, suites());
    ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE);
    param(kAmount).expression = "value";
    struct Case {
        const char* function;
        PF_Err err;
    };
    const Case cases[] = {{"AEGP_GetExpression", PF_Err_INVALID_INDEX},
                          {"AEGP_GetMemHandleSize", PF_Err_OUT_OF_MEMORY},
                          {"AEGP_LockMemHandle", PF_Err_INVALID_CALLBACK}};
    for (const Case& c : cases) {
        host().faults().failCall(c.function, 1, c.err);
        std::string read = "untouched";
        EXPECT_EQ(stream.getExpression(read), c.err) << c.function;
        EXPECT_EQ(read, "untouched") << c.function;
        EXPECT_EQ(host().ledger().outstanding("memory handle"), 0u) << c.function;
    }
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, KeyframeQueriesReportCountAndTimesInBothModes) {
    expectFault("AEGP_GetKeyframeTime: keyframe index out of range");
    layer_->start = A_Time{2, 1};  // layer time 0 is composition time 2 s
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    Stream<double> stream(kPluginId, &in_data_, suites());
    ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE);
    int count = -1;
    EXPECT_EQ(stream.getKeyframeNum(count), PF_Err_NONE);
    EXPECT_EQ(count, 0);
    {
        auto keys = stream.getKeyframer();
        ASSERT_EQ(keys.add(AEGP_LTimeMode_LayerTime, seconds(30, 30), 1.0), PF_Err_NONE);
        ASSERT_EQ(keys.add(AEGP_LTimeMode_CompTime, seconds(90, 30), 2.0), PF_Err_NONE);  // layer 1 s
        ASSERT_EQ(keys.add(AEGP_LTimeMode_LayerTime, seconds(0, 30), 0.0), PF_Err_NONE);
    }
    EXPECT_EQ(stream.getKeyframeNum(count), PF_Err_NONE);
    EXPECT_EQ(count, 2) << "two keys at the same instant are one";
    A_Time time{};
    EXPECT_EQ(stream.getKeyframeTime(1, AEGP_LTimeMode_LayerTime, time), PF_Err_NONE);
    EXPECT_EQ(time.value * 1.0 / time.scale, 1.0);
    EXPECT_EQ(stream.getKeyframeTime(0, AEGP_LTimeMode_CompTime, time), PF_Err_NONE);
    EXPECT_EQ(time.value * 1.0 / time.scale, 2.0);
    EXPECT_EQ(stream.getKeyframeTime(2, AEGP_LTimeMode_LayerTime, time), PF_Err_INVALID_INDEX);
    host().project().disposeEffectRef(effect);
}

// Writes a value, reads it back through the same stream and through the one-call functions,
// and checks what the host stored.
template <typename T>
void checkRoundTrip(PF_InData* in_data, AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, int index, const T& value,
                    const Sim::StreamData& stored, Sim::ProjectStream& onHost) {
    {
        Stream<T> stream(7, in_data, suites);
        ASSERT_EQ(stream.init(effect, index), PF_Err_NONE);
        ASSERT_EQ(stream.setValue(A_Time{0, 30}, AEGP_LTimeMode_LayerTime, value), PF_Err_NONE);
        T read{};
        ASSERT_EQ(stream.getValue(A_Time{5, 30}, AEGP_LTimeMode_LayerTime, false, &read), PF_Err_NONE);
        EXPECT_TRUE(read == value) << "parameter " << index;
    }
    for (int i = 0; i < 4; ++i) EXPECT_EQ(onHost.value.v[i], stored.v[i]) << "parameter " << index;
    EXPECT_EQ(onHost.value.id, stored.id) << "parameter " << index;
    T read{};
    ASSERT_EQ(Morvel::getEffectValue<T>(7, in_data, suites, effect, index, A_Time{0, 1}, AEGP_LTimeMode_CompTime, true,
                                        &read),
              PF_Err_NONE);
    EXPECT_TRUE(read == value) << "parameter " << index;
}

TEST_F(StreamTest, EveryValueTypeRoundTripsAndLandsInItsUnionMember) {
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    auto data = [](double a, double b, double c, double d, int id) {
        Sim::StreamData s;
        s.v[0] = a, s.v[1] = b, s.v[2] = c, s.v[3] = d, s.id = id;
        return s;
    };
    checkRoundTrip<bool>(&in_data_, suites(), effect, kEnabled, false, data(0, 0, 0, 0, 0), param(kEnabled));
    checkRoundTrip<bool>(&in_data_, suites(), effect, kEnabled, true, data(1, 0, 0, 0, 0), param(kEnabled));
    checkRoundTrip<int>(&in_data_, suites(), effect, kLayer, 42, data(0, 0, 0, 0, 42), param(kLayer));
    checkRoundTrip<double>(&in_data_, suites(), effect, kAmount, -3.25, data(-3.25, 0, 0, 0, 0), param(kAmount));
    checkRoundTrip<AEGP_TwoDVal>(&in_data_, suites(), effect, kCentre, AEGP_TwoDVal{1.5, -2}, data(1.5, -2, 0, 0, 0),
                                 param(kCentre));
    checkRoundTrip<AEGP_ThreeDVal>(&in_data_, suites(), effect, kPoint3D, AEGP_ThreeDVal{1, 2, 3}, data(1, 2, 3, 0, 0),
                                   param(kPoint3D));
    checkRoundTrip<AEGP_ColorVal>(&in_data_, suites(), effect, kTint, AEGP_ColorVal{1, 0.25, 0.5, 0.75},
                                  data(1, 0.25, 0.5, 0.75, 0), param(kTint));
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, BoolReadsTheTruncatedValue) {
    struct Case {
        double stored;
        bool expected;
    };
    const Case cases[] = {{0, false}, {0.5, false}, {-0.9, false}, {1, true}, {1.5, true}, {-1, true}, {255, true}};
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    for (const Case& c : cases) {
        param(kEnabled).value.v[0] = c.stored;
        bool read = !c.expected;
        EXPECT_EQ(Morvel::getEffectValue<bool>(kPluginId, &in_data_, suites(), effect, kEnabled, A_Time{0, 1},
                                               AEGP_LTimeMode_LayerTime, false, &read),
                  PF_Err_NONE);
        EXPECT_EQ(read, c.expected) << "stored " << c.stored;
    }
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, AConstantStreamAnswersFromItsCache) {
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    Stream<double> stream(kPluginId, &in_data_, suites());
    ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE);
    bool constant = false;
    EXPECT_EQ(stream.isConstant(&constant), PF_Err_NONE);
    EXPECT_TRUE(constant);
    param(kAmount).value.v[0] = 9;  // changed behind the stream's back
    host().log().clear();
    struct Ask {
        A_Time time;
        short mode;
        bool pre;
    };
    for (const Ask& ask : {Ask{{0, 1}, AEGP_LTimeMode_LayerTime, false}, Ask{{100, 30}, AEGP_LTimeMode_CompTime, true},
                           Ask{{-7, 2}, AEGP_LTimeMode_LayerTime, true}}) {
        double read = 0;
        EXPECT_EQ(stream.getValue(ask.time, ask.mode, ask.pre, &read), PF_Err_NONE);
        EXPECT_EQ(read, 0.5);
    }
    EXPECT_TRUE(host().log().lines().empty()) << "no host call for a cached value";
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, ATimeVaryingStreamIsReadAtEachTime) {
    // Keys 0 at 0 s and 10 at 2 s: linear in between, held outside.
    param(kAmount).keys = {{A_Time{0, 1}, {}}, {A_Time{2, 1}, {}}};
    param(kAmount).keys[1].value.v[0] = 10;
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    Stream<double> stream(kPluginId, &in_data_, suites());
    ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE);
    bool constant = true;
    EXPECT_EQ(stream.isConstant(&constant), PF_Err_NONE);
    EXPECT_FALSE(constant);
    struct Case {
        A_Time time;
        double expected;
    };
    for (const Case& c : {Case{{15, 30}, 2.5}, Case{{1, 1}, 5}, Case{{-1, 1}, 0}, Case{{90, 30}, 10}}) {
        double read = -1;
        EXPECT_EQ(stream.getValue(c.time, AEGP_LTimeMode_LayerTime, false, &read), PF_Err_NONE);
        EXPECT_DOUBLE_EQ(read, c.expected) << c.time.value << "/" << c.time.scale;
    }
    EXPECT_EQ(calls("AEGP_GetNewStreamValue"), 4u);
    EXPECT_EQ(calls("AEGP_DisposeStreamValue"), 4u);
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, AFailedFirstReadGivesZeroAndTheError) {
    expectFault("AEGP_GetNewStreamValue: value record written over before its value was disposed");
    struct Case {
        const char* function;
        PF_Err err;
    };
    const Case cases[] = {{"AEGP_IsStreamTimevarying", PF_Err_INVALID_CALLBACK},
                          {"AEGP_GetNewStreamValue", PF_Err_OUT_OF_MEMORY},
                          {"AEGP_DisposeStreamValue", PF_Err_INTERNAL_STRUCT_DAMAGED}};
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    for (const Case& c : cases) {
        Stream<AEGP_TwoDVal> stream(kPluginId, &in_data_, suites());
        ASSERT_EQ(stream.init(effect, kCentre), PF_Err_NONE);
        host().faults().failCall(c.function, 1, c.err);
        AEGP_TwoDVal read{7, 7};
        EXPECT_EQ(stream.getValue(A_Time{0, 1}, AEGP_LTimeMode_LayerTime, false, &read), c.err) << c.function;
        EXPECT_TRUE(read == (AEGP_TwoDVal{0, 0})) << c.function;
        // Not initialised: the next read asks again and succeeds.
        EXPECT_EQ(stream.getValue(A_Time{0, 1}, AEGP_LTimeMode_LayerTime, false, &read), PF_Err_NONE) << c.function;
        EXPECT_TRUE(read == (AEGP_TwoDVal{10, 20})) << c.function;
    }
    // The planned dispose failure kept one value record alive on the host.
    EXPECT_EQ(host().ledger().outstanding("stream value"), 1u);
    host().project().disposeEffectRef(effect);
    EXPECT_EQ(host().project().releaseEverything(), 1u);
}

TEST_F(StreamTest, ANewStreamOrAWriteForgetsTheCachedValue) {
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    Stream<double> stream(kPluginId, &in_data_, suites());
    double read = 0;
    ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE);
    ASSERT_EQ(stream.getValue(A_Time{0, 1}, AEGP_LTimeMode_LayerTime, false, &read), PF_Err_NONE);
    EXPECT_EQ(read, 0.5);

    ASSERT_EQ(stream.setValue(A_Time{0, 1}, AEGP_LTimeMode_LayerTime, 4.0), PF_Err_NONE);
    ASSERT_EQ(stream.getValue(A_Time{0, 1}, AEGP_LTimeMode_LayerTime, false, &read), PF_Err_NONE);
    EXPECT_EQ(read, 4.0) << "a write through the stream is seen by its next read";

    ASSERT_EQ(stream.init(effect, kEnabled), PF_Err_NONE);
    ASSERT_EQ(stream.getValue(A_Time{0, 1}, AEGP_LTimeMode_LayerTime, false, &read), PF_Err_NONE);
    EXPECT_EQ(read, 1.0) << "another stream is not answered from the old one's cache";
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, SetValueReturnsTheFirstErrorAndDisposesTheRecord) {
    expectFault("AEGP_DisposeStream: unknown or already disposed stream reference");
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    Stream<AEGP_ColorVal> stream(kPluginId, &in_data_, suites());
    ASSERT_EQ(stream.init(effect, kTint), PF_Err_NONE);
    host().faults().failCall("AEGP_SetStreamValue", 1, PF_Err_INVALID_INDEX);
    host().faults().failCall("AEGP_DisposeStreamValue", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(stream.setValue(A_Time{0, 1}, AEGP_LTimeMode_LayerTime, AEGP_ColorVal{1, 1, 1, 1}), PF_Err_INVALID_INDEX);
    EXPECT_EQ(calls("AEGP_DisposeStreamValue"), 1u);
    host().project().disposeEffectRef(effect);
    // The planned dispose failure left the record with the host, with the stream.
    EXPECT_EQ(host().project().releaseEverything(), 2u);
}

TEST_F(StreamTest, TheKeyframeBatchOpensOnceAndClosesAtDestruction) {
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    Stream<AEGP_TwoDVal> stream(kPluginId, &in_data_, suites());
    ASSERT_EQ(stream.init(effect, kCentre), PF_Err_NONE);
    { auto unused = stream.getKeyframer(); }
    EXPECT_EQ(calls("AEGP_StartAddKeyframes") + calls("AEGP_EndAddKeyframes"), 0u) << "no batch without an add";
    {
        auto keys = stream.getKeyframer();
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(keys.add(AEGP_LTimeMode_LayerTime, A_Time{i, 1}, AEGP_TwoDVal{double(i), double(-i)}),
                      PF_Err_NONE);
        }
        EXPECT_EQ(calls("AEGP_StartAddKeyframes"), 1u);
        EXPECT_EQ(calls("AEGP_EndAddKeyframes"), 0u);
        EXPECT_TRUE(param(kCentre).keys.empty()) << "keys land when the batch closes";
        EXPECT_EQ(host().ledger().outstanding("keyframe batch"), 1u);
    }
    EXPECT_EQ(calls("AEGP_EndAddKeyframes"), 1u);
    ASSERT_EQ(param(kCentre).keys.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(param(kCentre).keys[size_t(i)].value.v[0], i);
        EXPECT_EQ(param(kCentre).keys[size_t(i)].value.v[1], -i);
    }
    AEGP_TwoDVal read{};
    Stream<AEGP_TwoDVal> again(kPluginId, &in_data_, suites());
    ASSERT_EQ(again.init(effect, kCentre), PF_Err_NONE);
    ASSERT_EQ(again.getValue(A_Time{3, 2}, AEGP_LTimeMode_LayerTime, false, &read), PF_Err_NONE);
    EXPECT_TRUE(read == (AEGP_TwoDVal{1.5, -1.5}));
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, AKeyframerMovedAwayClosesItsBatchOnce) {
    AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
    Stream<double> stream(kPluginId, &in_data_, suites());
    ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE);
    {
        auto keys = stream.getKeyframer();
        ASSERT_EQ(keys.add(AEGP_LTimeMode_LayerTime, A_Time{1, 1}, 3.0), PF_Err_NONE);
        Stream<double>::Keyframer moved(std::move(keys));
        ASSERT_EQ(moved.add(AEGP_LTimeMode_LayerTime, A_Time{2, 1}, 4.0), PF_Err_NONE);
    }
    EXPECT_EQ(calls("AEGP_StartAddKeyframes"), 1u);
    EXPECT_EQ(calls("AEGP_EndAddKeyframes"), 1u);
    EXPECT_EQ(param(kAmount).keys.size(), 2u);
    host().project().disposeEffectRef(effect);
}

TEST_F(StreamTest, LayerStreamsReadAndWriteInOneCall) {
    expectFault("AEGP_GetNewEffectStreamByIndex: null effect reference");
    expectFault("AEGP_GetNewLayerStream: no such layer stream");
    const AEGP_ThreeDVal position{320, 240, -5};
    ASSERT_EQ(
        Morvel::setLayerStreamValue<AEGP_ThreeDVal>(kPluginId, &in_data_, suites(), layerH(), AEGP_LayerStream_POSITION,
                                                    A_Time{0, 1}, AEGP_LTimeMode_CompTime, position),
        PF_Err_NONE);
    AEGP_ThreeDVal read{};
    ASSERT_EQ(
        Morvel::getLayerStreamValue<AEGP_ThreeDVal>(kPluginId, &in_data_, suites(), layerH(), AEGP_LayerStream_POSITION,
                                                    A_Time{0, 1}, AEGP_LTimeMode_LayerTime, false, &read),
        PF_Err_NONE);
    EXPECT_TRUE(read == position);
    double opacity = 0;
    ASSERT_EQ(Morvel::getLayerStreamValue<double>(kPluginId, &in_data_, suites(), layerH(), AEGP_LayerStream_OPACITY,
                                                  A_Time{0, 1}, AEGP_LTimeMode_LayerTime, false, &opacity),
              PF_Err_NONE);
    EXPECT_EQ(opacity, 100);
    EXPECT_EQ(Morvel::getLayerStreamValue<double>(kPluginId, &in_data_, suites(), layerH(), 99, A_Time{0, 1},
                                                  AEGP_LTimeMode_LayerTime, false, &opacity),
              PF_Err_INVALID_INDEX);
    EXPECT_EQ(Morvel::setEffectValue<int>(kPluginId, &in_data_, suites(), nullptr, kLayer, A_Time{0, 1},
                                          AEGP_LTimeMode_LayerTime, 3),
              PF_Err_BAD_CALLBACK_PARAM);
}

TEST_F(StreamTest, AMissingSuiteRaisesTheSuiteError) {
    host().faults().makeSuiteMissing(kAEGPStreamSuite, kAEGPStreamSuiteVersion9);
    Stream<double> stream(kPluginId, &in_data_, suites());
    EXPECT_THROW(stream.init(layerH(), 0), PF_Err);
}

// A suite found missing after the host handed something out must not strand it.
TEST_F(StreamTest, AMissingSuiteStrandsNoReferenceOrHandle) {
    struct Case {
        const char* name;
        const char* suite;
        int version;
        std::function<void(StreamBase&)> call;
    };
    const Case cases[] = {
        {"hide without the dynamic stream suite", kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion5,
         [](StreamBase& s) { s.hide(); }},
        {"show without the effect suite", kAEGPEffectSuite, kAEGPEffectSuiteVersion2, [](StreamBase& s) { s.show(); }},
        {"expression without the memory suite", kAEGPMemorySuite, kAEGPMemorySuiteVersion1,
         [](StreamBase& s) {
             std::string text;
             s.getExpression(text);
         }},
    };
    for (const Case& c : cases) {
        AEGP_EffectRefH effect = host().project().newEffectRef(*effect_under_test_);
        {
            AEGP_SuiteHandler suites(in_data_.pica_basicP);
            StreamBase stream(kPluginId, &in_data_, suites);
            ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE) << c.name;
            host().faults().makeSuiteMissing(c.suite, c.version);
            EXPECT_THROW(c.call(stream), PF_Err) << c.name;
            host().faults().clear();
        }
        host().project().disposeEffectRef(effect);
        EXPECT_EQ(host().ledger().outstanding("effect reference"), 0u) << c.name;
        EXPECT_EQ(host().ledger().outstanding("memory handle"), 0u) << c.name;
        EXPECT_EQ(host().ledger().outstanding("stream reference"), 0u) << c.name;
    }
}
