#include "library/plugin/whole_layer_pre_render.h"

#include <cstdint>

#include "Util/AEGP_SuiteHandler.h"
#include "Util/Smart_Utils.h"
#include "library/parameter/parameter.h"
#include "library/plugin/pre_render_data.h"

namespace Morvel::Plugin {

namespace {

// A layer length at the render's downsample. The product is divided as an unsigned number, as
// the effects always have; the caller has made sure the denominator is not 0.
int32_t downsampled(int32_t length, const PF_RationalScale& scale) {
    return static_cast<int32_t>(static_cast<uint32_t>(length) * static_cast<uint32_t>(scale.num) / scale.den);
}

void coverFrame(PF_LRect& rect, int32_t width, int32_t height) {
    if (rect.left > 0) rect.left = 0;
    if (rect.top > 0) rect.top = 0;
    if (rect.right < width) rect.right = width;
    if (rect.bottom < height) rect.bottom = height;
}

bool growsToFrame(AEGP_ObjectType type) { return type == AEGP_ObjectType_TEXT || type == AEGP_ObjectType_SHAPE; }

}  // namespace

PF_Err preRenderWholeLayer(PF_InData* in_data, PF_PreRenderExtra* extra, const ParameterDef* rows, int count,
                           int growBoundsRow) {
    if (in_data == nullptr || extra == nullptr || extra->input == nullptr || extra->output == nullptr ||
        extra->cb == nullptr || extra->cb->checkout_layer == nullptr || rows == nullptr || count <= 0 ||
        growBoundsRow < 0 || growBoundsRow >= count || in_data->downsample_x.den == 0 ||
        in_data->downsample_y.den == 0) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    void* data = nullptr;
    if (PF_Err err = createPreRenderData(suites, extra, size_t(count) * sizeof(ParameterUnionValue), &data)) {
        return err;
    }
    auto* values = static_cast<ParameterUnionValue*>(data);
    if (PF_Err err = checkoutParams(in_data, rows, count, values)) return err;

    const int32_t width = downsampled(in_data->width, in_data->downsample_x);
    const int32_t height = downsampled(in_data->height, in_data->downsample_y);
    PF_RenderRequest request = extra->input->output_request;
    coverFrame(request.rect, width, height);
    request.preserve_rgb_of_zero_alpha = true;
    extra->output->flags |= PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS;

    PF_CheckoutResult checkout{};
    if (PF_Err err = extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &request, in_data->current_time,
                                               in_data->time_step, in_data->time_scale, &checkout)) {
        return err;
    }
    PF_LRect result = checkout.result_rect;
    PF_LRect maxResult = checkout.max_result_rect;
    if (values[growBoundsRow].b) {
        AEGP_LayerH layer = nullptr;
        if (PF_Err err = suites.PFInterfaceSuite1()->AEGP_GetEffectLayer(in_data->effect_ref, &layer)) return err;
        AEGP_ObjectType type = AEGP_ObjectType_NONE;
        const PF_Err err = suites.LayerSuite13()->AEGP_GetLayerObjectType(layer, &type);
        if (growsToFrame(type) && !IsEmptyRect(&result)) {
            coverFrame(result, width, height);
            UnionLRect(&result, &maxResult);
        }
        if (err != PF_Err_NONE) return err;
    }
    UnionLRect(&result, &extra->output->result_rect);
    UnionLRect(&maxResult, &extra->output->max_result_rect);
    return PF_Err_NONE;
}

}  // namespace Morvel::Plugin
