#pragma once

#include <memory>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "library/filter/filter.h"
#include "library/world/bpc.h"
#include "library/world/world.h"
#include "tiltshift/pass_buffer.h"
#include "tiltshift/settings.h"

namespace TiltShift {

// One tilt-shift blur: a focus sampler fills the amount and colour buffers, then three rounds of
// vertical and horizontal box blurs (or, with nothing to blur, the compositor alone) write the
// output. Input and output must have the same size.
class BlurPass {
public:
    BlurPass(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, std::shared_ptr<Morvel::World> input,
             std::shared_ptr<Morvel::World> output, const Settings& settings);
    BlurPass(const BlurPass&) = delete;
    BlurPass& operator=(const BlurPass&) = delete;

protected:
    struct Direction {
        double cosine, sine;
    };
    // Of the settings' direction, by the host's cos and sin.
    Direction direction() const;
    // Runs the sampler and everything after it; the first error stops the pass.
    PF_Err runAfter(Morvel::Filter::FilterBase& sampler);

    PF_InData* in_data;
    AEGP_SuiteHandler& suites;
    Morvel::Bpc bpc;
    std::shared_ptr<Morvel::World> input;
    std::shared_ptr<Morvel::World> output;
    Settings settings;
    bool weighted;
    std::vector<double> weightTable;
    PassBuffer amounts;
    PassBuffer colours;
};

class RadialBlurPass : public BlurPass {
public:
    using BlurPass::BlurPass;
    PF_Err run();
};

class LinearBlurPass : public BlurPass {
public:
    using BlurPass::BlurPass;
    PF_Err run();
};

}  // namespace TiltShift
