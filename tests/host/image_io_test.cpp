#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>

#include "host/png_builder.h"
#include "host/sim/image_io.h"
#include "host/world_helpers.h"
#include "support/host_fixture.h"

using namespace WorldHelpers;

namespace {

namespace fs = std::filesystem;

class ImageFileTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("morvel_images_" + std::to_string(::getpid()) + "_" + info->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
        HostTest::TearDown();
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // A pattern that reaches both ends of every channel and differs from pixel to pixel.
    PF_LayerDef* patternWorld(PF_PixelFormat format, int32_t width, int32_t height) {
        PF_LayerDef* world = hostWorld(host(), width, height, format);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                auto* row = static_cast<unsigned char*>(world->data) + ptrdiff_t(y) * world->rowbytes;
                const uint32_t i = uint32_t(x + width * y);
                if (format == PF_PixelFormat_ARGB32) {
                    reinterpret_cast<PF_Pixel*>(row)[x] = {uint8_t(i * 37), uint8_t(i), uint8_t(255 - i),
                                                           uint8_t(i * 7 + y)};
                } else if (format == PF_PixelFormat_ARGB64) {
                    reinterpret_cast<PF_Pixel16*>(row)[x] = {uint16_t(i * 1237 % 32769), uint16_t(i * 4099 % 32769),
                                                             uint16_t(32768 - i), uint16_t(i)};
                } else {
                    // Alphas that are powers of two, so that premultiplying in the file is exact.
                    reinterpret_cast<PF_PixelFloat*>(row)[x] = {std::ldexp(1.0f, -int(i % 5)), float(i) / 97.0f,
                                                                -0.25f * float(i), 3.5f + float(x)};
                }
            }
        }
        return world;
    }

    static bool samePixels(const PF_LayerDef& a, const PF_LayerDef& b) {
        if (a.width != b.width || a.height != b.height || a.pixel_format != b.pixel_format) return false;
        const size_t length = size_t(a.width) * Sim::pixelBytes(a.pixel_format);
        for (int32_t y = 0; y < a.height; ++y) {
            if (std::memcmp(static_cast<const char*>(a.data) + ptrdiff_t(y) * a.rowbytes,
                            static_cast<const char*>(b.data) + ptrdiff_t(y) * b.rowbytes, length) != 0) {
                return false;
            }
        }
        return true;
    }

    static std::string bytes(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path dir_;
};

struct FileCase {
    const char* name;
    PF_PixelFormat format;
    const char* file;
};

const FileCase kFileCases[] = {
    {"8-bit PNG", PF_PixelFormat_ARGB32, "layer.png"},
    {"16-bit PNG", PF_PixelFormat_ARGB64, "layer.png"},
    {"float EXR", PF_PixelFormat_ARGB128, "layer.exr"},
};

TEST_F(ImageFileTest, WorldsSurviveAFileRoundTripAtTheirDepth) {
    for (const FileCase& c : kFileCases) {
        PF_LayerDef* world = patternWorld(c.format, 23, 11);
        Sim::saveImage(path(c.file), *world);
        const Sim::Image loaded = Sim::loadImage(path(c.file));
        EXPECT_TRUE(samePixels(*world, loaded.def())) << c.name;
    }
}

// What the loader does: a file becomes the effect's layer, the render's output is written out.
TEST_F(ImageFileTest, AFileLoadedAsALayerIsWrittenBackUnchanged) {
    for (const FileCase& c : kFileCases) {
        Sim::saveImage(path(std::string("in_") + c.file), *patternWorld(c.format, 17, 9));
        effect_.inputLayer = host().worlds().adopt(Sim::loadImage(path(std::string("in_") + c.file)));
        effect_.outputWorld = hostWorld(host(), 17, 9, effect_.inputLayer->pixel_format);
        ASSERT_EQ(in_data_.utils->copy(in_data_.effect_ref, effect_.inputLayer, effect_.outputWorld, nullptr, nullptr),
                  PF_Err_NONE);
        Sim::saveImage(path(std::string("out_") + c.file), *effect_.outputWorld);

        const Sim::Image back = Sim::loadImage(path(std::string("out_") + c.file));
        EXPECT_EQ(back.format(), c.format) << c.name;
        EXPECT_TRUE(samePixels(*effect_.inputLayer, back.def())) << c.name;
        EXPECT_EQ(bytes(path(std::string("in_") + c.file)), bytes(path(std::string("out_") + c.file))) << c.name;
    }
}

TEST_F(ImageFileTest, GreyPngWithoutAlphaBecomesOpaqueGrey) {
    // Written through libpng's own simple interface, independently of the host's writer.
    const uint8_t grey[6] = {0, 1, 127, 128, 254, 255};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 3;
    image.height = 2;
    image.format = PNG_FORMAT_GRAY;
    ASSERT_TRUE(png_image_write_to_file(&image, path("grey.png").c_str(), 0, grey, 3, nullptr));
    const Sim::Image loaded = Sim::loadImage(path("grey.png"));
    ASSERT_EQ(loaded.format(), PF_PixelFormat_ARGB32);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            const PF_Pixel& p = loaded.at<PF_Pixel>(x, y);
            const uint8_t v = grey[3 * y + x];
            EXPECT_EQ(p.alpha, 255);
            EXPECT_EQ(p.red, v);
            EXPECT_EQ(p.green, v);
            EXPECT_EQ(p.blue, v);
        }
    }
}

TEST_F(ImageFileTest, SixteenBitFileSamplesMapOntoTheWorldsScale) {
    PF_LayerDef* world = hostWorld(host(), 3, 1, PF_PixelFormat_ARGB64);
    auto* p = static_cast<PF_Pixel16*>(world->data);
    p[0] = {32768, 0, 16384, 1};
    Sim::saveImage(path("deep.png"), *world);
    // Read the file back through libpng's simple interface: 65535 is full, 16384 is about half.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path("deep.png").c_str()));
    EXPECT_NE(image.format & PNG_FORMAT_FLAG_ALPHA, 0u);
    png_image_free(&image);
    const Sim::Image loaded = Sim::loadImage(path("deep.png"));
    EXPECT_EQ(loaded.at<PF_Pixel16>(0, 0).alpha, 32768);
    EXPECT_EQ(loaded.at<PF_Pixel16>(0, 0).green, 16384);
    EXPECT_EQ(loaded.at<PF_Pixel16>(0, 0).blue, 1);
}

uint32_t crc32Of(const unsigned char* data, size_t length) {
    uint32_t crc = 0xffffffffu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBig32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((v >> shift) & 0xff);
}

// A well-formed PNG start whose header claims the given size, followed by an empty data chunk.
std::string pngClaiming(uint32_t width, uint32_t height) {
    std::string file("\x89PNG\r\n\x1a\n", 8);
    std::string header = "IHDR";
    putBig32(header, width);
    putBig32(header, height);
    header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA
    putBig32(file, 13);
    file += header;
    putBig32(file, crc32Of(reinterpret_cast<const unsigned char*>(header.data()), header.size()));
    putBig32(file, 0);
    file += "IDAT";
    putBig32(file, crc32Of(reinterpret_cast<const unsigned char*>("IDAT"), 4));
    return file;
}

TEST_F(ImageFileTest, UnreadableOrAbsurdFilesAreRefusedWithAReason) {
    auto write = [&](const std::string& name, const std::string& content) {
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    };
    Sim::saveImage(path("good.png"), *patternWorld(PF_PixelFormat_ARGB32, 8, 8));
    const std::string good = bytes(path("good.png"));
    struct Case {
        const char* name;
        std::string file;
        const char* reason;
    };
    const Case cases[] = {
        {"missing", path("nothing-here.png"), "cannot be opened"},
        {"text", write("notes.png", "just some text, not an image"), "not a PNG or OpenEXR"},
        {"empty", write("empty.exr", ""), "not a PNG or OpenEXR"},
        {"truncated", write("cut.png", good.substr(0, good.size() / 2)), "'"},
        {"wider than allowed", write("wide.png", pngClaiming(40000, 1)), "too large"},
        {"too many pixels", write("huge.png", pngClaiming(20000, 20000)), "too large"},
        {"broken EXR", write("broken.exr", std::string("\x76\x2f\x31\x01", 4) + "garbage"), "broken.exr"},
    };
    for (const Case& c : cases) {
        try {
            Sim::loadImage(c.file);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const Sim::ImageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << c.name << ": " << e.what();
        }
    }
}

TEST_F(ImageFileTest, WorldsThatCannotBeWrittenAreRefused) {
    PF_LayerDef* world = hostWorld(host(), 2, 2, PF_PixelFormat_ARGB32);
    EXPECT_THROW(Sim::saveImage(path("picture.tiff"), *world), Sim::ImageError);
    PF_LayerDef empty = *hostWorld(host(), 0, 0, PF_PixelFormat_ARGB32);
    EXPECT_THROW(Sim::saveImage(path("empty.png"), empty), Sim::ImageError);
    PF_LayerDef unknown = *world;
    unknown.pixel_format = PF_PixelFormat_INVALID;
    EXPECT_THROW(Sim::saveImage(path("unknown.png"), unknown), Sim::ImageError);
    EXPECT_THROW(Sim::saveImage((dir_ / "no-such-dir" / "x.png").string(), *world), Sim::ImageError);
}

}  // namespace

namespace {

TEST_F(ImageFileTest, TheToolWritesALoadedFileBackUnchanged) {
    for (const FileCase& c : kFileCases) {
        const std::string in = path(std::string("tool_in_") + c.file);
        const std::string out = path(std::string("tool_out_") + c.file);
        Sim::saveImage(in, *patternWorld(c.format, 9, 4));
        const std::string command =
            std::string("'") + MORVEL_TOOL_PATH + "' image '" + in + "' '" + out + "' >'" + path("stdout") + "' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << c.name << ": " << bytes(path("stdout"));
        EXPECT_EQ(bytes(path("stdout")), "9 x 4 " + Sim::formatName(c.format) + "\n") << c.name;
        EXPECT_TRUE(samePixels(Sim::loadImage(in).def(), Sim::loadImage(out).def())) << c.name;
    }
    const std::string command = std::string("'") + MORVEL_TOOL_PATH + "' image '" + path("absent.png") + "' '" +
                                path("x.png") + "' 2>'" + path("stderr") + "'";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_NE(bytes(path("stderr")).find("cannot be opened"), std::string::npos);
}

}  // namespace

// ---------------------------------------------------------------- conventions of the formats

namespace {

struct ExrPixels {
    Imath::Box2i data, display;
    Imf::PixelType type = Imf::FLOAT;
    std::vector<float> rgba;  // interleaved, premultiplied as in the file
};

ExrPixels readExrDirectly(const std::string& file) {
    Imf::InputFile in(file.c_str());
    ExrPixels pixels;
    pixels.data = in.header().dataWindow();
    pixels.display = in.header().displayWindow();
    pixels.type = in.header().channels().findChannel("R")->type;
    const int w = pixels.data.max.x - pixels.data.min.x + 1, h = pixels.data.max.y - pixels.data.min.y + 1;
    pixels.rgba.resize(size_t(w) * size_t(h) * 4);
    Imf::FrameBuffer frame;
    const char* names[] = {"R", "G", "B", "A"};
    for (int c = 0; c < 4; ++c) {
        frame.insert(names[c], Imf::Slice::Make(Imf::FLOAT, pixels.rgba.data() + c, pixels.data, 4 * sizeof(float),
                                                size_t(w) * 4 * sizeof(float)));
    }
    in.setFrameBuffer(frame);
    in.readPixels(pixels.data.min.y, pixels.data.max.y);
    return pixels;
}

void writeExrDirectly(const std::string& file, const ExrPixels& pixels) {
    Imf::Header header(pixels.display, pixels.data);
    const char* names[] = {"R", "G", "B", "A"};
    for (const char* name : names) header.channels().insert(name, Imf::Channel(pixels.type));
    const int w = pixels.data.max.x - pixels.data.min.x + 1;
    std::vector<half> halves(pixels.rgba.begin(), pixels.rgba.end());
    Imf::FrameBuffer frame;
    const bool isHalf = pixels.type == Imf::HALF;
    const size_t size = isHalf ? sizeof(half) : sizeof(float);
    const char* base =
        isHalf ? reinterpret_cast<const char*>(halves.data()) : reinterpret_cast<const char*>(pixels.rgba.data());
    for (int c = 0; c < 4; ++c) {
        frame.insert(names[c], Imf::Slice::Make(pixels.type, base + size_t(c) * size, pixels.data, 4 * size,
                                                size_t(w) * 4 * size));
    }
    Imf::OutputFile out(file.c_str(), header);
    out.setFrameBuffer(frame);
    out.writePixels(pixels.data.max.y - pixels.data.min.y + 1);
}

uint32_t bitsOf(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

TEST_F(ImageFileTest, ExrColourIsPremultipliedInTheFileAndStraightInTheWorld) {
    PF_LayerDef* world = hostWorld(host(), 3, 1, PF_PixelFormat_ARGB128);
    auto* p = static_cast<PF_PixelFloat*>(world->data);
    p[0] = {0.5f, 0.8f, -0.2f, 4.0f};
    p[1] = {0.0f, 0.7f, 0.6f, 0.5f};  // no coverage: its colour is not kept
    p[2] = {1.0f, 0.1f, 0.2f, 0.3f};
    Sim::saveImage(path("straight.exr"), *world);
    const ExrPixels file = readExrDirectly(path("straight.exr"));
    const float expected[12] = {0.4f, -0.1f, 2.0f, 0.5f, 0, 0, 0, 0, 0.1f, 0.2f, 0.3f, 1.0f};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(file.rgba[size_t(i)], expected[i]) << "value " << i;
    const Sim::Image back = Sim::loadImage(path("straight.exr"));
    EXPECT_EQ(back.at<PF_PixelFloat>(0, 0).red, 0.8f);
    EXPECT_EQ(back.at<PF_PixelFloat>(1, 0).red, 0.0f);
    EXPECT_EQ(back.at<PF_PixelFloat>(1, 0).alpha, 0.0f);
}

// A file read and written again keeps its windows, its channel type and, where alpha is above
// zero, every value: bit for bit for half files and for float colour over alpha 1 or a power of
// two (NaN and infinities included); other float alphas within one unit in the last place.
TEST_F(ImageFileTest, ExrFilesSurviveAReadAndWriteWithTheirWindows) {
    const float alphas[] = {1.0f, 0.5f, 0.25f, 0.7f, 0.3f, 0.123f, 0.0f, 1.0f};
    const float colours[] = {0.0f,
                             0.1f,
                             0.3333f,
                             1.0f,
                             2.5f,
                             -0.75f,
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN(),
                             1e-3f};
    for (Imf::PixelType type : {Imf::HALF, Imf::FLOAT}) {
        ExrPixels original;
        original.type = type;
        original.data = Imath::Box2i(Imath::V2i(-3, 5), Imath::V2i(-3 + 39, 5 + 9));
        original.display = Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(99, 49));
        for (int i = 0; i < 40 * 10; ++i) {
            const float a = type == Imf::HALF ? float(half(alphas[i % 8])) : alphas[i % 8];
            for (int c = 0; c < 3; ++c) {
                const float colour = colours[(i + 3 * c) % 10] * a;  // premultiplied
                original.rgba.push_back(type == Imf::HALF ? float(half(colour)) : colour);
            }
            original.rgba.push_back(a);
        }
        const std::string name = type == Imf::HALF ? "half" : "float";
        writeExrDirectly(path(name + ".exr"), original);

        Sim::LoadedImage loaded = Sim::readImage(path(name + ".exr"));
        EXPECT_EQ(loaded.layout.half, type == Imf::HALF) << name;
        Sim::WriteOptions options;
        options.layout = loaded.layout;
        Sim::writeImage(path(name + "_again.exr"), loaded.image.def(), options);
        const ExrPixels again = readExrDirectly(path(name + "_again.exr"));
        EXPECT_EQ(again.type, type) << name;
        EXPECT_EQ(again.data, original.data) << name;
        EXPECT_EQ(again.display, original.display) << name;
        ASSERT_EQ(again.rgba.size(), original.rgba.size());
        for (size_t i = 0; i < original.rgba.size(); ++i) {
            const float a = original.rgba[i | 3];
            const float was = original.rgba[i], now = again.rgba[i];
            if (a == 0.0f) {
                EXPECT_EQ(now, 0.0f) << name << " value " << i;
            } else if (std::isnan(was)) {
                EXPECT_TRUE(std::isnan(now)) << name << " value " << i;
            } else if (type == Imf::HALF || a == 1.0f || a == 0.5f || a == 0.25f || std::isinf(was)) {
                EXPECT_EQ(bitsOf(now), bitsOf(was)) << name << " value " << i << ": " << was << " became " << now;
            } else {
                EXPECT_LE(std::fabs(now - was), std::fabs(std::nextafter(was, 2 * was) - was))
                    << name << " value " << i;
            }
        }
    }
}

}  // namespace

namespace {

// The stated rule: a 16-bit file value v becomes the world's round(v * 32768 / 65535), and a world
// value w is written as round(w * 65535 / 32768). So every world value survives a write and a
// read, and a file value survives a read and a write when it is the image of a world value.
TEST_F(ImageFileTest, SixteenBitPngValuesFollowTheStatedRule) {
    // Every file value once, written by the test's own encoder.
    PngBuilder::Header h;
    h.width = 256;
    h.height = 256;
    h.depth = 16;
    h.colourType = 0;
    std::vector<uint8_t> samples;
    for (uint32_t v = 0; v < 65536; ++v) {
        samples.push_back(uint8_t(v >> 8));
        samples.push_back(uint8_t(v & 0xff));
    }
    std::ofstream(path("all.png"), std::ios::binary)
        << PngBuilder::joined(PngBuilder::pieces(h, PngBuilder::deflated(PngBuilder::filteredRows(samples, 512))));
    const Sim::Image loaded = Sim::loadImage(path("all.png"));
    ASSERT_EQ(loaded.format(), PF_PixelFormat_ARGB64);
    for (uint32_t v = 0; v < 65536; ++v) {
        const auto world = uint16_t(std::floor(double(v) * 32768.0 / 65535.0 + 0.5));
        const PF_Pixel16& p = loaded.at<PF_Pixel16>(int32_t(v % 256), int32_t(v / 256));
        ASSERT_EQ(p.red, world) << "file value " << v;
        ASSERT_EQ(p.alpha, 32768) << "file value " << v;
    }
    Sim::saveImage(path("all_again.png"), loaded.def());
    // Read back with libpng's simplified interface, independently of the host's reader.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path("all_again.png").c_str()));
    image.format = PNG_FORMAT_LINEAR_RGB_ALPHA;
    std::vector<uint16_t> back(PNG_IMAGE_SIZE(image) / 2);
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
    for (uint32_t v = 0; v < 65536; ++v) {
        const double world = std::floor(double(v) * 32768.0 / 65535.0 + 0.5);
        const auto file = uint16_t(std::floor(world * 65535.0 / 32768.0 + 0.5));
        ASSERT_EQ(back[size_t(v) * 4], file) << "file value " << v;
    }
}

}  // namespace
