#include "tiltshift/renderer.h"

#include "library/world/adapt_input.h"
#include "tiltshift/blur_pass.h"
#include "tiltshift/parameter_table.h"
#include "tiltshift/settings.h"

namespace TiltShift {

int Renderer::render() {
    std::shared_ptr<Morvel::World> framed = input;
    if (PF_Err err = Morvel::adaptInputToOutput(inData, outData, suites, bpc, framed, output)) return err;
    const Settings settings = makeSettings(values, inData, downsampleX, *output->world);
    switch (static_cast<FocusType>(values[rowOf(PARAM_TYPE)].value.i)) {
        case TYPE_RADIAL: return RadialBlurPass(inData, suites, bpc, framed, output, settings).run();
        case TYPE_LINEAR: return LinearBlurPass(inData, suites, bpc, framed, output, settings).run();
        default: return PF_Err_NONE;
    }
}

}  // namespace TiltShift
