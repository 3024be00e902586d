// Strokes recorded on a window's surface, painted: where a pen of a width reaches and where not.

#include <gtest/gtest.h>

#include "host/sim/surface_paint.h"
#include "host/sim/windows.h"
#include "support/host_fixture.h"

namespace {

class SurfacePaintTest : public HostTest {};

TEST_F(SurfacePaintTest, APenCoversItsWidthAlongThePathAndNothingElse) {
    Sim::ViewWindow window(host(), PF_Window_LAYER, nullptr);
    // A red horizontal line 4 wide through y = 10, and a green closed square.
    window.record({"StrokePath", {1, 0, 0, 1, 4}, {}, {{'M', {2, 10}}, {'L', {30, 10}}}});
    window.record({"StrokePath", {0, 1, 0, 1, 1}, {}, {{'M', {40, 5}}, {'L', {50, 5}}, {'L', {50, 15}}, {'Z', {}}}});
    window.record({"DrawString", {1, 1, 1, 1}, u"ignored", {}});
    Sim::Image image(64, 20, PF_PixelFormat_ARGB32);
    Sim::paintStrokes(window, image);

    struct Case {
        const char* name;
        int x, y;
        PF_Pixel expected;
    };
    const Case cases[] = {
        {"on the line", 15, 9, {255, 255, 0, 0}},
        {"within half the width", 15, 11, {255, 255, 0, 0}},
        {"beyond half the width", 15, 13, {0, 0, 0, 0}},
        {"beyond the line's end", 33, 9, {0, 0, 0, 0}},
        {"the square's closing edge", 44, 9, {255, 0, 255, 0}},
        {"inside the square, not stroked", 47, 9, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const PF_Pixel& p = image.at<PF_Pixel>(c.x, c.y);
        EXPECT_EQ(p.alpha, c.expected.alpha) << c.name;
        EXPECT_EQ(p.red, c.expected.red) << c.name;
        EXPECT_EQ(p.green, c.expected.green) << c.name;
        EXPECT_EQ(p.blue, c.expected.blue) << c.name;
    }
    Sim::Image deep(4, 4, PF_PixelFormat_ARGB64);
    EXPECT_THROW(Sim::paintStrokes(window, deep), std::invalid_argument);
}

}  // namespace
