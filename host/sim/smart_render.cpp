// Layer and output check-outs of the smart pre-render and render commands, over the worlds a test
// or the loader sets on the effect instance.

#include <algorithm>

#include "host/sim/frame.h"
#include "host/sim/host.h"
#include "host/sim/worlds.h"

namespace Sim {

namespace {

// The world of a layer parameter: index 0 is the layer the effect is applied to. Null pixels
// stand for a layer parameter set to no layer. False for an index that names no layer.
bool layerWorld(PF_EffectInstance& effect, int32_t index, PF_LayerDef** world) {
    if (index == 0) {
        *world = effect.inputLayer;
        return true;
    }
    if (index < 0 || size_t(index) >= effect.values.size()) return false;
    PF_ParamDef& param = effect.values[size_t(index)];
    if (param.param_type != PF_Param_LAYER) return false;
    *world = param.u.ld.data != nullptr ? &param.u.ld : nullptr;
    return true;
}

PF_Err checkoutLayer(PF_ProgPtr effect_ref, int32_t index, int32_t checkout_id, const PF_RenderRequest* req,
                     int32_t what_time, int32_t time_step, uint32_t time_scale, PF_CheckoutResult* checkout_result) {
    Host& host = Host::current();
    host.log().add("checkout_layer " + std::to_string(index) + " id " + std::to_string(checkout_id) + " at " +
                   std::to_string(what_time) + "/" + std::to_string(time_scale) + " step " + std::to_string(time_step));
    if (PF_Err err = host.faults().onCall("checkout_layer")) return err;
    if (effect_ref == nullptr || req == nullptr || checkout_result == nullptr || checkout_id < 0 || time_scale == 0) {
        host.log().add("error: checkout_layer: bad arguments");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_EffectInstance& effect = *effect_ref;
    PF_LayerDef* world = nullptr;
    if (!layerWorld(effect, index, &world)) {
        host.log().add("error: checkout_layer: parameter " + std::to_string(index) + " is not a layer");
        return PF_Err_INVALID_INDEX;
    }
    // What the layer can deliver at the frame's resolution: a text or shape layer only its content.
    PF_LRect bounds = world != nullptr ? frameBounds(effect, *world) : PF_LRect{0, 0, 0, 0};
    if (index == 0 && effect.hasContentBounds) {
        const FrameState& frame = effect.frame;
        const PF_RationalScale sx = frame.active ? frame.downsampleX : PF_RationalScale{1, 1};
        const PF_RationalScale sy = frame.active ? frame.downsampleY : PF_RationalScale{1, 1};
        const PF_LRect& content = effect.contentBounds;
        bounds = intersect(bounds, {downsampled(content.left, sx), downsampled(content.top, sy),
                                    downsampled(content.right, sx), downsampled(content.bottom, sy)});
    }
    *checkout_result = PF_CheckoutResult{};
    checkout_result->result_rect = intersect(req->rect, bounds);
    checkout_result->max_result_rect = bounds;
    checkout_result->par = {1, 1};
    checkout_result->ref_width = world != nullptr ? world->width : 0;
    checkout_result->ref_height = world != nullptr ? world->height : 0;
    // Within a frame the check-outs are in the ledger until the frame ends, when the host takes
    // them back itself.
    if (effect.frame.active && effect.layerCheckouts.count(checkout_id) == 0) {
        host.ledger().acquire("layer checkout", layerCheckoutKey(effect, checkout_id),
                              "parameter " + std::to_string(index));
    }
    LayerCheckout& checkout = effect.layerCheckouts[checkout_id];
    checkout = LayerCheckout{};
    checkout.index = index;
    checkout.request = *req;
    checkout.result = *checkout_result;
    return PF_Err_NONE;
}

// Outside a frame the layer's own world is handed out as it is; within one, the checked-out
// rectangle at the frame's depth and resolution, with its origin (null when nothing was found).
PF_Err checkoutLayerPixels(PF_ProgPtr effect_ref, int32_t checkout_id, PF_LayerDef** pixels) {
    Host& host = Host::current();
    host.log().add("checkout_layer_pixels id " + std::to_string(checkout_id));
    if (pixels != nullptr) *pixels = nullptr;
    if (PF_Err err = host.faults().onCall("checkout_layer_pixels")) return err;
    if (effect_ref == nullptr || pixels == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    auto found = effect_ref->layerCheckouts.find(checkout_id);
    if (found == effect_ref->layerCheckouts.end()) {
        host.log().add("error: checkout_layer_pixels: id " + std::to_string(checkout_id) +
                       " was not checked out at pre-render");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    LayerCheckout& checkout = found->second;
    PF_LayerDef* world = nullptr;
    if (!layerWorld(*effect_ref, checkout.index, &world)) return PF_Err_INVALID_INDEX;
    if (!effect_ref->frame.active) {
        *pixels = world;
        return PF_Err_NONE;
    }
    if (!checkout.pixelsMade) {
        checkout.pixels =
            world != nullptr ? frameWorld(host, *effect_ref, *world, checkout.result.result_rect) : nullptr;
        checkout.pixelsMade = true;
    }
    *pixels = checkout.pixels;
    return PF_Err_NONE;
}

// The host gives the pixels back itself at the end of the render; checking them in earlier is
// allowed for ids that were checked out.
PF_Err checkinLayerPixels(PF_ProgPtr effect_ref, int32_t checkout_id) {
    Host& host = Host::current();
    host.log().add("checkin_layer_pixels id " + std::to_string(checkout_id));
    if (PF_Err err = host.faults().onCall("checkin_layer_pixels")) return err;
    if (effect_ref == nullptr || effect_ref->layerCheckouts.count(checkout_id) == 0) return PF_Err_BAD_CALLBACK_PARAM;
    return PF_Err_NONE;
}

PF_Err checkoutOutput(PF_ProgPtr effect_ref, PF_LayerDef** output) {
    Host& host = Host::current();
    host.log().add("checkout_output");
    if (output != nullptr) *output = nullptr;
    if (PF_Err err = host.faults().onCall("checkout_output")) return err;
    if (effect_ref == nullptr || output == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (effect_ref->outputWorld == nullptr) {
        host.log().add("error: checkout_output: the effect instance has no output world");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    *output = effect_ref->outputWorld;
    return PF_Err_NONE;
}

PF_PreRenderCallbacks preRender = {checkoutLayer};
PF_SmartRenderCallbacks smartRender = {checkoutLayerPixels, checkinLayerPixels, checkoutOutput};

}  // namespace

PF_PreRenderCallbacks* preRenderCallbacks() { return &preRender; }
PF_SmartRenderCallbacks* smartRenderCallbacks() { return &smartRender; }

}  // namespace Sim
