/* Records of the two smart-render commands (pre-render and render). */
#ifndef MORVEL_HOST_SMART_RENDER_H
#define MORVEL_HOST_SMART_RENDER_H

#include "world.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS = 1, PF_RenderOutputFlag_GPU_RENDER_POSSIBLE = 2 };

typedef struct PF_RenderRequest {
    PF_LRect rect;
    int32_t field;
    int32_t channel_mask;
    PF_Boolean preserve_rgb_of_zero_alpha;
    uint8_t unused[3];
    int32_t reserved[4];
} PF_RenderRequest;

typedef struct PF_CheckoutResult {
    PF_LRect result_rect;
    PF_LRect max_result_rect;
    PF_RationalScale par;
    int32_t solid;
    PF_Boolean reserved_padding[3];
    int32_t ref_width;
    int32_t ref_height;
} PF_CheckoutResult;

typedef void (*PF_DeletePreRenderDataFunc)(void* pre_render_data);

typedef struct PF_PreRenderInput {
    PF_RenderRequest output_request;
    int16_t bitdepth;
    int16_t reserved;
} PF_PreRenderInput;

typedef struct PF_PreRenderOutput {
    PF_LRect result_rect;
    PF_LRect max_result_rect;
    PF_Boolean solid;
    PF_Boolean reserved;
    int16_t flags; /* PF_RenderOutputFlag_... */
    void* pre_render_data;
    PF_DeletePreRenderDataFunc delete_pre_render_data_func;
} PF_PreRenderOutput;

typedef struct PF_PreRenderCallbacks {
    PF_Err (*checkout_layer)(PF_ProgPtr effect_ref, int32_t index, int32_t checkout_id, const PF_RenderRequest* req,
                             int32_t what_time, int32_t time_step, uint32_t time_scale,
                             PF_CheckoutResult* checkout_result);
} PF_PreRenderCallbacks;

typedef struct PF_PreRenderExtra {
    PF_PreRenderInput* input;
    PF_PreRenderOutput* output;
    PF_PreRenderCallbacks* cb;
} PF_PreRenderExtra;

typedef struct PF_SmartRenderInput {
    PF_RenderRequest output_request;
    int16_t bitdepth;
    int16_t reserved;
    void* pre_render_data;
} PF_SmartRenderInput;

typedef struct PF_SmartRenderCallbacks {
    PF_Err (*checkout_layer_pixels)(PF_ProgPtr effect_ref, int32_t checkout_id, PF_LayerDef** pixels);
    PF_Err (*checkin_layer_pixels)(PF_ProgPtr effect_ref, int32_t checkout_id);
    PF_Err (*checkout_output)(PF_ProgPtr effect_ref, PF_LayerDef** output);
} PF_SmartRenderCallbacks;

typedef struct PF_SmartRenderExtra {
    PF_SmartRenderInput* input;
    PF_SmartRenderCallbacks* cb;
} PF_SmartRenderExtra;

#ifdef __cplusplus
}
#endif

#endif
