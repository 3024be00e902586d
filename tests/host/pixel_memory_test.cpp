#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "host/sim/worlds.h"

namespace {

uintptr_t roundUp(uintptr_t value, uintptr_t step) { return (value + step - 1) / step * step; }

// Small buffers and ones large enough for huge pages place their guard differently; both must
// give every byte asked for, aligned, with the guard right after the last one.
class PixelMemoryTest : public testing::TestWithParam<size_t> {};

TEST_P(PixelMemoryTest, EveryByteIsWritableZeroedAndTheGuardFollowsTheLast) {
    const size_t size = GetParam();
    Sim::PixelMemory memory(size);
    ASSERT_NE(memory.data(), nullptr);
    EXPECT_EQ(memory.size(), size);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(memory.data()) % 16, 0u);
    const size_t step = 4093;  // a prime stride touches every page without writing all of them
    for (size_t at = 0; at < size; at += step) EXPECT_EQ(memory.data()[at], 0) << at;
    memory.data()[0] = 1;
    memory.data()[size - 1] = 1;

    const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const uintptr_t end = reinterpret_cast<uintptr_t>(memory.data()) + size;
    const uintptr_t guard = roundUp(end, page);
    EXPECT_LT(guard - end, 16u);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(*reinterpret_cast<volatile unsigned char*>(guard) = 1, "");
}

INSTANTIATE_TEST_SUITE_P(Sizes, PixelMemoryTest,
                         testing::Values(size_t{1}, size_t{4096}, size_t{33'177'600 + 7}, size_t{4} << 20),
                         testing::PrintToStringParamName());

}  // namespace
