#pragma once

#include "Util/AEGP_SuiteHandler.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

namespace Glow {

// One tile's writing: the tile origin changes per tile, the rest stays. Levels are fractions.
struct KernelOutputterParameters {
    int tileX = 0;
    int tileY = 0;
    int size = 0;
    int radius = 0;
    double exposure = 0.0;
    bool unmult = false;
    double black = 0.0;
    double white = 1.0;
    double gamma = 1.0;
    double alphaBlack = 0.0;
    double alphaWhite = 1.0;
};

struct KernelOutputterNormalParameters : KernelOutputterParameters {
    double kernelTotal = 0.0;  // the kernel's energy before normalising
    double** bufferA = nullptr;
    double** bufferB = nullptr;
};

struct KernelOutputterChannelParameters : KernelOutputterParameters {
    double totalRed = 0.0;
    double totalGreen = 0.0;
    double totalBlue = 0.0;
    double** red = nullptr;
    double** green = nullptr;
    double** blue = nullptr;
};

// What follows un-premultiplying a glow pixel, the same for one colour and three: overflow of
// bright colour into alpha, alpha and colour levels, "Glow Unmult", and the store.
struct GlowFinish {
    GlowFinish(PF_InData* in_data, double black, double white, double gamma, double alphaBlack, double alphaWhite,
               bool unmult);

    template <typename Pixel>
    void finish(double red, double green, double blue, double alpha, Pixel& out) const;

    bool doColor;
    double colorSlope = 1.0;
    double colorOffset = 0.0;
    double inverseGamma = 1.0;
    bool doAlpha;
    double alphaSlope = 1.0;
    double alphaOffset = 0.0;
    bool unmult;
    double (*pow)(double, double);
};

// Writes the inner part of the convolved tile into the glow world as straight colour: the buffers
// divided back by the convolved alpha, times exposure and kernel energy. Bands split the rows.
// What the one-colour and three-channel outputters share; each writes a band of rows at a depth
// with its own output<Pixel>(firstRow, endRow).
template <typename Outputter>
class KernelOutputterBase {
public:
    PF_Err operator()(int i, int n);

protected:
    KernelOutputterBase(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* glowWorld,
                        const KernelOutputterParameters& params);

    // Calls write(buffer row, index of the value's real part in it, pixel) for every pixel of the
    // glow world that the tile's rows [firstRow, endRow) and inner columns cover.
    template <typename Pixel, typename Write>
    void forEachWrittenPixel(int firstRow, int endRow, Write write) const;

    [[maybe_unused]] PF_InData* in_data;
    [[maybe_unused]] AEGP_SuiteHandler& suites;
    Morvel::Bpc bpc;
    PF_LayerDef* glowWorld;
    const KernelOutputterParameters& tile;
    int size;
    int half;
    double scale;  // the backward transform is not scaled
    int radius;
    double e;  // the exposure factor
    int width;
    int height;
    GlowFinish levels;
};

class KernelOutputterNormal : public KernelOutputterBase<KernelOutputterNormal> {
public:
    KernelOutputterNormal(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* glowWorld,
                          KernelOutputterNormalParameters* params);

private:
    friend class KernelOutputterBase<KernelOutputterNormal>;
    template <typename Pixel>
    void output(int firstRow, int endRow);

    KernelOutputterNormalParameters* params;
    double factor;
};

class KernelOutputterChannel : public KernelOutputterBase<KernelOutputterChannel> {
public:
    KernelOutputterChannel(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* glowWorld,
                           KernelOutputterChannelParameters* params);

private:
    friend class KernelOutputterBase<KernelOutputterChannel>;
    template <typename Pixel>
    void output(int firstRow, int endRow);

    KernelOutputterChannelParameters* params;
    double factorRed;  // exposure times each kernel's energy
    double factorGreen;
    double factorBlue;
};

extern template class KernelOutputterBase<KernelOutputterNormal>;
extern template class KernelOutputterBase<KernelOutputterChannel>;

}  // namespace Glow
