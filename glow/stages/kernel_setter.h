#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/stages/glow_color.h"
#include "library/sampling/wrap.h"
#include "morvel_host/host.h"

namespace Glow {

// One tile's loading: the tile origin changes per tile, the rest stays. Pixel is the thresholded
// image's record.
template <typename Pixel>
struct KernelSetterSource {
    int tileX = 0;
    int tileY = 0;
    int width = 0;
    int height = 0;
    int size = 0;
    Records<Pixel> source;  // width x height, row-major, premultiplied
    Morvel::Wrap wrap = Morvel::Wrap::None;
};

struct KernelSetterNormalParameters : KernelSetterSource<Color> {
    double** bufferA = nullptr;  // red + i green
    double** bufferB = nullptr;  // blue + i alpha
};

struct KernelSetterChannelParameters : KernelSetterSource<ChannelColor> {
    double** red = nullptr;  // red + i red alpha, and likewise
    double** green = nullptr;
    double** blue = nullptr;
};

// Loads the tile at the record's origin into complex buffers, the image extended by the wrap rule
// and transparent black beyond it: buffer row x is image column tileX + x, buffer column y image
// row tileY + y. Every value is written, so the buffers need no clearing between tiles. Bands
// split the columns. What the one-colour and three-channel setters share.
class KernelSetterBase {
protected:
    KernelSetterBase(PF_InData* in_data, AEGP_SuiteHandler& suites, int width, int height, Morvel::Wrap wrap, int size);

    // Band i of n into the planes; values(pixel) gives the real and imaginary part of each plane
    // in turn.
    template <typename Pixel, std::size_t Planes, typename Values>
    void load(const KernelSetterSource<Pixel>& tile, int i, int n, double* const* const (&planes)[Planes],
              Values values);

    [[maybe_unused]] PF_InData* in_data;
    [[maybe_unused]] AEGP_SuiteHandler& suites;
    std::function<int(int)> wrapX;
    std::function<int(int)> wrapY;
    std::vector<int> imageRows;  // of each buffer column for the tile at hand, -1 outside; bands fill their own
};

class KernelSetterNormal : public KernelSetterBase {
public:
    KernelSetterNormal(PF_InData* in_data, AEGP_SuiteHandler& suites, KernelSetterNormalParameters* params);
    PF_Err operator()(int i, int n);

private:
    KernelSetterNormalParameters* params;
};

class KernelSetterChannel : public KernelSetterBase {
public:
    KernelSetterChannel(PF_InData* in_data, AEGP_SuiteHandler& suites, KernelSetterChannelParameters* params);
    PF_Err operator()(int i, int n);

private:
    KernelSetterChannelParameters* params;
};

}  // namespace Glow
