#include <gtest/gtest.h>

#include <complex>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "fft_reference.h"
#include "library/fft/fft2d.h"
#include "support/host_fixture.h"

namespace {

using Morvel::FFT::FFT2D;

struct Image {
    explicit Image(int n, unsigned seed = 1) : n(n), data(FFTReference::randomValues(2 * size_t(n) * n, seed)) {
        for (int r = 0; r < n; ++r) rows.push_back(data.data() + 2 * size_t(n) * r);
    }
    Image(const Image& other) : Image(other.n) { data = other.data; }
    std::complex<double> at(int row, int column) const {
        return {data[2 * (size_t(n) * row + column)], data[2 * (size_t(n) * row + column) + 1]};
    }
    void set(int row, int column, std::complex<double> value) {
        data[2 * (size_t(n) * row + column)] = value.real();
        data[2 * (size_t(n) * row + column) + 1] = value.imag();
    }

    int n;
    std::vector<double> data;
    std::vector<double*> rows;
};

class ThreadedFFT2DTest : public HostTest {
protected:
    // Transforms a copy of the image with a fresh object.
    Image transformed(const Image& image, int sign, int threads) {
        Image out(image);
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        FFT2D fft(&in_data_, suites, threads, image.n);
        EXPECT_EQ(fft.fft(sign, out.rows.data()), PF_Err_NONE);
        return out;
    }
};

TEST_F(ThreadedFFT2DTest, MatchesDirectTransform) {
    for (int n = 1; n <= 32; n *= 2) {
        const Image image(n, 10 + n);
        for (int sign : {1, -1}) {
            const auto expected = FFTReference::dft2(image.data, n, sign);
            for (int threads : {1, 4}) {
                const Image result = transformed(image, sign, threads);
                EXPECT_LT(FFTReference::relativeError(result.data.data(), expected), 1e-14)
                    << "n=" << n << " sign=" << sign << " threads=" << threads;
            }
        }
    }
}

TEST_F(ThreadedFFT2DTest, ForwardThenInverseGivesNSquaredTimesInput) {
    for (int n : {1, 2, 8, 64, 256}) {
        const Image image(n, 20 + n);
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        FFT2D fft(&in_data_, suites, 8, n);
        Image result(image);
        ASSERT_EQ(fft.fft(1, result.rows.data()), PF_Err_NONE);
        ASSERT_EQ(fft.fft(-1, result.rows.data()), PF_Err_NONE);
        const double scale = double(n) * n;
        double worst = 0;
        for (size_t k = 0; k < image.data.size(); ++k) {
            worst = std::max(worst, std::abs(result.data[k] - scale * image.data[k]));
        }
        EXPECT_LT(worst, 1e-13 * scale) << "n=" << n;
    }
}

TEST_F(ThreadedFFT2DTest, AnyNonNegativeSignIsPositiveAndAnyNegativeSignIsNegative) {
    const Image image(16, 3);
    const Image positive = transformed(image, 1, 1);
    const Image negative = transformed(image, -1, 1);
    EXPECT_NE(positive.data, negative.data);
    for (int sign : {0, 2, 1000}) EXPECT_EQ(transformed(image, sign, 1).data, positive.data) << "sign " << sign;
    for (int sign : {-2, -1000}) EXPECT_EQ(transformed(image, sign, 1).data, negative.data) << "sign " << sign;
}

TEST_F(ThreadedFFT2DTest, DeltaAndSingleFrequencies) {
    struct Case {
        std::string name;
        int row;
        int column;
        // Expected value at (k1, k2) for sign s and size n.
        std::complex<double> (*expected)(int k1, int k2, int s, int n);
    };
    const std::vector<Case> cases = {
        {"delta at the origin", 0, 0, [](int, int, int, int) { return std::complex<double>(1.0, 0.0); }},
        {"one in row 0 at value 1", 0, 1,
         [](int, int k2, int s, int n) { return std::polar(1.0, s * 2 * std::numbers::pi * k2 / n); }},
        {"one in row 1 at value 0", 1, 0,
         [](int k1, int, int s, int n) { return std::polar(1.0, s * 2 * std::numbers::pi * k1 / n); }},
    };
    for (const Case& c : cases) {
        for (int n : {4, 8, 32}) {
            for (int sign : {1, -1}) {
                Image image(n);
                std::fill(image.data.begin(), image.data.end(), 0.0);
                image.set(c.row, c.column, 1.0);
                const Image result = transformed(image, sign, 2);
                double worst = 0;
                for (int k1 = 0; k1 < n; ++k1) {
                    for (int k2 = 0; k2 < n; ++k2) {
                        worst = std::max(worst, std::abs(result.at(k1, k2) - c.expected(k1, k2, sign, n)));
                    }
                }
                EXPECT_LT(worst, 1e-15) << c.name << " n=" << n << " sign=" << sign;
            }
        }
    }
}

// Sizes against thread counts reach all three column splits: four columns per group (2n > 4T),
// two (2n = 4T) and one (2n < 4T, with idle bands when n < T).
TEST_F(ThreadedFFT2DTest, ThreadCountsGiveBitwiseIdenticalResults) {
    for (int n = 1; n <= 128; n *= 2) {
        const Image image(n, 40 + n);
        for (int sign : {1, -1}) {
            const Image inline_ = transformed(image, sign, 1);
            for (int threads : {2, 4, 8, 16, 32}) {
                EXPECT_EQ(transformed(image, sign, threads).data, inline_.data)
                    << "n=" << n << " sign=" << sign << " threads=" << threads;
            }
        }
    }
}

TEST_F(ThreadedFFT2DTest, ThreadCountIsTheLargestPowerOfTwoNotAbove) {
    const std::vector<std::pair<int, int>> cases = {{-1, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 2}, {8, 8}, {12, 8}, {48, 32}};
    for (const auto& [threads, expected] : cases) {
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        EXPECT_EQ(FFT2D(&in_data_, suites, threads, 0).threads(), expected) << "threads " << threads;
    }
}

TEST_F(ThreadedFFT2DTest, InlineTransformAcquiresNoSuite) {
    const Image image(8);
    transformed(image, 1, 1);
    EXPECT_EQ(host().log().count("AcquireSuite"), 0u);
    transformed(image, 1, 2);
    EXPECT_EQ(host().log().count("AcquireSuite PF Iterate8 Suite v1"), 1u);
}

TEST_F(ThreadedFFT2DTest, WithoutAValidInitNothingIsTouched) {
    struct Case {
        std::string name;
        int constructed;
        std::vector<int> inits;
        PF_Err last;  // what the constructor throws, or the last init returns
    };
    constexpr PF_Err kRefused = PF_Err_BAD_CALLBACK_PARAM;
    const std::vector<Case> cases = {
        {"constructed with 0", 0, {}, PF_Err_NONE},
        {"init 0", 0, {0}, PF_Err_NONE},
        {"negative size", -8, {-4}, kRefused},
        {"size 3", 0, {3}, kRefused},
        {"size 12", 12, {}, kRefused},
        {"size 33", 0, {33}, kRefused},
        {"valid size then 12", 16, {12}, kRefused},
        {"valid size then 24", 8, {24}, kRefused},
        {"refused size then 0", 16, {12, 0}, PF_Err_NONE},
        {"largest int", 0, {std::numeric_limits<int>::max()}, kRefused},
        {"smallest int", std::numeric_limits<int>::min(), {}, kRefused},
    };
    for (const Case& c : cases) {
        for (int threads : {1, 4}) {
            AEGP_SuiteHandler suites(in_data_.pica_basicP);
            PF_Err last = PF_Err_NONE;
            std::optional<FFT2D> fft;
            try {
                fft.emplace(&in_data_, suites, threads, c.constructed);
            } catch (PF_Err err) {
                last = err;
                fft.emplace(&in_data_, suites, threads, 0);
            }
            for (int n : c.inits) last = fft->init(n);
            EXPECT_EQ(last, c.last) << c.name;
            EXPECT_FALSE(fft->initialised()) << c.name;
            // Rows of the largest size any case names, so a transform of any size would show.
            Image image(32);
            const std::vector<double> before = image.data;
            EXPECT_EQ(fft->fft(1, image.rows.data()), PF_Err_NONE) << c.name;
            EXPECT_EQ(image.data, before) << c.name << " threads=" << threads;
        }
    }
    EXPECT_EQ(host().log().count("AcquireSuite"), 0u);
}

TEST_F(ThreadedFFT2DTest, InitZeroKeepsTheSizeAndAnotherInitResizes) {
    const Image small(8, 5);
    const Image large(16, 6);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    FFT2D fft(&in_data_, suites, 4, 8);
    ASSERT_EQ(fft.init(0), PF_Err_NONE);
    Image result(small);
    ASSERT_EQ(fft.fft(1, result.rows.data()), PF_Err_NONE);
    EXPECT_LT(FFTReference::relativeError(result.data.data(), FFTReference::dft2(small.data, 8, 1)), 1e-14);

    ASSERT_EQ(fft.init(16), PF_Err_NONE);
    Image resized(large);
    ASSERT_EQ(fft.fft(-1, resized.rows.data()), PF_Err_NONE);
    EXPECT_LT(FFTReference::relativeError(resized.data.data(), FFTReference::dft2(large.data, 16, -1)), 1e-14);
}

TEST_F(ThreadedFFT2DTest, IterationErrorEndsTheTransform) {
    const int n = 16;
    const Image image(n, 9);
    // What the row pass alone gives.
    std::vector<FFTReference::Complex> rowsOnly;
    for (int r = 0; r < n; ++r) {
        const auto row = FFTReference::dft(image.rows[size_t(r)], n, 1);
        rowsOnly.insert(rowsOnly.end(), row.begin(), row.end());
    }
    for (int failing : {1, 2}) {
        host().faults().failCall("iterate_generic", failing, PF_Interrupt_CANCEL);
        const size_t before = host().log().count("iterate_generic");
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        FFT2D fft(&in_data_, suites, 4, n);
        Image result(image);
        EXPECT_EQ(fft.fft(1, result.rows.data()), PF_Interrupt_CANCEL) << "failing " << failing;
        EXPECT_EQ(host().log().count("iterate_generic") - before, size_t(failing))
            << "a pass ran after the failing one";
        if (failing == 1) {
            EXPECT_EQ(result.data, image.data);
        } else {
            EXPECT_LT(FFTReference::relativeError(result.data.data(), rowsOnly), 1e-14);
        }
    }
}

TEST_F(ThreadedFFT2DTest, MissingIterateSuiteRaises516) {
    host().faults().makeSuiteMissing(kPFIterate8Suite, kPFIterate8SuiteVersion1);
    Image image(8);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    FFT2D fft(&in_data_, suites, 2, 8);
    try {
        fft.fft(1, image.rows.data());
        FAIL() << "no exception";
    } catch (PF_Err err) {
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    }
}

// Sizes whose long steps sweep the whole sequence after the cached ones: a plane wave
// exp(2 pi i (a j1 + b j2) / n) transformed with the opposite sign is n squared at (a, b) and
// zero elsewhere, and the result is bitwise the same at one thread and at eight.
TEST_F(ThreadedFFT2DTest, LargeSizesPickOutAPlaneWave) {
    for (int n : {512, 1024}) {
        const int a = 3;
        const int b = n - 5;
        Image wave(n);
        for (int j1 = 0; j1 < n; ++j1) {
            for (int j2 = 0; j2 < n; ++j2) {
                const long phase = (long(a) * j1 + long(b) * j2) % n;
                wave.set(j1, j2, std::polar(1.0, 2 * std::numbers::pi * double(phase) / n));
            }
        }
        const Image single = transformed(wave, -1, 1);
        const Image eight = transformed(wave, -1, 8);
        EXPECT_EQ(single.data, eight.data) << "n=" << n;
        const double scale = double(n) * n;
        double worst = 0;
        for (int k1 = 0; k1 < n; ++k1) {
            for (int k2 = 0; k2 < n; ++k2) {
                const std::complex<double> want = k1 == a && k2 == b ? scale : 0.0;
                worst = std::max(worst, std::abs(single.at(k1, k2) - want));
            }
        }
        EXPECT_LT(worst, 1e-9 * scale) << "n=" << n;
    }
}

// Several images at once: one host iteration per pass for all of them, and each image bitwise as
// it comes out alone.
TEST_F(ThreadedFFT2DTest, SeveralImagesAtOnceMatchOneAtATime) {
    for (int n : {1, 4, 16, 64}) {
        for (int threads : {1, 4, 8}) {
            for (int sign : {1, -1}) {
                std::vector<Image> images = {Image(n, 70 + n), Image(n, 71 + n), Image(n, 72 + n)};
                std::vector<Image> alone;
                for (const Image& image : images) alone.push_back(transformed(image, sign, threads));
                double** rows[3] = {images[0].rows.data(), images[1].rows.data(), images[2].rows.data()};
                AEGP_SuiteHandler suites(in_data_.pica_basicP);
                FFT2D fft(&in_data_, suites, threads, n);
                const size_t before = host().log().count("iterate_generic");
                ASSERT_EQ(fft.fft(sign, rows, 3), PF_Err_NONE);
                const size_t passes = host().log().count("iterate_generic") - before;
                EXPECT_EQ(passes, threads > 1 ? 2u : 0u) << "n=" << n << " threads=" << threads;
                for (size_t k = 0; k < images.size(); ++k) {
                    EXPECT_EQ(images[k].data, alone[k].data)
                        << "image " << k << " n=" << n << " threads=" << threads << " sign=" << sign;
                }
            }
        }
    }
}

// Bands of a caller's own split, uneven and not in groups of four: the rows of every band, then
// the column pass, give bitwise the whole transform; the columns of every band give bitwise the
// column pass; and columns first, then rows, is the same transform up to rounding.
TEST_F(ThreadedFFT2DTest, BandRangesMatchThePasses) {
    for (int n : {1, 2, 8, 16, 64, 256}) {
        for (int bands : {1, 3, 7}) {
            for (int sign : {1, -1}) {
                const Image image(n, 90 + n + bands);
                const std::string name =
                    "n=" + std::to_string(n) + " bands=" + std::to_string(bands) + " sign=" + std::to_string(sign);
                AEGP_SuiteHandler suites(in_data_.pica_basicP);
                FFT2D fft(&in_data_, suites, 4, n);
                auto eachBand = [&](Image& target, bool rows) {
                    double** images[1] = {target.rows.data()};
                    for (int i = 0; i < bands; ++i) {
                        const int first = n * i / bands;
                        const int end = n * (i + 1) / bands;
                        if (rows) {
                            fft.transformRowRange(sign, images, 1, first, end, i);
                        } else {
                            fft.transformColumnRange(sign, images, 1, first, end, i);
                        }
                    }
                };

                Image rowsThenPass(image);
                eachBand(rowsThenPass, true);
                double** rowsThenPassImages[1] = {rowsThenPass.rows.data()};
                ASSERT_EQ(fft.transformColumns(sign, rowsThenPassImages, 1), PF_Err_NONE);
                EXPECT_EQ(rowsThenPass.data, transformed(image, sign, 4).data) << name;

                Image columnBands(image);
                eachBand(columnBands, false);
                Image columnPass(image);
                double** columnPassImages[1] = {columnPass.rows.data()};
                ASSERT_EQ(fft.transformColumns(sign, columnPassImages, 1), PF_Err_NONE);
                EXPECT_EQ(columnBands.data, columnPass.data) << name;

                if (n <= 16) {
                    eachBand(columnBands, true);
                    EXPECT_LT(
                        FFTReference::relativeError(columnBands.data.data(), FFTReference::dft2(image.data, n, sign)),
                        1e-14)
                        << name;
                }
            }
        }
    }
}

TEST_F(ThreadedFFT2DTest, BandRangesAreClippedAndNeedAValidInit) {
    const int n = 16;
    const Image image(n, 12);
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    FFT2D fft(&in_data_, suites, 1, n);
    // Every row once, through ranges reaching past both ends and band numbers beyond those kept.
    Image clipped(image);
    double** clippedImages[1] = {clipped.rows.data()};
    fft.transformRowRange(1, clippedImages, 1, -5, 3, 0);
    fft.transformRowRange(1, clippedImages, 1, 3, n + 10, 500);
    fft.transformColumnRange(1, clippedImages, 1, -1, 9, 1000);
    fft.transformColumnRange(1, clippedImages, 1, 9, 400, 3);
    fft.transformColumnRange(1, clippedImages, 1, 20, 10, 3);
    EXPECT_LT(FFTReference::relativeError(clipped.data.data(), FFTReference::dft2(image.data, n, 1)), 1e-14);

    FFT2D unsized(&in_data_, suites, 1, 0);
    EXPECT_EQ(unsized.init(12), PF_Err_BAD_CALLBACK_PARAM);
    Image untouched(image);
    double** untouchedImages[1] = {untouched.rows.data()};
    unsized.transformRowRange(1, untouchedImages, 1, 0, n, 0);
    unsized.transformColumnRange(1, untouchedImages, 1, 0, n, 0);
    EXPECT_EQ(unsized.transformColumns(1, untouchedImages, 1), PF_Err_NONE);
    EXPECT_EQ(untouched.data, image.data);
}

}  // namespace
