#pragma once

#include "library/plugin/smart_renderer.h"

namespace TiltShift {

// Copies the layer to the output unchanged, placed by the worlds' origins; stands in for the
// blur until the blur passes exist.
class PassThroughRenderer : public Morvel::SmartRenderer {
public:
    using Morvel::SmartRenderer::SmartRenderer;
    int render() override;
};

using Renderer = PassThroughRenderer;

}  // namespace TiltShift
