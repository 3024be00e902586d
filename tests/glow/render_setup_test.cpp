#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/render_setup.h"
#include "host/sim/worlds.h"
#include "support/host_fixture.h"

namespace {

class GlowAdaptInput : public HostTest {};

// Each input pixel carries its own position, so a misplaced copy shows.
template <typename Pixel>
Pixel marker(int x, int y) {
    if constexpr (sizeof(Pixel) == sizeof(PF_PixelFloat)) {
        return Pixel{1.0f, float(x) / 64.0f, float(y) / 64.0f, 0.5f};
    } else {
        return Pixel{decltype(Pixel::alpha)(200), decltype(Pixel::red)(x + 1), decltype(Pixel::green)(y + 1), 7};
    }
}

template <typename Pixel>
bool same(const Pixel& a, const Pixel& b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

template <typename Pixel>
void checkPlacement(Sim::Host& host, PF_InData& in_data, PF_OutData& out_data, PF_PixelFormat format, Morvel::Bpc bpc) {
    struct Case {
        const char* name;
        int inWidth, inHeight, inX, inY;
        int outWidth, outHeight, outX, outY;
    } cases[] = {
        {"larger output with extra pixels around", 10, 8, 0, 0, 16, 12, -3, -2},
        {"same size, other origin", 10, 8, 4, 1, 10, 8, 0, 0},
        {"input reaching out to the left", 10, 8, -5, 0, 12, 8, 0, 0},
        {"no overlap", 4, 4, 20, 20, 8, 8, 0, 0},
        {"smaller output", 12, 12, 0, 0, 6, 5, 3, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AEGP_SuiteHandler suites(in_data.pica_basicP);
        PF_LayerDef* in = host.worlds().newHostWorld(c.inWidth, c.inHeight, format);
        PF_LayerDef* out = host.worlds().newHostWorld(c.outWidth, c.outHeight, format);
        in->origin_x = c.inX;
        in->origin_y = c.inY;
        out->origin_x = c.outX;
        out->origin_y = c.outY;
        Sim::Image& source = *host.worlds().hostImage(in);
        for (int y = 0; y < c.inHeight; ++y) {
            for (int x = 0; x < c.inWidth; ++x) source.at<Pixel>(x, y) = marker<Pixel>(x, y);
        }
        {
            auto input = std::make_shared<Morvel::World>(in);
            const auto output = std::make_shared<Morvel::World>(out);
            ASSERT_EQ(Glow::adaptInputToOutput(&in_data, &out_data, suites, bpc, input, output), PF_Err_NONE);
            ASSERT_NE(input->world, in);
            const PF_LayerDef& adapted = *input->world;
            ASSERT_EQ(adapted.width, c.outWidth);
            ASSERT_EQ(adapted.height, c.outHeight);
            const int dx = c.inX - c.outX;
            const int dy = c.inY - c.outY;
            for (int y = 0; y < c.outHeight; ++y) {
                const auto* row = reinterpret_cast<const Pixel*>(static_cast<const char*>(adapted.data) +
                                                                 ptrdiff_t(y) * adapted.rowbytes);
                for (int x = 0; x < c.outWidth; ++x) {
                    const int sx = x - dx;
                    const int sy = y - dy;
                    const bool inside = sx >= 0 && sy >= 0 && sx < c.inWidth && sy < c.inHeight;
                    const Pixel expected = inside ? marker<Pixel>(sx, sy) : Pixel{};
                    ASSERT_TRUE(same(row[x], expected)) << "at " << x << ", " << y;
                }
            }
        }
        host.worlds().drop(in);
        host.worlds().drop(out);
    }
}

TEST_F(GlowAdaptInput, TheInputLandsAtTheOriginsDifferenceAndTheRestIsTransparent) {
    checkPlacement<PF_Pixel>(host(), in_data_, out_data_, PF_PixelFormat_ARGB32, Morvel::Bpc8);
    checkPlacement<PF_Pixel16>(host(), in_data_, out_data_, PF_PixelFormat_ARGB64, Morvel::Bpc16);
    checkPlacement<PF_PixelFloat>(host(), in_data_, out_data_, PF_PixelFormat_ARGB128, Morvel::Bpc32);
}

TEST_F(GlowAdaptInput, AgreeingWorldsAreUsedAsTheyAre) {
    AEGP_SuiteHandler suites(in_data_.pica_basicP);
    PF_LayerDef* in = host().worlds().newHostWorld(6, 6, PF_PixelFormat_ARGB32);
    PF_LayerDef* out = host().worlds().newHostWorld(6, 6, PF_PixelFormat_ARGB32);
    in->origin_x = out->origin_x = 2;
    auto input = std::make_shared<Morvel::World>(in);
    const auto output = std::make_shared<Morvel::World>(out);
    host().log().clear();
    EXPECT_EQ(Glow::adaptInputToOutput(&in_data_, &out_data_, suites, Morvel::Bpc8, input, output), PF_Err_NONE);
    EXPECT_EQ(input->world, in);
    EXPECT_TRUE(host().log().lines().empty());
    host().worlds().drop(in);
    host().worlds().drop(out);
}

}  // namespace
