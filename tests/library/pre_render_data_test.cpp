// The pre-render data helper: the handle the host is given, and the delete function that gives it
// back exactly once.

#include <gtest/gtest.h>

#include <cstring>

#include "Util/AEGP_SuiteHandler.h"
#include "library/plugin/pre_render_data.h"
#include "support/host_fixture.h"

namespace {

using Morvel::Plugin::createPreRenderData;
using Morvel::Plugin::deletePreRenderData;

class PreRenderDataTest : public HostTest {
protected:
    PF_PreRenderInput input_{};
    PF_PreRenderOutput output_{};
    PF_PreRenderExtra extra_{&input_, &output_, nullptr};
};

TEST_F(PreRenderDataTest, TheHostGetsALockedClearedHandleAndItsDeleteFunction) {
    void* data = nullptr;
    {
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        ASSERT_EQ(createPreRenderData(suites, &extra_, 2112, &data), PF_Err_NONE);
    }
    auto handle = static_cast<PF_Handle>(output_.pre_render_data);
    ASSERT_TRUE(host().isLiveHandle(handle));
    EXPECT_EQ(host().handleSize(handle), 2112u) << "the effect's bytes and nothing more";
    EXPECT_EQ(data, *handle);
    EXPECT_EQ(output_.delete_pre_render_data_func, &deletePreRenderData);
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < 2112; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;

    // What a render does: lock, read, unlock; only the host's delete gives the handle back.
    void* locked = host().lockHandle(handle);
    EXPECT_EQ(locked, data);
    host().unlockHandle(handle);
    EXPECT_TRUE(host().isLiveHandle(handle));

    output_.delete_pre_render_data_func(handle);
    EXPECT_FALSE(host().isLiveHandle(handle));
    EXPECT_EQ(host().log().count("error:"), 0u) << "the pre-render lock is released before disposal";
    output_.delete_pre_render_data_func(handle);
    EXPECT_EQ(host().log().count("error:"), 0u) << "a second delete does nothing";
}

TEST_F(PreRenderDataTest, FailuresReturnOutOfMemoryAndLeaveNothingBehind) {
    struct Case {
        const char* name;
        const char* failing;
    } cases[] = {
        {"the handle cannot be made", "host_new_handle"},
        {"the handle cannot be locked", "host_lock_handle"},
    };
    for (const Case& c : cases) {
        host().faults().failCall(c.failing, 1, PF_Err_OUT_OF_MEMORY);
        output_ = PF_PreRenderOutput{};
        void* data = &output_;
        {
            AEGP_SuiteHandler suites(in_data_.pica_basicP);
            EXPECT_EQ(createPreRenderData(suites, &extra_, 408, &data), PF_Err_OUT_OF_MEMORY) << c.name;
        }
        EXPECT_EQ(data, nullptr) << c.name;
        EXPECT_EQ(output_.pre_render_data, nullptr) << c.name;
        EXPECT_EQ(output_.delete_pre_render_data_func, nullptr) << c.name;
        EXPECT_EQ(host().ledger().outstanding("handle"), 0u) << c.name;
        host().faults().clear();
    }
}

TEST_F(PreRenderDataTest, AMissingHandleSuiteIsThrownAs516) {
    host().faults().makeSuiteMissing("PF Handle Suite", 2);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    void* data = nullptr;
    try {
        createPreRenderData(suites, &extra_, 64, &data);
        FAIL() << "no error thrown";
    } catch (PF_Err err) {
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    }
    EXPECT_EQ(output_.pre_render_data, nullptr);
}

TEST_F(PreRenderDataTest, DeletingSomethingElseIsLeftAlone) {
    PF_Handle foreign = host().newHandle(16);
    deletePreRenderData(foreign);
    deletePreRenderData(nullptr);
    EXPECT_TRUE(host().isLiveHandle(foreign));
    host().disposeHandle(foreign);
}

}  // namespace
