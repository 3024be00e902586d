#include "library/fft/fft2d.h"

#include <algorithm>
#include <cstddef>

namespace Morvel::FFT {

namespace {

// Groups of four columns a column band gathers per visit of a row (see gatherColumnGroups).
constexpr int kColumnGroups = 4;

// Doubles of one band's work room: kColumnGroups gathered groups.
std::size_t bandDoubles(int n) { return static_cast<std::size_t>(kColumnGroups * sliceDoubles(n)); }

// Callers' bands up to this number keep their work room between calls; a band beyond it (a host
// with more processors) makes its room for each call.
constexpr int kKeptBands = 64;

// What every transform of one size reads.
struct Tables {
    int n;
    const std::vector<int>& ip;
    const AlignedDoubles& w;
};

// The rows first, first + stride, ... below end, four at a time.
void transformRows(const Tables& t, int sign, double** rows, std::ptrdiff_t first, std::ptrdiff_t end,
                   std::ptrdiff_t stride, double* work) {
    const LaneKernels& kernels = laneKernels();
    for (; first < end; first += kLanes * stride) {
        double* lanes[kLanes];
        for (int lane = 0; lane < kLanes; ++lane) {
            const std::ptrdiff_t row = first + lane * stride;
            lanes[lane] = row < end ? rows[row] : nullptr;
        }
        if (t.n >= kFusedMinimum && lanes[kLanes - 1] != nullptr) {
            kernels.gatherRowsFirst(work, lanes, t.n, sign, t.ip.data());
            kernels.transformMiddle(work, t.n, sign, t.w.data());
            kernels.scatterRowsLast(work, lanes, t.n, sign, lastStepTwiddles(t.w, t.n));
            continue;
        }
        kernels.gatherRows(work, lanes, t.n, t.ip.data());
        kernels.transform(work, t.n, sign, t.w.data());
        kernels.scatterRows(work, lanes, t.n);
    }
}

// `count` groups of four complex columns at double offsets offset, offset + step, ... (at most
// kColumnGroups), through consecutive work slices.
void transformColumnGroups(const Tables& t, int sign, double** rows, std::ptrdiff_t offset, std::ptrdiff_t step,
                           int count, double* work) {
    const LaneKernels& kernels = laneKernels();
    if (t.n >= kFusedMinimum) {
        kernels.gatherColumnGroupsFirst(work, rows, offset, step, count, t.n, sign, t.ip.data());
        for (int g = 0; g < count; ++g) kernels.transformMiddle(work + sliceDoubles(t.n) * g, t.n, sign, t.w.data());
        kernels.scatterColumnGroupsLast(work, rows, offset, step, count, t.n, sign, lastStepTwiddles(t.w, t.n));
        return;
    }
    kernels.gatherColumnGroups(work, rows, offset, step, count, t.n, t.ip.data());
    for (int g = 0; g < count; ++g) kernels.transform(work + sliceDoubles(t.n) * g, t.n, sign, t.w.data());
    kernels.scatterColumnGroups(work, rows, offset, step, count, t.n);
}

// Fewer than four complex columns side by side at double offset `offset`.
void transformColumns(const Tables& t, int sign, double** rows, std::ptrdiff_t offset, int count, double* work) {
    const LaneKernels& kernels = laneKernels();
    kernels.gatherColumns(work, rows, offset, count, t.n, t.ip.data());
    kernels.transform(work, t.n, sign, t.w.data());
    kernels.scatterColumns(work, rows, offset, count, t.n);
}

// The complex columns [first, end) side by side: whole groups of four, up to kColumnGroups of
// them per visit of the rows, then what is left.
void transformColumnRun(const Tables& t, int sign, double** rows, std::ptrdiff_t first, std::ptrdiff_t end,
                        double* work) {
    constexpr std::ptrdiff_t kGroupDoubles = 2 * kLanes;
    for (std::ptrdiff_t groups = (end - first) / kLanes; groups > 0;) {
        const int count = static_cast<int>(std::min<std::ptrdiff_t>(groups, kColumnGroups));
        transformColumnGroups(t, sign, rows, 2 * first, kGroupDoubles, count, work);
        first += kLanes * count;
        groups -= count;
    }
    if (first < end) transformColumns(t, sign, rows, 2 * first, static_cast<int>(end - first), work);
}

// Band i of T transforms the rows i, i + T, i + 2T, ... of every image, four at a time.
class XDFTExecutor {
public:
    XDFTExecutor(int sign, double** const* images, int count, const Tables& tables, int threads, AlignedDoubles& work)
        : sign_(sign), images_(images), count_(count), tables_(tables), threads_(threads), work_(work) {}

    PF_Err operator()(int i) const {
        double* work = work_.data() + bandDoubles(tables_.n) * static_cast<std::size_t>(i);
        for (int image = 0; image < count_; ++image) {
            transformRows(tables_, sign_, images_[image], i, tables_.n, threads_, work);
        }
        return PF_Err_NONE;
    }

private:
    int sign_;
    double** const* images_;
    int count_;
    const Tables& tables_;
    int threads_;
    AlignedDoubles& work_;
};

// Band i of T transforms whole columns of every image. With N2 = 2n doubles per row: above 4T,
// groups of four columns at double offsets 8i, 8i + 8T, ..., up to kColumnGroups of them per visit
// of the rows; at 4T, the two columns at offset 4i; below 4T, the single column i for the first n
// bands.
class CDFTExecutor {
public:
    CDFTExecutor(int sign, double** const* images, int count, const Tables& tables, int threads, AlignedDoubles& work)
        : sign_(sign), images_(images), count_(count), tables_(tables), threads_(threads), work_(work) {}

    PF_Err operator()(int i) const {
        double* work = work_.data() + bandDoubles(tables_.n) * static_cast<std::size_t>(i);
        for (int image = 0; image < count_; ++image) band(images_[image], i, work);
        return PF_Err_NONE;
    }

private:
    void band(double** rows, int i, double* work) const {
        const std::ptrdiff_t doublesPerRow = 2 * static_cast<std::ptrdiff_t>(tables_.n);
        const std::ptrdiff_t threads = threads_;
        if (doublesPerRow > 4 * threads) {
            const std::ptrdiff_t step = 8 * threads;
            for (std::ptrdiff_t offset = 8 * static_cast<std::ptrdiff_t>(i); offset < doublesPerRow;
                 offset += kColumnGroups * step) {
                const std::ptrdiff_t left = (doublesPerRow - offset + step - 1) / step;
                const int count = static_cast<int>(std::min<std::ptrdiff_t>(left, kColumnGroups));
                transformColumnGroups(tables_, sign_, rows, offset, step, count, work);
            }
        } else if (doublesPerRow == 4 * threads) {
            transformColumns(tables_, sign_, rows, 4 * static_cast<std::ptrdiff_t>(i), 2, work);
        } else if (i < tables_.n) {
            transformColumns(tables_, sign_, rows, 2 * static_cast<std::ptrdiff_t>(i), 1, work);
        }
    }

    int sign_;
    double** const* images_;
    int count_;
    const Tables& tables_;
    int threads_;
    AlignedDoubles& work_;
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
    if (const PF_Err err = init(n)) throw err;
}

PF_Err FFT2D::init(int n) {
    if (n == 0) return PF_Err_NONE;
    // Unusable until every table matches the new size. A size that is not a power of two is
    // refused: the row and column split would read past the rows.
    initialised_ = false;
    n_ = 0;
    if (n < 0 || (n & (n - 1)) != 0) return PF_Err_BAD_CALLBACK_PARAM;
    work_.assign(bandDoubles(n) * static_cast<std::size_t>(threads_), 0.0);
    makeTables(n, ip_, w_);
    // Rooms of the old size would be too small.
    bandWork_.clear();
    bandWork_.resize(kKeptBands);
    n_ = n;
    initialised_ = true;
    return PF_Err_NONE;
}

PF_Err FFT2D::fft(int sign, double** rows) { return fft(sign, &rows, 1); }

PF_Err FFT2D::fft(int sign, double** const* images, int count) {
    if (!initialised_ || count < 1) return PF_Err_NONE;
    const int direction = sign >= 0 ? 1 : -1;
    const Tables tables{n_, ip_, w_};
    const XDFTExecutor rowPass(direction, images, count, tables, threads_, work_);
    if (const PF_Err err = runPass(*suites_, threads_, rowPass)) return err;
    return transformColumns(sign, images, count);
}

PF_Err FFT2D::transformColumns(int sign, double** const* images, int count) {
    if (!initialised_ || count < 1) return PF_Err_NONE;
    const Tables tables{n_, ip_, w_};
    const CDFTExecutor columnPass(sign >= 0 ? 1 : -1, images, count, tables, threads_, work_);
    return runPass(*suites_, threads_, columnPass);
}

double* FFT2D::bandWork(int band, AlignedDoubles& spare) {
    AlignedDoubles& room = band >= 0 && band < kKeptBands ? bandWork_[static_cast<std::size_t>(band)] : spare;
    if (room.empty()) room.resize(bandDoubles(n_));
    return room.data();
}

void FFT2D::transformRowRange(int sign, double** const* images, int count, int first, int end, int band) {
    first = std::max(first, 0);
    end = std::min(end, n_);
    if (!initialised_ || first >= end) return;
    AlignedDoubles spare;
    double* work = bandWork(band, spare);
    const Tables tables{n_, ip_, w_};
    for (int image = 0; image < count; ++image) {
        transformRows(tables, sign >= 0 ? 1 : -1, images[image], first, end, 1, work);
    }
}

void FFT2D::transformColumnRange(int sign, double** const* images, int count, int first, int end, int band) {
    first = std::max(first, 0);
    end = std::min(end, n_);
    if (!initialised_ || first >= end) return;
    AlignedDoubles spare;
    double* work = bandWork(band, spare);
    const Tables tables{n_, ip_, w_};
    for (int image = 0; image < count; ++image) {
        transformColumnRun(tables, sign >= 0 ? 1 : -1, images[image], first, end, work);
    }
}

}  // namespace Morvel::FFT
