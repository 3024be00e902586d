#include "tiltshift/renderer.h"

#include <algorithm>
#include <cstdint>

namespace TiltShift {

int PassThroughRenderer::render() {
    const PF_LayerDef& from = *input->world;
    const PF_LayerDef& to = *output->world;
    // The part of the output the layer covers, in the output's own coordinates. Origins place
    // each world in the layer's frame.
    const int64_t dx = int64_t(to.origin_x) - from.origin_x;
    const int64_t dy = int64_t(to.origin_y) - from.origin_y;
    const int64_t left = std::max<int64_t>(0, -dx);
    const int64_t top = std::max<int64_t>(0, -dy);
    const int64_t right = std::min<int64_t>(to.width, from.width - dx);
    const int64_t bottom = std::min<int64_t>(to.height, from.height - dy);

    const bool coversOutput = left == 0 && top == 0 && right == to.width && bottom == to.height;
    if (!coversOutput) {
        if (PF_Err err = Morvel::fill(inData, output, Morvel::Color<float>(0.0f, 0.0f, 0.0f, 0.0f))) return err;
    }
    if (left >= right || top >= bottom) return PF_Err_NONE;
    const Morvel::Rect<int> source{int(left + dx), int(top + dy), int(right + dx), int(bottom + dy)};
    const Morvel::Rect<int> destination{int(left), int(top), int(right), int(bottom)};
    return Morvel::copy(inData, input, output, source, destination);
}

}  // namespace TiltShift
