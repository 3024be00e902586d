#pragma once

#include <array>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/stages/render_settings.h"
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

// The host's ANSI maths of the kernels, each the C library's where the host leaves it out.
using UnaryMaths = double (*)(double);
using BinaryMaths = double (*)(double, double);
UnaryMaths hostSqrt(PF_InData* in_data);
UnaryMaths hostFabs(PF_InData* in_data);
BinaryMaths hostPow(PF_InData* in_data);

// The sum of a creator's per-band partial sums, added on the calling thread.
double sumOfPartials(const std::vector<double>& partial);

// What the one-kernel and the three-kernel creators share: one calculate pass over row bands,
// beforeBake on the calling thread, then one bake pass. Creators add into the kernels' real
// parts only.
class KernelCreatorBase {
public:
    // The thread count is the band count of the passes and sizes per-band sums; at least 1.
    KernelCreatorBase(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                      GlowParameters* params);
    KernelCreatorBase(const KernelCreatorBase&) = delete;
    KernelCreatorBase& operator=(const KernelCreatorBase&) = delete;
    virtual ~KernelCreatorBase() = default;

    virtual BlurRadius getBlurRadius();
    virtual void beforeBake();
    virtual PF_Err initialize();
    virtual PF_Err calculate(int band, int firstRow, int endRow);
    virtual PF_Err bake(int firstRow, int endRow);

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
};

// Generates part of the single glow kernel.
class KernelCreatorNormal : public KernelCreatorBase {
public:
    using KernelCreatorBase::KernelCreatorBase;

    // Stores the kernel (size rows of 2 x size doubles) and runs initialize.
    PF_Err init(int size, double** rows);

protected:
    // Adds value(x, y) to kernel sample (x, y) of rows [firstRow, endRow); returns what it added.
    template <typename Value>
    double addSamples(int firstRow, int endRow, Value value) {
        double sum = 0.0;
        for (int x = firstRow; x < endRow; ++x) {
            double* row = rows[x];
            for (int y = 0; y < size; ++y) {
                const double v = value(x, y);
                row[2 * y] += v;
                sum += v;
            }
        }
        return sum;
    }

    double** rows = nullptr;
};

// The three-kernel form: red, green and blue output kernels.
class KernelCreatorChannel : public KernelCreatorBase {
public:
    using KernelCreatorBase::KernelCreatorBase;

    PF_Err init(int size, double** red, double** green, double** blue);

protected:
    // For Color 1, 2 and 3 in turn, adds value(i, x, y) (i = 0, 1, 2) times the colour's red, green
    // and blue to the red, green and blue kernels over rows [firstRow, endRow); returns what each
    // kernel received.
    template <typename Value>
    std::array<double, 3> addColourSamples(int firstRow, int endRow, Value value) {
        const Morvel::Color<float>* colors[3] = {&params->color1, &params->color2, &params->color3};
        std::array<double, 3> sums{};
        for (int i = 0; i < 3; ++i) {
            const double redWeight = colors[i]->red;
            const double greenWeight = colors[i]->green;
            const double blueWeight = colors[i]->blue;
            for (int x = firstRow; x < endRow; ++x) {
                double* redRow = red[x];
                double* greenRow = green[x];
                double* blueRow = blue[x];
                for (int y = 0; y < size; ++y) {
                    const double v = value(i, x, y);
                    redRow[2 * y] += redWeight * v;
                    greenRow[2 * y] += greenWeight * v;
                    blueRow[2 * y] += blueWeight * v;
                    sums[0] += redWeight * v;
                    sums[1] += greenWeight * v;
                    sums[2] += blueWeight * v;
                }
            }
        }
        return sums;
    }

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
