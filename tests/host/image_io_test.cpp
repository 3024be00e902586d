#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

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
                    reinterpret_cast<PF_PixelFloat*>(row)[x] = {float(i) / 97.0f, -0.25f * float(i), 3.5f + float(x),
                                                                1e-7f * float(y)};
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
#ifdef MORVEL_HAVE_OPENEXR
    {"float EXR", PF_PixelFormat_ARGB128, "layer.exr"},
#endif
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
#ifdef MORVEL_HAVE_OPENEXR
        {"broken EXR", write("broken.exr", std::string("\x76\x2f\x31\x01", 4) + "garbage"), "broken.exr"},
#endif
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
        const std::string command = std::string("'") + MORVEL_TOOL_PATH + "' image '" + in + "' '" + out + "' >'" +
                                    path("stdout") + "' 2>&1";
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
