// The grammar lives alone in this file: Spirit is slow to compile and nothing else needs it.
#include "library/custom_data/color_expression_data/expression_parser.h"

#include <charconv>
#include <limits>
#include <memory>
#include <string>
#include <system_error>

#include <boost/phoenix/core.hpp>
#include <boost/phoenix/function.hpp>
#include <boost/phoenix/object/construct.hpp>
#include <boost/phoenix/object/static_cast.hpp>
#include <boost/phoenix/operator.hpp>
#include <boost/spirit/include/qi.hpp>

namespace Morvel::ColorExpressionData {

namespace qi = boost::spirit::qi;
namespace ascii = boost::spirit::ascii;
namespace phx = boost::phoenix;

namespace {

// Power of ten of the leading non-zero digit of a decimal text; only its sign matters, to tell
// an overflow from an underflow.
long long leadingPowerOfTen(std::string const& text) {
    long long integerDigits = 0;
    long long firstNonZero = -1;
    long long digitIndex = 0;
    bool inFraction = false;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            inFraction = true;
        } else if (c >= '0' && c <= '9') {
            if (c != '0' && firstNonZero < 0) firstNonZero = digitIndex;
            ++digitIndex;
            if (!inFraction) ++integerDigits;
        } else if (c == 'e' || c == 'E') {
            break;
        }
    }
    if (firstNonZero < 0) return std::numeric_limits<long long>::min();
    long long exponent = 0;
    bool negative = false;
    for (++i; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '-') negative = true;
        if (c >= '0' && c <= '9' && exponent < 1'000'000'000) exponent = exponent * 10 + (c - '0');
    }
    return integerDigits - firstNonZero - 1 + (negative ? -exponent : exponent);
}

// Converts a text the number rule has already matched. Locale-independent on purpose: the host
// may have switched the decimal point to a comma.
struct ToNumber {
    using result_type = bool;
    template <typename Range>
    bool operator()(Range const& range, double& value) const {
        std::string text(range.begin(), range.end());
        std::size_t skip = (!text.empty() && text.front() == '+') ? 1 : 0;  // from_chars takes no '+'
        const char* first = text.data() + skip;
        const char* last = text.data() + text.size();
        const auto [end, error] = std::from_chars(first, last, value);
        if (error == std::errc::result_out_of_range) {
            const double magnitude = leadingPowerOfTen(text) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
            value = text.front() == '-' ? -magnitude : magnitude;
            return true;
        }
        return error == std::errc() && end == last;
    }
};

}  // namespace

// Each functor builds its node with shared ownership and makes it the rule's result.
struct MakeBinaryExpression {
    using result_type = void;
    void operator()(Expression& result, char op, Expression const& right) const {
        result = Expression(std::make_shared<const BinaryExpression>(op, result.root(), right.root()));
    }
};

struct MakeUnaryExpression {
    using result_type = void;
    void operator()(Expression& result, char sign, Expression const& operand) const {
        result = Expression(std::make_shared<const UnaryExpression>(sign, operand.root()));
    }
};

struct MakeMathConstantExpression {
    using result_type = void;
    void operator()(Expression& result, std::string const& name) const {
        result = Expression(std::make_shared<const MathConstantExpression>(name));
    }
};

struct MakeUnaryFunctionExpression {
    using result_type = void;
    void operator()(Expression& result, std::string const& name, Expression const& argument) const {
        result = Expression(std::make_shared<const UnaryFunctionExpression>(name, argument.root()));
    }
};

struct MakeBinarFunctionyExpression {
    using result_type = void;
    void operator()(Expression& result, std::string const& name, Expression const& first,
                    Expression const& second) const {
        result = Expression(std::make_shared<const BinaryFunctionExpression>(name, first.root(), second.root()));
    }
};

// Ordered choice throughout: the first alternative that matches wins and is never re-entered.
// The inherited attribute of expression, term and factor is the nesting depth.
template <typename Iterator>
struct ExpressionParser : qi::grammar<Iterator, Expression(), ascii::space_type> {
    using Skipper = ascii::space_type;

    ExpressionParser() : ExpressionParser::base_type(start, "expression") {
        using ascii::no_case;
        using phx::construct;
        using qi::_1;
        using qi::_2;
        using qi::_3;
        using qi::_pass;
        using qi::_r1;
        using qi::_val;
        using qi::char_;
        using qi::lit;

        start = expression(0u)[_val = _1];

        expression = term(_r1)[_val = _1] >> *(((char_('+') | char_('-')) >> term(_r1))[makeBinary(_val, _1, _2)]);

        term = factor(_r1)[_val = _1] >> *(((char_('*') | char_('/')) >> factor(_r1))[makeBinary(_val, _1, _2)]);

        factor =
            qi::eps(_r1 <= kMaxExpressionNesting) >>
            ((unaryName >> '(' >> expression(_r1 + 1u) >> ')')[makeUnaryFunction(_val, _1, _2)] |
             (binaryName >> '(' >> expression(_r1 + 1u) >> ',' >> expression(_r1 + 1u) >>
              ')')[makeBinaryFunction(_val, _1, _2, _3)] |
             constantName[makeMathConstant(_val, _1)] |
             variable[_val = construct<Expression>(construct<VariableExpression>(_1))] |
             ('(' >> expression(_r1 + 1u) >> ')')[_val = _1] |
             ((char_('+') | char_('-')) >> factor(_r1 + 1u))[makeUnary(_val, _1, _2)] |
             // A sign left over here means the sign above hit the depth limit; a signed
             // literal must not slip past it.
             !(lit('+') | lit('-')) >>
                 constant[_val = construct<Expression>(construct<ConstantExpression>(phx::static_cast_<float>(_1)))]);

        // Longer names first where one is a prefix of another: a matched name is final.
        unaryName = qi::string("sinh") | qi::string("cosh") | qi::string("tanh") | qi::string("sin") |
                    qi::string("cos") | qi::string("tan") | qi::string("asin") | qi::string("acos") |
                    qi::string("atan") | qi::string("exp") | qi::string("log10") | qi::string("log") |
                    qi::string("sqrt") | qi::string("abs") | qi::string("ceil") | qi::string("floor");

        binaryName = qi::string("atan2") | qi::string("pow") | qi::string("fmod") | qi::string("min") |
                     qi::string("max") | qi::string("rand");

        constantName = qi::string("pi") | qi::string("e");

        variable = char_("aArRgGbBhHlLsSyY");

        // A decimal number with a strict exponent ("2e" is no number), or nan, inf, infinity in any
        // case; failing that, a decimal integer. Nothing may follow these words ("nan(1)").
        constant =
            qi::lexeme
                [qi::raw[-(lit('+') | lit('-')) >>
                         ((((+char_('0', '9') >> -(lit('.') >> *char_('0', '9'))) | (lit('.') >> +char_('0', '9'))) >>
                           ((no_case[lit('e')] >> -(lit('+') | lit('-')) >> +char_('0', '9')) | !no_case[lit('e')])) |
                          no_case[lit("nan")] | (no_case[lit("inf")] >> -no_case[lit("inity")]))]
                        [_pass = toNumber(_1, _val)]] |
            qi::lexeme[qi::raw[-(lit('+') | lit('-')) >> +char_('0', '9')][_pass = toNumber(_1, _val)]];
    }

    qi::rule<Iterator, Expression(), Skipper> start;
    qi::rule<Iterator, Expression(unsigned), Skipper> expression;
    qi::rule<Iterator, Expression(unsigned), Skipper> term;
    qi::rule<Iterator, Expression(unsigned), Skipper> factor;
    qi::rule<Iterator, std::string(), Skipper> unaryName;
    qi::rule<Iterator, std::string(), Skipper> binaryName;
    qi::rule<Iterator, std::string(), Skipper> constantName;
    qi::rule<Iterator, char(), Skipper> variable;
    qi::rule<Iterator, double(), Skipper> constant;

    phx::function<MakeBinaryExpression> makeBinary;
    phx::function<MakeUnaryExpression> makeUnary;
    phx::function<MakeMathConstantExpression> makeMathConstant;
    phx::function<MakeUnaryFunctionExpression> makeUnaryFunction;
    phx::function<MakeBinarFunctionyExpression> makeBinaryFunction;
    phx::function<ToNumber> toNumber;
};

bool parseExpression(std::string const& text, Expression& out) {
    out = Expression();
    if (text.empty() || text.size() > kMaxExpressionLength) return false;
    // No token uses them, and the ASCII character classes must not be asked about them.
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > 0x7F) return false;
    }

    const ExpressionParser<std::string::const_iterator> parser;
    Expression result;
    auto position = text.cbegin();
    const bool matched = qi::phrase_parse(position, text.cend(), parser, ascii::space, result);
    if (!matched || position != text.cend() || result.empty()) return false;
    out = std::move(result);
    return true;
}

}  // namespace Morvel::ColorExpressionData
