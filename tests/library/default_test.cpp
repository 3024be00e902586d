#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "library/default/default.h"
#include "support/host_fixture.h"
#include "support/unbounded_sprintf.h"

namespace {

using Morvel::Default::Version;
constexpr Version kGlowVersion{1, 0, 0, 3, 0};

class DefaultTest : public HostTest {
protected:
    PF_Err setup(PF_OutData& out) {
        return Morvel::Default::GlobalSetup(kGlowVersion, 0x6008000, 0x1400, &in_data_, &out, nullptr, nullptr);
    }
};

TEST_F(DefaultTest, AboutTextStartsWithNameAndVersion) {
    struct Case {
        const char* name;
        Version version;
        const char* firstLine;
    } cases[] = {
        {"MorvelGlow", kGlowVersion, "MorvelGlow, v1.0.0"},
        {"MorvelTiltShift", {2, 11, 4, 0, 9}, "MorvelTiltShift, v2.11.4"},
    };
    for (const Case& c : cases) {
        out_data_ = PF_OutData{};
        EXPECT_EQ(Morvel::Default::About(c.name, "2017", c.version, &in_data_, &out_data_, nullptr, nullptr),
                  PF_Err_NONE);
        const std::string text = out_data_.return_msg;
        const size_t lineEnd = text.find('\r');
        ASSERT_NE(lineEnd, std::string::npos) << c.name;
        EXPECT_EQ(text.substr(0, lineEnd), c.firstLine);
        EXPECT_NE(text.find("2017", lineEnd), std::string::npos) << "the notice carries the years";
    }
}

TEST_F(DefaultTest, AboutTextOfALongNameStaysInsideTheReturnMessage) {
    PF_UtilCallbacks utils = *in_data_.utils;
    utils.ansi.sprintf = unboundedSprintf;
    PF_InData in = in_data_;
    in.utils = &utils;
    const std::string name(600, 'N');
    GuardedOutData guarded;
    Morvel::Default::About(name.c_str(), "2017", kGlowVersion, &in, &guarded.out, nullptr, nullptr);
    EXPECT_TRUE(guarded.guardIntact());
    EXPECT_EQ(std::strlen(guarded.out.return_msg), size_t(PF_MAX_RETURN_MSG_LEN - 1));
}

TEST_F(DefaultTest, GlobalSetupReportsVersionFlagsAndKeepsThePluginId) {
    ASSERT_EQ(setup(out_data_), PF_Err_NONE);
    EXPECT_EQ(out_data_.my_version, 0x80600u);
    EXPECT_EQ(out_data_.out_flags, 0x6008000);
    EXPECT_EQ(out_data_.out_flags2, 0x1400);
    PF_Handle global = out_data_.global_data;
    ASSERT_TRUE(host().isLiveHandle(global));
    EXPECT_EQ(host().handleSize(global), 16u);
    EXPECT_TRUE(host().log().contains("registered plug-in Error!"));
    // The first id the host gives out is 1.
    int32_t id;
    std::memcpy(&id, *global, sizeof id);
    EXPECT_EQ(id, 1);
    // Only the global data outlives the command, and it is not left locked.
    EXPECT_EQ(host().ledger().outstanding(), 1u);
    EXPECT_EQ(host().lockHandle(global), *global);
    host().unlockHandle(global);
    EXPECT_FALSE(host().log().contains("error:"));

    in_data_.global_data = global;
    EXPECT_EQ(Morvel::Default::GlobalSetdown(&in_data_), PF_Err_NONE);
    EXPECT_FALSE(host().isLiveHandle(global));
}

TEST_F(DefaultTest, GlobalSetupFailuresLeaveNoGlobalDataAndNothingHeld) {
    struct Case {
        const char* label;
        const char* failing;  // host function made to fail once
        PF_Err planned;
        PF_Err expected;
        bool registers;
    } cases[] = {
        {"no handle", "host_new_handle", 1, PF_Err_INTERNAL_STRUCT_DAMAGED, false},
        {"lock yields nothing", "host_lock_handle", 1, PF_Err_INTERNAL_STRUCT_DAMAGED, false},
        {"registration refused", "AEGP_RegisterWithAEGP", PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY, true},
        {"registration error 516", "AEGP_RegisterWithAEGP", PF_Err_BAD_CALLBACK_PARAM, PF_Err_BAD_CALLBACK_PARAM, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        host().faults().clear();
        host().log().clear();
        host().faults().failCall(c.failing, 1, c.planned);
        PF_OutData out{};
        EXPECT_EQ(setup(out), c.expected);
        EXPECT_EQ(out.global_data, nullptr);
        EXPECT_EQ(host().faults().calls("AEGP_RegisterWithAEGP") > 0, c.registers);
        EXPECT_TRUE(host().ledger().balanced()) << host().ledger().report();
        EXPECT_FALSE(host().log().contains("error:"));
    }
}

TEST_F(DefaultTest, GlobalSetupWithAMissingSuiteThrows516AndGivesTheHandleBack) {
    struct Case {
        const char* suite;
        int version;
    } cases[] = {{kPFHandleSuite, 2}, {kAEGPUtilitySuite, 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suite);
        host().faults().clear();
        host().faults().makeSuiteMissing(c.suite, c.version);
        PF_OutData out{};
        try {
            setup(out);
            ADD_FAILURE() << "no exception";
        } catch (PF_Err err) {
            EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
        }
        EXPECT_EQ(out.global_data, nullptr);
        EXPECT_TRUE(host().ledger().balanced()) << host().ledger().report();
    }
}

TEST_F(DefaultTest, GlobalSetdownWithoutGlobalDataDoesNothing) {
    in_data_.global_data = nullptr;
    EXPECT_EQ(Morvel::Default::GlobalSetdown(&in_data_), PF_Err_NONE);
    EXPECT_EQ(host().log().count("AcquireSuite"), 0u);
}

TEST_F(DefaultTest, GlobalSetdownWithoutTheHandleSuiteStillGivesTheGlobalDataBack) {
    PF_Handle global = in_data_.utils->host_new_handle(16);
    in_data_.global_data = global;
    host().faults().makeSuiteMissing(kPFHandleSuite, kPFHandleSuiteVersion2);
    EXPECT_EQ(Morvel::Default::GlobalSetdown(&in_data_), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_FALSE(host().isLiveHandle(global));
}

// ---------------------------------------------------------------- pass-through pre-render and render

struct FakeCheckout {
    static inline PF_Err err = PF_Err_NONE;
    static inline PF_CheckoutResult result{};
    static inline PF_RenderRequest seen{};
    static inline int32_t index = -1, checkoutId = -1, time = -1, step = -1;
    static inline uint32_t scale = 0;
    static PF_Err checkout(PF_ProgPtr, int32_t i, int32_t id, const PF_RenderRequest* req, int32_t t, int32_t s,
                           uint32_t sc, PF_CheckoutResult* out) {
        index = i;
        checkoutId = id;
        seen = *req;
        time = t;
        step = s;
        scale = sc;
        if (err == PF_Err_NONE) *out = result;
        return err;
    }
};

bool sameRect(const PF_LRect& a, const PF_LRect& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST_F(DefaultTest, PreRenderAsksForTheOutputRequestAndUnitesTheResult) {
    struct Case {
        const char* label;
        PF_Err err;
        PF_LRect result, maxResult, outResult, outMax;
        PF_LRect expectedResult, expectedMax;
    } cases[] = {
        {"empty output takes the checkout",
         0,
         {0, 0, 10, 10},
         {-5, -5, 20, 20},
         {},
         {},
         {0, 0, 10, 10},
         {-5, -5, 20, 20}},
        {"non-empty output is widened",
         0,
         {0, 0, 10, 10},
         {0, 0, 10, 10},
         {5, 5, 30, 8},
         {},
         {0, 0, 30, 10},
         {0, 0, 10, 10}},
        {"failed checkout leaves the output", 517, {0, 0, 10, 10}, {0, 0, 10, 10}, {1, 1, 2, 2}, {}, {1, 1, 2, 2}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakeCheckout::err = c.err;
        FakeCheckout::result = PF_CheckoutResult{};
        FakeCheckout::result.result_rect = c.result;
        FakeCheckout::result.max_result_rect = c.maxResult;
        PF_PreRenderInput input{};
        input.output_request.rect = {3, 4, 50, 60};
        input.output_request.preserve_rgb_of_zero_alpha = false;
        PF_PreRenderOutput output{};
        output.result_rect = c.outResult;
        output.max_result_rect = c.outMax;
        PF_PreRenderCallbacks callbacks{FakeCheckout::checkout};
        PF_PreRenderExtra extra{&input, &output, &callbacks};
        in_data_.current_time = 12;
        in_data_.time_step = 2;
        in_data_.time_scale = 24;

        EXPECT_EQ(Morvel::Default::PreRender(&in_data_, &out_data_, &extra), c.err);
        EXPECT_TRUE(sameRect(output.result_rect, c.expectedResult));
        EXPECT_TRUE(sameRect(output.max_result_rect, c.expectedMax));
        EXPECT_EQ(FakeCheckout::index, 0);
        EXPECT_EQ(FakeCheckout::checkoutId, 0);
        EXPECT_TRUE(sameRect(FakeCheckout::seen.rect, input.output_request.rect));
        EXPECT_TRUE(FakeCheckout::seen.preserve_rgb_of_zero_alpha);
        EXPECT_EQ(FakeCheckout::time, 12);
        EXPECT_EQ(FakeCheckout::step, 2);
        EXPECT_EQ(FakeCheckout::scale, 24u);
    }
}

struct FakeRender {
    static inline PF_Err inputErr = 0, outputErr = 0, copyErr = 0;
    static inline PF_LayerDef input{}, output{};
    static inline int copies = 0;
    static inline bool wholeWorlds = false;
    static inline PF_LayerDef *copiedFrom = nullptr, *copiedTo = nullptr;
    static PF_Err checkoutPixels(PF_ProgPtr, int32_t id, PF_LayerDef** pixels) {
        if (id != 0) return PF_Err_BAD_CALLBACK_PARAM;
        *pixels = &input;
        return inputErr;
    }
    static PF_Err checkinPixels(PF_ProgPtr, int32_t) { return PF_Err_NONE; }
    static PF_Err checkoutOutput(PF_ProgPtr, PF_LayerDef** out) {
        *out = &output;
        return outputErr;
    }
    static PF_Err copy(PF_ProgPtr, PF_LayerDef* src, PF_LayerDef* dst, PF_Rect* srcR, PF_Rect* dstR) {
        ++copies;
        copiedFrom = src;
        copiedTo = dst;
        wholeWorlds = srcR == nullptr && dstR == nullptr;
        return copyErr;
    }
};

TEST_F(DefaultTest, SmartRenderCopiesInputToOutputAndStopsAtTheFirstError) {
    struct Case {
        const char* label;
        PF_Err inputErr, outputErr, copyErr, expected;
        int copies;
    } cases[] = {
        {"copies", 0, 0, 0, 0, 1},
        {"input fails", 513, 0, 0, 513, 0},
        {"output fails", 0, 515, 0, 515, 0},
        {"copy fails", 0, 0, 4, 4, 1},
    };
    PF_UtilCallbacks utils = *in_data_.utils;
    utils.copy = FakeRender::copy;
    PF_InData in = in_data_;
    in.utils = &utils;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakeRender::inputErr = c.inputErr;
        FakeRender::outputErr = c.outputErr;
        FakeRender::copyErr = c.copyErr;
        FakeRender::copies = 0;
        PF_SmartRenderCallbacks callbacks{FakeRender::checkoutPixels, FakeRender::checkinPixels,
                                          FakeRender::checkoutOutput};
        PF_SmartRenderExtra extra{nullptr, &callbacks};
        EXPECT_EQ(Morvel::Default::SmartRender(&in, &out_data_, &extra), c.expected);
        EXPECT_EQ(FakeRender::copies, c.copies);
        if (c.copies != 0) {
            EXPECT_EQ(FakeRender::copiedFrom, &FakeRender::input);
            EXPECT_EQ(FakeRender::copiedTo, &FakeRender::output);
            EXPECT_TRUE(FakeRender::wholeWorlds);
        }
    }
}

}  // namespace
