#pragma once

// One line of the variable-radius box blur and the two ways its window sums are kept.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace TiltShift {

// A colour-buffer entry: alpha, then red, green and blue, weighted and premultiplied.
struct Entry {
    double v[4];

    Entry& operator+=(const Entry& o) {
        for (int k = 0; k < 4; ++k) v[k] += o.v[k];
        return *this;
    }
};

// Radii stop here: such a window covers any line, and its size still fits the arithmetic.
inline constexpr double kMaxRadius = 1099511627776.0;  // 2^40
// Radii at or below this leave an entry as it is.
inline constexpr double kMinRadius = 1e-05;

// Window sums as differences of prefix sums: two look-ups whatever the window. Exact enough
// for 8- and 16-bit weighted entries, which stay below 10^10.
class PrefixSums {
public:
    void build(const Entry* c, int64_t n) {
        sums_.resize(size_t(n));
        Entry running{};
        for (int64_t k = 0; k < n; ++k) {
            running += c[k];
            sums_[size_t(k)] = running;
        }
    }
    // c[first] + ... + c[last], 0 <= first <= last < n.
    Entry sum(int64_t first, int64_t last) const {
        Entry s = sums_[size_t(last)];
        if (first > 0) {
            const Entry& before = sums_[size_t(first - 1)];
            for (int k = 0; k < 4; ++k) s.v[k] -= before.v[k];
        }
        return s;
    }

private:
    std::vector<Entry> sums_;
};

// Window sums made only of the window's own entries, so that a huge entry elsewhere on the line
// cannot swallow them (float weighting spans hundreds of orders of magnitude). Level k splits the
// line into blocks of 2^(k+1) and holds, for each position, the sum from it to the middle of its
// block; any window is two such sums, found in constant time, at the cost of log n passes to build.
class DisjointSums {
public:
    void build(const Entry* c, int64_t n) {
        c_ = c;
        n_ = n;
        levels_ = 0;
        while ((int64_t(1) << levels_) < n) ++levels_;
        table_.resize(size_t(levels_) * size_t(n));
        for (int level = 0; level < levels_; ++level) {
            Entry* row = table_.data() + size_t(level) * size_t(n);
            const int64_t half = int64_t(1) << level;
            for (int64_t start = 0; start < n; start += 2 * half) {
                const int64_t middle = start + half;
                if (middle >= n) break;  // no window straddles it
                Entry running{};
                for (int64_t k = middle - 1; k >= start; --k) {
                    running += c[k];
                    row[k] = running;
                }
                running = Entry{};
                const int64_t end = std::min(middle + half, n);
                for (int64_t k = middle; k < end; ++k) {
                    running += c[k];
                    row[k] = running;
                }
            }
        }
    }
    Entry sum(int64_t first, int64_t last) const {
        if (first == last) return c_[first];
        const int level = 63 - __builtin_clzll(uint64_t(first ^ last));
        const Entry* row = table_.data() + size_t(level) * size_t(n_);
        Entry s = row[first];
        s += row[last];
        return s;
    }

private:
    const Entry* c_ = nullptr;
    int64_t n_ = 0;
    int levels_ = 0;
    std::vector<Entry> table_;
};

// Blurs one line of n entries c with radius a × t[i] + b at position i and hands each result to
// emit(i, entry). The window is 2m + 1 entries (m = ceil r), its two outermost ones weighted
// 1 - (m - r), so its weight is 2r + 1. Beyond the ends the line repeats its end entries, or is
// transparent. sums is built here; c is not changed.
template <typename Sums, typename Emit>
void blurLine(const Entry* c, const double* t, int64_t n, double a, double b, bool repeatEdges, Sums& sums,
              Emit&& emit) {
    sums.build(c, n);
    for (int64_t i = 0; i < n; ++i) {
        const double r = std::min(a * t[i] + b, kMaxRadius);
        if (!(r > kMinRadius)) {
            emit(i, c[i]);
            continue;
        }
        const int64_t m = static_cast<int64_t>(std::ceil(r));
        const double g = double(m) - r;
        const int64_t hi = i + m;
        const int64_t lo = i - m - 1;
        Entry u = sums.sum(std::max<int64_t>(lo + 1, 0), std::min(hi, n - 1));
        // The outermost entries count 1 - g: inside the line take g of them away; beyond its
        // ends add what the repeated end entries bring.
        if (hi < n) {
            for (int k = 0; k < 4; ++k) u.v[k] -= g * c[hi].v[k];
        } else if (repeatEdges) {
            const double times = double(hi - n + 1) - g;
            for (int k = 0; k < 4; ++k) u.v[k] += c[n - 1].v[k] * times;
        }
        if (lo >= -1) {
            for (int k = 0; k < 4; ++k) u.v[k] -= g * c[lo + 1].v[k];
        } else if (repeatEdges) {
            const double times = double(-lo - 1) - g;
            for (int k = 0; k < 4; ++k) u.v[k] += c[0].v[k] * times;
        }
        const double weight = 2.0 * r + 1.0;
        for (int k = 0; k < 4; ++k) u.v[k] /= weight;
        emit(i, u);
    }
}

}  // namespace TiltShift
