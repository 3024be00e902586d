#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/sim/arbitrary_param.h"
#include "library/custom_data/color_expression_data/color_expression_data.h"
#include "support/host_fixture.h"

using namespace Morvel::ColorExpressionData;

namespace {

constexpr int kId = 7;

class ColorExpressionDataTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        param_ = std::make_unique<Sim::ArbitraryParam>(host(), in_data_, static_cast<int16_t>(kId),
                                                       [](PF_InData* in, PF_OutData* out, PF_ArbParamsExtra* extra) {
                                                           return HandleData(in, out, nullptr, nullptr, extra, kId);
                                                       });
    }
    void TearDown() override {
        param_.reset();
        HostTest::TearDown();
    }

    // A value as stored in a project: a flattened block, restored through the effect.
    PF_ArbitraryH load(std::vector<char> const& flat) {
        PF_ArbitraryH value = nullptr;
        EXPECT_EQ(param_->load(flat, value), PF_Err_NONE);
        return value;
    }
    PF_ArbitraryH valueOf(std::string const& text) {
        std::vector<char> flat(text.begin(), text.end());
        flat.push_back('\0');
        return load(flat);
    }
    std::string textOf(PF_ArbitraryH value) { return readValueText(&in_data_, value); }

    std::unique_ptr<Sim::ArbitraryParam> param_;
};

TEST_F(ColorExpressionDataTest, NewValueIsAnEmptyTextInA256ByteBlock) {
    PF_ArbitraryH value = nullptr;
    ASSERT_EQ(param_->create(value), PF_Err_NONE);
    EXPECT_EQ(textOf(value), "");
    std::vector<char> flat;
    ASSERT_EQ(param_->save(value, flat), PF_Err_NONE);
    EXPECT_EQ(flat, std::vector<char>(256, '\0'));
}

TEST_F(ColorExpressionDataTest, CopyIsIndependentOfItsSource) {
    PF_ArbitraryH source = valueOf("a * r * s");
    PF_ArbitraryH copy = nullptr;
    ASSERT_EQ(param_->duplicate(source, copy), PF_Err_NONE);
    EXPECT_NE(copy, source);
    EXPECT_EQ(textOf(copy), "a * r * s");
    ASSERT_EQ(param_->dispose(source), PF_Err_NONE);
    EXPECT_EQ(textOf(copy), "a * r * s");
}

// A value saved and loaded again is the same value, byte for byte, whatever it holds.
TEST_F(ColorExpressionDataTest, SaveAndLoadRoundTripByteForByte) {
    const std::vector<std::string> texts = {"", "r", "a * r * s", "max(r, g) / 2 \xE2\x82\xAC", std::string(255, 'g')};
    for (const std::string& text : texts) {
        PF_ArbitraryH original = valueOf(text);
        std::vector<char> saved;
        ASSERT_EQ(param_->save(original, saved), PF_Err_NONE) << text;
        ASSERT_EQ(saved.size(), 256u) << text;
        EXPECT_EQ(std::string(saved.data()), text);
        PF_ArbitraryH reloaded = load(saved);
        std::vector<char> savedAgain;
        ASSERT_EQ(param_->save(reloaded, savedAgain), PF_Err_NONE) << text;
        EXPECT_EQ(savedAgain, saved) << text;
        int32_t same = -1;
        ASSERT_EQ(param_->compare(original, reloaded, same), PF_Err_NONE);
        EXPECT_EQ(same, PF_ArbCompare_EQUAL) << text;
    }
}

TEST_F(ColorExpressionDataTest, StoredBlocksFromProjectFilesAreReadWithinTheirBounds) {
    struct Case {
        const char* name;
        std::vector<char> flat;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"no terminator in 256 bytes", std::vector<char>(256, 'x'), std::string(255, 'x')},
        {"short block without terminator", std::vector<char>(10, 'y'), std::string(10, 'y')},
        {"longer block", std::vector<char>(1000, 'z'), std::string(255, 'z')},
        {"empty block", {}, ""},
        {"garbage after the terminator", {'r', '\0', 'g', 'b'}, "r"},
        {"not UTF-8", {'\xE9', '\xFF', '\0'}, "\xE9\xFF"},
    };
    for (const Case& c : cases) {
        PF_ArbitraryH value = load(c.flat);
        EXPECT_EQ(textOf(value), c.text) << c.name;
        std::vector<char> saved;
        ASSERT_EQ(param_->save(value, saved), PF_Err_NONE) << c.name;
        EXPECT_EQ(saved.size(), 256u) << c.name;
        EXPECT_EQ(std::string(saved.data()), c.text) << c.name;
    }
}

TEST_F(ColorExpressionDataTest, CompareIsByteForByte) {
    struct Case {
        const char* a;
        const char* b;
        int32_t result;
    };
    const std::vector<Case> cases = {
        {"a * r * s", "a * r * s", PF_ArbCompare_EQUAL},
        {"a * r * s", "a*r*s", PF_ArbCompare_NOT_EQUAL},
        {"r", "R", PF_ArbCompare_NOT_EQUAL},
        {"", "", PF_ArbCompare_EQUAL},
        {"r", "r ", PF_ArbCompare_NOT_EQUAL},
    };
    for (const Case& c : cases) {
        int32_t result = -1;
        ASSERT_EQ(param_->compare(valueOf(c.a), valueOf(c.b), result), PF_Err_NONE);
        EXPECT_EQ(result, c.result) << "'" << c.a << "' against '" << c.b << "'";
    }
}

TEST_F(ColorExpressionDataTest, InterpolationHoldsTheLeftText) {
    PF_ArbitraryH left = valueOf("r");
    PF_ArbitraryH right = valueOf("g");
    for (double t : {0.0, 0.25, 0.5, 0.999, 1.0}) {
        PF_ArbitraryH between = nullptr;
        ASSERT_EQ(param_->interpolate(left, right, t, between), PF_Err_NONE);
        EXPECT_EQ(textOf(between), "r") << "t = " << t;
    }
}

TEST_F(ColorExpressionDataTest, AMissingValueReadsAsTheEmptyText) {
    PF_ArbitraryH empty = valueOf("");
    int32_t result = -1;
    ASSERT_EQ(param_->compare(nullptr, empty, result), PF_Err_NONE);
    EXPECT_EQ(result, PF_ArbCompare_EQUAL);
    std::vector<char> saved;
    ASSERT_EQ(param_->save(nullptr, saved), PF_Err_NONE);
    EXPECT_EQ(saved, std::vector<char>(256, '\0'));
    PF_ArbitraryH copy = nullptr;
    ASSERT_EQ(param_->duplicate(nullptr, copy), PF_Err_NONE);
    EXPECT_EQ(textOf(copy), "");
}

TEST_F(ColorExpressionDataTest, AHandleTheHostCannotGiveIsAnError) {
    PF_ArbitraryH source = valueOf("r");
    struct Case {
        const char* name;
        std::function<PF_Err(PF_ArbitraryH&)> make;
    };
    const std::vector<Case> cases = {
        {"new", [&](PF_ArbitraryH& v) { return param_->create(v); }},
        {"copy", [&](PF_ArbitraryH& v) { return param_->duplicate(source, v); }},
        {"unflatten",
         [&](PF_ArbitraryH& v) {
             return param_->load({'g', '\0'}, v);
         }},
        {"interpolate", [&](PF_ArbitraryH& v) { return param_->interpolate(source, source, 0.5, v); }},
    };
    for (const Case& c : cases) {
        host().faults().failCall("host_new_handle", 1, PF_Err_OUT_OF_MEMORY);
        const size_t before = param_->held();
        PF_ArbitraryH value = nullptr;
        EXPECT_EQ(c.make(value), PF_Err_OUT_OF_MEMORY) << c.name;
        EXPECT_EQ(value, nullptr) << c.name;
        EXPECT_EQ(param_->held(), before) << c.name;
    }
}

// Read as the empty text, a value that cannot be locked would be copied, saved or kept empty.
TEST_F(ColorExpressionDataTest, AValueThatCannotBeReadIsAnErrorNotTheEmptyText) {
    PF_ArbitraryH value = valueOf("b * 2");
    struct Case {
        const char* name;
        std::function<PF_Err()> call;
    } cases[] = {
        {"copy",
         [&] {
             PF_ArbitraryH copy = nullptr;
             return param_->duplicate(value, copy);
         }},
        {"flatten",
         [&] {
             std::vector<char> flat;
             return param_->save(value, flat);
         }},
        {"interpolate",
         [&] {
             PF_ArbitraryH mixed = nullptr;
             return param_->interpolate(value, value, 0.5, mixed);
         }},
        {"compare",
         [&] {
             int32_t result = 0;
             return param_->compare(value, value, result);
         }},
    };
    for (const Case& c : cases) {
        host().faults().failCall("host_lock_handle", 1, PF_Err_OUT_OF_MEMORY);
        EXPECT_EQ(c.call(), PF_Err_INTERNAL_STRUCT_DAMAGED) << c.name;
        EXPECT_EQ(textOf(value), "b * 2") << c.name;
    }
}

TEST_F(ColorExpressionDataTest, CallsForAnotherParameterAreLeftAlone) {
    PF_ArbitraryH made = nullptr;
    PF_ArbParamsExtra extra{};
    extra.which_function = PF_Arbitrary_NEW_FUNC;
    extra.id = kId + 1;
    extra.u.new_func_params.arbPH = &made;
    EXPECT_EQ(HandleData(&in_data_, &out_data_, nullptr, nullptr, &extra, kId), PF_Err_NONE);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(HandleData(&in_data_, &out_data_, nullptr, nullptr, nullptr, kId), PF_Err_BAD_CALLBACK_PARAM);
    for (int32_t selector : {PF_Arbitrary_PRINT_SIZE_FUNC, PF_Arbitrary_PRINT_FUNC, PF_Arbitrary_SCAN_FUNC}) {
        PF_ArbParamsExtra other{};
        other.which_function = selector;
        other.id = kId;
        EXPECT_EQ(HandleData(&in_data_, &out_data_, nullptr, nullptr, &other, kId), PF_Err_NONE) << selector;
    }
}

TEST(NewDefaultData, CutsLongTextsAtAWholeCharacter) {
    Sim::Host host;
    PF_EffectInstance effect;
    PF_InData in_data{};
    PF_OutData out_data{};
    host.fillInData(in_data, &effect);
    struct Case {
        const char* name;
        std::string text;
        std::string stored;
    };
    const std::vector<Case> cases = {
        {"default", "a * r * s", "a * r * s"},
        {"300 characters", std::string(300, 'r'), std::string(255, 'r')},
        {"e acute across byte 255", std::string(254, 'r') + "\xC3\xA9", std::string(254, 'r')},
    };
    for (const Case& c : cases) {
        PF_Handle value = nullptr;
        ASSERT_EQ(NewDefaultData(&in_data, &out_data, nullptr, &value, c.text), PF_Err_NONE) << c.name;
        EXPECT_EQ(readValueText(&in_data, value), c.stored) << c.name;
        in_data.utils->host_dispose_handle(value);
    }
    EXPECT_EQ(NewDefaultData(&in_data, &out_data, nullptr, nullptr, "r"), PF_Err_NONE);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().report();
}

}  // namespace
