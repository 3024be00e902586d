#pragma once

// One frame of smart rendering, as the host runs it: pre-render with the output request, an
// output world of what the effect can deliver of it, render, then the pre-render data deleted.
// Layers (the input and layer parameters) reach the effect at the frame's depth and resolution.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/sim/host.h"
#include "host/sim/worlds.h"

namespace Sim {

struct FrameRequest {
    // The output request at render resolution; unset asks for the whole layer.
    std::optional<PF_LRect> rect;
    int depth = 8;  // 8, 16 or 32 bits per channel
    PF_RationalScale downsampleX{1, 1};
    PF_RationalScale downsampleY{1, 1};
};

struct FrameResult {
    PF_Err preRenderErr = PF_Err_NONE;
    PF_Err renderErr = PF_Err_NONE;
    // The first of the two.
    PF_Err err() const { return preRenderErr != PF_Err_NONE ? preRenderErr : renderErr; }
    bool rendered = false;
    PF_LRect request{};
    // What pre-render answered.
    PF_LRect resultRect{};
    PF_LRect maxResultRect{};
    int16_t flags = 0;
    // The layer check-outs of pre-render, by checkout id order.
    std::vector<LayerCheckout> checkouts;
    // result ∩ request; the output world covers it, its origin at the rectangle's corner.
    PF_LRect outputRect{};
    Image output;
    // How often the effect's delete function ran (the host calls it once).
    int deletes = 0;
};

// A full-resolution length at a downsample factor, as effects compute it: length × num / den.
int32_t downsampled(int32_t length, PF_RationalScale scale);
PF_PixelFormat formatOfDepth(int depth);  // 0 for an unknown depth

bool isEmptyRect(const PF_LRect& r);
PF_LRect intersect(const PF_LRect& a, const PF_LRect& b);

// The layer's frame at the current frame's resolution (the whole layer outside a frame).
PF_LRect frameBounds(const PF_EffectInstance& effect, const PF_LayerDef& layer);

// The part `rect` (frame resolution) of a full-resolution layer, at the frame's depth, with its
// origin at the rectangle's corner; kept with the frame and dropped when it ends. Null for an
// empty rectangle or pixels the host does not know.
PF_LayerDef* frameWorld(Host& host, PF_EffectInstance& effect, const PF_LayerDef& layer, const PF_LRect& rect);

// A checked-out parameter as the frame delivers it: points at render resolution, layers at the
// frame's depth and resolution.
void deliverForFrame(Host& host, PF_EffectInstance& effect, int32_t index, PF_ParamDef& param);

// The ledger key of a layer check-out made within a frame.
std::string layerCheckoutKey(const PF_EffectInstance& effect, int32_t checkoutId);

// Drops what the host made for the frame and forgets its check-outs (and their ledger entries).
void endFrame(Host& host, PF_EffectInstance& effect);

}  // namespace Sim
