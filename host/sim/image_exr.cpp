#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "host/sim/image_formats.h"

#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>
#include <ImfOutputFile.h>
#include <ImfRgbaFile.h>
#include <ImfThreading.h>

namespace Sim {

bool isExr(const unsigned char* start, size_t length) {
    return length >= 4 && start[0] == 0x76 && start[1] == 0x2f && start[2] == 0x31 && start[3] == 0x01;
}

namespace {

struct CompressionName {
    const char* name;
    Imf::Compression compression;
};
const CompressionName kCompressions[] = {
    {"none", Imf::NO_COMPRESSION},   {"rle", Imf::RLE_COMPRESSION},   {"zips", Imf::ZIPS_COMPRESSION},
    {"zip", Imf::ZIP_COMPRESSION},   {"piz", Imf::PIZ_COMPRESSION},   {"pxr24", Imf::PXR24_COMPRESSION},
    {"b44", Imf::B44_COMPRESSION},   {"b44a", Imf::B44A_COMPRESSION}, {"dwaa", Imf::DWAA_COMPRESSION},
    {"dwab", Imf::DWAB_COMPRESSION},
};

// OpenEXR's own pool, as many threads as processors, set once for the process.
int exrThreads() {
    static std::once_flag once;
    std::call_once(once, [] {
        const unsigned processors = std::thread::hardware_concurrency();
        Imf::setGlobalThreadCount(int(processors > 1 ? processors : 1));
    });
    return Imf::globalThreadCount();
}

int32_t little32(const unsigned char* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// The headers, walked before OpenEXR reads them: no attribute may claim more bytes than the file
// has left, and the data window must be one the host can hold, before anything is allocated.
void checkHeaders(const ImageInput& input) {
    const std::string& path = input.path();
    unsigned char start[8];
    if (!input.readExactly(0, start, sizeof start)) imageFailure(path, "file ends inside its version field");
    const uint32_t version = uint32_t(little32(start + 4));
    if ((version & 0xff) != 2)
        imageFailure(path, "OpenEXR version " + std::to_string(version & 0xff) + " is not supported");
    if ((version & 0x800) != 0) imageFailure(path, "holds deep data, which is not supported");
    const bool multipart = (version & 0x1000) != 0;
    const size_t nameLimit = (version & 0x400) != 0 ? 256 : 32;

    uint64_t at = sizeof start;
    for (int header = 0;; ++header) {
        for (;;) {
            unsigned char field[2 * 256 + 8];
            const size_t got = input.readAt(at, field, sizeof field);
            if (got == 0) imageFailure(path, "file ends inside its header");
            if (field[0] == 0) {
                ++at;
                break;
            }
            const auto* nameEnd = static_cast<const unsigned char*>(std::memchr(field, 0, std::min(got, nameLimit)));
            if (nameEnd == nullptr) imageFailure(path, "damaged header at byte " + std::to_string(at));
            const size_t typeAt = size_t(nameEnd - field) + 1;
            const auto* typeEnd = static_cast<const unsigned char*>(
                std::memchr(field + typeAt, 0, std::min(got - std::min(got, typeAt), nameLimit)));
            if (typeEnd == nullptr) imageFailure(path, "damaged header at byte " + std::to_string(at));
            const size_t sizeAt = size_t(typeEnd - field) + 1;
            if (got < sizeAt + 4) imageFailure(path, "file ends inside its header");
            const std::string name(reinterpret_cast<const char*>(field));
            const std::string type(reinterpret_cast<const char*>(field + typeAt));
            const int32_t size = little32(field + sizeAt);
            const uint64_t valueAt = at + sizeAt + 4;
            if (size < 0 || uint64_t(size) > input.size() - valueAt) {
                imageFailure(path, "the attribute '" + name + "' declares " + std::to_string(size) +
                                       " bytes but only " + std::to_string(input.size() - valueAt) +
                                       " remain in the file");
            }
            if (name == "type" && type == "string") {
                std::string value(size_t(size), '\0');
                input.readExactly(valueAt, value.data(), value.size());
                if (value.rfind("deep", 0) == 0) imageFailure(path, "holds deep data, which is not supported");
            }
            if (name == "dataWindow" && type == "box2i" && size == 16) {
                unsigned char box[16];
                input.readExactly(valueAt, box, sizeof box);
                const int64_t width = int64_t(little32(box + 8)) - little32(box) + 1;
                const int64_t height = int64_t(little32(box + 12)) - little32(box + 4) + 1;
                checkImageSize(path, width, height);
            }
            at = valueAt + uint64_t(size);
        }
        if (!multipart) break;
        unsigned char next = 0;
        if (!input.readExactly(at, &next, 1)) imageFailure(path, "file ends inside its header");
        if (next == 0) break;
        if (header > 10000) imageFailure(path, "has too many parts");
    }
}

// OpenEXR reads through this, so that it sees the file already checked and opened.
class InStream : public Imf::IStream {
public:
    explicit InStream(const ImageInput& input) : Imf::IStream(input.path().c_str()), input_(input) {}
    bool read(char bytes[], int count) override {
        if (count < 0) throw Iex::InputExc("negative read");
        bool complete = false;
        try {
            complete = size_t(count) >= kBlock ? input_.readExactly(position_, bytes, size_t(count))
                                               : fromBlock(bytes, size_t(count));
        } catch (const std::exception& error) {
            throw Iex::InputExc(error.what());
        }
        if (!complete) throw Iex::InputExc("file ends early");
        position_ += uint64_t(count);
        return position_ < input_.size();
    }
    uint64_t tellg() override { return position_; }
    void seekg(uint64_t position) override { position_ = position; }

private:
    // OpenEXR reads names and string attributes a byte at a time; small reads come from a block
    // read ahead, so that a long comment is not a system call per byte.
    static constexpr size_t kBlock = size_t(1) << 16;
    bool fromBlock(char* bytes, size_t count) {
        if (position_ < blockStart_ || position_ + count > blockStart_ + blockLength_) {
            block_.resize(kBlock);
            blockStart_ = position_;
            blockLength_ = input_.readAt(position_, block_.data(), kBlock);
            if (blockLength_ < count) return false;
        }
        std::memcpy(bytes, block_.data() + (position_ - blockStart_), count);
        return true;
    }

    const ImageInput& input_;
    uint64_t position_ = 0;
    std::vector<char> block_;
    uint64_t blockStart_ = 0;
    size_t blockLength_ = 0;
};

// Errors are kept as well as thrown: OpenEXR writes the offset table when the file object goes,
// where it swallows them.
class OutStream : public Imf::OStream {
public:
    explicit OutStream(ImageOutput& output) : Imf::OStream(output.path().c_str()), output_(output) {}
    void write(const char bytes[], int count) override {
        guard([&] { output_.write(bytes, size_t(count)); });
    }
    uint64_t tellp() override { return output_.tell(); }
    void seekp(uint64_t position) override {
        guard([&] { output_.seek(position); });
    }
    const std::string& failure() const { return failure_; }

private:
    template <typename Fn>
    void guard(Fn&& fn) {
        if (!failure_.empty()) throw Iex::IoExc(failure_);
        try {
            fn();
        } catch (const std::exception& error) {
            failure_ = error.what();
            throw Iex::IoExc(failure_);
        }
    }
    ImageOutput& output_;
    std::string failure_;
};

std::string lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The colour channels found under one prefix ("" or "beauty.") of one part.
struct Channels {
    int part = -1;
    std::string prefix;
    std::string red, green, blue, alpha, luminance, chromaRY, chromaBY;
    bool colour() const { return !red.empty() || !green.empty() || !blue.empty() || !luminance.empty(); }
    bool chroma() const { return !chromaRY.empty() || !chromaBY.empty(); }
};

Channels channelsOf(const Imf::Header& header, int part, const std::string& prefix) {
    Channels found;
    found.part = part;
    found.prefix = prefix;
    for (auto i = header.channels().begin(); i != header.channels().end(); ++i) {
        const std::string name = i.name();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string rest = lower(name.substr(prefix.size()));
        if (rest.find('.') != std::string::npos) continue;
        std::string* slot = rest == "r"    ? &found.red
                            : rest == "g"  ? &found.green
                            : rest == "b"  ? &found.blue
                            : rest == "a"  ? &found.alpha
                            : rest == "y"  ? &found.luminance
                            : rest == "ry" ? &found.chromaRY
                            : rest == "by" ? &found.chromaBY
                                           : nullptr;
        // An exact upper-case name wins over a lower-case one.
        if (slot != nullptr && (slot->empty() || name.substr(prefix.size()) != rest)) *slot = name;
    }
    return found;
}

// Layer prefixes ("beauty.") of a part that hold colour channels.
std::vector<std::string> colourLayers(const Imf::Header& header) {
    std::vector<std::string> layers;
    for (auto i = header.channels().begin(); i != header.channels().end(); ++i) {
        const std::string name = i.name();
        const size_t dot = name.rfind('.');
        if (dot == std::string::npos) continue;
        const std::string base = lower(name.substr(dot + 1));
        if (base != "r" && base != "g" && base != "b" && base != "y") continue;
        const std::string prefix = name.substr(0, dot + 1);
        if (std::find(layers.begin(), layers.end(), prefix) == layers.end()) layers.push_back(prefix);
    }
    return layers;
}

std::string partLabel(const Imf::Header& header, int part) {
    return header.hasName() ? "part '" + header.name() + "'" : "part " + std::to_string(part);
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

Channels chooseChannels(const std::string& path, Imf::MultiPartInputFile& file, const ReadOptions& options) {
    const int parts = file.parts();
    if (options.part >= parts) {
        imageFailure(path, "has " + std::to_string(parts) + " part" + (parts == 1 ? "" : "s") + "; part " +
                               std::to_string(options.part) + " does not exist");
    }
    std::vector<int> considered;
    for (int part = 0; part < parts; ++part) {
        if (options.part < 0 || options.part == part) considered.push_back(part);
    }
    if (!options.layer.empty()) {
        for (int part : considered) {
            const Imf::Header& header = file.header(part);
            if (header.hasName() && header.name() == options.layer) {
                const Channels found = channelsOf(header, part, "");
                if (!found.colour())
                    imageFailure(path, "part '" + options.layer + "' has no colour channels (R, G, B or Y)");
                return found;
            }
        }
        for (int part : considered) {
            const Channels found = channelsOf(file.header(part), part, options.layer + ".");
            if (found.colour()) return found;
        }
    } else {
        for (int part : considered) {
            const Channels found = channelsOf(file.header(part), part, "");
            if (found.colour()) return found;
        }
    }
    // Nothing plain: a single layer with colour is taken; among several the user must choose.
    std::vector<Channels> candidates;
    std::vector<std::string> names;
    for (int part : considered) {
        const Imf::Header& header = file.header(part);
        if (header.hasName()) names.push_back("part '" + header.name() + "'");
        for (const std::string& prefix : colourLayers(header)) {
            candidates.push_back(channelsOf(header, part, prefix));
            names.push_back("layer '" + prefix.substr(0, prefix.size() - 1) + "'" +
                            (parts > 1 ? " in " + partLabel(header, part) : ""));
        }
    }
    if (options.layer.empty() && candidates.size() == 1) return candidates.front();
    if (!options.layer.empty()) {
        imageFailure(path, "has no part or layer '" + options.layer + "' with colour channels" +
                               (names.empty() ? std::string() : "; it has " + joined(names)));
    }
    if (candidates.size() > 1)
        imageFailure(path, "has colour in several layers (" + joined(names) + "); choose one with --layer");
    std::vector<std::string> present;
    for (int part : considered) {
        for (auto i = file.header(part).channels().begin(); i != file.header(part).channels().end(); ++i) {
            if (present.size() == 8) break;
            present.push_back(i.name());
        }
    }
    imageFailure(path,
                 "no colour channels (R, G, B or Y) found" +
                     (present.empty() ? std::string(": it has no channels") : "; its channels: " + joined(present)));
}

bool finitePositive(float alpha) { return alpha > 0.0f && alpha <= std::numeric_limits<float>::max(); }

// Straight colour from premultiplied. Where alpha is 0 the colour is 0; where it is negative or
// not finite the colour is kept as it is, as the writer keeps it.
void unpremultiply(PF_PixelFloat& p) {
    if (finitePositive(p.alpha)) {
        p.red /= p.alpha;
        p.green /= p.alpha;
        p.blue /= p.alpha;
    } else if (p.alpha == 0.0f) {
        p.red = p.green = p.blue = 0.0f;
    }
}

PF_PixelFloat premultiplied(PF_PixelFloat p) {
    if (finitePositive(p.alpha)) {
        p.red *= p.alpha;
        p.green *= p.alpha;
        p.blue *= p.alpha;
    } else if (p.alpha == 0.0f) {
        p.red = p.green = p.blue = 0.0f;
    }
    return p;
}

LoadedImage readChannels(const std::string& path, Imf::MultiPartInputFile& file, const Channels& channels,
                         const ReadOptions& options) {
    const Imf::Header& header = file.header(channels.part);
    const Imath::Box2i window = header.dataWindow();
    const int32_t width = window.max.x - window.min.x + 1, height = window.max.y - window.min.y + 1;
    LoadedImage loaded{Image(width, height, PF_PixelFormat_ARGB128), {}};
    Image& image = loaded.image;
    bool half = true;
    const std::string* colour[] = {&channels.red, &channels.green, &channels.blue, &channels.alpha,
                                   &channels.luminance};
    for (const std::string* name : colour) {
        if (name->empty()) continue;
        const Imf::Channel& channel = header.channels()[*name];
        if (channel.xSampling != 1 || channel.ySampling != 1)
            imageFailure(path, "channel '" + *name + "' is subsampled");
        if (name != &channels.alpha) half = half && channel.type == Imf::HALF;
    }
    const bool luminanceOnly = channels.red.empty() && channels.green.empty() && channels.blue.empty();
    struct Place {
        std::string name;
        size_t offset;
        double fill;
    };
    std::vector<Place> places;
    if (luminanceOnly) {
        places.push_back({channels.luminance, offsetof(PF_PixelFloat, red), 0.0});
    } else {
        // A missing one of red, green and blue reads as 0, as OpenEXR's RGBA interface has it.
        if (!channels.red.empty()) places.push_back({channels.red, offsetof(PF_PixelFloat, red), 0.0});
        if (!channels.green.empty()) places.push_back({channels.green, offsetof(PF_PixelFloat, green), 0.0});
        if (!channels.blue.empty()) places.push_back({channels.blue, offsetof(PF_PixelFloat, blue), 0.0});
    }
    const bool hasAlpha = !channels.alpha.empty();
    if (hasAlpha) places.push_back({channels.alpha, offsetof(PF_PixelFloat, alpha), 1.0});
    Imf::FrameBuffer frame;
    for (const Place& place : places) {
        frame.insert(place.name,
                     Imf::Slice::Make(Imf::FLOAT, image.begin() + place.offset, window, sizeof(PF_PixelFloat),
                                      size_t(image.def().rowbytes), 1, 1, place.fill));
    }
    Imf::InputPart part(file, channels.part);
    part.setFrameBuffer(frame);
    part.readPixels(window.min.y, window.max.y);

    forRowBands(options.pool, height, width, [&](int32_t first, int32_t end) {
        for (int32_t y = first; y < end; ++y) {
            PF_PixelFloat* row = &image.at<PF_PixelFloat>(0, y);
            for (int32_t x = 0; x < width; ++x) {
                if (luminanceOnly) row[x].green = row[x].blue = row[x].red;
                if (!hasAlpha) row[x].alpha = 1.0f;
                unpremultiply(row[x]);
            }
        }
    });
    loaded.layout.half = half;
    return loaded;
}

// Luminance with chroma is reconstructed by OpenEXR's RGBA interface, which reads only the
// first part.
LoadedImage readChroma(const std::string& path, const ImageInput& input, const Channels& channels,
                       const ReadOptions& options) {
    if (channels.part != 0) imageFailure(path, "luminance-chroma channels are read only from the first part");
    InStream stream(input);
    const std::string layer = channels.prefix.empty() ? "" : channels.prefix.substr(0, channels.prefix.size() - 1);
    Imf::RgbaInputFile file(stream, layer, exrThreads());
    const Imath::Box2i window = file.dataWindow();
    const int32_t width = window.max.x - window.min.x + 1, height = window.max.y - window.min.y + 1;
    LoadedImage loaded{Image(width, height, PF_PixelFormat_ARGB128), {}};
    std::vector<Imf::Rgba> pixels(size_t(width) * size_t(height));
    file.setFrameBuffer(pixels.data() - window.min.x - ptrdiff_t(window.min.y) * width, 1, size_t(width));
    file.readPixels(window.min.y, window.max.y);
    Image& image = loaded.image;
    forRowBands(options.pool, height, width, [&](int32_t first, int32_t end) {
        for (int32_t y = first; y < end; ++y) {
            const Imf::Rgba* in = pixels.data() + size_t(y) * size_t(width);
            PF_PixelFloat* row = &image.at<PF_PixelFloat>(0, y);
            for (int32_t x = 0; x < width; ++x) {
                row[x] = {float(in[x].a), float(in[x].r), float(in[x].g), float(in[x].b)};
                unpremultiply(row[x]);
            }
        }
    });
    loaded.layout.half = true;
    return loaded;
}

Imf::Compression compressionNamed(const std::string& path, const std::string& name) {
    for (const CompressionName& entry : kCompressions) {
        if (lower(name) == entry.name) return entry.compression;
    }
    imageFailure(path, "OpenEXR compression '" + name + "' is not one of " + exrCompressionNames());
}

}  // namespace

std::string exrCompressionNames() {
    std::string names;
    for (const CompressionName& entry : kCompressions) names += std::string(names.empty() ? "" : ", ") + entry.name;
    return names;
}

void checkExrCompression(const std::string& path, const std::string& name) { compressionNamed(path, name); }

LoadedImage readExr(const ImageInput& input, const ReadOptions& options) {
    const std::string& path = input.path();
    checkHeaders(input);
    try {
        InStream stream(input);
        Imf::MultiPartInputFile file(stream, exrThreads());
        const Channels channels = chooseChannels(path, file, options);
        const Imf::Header& header = file.header(channels.part);
        const Imath::Box2i window = header.dataWindow();
        checkImageSize(path, int64_t(window.max.x) - window.min.x + 1, int64_t(window.max.y) - window.min.y + 1);
        LoadedImage loaded = channels.chroma() && !channels.luminance.empty()
                                 ? readChroma(path, input, channels, options)
                                 : readChannels(path, file, channels, options);
        const Imath::Box2i display = header.displayWindow();
        loaded.layout.originX = window.min.x;
        loaded.layout.originY = window.min.y;
        loaded.layout.hasDisplayWindow = true;
        loaded.layout.displayLeft = display.min.x;
        loaded.layout.displayTop = display.min.y;
        loaded.layout.displayRight = display.max.x;
        loaded.layout.displayBottom = display.max.y;
        return loaded;
    } catch (const ImageError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        imageFailure(path, error.what());
    }
}

void writeExr(ImageOutput& output, const PixelsView& view, const WriteOptions& options) {
    const std::string& path = output.path();
    const ImageLayout& layout = options.layout;
    const Imf::Compression compression = compressionNamed(path, options.exrCompression);
    if (int64_t(layout.originX) + view.width - 1 > INT32_MAX || int64_t(layout.originY) + view.height - 1 > INT32_MAX) {
        imageFailure(path, "the data window reaches beyond the format's coordinates");
    }
    const Imath::Box2i window(Imath::V2i(layout.originX, layout.originY),
                              Imath::V2i(layout.originX + view.width - 1, layout.originY + view.height - 1));
    const Imath::Box2i display = layout.hasDisplayWindow
                                     ? Imath::Box2i(Imath::V2i(layout.displayLeft, layout.displayTop),
                                                    Imath::V2i(layout.displayRight, layout.displayBottom))
                                     : window;
    if (display.isEmpty()) imageFailure(path, "the display window is empty");
    const Imf::PixelType type = layout.half ? Imf::HALF : Imf::FLOAT;
    const char* names[] = {"R", "G", "B", "A"};
    OutStream stream(output);
    try {
        Imf::Header header(display, window);
        header.compression() = compression;
        // zlib's fastest level: about a third less work per frame than the library's default,
        // for files around a sixth larger.
        header.zipCompressionLevel() = 1;
        for (const char* name : names) header.channels().insert(name, Imf::Channel(type));
        Imf::OutputFile file(stream, header, exrThreads());
        // Rows go out a block at a time, premultiplied on the worker threads; OpenEXR compresses
        // each block's line buffers on its own.
        const int32_t blockRows = std::max(64, exrThreads() * 32);
        const size_t rowValues = size_t(view.width) * 4;
        const size_t blockValues = rowValues * size_t(std::min(blockRows, view.height));
        // Fresh mapped pages rather than a vector: no zeroing pass, and huge pages where allowed.
        const size_t valueBytes = layout.half ? sizeof(half) : sizeof(float);
        PixelMemory block(blockValues * valueBytes);
        auto* floats = reinterpret_cast<float*>(block.data());
        auto* halves = reinterpret_cast<half*>(block.data());
        for (int32_t top = 0; top < view.height; top += blockRows) {
            const int32_t count = std::min(blockRows, view.height - top);
            forRowBands(options.pool, count, view.width, [&](int32_t first, int32_t end) {
                for (int32_t r = first; r < end; ++r) {
                    withPixelType(view.format, [&](auto tag) {
                        using Pixel = typename decltype(tag)::type;
                        const auto* in = view.row<Pixel>(top + r);
                        const size_t rowStart = size_t(r) * rowValues;
                        for (int32_t x = 0; x < view.width; ++x) {
                            PF_PixelFloat straight;
                            if constexpr (std::is_same_v<Pixel, PF_PixelFloat>) {
                                straight = in[x];
                            } else {
                                fromUnit(toUnit(in[x]), &straight);
                            }
                            const PF_PixelFloat p = premultiplied(straight);
                            // The file's channel order: red, green, blue, alpha.
                            const float values[4] = {p.red, p.green, p.blue, p.alpha};
                            const size_t at = rowStart + 4 * size_t(x);
                            if (layout.half) {
                                for (int c = 0; c < 4; ++c) halves[at + size_t(c)] = half(values[c]);
                            } else {
                                for (int c = 0; c < 4; ++c) floats[at + size_t(c)] = values[c];
                            }
                        }
                        return 0;
                    });
                }
            });
            const Imath::Box2i rows(Imath::V2i(window.min.x, window.min.y + top),
                                    Imath::V2i(window.max.x, window.min.y + top + count - 1));
            Imf::FrameBuffer frame;
            const char* base = reinterpret_cast<const char*>(block.data());
            for (int c = 0; c < 4; ++c) {
                frame.insert(names[c], Imf::Slice::Make(type, base + size_t(c) * valueBytes, rows, 4 * valueBytes,
                                                        rowValues * valueBytes));
            }
            file.setFrameBuffer(frame);
            file.writePixels(count);
        }
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        if (stream.failure().empty()) imageFailure(path, error.what());
    }
    // The output's own message, already naming the file.
    if (!stream.failure().empty()) throw ImageError(stream.failure());
}

}  // namespace Sim
