#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "morvel_host/pipl.h"

// Declares a plug-in's property list. Its section must hold the list alone: clang's address
// sanitizer would pad the variable with a red zone that the host reads as part of the list.
#if defined(__clang__)
#define MORVEL_PROPERTY_LIST [[gnu::used, gnu::section(MORVEL_PIPL_SECTION), clang::no_sanitize("address")]]
#else
#define MORVEL_PROPERTY_LIST [[gnu::used, gnu::section(MORVEL_PIPL_SECTION)]]
#endif

// The effect property list, built at compile time from the same constants that global set-up
// reports, so the two cannot disagree.
namespace Morvel::Plugin {

struct PiplValues {
    std::string_view name;
    std::string_view category;
    std::string_view entryPoint;
    std::string_view matchName;
    uint32_t version;  // packed as the host's version word
    uint32_t outFlags;
    uint32_t outFlags2;
    uint16_t piplMajor = 2;
    uint16_t piplMinor = 0;
    uint16_t specMajor = 13;
    uint16_t specMinor = 1;
    uint16_t infoFlags = 0;
    uint32_t reservedInfo = 8;
};

namespace pipl_detail {

inline constexpr uint32_t kPropertyCount = 12;
inline constexpr size_t kListHeader = 2 + 4 + 4;          // version, reserved, count
inline constexpr size_t kPropertyHeader = 4 + 4 + 4 + 4;  // vendor, key, id, length

constexpr size_t padded(size_t n) { return (n + 3) & ~size_t(3); }
constexpr size_t lengthPrefixed(std::string_view s) { return padded(1 + s.size()); }
constexpr size_t zeroTerminated(std::string_view s) { return padded(s.size() + 1); }

template <size_t N>
class Writer {
public:
    explicit constexpr Writer(std::array<uint8_t, N>& out) : out_(out) {}

    constexpr void u8(uint8_t v) { out_[at_++] = v; }
    constexpr void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    constexpr void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    constexpr void code(std::string_view fourcc) {
        if (fourcc.size() != 4) throw "a four-character code has four characters";
        for (char c : fourcc) u8(static_cast<uint8_t>(c));
    }
    constexpr void property(std::string_view key, uint32_t length) {
        code(PiPL_VENDOR);
        code(key);
        u32(0);
        u32(length);
    }
    constexpr void lengthPrefixed(std::string_view key, std::string_view s) {
        if (s.size() > 255) throw "a length-prefixed string holds at most 255 characters";
        const size_t end = at_ + kPropertyHeader + pipl_detail::lengthPrefixed(s);
        property(key, static_cast<uint32_t>(pipl_detail::lengthPrefixed(s)));
        u8(static_cast<uint8_t>(s.size()));
        for (char c : s) u8(static_cast<uint8_t>(c));
        at_ = end;  // padding stays zero
    }
    constexpr void zeroTerminated(std::string_view key, std::string_view s) {
        const size_t end = at_ + kPropertyHeader + pipl_detail::zeroTerminated(s);
        property(key, static_cast<uint32_t>(pipl_detail::zeroTerminated(s)));
        for (char c : s) u8(static_cast<uint8_t>(c));
        at_ = end;
    }
    constexpr void twoShorts(std::string_view key, uint16_t first, uint16_t second) {
        property(key, 4);
        u16(first);
        u16(second);
    }
    constexpr void word(std::string_view key, uint32_t v) {
        property(key, 4);
        u32(v);
    }
    constexpr void shortWord(std::string_view key, uint16_t v) {
        property(key, 4);
        u16(v);
        at_ += 2;
    }
    constexpr size_t written() const { return at_; }

private:
    std::array<uint8_t, N>& out_;
    size_t at_ = 0;
};

}  // namespace pipl_detail

constexpr size_t piplSize(const PiplValues& v) {
    using namespace pipl_detail;
    // The kind and the seven numbers take four bytes each.
    return kListHeader + kPropertyCount * kPropertyHeader + 8 * 4 + lengthPrefixed(v.name) +
           lengthPrefixed(v.category) + zeroTerminated(v.entryPoint) + lengthPrefixed(v.matchName);
}

template <const PiplValues& V>
consteval std::array<uint8_t, piplSize(V)> buildPipl() {
    std::array<uint8_t, piplSize(V)> bytes{};
    pipl_detail::Writer<piplSize(V)> w(bytes);
    w.u16(1);
    w.u32(0);
    w.u32(pipl_detail::kPropertyCount);
    w.property(PiPL_KEY_KIND, 4);
    w.code(PiPL_KIND_EFFECT);
    w.lengthPrefixed(PiPL_KEY_NAME, V.name);
    w.lengthPrefixed(PiPL_KEY_CATEGORY, V.category);
    w.zeroTerminated(PiPL_KEY_ENTRY_X64, V.entryPoint);
    w.twoShorts(PiPL_KEY_PIPL_VERSION, V.piplMajor, V.piplMinor);
    w.twoShorts(PiPL_KEY_SPEC_VERSION, V.specMajor, V.specMinor);
    w.word(PiPL_KEY_VERSION, V.version);
    w.shortWord(PiPL_KEY_INFO_FLAGS, V.infoFlags);
    w.word(PiPL_KEY_OUT_FLAGS, V.outFlags);
    w.word(PiPL_KEY_OUT_FLAGS2, V.outFlags2);
    w.lengthPrefixed(PiPL_KEY_MATCH_NAME, V.matchName);
    w.word(PiPL_KEY_RESERVED_INFO, V.reservedInfo);
    if (w.written() != bytes.size()) throw "property list size mismatch";
    return bytes;
}

}  // namespace Morvel::Plugin
