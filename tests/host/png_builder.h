#pragma once

// PNG files put together byte by byte, independently of the host's writer, so that tests can
// make any file: damaged, truncated or unusual.

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace PngBuilder {

inline void putBig32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((v >> shift) & 0xff);
}

inline std::string chunk(const std::string& type, const std::string& data) {
    std::string out;
    putBig32(out, uint32_t(data.size()));
    const std::string body = type + data;
    out += body;
    putBig32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
    return out;
}

struct Header {
    uint32_t width = 4, height = 3;
    uint8_t depth = 8, colourType = 6, compression = 0, filter = 0, interlace = 0;
};

inline std::string ihdr(const Header& h) {
    std::string data;
    putBig32(data, h.width);
    putBig32(data, h.height);
    data += char(h.depth);
    data += char(h.colourType);
    data += char(h.compression);
    data += char(h.filter);
    data += char(h.interlace);
    return chunk("IHDR", data);
}

inline std::string signature() { return std::string("\x89PNG\r\n\x1a\n", 8); }

inline std::string deflated(const std::string& raw) {
    uLongf length = compressBound(uLong(raw.size()));
    std::string out(length, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(raw.data()),
              uLong(raw.size()), 6);
    out.resize(length);
    return out;
}

// Unfiltered rows (filter byte 0 before each) of `rowBytes` bytes each, from `pixels`.
inline std::string filteredRows(const std::vector<uint8_t>& pixels, size_t rowBytes) {
    std::string raw;
    for (size_t at = 0; at < pixels.size(); at += rowBytes) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(pixels.data() + at), rowBytes);
    }
    return raw;
}

// The chunks of a whole file: signature, header, the extra chunks, the image data split into
// `pieces` IDAT chunks, end marker. Each element is one piece of the file in order.
inline std::vector<std::string> pieces(const Header& h, const std::string& compressed, int idatPieces = 1,
                                       const std::vector<std::string>& extra = {}) {
    std::vector<std::string> out{signature(), ihdr(h)};
    out.insert(out.end(), extra.begin(), extra.end());
    const size_t step = (compressed.size() + size_t(idatPieces) - 1) / size_t(idatPieces);
    for (size_t at = 0; at < compressed.size(); at += step) out.push_back(chunk("IDAT", compressed.substr(at, step)));
    out.push_back(chunk("IEND", ""));
    return out;
}

inline std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) out += part;
    return out;
}

}  // namespace PngBuilder
