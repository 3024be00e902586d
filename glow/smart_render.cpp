#include "glow/smart_render.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "Util/AEGP_SuiteHandler.h"
#include "Util/HostHandles.h"
#include "Util/Smart_Utils.h"
#include "glow/parameters.h"
#include "glow/render_setup.h"
#include "library/parameter/parameter.h"
#include "library/plugin/pre_render_data.h"
#include "morvel_host/aegp_project.h"

namespace Glow {

namespace {

using Morvel::Plugin::ParameterUnionValue;
using Morvel::Plugin::ParameterValue;

static_assert(PRE_RENDER_DATA_SIZE == PARAM_COUNT * sizeof(ParameterUnionValue));
static_assert(RENDER_VALUES_SIZE == PARAM_COUNT * sizeof(ParameterValue));

constexpr int GROW_BOUNDS_ROW = 87;

// Runs a clean-up when it goes, however the scope is left.
template <class CleanUp>
class OnExit {
public:
    explicit OnExit(CleanUp cleanUp) : cleanUp_(cleanUp) {}
    ~OnExit() { cleanUp_(); }
    OnExit(const OnExit&) = delete;
    OnExit& operator=(const OnExit&) = delete;

private:
    CleanUp cleanUp_;
};

// Product then truncating division, as the host scales the layer's size.
int32_t scaled(int32_t size, const PF_RationalScale& scale) {
    if (scale.den == 0) return size;
    const int64_t value = int64_t(size) * int64_t(scale.num) / int64_t(scale.den);
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void coverLayer(PF_LRect& rect, int32_t width, int32_t height) {
    rect.left = std::min(rect.left, 0);
    rect.top = std::min(rect.top, 0);
    rect.right = std::max(rect.right, width);
    rect.bottom = std::max(rect.bottom, height);
}

void cover(PF_LRect& rect, const PF_LRect& inner) {
    rect.left = std::min(rect.left, inner.left);
    rect.top = std::min(rect.top, inner.top);
    rect.right = std::max(rect.right, inner.right);
    rect.bottom = std::max(rect.bottom, inner.bottom);
}

bool isOn(const ParameterUnionValue& value) {
    unsigned char byte = 0;
    std::memcpy(&byte, &value, 1);
    return byte != 0;
}

// Text and shape layers draw beyond what the host reports as their content.
PF_Err growBounds(PF_InData* in_data, AEGP_SuiteHandler& suites, int32_t width, int32_t height,
                  PF_CheckoutResult& checkout) {
    AEGP_LayerH layer = nullptr;
    PF_Err err = suites.PFInterfaceSuite1()->AEGP_GetEffectLayer(in_data->effect_ref, &layer);
    if (err != PF_Err_NONE) return err;
    AEGP_ObjectType type = AEGP_ObjectType_NONE;
    err = suites.LayerSuite13()->AEGP_GetLayerObjectType(layer, &type);
    if ((type == AEGP_ObjectType_TEXT || type == AEGP_ObjectType_SHAPE) && !IsEmptyRect(&checkout.result_rect)) {
        coverLayer(checkout.result_rect, width, height);
        cover(checkout.max_result_rect, checkout.result_rect);
    }
    return err;
}

}  // namespace

PF_Err SmartPreRender(PF_InData* in_data, PF_OutData*, PF_PreRenderExtra* extra) {
    if (extra == nullptr || extra->input == nullptr || extra->output == nullptr || extra->cb == nullptr ||
        extra->cb->checkout_layer == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    void* data = nullptr;
    PF_Err err = Morvel::Plugin::createPreRenderData(suites, extra, PRE_RENDER_DATA_SIZE, &data);
    if (err != PF_Err_NONE) return err;
    auto* values = static_cast<ParameterUnionValue*>(data);
    if ((err = Morvel::Plugin::checkoutParams(in_data, PARAM_DEFS, PARAM_COUNT, values)) != PF_Err_NONE) return err;

    const int32_t width = scaled(in_data->width, in_data->downsample_x);
    const int32_t height = scaled(in_data->height, in_data->downsample_y);
    // The glow reaches in from everywhere, so the whole layer is wanted whatever the host asks.
    PF_RenderRequest request = extra->input->output_request;
    coverLayer(request.rect, width, height);
    request.preserve_rgb_of_zero_alpha = true;
    extra->output->flags |= PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS;

    PF_CheckoutResult checkout{};
    err = extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &request, in_data->current_time, in_data->time_step,
                                    in_data->time_scale, &checkout);
    if (err != PF_Err_NONE) return err;
    if (isOn(values[GROW_BOUNDS_ROW])) {
        if ((err = growBounds(in_data, suites, width, height, checkout)) != PF_Err_NONE) return err;
    }
    UnionLRect(&checkout.result_rect, &extra->output->result_rect);
    UnionLRect(&checkout.max_result_rect, &extra->output->max_result_rect);
    return PF_Err_NONE;
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
    return SmartRender(in_data, out_data, extra, MSmartRender);
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                   Morvel::Plugin::RenderEntry render) {
    if (in_data->global_data == nullptr || *in_data->global_data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const int pluginId = *reinterpret_cast<const AEGP_PluginID*>(*in_data->global_data);
    if (extra == nullptr || extra->input == nullptr) return PF_Err_BAD_CALLBACK_PARAM;

    AEGP_SuiteHandler suites(in_data->pica_basicP);
    const auto preRender = static_cast<PF_Handle>(extra->input->pre_render_data);
    const auto* stored =
        preRender != nullptr ? static_cast<const ParameterUnionValue*>(suites.HandleSuite2()->host_lock_handle(preRender))
                             : nullptr;
    if (stored == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    // The pre-render's own lock stays; the host's delete function ends it.
    const OnExit unlockPreRender([&] { HostUnlockHandle(in_data, preRender); });

    PF_Handle recordsHandle = HostNewHandle(in_data, RENDER_VALUES_SIZE);
    if (recordsHandle == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    const OnExit disposeRecords([&] { HostDisposeHandle(in_data, recordsHandle); });
    auto* records = static_cast<ParameterValue*>(HostLockHandle(in_data, recordsHandle));
    if (records == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    const OnExit unlockRecords([&] { HostUnlockHandle(in_data, recordsHandle); });

    for (int r = 0; r < PARAM_COUNT; ++r) {
        records[r] = ParameterValue{PARAM_DEFS[r].id, PARAM_DEFS[r].kind, stored[r]};
    }
    return render(pluginId, in_data, out_data, extra, records, false);
}

}  // namespace Glow
