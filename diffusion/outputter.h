#pragma once

#include "Util/AEGP_SuiteHandler.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

namespace Diffusion {

// One tile's writing into the diffusion layer.
struct OutputterParameters {
    PF_LayerDef* diffusion = nullptr;  // D
    int tileX = 0;
    int tileY = 0;
    int size = 0;      // s
    int half = 0;      // s / 2
    double scale = 0;  // 1 / s²
    int radius = 0;    // r
    int width = 0;     // D's
    int height = 0;
    bool weighted = false;
    double weightFactor = 1.0;
    double** bufferA = nullptr;  // red + i green, transformed back
    double** bufferB = nullptr;  // blue + i alpha
};

// Writes the tile's inner part [r, s − r)² into D, where it lies inside D: colour divided by the
// diffused alpha (straight again), the weighting undone; where the alpha is at most 1e-6 the
// pixel is transparent black. Bands split the tile's columns.
class Outputter {
public:
    Outputter(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, OutputterParameters* params);
    PF_Err operator()(int i, int n);

private:
    template <typename Pixel>
    void output(int firstX, int endX);

    Morvel::Bpc bpc;
    OutputterParameters* params;
    double (*hostLog)(double);
};

}  // namespace Diffusion
