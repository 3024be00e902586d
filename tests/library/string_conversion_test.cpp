#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/string/string_conversion.h"

using Morvel::convertUTF8toUTF16;
using Morvel::cutUTF8;
using Morvel::escapeString;
using Morvel::Utf8Error;
using Morvel::validUTF8Length;
using Morvel::zfill;
using Units = std::basic_string<unsigned short>;

namespace {

// Straightforward encoders written from the definitions, to check the converter against.
std::string encodeUTF8(char32_t point) {
    std::string bytes;
    if (point < 0x80) {
        bytes += static_cast<char>(point);
    } else if (point < 0x800) {
        bytes += static_cast<char>(0xC0 | (point >> 6));
        bytes += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        bytes += static_cast<char>(0xE0 | (point >> 12));
        bytes += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | (point >> 18));
        bytes += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (point & 0x3F));
    }
    return bytes;
}

std::vector<char32_t> decodeUTF16(Units const& units) {
    std::vector<char32_t> points;
    for (size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size()) {
            points.push_back(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            points.push_back(unit);
        }
    }
    return points;
}

}  // namespace

TEST(ConvertUTF8toUTF16, RoundTripsEveryKindOfCodePoint) {
    const std::vector<char32_t> points = {0,      0x41,   0x7F,   0x80,   0xE9,    0x7FF,   0x800,   0x20AC,
                                          0xD7FF, 0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x1F600, 0xFFFFF, 0x10FFFF};
    std::string text;
    for (char32_t point : points) text += encodeUTF8(point);
    EXPECT_EQ(decodeUTF16(convertUTF8toUTF16<unsigned short>(text)), points);
}

TEST(ConvertUTF8toUTF16, Table) {
    struct Case {
        const char* name;
        std::string bytes;
        Units units;
    };
    const std::vector<Case> cases = {
        {"empty", "", {}},
        {"ascii", "r*g", {'r', '*', 'g'}},
        {"e acute", "\xC3\xA9", {0xE9}},
        {"euro sign", "\xE2\x82\xAC", {0x20AC}},
        {"outside the basic plane", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
        {"last code point", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
        {"overlong zero", "\xC0\x80", {0x0000}},
        {"overlong slash", "\xE0\x80\xAF", {0x002F}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(convertUTF8toUTF16<unsigned short>(c.bytes), c.units) << c.name;
    }
}

TEST(ConvertUTF8toUTF16, RejectsWhatIsNotUTF8) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"lone e acute byte", "\xE9"},
        {"continuation byte as lead", "a\x80"},
        {"lead byte above F7", "\xF8\x88\x80\x80\x80"},
        {"byte FF", "\xFF"},
        {"ends inside two-byte sequence", "r\xC3"},
        {"ends inside three-byte sequence", "\xE2\x82"},
        {"ends inside four-byte sequence", "\xF0\x9F\x98"},
        {"continuation out of range", "\xC3\x41"},
        {"continuation is a lead", "\xE2\xC3\xA9"},
        {"high surrogate", "\xED\xA0\x80"},
        {"low surrogate", "\xED\xBF\xBF"},
        {"0x110000", "\xF4\x90\x80\x80"},
        {"largest four-byte value", "\xF7\xBF\xBF\xBF"},
    };
    for (const Case& c : cases) {
        try {
            convertUTF8toUTF16<unsigned short>(c.bytes);
            ADD_FAILURE() << c.name << ": converted";
        } catch (Utf8Error const& error) {
            EXPECT_STREQ(error.what(), "not a utf8 string") << c.name;
        }
        EXPECT_THROW(escapeString(c.bytes), Utf8Error) << c.name;
    }
}

TEST(EscapeString, Table) {
    struct Case {
        const char* name;
        std::string text;
        std::string escaped;
    };
    const std::vector<Case> cases = {
        {"empty", "", ""},
        {"letter a", "a", "\\u0061"},
        {"name", "Custom Channel",
         "\\u0043\\u0075\\u0073\\u0074\\u006f\\u006d\\u0020\\u0043\\u0068\\u0061\\u006e\\u006e\\u0065\\u006c"},
        {"quote, backslash and line break", "'\\\n", "\\u0027\\u005c\\u000a"},
        {"e acute", "\xC3\xA9", "\\u00e9"},
        {"surrogate pair", "\xF0\x9F\x98\x80", "\\ud83d\\ude00"},
    };
    for (const Case& c : cases) EXPECT_EQ(escapeString(c.text), c.escaped) << c.name;
    EXPECT_EQ(escapeString(Units{0xFFFF, 0x0001}), "\\uffff\\u0001");
}

TEST(Zfill, Table) {
    struct Case {
        std::string s;
        int width;
        std::string filled;
    };
    const std::vector<Case> cases = {
        {"7", 4, "0007"}, {"12345", 4, "12345"}, {"abcd", 4, "abcd"}, {"", 3, "000"}, {"e9", 0, "e9"}, {"e9", -2, "e9"},
    };
    for (const Case& c : cases) EXPECT_EQ(zfill(c.s, c.width), c.filled) << c.s << " to " << c.width;
}

TEST(CutUTF8, NeverSplitsACharacter) {
    const std::string a254(254, 'a');
    const std::string a253(253, 'a');
    const std::string a252(252, 'a');
    struct Case {
        const char* name;
        std::string text;
        std::string cut;
    };
    const std::vector<Case> cases = {
        {"short text unchanged", "r", "r"},
        {"ascii cut at 255", std::string(300, 'x'), std::string(255, 'x')},
        {"two-byte character across 255", a254 + "\xC3\xA9" + "b", a254},
        {"two-byte character ending at 255", a253 + "\xC3\xA9" + "b", a253 + "\xC3\xA9"},
        {"three-byte character across 255", a253 + "\xE2\x82\xAC", a253},
        {"four-byte character across 255", a252 + "\xF0\x9F\x98\x80", a252},
        {"stray continuation bytes are cut plainly", std::string(300, '\x80'), std::string(255, '\x80')},
    };
    for (const Case& c : cases) {
        const std::string cut = cutUTF8(c.text, 255);
        EXPECT_EQ(cut, c.cut) << c.name;
        EXPECT_LE(cut.size(), 255u) << c.name;
    }
}

TEST(ValidUTF8Length, CountsTheWholeSequencesInFront) {
    EXPECT_EQ(validUTF8Length("a*r"), 3u);
    EXPECT_EQ(validUTF8Length("ab\xE9"), 2u);
    EXPECT_EQ(validUTF8Length("\xC3\xA9\xC3"), 2u);
    EXPECT_EQ(validUTF8Length("\xFF"
                              "abc"),
              0u);
}
