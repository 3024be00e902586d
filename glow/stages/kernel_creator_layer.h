#pragma once

#include <vector>

#include "glow/stages/kernel_creator.h"

namespace Glow {

// A kernel sample table: size x size real values, row x starting at size x x.
struct KernelTable {
    std::vector<double> values;
    std::vector<double*> rows;
    void init(int size);
};

// The host's area sampling of the render's depth.
struct AreaSampling {
    PF_Err (*sample8)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, PF_Pixel*) = nullptr;
    PF_Err (*sample16)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, PF_Pixel16*) = nullptr;
    PF_Err (*sampleFloat)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, PF_PixelFloat*) = nullptr;

    // Takes the one suite the depth needs; a missing suite is returned as the handler raises it.
    PF_Err take(AEGP_SuiteHandler& suites, Morvel::Bpc bpc);
    PF_Err operator()(PF_ProgPtr effect, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, PF_Pixel* out) const {
        return sample8(effect, x, y, params, out);
    }
    PF_Err operator()(PF_ProgPtr effect, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, PF_Pixel16* out) const {
        return sample16(effect, x, y, params, out);
    }
    PF_Err operator()(PF_ProgPtr effect, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, PF_PixelFloat* out) const {
        return sampleFloat(effect, x, y, params, out);
    }
};

// Where the "Kernel Layer" lies under the kernel and its area sampling: the layer's centre on the
// kernel's centre, its larger side over 2 L kernel pixels, L = blur radius x "Kernel Scaling".
class LayerSampling {
public:
    explicit LayerSampling(const GlowParameters& params);

    double length() const { return L; }
    // Places the layer under a kernel of that size and takes the depth's area sampling here, on the
    // render's thread: a missing suite ends the render before any band runs.
    PF_Err place(AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int size);
    // Calls take(x, y, pixel) with the layer's area sample under every kernel sample of rows
    // [firstRow, endRow), row by row. The first failing sample ends the walk and is returned;
    // without a layer nothing is sampled.
    template <typename Pixel, typename Take>
    PF_Err sample(PF_ProgPtr effect, int firstRow, int endRow, Take take) const;

private:
    double L;
    PF_LayerDef* layer;
    int size = 0;
    double half = 0.0;
    double centreX = 0.0;
    double centreY = 0.0;
    double scale = 0.0;  // layer pixels per kernel pixel
    std::vector<double> u;
    AreaSampling areaSample;
};

// The glow's shape drawn by the user: the "Kernel Layer" area-sampled at every kernel sample and
// weighted as luminance times alpha. The only creator that may reach past the image, and the
// only one whose bands can fail.
class KernelCreatorNormalKernel : public KernelCreatorNormal {
public:
    KernelCreatorNormalKernel(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                              GlowParameters* params);
    BlurRadius getBlurRadius() override;
    void beforeBake() override;
    PF_Err initialize() override;
    PF_Err calculate(int band, int firstRow, int endRow) override;
    PF_Err bake(int firstRow, int endRow) override;

    template <typename Pixel>
    PF_Err calculateMain(int band, int firstRow, int endRow);

private:
    LayerSampling layer;
    std::vector<double> partial;
    double gain = 0.0;
    KernelTable table;
};

// Three tables, red, green and blue each times alpha, added with one gain so that the layer's
// colour balance survives.
class KernelCreatorChannelKernel : public KernelCreatorChannel {
public:
    KernelCreatorChannelKernel(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                               GlowParameters* params);
    BlurRadius getBlurRadius() override;
    void beforeBake() override;
    PF_Err initialize() override;
    PF_Err calculate(int band, int firstRow, int endRow) override;
    PF_Err bake(int firstRow, int endRow) override;

    template <typename Pixel>
    PF_Err calculateMain(int band, int firstRow, int endRow);

private:
    LayerSampling layer;
    std::vector<double> partialRed;
    std::vector<double> partialGreen;
    std::vector<double> partialBlue;
    double gain = 0.0;
    KernelTable redTable;
    KernelTable greenTable;
    KernelTable blueTable;
};

}  // namespace Glow
