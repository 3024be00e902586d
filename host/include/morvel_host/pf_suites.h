/* Effect-side suites ("PF ..."), acquired through the basic suite by name and version. */
#ifndef MORVEL_HOST_PF_SUITES_H
#define MORVEL_HOST_PF_SUITES_H

#include "effect.h"
#include "event.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion2 2

typedef struct PF_HandleSuite2 {
    PF_Handle (*host_new_handle)(uint64_t size);
    void* (*host_lock_handle)(PF_Handle handle);
    void (*host_unlock_handle)(PF_Handle handle);
    void (*host_dispose_handle)(PF_Handle handle);
    uint64_t (*host_get_handle_size)(PF_Handle handle);
    PF_Err (*host_resize_handle)(uint64_t new_size, PF_Handle* handle);
} PF_HandleSuite2;

#define kPFWorldSuite "PF World Suite"
#define kPFWorldSuiteVersion1 1
#define kPFWorldSuiteVersion2 2

typedef struct PF_WorldSuite1 {
    /* flags: PF_NewWorldFlag_... */
    PF_Err (*new_world)(PF_ProgPtr effect_ref, int32_t width, int32_t height, int32_t flags, PF_LayerDef* world);
    PF_Err (*dispose_world)(PF_ProgPtr effect_ref, PF_LayerDef* world);
} PF_WorldSuite1;

typedef struct PF_WorldSuite2 {
    PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, int32_t width, int32_t height, PF_Boolean clear_pix,
                          PF_PixelFormat pixel_format, PF_LayerDef* world);
    PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_LayerDef* world);
    PF_Err (*PF_GetPixelFormat)(const PF_LayerDef* world, PF_PixelFormat* pixel_format);
} PF_WorldSuite2;

#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion2 2

typedef struct PF_ParamUtilsSuite2 {
    /* Replaces the UI state (flags, name) of the parameter at param_index with that of def. */
    PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, int32_t param_index, const PF_ParamDef* def);
} PF_ParamUtilsSuite2;

#define kPFIterate8Suite "PF Iterate8 Suite"
#define kPFIterate8SuiteVersion1 1

/* Iteration count for "one iteration per processor". */
#define PF_Iterations_ONCE_PER_PROCESSOR (-1)

typedef PF_Err (*PF_IterateGenericFunc)(void* refcon, int32_t thread_index, int32_t i, int32_t iterations);

typedef struct PF_Iterate8Suite1 {
    /* Runs fn for i = 0 .. iterations-1 on the host's threads; the first error is the result.
       With PF_Iterations_ONCE_PER_PROCESSOR the host runs one iteration per processor. */
    PF_Err (*iterate_generic)(int32_t iterations, void* refcon, PF_IterateGenericFunc fn);
} PF_Iterate8Suite1;

#define kPFSampling8Suite "PF Sampling8 Suite"
#define kPFSampling16Suite "PF Sampling16 Suite"
#define kPFSamplingFloatSuite "PF SamplingFloat Suite"
#define kPFSamplingSuiteVersion1 1

enum { PF_SampleEdgeBehav_ZERO = 0 };

typedef struct PF_SampPB {
    PF_Fixed x_radius; /* zero radii sample at a point */
    PF_Fixed y_radius;
    PF_Fixed area;
    PF_LayerDef* src;
    int32_t samp_behave;
    int32_t allow_asynch;
    int32_t motion_blur;
    PF_CompositeMode comp_mode;
    void* mask0;
    uint8_t* fcm_table;
    uint8_t* fcd_table;
    int32_t reserved[8];
} PF_SampPB;

typedef struct PF_Sampling8Suite1 {
    PF_Err (*nn_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, PF_Pixel* dst);
    PF_Err (*subpixel_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, PF_Pixel* dst);
    PF_Err (*area_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, PF_Pixel* dst);
} PF_Sampling8Suite1;

typedef struct PF_Sampling16Suite1 {
    PF_Err (*nn_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, PF_Pixel16* dst);
    PF_Err (*subpixel_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                                PF_Pixel16* dst);
    PF_Err (*area_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, PF_Pixel16* dst);
} PF_Sampling16Suite1;

typedef struct PF_SamplingFloatSuite1 {
    PF_Err (*nn_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                              PF_PixelFloat* dst);
    PF_Err (*subpixel_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                                    PF_PixelFloat* dst);
    PF_Err (*area_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                                PF_PixelFloat* dst);
} PF_SamplingFloatSuite1;

#define kPFEffectCustomUISuite "PF Effect Custom UI Suite"
#define kPFEffectCustomUISuiteVersion1 1

typedef struct _DRAWBOT_DrawRef* DRAWBOT_DrawRef;

typedef struct PF_EffectCustomUISuite1 {
    PF_Err (*PF_GetDrawingReference)(PF_ContextH context, DRAWBOT_DrawRef* reference);
} PF_EffectCustomUISuite1;

#ifdef __cplusplus
}
#endif

#endif
