#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "library/custom_data/color_expression_data/expression.h"
#include "library/custom_data/color_expression_data/expression_parser.h"

using namespace Morvel::ColorExpressionData;
using Colour = Morvel::Color<float>;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// alpha, red, green, blue
const Colour kMixed{0.8f, 0.6f, 0.3f, 0.2f};
const Colour kGrey{1.0f, 0.5f, 0.5f, 0.5f};
const Colour kBlack{1.0f, 0.0f, 0.0f, 0.0f};
const Colour kRed{1.0f, 1.0f, 0.0f, 0.0f};
const Colour kGreen{1.0f, 0.0f, 1.0f, 0.0f};
const Colour kBlue{1.0f, 0.0f, 0.0f, 1.0f};
const Colour kYellow{1.0f, 1.0f, 1.0f, 0.0f};
const Colour kMagenta{1.0f, 1.0f, 0.0f, 1.0f};

::testing::AssertionResult sameValue(float expected, float actual) {
    if (std::isnan(expected)) {
        if (std::isnan(actual)) return ::testing::AssertionSuccess();
    } else if (std::isinf(expected)) {
        if (expected == actual) return ::testing::AssertionSuccess();
    } else if (std::fabs(expected - actual) <= 1e-6f + 1e-6f * std::fabs(expected)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "expected " << expected << ", got " << actual;
}

struct ValueCase {
    const char* name;
    std::string text;
    Colour colour;
    float expected;  // worked out by hand or with double-precision <cmath>
};

const std::vector<ValueCase> kValueCases = {
    {"default text", "a * r * s", kMixed, 0.8f * 0.6f * (0.4f / 0.6f)},
    {"differences associate left", "2 - 3 - 4", kMixed, -5.0f},
    {"quotients associate left", "8 / 4 / 2", kMixed, 1.0f},
    {"mixed chain associates left", "8 / 2 * 4", kMixed, 16.0f},
    {"sign binds tighter than product", "-r * g", kMixed, -0.18f},
    {"sign after operator", "2 * -3", kMixed, -6.0f},
    {"signs repeat", "--r", kMixed, 0.6f},
    {"plus sign is identity", "+-+r", kMixed, -0.6f},
    {"spaced sign", "- 5", kMixed, -5.0f},
    {"product before sum", "2 + 3 * 4", kMixed, 14.0f},
    {"parentheses", "(2 + 3) * 4", kMixed, 20.0f},
    {"every kind of white space", " \t r \n+\r g\f*\v2 \t\n", kMixed, 1.2f},
    {"space between name and bracket", "sin (0.5)", kMixed, static_cast<float>(std::sin(0.5))},
    {"sin", "sin(0.5)", kMixed, static_cast<float>(std::sin(0.5))},
    {"cos", "cos(0.5)", kMixed, static_cast<float>(std::cos(0.5))},
    {"tan", "tan(0.5)", kMixed, static_cast<float>(std::tan(0.5))},
    {"asin", "asin(0.5)", kMixed, static_cast<float>(std::numbers::pi / 6)},
    {"acos", "acos(0.5)", kMixed, static_cast<float>(std::numbers::pi / 3)},
    {"atan", "atan(1)", kMixed, static_cast<float>(std::numbers::pi / 4)},
    {"sinh", "sinh(0.5)", kMixed, static_cast<float>(std::sinh(0.5))},
    {"cosh", "cosh(0.5)", kMixed, static_cast<float>(std::cosh(0.5))},
    {"tanh", "tanh(0.5)", kMixed, static_cast<float>(std::tanh(0.5))},
    {"exp", "exp(1)", kMixed, static_cast<float>(std::numbers::e)},
    {"log of 1", "log(1)", kMixed, 0.0f},
    {"log is natural", "log(e * e)", kMixed, 2.0f},
    {"log10", "log10(100)", kMixed, 2.0f},
    {"sqrt", "sqrt(16)", kMixed, 4.0f},
    {"abs", "abs(-2.5)", kMixed, 2.5f},
    {"ceil", "ceil(1.2)", kMixed, 2.0f},
    {"floor", "floor(-1.2)", kMixed, -2.0f},
    {"atan2 after atan matched", "atan2(1, 1)", kMixed, static_cast<float>(std::numbers::pi / 4)},
    {"atan2 argument order", "atan2(1, 0)", kMixed, static_cast<float>(std::numbers::pi / 2)},
    {"pow", "pow(2, 10)", kMixed, 1024.0f},
    {"fmod of negative", "fmod(-1, 3)", kMixed, 2.0f},
    {"fmod by negative", "fmod(-1, -3)", kMixed, -1.0f},
    {"fmod by zero", "fmod(5, 0)", kMixed, 0.0f},
    {"fmod plain", "fmod(7.5, 2)", kMixed, 1.5f},
    {"min", "min(r, g)", kMixed, 0.3f},
    {"min swapped", "min(g, r)", kMixed, 0.3f},
    {"max", "max(r, g)", kMixed, 0.6f},
    {"max swapped", "max(g, r)", kMixed, 0.6f},
    {"pi", "pi", kMixed, 3.14159274f},
    {"e", "e", kMixed, 2.71828175f},
    {"exponent", "1e3", kMixed, 1000.0f},
    {"signed capital exponent", "1.5E-1", kMixed, 0.15f},
    {"leading dot", ".5", kMixed, 0.5f},
    {"trailing dot", "1.", kMixed, 1.0f},
    {"inf", "inf", kMixed, kInf},
    {"infinity in capitals", "INFINITY", kMixed, kInf},
    {"negated inf", "-Inf", kMixed, -kInf},
    {"nan", "NaN", kMixed, kNaN},
    {"overflowing literal", "1e400", kMixed, kInf},
    {"underflowing literal", "1e-400", kMixed, 0.0f},
    {"beyond float range", "1e39", kMixed, kInf},
    {"division by zero", "r / 0", kMixed, kInf},
    {"negative division by zero", "-r / 0", kMixed, -kInf},
    {"zero over zero", "0 / 0", kMixed, kNaN},
    {"log of zero", "log(0)", kMixed, -kInf},
    {"sqrt of negative", "sqrt(-1)", kMixed, kNaN},
    {"a", "a", kMixed, 0.8f},
    {"r", "r", kMixed, 0.6f},
    {"g", "g", kMixed, 0.3f},
    {"b", "b", kMixed, 0.2f},
    {"y", "y", kMixed, 0.114f * 0.2f + 0.587f * 0.3f + 0.299f * 0.6f},
    {"l", "l", kMixed, 0.4f},
    {"s", "s", kMixed, 0.4f / 0.6f},
    {"h of orange-ish", "h", kMixed, (60.0f * 0.1f / 0.4f) / 360.0f},
    {"A", "A", kMixed, 0.8f},
    {"R", "R", kMixed, 0.6f},
    {"G", "G", kMixed, 0.3f},
    {"B", "B", kMixed, 0.2f},
    {"Y", "Y", kMixed, 0.114f * 0.2f + 0.587f * 0.3f + 0.299f * 0.6f},
    {"L", "L", kMixed, 0.4f},
    {"S", "S", kMixed, 0.4f / 0.6f},
    {"H", "H", kMixed, (60.0f * 0.1f / 0.4f) / 360.0f},
    {"h on grey", "h", kGrey, 0.0f},
    {"s on grey", "s", kGrey, 0.0f},
    {"l on grey", "l", kGrey, 0.5f},
    {"y on grey", "y", kGrey, 0.5f},
    {"s on black", "s", kBlack, 0.0f},
    {"h on black", "h", kBlack, 0.0f},
    {"h on red", "h", kRed, 0.0f},
    {"s on red", "s", kRed, 1.0f},
    {"l on red", "l", kRed, 0.5f},
    {"y on red", "y", kRed, 0.299f},
    {"h on yellow", "h", kYellow, 60.0f / 360.0f},
    {"h on green", "h", kGreen, 120.0f / 360.0f},
    {"y on green", "y", kGreen, 0.587f},
    {"h on blue", "h", kBlue, 240.0f / 360.0f},
    {"y on blue", "y", kBlue, 0.114f},
    {"h on magenta wraps", "h", kMagenta, 300.0f / 360.0f},
    {"e then product", "e*e", kMixed, 2.71828175f * 2.71828175f},
    {"s as variable beside sqrt", "s * sqrt(4)", kMixed, 2.0f * 0.4f / 0.6f},
    {"a as variable beside abs", "a + abs(-1)", kMixed, 1.8f},
    {"nested calls", "max(min(r, g), b)", kMixed, 0.3f},
    {"call inside call", "sqrt(pow(3, 2) + pow(4, 2))", kMixed, 5.0f},
};

}  // namespace

TEST(ColorExpression, TextsGiveTheirValues) {
    for (const auto& c : kValueCases) {
        Expression expression;
        ASSERT_TRUE(parseExpression(c.text, expression)) << c.name << ": \"" << c.text << "\"";
        ASSERT_FALSE(expression.empty()) << c.name;
        EXPECT_TRUE(sameValue(c.expected, expression.evaluate(c.colour))) << c.name << ": \"" << c.text << "\"";
    }
}

TEST(ColorExpression, RefusedTextsLeaveOutEmpty) {
    const std::string deep(65, '(');
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"spaces only", "   "},
        {"white space only", "\t\n\r\v\f "},
        {"trailing operator", "r +"},
        {"two operators", "r +* g"},
        {"leftover letter", "r g"},
        {"leftover number", "2 3"},
        {"unknown letter", "x"},
        {"two letters", "rr"},
        {"capital function", "SIN(r)"},
        {"capitalised function", "Sin(r)"},
        {"capital binary function", "RAND(r, g)"},
        {"capitalised constant", "Pi"},
        {"capital constant", "PI"},
        {"capital e", "E"},
        {"exponent without digits", "2e"},
        {"exponent sign without digits", "2e+"},
        {"nan with payload", "nan(1)"},
        {"nan with empty payload", "nan()"},
        {"inf with brackets", "inf(1)"},
        {"cut-off infinity", "infinit"},
        {"lone dot", "."},
        {"two dots", "1..2"},
        {"space inside number", "1 .5"},
        {"space inside name", "s in(r)"},
        {"constant then digits", "e1"},
        {"unclosed bracket", "(r"},
        {"unopened bracket", "r)"},
        {"unclosed call", "sin(r"},
        {"call without brackets", "sin r"},
        {"function name alone", "sqrt"},
        {"log10 alone", "log10"},
        {"rand without brackets", "rand"},
        {"binary call with one argument", "pow(r)"},
        {"missing second argument", "min(r,)"},
        {"missing comma", "atan2(1 1)"},
        {"unary call with two arguments", "sin(r, g)"},
        {"unknown symbol", "r # g"},
        {"nul byte", std::string("r\0g", 3)},
        {"trailing nul", std::string("r\0", 2)},
        {"byte above 0x7F", "r\xC3\xA9"},
        {"latin-1 space", "\xA0r"},
        {"over-long", "r" + std::string(255, ' ')},
        {"over-deep brackets", deep + "r" + std::string(65, ')')},
        {"over-deep signs", std::string(65, '-') + "r"},
    };
    for (const auto& c : cases) {
        Expression out;
        ASSERT_TRUE(parseExpression("r", out));
        EXPECT_FALSE(parseExpression(c.text, out)) << c.name;
        EXPECT_TRUE(out.empty()) << c.name << ": a refused text left a tree behind";
    }
}

TEST(ColorExpression, LengthLimitIs255Bytes) {
    const struct {
        const char* name;
        std::string text;
        bool accepted;
    } cases[] = {
        {"255 bytes of sum",
         "1" + std::string() +
             [] {
                 std::string tail;
                 while (tail.size() < 254) tail += "+1";
                 return tail.substr(0, 254);
             }(),
         true},
        {"trailing spaces up to 255", "r" + std::string(254, ' '), true},
        {"256 with a trailing space", "r" + std::string(255, ' '), false},
        {"256 bytes of sum",
         [] {
             std::string text = "1";
             while (text.size() < 256) text += "+1";
             return text.substr(0, 255) + "1";
         }(),
         false},
    };
    for (const auto& c : cases) {
        Expression out;
        EXPECT_EQ(parseExpression(c.text, out), c.accepted) << c.name << " (" << c.text.size() << " bytes)";
        EXPECT_EQ(out.empty(), !c.accepted) << c.name;
    }
    Expression sum;
    ASSERT_TRUE(parseExpression(cases[0].text, sum));
    EXPECT_EQ(sum.evaluate(kMixed), 128.0f) << "128 ones in a 255-byte sum";
}

TEST(ColorExpression, NestingLimitIs64Levels) {
    auto brackets = [](int depth) { return std::string(depth, '(') + "r" + std::string(depth, ')'); };
    auto signs = [](int depth) { return std::string(depth, '-') + "r"; };
    auto calls = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i) text += "abs(";
        return text + "r" + std::string(depth, ')');
    };
    const struct {
        const char* name;
        std::string text;
        bool accepted;
        float expected;
    } cases[] = {
        {"64 brackets", brackets(64), true, 0.6f},
        {"65 brackets", brackets(65), false, 0.0f},
        {"64 signs", signs(64), true, 0.6f},
        {"63 signs", signs(63), true, -0.6f},
        {"65 signs", signs(65), false, 0.0f},
        {"64 signs before a number", std::string(64, '-') + "5", true, 5.0f},
        {"65 signs before a number", std::string(65, '-') + "5", false, 0.0f},
        {"65 plus signs before a number", std::string(65, '+') + "5", false, 0.0f},
        {"sign and number inside 64 brackets", brackets(64).replace(64, 1, "-5"), false, 0.0f},
        {"50 calls", calls(50), true, 0.6f},
        {"65 calls", calls(65), false, 0.0f},
        {"sign inside 63 brackets", brackets(63).replace(63, 1, "-r"), true, -0.6f},
        {"sign inside 64 brackets", brackets(64).replace(64, 1, "-r"), false, 0.0f},
    };
    for (const auto& c : cases) {
        Expression out;
        ASSERT_EQ(parseExpression(c.text, out), c.accepted) << c.name;
        if (c.accepted) {
            EXPECT_EQ(out.evaluate(kMixed), c.expected) << c.name;
        }
    }
}

TEST(ColorExpression, RandIsPureAndInUnitRange) {
    Expression first;
    Expression second;
    ASSERT_TRUE(parseExpression("rand(r, g)", first));
    ASSERT_TRUE(parseExpression(" rand( r ,g ) ", second));
    std::vector<float> seen;
    for (int i = 0; i < 200; ++i) {
        const Colour colour{1.0f, static_cast<float>(i) / 199.0f, static_cast<float>((i * 37) % 200) / 199.0f, 0.0f};
        const float value = first.evaluate(colour);
        EXPECT_GE(value, 0.0f) << i;
        EXPECT_LT(value, 1.0f) << i;
        EXPECT_EQ(value, first.evaluate(colour)) << i;
        EXPECT_EQ(value, second.evaluate(colour)) << i;
        seen.push_back(value);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_GT(std::unique(seen.begin(), seen.end()) - seen.begin(), 150) << "rand hardly varies";
}

TEST(ColorExpression, ExpressionsShareTheirTree) {
    Expression original;
    ASSERT_TRUE(parseExpression("r + g", original));
    const Expression copy = original;
    EXPECT_EQ(copy.root(), original.root());
    original = Expression();
    EXPECT_TRUE(sameValue(0.9f, copy.evaluate(kMixed))) << "the copy keeps the tree alive";
}

TEST(ColorExpression, NodesWrapIntoHandles) {
    const Expression constant = ConstantExpression(2.5f);
    const Expression variable = VariableExpression('G');
    EXPECT_EQ(constant.evaluate(kMixed), 2.5f);
    EXPECT_EQ(variable.evaluate(kMixed), 0.3f);
}

TEST(ColorExpression, ConstructorsRefuseUnknownNames) {
    const NodePointer one = std::make_shared<const ConstantExpression>(1.0f);
    const struct {
        const char* name;
        std::function<void()> construct;
    } cases[] = {
        {"constant in capitals", [] { MathConstantExpression("PI"); }},
        {"unknown constant", [] { MathConstantExpression("tau"); }},
        {"unknown variable", [] { VariableExpression('x'); }},
        {"digit as variable", [] { VariableExpression('1'); }},
        {"unknown sign", [&] { UnaryExpression('*', one); }},
        {"unknown operator", [&] { BinaryExpression('%', one, one); }},
        {"unary function in capitals", [&] { UnaryFunctionExpression("SIN", one); }},
        {"binary name as unary", [&] { UnaryFunctionExpression("atan2", one); }},
        {"unary name as binary", [&] { BinaryFunctionExpression("atan", one, one); }},
        {"binary function in capitals", [&] { BinaryFunctionExpression("RAND", one, one); }},
        {"missing operand", [] { UnaryExpression('-', nullptr); }},
        {"missing right operand", [&] { BinaryExpression('+', one, nullptr); }},
        {"missing argument", [&] { BinaryFunctionExpression("min", nullptr, one); }},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(c.construct(), std::invalid_argument) << c.name;
    }
}

TEST(ColorExpression, OneTreeEvaluatedFromManyThreads) {
    Expression shared;
    ASSERT_TRUE(parseExpression("a * r * s + h - rand(g, b) * fmod(y, 0.3) / max(l, 0.1) + sin(pi * r)", shared));
    std::vector<Colour> colours;
    for (int i = 0; i < 256; ++i) {
        colours.emplace_back(static_cast<float>(i % 7) / 6.0f, static_cast<float>(i) / 255.0f,
                             static_cast<float>((i * 53) % 256) / 255.0f, static_cast<float>((i * 101) % 256) / 255.0f);
    }
    std::vector<float> expected;
    for (const auto& colour : colours) expected.push_back(shared.evaluate(colour));

    constexpr int kThreads = 8;
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t, handle = shared] {
            for (int round = 0; round < 200; ++round) {
                for (std::size_t i = 0; i < colours.size(); ++i) {
                    const float value = handle.evaluate(colours[i]);
                    if (!(value == expected[i] || (std::isnan(value) && std::isnan(expected[i])))) ++mismatches[t];
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
    EXPECT_EQ(shared.root().use_count(), 1) << "every thread's handle let go of the tree";
}
