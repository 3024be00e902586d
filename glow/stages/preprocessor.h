#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/stages/render_settings.h"
#include "library/filter/filter.h"
#include "library/utility/color.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

namespace Glow {

// Whether a stage differs from identity by 0.0001 or more.
bool doColorLevels(double black, double white, double gamma);
bool doAlphaLevels(double black, double white);
bool doHls(Morvel::Color<float> hls);

// A level curve x·slope + offset (then a gamma for colour), in single precision as the tables
// and the float path share it. Black and white are fractions of full scale.
struct LevelCoefficients {
    float slope;
    float offset;
    float inverseGamma;
};
LevelCoefficients levelCoefficients(double black, double white, double gamma);

// The colour level curve after the slope and offset, as float pixels take it: x floored at 0 and
// no upper clamp (float colour may exceed 1; integer depths clamp x to 1 first), then the gamma
// through `pow`. The result stops at the largest float: a steep gamma on over-range colour would
// otherwise give infinities, which later arithmetic turns into NaN. Inline: it runs per channel
// in the preprocessor's and the outputter's pixel loops.
inline double floatColorLevel(double x, double inverseGamma, double (*pow)(double, double)) {
    return std::min(pow(std::max(x, 0.0), inverseGamma), static_cast<double>(std::numeric_limits<float>::max()));
}

// Level tables indexed by the raw channel value: 256 entries, or 65536 of which 0..32768 are
// filled and the rest 0. Colour tables clamp the normalised input to [0, 1] and apply the gamma;
// alpha tables have no gamma.
std::vector<uint8_t> colorLevelTable8(double black, double white, double gamma);
std::vector<uint16_t> colorLevelTable16(double black, double white, double gamma);
std::vector<uint8_t> alphaLevelTable8(double black, double white);
std::vector<uint16_t> alphaLevelTable16(double black, double white);

// The mask factor of pixel (x, y), stored in a; returns the host's error code.
using MaskFunc = std::function<PF_Err(int x, int y, double& a)>;

// Prepares the glow source: hue/lightness/saturation, mask, alpha levels and colour levels, in
// that order. Pixels whose alpha is (or becomes) zero are not written. Tables and the mask are
// built at construction and only read by the bands.
class Preprocessor : public Morvel::Filter::Filter<GlowParameters::Preprocessing> {
public:
    // The record, the worlds and the handler must outlive the object. A missing sampling suite
    // for a layer mask is raised here, on the render's thread.
    Preprocessor(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* source,
                 PF_LayerDef* destination, GlowParameters::Preprocessing* params);

    // The first mask error of the band, or 0.
    PF_Err filter8(const Morvel::Rect<int>& rect, bool first) override;
    PF_Err filter16(const Morvel::Rect<int>& rect, bool first) override;
    PF_Err filter32(const Morvel::Rect<int>& rect, bool first) override;

private:
    MaskFunc createMaskFunc();
    void init8();
    void init16();
    // The mask at (x, y); 0 once the band's mask has failed, and from the failing call on.
    double maskFactor(int x, int y, PF_Err& bandErr) const;

    template <typename Pixel>
    PF_Err filterWithTables(const Morvel::Rect<int>& rect, const std::vector<decltype(Pixel{}.alpha)>& colorTable,
                            const std::vector<decltype(Pixel{}.alpha)>& alphaTable);

    bool hlsOn;
    bool colorLevelsOn;
    std::vector<uint8_t> colorTable8;
    std::vector<uint16_t> colorTable16;
    bool alphaLevelsOn;
    std::vector<uint8_t> alphaTable8;
    std::vector<uint16_t> alphaTable16;
    bool useMask;
    MaskFunc maskFunc;
    // The float path computes the levels directly.
    LevelCoefficients colorLevels;
    LevelCoefficients alphaLevels;
    double (*hostPow)(double, double);
};

}  // namespace Glow
