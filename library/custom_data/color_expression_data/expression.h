#pragma once

#include <concepts>
#include <memory>
#include <string>

#include "library/utility/color.h"

namespace Morvel::ColorExpressionData {

// A node of a parsed colour formula. Nodes never change after construction, so one tree can be
// evaluated by any number of threads at once.
class AbstractExpression {
public:
    virtual ~AbstractExpression() = default;
    virtual float evaluate(Color<float> const& colour) const = 0;
};

using NodePointer = std::shared_ptr<const AbstractExpression>;

class ConstantExpression : public AbstractExpression {
public:
    explicit ConstantExpression(float value) : value_(value) {}
    float evaluate(Color<float> const&) const override { return value_; }

private:
    float value_;
};

// "pi" or "e"; any other name throws std::invalid_argument.
class MathConstantExpression : public AbstractExpression {
public:
    explicit MathConstantExpression(std::string const& name);
    float evaluate(Color<float> const&) const override { return value_; }

private:
    float value_;
};

// One of "aArRgGbBhHlLsSyY"; any other letter throws std::invalid_argument.
class VariableExpression : public AbstractExpression {
public:
    explicit VariableExpression(char letter);
    float evaluate(Color<float> const& colour) const override { return read_(colour); }
    char letter() const { return letter_; }

private:
    using Reader = float (*)(Color<float> const&);
    char letter_;
    Reader read_;  // chosen once so that evaluation does not switch on the letter per pixel
};

// A sign: '-' negates, '+' passes the operand through.
class UnaryExpression : public AbstractExpression {
public:
    UnaryExpression(char sign, NodePointer operand);
    float evaluate(Color<float> const& colour) const override { return function_(operand_->evaluate(colour)); }

    static float plus(float value);
    static float minus(float value);

private:
    float (*function_)(float);
    NodePointer operand_;
};

// One of '+', '-', '*', '/'.
class BinaryExpression : public AbstractExpression {
public:
    BinaryExpression(char op, NodePointer left, NodePointer right);
    float evaluate(Color<float> const& colour) const override;

    static float add(float left, float right);
    static float sub(float left, float right);
    static float mult(float left, float right);
    static float div(float left, float right);

private:
    float (*function_)(float, float);
    NodePointer left_;
    NodePointer right_;
};

// sin, cos, tan, asin, acos, atan, sinh, cosh, tanh, exp, log, log10, sqrt, abs, ceil, floor.
class UnaryFunctionExpression : public AbstractExpression {
public:
    UnaryFunctionExpression(std::string const& name, NodePointer argument);
    float evaluate(Color<float> const& colour) const override { return function_(argument_->evaluate(colour)); }

private:
    float (*function_)(float);
    NodePointer argument_;
};

// atan2, pow, fmod, min, max, rand.
class BinaryFunctionExpression : public AbstractExpression {
public:
    BinaryFunctionExpression(std::string const& name, NodePointer first, NodePointer second);
    float evaluate(Color<float> const& colour) const override;

    // The result lies in [0, b) for b > 0, keeps a's sign for b < 0, and is 0 for b = 0.
    static float fmod(float a, float b);
    static float min(float a, float b);
    static float max(float a, float b);
    // A pure hash of (a, b) into [0, 1): the same colour always gives the same value.
    static float rand(float a, float b);

private:
    float (*function_)(float, float);
    NodePointer first_;
    NodePointer second_;
};

// The handle that callers hold and copy; copies share one tree. An empty handle must not be
// evaluated.
class Expression : public AbstractExpression {
public:
    Expression() = default;
    explicit Expression(NodePointer root) : root_(std::move(root)) {}

    template <typename Node>
    requires std::same_as<Node, ConstantExpression> || std::same_as<Node, VariableExpression> Expression(
        Node const& node)
        : root_(std::make_shared<const Node>(node)) {}

    float evaluate(Color<float> const& colour) const override { return root_->evaluate(colour); }

    bool empty() const { return root_ == nullptr; }
    NodePointer const& root() const { return root_; }

private:
    NodePointer root_;
};

}  // namespace Morvel::ColorExpressionData
