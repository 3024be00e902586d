#include "library/string/string_conversion.h"

#include <cstdio>

namespace Morvel {

namespace detail {

long decodeUTF8(std::string const& text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(at);
    if (lead < 0x80) {
        ++at;
        return static_cast<long>(lead);
    }
    std::size_t following;
    long point;
    if (lead >= 0xC0 && lead <= 0xDF) {
        following = 1;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        following = 2;
        point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF7) {
        following = 3;
        point = lead & 0x07;
    } else {
        return -1;
    }
    if (text.size() - at <= following) return -1;
    for (std::size_t i = 1; i <= following; ++i) {
        const unsigned next = byte(at + i);
        if (next < 0x80 || next > 0xBF) return -1;
        point = (point << 6) | static_cast<long>(next & 0x3F);
    }
    if ((point >= 0xD800 && point <= 0xDFFF) || point >= 0x110000) return -1;
    at += following + 1;
    return point;
}

}  // namespace detail

std::size_t validUTF8Length(std::string const& text) {
    std::size_t at = 0;
    while (at < text.size() && detail::decodeUTF8(text, at) >= 0) {
    }
    return at;
}

std::string cutUTF8(std::string const& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    const auto isContinuation = [&](std::size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
    // The first byte left out may sit inside a sequence; a sequence has at most three
    // continuation bytes, so its lead is at most three bytes back.
    std::size_t cut = maxBytes;
    while (cut > 0 && maxBytes - cut < 3 && isContinuation(cut)) --cut;
    const unsigned lead = static_cast<unsigned char>(text[cut]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (cut < maxBytes && length > 1 && cut + length > maxBytes) return text.substr(0, cut);
    return text.substr(0, maxBytes);
}

std::string escapeString(std::basic_string<unsigned short> const& units) {
    std::string escaped;
    escaped.reserve(units.size() * 6);
    for (unsigned short unit : units) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(unit));
        escaped += "\\u";
        escaped += zfill(hex, 4);
    }
    return escaped;
}

std::string escapeString(std::string const& text) { return escapeString(convertUTF8toUTF16<unsigned short>(text)); }

std::string zfill(std::string s, int width) {
    if (width < 0 || s.size() >= static_cast<std::size_t>(width)) return s;
    s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

}  // namespace Morvel
