#pragma once

#include <memory>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/stages/render_settings.h"
#include "glow/threshold_parameters.h"
#include "library/world/bpc.h"
#include "library/world/world.h"
#include "morvel_host/host.h"

namespace Glow {

// One glow render over worlds the render set-up has made ready: the input already has the
// output's size. Lives on the render's stack for one call of execute.
class Glow {
public:
    Glow(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
         std::shared_ptr<Morvel::World> input, std::shared_ptr<Morvel::World> output, GlowParameters* params);

    // The whole render; returns the first error. Every world made here goes when it returns.
    PF_Err execute();

    // The threshold stages' shared settings, copied from the render's.
    void setThresholdCommonParameters(ThresholdCommonParameters& common);

private:
    // The layer parameter's world in place of `world` when it has pixels; a world of another
    // size than the output is first scaled into one of the output's size.
    PF_Err useLayerParameter(int index, std::shared_ptr<Morvel::World>& world);
    // A preprocessing pass from source into a new world of the source's size, which replaces it.
    PF_Err preprocess(GlowParameters::Preprocessing& record, std::shared_ptr<Morvel::World>& source);
    PF_Err renderPreview(std::shared_ptr<Morvel::World>& source, std::shared_ptr<Morvel::World>& destination,
                         RenderingModeItem previewMode, int threads);
    PF_Err extractGlow(std::shared_ptr<Morvel::World>& source, std::shared_ptr<Morvel::World>& glow, int threads);
    PF_Err composite(std::shared_ptr<Morvel::World>& glow);
    // Transparent black, then the world over it in the normal mode at the opacity.
    PF_Err fillAndBlend(std::shared_ptr<Morvel::World>& world, double opacity);
    PF_Err blendWhole(std::shared_ptr<Morvel::World>& world, Morvel::BlendingMode mode, double opacity);

    PF_InData* in_data;
    PF_OutData* out_data;
    AEGP_SuiteHandler& suites;
    Morvel::Bpc bpc;
    std::shared_ptr<Morvel::World> input;
    std::shared_ptr<Morvel::World> output;
    GlowParameters* params;  // not owned
};

}  // namespace Glow
