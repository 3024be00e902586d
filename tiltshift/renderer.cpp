#include "tiltshift/renderer.h"

#include <algorithm>
#include <cstdint>

#include "tiltshift/blur_pass.h"
#include "tiltshift/parameters.h"
#include "tiltshift/settings.h"

namespace TiltShift {

PF_Err Renderer::inputInOutputFrame(std::shared_ptr<Morvel::World>& framed) {
    const PF_LayerDef& from = *input->world;
    const PF_LayerDef& to = *output->world;
    if (from.width == to.width && from.height == to.height && from.origin_x == to.origin_x &&
        from.origin_y == to.origin_y) {
        framed = input;
        return PF_Err_NONE;
    }
    // Outside the layer reads as transparent.
    if (PF_Err err = Morvel::createWorld(inData, outData, suites, bpc, to.width, to.height, true, framed)) return err;
    // The part of the output the layer covers, in the output's own coordinates.
    const int64_t dx = int64_t(to.origin_x) - from.origin_x;
    const int64_t dy = int64_t(to.origin_y) - from.origin_y;
    const int64_t left = std::max<int64_t>(0, -dx);
    const int64_t top = std::max<int64_t>(0, -dy);
    const int64_t right = std::min<int64_t>(to.width, from.width - dx);
    const int64_t bottom = std::min<int64_t>(to.height, from.height - dy);
    if (left >= right || top >= bottom) return PF_Err_NONE;
    const Morvel::Rect<int> source{int(left + dx), int(top + dy), int(right + dx), int(bottom + dy)};
    const Morvel::Rect<int> destination{int(left), int(top), int(right), int(bottom)};
    return Morvel::copy(inData, input, framed, source, destination);
}

int Renderer::render() {
    std::shared_ptr<Morvel::World> framed;
    if (PF_Err err = inputInOutputFrame(framed)) return err;
    const Settings settings = makeSettings(values, inData, downsampleX, *output->world);
    switch (static_cast<FocusType>(values[rowOf(PARAM_TYPE)].value.i)) {
    case TYPE_RADIAL:
        return RadialBlurPass(inData, suites, bpc, framed, output, settings).run();
    case TYPE_LINEAR:
        return LinearBlurPass(inData, suites, bpc, framed, output, settings).run();
    default:
        return PF_Err_NONE;
    }
}

}  // namespace TiltShift
