// libFuzzer target: any bytes go to parseExpression; a refusal must leave the handle empty and an
// accepted tree must evaluate without fault on awkward colours.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "library/custom_data/color_expression_data/expression.h"
#include "library/custom_data/color_expression_data/expression_parser.h"

using namespace Morvel::ColorExpressionData;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Expression out(std::make_shared<const ConstantExpression>(1.0f));
    const bool parsed = parseExpression(text, out);
    if (parsed == out.empty()) std::abort();
    if (!parsed) return 0;
    if (size > kMaxExpressionLength) std::abort();

    constexpr float kInf = std::numeric_limits<float>::infinity();
    const Morvel::Color<float> colours[] = {
        {1.0f, 0.6f, 0.3f, 0.2f},
        {0.0f, 0.0f, 0.0f, 0.0f},
        {1.0f, 0.5f, 0.5f, 0.5f},
        {-1.0f, kInf, -kInf, std::numeric_limits<float>::quiet_NaN()},
        {1e30f, -1e30f, std::numeric_limits<float>::denorm_min(), 1e-30f},
    };
    volatile float sink = 0.0f;
    for (const auto& colour : colours) sink = sink + out.evaluate(colour);
    return 0;
}
