#include "library/fft/fft2d.h"

#include <algorithm>
#include <cstddef>

namespace Morvel::FFT {

namespace {

// Groups of four columns a column band gathers per visit of a row (see gatherColumnGroups).
constexpr int kColumnGroups = 4;

// Each band's own part of the work area: room for kColumnGroups gathered groups.
double* bandWork(AlignedDoubles& work, int n, int i) {
    return work.data() + kColumnGroups * sliceDoubles(n) * i;
}

// Band i of T transforms the rows i, i + T, i + 2T, ..., four at a time.
class XDFTExecutor {
public:
    XDFTExecutor(int sign, double** rows, int n, int threads, AlignedDoubles& work, const std::vector<int>& ip,
                 const AlignedDoubles& w)
        : sign_(sign), rows_(rows), n_(n), threads_(threads), work_(work), ip_(ip), w_(w) {}

    PF_Err operator()(int i) const {
        const LaneKernels& kernels = laneKernels();
        double* work = bandWork(work_, n_, i);
        const std::ptrdiff_t threads = threads_;
        for (std::ptrdiff_t first = i; first < n_; first += kLanes * threads) {
            double* lanes[kLanes];
            for (int lane = 0; lane < kLanes; ++lane) {
                const std::ptrdiff_t row = first + lane * threads;
                lanes[lane] = row < n_ ? rows_[row] : nullptr;
            }
            if (n_ >= kFusedMinimum && lanes[kLanes - 1] != nullptr) {
                kernels.gatherRowsFirst(work, lanes, n_, sign_, ip_.data());
                kernels.transformMiddle(work, n_, sign_, w_.data());
                kernels.scatterRowsLast(work, lanes, n_, sign_, lastStepTwiddles(w_, n_));
                continue;
            }
            kernels.gatherRows(work, lanes, n_, ip_.data());
            kernels.transform(work, n_, sign_, w_.data());
            kernels.scatterRows(work, lanes, n_);
        }
        return PF_Err_NONE;
    }

private:
    int sign_;
    double** rows_;
    int n_;
    int threads_;
    AlignedDoubles& work_;
    const std::vector<int>& ip_;
    const AlignedDoubles& w_;
};

// Band i of T transforms whole columns. With N2 = 2n doubles per row: above 4T, groups of four
// columns at double offsets 8i, 8i + 8T, ..., up to kColumnGroups of them per visit of the rows;
// at 4T, the two columns at offset 4i; below 4T, the single column i for the first n bands.
class CDFTExecutor {
public:
    CDFTExecutor(int sign, double** rows, int n, int threads, AlignedDoubles& work, const std::vector<int>& ip,
                 const AlignedDoubles& w)
        : sign_(sign), rows_(rows), n_(n), threads_(threads), work_(work), ip_(ip), w_(w) {}

    PF_Err operator()(int i) const {
        const std::ptrdiff_t doublesPerRow = 2 * static_cast<std::ptrdiff_t>(n_);
        const std::ptrdiff_t threads = threads_;
        if (doublesPerRow > 4 * threads) {
            const std::ptrdiff_t step = 8 * threads;
            const int perVisit = kColumnGroups;
            for (std::ptrdiff_t offset = 8 * static_cast<std::ptrdiff_t>(i); offset < doublesPerRow;
                 offset += perVisit * step) {
                const std::ptrdiff_t left = (doublesPerRow - offset + step - 1) / step;
                groups(i, offset, step, static_cast<int>(std::min<std::ptrdiff_t>(left, perVisit)));
            }
        } else if (doublesPerRow == 4 * threads) {
            columns(i, 4 * static_cast<std::ptrdiff_t>(i), 2);
        } else if (i < n_) {
            columns(i, 2 * static_cast<std::ptrdiff_t>(i), 1);
        }
        return PF_Err_NONE;
    }

private:
    void groups(int i, std::ptrdiff_t offset, std::ptrdiff_t step, int count) const {
        const LaneKernels& kernels = laneKernels();
        double* work = bandWork(work_, n_, i);
        if (n_ >= kFusedMinimum) {
            kernels.gatherColumnGroupsFirst(work, rows_, offset, step, count, n_, sign_, ip_.data());
            for (int g = 0; g < count; ++g) kernels.transformMiddle(work + sliceDoubles(n_) * g, n_, sign_, w_.data());
            kernels.scatterColumnGroupsLast(work, rows_, offset, step, count, n_, sign_, lastStepTwiddles(w_, n_));
            return;
        }
        kernels.gatherColumnGroups(work, rows_, offset, step, count, n_, ip_.data());
        for (int g = 0; g < count; ++g) {
            kernels.transform(work + sliceDoubles(n_) * g, n_, sign_, w_.data());
        }
        kernels.scatterColumnGroups(work, rows_, offset, step, count, n_);
    }

    void columns(int i, std::ptrdiff_t offset, int count) const {
        const LaneKernels& kernels = laneKernels();
        double* work = bandWork(work_, n_, i);
        kernels.gatherColumns(work, rows_, offset, count, n_, ip_.data());
        kernels.transform(work, n_, sign_, w_.data());
        kernels.scatterColumns(work, rows_, offset, count, n_);
    }

    int sign_;
    double** rows_;
    int n_;
    int threads_;
    AlignedDoubles& work_;
    const std::vector<int>& ip_;
    const AlignedDoubles& w_;
};

struct Band {
    const void* executor;
    int threads;
};

template <class Executor>
PF_Err runBand(void* refcon, int32_t /*thread_index*/, int32_t i, int32_t /*iterations*/) {
    const Band& band = *static_cast<const Band*>(refcon);
    // Each band owns one work slice; an index outside the bands would write past them.
    if (i < 0 || i >= band.threads) return PF_Err_BAD_CALLBACK_PARAM;
    return (*static_cast<const Executor*>(band.executor))(i);
}

template <class Executor>
PF_Err runPass(AEGP_SuiteHandler& suites, int threads, const Executor& executor) {
    if (threads == 1) return executor(0);
    const PF_Iterate8Suite1* iterate = suites.Iterate8Suite1();
    Band band{&executor, threads};
    return iterate->iterate_generic(threads, &band, &runBand<Executor>);
}

int largestPowerOfTwoNotAbove(int value) {
    int power = 1;
    while (power <= value / 2) power *= 2;
    return power;
}

}  // namespace

FFT2D::FFT2D(PF_InData* /*in_data*/, AEGP_SuiteHandler& suites, int threads, int n)
    : suites_(&suites), threads_(threads < 2 ? 1 : largestPowerOfTwoNotAbove(threads)) {
    init(n);
}

void FFT2D::init(int n) {
    if (n < 1) return;
    // Unusable until every table matches the new size. A size that is not a power of two is
    // refused: the row and column split would read past the rows.
    initialised_ = false;
    n_ = 0;
    if ((n & (n - 1)) != 0) return;
    work_.assign(static_cast<std::size_t>(kColumnGroups * sliceDoubles(n)) * static_cast<std::size_t>(threads_), 0.0);
    makeTables(n, ip_, w_);
    n_ = n;
    initialised_ = true;
}

PF_Err FFT2D::fft(int sign, double** rows) {
    if (!initialised_) return PF_Err_NONE;
    const int direction = sign >= 0 ? 1 : -1;
    const XDFTExecutor rowPass(direction, rows, n_, threads_, work_, ip_, w_);
    if (const PF_Err err = runPass(*suites_, threads_, rowPass)) return err;
    const CDFTExecutor columnPass(direction, rows, n_, threads_, work_, ip_, w_);
    return runPass(*suites_, threads_, columnPass);
}

}  // namespace Morvel::FFT
