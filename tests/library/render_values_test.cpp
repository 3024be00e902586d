#include "library/plugin/render_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "support/host_fixture.h"

using namespace Morvel::Plugin;

namespace {

// A handle is the address of its block's first member (hosh), so the lock count can be read.
int locksOf(PF_Handle handle) { return reinterpret_cast<const Sim::HandleBlock*>(handle)->locks; }

struct Seen {
    int calls = 0;
    int pluginId = 0;
    bool flag = true;
    std::vector<ParameterValue> values;
    PF_Handle valuesHandle = nullptr;
};
Seen seen;
int throwing = 0;  // 1: a host error, 2: out of memory

int probe(int plugin_id, PF_InData*, PF_OutData*, PF_SmartRenderExtra*, const ParameterValue* values, bool flag) {
    ++seen.calls;
    seen.pluginId = plugin_id;
    seen.flag = flag;
    seen.values.assign(values, values + 3);
    if (throwing == 1) throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
    if (throwing == 2) throw std::bad_alloc();
    return PF_Err_INVALID_INDEX;  // passed through as the render's result
}

ParameterDef row(int32_t id, int32_t kind) {
    ParameterDef def{};
    def.id = id;
    def.kind = kind;
    return def;
}

const ParameterDef kRows[3] = {row(1, KIND_INT), row(2, KIND_FLOAT), row(3, KIND_COLOR)};

class RenderValuesTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        seen = Seen{};
        throwing = 0;
        global_ = host().newHandle(16);
        *reinterpret_cast<AEGP_PluginID*>(*global_) = 42;
        in_data_.global_data = global_;
        preRender_ = host().newHandle(3 * sizeof(ParameterUnionValue));
        auto* stored = reinterpret_cast<ParameterUnionValue*>(*preRender_);
        std::memset(stored, 0xCD, 3 * sizeof(ParameterUnionValue));
        stored[0].i = 2;
        stored[1].d = 12.5;
        stored[2].color = {0.25f, 0.5f, 1.0f};
        input_.pre_render_data = preRender_;
        extra_.input = &input_;
    }
    void TearDown() override {
        EXPECT_EQ(locksOf(global_), 0);
        EXPECT_EQ(locksOf(preRender_), 0);
        host().disposeHandle(global_);
        host().disposeHandle(preRender_);
        EXPECT_FALSE(host().log().contains("error")) << host().log().lines().back();
        HostTest::TearDown();
    }

    PF_Err run() { return renderWithValues(&in_data_, &out_data_, &extra_, kRows, 3, probe); }

    PF_Handle global_ = nullptr;
    PF_Handle preRender_ = nullptr;
    PF_SmartRenderInput input_{};
    PF_SmartRenderExtra extra_{};
};

TEST_F(RenderValuesTest, RecordsCarryTheRowsAndTheirBytes) {
    EXPECT_EQ(run(), PF_Err_INVALID_INDEX);
    ASSERT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.pluginId, 42);
    EXPECT_FALSE(seen.flag);
    const auto* stored = reinterpret_cast<const ParameterUnionValue*>(*preRender_);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(seen.values[r].id, kRows[r].id);
        EXPECT_EQ(seen.values[r].kind, kRows[r].kind);
        EXPECT_EQ(std::memcmp(&seen.values[r].value, &stored[r], sizeof(ParameterUnionValue)), 0) << "row " << r;
    }
}

TEST_F(RenderValuesTest, MissingOrUnusableHandlesAreRefused) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        PF_Err err;
    };
    const Case cases[] = {
        {"no global data", [this] { in_data_.global_data = nullptr; }, PF_Err_BAD_CALLBACK_PARAM},
        {"global data not locked", [this] { host().faults().failCall("host_lock_handle", 1, PF_Err_OUT_OF_MEMORY); },
         PF_Err_BAD_CALLBACK_PARAM},
        {"no pre-render data", [this] { input_.pre_render_data = nullptr; }, PF_Err_BAD_CALLBACK_PARAM},
        {"pre-render data not locked",
         [this] { host().faults().failCall("host_lock_handle", 2, PF_Err_OUT_OF_MEMORY); }, PF_Err_BAD_CALLBACK_PARAM},
        {"pre-render data too small",
         [this] {
             ASSERT_EQ(host().resizeHandle(2 * sizeof(ParameterUnionValue), &preRender_), PF_Err_NONE);
             input_.pre_render_data = preRender_;
         },
         PF_Err_BAD_CALLBACK_PARAM},
        {"values not allocated", [this] { host().faults().failCall("host_new_handle", 1, PF_Err_OUT_OF_MEMORY); },
         PF_Err_INTERNAL_STRUCT_DAMAGED},
        {"values not locked", [this] { host().faults().failCall("host_lock_handle", 3, PF_Err_OUT_OF_MEMORY); },
         PF_Err_INTERNAL_STRUCT_DAMAGED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t handlesBefore = host().ledger().outstanding("handle");
        c.arrange();
        EXPECT_EQ(run(), c.err);
        EXPECT_EQ(seen.calls, 0);
        EXPECT_EQ(locksOf(global_), 0);
        EXPECT_EQ(locksOf(preRender_), 0);
        EXPECT_EQ(host().ledger().outstanding("handle"), handlesBefore) << "values disposed";
        host().faults().clear();
        ASSERT_EQ(host().resizeHandle(3 * sizeof(ParameterUnionValue), &preRender_), PF_Err_NONE);
        in_data_.global_data = global_;
        input_.pre_render_data = preRender_;
    }
}

TEST_F(RenderValuesTest, ARenderThatThrowsLeavesNothingLockedOrHeld) {
    for (int kind : {1, 2}) {
        throwing = kind;
        const size_t handlesBefore = host().ledger().outstanding("handle");
        if (kind == 1) {
            EXPECT_THROW(run(), PF_Err);
        } else {
            EXPECT_THROW(run(), std::bad_alloc);
        }
        EXPECT_EQ(locksOf(global_), 0);
        EXPECT_EQ(locksOf(preRender_), 0);
        EXPECT_EQ(host().ledger().outstanding("handle"), handlesBefore);
    }
}

TEST_F(RenderValuesTest, NoExtraIsRefusedBeforeAnythingIsTaken) {
    EXPECT_EQ(renderWithValues(&in_data_, &out_data_, nullptr, kRows, 3, probe), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(renderWithValues(&in_data_, &out_data_, &extra_, kRows, 3, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(seen.calls, 0);
}

}  // namespace
