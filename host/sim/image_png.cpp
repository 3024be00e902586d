#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vector>

#include "host/sim/image_formats.h"
#include "host/sim/pixel_traits.h"

namespace Sim {

namespace {

constexpr uint32_t kMaxChunkLength = 0x7fffffffu;  // the format's own limit
constexpr size_t kReadBuffer = size_t(1) << 16;
constexpr png_uint_32 kImageDataChunk = 0x49444154;  // "IDAT"

uint32_t big32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool isChunkType(const unsigned char* p) {
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = p[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    }
    return true;
}

std::string chunkName(const unsigned char* p) { return std::string(reinterpret_cast<const char*>(p), 4); }

bool depthAllowed(int colourType, int depth) {
    switch (colourType) {
        case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:
        case 4:
        case 6: return depth == 8 || depth == 16;
        default: return false;
    }
}

// The header and the chunk structure, checked before libpng sees the file, so that every fault
// is named and no declared length is trusted beyond the bytes the file holds.
void checkStructure(const ImageInput& input) {
    const std::string& path = input.path();
    unsigned char head[33];
    const size_t got = input.readAt(0, head, sizeof head);
    if (got < 16) imageFailure(path, "file ends before its header (IHDR)");
    if (chunkName(head + 12) != "IHDR") {
        imageFailure(path, "the first chunk is '" + chunkName(head + 12) + "', not the header (IHDR)");
    }
    if (big32(head + 8) != 13)
        imageFailure(path, "the header (IHDR) has length " + std::to_string(big32(head + 8)) + ", not 13");
    if (got < sizeof head) imageFailure(path, "file ends inside its header (IHDR)");
    if (uint32_t(crc32(0, head + 12, 17)) != big32(head + 29)) {
        imageFailure(path, "the header (IHDR) fails its checksum: the file is damaged");
    }
    const uint32_t width = big32(head + 16), height = big32(head + 20);
    const int depth = head[24], colourType = head[25];
    if (width == 0 || width > kMaxChunkLength) imageFailure(path, "width " + std::to_string(width) + " is not valid");
    if (height == 0 || height > kMaxChunkLength)
        imageFailure(path, "height " + std::to_string(height) + " is not valid");
    if (colourType > 6 || colourType == 1 || colourType == 5) {
        imageFailure(path, "colour type " + std::to_string(colourType) + " is not valid");
    }
    if (!depthAllowed(colourType, depth)) {
        imageFailure(
            path, "bit depth " + std::to_string(depth) + " is not valid for colour type " + std::to_string(colourType));
    }
    if (head[26] != 0) imageFailure(path, "compression method " + std::to_string(head[26]) + " is not valid");
    if (head[27] != 0) imageFailure(path, "filter method " + std::to_string(head[27]) + " is not valid");
    if (head[28] > 1) imageFailure(path, "interlace method " + std::to_string(head[28]) + " is not valid");
    checkImageSize(path, width, height);

    bool imageData = false, palette = false;
    std::string last;
    for (uint64_t at = sizeof head;;) {
        if (at == input.size()) {
            if (last == "IDAT") imageFailure(path, "file ends inside the image data");
            imageFailure(path,
                         imageData ? "file ends before its end marker (IEND)" : "file ends before the image data");
        }
        unsigned char chunk[8];
        if (!input.readExactly(at, chunk, sizeof chunk)) {
            imageFailure(path, "file ends inside a chunk header at byte " + std::to_string(at));
        }
        const uint32_t length = big32(chunk);
        const std::string name = chunkName(chunk + 4);
        if (!isChunkType(chunk + 4)) imageFailure(path, "damaged chunk header at byte " + std::to_string(at));
        if (length > kMaxChunkLength) {
            imageFailure(path, "the '" + name + "' chunk at byte " + std::to_string(at) + " declares " +
                                   std::to_string(length) + " bytes, beyond the format's limit");
        }
        if (input.size() - at < uint64_t(length) + 12) {
            if (name == "IDAT") imageFailure(path, "file ends inside the image data");
            imageFailure(path, "file ends inside the '" + name + "' chunk at byte " + std::to_string(at) +
                                   ", which declares " + std::to_string(length) + " bytes");
        }
        if (name == "PLTE") palette = true;
        if (name == "IDAT" && !imageData && colourType == PNG_COLOR_TYPE_PALETTE && !palette) {
            imageFailure(path, "palette image without a palette (PLTE)");
        }
        if (name == "IDAT") imageData = true;
        if (name == "IEND") break;
        last = name;
        at += uint64_t(length) + 12;
    }
    if (!imageData) imageFailure(path, "holds no image data (IDAT)");
}

// libpng reports errors by a long jump back to the setjmp of the calling frame. The frames that
// set it, and the callbacks it jumps out of, hold plain data only, so the jump skips no destructor.
struct PngReader {
    const ImageInput* input = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    uint64_t offset = 0;
    std::vector<unsigned char> buffer;
    size_t bufferStart = 0, bufferEnd = 0;
    int32_t rowsDone = 0;
    int32_t height = 0;
    bool interlaced = false;
    bool pastLastRow = false;
    uint64_t imageDataInflated = 0;
    char message[512] = "";

    // Bytes of the file libpng has taken.
    uint64_t position() const { return offset - (bufferEnd - bufferStart); }

    ~PngReader() {
        if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    }
};

void onReadError(png_structp png, png_const_charp what) {
    auto* reader = static_cast<PngReader*>(png_get_error_ptr(png));
    if (reader->message[0] == '\0') {
        const png_uint_32 type = png_get_io_chunk_type(png);
        char chunk[5] = {char(type >> 24), char(type >> 16), char(type >> 8), char(type), '\0'};
        // libpng names the chunk itself in some messages ("IDAT: CRC error").
        if (type != 0 && std::strncmp(what, chunk, 4) == 0 && std::strncmp(what + 4, ": ", 2) == 0) what += 6;
        if (std::strcmp(what, "Not enough image data") == 0) {
            std::snprintf(reader->message, sizeof reader->message, "the image data ends after row %d of %d",
                          int(reader->rowsDone), int(reader->height));
        } else if (std::strcmp(what, "CRC error") == 0) {
            std::snprintf(reader->message, sizeof reader->message,
                          "the '%s' chunk fails its checksum: the file is damaged", chunk);
        } else if (std::strcmp(chunk, "IDAT") == 0) {
            std::snprintf(reader->message, sizeof reader->message, "the image data is damaged (%s)", what);
        } else if (type != 0) {
            std::snprintf(reader->message, sizeof reader->message, "the '%s' chunk: %s", chunk, what);
        } else {
            std::snprintf(reader->message, sizeof reader->message, "%s", what);
        }
    }
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readBytes(png_structp png, png_bytep into, size_t count) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    if (png_get_io_chunk_type(png) == kImageDataChunk &&
        (png_get_io_state(png) & PNG_IO_MASK_LOC) == PNG_IO_CHUNK_DATA) {
        // libpng inflates to the end of the stream once the last row is in, however much follows;
        // what follows is ignored instead.
        const bool complete = reader->interlaced ? png_get_current_pass_number(png) >= 7
                                                 : png_get_current_row_number(png) >= png_uint_32(reader->height);
        if (complete) {
            reader->pastLastRow = true;
            png_longjmp(png, 1);
        }
        reader->imageDataInflated += count;
    }
    bool failed = false;
    while (count > 0 && !failed) {
        if (reader->bufferStart == reader->bufferEnd) {
            try {
                const size_t got = reader->input->readAt(reader->offset, reader->buffer.data(), reader->buffer.size());
                reader->offset += got;
                reader->bufferStart = 0;
                reader->bufferEnd = got;
                if (got == 0) {
                    std::snprintf(reader->message, sizeof reader->message, "file ends early");
                    failed = true;
                }
            } catch (const std::exception& error) {
                std::snprintf(reader->message, sizeof reader->message, "%s", error.what());
                failed = true;
            }
            continue;
        }
        const size_t take = std::min(count, reader->bufferEnd - reader->bufferStart);
        std::memcpy(into, reader->buffer.data() + reader->bufferStart, take);
        reader->bufferStart += take;
        into += take;
        count -= take;
    }
    if (failed) png_error(png, "read failed");
}

struct PngShape {
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, passes = 1;
    bool palette = false;
    size_t rowBytes = 0;
    // Palette images: the colours with their alpha, as world pixels.
    PF_Pixel colours[256] = {};
    int paletteSize = 0;
};

// Whatever the file holds becomes alpha, red, green, blue at 8 or 16 bits, as the world keeps
// them; palette images are read as indices and looked up here, so that a bad index is caught.
bool readShape(PngReader& reader, PngShape* shape) {
    if (setjmp(png_jmpbuf(reader.png))) return false;
    png_structp png = reader.png;
    png_read_info(png, reader.info);
    png_get_IHDR(png, reader.info, &shape->width, &shape->height, &shape->depth, &shape->colourType, nullptr, nullptr,
                 nullptr);
    shape->palette = shape->colourType == PNG_COLOR_TYPE_PALETTE;
    if (shape->palette) {
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(png, reader.info, &entries, &count) == 0)
            png_error(png, "palette image without a palette (PLTE)");
        png_bytep alphas = nullptr;
        int alphaCount = 0;
        png_get_tRNS(png, reader.info, &alphas, &alphaCount, nullptr);
        shape->paletteSize = count;
        for (int i = 0; i < count && i < 256; ++i) {
            const uint8_t alpha = alphas != nullptr && i < alphaCount ? alphas[i] : 255;
            shape->colours[i] = {alpha, entries[i].red, entries[i].green, entries[i].blue};
        }
        if (shape->depth < 8) png_set_packing(png);
    } else {
        if (shape->colourType == PNG_COLOR_TYPE_GRAY && shape->depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        const bool transparency = png_get_valid(png, reader.info, PNG_INFO_tRNS) != 0;
        if (transparency) png_set_tRNS_to_alpha(png);
        if ((shape->colourType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
        if (transparency || (shape->colourType & PNG_COLOR_MASK_ALPHA) != 0) {
            png_set_swap_alpha(png);
        } else {
            png_set_add_alpha(png, shape->depth == 16 ? 0xffff : 0xff, PNG_FILLER_BEFORE);
        }
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        if (shape->depth == 16) png_set_swap(png);
#endif
    }
    shape->passes = png_set_interlace_handling(png);
    png_read_update_info(png, reader.info);
    shape->rowBytes = png_get_rowbytes(png, reader.info);
    return true;
}

bool readRows(PngReader& reader, const PngShape& shape, png_bytep* rows) {
    if (setjmp(png_jmpbuf(reader.png))) {
        if (reader.pastLastRow) reader.rowsDone = reader.height;
        return reader.pastLastRow;
    }
    for (int pass = 0; pass < shape.passes; ++pass) {
        for (png_uint_32 y = 0; y < shape.height; ++y) {
            png_read_row(reader.png, rows[y], nullptr);
            if (pass == shape.passes - 1) reader.rowsDone = int32_t(y + 1);
        }
    }
    // No png_read_end: nothing after the image data is kept, and the checksums it would check are
    // checked by checkRemainingChunks without libpng.
    return true;
}

// The checksums libpng would have checked after the last row: those of the critical chunks
// (image data, end marker) it has not read to their end. The structure is already known sound.
void checkRemainingChunks(const ImageInput& input, uint64_t taken) {
    std::vector<unsigned char> block;
    for (uint64_t at = 33;;) {
        unsigned char head[8];
        input.readExactly(at, head, sizeof head);
        const uint64_t length = big32(head);
        const uint64_t end = at + length + 12;
        const bool critical = (head[4] & 0x20) == 0;
        if (critical && end > taken) {
            block.resize(kReadBuffer);
            uLong crc = crc32(0, head + 4, 4);
            for (uint64_t done = 0; done < length;) {
                const size_t part = size_t(std::min<uint64_t>(length - done, block.size()));
                input.readExactly(at + 8 + done, block.data(), part);
                crc = crc32(crc, block.data(), uInt(part));
                done += part;
            }
            unsigned char stored[4];
            input.readExactly(at + 8 + length, stored, sizeof stored);
            if (uint32_t(crc) != big32(stored)) {
                imageFailure(input.path(),
                             "the '" + chunkName(head + 4) + "' chunk fails its checksum: the file is damaged");
            }
        }
        if (chunkName(head + 4) == "IEND") return;
        at = end;
    }
}

// 16-bit file samples (0..65535) to and from the world's 0..32768, each rounded to nearest, so
// that a world written and read back is unchanged.
inline uint16_t fileToWorld16(uint32_t v) { return uint16_t((v * 32768u + 32767u) / 65535u); }
inline uint16_t worldToFile16(uint32_t v) { return uint16_t((v * 65535u + 16384u) / 32768u); }

}  // namespace

bool isPng(const unsigned char* start, size_t length) { return length >= 8 && png_sig_cmp(start, 0, 8) == 0; }

LoadedImage readPng(const ImageInput& input, const ReadOptions& options) {
    const std::string& path = input.path();
    checkStructure(input);
    PngReader reader;
    reader.input = &input;
    reader.buffer.resize(kReadBuffer);
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, onReadError, onWarning);
    if (reader.png == nullptr) imageFailure(path, "out of memory");
    reader.info = png_create_info_struct(reader.png);
    if (reader.info == nullptr) imageFailure(path, "out of memory");
    png_set_read_fn(reader.png, &reader, readBytes);
    png_set_user_limits(reader.png, png_uint_32(kMaxWorldSide), png_uint_32(kMaxWorldSide));

    PngShape shape;
    if (!readShape(reader, &shape)) imageFailure(path, reader.message);
    const bool deep = shape.depth == 16;
    const size_t expected = shape.palette ? size_t(shape.width) : size_t(shape.width) * (deep ? 8 : 4);
    if (shape.rowBytes != expected) imageFailure(path, "unexpected PNG row layout");
    reader.height = int32_t(shape.height);
    reader.interlaced = shape.passes > 1;

    // The world's pages are touched only as rows arrive, so a file that claims a large picture
    // but holds little costs little.
    LoadedImage loaded{
        Image(int32_t(shape.width), int32_t(shape.height), deep ? PF_PixelFormat_ARGB64 : PF_PixelFormat_ARGB32), {}};
    Image& image = loaded.image;
    std::vector<png_bytep> rows(shape.height);
    std::vector<unsigned char> indices;
    if (shape.palette) {
        indices.resize(size_t(shape.width) * shape.height);
        for (png_uint_32 y = 0; y < shape.height; ++y) rows[y] = indices.data() + size_t(y) * shape.width;
    } else {
        for (png_uint_32 y = 0; y < shape.height; ++y) rows[y] = &image.at<unsigned char>(0, int32_t(y));
    }
    if (!readRows(reader, shape, rows.data())) imageFailure(path, reader.message);
    checkRemainingChunks(input, reader.position());
    if (options.cost != nullptr) options.cost->imageDataInflated = reader.imageDataInflated;

    const int32_t width = int32_t(shape.width);
    if (shape.palette) {
        for (int32_t y = 0; y < int32_t(shape.height); ++y) {
            const unsigned char* in = rows[size_t(y)];
            PF_Pixel* out = &image.at<PF_Pixel>(0, y);
            for (int32_t x = 0; x < width; ++x) {
                if (in[x] >= shape.paletteSize) {
                    imageFailure(path, "palette index " + std::to_string(in[x]) + " at (" + std::to_string(x) + ", " +
                                           std::to_string(y) + ") is past the " + std::to_string(shape.paletteSize) +
                                           "-colour palette");
                }
                out[x] = shape.colours[in[x]];
            }
        }
    } else if (deep) {
        forRowBands(options.pool, int32_t(shape.height), width, [&](int32_t first, int32_t end) {
            for (int32_t y = first; y < end; ++y) {
                uint16_t* channel = &image.at<uint16_t>(0, y);
                for (int32_t i = 0; i < 4 * width; ++i) channel[i] = fileToWorld16(channel[i]);
            }
        });
    }
    return loaded;
}

// ---------------------------------------------------------------- writing

namespace {

struct PngWriter {
    ImageOutput* output = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[512] = "";

    ~PngWriter() {
        if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    }
};

void onWriteError(png_structp png, png_const_charp what) {
    auto* writer = static_cast<PngWriter*>(png_get_error_ptr(png));
    if (writer->message[0] == '\0') std::snprintf(writer->message, sizeof writer->message, "%s", what);
    png_longjmp(png, 1);
}

void writeBytes(png_structp png, png_bytep bytes, size_t count) {
    auto* writer = static_cast<PngWriter*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        writer->output->write(bytes, count);
    } catch (const std::exception& error) {
        std::snprintf(writer->message, sizeof writer->message, "%s", error.what());
        failed = true;
    }
    if (failed) png_error(png, "write failed");
}

void flushBytes(png_structp) {}

struct PngPlan {
    png_uint_32 width = 0, height = 0;
    int depth = 8;
    bool opaque = false;
    int compression = kDefaultPngCompression;
};

bool startPng(PngWriter& writer, const PngPlan& plan) {
    if (setjmp(png_jmpbuf(writer.png))) return false;
    png_structp png = writer.png;
    png_set_write_fn(png, &writer, writeBytes, flushBytes);
    png_set_IHDR(png, writer.info, plan.width, plan.height, plan.depth,
                 plan.opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Fast by default: one cheap row filter and run-length matching, which on photographs gives
    // files about as small as zlib's usual effort at a fraction of the time. Level 9 tries every
    // filter on every row for the smallest file.
    const int level = plan.compression;
    png_set_compression_level(png, level);
    png_set_compression_strategy(png, level == 0 ? Z_DEFAULT_STRATEGY : level <= 3 ? Z_RLE : Z_FILTERED);
    png_set_filter(png, PNG_FILTER_TYPE_BASE,
                   level == 0   ? PNG_FILTER_NONE
                   : level == 9 ? PNG_ALL_FILTERS
                                : PNG_FILTER_UP);
    png_set_compression_buffer_size(png, size_t(1) << 18);
    png_write_info(png, writer.info);
    if (plan.depth == 8) {
        // The world's alpha, red, green, blue straight from its rows.
        if (plan.opaque) {
            png_set_filler(png, 0, PNG_FILLER_BEFORE);
        } else {
            png_set_swap_alpha(png);
        }
    }
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (plan.depth == 16) png_set_swap(png);
#endif
    return true;
}

bool putRows(PngWriter& writer, png_bytep* rows, png_uint_32 count) {
    if (setjmp(png_jmpbuf(writer.png))) return false;
    png_write_rows(writer.png, rows, count);
    return true;
}

bool finishPng(PngWriter& writer) {
    if (setjmp(png_jmpbuf(writer.png))) return false;
    png_write_end(writer.png, nullptr);
    return true;
}

// True when every alpha the file would hold is full, so that leaving alpha out loses nothing.
template <typename Pixel>
bool allOpaque(const PixelsView& view, ThreadPool* pool) {
    using Channel = decltype(Pixel::alpha);
    const auto full = [](Channel alpha) {
        if constexpr (std::is_floating_point_v<Channel>) {
            return PixelTraits<PF_Pixel16>::fromUnit(alpha) == PF_MAX_CHAN16;
        } else {
            return alpha == PixelTraits<Pixel>::full;
        }
    };
    std::atomic<bool> opaque{true};
    forRowBands(pool, view.height, view.width, [&](int32_t first, int32_t end) {
        for (int32_t y = first; y < end && opaque.load(std::memory_order_relaxed); ++y) {
            const Pixel* row = view.row<Pixel>(y);
            bool rowOpaque = true;
            for (int32_t x = 0; x < view.width; ++x) rowOpaque &= full(row[x].alpha);
            if (!rowOpaque) opaque.store(false, std::memory_order_relaxed);
        }
    });
    return opaque.load();
}

}  // namespace

void writePng(ImageOutput& output, const PixelsView& view, const WriteOptions& options) {
    const std::string& path = output.path();
    if (options.pngCompression < 0 || options.pngCompression > 9) {
        imageFailure(path, "PNG compression " + std::to_string(options.pngCompression) + " is not between 0 and 9");
    }
    PngPlan plan;
    plan.width = png_uint_32(view.width);
    plan.height = png_uint_32(view.height);
    plan.depth = view.format == PF_PixelFormat_ARGB32 ? 8 : 16;
    plan.compression = options.pngCompression;
    if (view.format == PF_PixelFormat_ARGB32) plan.opaque = allOpaque<PF_Pixel>(view, options.pool);
    if (view.format == PF_PixelFormat_ARGB64) plan.opaque = allOpaque<PF_Pixel16>(view, options.pool);
    if (view.format == PF_PixelFormat_ARGB128) plan.opaque = allOpaque<PF_PixelFloat>(view, options.pool);

    PngWriter writer;
    writer.output = &output;
    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &writer, onWriteError, onWarning);
    if (writer.png == nullptr) imageFailure(path, "out of memory");
    writer.info = png_create_info_struct(writer.png);
    if (writer.info == nullptr) imageFailure(path, "out of memory");
    if (!startPng(writer, plan)) imageFailure(path, writer.message);

    if (plan.depth == 8) {
        std::vector<png_bytep> rows(plan.height);
        for (int32_t y = 0; y < view.height; ++y) rows[size_t(y)] = view.row<unsigned char>(y);
        if (!putRows(writer, rows.data(), plan.height)) imageFailure(path, writer.message);
    } else {
        // 16-bit samples are converted a block of rows at a time, on the worker threads.
        const size_t channels = plan.opaque ? 3 : 4;
        const int32_t blockRows = 64;
        const size_t rowSamples = size_t(view.width) * channels;
        std::vector<uint16_t> block(rowSamples * size_t(blockRows));
        std::vector<png_bytep> rows(static_cast<size_t>(blockRows));
        for (int32_t top = 0; top < view.height; top += blockRows) {
            const int32_t count = std::min(blockRows, view.height - top);
            forRowBands(options.pool, count, view.width, [&](int32_t first, int32_t end) {
                for (int32_t r = first; r < end; ++r) {
                    uint16_t* out = block.data() + size_t(r) * rowSamples;
                    for (int32_t x = 0; x < view.width; ++x, out += channels) {
                        PF_Pixel16 p;
                        if (view.format == PF_PixelFormat_ARGB64) {
                            p = view.row<PF_Pixel16>(top + r)[x];
                        } else {
                            fromUnit(toUnit(view.row<PF_PixelFloat>(top + r)[x]), &p);
                        }
                        out[0] = worldToFile16(p.red);
                        out[1] = worldToFile16(p.green);
                        out[2] = worldToFile16(p.blue);
                        if (channels == 4) out[3] = worldToFile16(p.alpha);
                    }
                }
            });
            for (int32_t r = 0; r < count; ++r) {
                rows[size_t(r)] = reinterpret_cast<png_bytep>(block.data() + size_t(r) * rowSamples);
            }
            if (!putRows(writer, rows.data(), png_uint_32(count))) imageFailure(path, writer.message);
        }
    }
    if (!finishPng(writer)) imageFailure(path, writer.message);
}

}  // namespace Sim
