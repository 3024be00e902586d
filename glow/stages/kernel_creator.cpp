#include "glow/stages/kernel_creator.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numeric>

#include "glow/stages/band_range.h"
#include "library/utility/ansi.h"

namespace Glow {

void calculateDeltas(int n, std::vector<double>& d, std::vector<double>& d2) {
    const std::size_t count = static_cast<std::size_t>(std::max(n, 0));
    d.resize(count);
    d2.resize(count);
    const double centre = n * 0.5;
    for (std::size_t i = 0; i < count; ++i) {
        d[i] = static_cast<double>(i) - centre;
        d2[i] = d[i] * d[i];
    }
}

UnaryMaths hostSqrt(PF_InData* in_data) {
    return Morvel::ansiCallback<UnaryMaths>(in_data, &PF_ANSICallbacks::sqrt, [](double x) { return std::sqrt(x); });
}

UnaryMaths hostFabs(PF_InData* in_data) {
    return Morvel::ansiCallback<UnaryMaths>(in_data, &PF_ANSICallbacks::fabs, [](double x) { return std::fabs(x); });
}

BinaryMaths hostPow(PF_InData* in_data) {
    return Morvel::ansiCallback<BinaryMaths>(in_data, &PF_ANSICallbacks::pow,
                                             [](double x, double y) { return std::pow(x, y); });
}

double sumOfPartials(const std::vector<double>& partial) {
    return std::accumulate(partial.begin(), partial.end(), 0.0);
}

KernelCreatorBase::KernelCreatorBase(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                                     GlowParameters* params)
    : in_data(in_data), suites(suites), bpc(bpc), threadCount(std::max(threadCount, 1)), params(params) {
    assert(threadCount >= 1);
}

BlurRadius KernelCreatorBase::getBlurRadius() { return {}; }
void KernelCreatorBase::beforeBake() {}
PF_Err KernelCreatorBase::initialize() { return PF_Err_NONE; }
PF_Err KernelCreatorBase::calculate(int, int, int) { return PF_Err_NONE; }
PF_Err KernelCreatorBase::bake(int, int) { return PF_Err_NONE; }

PF_Err KernelCreatorBase::operator()(int i, int n) {
    // A band the creator was not sized for would have no place for its partial sum.
    if (n < 1 || i < 0 || i >= n || i >= threadCount) return PF_Err_BAD_CALLBACK_PARAM;
    const BandRange band = bandRange(size, i, n);
    if (phase == kCalculate) return calculate(i, band.first, band.end);
    if (phase == kBake) return bake(band.first, band.end);
    return PF_Err_NONE;
}

PF_Err KernelCreatorNormal::init(int kernelSize, double** kernelRows) {
    size = kernelSize;
    rows = kernelRows;
    return initialize();
}

PF_Err KernelCreatorChannel::init(int kernelSize, double** redRows, double** greenRows, double** blueRows) {
    size = kernelSize;
    red = redRows;
    green = greenRows;
    blue = blueRows;
    return initialize();
}

// ---- divisors

double sumKernelRows(double* const* rows, int size, int firstRow, int endRow) {
    double sum = 0.0;
    for (int x = firstRow; x < endRow; ++x) {
        const double* row = rows[x];
        for (int y = 0; y < size; ++y) sum += row[2 * y];
    }
    return sum;
}

void divideKernelRows(double* const* rows, int size, int firstRow, int endRow, double divisor) {
    for (int x = firstRow; x < endRow; ++x) {
        double* row = rows[x];
        for (int y = 0; y < size; ++y) row[2 * y] /= divisor;
    }
}

KernelCreatorNormalDivisor::KernelCreatorNormalDivisor(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                                       int threadCount, GlowParameters* params)
    : KernelCreatorNormal(in_data, suites, bpc, threadCount, params), partial(this->threadCount, 0.0) {}

PF_Err KernelCreatorNormalDivisor::calculate(int band, int firstRow, int endRow) {
    partial[band] += sumKernelRows(rows, size, firstRow, endRow);
    return PF_Err_NONE;
}

void KernelCreatorNormalDivisor::beforeBake() { total_ = sumOfPartials(partial); }

PF_Err KernelCreatorNormalDivisor::bake(int firstRow, int endRow) {
    if (total_ > 1e-10) divideKernelRows(rows, size, firstRow, endRow, total_);
    return PF_Err_NONE;
}

KernelCreatorChannelDivisor::KernelCreatorChannelDivisor(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                                         int threadCount, GlowParameters* params)
    : KernelCreatorChannel(in_data, suites, bpc, threadCount, params),
      partialRed(this->threadCount, 0.0),
      partialGreen(this->threadCount, 0.0),
      partialBlue(this->threadCount, 0.0) {}

PF_Err KernelCreatorChannelDivisor::calculate(int band, int firstRow, int endRow) {
    partialRed[band] += sumKernelRows(red, size, firstRow, endRow);
    partialGreen[band] += sumKernelRows(green, size, firstRow, endRow);
    partialBlue[band] += sumKernelRows(blue, size, firstRow, endRow);
    return PF_Err_NONE;
}

void KernelCreatorChannelDivisor::beforeBake() {
    totalRed_ = sumOfPartials(partialRed);
    totalGreen_ = sumOfPartials(partialGreen);
    totalBlue_ = sumOfPartials(partialBlue);
}

PF_Err KernelCreatorChannelDivisor::bake(int firstRow, int endRow) {
    divideKernelRows(red, size, firstRow, endRow, std::max(totalRed_, 1e-10));
    divideKernelRows(green, size, firstRow, endRow, std::max(totalGreen_, 1e-10));
    divideKernelRows(blue, size, firstRow, endRow, std::max(totalBlue_, 1e-10));
    return PF_Err_NONE;
}

}  // namespace Glow
