#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "Util/Smart_Utils.h"

namespace {

std::vector<PF_LRect> smallRects() {
    std::vector<PF_LRect> rects;
    for (int l = -1; l <= 2; ++l)
        for (int t = -1; t <= 2; ++t)
            for (int r = -1; r <= 2; ++r)
                for (int b = -1; b <= 2; ++b) rects.push_back({l, t, r, b});
    return rects;
}

bool same(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool holdsPixel(const PF_LRect& r, int x, int y) { return r.left <= x && x < r.right && r.top <= y && y < r.bottom; }

TEST(Rectangles, EmptyMeansNoPixelInside) {
    for (const PF_LRect& r : smallRects()) {
        bool anyPixel = false;
        for (int x = -2; x <= 3; ++x)
            for (int y = -2; y <= 3; ++y) anyPixel |= holdsPixel(r, x, y);
        EXPECT_EQ(IsEmptyRect(&r), !anyPixel) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
    const PF_LRect huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    EXPECT_FALSE(IsEmptyRect(&huge));
}

TEST(Rectangles, UnionOfNonEmptyIsTheBoundingBoxOfBothPixelSets) {
    const auto rects = smallRects();
    for (const PF_LRect& a : rects) {
        for (const PF_LRect& b : rects) {
            if (IsEmptyRect(&a) || IsEmptyRect(&b)) continue;
            // Bounding box of the pixels of both, found by visiting them.
            PF_LRect box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
            for (int x = -2; x <= 3; ++x) {
                for (int y = -2; y <= 3; ++y) {
                    if (!holdsPixel(a, x, y) && !holdsPixel(b, x, y)) continue;
                    box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                           std::max(box.bottom, y + 1)};
                }
            }
            PF_LRect dst = b;
            UnionLRect(&a, &dst);
            EXPECT_TRUE(same(dst, box));
        }
    }
}

TEST(Rectangles, UnionWithEmptyRectangles) {
    struct Case {
        const char* label;
        PF_LRect src, dst, expected;
    } cases[] = {
        {"empty dst takes a non-empty src", {1, 2, 5, 6}, {0, 0, 0, 0}, {1, 2, 5, 6}},
        {"empty dst takes an empty src unchanged", {7, 8, 3, 9}, {0, 0, 0, 0}, {7, 8, 3, 9}},
        {"empty src leaves dst", {4, 4, 4, 9}, {1, 2, 3, 4}, {1, 2, 3, 4}},
        {"inverted dst counts as empty", {0, 0, 2, 2}, {5, 5, 1, 1}, {0, 0, 2, 2}},
    };
    for (const Case& c : cases) {
        PF_LRect dst = c.dst;
        UnionLRect(&c.src, &dst);
        EXPECT_TRUE(same(dst, c.expected)) << c.label;
    }
}

TEST(Rectangles, EdgePixelsAreTheClosedOutline) {
    for (PF_LRect r : smallRects()) {
        if (r.left > r.right || r.top > r.bottom) continue;
        for (int x = -3; x <= 4; ++x) {
            for (int y = -3; y <= 4; ++y) {
                // On the closed rectangle [left, right] x [top, bottom] but not strictly inside it.
                const bool closed = r.left <= x && x <= r.right && r.top <= y && y <= r.bottom;
                const bool interior = r.left < x && x < r.right && r.top < y && y < r.bottom;
                EXPECT_EQ(IsEdgePixel(&r, x, y), closed && !interior)
                    << "(" << x << "," << y << ") on " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
            }
        }
    }
}

TEST(Rectangles, EdgePixelCorners) {
    PF_LRect r{10, 20, 30, 40};
    EXPECT_TRUE(IsEdgePixel(&r, 30, 40));
    EXPECT_TRUE(IsEdgePixel(&r, 10, 20));
    EXPECT_FALSE(IsEdgePixel(&r, 9, 20));
    EXPECT_FALSE(IsEdgePixel(&r, 20, 30));
}

}  // namespace
