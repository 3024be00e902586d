/* The project model as an effect reaches it: compositions, layers, effect instances on a layer,
   and the streams (animatable properties) of all of them. References handed out by these suites
   are owned by the caller until disposed through the suite that disposes them. */
#ifndef MORVEL_HOST_AEGP_PROJECT_H
#define MORVEL_HOST_AEGP_PROJECT_H

#include "aegp_suites.h"
#include "params.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _AEGP_CompH* AEGP_CompH;
typedef struct _AEGP_LayerH* AEGP_LayerH;
typedef struct _AEGP_EffectRefH* AEGP_EffectRefH;
typedef struct _AEGP_StreamRefH* AEGP_StreamRefH;
typedef struct _AEGP_MaskRefH* AEGP_MaskRefH;
typedef struct _AEGP_AddKeyframesInfoH* AEGP_AddKeyframesInfoH;

typedef int32_t AEGP_InstalledEffectKey;
typedef int32_t AEGP_EffectIndex;
typedef int32_t AEGP_KeyframeIndex;
typedef int32_t AEGP_LayerIDVal;
typedef int32_t AEGP_MaskIDVal;
typedef uint16_t A_UTF16Char;

/* Times given to the stream suites are measured from the layer's start or the composition's. */
typedef int32_t AEGP_LTimeMode;
enum { AEGP_LTimeMode_LayerTime = 0, AEGP_LTimeMode_CompTime = 1 };

typedef int32_t AEGP_ObjectType;
enum {
    AEGP_ObjectType_NONE = -1,
    AEGP_ObjectType_AV = 0,
    AEGP_ObjectType_LIGHT = 1,
    AEGP_ObjectType_CAMERA = 2,
    AEGP_ObjectType_TEXT = 3,
    AEGP_ObjectType_SHAPE = 4
};

typedef int32_t AEGP_EffectFlags;
enum { AEGP_EffectFlags_NONE = 0, AEGP_EffectFlags_ACTIVE = 1 };

typedef int32_t AEGP_DynStreamFlags;
enum { AEGP_DynStreamFlag_ACTIVE_EYEBALL = 1, AEGP_DynStreamFlag_HIDDEN = 2, AEGP_DynStreamFlag_DISABLED = 4 };

/* Streams of a layer itself, as GetNewLayerStream's `which`. */
typedef int32_t AEGP_LayerStream;
enum {
    AEGP_LayerStream_ANCHORPOINT = 0,
    AEGP_LayerStream_POSITION = 1,
    AEGP_LayerStream_SCALE = 2,
    AEGP_LayerStream_ROTATION = 3,
    AEGP_LayerStream_OPACITY = 4,
    AEGP_LayerStream_COUNT = 5
};

/* Streams of a mask, as GetNewMaskStream's `which`. */
typedef int32_t AEGP_MaskStream;
enum {
    AEGP_MaskStream_OPACITY = 0,
    AEGP_MaskStream_FEATHER = 1,
    AEGP_MaskStream_EXPANSION = 2,
    AEGP_MaskStream_COUNT = 3
};

/* What a stream's value holds; a group holds no value of its own. */
typedef int32_t AEGP_StreamType;
enum {
    AEGP_StreamType_NO_DATA = 0,
    AEGP_StreamType_OneD = 1,
    AEGP_StreamType_TwoD = 2,
    AEGP_StreamType_ThreeD = 3,
    AEGP_StreamType_COLOR = 4,
    AEGP_StreamType_LAYER_ID = 5,
    AEGP_StreamType_MASK_ID = 6,
    AEGP_StreamType_ARB = 7
};

typedef double AEGP_OneDVal;

typedef struct AEGP_TwoDVal {
    double x, y;
} AEGP_TwoDVal;

typedef struct AEGP_ThreeDVal {
    double x, y, z;
} AEGP_ThreeDVal;

/* Channels from 0 to 1. */
typedef struct AEGP_ColorVal {
    double alpha, red, green, blue;
} AEGP_ColorVal;

typedef union AEGP_StreamVal2 {
    AEGP_OneDVal one_d;
    AEGP_TwoDVal two_d;
    AEGP_ThreeDVal three_d;
    AEGP_ColorVal color;
    AEGP_LayerIDVal layer_id;
    AEGP_MaskIDVal mask_id;
    PF_Handle arbH; /* owned by the value record: freed with DisposeStreamValue */
} AEGP_StreamVal2;

/* A value record obtained from GetNewStreamValue must be handed back to DisposeStreamValue. */
typedef struct AEGP_StreamValue2 {
    AEGP_StreamRefH streamH;
    AEGP_StreamVal2 val;
} AEGP_StreamValue2;

#define kAEGPPFInterfaceSuite "AEGP PF Interface Suite"
#define kAEGPPFInterfaceSuiteVersion1 1

typedef struct AEGP_PFInterfaceSuite1 {
    /* The layer the running effect instance is applied to; the layer stays the host's. */
    PF_Err (*AEGP_GetEffectLayer)(PF_ProgPtr effect_ref, AEGP_LayerH* layerPH);
    PF_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID plugin_id, PF_ProgPtr effect_ref, AEGP_EffectRefH* effectPH);
} AEGP_PFInterfaceSuite1;

#define kAEGPLayerSuite "AEGP Layer Suite"
#define kAEGPLayerSuiteVersion13 13

typedef struct AEGP_LayerSuite13 {
    PF_Err (*AEGP_GetLayerObjectType)(AEGP_LayerH layerH, AEGP_ObjectType* typeP);
    PF_Err (*AEGP_GetLayerParentComp)(AEGP_LayerH layerH, AEGP_CompH* compPH);
} AEGP_LayerSuite13;

#define kAEGPEffectSuite "AEGP Effect Suite"
#define kAEGPEffectSuiteVersion2 2
#define kAEGPEffectSuiteVersion3 3

/* Both versions carry the same calls; kept from the formatter, which reads their pointers
   as products. */
/* clang-format off */
#define MORVEL_AEGP_EFFECT_SUITE_CALLS                                                                            \
    PF_Err (*AEGP_GetLayerEffectByIndex)(AEGP_PluginID plugin_id, AEGP_LayerH layerH, AEGP_EffectIndex index,    \
                                         AEGP_EffectRefH* effectPH);                                              \
    PF_Err (*AEGP_GetInstalledKeyFromLayerEffect)(AEGP_EffectRefH effectH, AEGP_InstalledEffectKey* keyP);        \
    PF_Err (*AEGP_GetEffectFlags)(AEGP_EffectRefH effectH, AEGP_EffectFlags* flagsP);                             \
    PF_Err (*AEGP_SetEffectFlags)(AEGP_EffectRefH effectH, AEGP_EffectFlags mask, AEGP_EffectFlags flags);        \
    PF_Err (*AEGP_ReorderEffect)(AEGP_EffectRefH effectH, int32_t index);                                         \
    PF_Err (*AEGP_DisposeEffect)(AEGP_EffectRefH effectH);                                                        \
    PF_Err (*AEGP_ApplyEffect)(AEGP_PluginID plugin_id, AEGP_LayerH layerH, AEGP_InstalledEffectKey key,         \
                               AEGP_EffectRefH* effectPH);
/* clang-format on */

typedef struct AEGP_EffectSuite2 {
    MORVEL_AEGP_EFFECT_SUITE_CALLS
} AEGP_EffectSuite2;

typedef struct AEGP_EffectSuite3 {
    MORVEL_AEGP_EFFECT_SUITE_CALLS
} AEGP_EffectSuite3;

#undef MORVEL_AEGP_EFFECT_SUITE_CALLS

#define kAEGPStreamSuite "AEGP Stream Suite"
#define kAEGPStreamSuiteVersion9 9

typedef struct AEGP_StreamSuite9 {
    PF_Err (*AEGP_GetNewLayerStream)(AEGP_PluginID plugin_id, AEGP_LayerH layerH, AEGP_LayerStream which,
                                     AEGP_StreamRefH* streamPH);
    /* index 0 is the effect's input layer, as in the parameter array. */
    PF_Err (*AEGP_GetNewEffectStreamByIndex)(AEGP_PluginID plugin_id, AEGP_EffectRefH effectH, int32_t index,
                                             AEGP_StreamRefH* streamPH);
    PF_Err (*AEGP_GetNewMaskStream)(AEGP_PluginID plugin_id, AEGP_MaskRefH maskH, AEGP_MaskStream which,
                                    AEGP_StreamRefH* streamPH);
    PF_Err (*AEGP_DisposeStream)(AEGP_StreamRefH streamH);
    /* The name as zero-terminated UTF-16 units in a new memory handle that the caller frees. */
    PF_Err (*AEGP_GetStreamName)(AEGP_PluginID plugin_id, AEGP_StreamRefH streamH, PF_Boolean force_english,
                                 AEGP_MemHandle* utf16_nameH);
    PF_Err (*AEGP_GetStreamType)(AEGP_StreamRefH streamH, AEGP_StreamType* typeP);
    PF_Err (*AEGP_IsStreamTimevarying)(AEGP_StreamRefH streamH, PF_Boolean* is_timevaryingP);
    PF_Err (*AEGP_GetNewStreamValue)(AEGP_PluginID plugin_id, AEGP_StreamRefH streamH, AEGP_LTimeMode time_mode,
                                     const A_Time* time, PF_Boolean pre_expression, AEGP_StreamValue2* valueP);
    PF_Err (*AEGP_DisposeStreamValue)(AEGP_StreamValue2* valueP);
    PF_Err (*AEGP_SetStreamValue)(AEGP_PluginID plugin_id, AEGP_StreamRefH streamH, AEGP_StreamValue2* valueP);
    PF_Err (*AEGP_GetExpressionState)(AEGP_PluginID plugin_id, AEGP_StreamRefH streamH, PF_Boolean* enabledP);
    PF_Err (*AEGP_SetExpressionState)(AEGP_PluginID plugin_id, AEGP_StreamRefH streamH, PF_Boolean enabled);
    /* The expression as zero-terminated UTF-8 in a new memory handle that the caller frees. */
    PF_Err (*AEGP_GetExpression)(AEGP_PluginID plugin_id, AEGP_StreamRefH streamH, AEGP_MemHandle* expressionH);
    PF_Err (*AEGP_SetExpression)(AEGP_PluginID plugin_id, AEGP_StreamRefH streamH, const char* expression);
} AEGP_StreamSuite9;

#define kAEGPDynamicStreamSuite "AEGP Dynamic Stream Suite"
#define kAEGPDynamicStreamSuiteVersion5 5

typedef struct AEGP_DynamicStreamSuite5 {
    /* The mask's own stream group. */
    PF_Err (*AEGP_GetNewStreamRefForMask)(AEGP_PluginID plugin_id, AEGP_MaskRefH maskH, AEGP_StreamRefH* streamPH);
    PF_Err (*AEGP_GetDynamicStreamFlags)(AEGP_StreamRefH streamH, AEGP_DynStreamFlags* flagsP);
    /* Sets or clears one flag. */
    PF_Err (*AEGP_SetDynamicStreamFlag)(AEGP_StreamRefH streamH, AEGP_DynStreamFlags one_flag, PF_Boolean undoable,
                                        PF_Boolean set);
    PF_Err (*AEGP_SetStreamName)(AEGP_StreamRefH streamH, const A_UTF16Char* nameZ);
    /* The group a stream belongs to; an effect parameter's parent is the effect instance itself. */
    PF_Err (*AEGP_GetNewParentStreamRef)(AEGP_PluginID plugin_id, AEGP_StreamRefH streamH, AEGP_StreamRefH* parentPH);
    PF_Err (*AEGP_GetStreamIndexInParent)(AEGP_StreamRefH streamH, int32_t* indexP);
} AEGP_DynamicStreamSuite5;

#define kAEGPKeyframeSuite "AEGP Keyframe Suite"
#define kAEGPKeyframeSuiteVersion4 4

typedef struct AEGP_KeyframeSuite4 {
    PF_Err (*AEGP_GetStreamNumKFs)(AEGP_StreamRefH streamH, int32_t* num_kfsP);
    PF_Err (*AEGP_GetKeyframeTime)(AEGP_StreamRefH streamH, AEGP_KeyframeIndex index, AEGP_LTimeMode time_mode,
                                   A_Time* timeP);
    /* Keyframes are added in a batch that EndAddKeyframes closes, committing or dropping them. */
    PF_Err (*AEGP_StartAddKeyframes)(AEGP_StreamRefH streamH, AEGP_AddKeyframesInfoH* batchPH);
    /* indexP receives the key's index within the batch, for SetAddKeyframe. */
    PF_Err (*AEGP_AddKeyframe)(AEGP_AddKeyframesInfoH batchH, AEGP_LTimeMode time_mode, const A_Time* time,
                               int32_t* indexP);
    PF_Err (*AEGP_SetAddKeyframe)(AEGP_AddKeyframesInfoH batchH, int32_t index, const AEGP_StreamValue2* valueP);
    PF_Err (*AEGP_EndAddKeyframes)(PF_Boolean add, AEGP_AddKeyframesInfoH batchH);
} AEGP_KeyframeSuite4;

#ifdef __cplusplus
}
#endif

#endif
