#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace Morvel {

// Thrown for bytes that are not UTF-8; the message is "not a utf8 string".
class Utf8Error : public std::runtime_error {
public:
    Utf8Error() : std::runtime_error("not a utf8 string") {}
};

namespace detail {

// Decodes one sequence starting at text[at]. Gives the code point and moves `at` past it, or
// gives -1 (and leaves `at`) when the bytes there are not a whole, allowed sequence.
long decodeUTF8(std::string const& text, std::size_t& at);

}  // namespace detail

// Overlong forms are accepted; surrogate code points and anything from 0x110000 up are not.
template <class Unit>
std::basic_string<Unit> convertUTF8toUTF16(std::string const& text) {
    std::basic_string<Unit> units;
    units.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const long point = detail::decodeUTF8(text, at);
        if (point < 0) throw Utf8Error();
        if (point <= 0xFFFF) {
            units.push_back(static_cast<Unit>(point));
        } else {
            units.push_back(static_cast<Unit>(((point - 0x10000) >> 10) + 0xD800));
            units.push_back(static_cast<Unit>((point & 0x3FF) | 0xDC00));
        }
    }
    return units;
}

// Length of the longest prefix made of whole, allowed sequences.
std::size_t validUTF8Length(std::string const& text);

// At most maxBytes of the text, cut back so that no multi-byte sequence is split.
std::string cutUTF8(std::string const& text, std::size_t maxBytes);

// Every code unit as a script escape \uXXXX (lower-case hex), so no character of the text can end
// a string literal or a line of the script it is put in.
std::string escapeString(std::basic_string<unsigned short> const& units);
std::string escapeString(std::string const& text);

// s right-aligned in width characters, filled with '0'.
std::string zfill(std::string s, int width);

}  // namespace Morvel
