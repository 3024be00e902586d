#pragma once

// Direct O(n^2) discrete Fourier transforms in long double, the reference for the FFT tests.

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace FFTReference {

using Complex = std::complex<long double>;

// exp(sign * 2 pi i t / n) for t = 0 .. n-1; exponents are reduced mod n, so every factor is exact
// to long double rounding.
inline std::vector<Complex> roots(int n, int sign) {
    std::vector<Complex> table(static_cast<size_t>(n));
    for (int t = 0; t < n; ++t) {
        const long double angle = 2.0L * std::numbers::pi_v<long double> * t / n;
        table[static_cast<size_t>(t)] = {std::cos(angle), sign >= 0 ? std::sin(angle) : -std::sin(angle)};
    }
    return table;
}

// x holds n (re, im) pairs.
inline std::vector<Complex> dft(const double* x, int n, int sign) {
    const auto w = roots(n, sign);
    std::vector<Complex> out(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        Complex sum = 0;
        for (int j = 0; j < n; ++j) {
            sum += Complex(x[2 * j], x[2 * j + 1]) * w[static_cast<size_t>((static_cast<long>(j) * k) % n)];
        }
        out[static_cast<size_t>(k)] = sum;
    }
    return out;
}

// image holds n rows of n (re, im) pairs; the result is indexed [k1 * n + k2].
inline std::vector<Complex> dft2(const std::vector<double>& image, int n, int sign) {
    const auto w = roots(n, sign);
    std::vector<Complex> out(static_cast<size_t>(n) * n);
    for (int k1 = 0; k1 < n; ++k1) {
        for (int k2 = 0; k2 < n; ++k2) {
            Complex sum = 0;
            for (int j1 = 0; j1 < n; ++j1) {
                for (int j2 = 0; j2 < n; ++j2) {
                    const size_t at = 2 * (static_cast<size_t>(j1) * n + j2);
                    sum += Complex(image[at], image[at + 1]) * w[static_cast<size_t>((j1 * k1 + j2 * k2) % n)];
                }
            }
            out[static_cast<size_t>(k1) * n + k2] = sum;
        }
    }
    return out;
}

// Largest error relative to the largest reference magnitude.
inline double relativeError(const double* got, const std::vector<Complex>& expected) {
    long double worst = 0;
    long double scale = 0;
    for (size_t k = 0; k < expected.size(); ++k) {
        worst = std::max(worst, std::abs(Complex(got[2 * k], got[2 * k + 1]) - expected[k]));
        scale = std::max(scale, std::abs(expected[k]));
    }
    return static_cast<double>(scale > 0 ? worst / scale : worst);
}

inline std::vector<double> randomValues(size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> values(count);
    for (double& value : values) value = uniform(generator);
    return values;
}

}  // namespace FFTReference
