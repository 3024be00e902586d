#include <gtest/gtest.h>

#include <algorithm>

#include "glow/stages/kernel_size.h"

namespace {

TEST(KernelSize, FollowsTheDoublingRule) {
    struct Case {
        const char* name;
        int radius, width, height, expected;
    } cases[] = {
        {"nothing", 0, 0, 0, 256},
        {"default radius on full HD", 20, 1920, 1080, 256},
        {"radius 200 on a square", 200, 1920, 1920, 1024},
        {"radius 200 on full HD", 200, 1920, 1080, 1024},
        {"huge radius on a small image", 1000, 100, 100, 4096},
        {"three radii just fit 256", 85, 4000, 4000, 256},
        {"three radii just above 256", 86, 4000, 4000, 512},
        {"one tile holds the image though three radii do not", 100, 50, 10, 256},
        {"image with border reaches 256 exactly", 86, 83, 10, 512},
        {"tile covers image", 200, 300, 200, 1024},
        {"radius beyond 32-bit sums", 1 << 30, 1 << 30, 1, 1 << 30},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Glow::getKernelSize(c.radius, c.width, c.height), c.expected) << c.name;
    }
}

// Independent check of the two properties the tiling needs: the tile keeps a positive step, and
// either holds three radii or the whole image with its border.
TEST(KernelSize, LeavesRoomForTheTiles) {
    for (int radius : {0, 1, 19, 20, 85, 86, 200, 1000, 5000}) {
        for (int side : {1, 100, 255, 1080, 1920, 6000}) {
            const int size = Glow::getKernelSize(radius, side, side / 2);
            EXPECT_GT(size - 2 * radius, 0) << radius << " " << side;
            EXPECT_TRUE(size >= 3 * radius || size > side + 2 * radius + 1) << radius << " " << side;
            EXPECT_EQ(size & (size - 1), 0) << "power of two";
        }
    }
}

}  // namespace
