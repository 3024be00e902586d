#pragma once

#include "library/plugin/smart_renderer.h"

namespace TiltShift {

// The tilt-shift's smart render: brings the layer to the output's frame, then runs the blur pass
// of the focus "Type".
class Renderer : public Morvel::SmartRenderer {
public:
    using Morvel::SmartRenderer::SmartRenderer;
    int render() override;
};

}  // namespace TiltShift
