#include <gtest/gtest.h>

#include <cstring>

#include "Util/HostHandles.h"
#include "support/host_fixture.h"

namespace {

using HostHandlesTest = HostTest;

TEST_F(HostHandlesTest, RoundTripThroughTheCallbacks) {
    PF_Handle handle = HostNewHandle(&in_data_, 40);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(HostGetHandleSize(&in_data_, handle), 40u);
    auto* block = static_cast<char*>(HostLockHandle(&in_data_, handle));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "forty bytes of effect data", 27);
    EXPECT_EQ(HostUnlockHandle(&in_data_, handle), PF_Err_NONE);
    // What was written is what the host keeps behind the handle.
    EXPECT_STREQ(*handle, "forty bytes of effect data");
    EXPECT_EQ(HostDisposeHandle(&in_data_, handle), PF_Err_NONE);
    EXPECT_FALSE(host().isLiveHandle(handle));
}

TEST_F(HostHandlesTest, MissingCallbacksAnswerInsteadOfCrashing) {
    PF_Handle handle = HostNewHandle(&in_data_, 8);
    ASSERT_NE(handle, nullptr);

    struct Case {
        const char* label;
        void (*remove)(PF_UtilCallbacks&);
    } cases[] = {
        {"no new", [](PF_UtilCallbacks& u) { u.host_new_handle = nullptr; }},
        {"no lock", [](PF_UtilCallbacks& u) { u.host_lock_handle = nullptr; }},
        {"no unlock", [](PF_UtilCallbacks& u) { u.host_unlock_handle = nullptr; }},
        {"no dispose", [](PF_UtilCallbacks& u) { u.host_dispose_handle = nullptr; }},
        {"no size", [](PF_UtilCallbacks& u) { u.get_handle_size = nullptr; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        PF_UtilCallbacks utils = *in_data_.utils;
        c.remove(utils);
        PF_InData in = in_data_;
        in.utils = &utils;
        const bool hasNew = utils.host_new_handle != nullptr;
        PF_Handle fresh = HostNewHandle(&in, 4);
        EXPECT_EQ(fresh != nullptr, hasNew);
        if (fresh != nullptr) HostDisposeHandle(&in_data_, fresh);
        void* locked = HostLockHandle(&in, handle);
        EXPECT_EQ(locked != nullptr, utils.host_lock_handle != nullptr);
        if (locked != nullptr) HostUnlockHandle(&in_data_, handle);
        ASSERT_NE(HostLockHandle(&in_data_, handle), nullptr);
        const PF_Err unlocked = HostUnlockHandle(&in, handle);
        EXPECT_EQ(unlocked, utils.host_unlock_handle == nullptr ? PF_Err_INVALID_CALLBACK : PF_Err_NONE);
        if (unlocked != PF_Err_NONE) HostUnlockHandle(&in_data_, handle);
        EXPECT_EQ(HostGetHandleSize(&in, handle), utils.get_handle_size != nullptr ? 8u : 0u);
        if (utils.host_dispose_handle == nullptr) {
            EXPECT_EQ(HostDisposeHandle(&in, handle), PF_Err_INVALID_CALLBACK);
            EXPECT_TRUE(host().isLiveHandle(handle));
        }
    }
    PF_InData none = in_data_;
    none.utils = nullptr;
    EXPECT_EQ(HostNewHandle(&none, 4), nullptr);
    EXPECT_EQ(HostLockHandle(&none, handle), nullptr);
    EXPECT_EQ(HostDisposeHandle(&none, handle), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(HostDisposeHandle(&in_data_, handle), PF_Err_NONE);
    EXPECT_FALSE(host().log().contains("error:"));
}

TEST_F(HostHandlesTest, NullHandleIsNeverPassedToTheHost) {
    EXPECT_EQ(HostLockHandle(&in_data_, nullptr), nullptr);
    EXPECT_EQ(HostUnlockHandle(&in_data_, nullptr), PF_Err_NONE);
    EXPECT_EQ(HostDisposeHandle(&in_data_, nullptr), PF_Err_NONE);
    EXPECT_EQ(HostGetHandleSize(&in_data_, nullptr), 0u);
    EXPECT_FALSE(host().log().contains("error:"));
}

}  // namespace
