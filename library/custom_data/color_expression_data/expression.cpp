#include "library/custom_data/color_expression_data/expression.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Morvel::ColorExpressionData {

namespace {

float maxOfRgb(Color<float> const& c) { return std::max(std::max(c.red, c.green), c.blue); }
float minOfRgb(Color<float> const& c) { return std::min(std::min(c.red, c.green), c.blue); }

float readAlpha(Color<float> const& c) { return c.alpha; }
float readRed(Color<float> const& c) { return c.red; }
float readGreen(Color<float> const& c) { return c.green; }
float readBlue(Color<float> const& c) { return c.blue; }

float readLuma(Color<float> const& c) { return 0.114f * c.blue + 0.587f * c.green + 0.299f * c.red; }

float readLightness(Color<float> const& c) { return (maxOfRgb(c) + minOfRgb(c)) * 0.5f; }

// Saturation as in HSB: relative to the largest channel, not to lightness.
float readSaturation(Color<float> const& c) {
    const float high = maxOfRgb(c);
    if (high == 0.0f) return 0.0f;
    return (high - minOfRgb(c)) / high;
}

// Hue in turns (degrees / 360), so that it shares the 0..1 scale of the other variables.
float readHue(Color<float> const& c) {
    const float high = maxOfRgb(c);
    const float low = minOfRgb(c);
    if (high == low) return 0.0f;
    const float range = high - low;
    float degrees;
    if (high == c.red) {
        degrees = 60.0f * (c.green - c.blue) / range;
    } else if (high == c.green) {
        degrees = 60.0f * (c.blue - c.red) / range + 120.0f;
    } else {
        degrees = 60.0f * (c.red - c.green) / range + 240.0f;
    }
    degrees = degrees - 360.0f * std::trunc(degrees / 360.0f);
    if (degrees < 0.0f) degrees += 360.0f;
    return degrees / 360.0f;
}

struct NamedUnary {
    const char* name;
    float (*function)(float);
};

// Single-precision overloads throughout; the order is the order names are compared in.
const NamedUnary kUnaryFunctions[] = {
    {"sin", [](float x) { return std::sin(x); }},   {"cos", [](float x) { return std::cos(x); }},
    {"tan", [](float x) { return std::tan(x); }},   {"asin", [](float x) { return std::asin(x); }},
    {"acos", [](float x) { return std::acos(x); }}, {"atan", [](float x) { return std::atan(x); }},
    {"sinh", [](float x) { return std::sinh(x); }}, {"cosh", [](float x) { return std::cosh(x); }},
    {"tanh", [](float x) { return std::tanh(x); }}, {"exp", [](float x) { return std::exp(x); }},
    {"log", [](float x) { return std::log(x); }},   {"log10", [](float x) { return std::log10(x); }},
    {"sqrt", [](float x) { return std::sqrt(x); }}, {"abs", [](float x) { return std::fabs(x); }},
    {"ceil", [](float x) { return std::ceil(x); }}, {"floor", [](float x) { return std::floor(x); }},
};

struct NamedBinary {
    const char* name;
    float (*function)(float, float);
};

const NamedBinary kBinaryFunctions[] = {
    {"atan2", [](float a, float b) { return std::atan2(a, b); }},
    {"pow", [](float a, float b) { return std::pow(a, b); }},
    {"fmod", &BinaryFunctionExpression::fmod},
    {"min", &BinaryFunctionExpression::min},
    {"max", &BinaryFunctionExpression::max},
    {"rand", &BinaryFunctionExpression::rand},
};

template <typename Table>
auto lookUp(Table const& table, std::string const& name, const char* what) {
    for (auto const& entry : table) {
        if (name == entry.name) return entry.function;
    }
    throw std::invalid_argument(std::string("unknown ") + what + " \"" + name + "\"");
}

NodePointer const& required(NodePointer const& node) {
    if (!node) throw std::invalid_argument("missing operand");
    return node;
}

}  // namespace

MathConstantExpression::MathConstantExpression(std::string const& name) {
    if (name == "pi") {
        value_ = 3.14159265358979323846f;
    } else if (name == "e") {
        value_ = 2.71828182845904523536f;
    } else {
        throw std::invalid_argument("unknown constant \"" + name + "\"");
    }
}

VariableExpression::VariableExpression(char letter) : letter_(letter) {
    switch (letter) {
        case 'a':
        case 'A': read_ = &readAlpha; break;
        case 'r':
        case 'R': read_ = &readRed; break;
        case 'g':
        case 'G': read_ = &readGreen; break;
        case 'b':
        case 'B': read_ = &readBlue; break;
        case 'h':
        case 'H': read_ = &readHue; break;
        case 'l':
        case 'L': read_ = &readLightness; break;
        case 's':
        case 'S': read_ = &readSaturation; break;
        case 'y':
        case 'Y': read_ = &readLuma; break;
        default: throw std::invalid_argument(std::string("unknown variable '") + letter + "'");
    }
}

float UnaryExpression::plus(float value) { return value; }
float UnaryExpression::minus(float value) { return -value; }

UnaryExpression::UnaryExpression(char sign, NodePointer operand) : operand_(required(operand)) {
    switch (sign) {
        case '+': function_ = &plus; break;
        case '-': function_ = &minus; break;
        default: throw std::invalid_argument(std::string("unknown sign '") + sign + "'");
    }
}

float BinaryExpression::add(float left, float right) { return left + right; }
float BinaryExpression::sub(float left, float right) { return left - right; }
float BinaryExpression::mult(float left, float right) { return left * right; }
float BinaryExpression::div(float left, float right) { return left / right; }

BinaryExpression::BinaryExpression(char op, NodePointer left, NodePointer right)
    : left_(required(left)), right_(required(right)) {
    switch (op) {
        case '+': function_ = &add; break;
        case '-': function_ = &sub; break;
        case '*': function_ = &mult; break;
        case '/': function_ = &div; break;
        default: throw std::invalid_argument(std::string("unknown operator '") + op + "'");
    }
}

float BinaryExpression::evaluate(Color<float> const& colour) const {
    const float left = left_->evaluate(colour);
    const float right = right_->evaluate(colour);
    return function_(left, right);
}

UnaryFunctionExpression::UnaryFunctionExpression(std::string const& name, NodePointer argument)
    : function_(lookUp(kUnaryFunctions, name, "function")), argument_(required(argument)) {}

BinaryFunctionExpression::BinaryFunctionExpression(std::string const& name, NodePointer first, NodePointer second)
    : function_(lookUp(kBinaryFunctions, name, "function")), first_(required(first)), second_(required(second)) {}

float BinaryFunctionExpression::evaluate(Color<float> const& colour) const {
    const float a = first_->evaluate(colour);
    const float b = second_->evaluate(colour);
    return function_(a, b);
}

float BinaryFunctionExpression::fmod(float a, float b) {
    if (b < 0.0f) return std::fmod(a, b);
    if (b == 0.0f) return 0.0f;
    float rest = std::fmod(a, b);
    if (rest < 0.0f) rest += b;
    return rest;
}

float BinaryFunctionExpression::min(float a, float b) { return a < b ? a : b; }
float BinaryFunctionExpression::max(float a, float b) { return a > b ? a : b; }

float BinaryFunctionExpression::rand(float a, float b) {
    const float x = std::sin(a * 12.9898f + b * 78.233f) * 43758.547f;
    return x - std::floor(x);
}

}  // namespace Morvel::ColorExpressionData
