#pragma once

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

}  // namespace Glow
