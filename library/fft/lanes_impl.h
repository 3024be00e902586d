#pragma once

// The lane operations, written once and compiled once per instruction set by the lanes_*.cpp
// files. Everything here has internal linkage, so each of those files keeps its own copy, and
// nothing from the standard library is used, so no shared inline code is compiled for a wider
// instruction set than the caller checked for.

#include <cstddef>

// Vector arguments of these helpers never cross a boundary to code built elsewhere. GCC reports
// the ABI note at the end of the file, so it stays off for the rest of the including file.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wpsabi"
#else
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace Morvel::FFT {
namespace {

typedef double Vec __attribute__((vector_size(4 * sizeof(double))));

inline Vec load(const double* p) {
    Vec v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

inline void store(double* p, Vec v) { __builtin_memcpy(p, &v, sizeof v); }

inline Vec splat(double x) { return Vec{x, x, x, x}; }

struct Point {
    Vec re;
    Vec im;
};

inline Point loadPoint(const double* p) { return {load(p), load(p + 4)}; }

inline void storePoint(double* p, const Point& a) {
    store(p, a.re);
    store(p + 4, a.im);
}

inline Point operator+(const Point& a, const Point& b) { return {a.re + b.re, a.im + b.im}; }
inline Point operator-(const Point& a, const Point& b) { return {a.re - b.re, a.im - b.im}; }

// Complex values x and x + 1 of four rows as two points, and back.
struct PointPair {
    Point first, second;
};

inline PointPair rowPoints(const double* s0, const double* s1, const double* s2, const double* s3, std::ptrdiff_t x) {
    const Vec v0 = load(s0 + 2 * x);
    const Vec v1 = load(s1 + 2 * x);
    const Vec v2 = load(s2 + 2 * x);
    const Vec v3 = load(s3 + 2 * x);
    const Vec re01 = __builtin_shufflevector(v0, v1, 0, 4, 2, 6);
    const Vec re23 = __builtin_shufflevector(v2, v3, 0, 4, 2, 6);
    const Vec im01 = __builtin_shufflevector(v0, v1, 1, 5, 3, 7);
    const Vec im23 = __builtin_shufflevector(v2, v3, 1, 5, 3, 7);
    return {{__builtin_shufflevector(re01, re23, 0, 1, 4, 5), __builtin_shufflevector(im01, im23, 0, 1, 4, 5)},
            {__builtin_shufflevector(re01, re23, 2, 3, 6, 7), __builtin_shufflevector(im01, im23, 2, 3, 6, 7)}};
}

inline void storeRowPoints(double* t0, double* t1, double* t2, double* t3, std::ptrdiff_t x, const Point& a,
                           const Point& b) {
    const Vec re01 = __builtin_shufflevector(a.re, b.re, 0, 1, 4, 5);
    const Vec re23 = __builtin_shufflevector(a.re, b.re, 2, 3, 6, 7);
    const Vec im01 = __builtin_shufflevector(a.im, b.im, 0, 1, 4, 5);
    const Vec im23 = __builtin_shufflevector(a.im, b.im, 2, 3, 6, 7);
    store(t0 + 2 * x, __builtin_shufflevector(re01, im01, 0, 4, 2, 6));
    store(t1 + 2 * x, __builtin_shufflevector(re01, im01, 1, 5, 3, 7));
    store(t2 + 2 * x, __builtin_shufflevector(re23, im23, 0, 4, 2, 6));
    store(t3 + 2 * x, __builtin_shufflevector(re23, im23, 1, 5, 3, 7));
}

// Four complex columns of a row as one point, and back.
inline Point columnPoint(const double* source) {
    const Vec low = load(source);
    const Vec high = load(source + 4);
    return {__builtin_shufflevector(low, high, 0, 2, 4, 6), __builtin_shufflevector(low, high, 1, 3, 5, 7)};
}

inline void storeColumnPoint(double* target, const Point& a) {
    store(target, __builtin_shufflevector(a.re, a.im, 0, 4, 1, 5));
    store(target + 4, __builtin_shufflevector(a.re, a.im, 2, 6, 3, 7));
}

// a * (c + i s) for the positive direction, a * (c - i s) for the negative one.
template <bool Positive>
inline Point twiddle(const Point& a, double c, double s) {
    const Vec vc = splat(c);
    const Vec vs = splat(s);
    if (Positive) return {a.re * vc - a.im * vs, a.im * vc + a.re * vs};
    return {a.re * vc + a.im * vs, a.im * vc - a.re * vs};
}

// a * i or a * -i.
template <bool Positive>
inline Point quarterTurn(const Point& a) {
    if (Positive) return {-a.im, a.re};
    return {a.im, -a.re};
}

struct Quad {
    Point p0, p1, p2, p3;
};

// Combines four transforms of length m, given in the order of indices 0, 2, 1, 3 mod 4 (which is
// what bit-reversed input gives), into one of length 4m, at offset k of each quarter; the results
// belong at offsets k, k + m, k + 2m, k + 3m.
template <bool Positive, bool Twiddled>
inline Quad radix4(const Point& a0, Point a2, Point a1, Point a3, const double* t) {
    if (Twiddled) {
        a1 = twiddle<Positive>(a1, t[0], t[1]);
        a2 = twiddle<Positive>(a2, t[2], t[3]);
        a3 = twiddle<Positive>(a3, t[4], t[5]);
    }
    const Point s02 = a0 + a2;
    const Point d02 = a0 - a2;
    const Point s13 = a1 + a3;
    const Point d13 = quarterTurn<Positive>(a1 - a3);
    return {s02 + s13, d02 + d13, s02 - s13, d02 - d13};
}

template <bool Positive, bool Twiddled>
inline void butterfly(double* q0, double* q1, double* q2, double* q3, const double* t) {
    const Quad out = radix4<Positive, Twiddled>(loadPoint(q0), loadPoint(q1), loadPoint(q2), loadPoint(q3), t);
    storePoint(q0, out.p0);
    storePoint(q1, out.p1);
    storePoint(q2, out.p2);
    storePoint(q3, out.p3);
}

// The first step over points [begin, end): radix 2 for an odd power of two, so that radix 4
// covers the rest, else an untwiddled radix-4 step. Returns the quarter length of the next step.
template <bool Positive>
std::ptrdiff_t firstStep(double* work, std::ptrdiff_t begin, std::ptrdiff_t end, int n) {
    if (__builtin_ctz(static_cast<unsigned>(n)) % 2 != 0) {
        for (std::ptrdiff_t p = begin; p < end; p += 2) {
            double* a = work + kPointDoubles * p;
            const Point x = loadPoint(a);
            const Point y = loadPoint(a + kPointDoubles);
            storePoint(a, x + y);
            storePoint(a + kPointDoubles, x - y);
        }
        return 2;
    }
    for (std::ptrdiff_t p = begin; p < end; p += 4) {
        double* a = work + kPointDoubles * p;
        butterfly<Positive, false>(a, a + kPointDoubles, a + 2 * kPointDoubles, a + 3 * kPointDoubles, nullptr);
    }
    return 4;
}

// One twiddled radix-4 step of quarter length m over points [begin, end), a multiple of 4m.
template <bool Positive>
void radix4Step(double* work, std::ptrdiff_t begin, std::ptrdiff_t end, std::ptrdiff_t m, const double* stage) {
    const std::ptrdiff_t quarter = kPointDoubles * m;
    for (std::ptrdiff_t block = begin; block < end; block += 4 * m) {
        double* a = work + kPointDoubles * block;
        const double* t = stage;
        for (std::ptrdiff_t k = 0; k < m; ++k, a += kPointDoubles, t += 6) {
            butterfly<Positive, true>(a, a + quarter, a + 2 * quarter, a + 3 * quarter, t);
        }
    }
}

// Points a run of steps keeps to while it fits in the first-level cache (16 KB of work).
constexpr std::ptrdiff_t kCachedPoints = 256;

// Whether log2 n is odd: the transform then starts with a radix-2 step.
inline bool oddPower(int n) { return __builtin_ctz(static_cast<unsigned>(n)) % 2 != 0; }

// The steps of a transform of n points; without the first or the last, those are left to a fused
// gather or scatter (n of at least 16, so that both are steps of their own).
template <bool Positive>
void transformLanesIn(double* work, int n, const double* w, bool withFirst, bool withLast) {
    if (n < 2) return;
    // The steps whose blocks fit in the cache run block by block, all of them on one block before
    // the next; only the wider steps sweep the whole sequence. Every butterfly sees the same
    // values as in step-by-step order, so the result is bitwise the same.
    const std::ptrdiff_t cached = n < kCachedPoints ? n : kCachedPoints;
    const std::ptrdiff_t end = withLast ? n : n / 4;
    std::ptrdiff_t m = 0;
    const double* stage = w;
    for (std::ptrdiff_t begin = 0; begin < n; begin += cached) {
        m = withFirst ? firstStep<Positive>(work, begin, begin + cached, n) : (oddPower(n) ? 2 : 4);
        stage = w;
        for (; 4 * m <= cached && m < end; m *= 4) {
            radix4Step<Positive>(work, begin, begin + cached, m, stage);
            stage += 6 * m;
        }
    }
    for (; m < end; m *= 4) {
        radix4Step<Positive>(work, 0, n, m, stage);
        stage += 6 * m;
    }
}

void transformLanes(double* work, int n, int sign, const double* w) {
    if (sign >= 0) {
        transformLanesIn<true>(work, n, w, true, true);
    } else {
        transformLanesIn<false>(work, n, w, true, true);
    }
}

void transformMiddleLanes(double* work, int n, int sign, const double* w) {
    if (sign >= 0) {
        transformLanesIn<true>(work, n, w, false, false);
    } else {
        transformLanesIn<false>(work, n, w, false, false);
    }
}

void gatherRowsLanes(double* work, const double* const* sources, int n, const int* ip) {
    const double* s0 = sources[0];
    const double* s1 = sources[1];
    const double* s2 = sources[2];
    const double* s3 = sources[3];
    if (s0 != nullptr && s1 != nullptr && s2 != nullptr && s3 != nullptr && n >= 2) {
        for (std::ptrdiff_t k = 0; k < n; k += 2) {
            const PointPair pair = rowPoints(s0, s1, s2, s3, k);
            storePoint(work + kPointDoubles * static_cast<std::ptrdiff_t>(ip[k]), pair.first);
            storePoint(work + kPointDoubles * static_cast<std::ptrdiff_t>(ip[k + 1]), pair.second);
        }
        return;
    }
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        double* point = work + kPointDoubles * static_cast<std::ptrdiff_t>(ip[k]);
        for (int lane = 0; lane < kLanes; ++lane) {
            const double* source = sources[lane];
            point[lane] = source != nullptr ? source[2 * k] : 0.0;
            point[kLanes + lane] = source != nullptr ? source[2 * k + 1] : 0.0;
        }
    }
}

void scatterRowsLanes(const double* work, double* const* targets, int n) {
    double* t0 = targets[0];
    double* t1 = targets[1];
    double* t2 = targets[2];
    double* t3 = targets[3];
    if (t0 != nullptr && t1 != nullptr && t2 != nullptr && t3 != nullptr && n >= 2) {
        for (std::ptrdiff_t k = 0; k < n; k += 2) {
            const double* point = work + kPointDoubles * k;
            storeRowPoints(t0, t1, t2, t3, k, loadPoint(point), loadPoint(point + kPointDoubles));
        }
        return;
    }
    for (int lane = 0; lane < kLanes; ++lane) {
        double* target = targets[lane];
        if (target == nullptr) continue;
        for (std::ptrdiff_t k = 0; k < n; ++k) {
            const double* point = work + kPointDoubles * k;
            target[2 * k] = point[lane];
            target[2 * k + 1] = point[kLanes + lane];
        }
    }
}

// Rows of a column are a power-of-two stride apart, which the hardware does not prefetch across
// pages; asking this far ahead keeps enough of them in flight.
constexpr std::ptrdiff_t kPrefetchRows = 4;

void gatherColumnsLanes(double* work, double* const* rows, std::ptrdiff_t offset, int columns, int n, const int* ip) {
    for (std::ptrdiff_t r = 0; r < n; ++r) {
        if (r + kPrefetchRows < n) __builtin_prefetch(rows[r + kPrefetchRows] + offset);
        const double* source = rows[r] + offset;
        double* point = work + kPointDoubles * static_cast<std::ptrdiff_t>(ip[r]);
        if (columns == kLanes) {
            storePoint(point, columnPoint(source));
            continue;
        }
        for (int lane = 0; lane < kLanes; ++lane) {
            const bool used = lane < columns;
            point[lane] = used ? source[2 * lane] : 0.0;
            point[kLanes + lane] = used ? source[2 * lane + 1] : 0.0;
        }
    }
}

void scatterColumnsLanes(const double* work, double* const* rows, std::ptrdiff_t offset, int columns, int n) {
    for (std::ptrdiff_t r = 0; r < n; ++r) {
        if (r + kPrefetchRows < n) __builtin_prefetch(rows[r + kPrefetchRows] + offset, 1);
        double* target = rows[r] + offset;
        const double* point = work + kPointDoubles * r;
        if (columns == kLanes) {
            storeColumnPoint(target, loadPoint(point));
            continue;
        }
        for (int lane = 0; lane < columns; ++lane) {
            target[2 * lane] = point[lane];
            target[2 * lane + 1] = point[kLanes + lane];
        }
    }
}

// Whole groups of four complex columns, `groups` of them, the first at double offset `offset` of
// every row and each next one `step` doubles further, into consecutive work slices of n points.
// Taking several groups per visit of a row reads and writes several cache lines of it together,
// where one group at a time would touch one line per row and page and let the power-of-two row
// stride evict each line before it is written back.
void gatherColumnGroupsLanes(double* work, double* const* rows, std::ptrdiff_t offset, std::ptrdiff_t step, int groups,
                             int n, const int* ip) {
    const std::ptrdiff_t slice = sliceDoubles(n);
    for (std::ptrdiff_t r = 0; r < n; ++r) {
        if (r + kPrefetchRows < n) {
            for (int g = 0; g < groups; ++g) __builtin_prefetch(rows[r + kPrefetchRows] + offset + g * step);
        }
        const double* source = rows[r] + offset;
        double* point = work + kPointDoubles * static_cast<std::ptrdiff_t>(ip[r]);
        for (int g = 0; g < groups; ++g, source += step, point += slice) storePoint(point, columnPoint(source));
    }
}

void scatterColumnGroupsLanes(const double* work, double* const* rows, std::ptrdiff_t offset, std::ptrdiff_t step,
                              int groups, int n) {
    const std::ptrdiff_t slice = sliceDoubles(n);
    for (std::ptrdiff_t r = 0; r < n; ++r) {
        if (r + kPrefetchRows < n) {
            for (int g = 0; g < groups; ++g) __builtin_prefetch(rows[r + kPrefetchRows] + offset + g * step, 1);
        }
        double* target = rows[r] + offset;
        const double* point = work + kPointDoubles * r;
        for (int g = 0; g < groups; ++g, target += step, point += slice) storeColumnPoint(target, loadPoint(point));
    }
}

// gatherRows of four rows followed by the first step, for n of at least 16 (the column kernels
// below explain the order).
template <bool Positive>
void gatherRowsFirstIn(double* work, const double* const* sources, int n, const int* ip) {
    const double* s0 = sources[0];
    const double* s1 = sources[1];
    const double* s2 = sources[2];
    const double* s3 = sources[3];
    if (oddPower(n)) {
        const std::ptrdiff_t half = n / 2;
        for (std::ptrdiff_t q = 0; q < half; q += 2) {
            const PointPair x = rowPoints(s0, s1, s2, s3, q);
            const PointPair y = rowPoints(s0, s1, s2, s3, q + half);
            double* first = work + kPointDoubles * static_cast<std::ptrdiff_t>(ip[q]);
            double* second = work + kPointDoubles * static_cast<std::ptrdiff_t>(ip[q + 1]);
            storePoint(first, x.first + y.first);
            storePoint(first + kPointDoubles, x.first - y.first);
            storePoint(second, x.second + y.second);
            storePoint(second + kPointDoubles, x.second - y.second);
        }
        return;
    }
    const std::ptrdiff_t quarter = n / 4;
    for (std::ptrdiff_t q = 0; q < quarter; q += 2) {
        const PointPair a0 = rowPoints(s0, s1, s2, s3, q);
        const PointPair a1 = rowPoints(s0, s1, s2, s3, q + quarter);
        const PointPair a2 = rowPoints(s0, s1, s2, s3, q + 2 * quarter);
        const PointPair a3 = rowPoints(s0, s1, s2, s3, q + 3 * quarter);
        const Quad first = radix4<Positive, false>(a0.first, a2.first, a1.first, a3.first, nullptr);
        const Quad second = radix4<Positive, false>(a0.second, a2.second, a1.second, a3.second, nullptr);
        double* p = work + kPointDoubles * static_cast<std::ptrdiff_t>(ip[q]);
        storePoint(p, first.p0);
        storePoint(p + kPointDoubles, first.p1);
        storePoint(p + 2 * kPointDoubles, first.p2);
        storePoint(p + 3 * kPointDoubles, first.p3);
        p = work + kPointDoubles * static_cast<std::ptrdiff_t>(ip[q + 1]);
        storePoint(p, second.p0);
        storePoint(p + kPointDoubles, second.p1);
        storePoint(p + 2 * kPointDoubles, second.p2);
        storePoint(p + 3 * kPointDoubles, second.p3);
    }
}

// The last step followed by scatterRows to four rows, for n of at least 16.
template <bool Positive>
void scatterRowsLastIn(const double* work, double* const* targets, int n, const double* last) {
    double* t0 = targets[0];
    double* t1 = targets[1];
    double* t2 = targets[2];
    double* t3 = targets[3];
    const std::ptrdiff_t m = n / 4;
    const std::ptrdiff_t quarter = kPointDoubles * m;
    for (std::ptrdiff_t k = 0; k < m; k += 2) {
        const double* a = work + kPointDoubles * k;
        const double* b = a + kPointDoubles;
        const Quad first = radix4<Positive, true>(loadPoint(a), loadPoint(a + quarter), loadPoint(a + 2 * quarter),
                                                  loadPoint(a + 3 * quarter), last + 6 * k);
        const Quad second = radix4<Positive, true>(loadPoint(b), loadPoint(b + quarter), loadPoint(b + 2 * quarter),
                                                   loadPoint(b + 3 * quarter), last + 6 * (k + 1));
        storeRowPoints(t0, t1, t2, t3, k, first.p0, second.p0);
        storeRowPoints(t0, t1, t2, t3, k + m, first.p1, second.p1);
        storeRowPoints(t0, t1, t2, t3, k + 2 * m, first.p2, second.p2);
        storeRowPoints(t0, t1, t2, t3, k + 3 * m, first.p3, second.p3);
    }
}

void gatherRowsFirstLanes(double* work, const double* const* sources, int n, int sign, const int* ip) {
    if (sign >= 0) {
        gatherRowsFirstIn<true>(work, sources, n, ip);
    } else {
        gatherRowsFirstIn<false>(work, sources, n, ip);
    }
}

void scatterRowsLastLanes(const double* work, double* const* targets, int n, int sign, const double* last) {
    if (sign >= 0) {
        scatterRowsLastIn<true>(work, targets, n, last);
    } else {
        scatterRowsLastIn<false>(work, targets, n, last);
    }
}

// gatherColumnGroups followed by the transform's first step, for n of at least 16. Bit reversal
// puts rows q, q + n/2 (and, for radix 4, q + n/4, q + 3n/4) next to each other, so they are
// read together and combined before anything is stored.
template <bool Positive>
void gatherColumnGroupsFirstIn(double* work, double* const* rows, std::ptrdiff_t offset, std::ptrdiff_t step,
                               int groups, int n, const int* ip) {
    const std::ptrdiff_t slice = sliceDoubles(n);
    if (oddPower(n)) {
        const std::ptrdiff_t half = n / 2;
        for (std::ptrdiff_t q = 0; q < half; ++q) {
            if (q + kPrefetchRows < half) {
                for (int g = 0; g < groups; ++g) {
                    __builtin_prefetch(rows[q + kPrefetchRows] + offset + g * step);
                    __builtin_prefetch(rows[q + half + kPrefetchRows] + offset + g * step);
                }
            }
            double* point = work + kPointDoubles * static_cast<std::ptrdiff_t>(ip[q]);
            for (int g = 0; g < groups; ++g, point += slice) {
                const Point x = columnPoint(rows[q] + offset + g * step);
                const Point y = columnPoint(rows[q + half] + offset + g * step);
                storePoint(point, x + y);
                storePoint(point + kPointDoubles, x - y);
            }
        }
        return;
    }
    const std::ptrdiff_t quarter = n / 4;
    for (std::ptrdiff_t q = 0; q < quarter; ++q) {
        if (q + kPrefetchRows < quarter) {
            for (int g = 0; g < groups; ++g) {
                for (int j = 0; j < 4; ++j)
                    __builtin_prefetch(rows[q + j * quarter + kPrefetchRows] + offset + g * step);
            }
        }
        double* point = work + kPointDoubles * static_cast<std::ptrdiff_t>(ip[q]);
        for (int g = 0; g < groups; ++g, point += slice) {
            const std::ptrdiff_t at = offset + g * step;
            const Quad out = radix4<Positive, false>(columnPoint(rows[q] + at), columnPoint(rows[q + 2 * quarter] + at),
                                                     columnPoint(rows[q + quarter] + at),
                                                     columnPoint(rows[q + 3 * quarter] + at), nullptr);
            storePoint(point, out.p0);
            storePoint(point + kPointDoubles, out.p1);
            storePoint(point + 2 * kPointDoubles, out.p2);
            storePoint(point + 3 * kPointDoubles, out.p3);
        }
    }
}

// The transform's last step (quarter n/4, twiddles `last`) followed by scatterColumnGroups.
template <bool Positive>
void scatterColumnGroupsLastIn(const double* work, double* const* rows, std::ptrdiff_t offset, std::ptrdiff_t step,
                               int groups, int n, const double* last) {
    const std::ptrdiff_t slice = sliceDoubles(n);
    const std::ptrdiff_t m = n / 4;
    const std::ptrdiff_t quarter = kPointDoubles * m;
    for (std::ptrdiff_t k = 0; k < m; ++k) {
        if (k + kPrefetchRows < m) {
            for (int g = 0; g < groups; ++g) {
                for (int j = 0; j < 4; ++j) __builtin_prefetch(rows[k + j * m + kPrefetchRows] + offset + g * step, 1);
            }
        }
        const double* t = last + 6 * k;
        const double* point = work + kPointDoubles * k;
        for (int g = 0; g < groups; ++g, point += slice) {
            const std::ptrdiff_t at = offset + g * step;
            const Quad out = radix4<Positive, true>(loadPoint(point), loadPoint(point + quarter),
                                                    loadPoint(point + 2 * quarter), loadPoint(point + 3 * quarter), t);
            storeColumnPoint(rows[k] + at, out.p0);
            storeColumnPoint(rows[k + m] + at, out.p1);
            storeColumnPoint(rows[k + 2 * m] + at, out.p2);
            storeColumnPoint(rows[k + 3 * m] + at, out.p3);
        }
    }
}

void gatherColumnGroupsFirstLanes(double* work, double* const* rows, std::ptrdiff_t offset, std::ptrdiff_t step,
                                  int groups, int n, int sign, const int* ip) {
    if (sign >= 0) {
        gatherColumnGroupsFirstIn<true>(work, rows, offset, step, groups, n, ip);
    } else {
        gatherColumnGroupsFirstIn<false>(work, rows, offset, step, groups, n, ip);
    }
}

void scatterColumnGroupsLastLanes(const double* work, double* const* rows, std::ptrdiff_t offset, std::ptrdiff_t step,
                                  int groups, int n, int sign, const double* last) {
    if (sign >= 0) {
        scatterColumnGroupsLastIn<true>(work, rows, offset, step, groups, n, last);
    } else {
        scatterColumnGroupsLastIn<false>(work, rows, offset, step, groups, n, last);
    }
}

constexpr LaneKernels kLaneKernels = {gatherRowsLanes,
                                      scatterRowsLanes,
                                      gatherRowsFirstLanes,
                                      scatterRowsLastLanes,
                                      gatherColumnsLanes,
                                      scatterColumnsLanes,
                                      gatherColumnGroupsLanes,
                                      scatterColumnGroupsLanes,
                                      gatherColumnGroupsFirstLanes,
                                      scatterColumnGroupsLastLanes,
                                      transformLanes,
                                      transformMiddleLanes};

}  // namespace
}  // namespace Morvel::FFT
