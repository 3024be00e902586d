#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "diffusion/preprocessor.h"
#include "glow/stages/glow_color.h"
#include "library/plugin/smart_renderer.h"
#include "library/world/world.h"

namespace Diffusion {

// "Blending Mode" item to blending mode; a "(-" separator maps like the item after it, any value
// outside the menu to Normal.
Morvel::BlendingMode toBlendingMode(int32_t item);

// One diffusion render: threshold, diffusion, colour details of source and diffusion layer, then
// the composite of the two.
class Renderer : public Morvel::SmartRenderer {
public:
    using Morvel::SmartRenderer::SmartRenderer;
    int render() override;

private:
    // The colour details of the group whose "Hue" is row `hueRow`.
    DetailParameters details(int hueRow) const;
    // Runs the detail stage from `from` into `to` (the same world for in place).
    PF_Err applyDetails(DetailParameters& settings, PF_LayerDef* from, PF_LayerDef* to);
    // Convolves the premultiplied (maybe weighted) buffer with the diffusion kernel, tile by
    // tile, into the diffusion layer as straight colour.
    PF_Err diffuse(Glow::Records<Glow::Color> buffer, PF_LayerDef* diffusion, bool weighted, double weightFactor);
    PF_Err composite(std::shared_ptr<Morvel::World>& source, std::shared_ptr<Morvel::World>& diffusion);
};

}  // namespace Diffusion
