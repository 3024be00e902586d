/* The command protocol: commands, flags, the input and output records and their callbacks. */
#ifndef MORVEL_HOST_EFFECT_H
#define MORVEL_HOST_EFFECT_H

#include "params.h"
#include "sp_basic.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP = 1,
    PF_Cmd_UNUSED_0 = 2,
    PF_Cmd_GLOBAL_SETDOWN = 3,
    PF_Cmd_PARAMS_SETUP = 4,
    PF_Cmd_SEQUENCE_SETUP = 5,
    PF_Cmd_SEQUENCE_RESETUP = 6,
    PF_Cmd_SEQUENCE_FLATTEN = 7,
    PF_Cmd_SEQUENCE_SETDOWN = 8,
    PF_Cmd_DO_DIALOG = 9,
    PF_Cmd_FRAME_SETUP = 10,
    PF_Cmd_RENDER = 11,
    PF_Cmd_FRAME_SETDOWN = 12,
    PF_Cmd_USER_CHANGED_PARAM = 13,
    PF_Cmd_UPDATE_PARAMS_UI = 14,
    PF_Cmd_EVENT = 15,
    PF_Cmd_GET_EXTERNAL_DEPENDENCIES = 16,
    PF_Cmd_COMPLETELY_GENERAL = 17,
    PF_Cmd_QUERY_DYNAMIC_FLAGS = 18,
    PF_Cmd_AUDIO_RENDER = 19,
    PF_Cmd_AUDIO_SETUP = 20,
    PF_Cmd_AUDIO_SETDOWN = 21,
    PF_Cmd_ARBITRARY_CALLBACK = 22,
    PF_Cmd_SMART_PRE_RENDER = 23,
    PF_Cmd_SMART_RENDER = 24
};

/* Output flags (global set-up). */
enum {
    PF_OutFlag_NONE = 0,
    PF_OutFlag_KEEP_RESOURCE_OPEN = 1 << 0,
    PF_OutFlag_WIDE_TIME_INPUT = 1 << 1,
    PF_OutFlag_NON_PARAM_VARY = 1 << 2,
    PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING = 1 << 4,
    PF_OutFlag_I_DO_DIALOG = 1 << 5,
    PF_OutFlag_USE_OUTPUT_EXTENT = 1 << 6,
    PF_OutFlag_SEND_DO_DIALOG = 1 << 7,
    PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1 << 8,
    PF_OutFlag_I_EXPAND_BUFFER = 1 << 9,
    PF_OutFlag_PIX_INDEPENDENT = 1 << 10,
    PF_OutFlag_I_WRITE_INPUT_BUFFER = 1 << 11,
    PF_OutFlag_I_SHRINK_BUFFER = 1 << 12,
    PF_OutFlag_WORKS_IN_PLACE = 1 << 13,
    PF_OutFlag_CUSTOM_UI = 1 << 15,
    PF_OutFlag_REFRESH_UI = 1 << 17,
    PF_OutFlag_NOP_RENDER = 1 << 18,
    PF_OutFlag_I_USE_SHUTTER_ANGLE = 1 << 19,
    PF_OutFlag_I_USE_AUDIO = 1 << 20,
    PF_OutFlag_I_AM_OBSOLETE = 1 << 21,
    PF_OutFlag_FORCE_RERENDER = 1 << 22,
    PF_OutFlag_PiPL_OVERRIDES_OUTDATA_OUTFLAGS = 1 << 23,
    PF_OutFlag_I_HAVE_EXTERNAL_DEPENDENCIES = 1 << 24,
    PF_OutFlag_DEEP_COLOR_AWARE = 1 << 25,
    PF_OutFlag_SEND_UPDATE_PARAMS_UI = 1 << 26
};

/* Second set of output flags. */
enum {
    PF_OutFlag2_NONE = 0,
    PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS = 1 << 0,
    PF_OutFlag2_I_USE_3D_CAMERA = 1 << 1,
    PF_OutFlag2_I_USE_3D_LIGHTS = 1 << 2,
    PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG = 1 << 3,
    PF_OutFlag2_REVEALS_ZERO_ALPHA = 1 << 7,
    PF_OutFlag2_SUPPORTS_SMART_RENDER = 1 << 10,
    PF_OutFlag2_FLOAT_COLOR_AWARE = 1 << 12
};

struct PF_CustomUIInfo;

/* The host's interaction callbacks. Times are (value, step, scale) in the layer's time. */
typedef struct PF_InteractCallbacks {
    PF_Err (*checkout_param)(PF_ProgPtr effect_ref, int32_t index, int32_t what_time, int32_t time_step,
                             uint32_t time_scale, PF_ParamDef* param);
    PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
    PF_Err (*add_param)(PF_ProgPtr effect_ref, int32_t index, PF_ParamDef* def);
    PF_Err (*abort)(PF_ProgPtr effect_ref);
    PF_Err (*progress)(PF_ProgPtr effect_ref, int32_t current, int32_t total);
    PF_Err (*register_ui)(PF_ProgPtr effect_ref, struct PF_CustomUIInfo* cust_info);
} PF_InteractCallbacks;

/* The C library helpers the host lends to effects; results equal the standard functions. */
typedef struct PF_ANSICallbacks {
    double (*atan)(double);
    double (*atan2)(double y, double x);
    double (*ceil)(double);
    double (*cos)(double);
    double (*exp)(double);
    double (*fabs)(double);
    double (*floor)(double);
    double (*fmod)(double x, double y);
    double (*hypot)(double x, double y);
    double (*log)(double);
    double (*log10)(double);
    double (*pow)(double x, double y);
    double (*sin)(double);
    double (*sqrt)(double);
    double (*tan)(double);
    int (*sprintf)(char* buffer, const char* format, ...);
    char* (*strcpy)(char* dest, const char* src);
    double (*asin)(double);
    double (*acos)(double);
} PF_ANSICallbacks;

typedef struct PF_UtilCallbacks {
    /* Copies src to dst, converting depth and scaling when the rectangles differ in size.
       Null rectangles mean the whole worlds. */
    PF_Err (*copy)(PF_ProgPtr effect_ref, PF_LayerDef* src, PF_LayerDef* dst, PF_Rect* src_r, PF_Rect* dst_r);
    /* Fills a rectangle (null: the whole world) with an 8-bit colour converted to the world's depth. */
    PF_Err (*fill)(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect, PF_LayerDef* world);
    PF_Err (*transfer_rect)(PF_ProgPtr effect_ref, int32_t quality, int32_t m_flags, int32_t field,
                            const PF_Rect* src_rec, const PF_LayerDef* src_world, const PF_CompositeMode* comp_mode,
                            const PF_MaskWorld* mask_world0, int32_t dest_x, int32_t dest_y, PF_LayerDef* dst_world);
    PF_Handle (*host_new_handle)(uint64_t size);
    void* (*host_lock_handle)(PF_Handle handle);
    void (*host_unlock_handle)(PF_Handle handle);
    void (*host_dispose_handle)(PF_Handle handle);
    uint64_t (*get_handle_size)(PF_Handle handle);
    PF_ANSICallbacks ansi;
} PF_UtilCallbacks;

typedef struct PF_InData {
    PF_InteractCallbacks inter;
    PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    int32_t quality;
    int32_t version_major; /* the host's interface version */
    int32_t version_minor;
    int32_t serial_num;
    int32_t appl_id;
    int32_t num_params;
    int32_t what_cpu;
    int32_t what_fpu;
    int32_t current_time;
    int32_t time_step;
    int32_t total_time;
    int32_t local_time_step;
    uint32_t time_scale;
    int32_t field;
    PF_Fixed shutter_angle;
    int32_t width; /* the layer's size */
    int32_t height;
    PF_Rect extent_hint;
    int32_t output_origin_x;
    int32_t output_origin_y;
    PF_RationalScale downsample_x;
    PF_RationalScale downsample_y;
    PF_RationalScale pixel_aspect_ratio;
    int32_t in_flags;
    PF_Handle global_data;
    PF_Handle sequence_data;
    PF_Handle frame_data;
    SPBasicSuite* pica_basicP;
} PF_InData;

enum { PF_MAX_RETURN_MSG_LEN = 256 };

typedef struct PF_OutData {
    uint32_t my_version;
    char name[32];
    PF_Handle global_data;
    int32_t num_params;
    PF_Handle sequence_data;
    int32_t flat_sdata_size;
    PF_Handle frame_data;
    int32_t width;
    int32_t height;
    PF_Point origin;
    int32_t out_flags;
    char return_msg[PF_MAX_RETURN_MSG_LEN];
    int32_t out_flags2;
} PF_OutData;

typedef PF_Err (*PF_EntryPointFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                    PF_LayerDef* output, void* extra);

#ifdef __cplusplus
}
#endif

#endif
