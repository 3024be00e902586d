#pragma once

#include <cstddef>
#include <string>

#include "library/custom_data/color_expression_data/expression.h"

namespace Morvel::ColorExpressionData {

// The stored text is a zero-terminated block of 256 bytes.
inline constexpr std::size_t kMaxExpressionLength = 255;
// Parentheses, call arguments and signs each open one level; no sensible formula comes close,
// and the bound keeps the parser's recursion far from the end of a worker thread's stack.
inline constexpr unsigned kMaxExpressionNesting = 64;

// Parses the whole text (trailing white space allowed). On false, out is left empty.
bool parseExpression(std::string const& text, Expression& out);

}  // namespace Morvel::ColorExpressionData
