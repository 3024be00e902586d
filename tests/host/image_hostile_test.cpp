// Damaged, truncated, oversized and unusual image files through `morvel image`, as a hostile
// tester would try them: each either reads correctly or fails with its own message, never leaves
// an output behind, and stays within a memory bound.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfPartType.h>
#include <ImfRgbaFile.h>
#include <ImfStringAttribute.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "host/png_builder.h"
#include "host/sim/image_io.h"
#include "host/tool_runner.h"

namespace {

namespace fs = std::filesystem;
using namespace PngBuilder;

// What the tool may hold at most for a file that costs nothing to decode: the program with its
// libraries and threads, and no picture.
constexpr long kSmallFileBoundKb = 64 * 1024;

class HostileImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("morvel_hostile_" + std::to_string(::getpid()) + "_" + info->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }
    // Files in the folder other than the inputs: an output or a temporary file left behind.
    std::vector<std::string> leftovers(const std::vector<std::string>& inputs) const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            if (std::find(inputs.begin(), inputs.end(), entry.path().string()) == inputs.end()) {
                found.push_back(entry.path().filename().string());
            }
        }
        return found;
    }

    fs::path dir_;
};

struct Refusal {
    std::string name;
    std::string file;  // the bytes
    std::string message;
    std::vector<std::string> options = {};
};

// A small RGBA picture as PNG pieces: several image data chunks and a text chunk.
std::vector<std::string> smallPng() {
    Header h;
    h.width = 16;
    h.height = 16;
    std::vector<uint8_t> pixels(16 * 16 * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 29 + (i >> 5));
    return pieces(h, deflated(filteredRows(pixels, 64)), 3, {chunk("tEXt", std::string("Comment\0hello", 13))});
}

// Bytes that do not compress, the same on every run.
std::string noise(size_t count) {
    std::string bytes(count, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = char(state >> 24);
    }
    return bytes;
}

std::string withHeader(Header h) {
    std::vector<uint8_t> pixels(size_t(4) * 3 * 4, 0x80);
    return joined(pieces(h, deflated(filteredRows(pixels, 16))));
}

std::vector<Refusal> pngRefusals() {
    std::vector<Refusal> cases;
    // Cut at every chunk boundary and inside every chunk.
    const std::vector<std::string> parts = smallPng();
    // What the file ends before piece i, and inside it.
    const char* expectations[] = {"",
                                  "file ends before its header (IHDR)",
                                  "file ends before the image data",
                                  "file ends before the image data",
                                  "file ends inside the image data",
                                  "file ends inside the image data",
                                  "file ends inside the image data"};
    const char* insideExpectations[] = {"not a PNG or OpenEXR file",         "file ends inside its header (IHDR)",
                                        "file ends inside the 'tEXt' chunk", "file ends inside the image data",
                                        "file ends inside the image data",   "file ends inside the image data",
                                        "file ends inside the 'IEND' chunk"};
    std::string prefix;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) cases.push_back({"cut before piece " + std::to_string(i), prefix, expectations[i]});
        cases.push_back({"cut inside piece " + std::to_string(i), prefix + parts[i].substr(0, parts[i].size() - 3),
                         insideExpectations[i]});
        prefix += parts[i];
    }
    cases.push_back({"end marker missing", prefix.substr(0, prefix.size() - 12), "file ends inside the image data"});

    // Every fault of the header.
    struct HeaderFault {
        const char* name;
        std::function<void(Header&)> change;
        const char* message;
    } faults[] = {
        {"width 0", [](Header& h) { h.width = 0; }, "width 0 is not valid"},
        {"height 0", [](Header& h) { h.height = 0; }, "height 0 is not valid"},
        {"width 2^31", [](Header& h) { h.width = 0x80000000u; }, "width 2147483648 is not valid"},
        {"depth 12 for RGB", [](Header& h) { h.colourType = 2, h.depth = 12; },
         "bit depth 12 is not valid for colour type 2"},
        {"depth 16 for palette", [](Header& h) { h.colourType = 3, h.depth = 16; },
         "bit depth 16 is not valid for colour type 3"},
        {"depth 3 for grey", [](Header& h) { h.colourType = 0, h.depth = 3; },
         "bit depth 3 is not valid for colour type 0"},
        {"depth 4 for grey alpha", [](Header& h) { h.colourType = 4, h.depth = 4; },
         "bit depth 4 is not valid for colour type 4"},
        {"colour type 5", [](Header& h) { h.colourType = 5; }, "colour type 5 is not valid"},
        {"colour type 7", [](Header& h) { h.colourType = 7; }, "colour type 7 is not valid"},
        {"compression 1", [](Header& h) { h.compression = 1; }, "compression method 1 is not valid"},
        {"filter 1", [](Header& h) { h.filter = 1; }, "filter method 1 is not valid"},
        {"interlace 2", [](Header& h) { h.interlace = 2; }, "interlace method 2 is not valid"},
        {"wider than a world", [](Header& h) { h.width = 40000; }, "too large"},
        {"more pixels than a world", [](Header& h) { h.width = 20000, h.height = 20000; }, "too large"},
    };
    for (const HeaderFault& fault : faults) {
        Header h;
        fault.change(h);
        cases.push_back({fault.name, withHeader(h), fault.message});
    }
    std::string badCrc = withHeader(Header{});
    badCrc[8 + 8 + 13] ^= 0x40;
    cases.push_back({"header checksum", badCrc, "the header (IHDR) fails its checksum"});
    std::string shortHeader = signature() + chunk("IHDR", std::string(12, '\x01')) + chunk("IEND", "");
    cases.push_back({"header of 12 bytes", shortHeader, "the header (IHDR) has length 12, not 13"});
    cases.push_back({"text before the header", signature() + chunk("tEXt", "a") + ihdr(Header{}) + chunk("IEND", ""),
                     "the first chunk is 'tEXt', not the header (IHDR)"});

    // Declared sizes far beyond the bytes there: a 44-byte file with a chunk claiming 2^31-1 bytes.
    std::string claim = signature() + ihdr(Header{});
    putBig32(claim, 0x7fffffffu);
    claim += "zTXt";
    cases.push_back({"chunk claiming 2^31-1 bytes", claim, "file ends inside the 'zTXt' chunk"});
    std::string beyond = signature() + ihdr(Header{});
    putBig32(beyond, 0x80000005u);
    beyond += "tEXtabcd";
    cases.push_back({"chunk beyond the format's limit", beyond, "beyond the format's limit"});
    // A 8192 x 8192 picture with a few bytes of image data.
    Header big;
    big.width = 8192;
    big.height = 8192;
    cases.push_back({"large picture, little data", joined(pieces(big, deflated(std::string(64, '\0')))),
                     "the image data ends after row 0 of 8192"});

    // Image data damaged: checksum, compressed stream.
    std::vector<std::string> damaged = smallPng();
    damaged[3][10] ^= 0x01;
    cases.push_back({"image data checksum", joined(damaged), "the 'IDAT' chunk fails its checksum"});
    std::vector<uint8_t> rows(4 * 3 * 4, 0);
    std::string stream = deflated(filteredRows(rows, 16));
    stream[0] = 0x00;  // not a zlib header
    cases.push_back({"image data not zlib", joined(pieces(Header{}, stream)), "the image data is damaged"});

    // A palette of two colours and a pixel that asks for the eighth.
    Header palette;
    palette.colourType = 3;
    palette.width = 2;
    palette.height = 1;
    const std::string plte = chunk("PLTE", std::string("\xff\x00\x00\x00\xff\x00", 6));
    cases.push_back({"palette index past the palette",
                     joined(pieces(palette, deflated(std::string("\0\x01\x07", 3)), 1, {plte})),
                     "palette index 7 at (1, 0) is past the 2-colour palette"});
    cases.push_back({"palette image without a palette", joined(pieces(palette, deflated(std::string("\0\x01\x00", 3)))),
                     "palette image without a palette (PLTE)"});

    // Damage after the last row, where the rows are read without inflating it.
    std::vector<std::string> trailing =
        pieces(Header{}, deflated(filteredRows(std::vector<uint8_t>(4 * 3 * 4, 0x80), 16) + noise(200000)), 4);
    trailing[trailing.size() - 2][40] ^= 0x01;
    cases.push_back(
        {"checksum of image data past the last row", joined(trailing), "the 'IDAT' chunk fails its checksum"});
    std::string badEnd = joined(smallPng());
    badEnd.back() ^= 0x01;
    cases.push_back({"end marker checksum", badEnd, "the 'IEND' chunk fails its checksum"});
    return cases;
}

TEST_F(HostileImageTest, DamagedPngFilesFailWithTheirOwnMessage) {
    for (const Refusal& c : pngRefusals()) {
        const std::string in = write("in.png", c.file);
        const std::string out = path("out.png");
        std::vector<std::string> arguments{"image"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back(in);
        arguments.push_back(out);
        const ToolRunner::Outcome outcome = ToolRunner::run(arguments);
        EXPECT_NE(outcome.status, 0) << c.name;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(in), std::string::npos) << c.name << ": the message names the file";
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << c.name << ": " << outcome.err;
        EXPECT_EQ(leftovers({in}), std::vector<std::string>{}) << c.name;
        if (ToolRunner::kMeasuresMemory) {
            EXPECT_LT(outcome.peakKilobytes, kSmallFileBoundKb) << c.name;
        }
        fs::remove(in);
    }
}

// ---------------------------------------------------------------- OpenEXR

struct ExrChannel {
    std::string name;
    Imf::PixelType type;
    std::function<float(int x, int y)> value;
};

// An OpenEXR part with the given channels, written through the library's own interface.
Imf::Header exrHeader(int width, int height, const std::vector<ExrChannel>& channels,
                      const std::string& partName = "") {
    Imf::Header header(width, height);
    for (const ExrChannel& c : channels) header.channels().insert(c.name, Imf::Channel(c.type));
    if (!partName.empty()) {
        header.setName(partName);
        header.setType(Imf::SCANLINEIMAGE);
    }
    return header;
}

struct Planes {
    std::vector<std::vector<float>> floats;
    std::vector<std::vector<half>> halves;
    Imf::FrameBuffer frame;
};

void fillPlanes(Planes& planes, int width, int height, const std::vector<ExrChannel>& channels) {
    planes.floats.resize(channels.size());
    planes.halves.resize(channels.size());
    for (size_t c = 0; c < channels.size(); ++c) {
        const size_t count = size_t(width) * size_t(height);
        planes.floats[c].resize(count);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) planes.floats[c][size_t(y * width + x)] = channels[c].value(x, y);
        }
        if (channels[c].type == Imf::HALF) {
            planes.halves[c].assign(planes.floats[c].begin(), planes.floats[c].end());
            planes.frame.insert(channels[c].name,
                                Imf::Slice(Imf::HALF, reinterpret_cast<char*>(planes.halves[c].data()), sizeof(half),
                                           sizeof(half) * size_t(width)));
        } else {
            planes.frame.insert(channels[c].name,
                                Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(planes.floats[c].data()), sizeof(float),
                                           sizeof(float) * size_t(width)));
        }
    }
}

void writeExr(const std::string& file, int width, int height, const std::vector<ExrChannel>& channels,
              const std::function<void(Imf::Header&)>& amend = nullptr) {
    Planes planes;
    fillPlanes(planes, width, height, channels);
    Imf::Header header = exrHeader(width, height, channels);
    if (amend) amend(header);
    Imf::OutputFile out(file.c_str(), header);
    out.setFrameBuffer(planes.frame);
    out.writePixels(height);
}

float gradient(int x, int y) { return 0.125f * float(x) + 0.0625f * float(y); }
float half1(int, int) { return 0.5f; }

std::string readBytes(const std::string& file) { return ToolRunner::slurp(file); }

TEST_F(HostileImageTest, OrdinaryExrFilesReadAsTheirColour) {
    const int w = 6, h = 4;
    const std::string luminance = path("luminance.exr");
    writeExr(luminance, w, h, {{"Y", Imf::HALF, gradient}});
    const std::string luminanceAlpha = path("luminance_alpha.exr");
    writeExr(luminanceAlpha, w, h, {{"Y", Imf::HALF, gradient}, {"A", Imf::HALF, half1}});
    const std::string layered = path("layered.exr");
    writeExr(
        layered, w, h,
        {{"beauty.R", Imf::FLOAT, gradient}, {"beauty.G", Imf::FLOAT, gradient}, {"beauty.B", Imf::FLOAT, gradient}});
    const std::string lower = path("lower.exr");
    writeExr(lower, w, h, {{"r", Imf::FLOAT, gradient}, {"g", Imf::FLOAT, gradient}, {"b", Imf::FLOAT, gradient}});
    const std::string twoLayers = path("two_layers.exr");
    writeExr(twoLayers, w, h,
             {{"beauty.R", Imf::FLOAT, gradient},
              {"beauty.G", Imf::FLOAT, gradient},
              {"beauty.B", Imf::FLOAT, gradient},
              {"diffuse.R", Imf::FLOAT, half1},
              {"diffuse.G", Imf::FLOAT, half1},
              {"diffuse.B", Imf::FLOAT, half1}});
    const std::string chroma = path("chroma.exr");
    {
        std::vector<Imf::Rgba> pixels(size_t(w * h));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) pixels[size_t(y * w + x)] = Imf::Rgba(gradient(x, y), 0.25f, 0.5f, 1.0f);
        }
        Imf::RgbaOutputFile out(chroma.c_str(), w, h, Imf::WRITE_YCA);
        out.setFrameBuffer(pixels.data(), 1, size_t(w));
        out.writePixels(h);
    }
    const std::string multipart = path("multipart.exr");
    {
        const std::vector<ExrChannel> depth{{"Z", Imf::FLOAT, half1}};
        const std::vector<ExrChannel> colour{{"R", Imf::FLOAT, gradient},
                                             {"G", Imf::FLOAT, gradient},
                                             {"B", Imf::FLOAT, gradient},
                                             {"A", Imf::FLOAT, half1}};
        std::vector<Imf::Header> headers{exrHeader(w, h, depth, "depth"), exrHeader(w, h, colour, "colour")};
        Imf::MultiPartOutputFile out(multipart.c_str(), headers.data(), 2);
        Planes depthPlanes, colourPlanes;
        fillPlanes(depthPlanes, w, h, depth);
        fillPlanes(colourPlanes, w, h, colour);
        Imf::OutputPart zero(out, 0), one(out, 1);
        zero.setFrameBuffer(depthPlanes.frame);
        zero.writePixels(h);
        one.setFrameBuffer(colourPlanes.frame);
        one.writePixels(h);
    }

    // Each case: the file, the options, and the straight colour expected at (x, y), alpha.
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::string> options;
        std::function<float(int, int)> red, green, blue;
        float alpha;
    } cases[] = {
        {"luminance", luminance, {}, gradient, gradient, gradient, 1.0f},
        // Premultiplied in the file: straight colour is Y / A.
        {"luminance and alpha",
         luminanceAlpha,
         {},
         [](int x, int y) { return 2 * gradient(x, y); },
         [](int x, int y) { return 2 * gradient(x, y); },
         [](int x, int y) { return 2 * gradient(x, y); },
         0.5f},
        {"a layer's channels", layered, {}, gradient, gradient, gradient, 1.0f},
        {"lower-case names", lower, {}, gradient, gradient, gradient, 1.0f},
        {"a layer chosen", twoLayers, {"--layer", "diffuse"}, half1, half1, half1, 1.0f},
        {"colour in the second part",
         multipart,
         {},
         [](int x, int y) { return 2 * gradient(x, y); },
         [](int x, int y) { return 2 * gradient(x, y); },
         [](int x, int y) { return 2 * gradient(x, y); },
         0.5f},
        {"a part chosen by name",
         multipart,
         {"--layer", "colour"},
         [](int x, int y) { return 2 * gradient(x, y); },
         [](int x, int y) { return 2 * gradient(x, y); },
         [](int x, int y) { return 2 * gradient(x, y); },
         0.5f},
    };
    for (const Case& c : cases) {
        const std::string out = path("out.exr");
        std::vector<std::string> arguments{"image"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {c.file, out, "--exr-type", "float"});
        const ToolRunner::Outcome outcome = ToolRunner::run(arguments);
        ASSERT_EQ(outcome.status, 0) << c.name << ": " << outcome.err;
        // Read back through OpenEXR's own RGBA interface, and made straight again.
        Imf::RgbaInputFile in(out.c_str());
        std::vector<Imf::Rgba> pixels(size_t(w * h));
        in.setFrameBuffer(pixels.data(), 1, size_t(w));
        in.readPixels(0, h - 1);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const Imf::Rgba& p = pixels[size_t(y * w + x)];
                const float a = p.a;
                ASSERT_EQ(a, c.alpha) << c.name;
                EXPECT_NEAR(float(p.r) / a, c.red(x, y), 2e-3) << c.name << " at " << x << "," << y;
                EXPECT_NEAR(float(p.g) / a, c.green(x, y), 2e-3) << c.name << " at " << x << "," << y;
                EXPECT_NEAR(float(p.b) / a, c.blue(x, y), 2e-3) << c.name << " at " << x << "," << y;
            }
        }
        fs::remove(out);
    }

    // Luminance with chroma: the colour OpenEXR's own RGBA interface reconstructs.
    const ToolRunner::Outcome outcome = ToolRunner::run({"image", chroma, path("chroma_out.exr")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    auto readRgba = [&](const std::string& file) {
        Imf::RgbaInputFile in(file.c_str());
        std::vector<Imf::Rgba> pixels(size_t(w * h));
        in.setFrameBuffer(pixels.data(), 1, size_t(w));
        in.readPixels(0, h - 1);
        return pixels;
    };
    const std::vector<Imf::Rgba> expected = readRgba(chroma), got = readRgba(path("chroma_out.exr"));
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(float(got[i].r), float(expected[i].r)) << "chroma pixel " << i;
        EXPECT_EQ(float(got[i].g), float(expected[i].g)) << "chroma pixel " << i;
        EXPECT_EQ(float(got[i].b), float(expected[i].b)) << "chroma pixel " << i;
    }
}

TEST_F(HostileImageTest, DamagedOrColourlessExrFilesFailWithTheirOwnMessage) {
    const int w = 6, h = 40;
    const std::string depthOnly = path("depth.exr");
    writeExr(depthOnly, w, h, {{"Z", Imf::FLOAT, half1}, {"N.x", Imf::FLOAT, half1}});
    const std::string twoLayers = path("two_layers.exr");
    writeExr(twoLayers, w, h, {{"beauty.R", Imf::FLOAT, gradient}, {"diffuse.G", Imf::FLOAT, half1}});
    const std::string good = path("good.exr");
    writeExr(good, w, h, {{"R", Imf::FLOAT, gradient}, {"G", Imf::FLOAT, gradient}, {"B", Imf::FLOAT, gradient}});
    const std::string goodBytes = readBytes(good);

    // The data window patched to something huge.
    auto patchedWindow = [&](int32_t xMax, int32_t yMax) {
        std::string bytes = goodBytes;
        const std::string key("dataWindow\0box2i\0", 17);
        const size_t at = bytes.find(key);
        EXPECT_NE(at, std::string::npos);
        const size_t value = at + key.size() + 4;
        std::memcpy(bytes.data() + value + 8, &xMax, 4);
        std::memcpy(bytes.data() + value + 12, &yMax, 4);
        return bytes;
    };
    // A 31-byte file: one attribute that claims 2^31-1 bytes.
    std::string claim("\x76\x2f\x31\x01\x02\x00\x00\x00", 8);
    claim += std::string("comments\0string\0", 16);
    claim += std::string("\xff\xff\xff\x7f", 4);
    claim += "abc";

    struct Case {
        std::string name;
        std::string file;  // a path
        std::vector<std::string> options;
        std::string message;
    };
    std::vector<Case> cases = {
        {"no colour channels", depthOnly, {}, "no colour channels (R, G, B or Y) found; its channels: N.x, Z"},
        {"colour in two layers",
         twoLayers,
         {},
         "has colour in several layers (layer 'beauty', layer 'diffuse'); choose one with --layer"},
        {"a layer that is not there", twoLayers, {"--layer", "specular"}, "has no part or layer 'specular'"},
        {"a part that is not there", good, {"--part", "3"}, "has 1 part; part 3 does not exist"},
        {"attribute claiming 2^31-1 bytes",
         write("claim.exr", claim),
         {},
         "the attribute 'comments' declares 2147483647 bytes"},
        {"data window beyond a world", write("wide.exr", patchedWindow(99999, 99999)), {}, "too large"},
        {"data window reversed", write("reversed.exr", patchedWindow(-10, 5)), {}, "empty image"},
        {"data window larger than the pixels", write("larger.exr", patchedWindow(7999, 7999)), {}, "larger.exr"},
        {"not an image at all", write("text.exr", "hello"), {}, "not a PNG or OpenEXR file"},
        {"empty", write("empty.exr", ""), {}, "empty file"},
    };
    for (size_t cut : {size_t(8), size_t(40), goodBytes.size() / 2, goodBytes.size() - 20}) {
        cases.push_back({"cut at byte " + std::to_string(cut),
                         write("cut" + std::to_string(cut) + ".exr", goodBytes.substr(0, cut)),
                         {},
                         "cut" + std::to_string(cut) + ".exr"});
    }
    std::vector<std::string> inputs;
    for (const Case& c : cases) inputs.push_back(c.file);
    inputs.push_back(good);
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"image"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {c.file, path("out.exr")});
        const ToolRunner::Outcome outcome = ToolRunner::run(arguments);
        EXPECT_NE(outcome.status, 0) << c.name;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << c.name << ": " << outcome.err;
        EXPECT_EQ(leftovers(inputs), std::vector<std::string>{}) << c.name;
        if (ToolRunner::kMeasuresMemory) {
            EXPECT_LT(outcome.peakKilobytes, kSmallFileBoundKb) << c.name;
        }
    }
}

TEST_F(HostileImageTest, NonRegularInputsAreRefusedAtOnce) {
    const std::string fifo = path("pipe.png");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string file;
        const char* message;
    } cases[] = {
        {"FIFO with no writer", fifo, "is a FIFO, not a regular file"},
        {"device", "/dev/zero", "is a device, not a regular file"},
        {"directory", dir_.string(), "is a directory, not a regular file"},
        {"missing", path("absent.png"), "cannot be opened: No such file or directory"},
    };
    for (const Case& c : cases) {
        const ToolRunner::Outcome outcome = ToolRunner::run({"image", c.file, path("out.png")});
        EXPECT_NE(outcome.status, 0) << c.name;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_FALSE(fs::exists(path("out.png"))) << c.name;
    }
}

// Work in proportion to what the file holds, counted rather than timed: a long attribute costs
// system calls by the block, not by the byte, and image data that goes on past the last row is
// not inflated (the rows are read all the same).
TEST_F(HostileImageTest, ReadingCostsWhatTheFileHolds) {
    const std::string text(size_t(1) << 20, 'c');
    const std::vector<ExrChannel> grey{{"R", Imf::HALF, half1}, {"G", Imf::HALF, half1}, {"B", Imf::HALF, half1}};
    const std::string comment = path("comment.exr");
    writeExr(comment, 8, 8, grey, [&](Imf::Header& h) { h.insert("comments", Imf::StringAttribute(text)); });
    // The same attribute under a type name OpenEXR does not know, which it keeps as opaque bytes.
    std::string unknownBytes = readBytes(comment);
    const std::string known("comments\0string\0", 16);
    unknownBytes.replace(unknownBytes.find(known), known.size(), std::string("comments\0unknwn\0", 16));

    // 16 x 16 straight RGBA, and a 2 x 2 picture interlaced: Adam7 places (0,0) in the first pass,
    // (1,0) in the sixth and the second row in the seventh.
    std::vector<uint8_t> pixels(16 * 16 * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 29 + (i >> 5));
    Header square;
    square.width = square.height = 16;
    Header interlaced;
    interlaced.width = interlaced.height = 2;
    interlaced.interlace = 1;
    const std::vector<uint8_t> quad{10, 20, 30, 255, 40, 50, 60, 200, 70, 80, 90, 150, 100, 110, 120, 100};
    const std::string passes = std::string("\0", 1) + std::string(quad.begin(), quad.begin() + 4) +
                               std::string("\0", 1) + std::string(quad.begin() + 4, quad.begin() + 8) +
                               std::string("\0", 1) + std::string(quad.begin() + 8, quad.end());
    const std::string extra = noise(size_t(1) << 20);

    constexpr uint64_t kAny = UINT64_MAX;
    struct Case {
        std::string name;
        std::string file;  // the bytes
        uint64_t maxReadCalls;
        uint64_t maxInflated;
        int side = 0;  // PNG: the picture's side, whose pixels must come back
        const std::vector<uint8_t>* rgba = nullptr;
    } cases[] = {
        {"OpenEXR comment of 1 MB", readBytes(comment), 100, kAny},
        {"OpenEXR attribute of 1 MB of an unknown type", unknownBytes, 100, kAny},
        {"PNG with 1 MB of image data past its last row",
         joined(pieces(square, deflated(filteredRows(pixels, 64) + extra), 1)), 100, 65536, 16, &pixels},
        {"PNG in many chunks with 1 MB past its last row",
         joined(pieces(square, deflated(filteredRows(pixels, 64) + extra), 64)), 400, 65536, 16, &pixels},
        {"interlaced PNG with 1 MB past its last row", joined(pieces(interlaced, deflated(passes + extra), 1)), 100,
         65536, 2, &quad},
    };
    for (const Case& c : cases) {
        Sim::ReadCost cost;
        Sim::ReadOptions options;
        options.cost = &cost;
        const std::string file = write("costly", c.file);
        const Sim::LoadedImage loaded = Sim::readImage(file, options);
        EXPECT_LE(cost.readCalls, c.maxReadCalls) << c.name << ": a file of " << c.file.size() << " bytes";
        if (c.maxInflated != kAny) {
            EXPECT_GT(cost.imageDataInflated, 0u) << c.name;
            EXPECT_LE(cost.imageDataInflated, c.maxInflated) << c.name;
        }
        for (int y = 0; y < c.side; ++y) {
            for (int x = 0; x < c.side; ++x) {
                const uint8_t* want = c.rgba->data() + 4 * size_t(y * c.side + x);
                const PF_Pixel& got = loaded.image.at<PF_Pixel>(x, y);
                EXPECT_TRUE(got.alpha == want[3] && got.red == want[0] && got.green == want[1] && got.blue == want[2])
                    << c.name << " at " << x << "," << y;
            }
        }
    }
}

// Memory in proportion to the picture: a large picture that compresses to little is read with
// at most about two copies of its decoded pixels (the layer and the render's output world).
TEST_F(HostileImageTest, ValidLargePicturesCostAboutTwiceTheirPixels) {
    if (!ToolRunner::kMeasuresMemory) GTEST_SKIP() << "peak memory is not meaningful under the sanitizers";
    const int side = 2048;
    const std::string exr = path("flat.exr");
    writeExr(exr, side, side,
             {{"R", Imf::HALF, half1}, {"G", Imf::HALF, half1}, {"B", Imf::HALF, half1}, {"A", Imf::HALF, half1}});
    const long worldKb = long(side) * side * 16 / 1024;
    const ToolRunner::Outcome exrOutcome = ToolRunner::run({"image", exr, path("flat_out.exr")});
    ASSERT_EQ(exrOutcome.status, 0) << exrOutcome.err;
    EXPECT_LT(exrOutcome.peakKilobytes, 2 * worldKb + kSmallFileBoundKb) << "world " << worldKb << " KB";

    const std::string png = path("flat.png");
    Header h;
    h.width = side;
    h.height = side;
    std::string raw;
    for (int y = 0; y < side; ++y) raw += '\0' + std::string(size_t(side) * 4, '\x40');
    std::ofstream(png, std::ios::binary) << joined(pieces(h, deflated(raw), 4));
    const long pngWorldKb = long(side) * side * 4 / 1024;
    const ToolRunner::Outcome pngOutcome = ToolRunner::run({"image", png, path("flat_out.png")});
    ASSERT_EQ(pngOutcome.status, 0) << pngOutcome.err;
    EXPECT_LT(pngOutcome.peakKilobytes, 2 * pngWorldKb + kSmallFileBoundKb) << "world " << pngWorldKb << " KB";
}

}  // namespace
