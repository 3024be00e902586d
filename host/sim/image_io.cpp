#include "host/sim/image_io.h"

#include <png.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#ifdef MORVEL_HAVE_OPENEXR
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#endif

namespace Sim {

namespace {

[[noreturn]] void fail(const std::string& path, const std::string& why) {
    throw ImageError("image file '" + path + "': " + why);
}

void checkSize(const std::string& path, int64_t width, int64_t height) {
    if (width < 1 || height < 1) fail(path, "empty image");
    if (width > kMaxWorldSide || height > kMaxWorldSide || width * height > kMaxWorldPixels) {
        fail(path, std::to_string(width) + " x " + std::to_string(height) + " pixels is too large");
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// 16-bit world channels (0..32768) to and from 16-bit file samples (0..65535), rounded so that a
// world written and read back is unchanged.
uint16_t worldToFile16(uint16_t v) { return uint16_t((uint32_t(v) * 65535u + 16384u) / 32768u); }
uint16_t fileToWorld16(uint16_t v) { return uint16_t((uint32_t(v) * 32768u + 32767u) / 65535u); }

// ---------------------------------------------------------------- PNG

// libpng reports errors by a long jump back to the setjmp of the calling frame. The frames that
// set it hold plain data only, so the jump skips no destructor.
struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool writing = false;
    char message[256] = "";
    ~PngState() {
        if (png == nullptr) return;
        if (writing) {
            png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        } else {
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        }
    }
};

void onPngError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

struct PngLayout {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bits = 8;  // per channel after the transformations: 8 or 16
    size_t rowBytes = 0;
};

bool readPngHeader(PngState& state, std::FILE* file, PngLayout* layout) {
    if (setjmp(png_jmpbuf(state.png))) return false;
    png_init_io(state.png, file);
    png_read_info(state.png, state.info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(state.png, state.info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    // Whatever the file holds becomes RGBA at 8 or 16 bits.
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(state.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(state.png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(state.png);
    if (png_get_valid(state.png, state.info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(state.png);
    } else if ((colorType & PNG_COLOR_MASK_ALPHA) == 0) {
        png_set_add_alpha(state.png, bitDepth == 16 ? 0xffff : 0xff, PNG_FILLER_AFTER);
    }
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (bitDepth == 16) png_set_swap(state.png);
#endif
    png_set_interlace_handling(state.png);
    png_read_update_info(state.png, state.info);
    layout->width = width;
    layout->height = height;
    layout->bits = bitDepth == 16 ? 16 : 8;
    layout->rowBytes = png_get_rowbytes(state.png, state.info);
    return true;
}

bool readPngRows(PngState& state, png_bytep* rows) {
    if (setjmp(png_jmpbuf(state.png))) return false;
    png_read_image(state.png, rows);
    png_read_end(state.png, nullptr);
    return true;
}

Image loadPng(const std::string& path, std::FILE* file) {
    PngState state;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onPngError, onPngWarning);
    if (state.png == nullptr) fail(path, "out of memory");
    state.info = png_create_info_struct(state.png);
    if (state.info == nullptr) fail(path, "out of memory");
    PngLayout layout;
    if (!readPngHeader(state, file, &layout)) fail(path, state.message);
    checkSize(path, layout.width, layout.height);
    const size_t channelBytes = size_t(layout.bits / 8);
    if (layout.rowBytes != size_t(layout.width) * 4 * channelBytes) fail(path, "unexpected PNG row layout");

    std::vector<unsigned char> raw(layout.rowBytes * layout.height);
    std::vector<png_bytep> rows(layout.height);
    for (png_uint_32 y = 0; y < layout.height; ++y) rows[y] = raw.data() + size_t(y) * layout.rowBytes;
    if (!readPngRows(state, rows.data())) fail(path, state.message);

    const int32_t width = int32_t(layout.width), height = int32_t(layout.height);
    if (layout.bits == 8) {
        Image image(width, height, PF_PixelFormat_ARGB32);
        for (int32_t y = 0; y < height; ++y) {
            const unsigned char* in = rows[size_t(y)];
            for (int32_t x = 0; x < width; ++x, in += 4) image.at<PF_Pixel>(x, y) = {in[3], in[0], in[1], in[2]};
        }
        return image;
    }
    Image image(width, height, PF_PixelFormat_ARGB64);
    for (int32_t y = 0; y < height; ++y) {
        const unsigned char* in = rows[size_t(y)];
        for (int32_t x = 0; x < width; ++x, in += 8) {
            uint16_t rgba[4];
            std::memcpy(rgba, in, sizeof rgba);
            image.at<PF_Pixel16>(x, y) = {fileToWorld16(rgba[3]), fileToWorld16(rgba[0]), fileToWorld16(rgba[1]),
                                          fileToWorld16(rgba[2])};
        }
    }
    return image;
}

bool writePngRows(PngState& state, std::FILE* file, const PngLayout& layout, png_bytep* rows) {
    if (setjmp(png_jmpbuf(state.png))) return false;
    png_init_io(state.png, file);
    png_set_IHDR(state.png, state.info, layout.width, layout.height, layout.bits, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(state.png, state.info);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (layout.bits == 16) png_set_swap(state.png);
#endif
    png_write_image(state.png, rows);
    png_write_end(state.png, nullptr);
    return true;
}

void savePng(const std::string& path, const PixelsView& view) {
    PngLayout layout;
    layout.width = png_uint_32(view.width);
    layout.height = png_uint_32(view.height);
    layout.bits = view.format == PF_PixelFormat_ARGB32 ? 8 : 16;
    layout.rowBytes = size_t(view.width) * 4 * size_t(layout.bits / 8);
    std::vector<unsigned char> raw(layout.rowBytes * layout.height);
    std::vector<png_bytep> rows(layout.height);
    for (int32_t y = 0; y < view.height; ++y) {
        unsigned char* out = raw.data() + size_t(y) * layout.rowBytes;
        rows[size_t(y)] = out;
        for (int32_t x = 0; x < view.width; ++x) {
            if (view.format == PF_PixelFormat_ARGB32) {
                const PF_Pixel& p = view.row<PF_Pixel>(y)[x];
                const unsigned char rgba[4] = {p.red, p.green, p.blue, p.alpha};
                std::memcpy(out + 4 * size_t(x), rgba, 4);
                continue;
            }
            PF_Pixel16 p;
            if (view.format == PF_PixelFormat_ARGB64) {
                p = view.row<PF_Pixel16>(y)[x];
            } else {
                fromUnit(toUnit(view.row<PF_PixelFloat>(y)[x]), &p);
            }
            const uint16_t rgba[4] = {worldToFile16(p.red), worldToFile16(p.green), worldToFile16(p.blue),
                                      worldToFile16(p.alpha)};
            std::memcpy(out + 8 * size_t(x), rgba, sizeof rgba);
        }
    }
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) fail(path, "cannot be created");
    PngState state;
    state.writing = true;
    state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onPngError, onPngWarning);
    if (state.png == nullptr) fail(path, "out of memory");
    state.info = png_create_info_struct(state.png);
    if (state.info == nullptr) fail(path, "out of memory");
    if (!writePngRows(state, file.get(), layout, rows.data())) fail(path, state.message);
    if (std::fflush(file.get()) != 0) fail(path, "write failed");
}

// ---------------------------------------------------------------- OpenEXR

#ifdef MORVEL_HAVE_OPENEXR

struct ChannelPlace {
    const char* name;
    size_t offset;
    double fill;
};
const ChannelPlace kChannels[] = {{"R", offsetof(PF_PixelFloat, red), 0.0},
                                  {"G", offsetof(PF_PixelFloat, green), 0.0},
                                  {"B", offsetof(PF_PixelFloat, blue), 0.0},
                                  {"A", offsetof(PF_PixelFloat, alpha), 1.0}};

// Channels are kept as the world holds them (straight colour), so that a file round trip is exact.
Image loadExr(const std::string& path) {
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        checkSize(path, int64_t(window.max.x) - window.min.x + 1, int64_t(window.max.y) - window.min.y + 1);
        for (const ChannelPlace& channel : kChannels) {
            const Imf::Channel* found = file.header().channels().findChannel(channel.name);
            if (found != nullptr && (found->xSampling != 1 || found->ySampling != 1)) {
                fail(path, std::string("subsampled channel ") + channel.name);
            }
        }
        Image image(window.max.x - window.min.x + 1, window.max.y - window.min.y + 1, PF_PixelFormat_ARGB128);
        Imf::FrameBuffer frame;
        for (const ChannelPlace& channel : kChannels) {
            frame.insert(channel.name, Imf::Slice::Make(Imf::FLOAT, image.begin() + channel.offset, window,
                                                        sizeof(PF_PixelFloat), size_t(image.def().rowbytes), 1, 1,
                                                        channel.fill));
        }
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        return image;
    } catch (const ImageError&) {
        throw;
    } catch (const std::exception& e) {
        fail(path, e.what());
    }
}

void saveExr(const std::string& path, const PixelsView& view) {
    Image floats(view.width, view.height, PF_PixelFormat_ARGB128);
    for (int32_t y = 0; y < view.height; ++y) {
        for (int32_t x = 0; x < view.width; ++x) {
            PF_PixelFloat& out = floats.at<PF_PixelFloat>(x, y);
            withPixelType(view.format, [&](auto tag) {
                fromUnit(toUnit(view.row<typename decltype(tag)::type>(y)[x]), &out);
                return 0;
            });
        }
    }
    try {
        Imf::Header header(view.width, view.height);
        header.compression() = Imf::ZIP_COMPRESSION;
        Imf::FrameBuffer frame;
        for (const ChannelPlace& channel : kChannels) {
            header.channels().insert(channel.name, Imf::Channel(Imf::FLOAT));
            frame.insert(channel.name,
                         Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(floats.begin() + channel.offset),
                                    sizeof(PF_PixelFloat), size_t(floats.def().rowbytes)));
        }
        Imf::OutputFile file(path.c_str(), header);
        file.setFrameBuffer(frame);
        file.writePixels(view.height);
    } catch (const std::exception& e) {
        fail(path, e.what());
    }
}

#else

Image loadExr(const std::string& path) { fail(path, "OpenEXR support is not built in"); }
void saveExr(const std::string& path, const PixelsView&) { fail(path, "OpenEXR support is not built in"); }

#endif

bool endsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        const char c = text[text.size() - n + i];
        if (char(c | 0x20) != suffix[i] && c != suffix[i]) return false;
    }
    return true;
}

}  // namespace

Image loadImage(const std::string& path) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) fail(path, "cannot be opened");
    unsigned char magic[8] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file.get());
    if (got == sizeof magic && png_sig_cmp(magic, 0, sizeof magic) == 0) {
        std::rewind(file.get());
        return loadPng(path, file.get());
    }
    if (got >= 4 && magic[0] == 0x76 && magic[1] == 0x2f && magic[2] == 0x31 && magic[3] == 0x01) {
        file.reset();
        return loadExr(path);
    }
    fail(path, "not a PNG or OpenEXR file");
}

void saveImage(const std::string& path, const PF_LayerDef& world) {
    const size_t bytesPerPixel = pixelBytes(world.pixel_format);
    if (world.data == nullptr || bytesPerPixel == 0 || world.width < 0 || world.height < 0 ||
        int64_t(world.rowbytes) < int64_t(world.width) * int64_t(bytesPerPixel)) {
        fail(path, "the world to write is malformed");
    }
    checkSize(path, world.width, world.height);
    const PixelsView view{static_cast<unsigned char*>(world.data), world.width, world.height, world.rowbytes,
                          world.pixel_format};
    if (endsWith(path, ".png")) return savePng(path, view);
    if (endsWith(path, ".exr")) return saveExr(path, view);
    fail(path, "unknown extension; use .png or .exr");
}

}  // namespace Sim
