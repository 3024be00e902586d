#pragma once

#include <cstddef>
#include <vector>

namespace Glow {

// One pixel of the thresholded glow source, handed to the convolution: native units of the
// depth, colours premultiplied by the alpha. Alpha comes last, unlike Morvel::Color, because the
// convolution pairs red with green and blue with alpha in its complex buffers.
struct Color {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 0.0;
};

// The three-channel form: each colour carries its own alpha so that each can be spread by a
// kernel of its own.
struct ChannelColor {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double redAlpha = 0.0;
    double greenAlpha = 0.0;
    double blueAlpha = 0.0;
};

// The records of one glow source as the stages that write or read them see them, whoever owns
// them and however they were allocated (the threshold's vector of unwritten records, a plain
// vector). Made from a pointer to the vector; from a null pointer, no records at all.
template <typename Record>
class Records {
public:
    Records() = default;
    Records(std::nullptr_t) {}
    template <class Allocator>
    Records(std::vector<Record, Allocator>* records)
        : data_(records != nullptr ? records->data() : nullptr),
          size_(records != nullptr ? records->size() : 0),
          given_(records != nullptr) {}

    Record* data() const { return data_; }
    std::size_t size() const { return size_; }
    explicit operator bool() const { return given_; }

private:
    Record* data_ = nullptr;
    std::size_t size_ = 0;
    bool given_ = false;
};

}  // namespace Glow
