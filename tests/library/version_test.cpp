#include <gtest/gtest.h>

#include "library/default/default.h"

namespace {

using Morvel::Default::Version;

TEST(Version, PacksIntoTheHostsVersionWord) {
    struct Case {
        const char* label;
        Version version;
        uint32_t packed;
    } cases[] = {
        {"glow 1.0.0 stage 3", {1, 0, 0, 3, 0}, 0x80600},
        {"every field full", {7, 15, 15, 3, 511}, 0x3FFFFF},
        {"one past every field is cut, not carried", {8, 16, 16, 4, 512}, 0},
        {"build only", {0, 0, 0, 0, 0x1FF}, 0x1FF},
        {"negative fields keep their low bits", {-1, 0, 0, 0, 0}, 7u << 19},
    };
    for (const Case& c : cases) EXPECT_EQ(c.version.packed(), c.packed) << c.label;
}

TEST(Version, FieldsComeBackFromTheirBits) {
    for (int major = 0; major < 8; ++major) {
        for (int minor = 0; minor < 16; minor += 5) {
            for (int bug = 0; bug < 16; bug += 3) {
                for (int stage = 0; stage < 4; ++stage) {
                    for (int build : {0, 1, 256, 511}) {
                        const uint32_t word = Version{major, minor, bug, stage, build}.packed();
                        EXPECT_EQ(static_cast<int>(word >> 19), major);
                        EXPECT_EQ(static_cast<int>((word >> 15) & 15), minor);
                        EXPECT_EQ(static_cast<int>((word >> 11) & 15), bug);
                        EXPECT_EQ(static_cast<int>((word >> 9) & 3), stage);
                        EXPECT_EQ(static_cast<int>(word & 511), build);
                    }
                }
            }
        }
    }
}

}  // namespace
