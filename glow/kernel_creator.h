#pragma once

#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/glow_parameters.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

namespace Glow {

// Offsets of the n samples of a kernel side from its centre (n / 2) and their squares.
void calculateDeltas(int n, std::vector<double>& d, std::vector<double>& d2);

// Sum of the real parts of kernel rows [firstRow, endRow), and their division by a divisor.
double sumKernelRows(double* const* rows, int size, int firstRow, int endRow);
void divideKernelRows(double* const* rows, int size, int firstRow, int endRow, double divisor);

// How far a creator's kernel reaches, and whether it may reach past the image.
struct BlurRadius {
    double radius = 0.0;
    bool mayExceedImage = false;
};

// The phases a creator's band callback runs.
enum KernelPhase : int { kCalculate = 0, kBake = 1 };

// Generates part of the single glow kernel: one calculate pass over row bands, beforeBake on the
// calling thread, then one bake pass. Creators add into the kernel's real parts only.
class KernelCreatorNormal {
public:
    // The thread count is the band count of the passes and sizes per-band sums; at least 1.
    KernelCreatorNormal(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                        GlowParameters* params);
    KernelCreatorNormal(const KernelCreatorNormal&) = delete;
    KernelCreatorNormal& operator=(const KernelCreatorNormal&) = delete;
    virtual ~KernelCreatorNormal() = default;

    virtual BlurRadius getBlurRadius();
    virtual void beforeBake();
    virtual PF_Err initialize();
    virtual PF_Err calculate(int band, int firstRow, int endRow);
    virtual PF_Err bake(int firstRow, int endRow);

    // Stores the kernel (size rows of 2 x size doubles) and runs initialize.
    PF_Err init(int size, double** rows);
    // Band i of n: rows [size i / n, size (i + 1) / n), by the phase.
    PF_Err operator()(int i, int n);

    void setPhase(int value) { phase = value; }
    int threads() const { return threadCount; }

protected:
    PF_InData* in_data;
    AEGP_SuiteHandler& suites;
    Morvel::Bpc bpc;
    int threadCount;
    int phase = kCalculate;
    GlowParameters* params;  // read only
    int size = 0;
    double** rows = nullptr;
};

// The three-kernel form: red, green and blue output kernels.
class KernelCreatorChannel {
public:
    KernelCreatorChannel(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                         GlowParameters* params);
    KernelCreatorChannel(const KernelCreatorChannel&) = delete;
    KernelCreatorChannel& operator=(const KernelCreatorChannel&) = delete;
    virtual ~KernelCreatorChannel() = default;

    virtual BlurRadius getBlurRadius();
    virtual void beforeBake();
    virtual PF_Err initialize();
    virtual PF_Err calculate(int band, int firstRow, int endRow);
    virtual PF_Err bake(int firstRow, int endRow);

    PF_Err init(int size, double** red, double** green, double** blue);
    PF_Err operator()(int i, int n);

    void setPhase(int value) { phase = value; }
    int threads() const { return threadCount; }

protected:
    PF_InData* in_data;
    AEGP_SuiteHandler& suites;
    Morvel::Bpc bpc;
    int threadCount;
    int phase = kCalculate;
    GlowParameters* params;
    int size = 0;
    double** red = nullptr;
    double** green = nullptr;
    double** blue = nullptr;
};

// Adds the kernel up by bands and divides it by its total, unless the total is at most 1e-10.
class KernelCreatorNormalDivisor : public KernelCreatorNormal {
public:
    KernelCreatorNormalDivisor(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                               GlowParameters* params);
    void beforeBake() override;
    PF_Err calculate(int band, int firstRow, int endRow) override;
    PF_Err bake(int firstRow, int endRow) override;
    // The kernel's energy before the division.
    double total() const { return total_; }

private:
    std::vector<double> partial;
    double total_ = 0.0;
};

// Divides each of the three kernels by max(its total, 1e-10).
class KernelCreatorChannelDivisor : public KernelCreatorChannel {
public:
    KernelCreatorChannelDivisor(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                                GlowParameters* params);
    void beforeBake() override;
    PF_Err calculate(int band, int firstRow, int endRow) override;
    PF_Err bake(int firstRow, int endRow) override;
    double totalRed() const { return totalRed_; }
    double totalGreen() const { return totalGreen_; }
    double totalBlue() const { return totalBlue_; }

private:
    std::vector<double> partialRed;
    std::vector<double> partialGreen;
    std::vector<double> partialBlue;
    double totalRed_ = 0.0;
    double totalGreen_ = 0.0;
    double totalBlue_ = 0.0;
};

}  // namespace Glow
