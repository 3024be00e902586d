#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fft_reference.h"
#include "library/fft/lanes.h"

namespace {

using namespace Morvel::FFT;

struct KernelCase {
    std::string name;
    const LaneKernels* kernels;
};

std::vector<KernelCase> kernelCases() {
    std::vector<KernelCase> cases{{"generic", &genericKernels()}};
    if (avx2Kernels() != nullptr) cases.push_back({"avx2", avx2Kernels()});
    return cases;
}

// Every size from 1 to 4096: both parities of log2 n (radix-2 step first or not) and every
// number of radix-4 steps.
TEST(FFTLanesTest, RowsMatchDirectTransformAtEverySize) {
    for (int n = 1; n <= 4096; n *= 2) {
        std::vector<int> ip;
        AlignedDoubles w;
        makeTables(n, ip, w);
        AlignedDoubles work(static_cast<size_t>(kPointDoubles) * n);
        std::vector<std::vector<double>> input;
        for (int lane = 0; lane < kLanes; ++lane) {
            input.push_back(FFTReference::randomValues(2 * static_cast<size_t>(n), 100 * n + lane));
        }
        // The direct transform is slow at the largest sizes; lanes are checked against each
        // other elsewhere.
        const std::vector<int> checked = n <= 256 ? std::vector<int>{0, 1, 2, 3} : std::vector<int>{0, 3};
        for (int sign : {1, -1}) {
            std::vector<std::vector<FFTReference::Complex>> expected(kLanes);
            for (int lane : checked) expected[lane] = FFTReference::dft(input[lane].data(), n, sign);
            for (const KernelCase& kernel : kernelCases()) {
                std::vector<std::vector<double>> rows = input;
                double* lanes[kLanes];
                for (int lane = 0; lane < kLanes; ++lane) lanes[lane] = rows[lane].data();

                kernel.kernels->gatherRows(work.data(), lanes, n, ip.data());
                kernel.kernels->transform(work.data(), n, sign, w.data());
                kernel.kernels->scatterRows(work.data(), lanes, n);

                for (int lane : checked) {
                    EXPECT_LT(FFTReference::relativeError(rows[lane].data(), expected[lane]), 1e-14)
                        << kernel.name << " n=" << n << " sign=" << sign << " lane=" << lane;
                }
            }
        }
    }
}

// A sequence's result must not depend on its lane or its neighbours: the 2-D transform relies on
// this for identical results at every thread count.
TEST(FFTLanesTest, LaneAndNeighboursDoNotChangeTheResult) {
    const int n = 64;
    std::vector<int> ip;
    AlignedDoubles w;
    makeTables(n, ip, w);
    AlignedDoubles work(static_cast<size_t>(kPointDoubles) * n);
    const auto data = FFTReference::randomValues(2 * n, 7);
    const auto other = FFTReference::randomValues(2 * n, 8);
    for (const KernelCase& kernel : kernelCases()) {
        std::vector<double> alone = data;
        double* single[kLanes] = {alone.data(), nullptr, nullptr, nullptr};
        kernel.kernels->gatherRows(work.data(), single, n, ip.data());
        kernel.kernels->transform(work.data(), n, 1, w.data());
        kernel.kernels->scatterRows(work.data(), single, n);

        for (int lane = 0; lane < kLanes; ++lane) {
            std::vector<std::vector<double>> rows(kLanes, other);
            rows[lane] = data;
            double* lanes[kLanes];
            for (int l = 0; l < kLanes; ++l) lanes[l] = rows[l].data();
            kernel.kernels->gatherRows(work.data(), lanes, n, ip.data());
            kernel.kernels->transform(work.data(), n, 1, w.data());
            kernel.kernels->scatterRows(work.data(), lanes, n);
            EXPECT_EQ(rows[lane], alone) << kernel.name << " lane " << lane;
        }
    }
}

TEST(FFTLanesTest, KernelsAgreeBitwise) {
    if (avx2Kernels() == nullptr) GTEST_SKIP() << "no AVX2 on this processor";
    const int n = 512;
    std::vector<int> ip;
    AlignedDoubles w;
    makeTables(n, ip, w);
    AlignedDoubles work(static_cast<size_t>(kPointDoubles) * n);
    std::vector<double> a = FFTReference::randomValues(2 * n, 3);
    std::vector<double> b = a;
    double* lanesA[kLanes] = {a.data(), nullptr, nullptr, nullptr};
    double* lanesB[kLanes] = {b.data(), nullptr, nullptr, nullptr};
    for (const auto& [kernels, lanes] : {std::pair{&genericKernels(), lanesA}, std::pair{avx2Kernels(), lanesB}}) {
        kernels->gatherRows(work.data(), lanes, n, ip.data());
        kernels->transform(work.data(), n, -1, w.data());
        kernels->scatterRows(work.data(), lanes, n);
    }
    EXPECT_EQ(a, b);
}

}  // namespace
