#pragma once

#include <functional>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/glow_color.h"
#include "library/sampling/wrap.h"
#include "morvel_host/host.h"

namespace Glow {

// One tile's loading: the tile origin changes per tile, the rest stays.
struct KernelSetterNormalParameters {
    int tileX = 0;
    int tileY = 0;
    int width = 0;
    int height = 0;
    int size = 0;
    std::vector<Color>* source = nullptr;  // width x height, row-major, premultiplied
    Morvel::Wrap wrap = Morvel::Wrap::None;
    double** bufferA = nullptr;  // red + i green
    double** bufferB = nullptr;  // blue + i alpha
};

struct KernelSetterChannelParameters {
    int tileX = 0;
    int tileY = 0;
    int width = 0;
    int height = 0;
    int size = 0;
    std::vector<ChannelColor>* source = nullptr;
    Morvel::Wrap wrap = Morvel::Wrap::None;
    double** red = nullptr;  // red + i red alpha, and likewise
    double** green = nullptr;
    double** blue = nullptr;
};

// Loads the tile at the record's origin into the buffers, the image extended by the wrap rule and
// transparent black beyond it: buffer row x is image column tileX + x, buffer column y image row
// tileY + y. Every value is written, so the buffers need no clearing between tiles. Bands split
// the columns.
class KernelSetterNormal {
public:
    KernelSetterNormal(PF_InData* in_data, AEGP_SuiteHandler& suites, KernelSetterNormalParameters* params);
    PF_Err operator()(int i, int n);

private:
    [[maybe_unused]] PF_InData* in_data;
    [[maybe_unused]] AEGP_SuiteHandler& suites;
    KernelSetterNormalParameters* params;
    std::function<int(int)> wrapX;
    std::function<int(int)> wrapY;
    std::vector<int> imageRows;  // of each buffer column for the tile at hand, -1 outside; bands fill their own
};

class KernelSetterChannel {
public:
    KernelSetterChannel(PF_InData* in_data, AEGP_SuiteHandler& suites, KernelSetterChannelParameters* params);
    PF_Err operator()(int i, int n);

private:
    [[maybe_unused]] PF_InData* in_data;
    [[maybe_unused]] AEGP_SuiteHandler& suites;
    KernelSetterChannelParameters* params;
    std::function<int(int)> wrapX;
    std::function<int(int)> wrapY;
    std::vector<int> imageRows;
};

}  // namespace Glow
