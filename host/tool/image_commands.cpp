#include <cstdio>
#include <string>
#include <vector>

#include "host/sim/image_io.h"
#include "host/tool/command.h"

namespace Tool {

namespace {

int image(const std::vector<std::string>& arguments);

const Command kImage{"image", "IN OUT", "load an image file as a layer and write it out again (.png, .exr)", image};

// The path a render takes through the host: file to layer world, host copy into an output world
// of the same depth, output world to file.
int image(const std::vector<std::string>& arguments) {
    if (!expectArguments(kImage, arguments, 2)) return 2;
    Sim::Host host;
    PF_EffectInstance effect;
    effect.host = &host;
    PF_InData in_data{};
    host.fillInData(in_data, &effect);
    PF_LayerDef* layer = host.worlds().adopt(Sim::loadImage(arguments[0]));
    PF_LayerDef* output = host.worlds().newHostWorld(layer->width, layer->height, layer->pixel_format);
    if (const PF_Err err = in_data.utils->copy(in_data.effect_ref, layer, output, nullptr, nullptr)) {
        return fail("copy failed with error " + std::to_string(err));
    }
    Sim::saveImage(arguments[1], *output);
    std::printf("%d x %d %s\n", output->width, output->height, Sim::formatName(output->pixel_format).c_str());
    return 0;
}

const Registration kRegisterImage(kImage);

}  // namespace

}  // namespace Tool
