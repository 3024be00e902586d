#include "library/effect/effect_handle.h"

#include <gtest/gtest.h>

#include <functional>
#include <type_traits>

#include "library/stream/stream.h"
#include "support/project_fixture.h"

using Morvel::EffectHandle;

static_assert(!std::is_copy_constructible_v<EffectHandle> && !std::is_copy_assignable_v<EffectHandle>);

using EffectHandleTest = ProjectTest;

TEST_F(EffectHandleTest, DisposeWithoutAReferenceCallsNothing) {
    EffectHandle handle(kPluginId, &in_data_, suites());
    EXPECT_EQ(handle.dispose(), PF_Err_NONE);
    EXPECT_TRUE(host().log().lines().empty());
}

TEST_F(EffectHandleTest, InitReachesTheRunningInstance) {
    EffectHandle handle(kPluginId, &in_data_, suites());
    ASSERT_EQ(handle.init(), PF_Err_NONE);
    EXPECT_EQ(host().project().findEffectRef(handle.effect(), "test"), effect_under_test_);
    int key = 0;
    EXPECT_EQ(handle.getKey(key), PF_Err_NONE);
    EXPECT_EQ(key, key_);
    EXPECT_EQ(handle.dispose(), PF_Err_NONE);
    EXPECT_EQ(handle.effect(), nullptr);
    EXPECT_EQ(handle.dispose(), PF_Err_NONE);
    EXPECT_EQ(calls("AEGP_DisposeEffect"), 1u);
}

TEST_F(EffectHandleTest, InitOnAReferenceDisposesTheHeldOneFirst) {
    EffectHandle handle(kPluginId, &in_data_, suites());
    ASSERT_EQ(handle.init(), PF_Err_NONE);
    AEGP_EffectRefH other = host().project().newEffectRef(*last_);
    host().log().clear();
    EXPECT_EQ(handle.init(other), PF_Err_NONE);
    EXPECT_EQ(calls("AEGP_DisposeEffect"), 1u);
    EXPECT_EQ(host().ledger().outstanding("effect reference"), 1u);
    EXPECT_EQ(handle.effect(), other);
    EXPECT_EQ(handle.init(other), PF_Err_NONE) << "taking the held reference again keeps it";
    EXPECT_EQ(handle.effect(), other);
    EXPECT_EQ(handle.dispose(), PF_Err_NONE);

    ASSERT_EQ(handle.init(), PF_Err_NONE);
    AEGP_EffectRefH third = host().project().newEffectRef(*first_);
    host().faults().failCall("AEGP_DisposeEffect", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(handle.init(third), PF_Err_INTERNAL_STRUCT_DAMAGED) << "the dispose's result";
    EXPECT_EQ(handle.effect(), third) << "ownership is taken all the same";
    EXPECT_EQ(handle.dispose(), PF_Err_NONE);
    EXPECT_EQ(host().project().releaseEverything(), 1u) << "the reference whose dispose failed";
}

TEST_F(EffectHandleTest, EveryOperationThatStoresAReferenceReleasesTheOldOne) {
    struct Case {
        const char* name;
        std::function<PF_Err(EffectHandle&)> store;
        Sim::ProjectEffect* const* expected;
    };
    Sim::ProjectEffect* applied = nullptr;
    const Case cases[] = {
        {"init()", [](EffectHandle& h) { return h.init(); }, &effect_under_test_},
        {"init(layer, index)", [this](EffectHandle& h) { return h.init(layerH(), 2); }, &last_},
        {"apply(key)", [this](EffectHandle& h) { return h.apply(int(otherKey_)); }, &applied},
        {"apply(layer, key)", [this](EffectHandle& h) { return h.apply(layerH(), int(key_)); }, &applied},
    };
    for (const Case& c : cases) {
        {
            EffectHandle handle(kPluginId, &in_data_, suites());
            ASSERT_EQ(handle.init(layerH(), 0), PF_Err_NONE) << c.name;
            ASSERT_EQ(c.store(handle), PF_Err_NONE) << c.name;
            applied = layer_->effects.back();
            EXPECT_EQ(host().project().findEffectRef(handle.effect(), "test"), *c.expected) << c.name;
            EXPECT_EQ(host().ledger().outstanding("effect reference"), 1u) << c.name;
        }
        EXPECT_EQ(host().ledger().outstanding("effect reference"), 0u) << c.name << ": released when the handle goes";
    }
}

TEST_F(EffectHandleTest, ApplyAddsAnInstanceOfTheInstalledEffect) {
    EffectHandle handle(kPluginId, &in_data_, suites());
    ASSERT_EQ(handle.apply(int(key_)), PF_Err_NONE);
    ASSERT_EQ(layer_->effects.size(), 4u);
    EXPECT_EQ(host().project().findEffectRef(handle.effect(), "test"), layer_->effects.back());
    int index = -1;
    EXPECT_EQ(handle.getIndex(index), PF_Err_NONE);
    EXPECT_EQ(index, 3);
    std::u16string name;
    EXPECT_EQ(handle.getName(name), PF_Err_NONE);
    EXPECT_EQ(name, u"Test Effect");
}

TEST_F(EffectHandleTest, ApplyReturnsTheLayerQuerysErrorWithoutApplying) {
    expectFault("AEGP_ApplyEffect: no installed effect has this key");
    EffectHandle handle(kPluginId, &in_data_, suites());
    host().faults().failCall("AEGP_GetEffectLayer", 1, PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(handle.apply(int(key_)), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(calls("AEGP_ApplyEffect"), 0u);
    EXPECT_EQ(layer_->effects.size(), 3u);
    EXPECT_EQ(handle.effect(), nullptr);

    EXPECT_EQ(handle.apply(layerH(), 999), PF_Err_BAD_CALLBACK_PARAM) << "unknown installed key";
    EXPECT_EQ(layer_->effects.size(), 3u);
}

TEST_F(EffectHandleTest, FlagsAreSetUnderTheMask) {
    struct Case {
        int before, mask, flags, after;
    };
    const Case cases[] = {
        {1, 1, 0, 0}, {0, 1, 1, 1}, {1, 0, 0, 1}, {0b101, 0b110, 0b011, 0b011}, {0, 0b10, 0b11, 0b10}};
    EffectHandle handle(kPluginId, &in_data_, suites());
    ASSERT_EQ(handle.init(), PF_Err_NONE);
    for (const Case& c : cases) {
        effect_under_test_->flags = c.before;
        EXPECT_EQ(handle.setEffectFlags(c.mask, c.flags), PF_Err_NONE);
        int read = -1;
        EXPECT_EQ(handle.getEffectFlags(read), PF_Err_NONE);
        // Independent of the host's own arithmetic: bit by bit.
        for (int bit = 0; bit < 3; ++bit) {
            const int expected = ((c.mask >> bit) & 1) ? (c.flags >> bit) & 1 : (c.before >> bit) & 1;
            EXPECT_EQ((read >> bit) & 1, expected) << "bit " << bit << " of case " << c.before << "/" << c.mask;
        }
        EXPECT_EQ(read, c.after);
    }
}

TEST_F(EffectHandleTest, NamesRoundTripThroughTheInstanceGroup) {
    const std::u16string names[] = {u"Glow", u"", u"A", u"Gl\u00f6w \U0001F600", std::u16string(300, u'x')};
    EffectHandle handle(kPluginId, &in_data_, suites());
    ASSERT_EQ(handle.init(), PF_Err_NONE);
    for (const std::u16string& name : names) {
        ASSERT_EQ(handle.setName(name), PF_Err_NONE);
        EXPECT_EQ(effect_under_test_->group->name, name);
        std::u16string read = u"previous";
        EXPECT_EQ(handle.getName(read), PF_Err_NONE);
        EXPECT_EQ(read, name);
        EXPECT_EQ(host().ledger().outstanding("stream reference"), 0u);
        EXPECT_EQ(host().ledger().outstanding("memory handle"), 0u);
    }
}

TEST_F(EffectHandleTest, GetNameOfFourUnitsAndAZero) {
    effect_under_test_->group->name = u"Glow";
    EffectHandle handle(kPluginId, &in_data_, suites());
    ASSERT_EQ(handle.init(), PF_Err_NONE);
    std::u16string name;
    ASSERT_EQ(handle.getName(name), PF_Err_NONE);
    EXPECT_EQ(name.size(), 4u);
    EXPECT_EQ(name, u"Glow");
    EXPECT_LT(firstCall("AEGP_UnlockMemHandle"), firstCall("AEGP_FreeMemHandle")) << "unlocked before it is freed";
    EXPECT_EQ(calls("AEGP_UnlockMemHandle"), 1u);
}

TEST_F(EffectHandleTest, GetNameFailuresEmptyTheNameAndReleaseEverything) {
    expectFault("AEGP_FreeMemHandle: memory handle freed while locked");
    struct Case {
        const char* function;
        PF_Err err;
        bool nameChanged;
        size_t frees;
    };
    const Case cases[] = {
        {"AEGP_GetNewEffectStreamByIndex", PF_Err_INVALID_INDEX, false, 0},
        {"AEGP_GetNewParentStreamRef", PF_Err_INVALID_CALLBACK, false, 0},
        {"AEGP_GetStreamName", PF_Err_OUT_OF_MEMORY, false, 0},
        {"AEGP_GetMemHandleSize", PF_Err_INTERNAL_STRUCT_DAMAGED, true, 1},
        {"AEGP_LockMemHandle", PF_Err_INVALID_CALLBACK, true, 1},
        {"AEGP_UnlockMemHandle", PF_Err_INTERNAL_STRUCT_DAMAGED, true, 1},
        {"AEGP_FreeMemHandle", PF_Err_OUT_OF_MEMORY, true, 1},
    };
    effect_under_test_->group->name = u"Glow";
    EffectHandle handle(kPluginId, &in_data_, suites());
    ASSERT_EQ(handle.init(), PF_Err_NONE);
    for (const Case& c : cases) {
        host().log().clear();
        host().faults().failCall(c.function, 1, c.err);
        std::u16string name = u"before";
        EXPECT_EQ(handle.getName(name), c.err) << c.function;
        if (!c.nameChanged) {
            EXPECT_EQ(name, u"before") << c.function;
        } else if (std::string(c.function) == "AEGP_UnlockMemHandle" ||
                   std::string(c.function) == "AEGP_FreeMemHandle") {
            EXPECT_EQ(name, u"Glow") << c.function << ": the copy was made before";
        } else {
            EXPECT_EQ(name, u"") << c.function;
        }
        EXPECT_EQ(calls("AEGP_FreeMemHandle"), c.frees) << c.function;
        EXPECT_EQ(host().ledger().outstanding("stream reference"), 0u) << c.function;
    }
    EXPECT_EQ(handle.dispose(), PF_Err_NONE);
    // The planned unlock failure left a lock on a freed handle, the planned free failure a handle.
    EXPECT_EQ(host().ledger().outstanding("memory lock"), 1u);
    EXPECT_EQ(host().ledger().outstanding("memory handle"), 1u);
    EXPECT_EQ(host().project().releaseEverything(), 2u);
}

TEST_F(EffectHandleTest, IndexFollowsReordering) {
    expectFault("AEGP_ReorderEffect: effect index out of range");
    EffectHandle handle(kPluginId, &in_data_, suites());
    ASSERT_EQ(handle.init(), PF_Err_NONE);
    for (int target : {2, 0, 1, 1}) {
        ASSERT_EQ(handle.reorder(target), PF_Err_NONE);
        int index = -1;
        ASSERT_EQ(handle.getIndex(index), PF_Err_NONE);
        EXPECT_EQ(index, target);
        // Confirmed on the host's side, by the stack itself.
        EXPECT_EQ(layer_->effects[size_t(target)], effect_under_test_);
        EXPECT_EQ(layer_->effectsGroup->children[size_t(target)], effect_under_test_->group);
    }
    EXPECT_EQ(handle.reorder(3), PF_Err_INVALID_INDEX);
    EXPECT_EQ(handle.reorder(-1), PF_Err_INVALID_INDEX);
}

TEST_F(EffectHandleTest, ADisposedReferenceIsRefusedByTheHost) {
    expectFault("AEGP_DisposeEffect: unknown or already disposed effect reference");
    expectFault("AEGP_GetInstalledKeyFromLayerEffect: unknown or disposed effect reference");
    EffectHandle handle(kPluginId, &in_data_, suites());
    ASSERT_EQ(handle.init(), PF_Err_NONE);
    AEGP_EffectRefH stale = handle.effect();
    ASSERT_EQ(handle.dispose(), PF_Err_NONE);
    EffectHandle other(kPluginId, &in_data_, suites());
    EXPECT_EQ(other.init(stale), PF_Err_NONE);
    int key = 0;
    EXPECT_EQ(other.getKey(key), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(host().log().contains("unknown or disposed effect reference"));
    EXPECT_EQ(other.dispose(), PF_Err_BAD_CALLBACK_PARAM);
}

// An effect reaches its own instance, reads and writes a parameter as each value type, adds
// keyframes, renames itself and reads its position.
TEST_F(EffectHandleTest, AnEffectWorksOnItsOwnInstance) {
    EffectHandle self(kPluginId, &in_data_, suites());
    ASSERT_EQ(self.init(), PF_Err_NONE);
    AEGP_EffectRefH effect = self.effect();
    const A_Time now{0, 30};
    const short layerTime = AEGP_LTimeMode_LayerTime;

    ASSERT_EQ(Morvel::setEffectValue<bool>(kPluginId, &in_data_, suites(), effect, kEnabled, now, layerTime, false),
              PF_Err_NONE);
    ASSERT_EQ(Morvel::setEffectValue<int>(kPluginId, &in_data_, suites(), effect, kLayer, now, layerTime, 2),
              PF_Err_NONE);
    ASSERT_EQ(Morvel::setEffectValue<double>(kPluginId, &in_data_, suites(), effect, kAmount, now, layerTime, 0.75),
              PF_Err_NONE);
    ASSERT_EQ(
        Morvel::setEffectValue<AEGP_TwoDVal>(kPluginId, &in_data_, suites(), effect, kCentre, now, layerTime, {3, 4}),
        PF_Err_NONE);
    ASSERT_EQ(Morvel::setEffectValue<AEGP_ThreeDVal>(kPluginId, &in_data_, suites(), effect, kPoint3D, now, layerTime,
                                                     {5, 6, 7}),
              PF_Err_NONE);
    ASSERT_EQ(Morvel::setEffectValue<AEGP_ColorVal>(kPluginId, &in_data_, suites(), effect, kTint, now, layerTime,
                                                    {1, 0.5, 0.25, 0}),
              PF_Err_NONE);

    bool enabled = true;
    int layerId = 0;
    double amount = 0;
    AEGP_TwoDVal centre{};
    AEGP_ThreeDVal point{};
    AEGP_ColorVal tint{};
    EXPECT_EQ(Morvel::getEffectValue(kPluginId, &in_data_, suites(), effect, kEnabled, now, layerTime, false, &enabled),
              PF_Err_NONE);
    EXPECT_EQ(Morvel::getEffectValue(kPluginId, &in_data_, suites(), effect, kLayer, now, layerTime, false, &layerId),
              PF_Err_NONE);
    EXPECT_EQ(Morvel::getEffectValue(kPluginId, &in_data_, suites(), effect, kAmount, now, layerTime, false, &amount),
              PF_Err_NONE);
    EXPECT_EQ(Morvel::getEffectValue(kPluginId, &in_data_, suites(), effect, kCentre, now, layerTime, false, &centre),
              PF_Err_NONE);
    EXPECT_EQ(Morvel::getEffectValue(kPluginId, &in_data_, suites(), effect, kPoint3D, now, layerTime, false, &point),
              PF_Err_NONE);
    EXPECT_EQ(Morvel::getEffectValue(kPluginId, &in_data_, suites(), effect, kTint, now, layerTime, false, &tint),
              PF_Err_NONE);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(layerId, 2);
    EXPECT_EQ(amount, 0.75);
    EXPECT_EQ(centre.x, 3);
    EXPECT_EQ(centre.y, 4);
    EXPECT_EQ(point.z, 7);
    EXPECT_EQ(tint.red, 0.5);

    {
        Morvel::Stream<double> stream(kPluginId, &in_data_, suites());
        ASSERT_EQ(stream.init(effect, kAmount), PF_Err_NONE);
        auto keys = stream.getKeyframer();
        ASSERT_EQ(keys.add(layerTime, A_Time{0, 1}, 0.0), PF_Err_NONE);
        ASSERT_EQ(keys.add(layerTime, A_Time{4, 1}, 8.0), PF_Err_NONE);
    }
    ASSERT_EQ(Morvel::getEffectValue(kPluginId, &in_data_, suites(), effect, kAmount, A_Time{3, 1}, layerTime, false,
                                     &amount),
              PF_Err_NONE);
    EXPECT_DOUBLE_EQ(amount, 8.0 * 3 / 4);

    ASSERT_EQ(self.setName(u"Glow 2"), PF_Err_NONE);
    std::u16string name;
    ASSERT_EQ(self.getName(name), PF_Err_NONE);
    EXPECT_EQ(name, u"Glow 2");
    int index = -1;
    ASSERT_EQ(self.getIndex(index), PF_Err_NONE);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(self.dispose(), PF_Err_NONE);
}

// Without the memory suite the name's handle could never be freed, so it is not asked for.
TEST_F(EffectHandleTest, GetNameWithoutTheMemorySuiteStrandsNothing) {
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    EffectHandle handle(kPluginId, &in_data_, suites);
    ASSERT_EQ(handle.init(), PF_Err_NONE);
    host().faults().makeSuiteMissing(kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
    std::u16string name = u"before";
    EXPECT_THROW(handle.getName(name), PF_Err);
    EXPECT_EQ(name, u"before");
    host().faults().clear();
    EXPECT_EQ(host().ledger().outstanding("memory handle"), 0u);
    EXPECT_EQ(host().ledger().outstanding("stream reference"), 0u);
    EXPECT_EQ(handle.dispose(), PF_Err_NONE);
}
