// Deterministic random texts: trees printed with the fewest brackets their precedence needs and
// computed directly, and token soups checked for the parser's invariants.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "library/custom_data/color_expression_data/expression.h"
#include "library/custom_data/color_expression_data/expression_parser.h"

using namespace Morvel::ColorExpressionData;
using Colour = Morvel::Color<float>;

namespace {

// splitmix64: the same sequence on every standard library.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    bool chance(unsigned percent) { return below(100) < percent; }

private:
    std::uint64_t state_;
};

bool sameFloat(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

const Colour kColour{0.8f, 0.6f, 0.3f, 0.2f};

// The variables on kColour, worked out by hand: max 0.6 (red), min 0.2 (blue).
float variableValue(char letter) {
    switch (letter | 0x20) {
        case 'a': return 0.8f;
        case 'r': return 0.6f;
        case 'g': return 0.3f;
        case 'b': return 0.2f;
        case 'h': return (60.0f * (0.3f - 0.2f) / (0.6f - 0.2f)) / 360.0f;
        case 'l': return (0.6f + 0.2f) * 0.5f;
        case 's': return (0.6f - 0.2f) / 0.6f;
        default: return 0.114f * 0.2f + 0.587f * 0.3f + 0.299f * 0.6f;
    }
}

struct Generated {
    std::string text;
    float value;
    int precedence;  // 3 atom or call, 2 signed, 1 product, 0 sum
};

class TreeWriter {
public:
    explicit TreeWriter(Random& random) : random_(random) {}

    Generated make(int depth) {
        const std::size_t kind = depth <= 0 ? random_.below(3) : random_.below(11);
        switch (kind) {
            case 0: return number();
            case 1: return variable();
            case 2:
                return random_.chance(50) ? Generated{"pi", std::numbers::pi_v<float>, 3}
                                          : Generated{"e", std::numbers::e_v<float>, 3};
            case 3: return sign(depth);
            case 4: return unaryCall(depth);
            case 5: return binaryCall(depth);
            default: return binary(depth);
        }
    }

    // White space anywhere between tokens.
    std::string gap() {
        static const char kSpaces[] = " \t\n\r\v\f";
        std::string text;
        while (random_.chance(25)) text += kSpaces[random_.below(6)];
        return text;
    }

private:
    Generated number() {
        static const struct {
            const char* text;
            float value;
        } kNumbers[] = {{"0", 0.0f},  {"2", 2.0f},      {"7", 7.0f},    {"0.5", 0.5f},    {".25", 0.25f},
                        {"3.", 3.0f}, {"1.5e1", 15.0f}, {"1E-1", 0.1f}, {"2.5E+0", 2.5f}, {"10", 10.0f}};
        const auto& n = kNumbers[random_.below(std::size(kNumbers))];
        return {n.text, n.value, 3};
    }

    Generated variable() {
        static const char kLetters[] = "aArRgGbBhHlLsSyY";
        const char letter = kLetters[random_.below(16)];
        return {std::string(1, letter), variableValue(letter), 3};
    }

    std::string bracketed(Generated const& operand, bool needed) {
        return needed ? std::string("(") + gap() + operand.text + gap() + ")" : operand.text;
    }

    Generated sign(int depth) {
        const Generated operand = make(depth - 1);
        const bool negate = random_.chance(50);
        const std::string text = std::string(negate ? "-" : "+") + gap() + bracketed(operand, operand.precedence < 2);
        return {text, negate ? -operand.value : operand.value, 2};
    }

    Generated unaryCall(int depth) {
        static const struct {
            const char* name;
            float (*function)(float);
        } kFunctions[] = {
            {"sin", [](float x) { return std::sin(x); }},   {"cos", [](float x) { return std::cos(x); }},
            {"tan", [](float x) { return std::tan(x); }},   {"asin", [](float x) { return std::asin(x); }},
            {"acos", [](float x) { return std::acos(x); }}, {"atan", [](float x) { return std::atan(x); }},
            {"sinh", [](float x) { return std::sinh(x); }}, {"cosh", [](float x) { return std::cosh(x); }},
            {"tanh", [](float x) { return std::tanh(x); }}, {"exp", [](float x) { return std::exp(x); }},
            {"log", [](float x) { return std::log(x); }},   {"log10", [](float x) { return std::log10(x); }},
            {"sqrt", [](float x) { return std::sqrt(x); }}, {"abs", [](float x) { return std::fabs(x); }},
            {"ceil", [](float x) { return std::ceil(x); }}, {"floor", [](float x) { return std::floor(x); }},
        };
        const auto& f = kFunctions[random_.below(std::size(kFunctions))];
        const Generated argument = make(depth - 1);
        return {std::string(f.name) + gap() + "(" + gap() + argument.text + gap() + ")", f.function(argument.value), 3};
    }

    Generated binaryCall(int depth) {
        const Generated a = make(depth - 1);
        const Generated b = make(depth - 1);
        const char* name;
        float value;
        switch (random_.below(6)) {
            case 0:
                name = "atan2";
                value = std::atan2(a.value, b.value);
                break;
            case 1:
                name = "pow";
                value = std::pow(a.value, b.value);
                break;
            case 2:
                name = "min";
                value = a.value < b.value ? a.value : b.value;
                break;
            case 3:
                name = "max";
                value = a.value > b.value ? a.value : b.value;
                break;
            case 4: {
                name = "fmod";
                if (b.value == 0.0f) {
                    value = 0.0f;
                } else {
                    value = std::fmod(a.value, b.value);
                    if (b.value > 0.0f && value < 0.0f) value += b.value;
                }
                break;
            }
            default: {
                name = "rand";
                const float x = std::sin(a.value * 12.9898f + b.value * 78.233f) * 43758.547f;
                value = x - std::floor(x);
            }
        }
        return {std::string(name) + gap() + "(" + gap() + a.text + gap() + "," + gap() + b.text + gap() + ")", value,
                3};
    }

    Generated binary(int depth) {
        const Generated left = make(depth - 1);
        const Generated right = make(depth - 1);
        static const char kOperators[] = "+-*/";
        const char op = kOperators[random_.below(4)];
        const int precedence = (op == '+' || op == '-') ? 0 : 1;
        float value;
        switch (op) {
            case '+': value = left.value + right.value; break;
            case '-': value = left.value - right.value; break;
            case '*': value = left.value * right.value; break;
            default: value = left.value / right.value;
        }
        // Left association: the right operand needs brackets at equal precedence, the left does not.
        const std::string text = bracketed(left, left.precedence < precedence) + gap() + op + gap() +
                                 bracketed(right, right.precedence <= precedence);
        return {text, value, precedence};
    }

    Random& random_;
};

}  // namespace

TEST(ColorExpressionRandom, PrintedTreesParseToTheirDirectValue) {
    Random random(20240611);
    TreeWriter writer(random);
    int compared = 0;
    int tooLong = 0;
    for (int i = 0; i < 2500; ++i) {
        const Generated tree = writer.make(static_cast<int>(random.below(10)));
        const std::string text = writer.gap() + tree.text + writer.gap();
        Expression expression;
        const bool parsed = parseExpression(text, expression);
        if (text.size() > kMaxExpressionLength) {
            EXPECT_FALSE(parsed) << "over-long text accepted: " << text;
            ++tooLong;
            continue;
        }
        ASSERT_TRUE(parsed) << "case " << i << ": \"" << text << "\"";
        EXPECT_TRUE(sameFloat(tree.value, expression.evaluate(kColour)))
            << "case " << i << ": \"" << text << "\" expected " << tree.value << ", got "
            << expression.evaluate(kColour);
        ++compared;
    }
    EXPECT_GT(compared, 2000);
    EXPECT_GT(tooLong, 0) << "the generator never reached the length limit";
}

TEST(ColorExpressionRandom, TokenSoupKeepsTheParserInvariants) {
    static const char* const kTokens[] = {
        "r",   "G",   "b",   "A",   "h",    "L",   "s",     "Y",    "x",    "q",     "pi",    "e",   "E",    "Pi",
        "0",   "1",   "42",  ".",   "5",    "e3",  "E-2",   "nan",  "INF",  "inity", "(",     ")",   ",",    "+",
        "-",   "*",   "/",   " ",   "\t",   "\n",  "sin",   "sinh", "atan", "atan2", "log10", "log", "rand", "fmod",
        "min", "max", "pow", "abs", "sqrt", "exp", "floor", "SIN",  "#",    "\x7F",  "\x80",  "\xFF"};
    Random random(7);
    int accepted = 0;
    for (int i = 0; i < 8000; ++i) {
        std::string text;
        const std::size_t count = 1 + random.below(12);
        for (std::size_t t = 0; t < count; ++t) {
            const std::size_t pick = random.below(std::size(kTokens) + 1);
            if (pick == std::size(kTokens)) {
                text += '\0';
            } else {
                text += kTokens[pick];
            }
        }
        Expression out = ConstantExpression(1.0f);
        const bool parsed = parseExpression(text, out);
        ASSERT_EQ(parsed, !out.empty()) << "case " << i << ": \"" << text << "\"";

        bool highByte = false;
        for (const char c : text) highByte = highByte || static_cast<unsigned char>(c) > 0x7F;
        if (highByte) {
            EXPECT_FALSE(parsed) << "case " << i;
        }
        if (!parsed) continue;
        ++accepted;

        const float value = out.evaluate(kColour);
        Expression again;
        ASSERT_TRUE(parseExpression(text, again)) << "case " << i;
        EXPECT_TRUE(sameFloat(value, again.evaluate(kColour))) << "case " << i << ": \"" << text << "\"";

        Expression spaced;
        ASSERT_TRUE(parseExpression(" \t" + text + "\n ", spaced)) << "case " << i << ": \"" << text << "\"";
        EXPECT_TRUE(sameFloat(value, spaced.evaluate(kColour))) << "case " << i;

        Expression negated;
        ASSERT_TRUE(parseExpression("-(" + text + ")", negated)) << "case " << i << ": \"" << text << "\"";
        EXPECT_TRUE(sameFloat(-value, negated.evaluate(kColour))) << "case " << i << ": \"" << text << "\"";
    }
    EXPECT_GT(accepted, 200) << "the soup hardly ever forms a formula";
}

TEST(ColorExpressionRandom, CorpusFilesParseAsTheirNamesSay) {
    // ctest names the data folder; run by hand, the program knows where its sources were.
    const char* root = std::getenv("MORVEL_TEST_DATA");
    if (root == nullptr) root = MORVEL_TEST_DATA_DIR;
    const std::filesystem::path folder = std::filesystem::path(root) / "color_expression_corpus";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        std::ifstream file(entry.path(), std::ios::binary);
        std::stringstream content;
        content << file.rdbuf();
        Expression out;
        const bool parsed = parseExpression(content.str(), out);
        if (name.starts_with("ok-")) {
            EXPECT_TRUE(parsed) << name;
            if (parsed) out.evaluate(kColour);
        } else if (name.starts_with("bad-")) {
            EXPECT_FALSE(parsed) << name;
            EXPECT_TRUE(out.empty()) << name;
        } else {
            ADD_FAILURE() << name << ": corpus files are named ok-* or bad-*";
        }
        ++files;
    }
    EXPECT_GE(files, 10);
}
