#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <utility>

#include "fft_reference.h"
#include "library/fft/buffer.h"
#include "library/fft/fft2d.h"
#include "support/host_fixture.h"

using Morvel::FFT::Buffer;

namespace {

bool aligned64(const void* p) { return reinterpret_cast<uintptr_t>(p) % 64 == 0; }

TEST(FFTBuffer, LayoutIsRowsOfInterleavedPairsOverOneZeroedVector) {
    for (int size : {1, 2, 3, 4, 64, 256}) {
        Buffer buffer;
        ASSERT_TRUE(buffer.init(size)) << size;
        const size_t side = size_t(size);
        EXPECT_EQ(buffer.size(), size);
        ASSERT_EQ(buffer.count(), 2 * side * side) << size;
        EXPECT_TRUE(aligned64(buffer.data())) << size;
        for (int x = 0; x < size; ++x) {
            ASSERT_EQ(buffer.rows()[x], buffer.data() + 2 * side * size_t(x)) << size << " row " << x;
            ASSERT_EQ(buffer.row(x), buffer.rows()[x]);
        }
        for (size_t k = 0; k < buffer.count(); ++k) ASSERT_EQ(buffer.data()[k], 0.0) << size << " at " << k;
    }
}

TEST(FFTBuffer, RefusedSizesLeaveTheBufferAsItWas) {
    struct Case {
        const char* name;
        int size;
    } cases[] = {{"zero", 0}, {"negative", -4}, {"most negative", INT_MIN}, {"bytes past the address range", INT_MAX}};
    for (const auto& c : cases) {
        Buffer buffer;
        ASSERT_TRUE(buffer.init(4));
        buffer.row(3)[7] = 2.5;
        double* const before = buffer.data();
        EXPECT_FALSE(buffer.init(c.size)) << c.name;
        EXPECT_EQ(buffer.size(), 4) << c.name;
        EXPECT_EQ(buffer.data(), before) << c.name;
        EXPECT_EQ(buffer.row(3)[7], 2.5) << c.name;

        Buffer fresh;
        EXPECT_FALSE(fresh.init(c.size)) << c.name;
        EXPECT_TRUE(fresh.empty()) << c.name;
        EXPECT_EQ(fresh.rows(), nullptr) << c.name;
    }
}

TEST(FFTBuffer, AnotherSizeStartsFromZeroAndAMoveKeepsTheRows) {
    Buffer buffer;
    ASSERT_TRUE(buffer.init(8));
    buffer.row(7)[15] = 1.0;
    ASSERT_TRUE(buffer.init(16));
    EXPECT_EQ(buffer.count(), 2u * 16 * 16);
    for (size_t k = 0; k < buffer.count(); ++k) ASSERT_EQ(buffer.data()[k], 0.0) << k;

    buffer.row(5)[3] = 4.0;
    Buffer moved(std::move(buffer));
    EXPECT_EQ(moved.size(), 16);
    EXPECT_EQ(moved.row(5), moved.data() + 2 * 16 * 5);
    EXPECT_EQ(moved.row(5)[3], 4.0);
}

class FFTBufferTransformTest : public HostTest {};

// The buffer is what FFT2D transforms: its rows go straight in, and a transform there equals the
// direct one.
TEST_F(FFTBufferTransformTest, TransformsInPlaceLikeTheDirectDefinition) {
    const int n = 16;
    const std::vector<double> values = FFTReference::randomValues(2 * size_t(n) * n, 3);
    for (int threads : {1, 4}) {
        Buffer buffer;
        ASSERT_TRUE(buffer.init(n));
        std::copy(values.begin(), values.end(), buffer.data());
        AEGP_SuiteHandler suites(in_data_.pica_basicP);
        Morvel::FFT::FFT2D fft(&in_data_, suites, threads, n);
        ASSERT_EQ(fft.fft(1, buffer.rows()), PF_Err_NONE);
        EXPECT_LT(FFTReference::relativeError(buffer.data(), FFTReference::dft2(values, n, 1)), 1e-14)
            << "threads " << threads;
    }
}

}  // namespace
