/* Parameter records: what an effect registers and what it checks out. */
#ifndef MORVEL_HOST_PARAMS_H
#define MORVEL_HOST_PARAMS_H

#include "world.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { PF_MAX_EFFECT_PARAM_NAME_LEN = 31, PF_MAX_PARAM_DESCRIPTION_LEN = 31 };

typedef int32_t PF_ParamType;
enum {
    PF_Param_RESERVED = -1,
    PF_Param_LAYER = 0,
    PF_Param_SLIDER = 1,
    PF_Param_FIX_SLIDER = 2,
    PF_Param_ANGLE = 3,
    PF_Param_CHECKBOX = 4,
    PF_Param_COLOR = 5,
    PF_Param_POINT = 6,
    PF_Param_POPUP = 7,
    PF_Param_FLOAT_SLIDER = 10,
    PF_Param_ARBITRARY_DATA = 11,
    PF_Param_PATH = 12,
    PF_Param_GROUP_START = 13,
    PF_Param_GROUP_END = 14,
    PF_Param_BUTTON = 15,
    PF_Param_POINT_3D = 18
};

/* UI flags of a parameter. */
enum {
    PF_PUI_TOPIC = 1 << 0,
    PF_PUI_CONTROL = 1 << 1,
    PF_PUI_STD_CONTROL_ONLY = 1 << 2,
    PF_PUI_NO_ECW_UI = 1 << 3,
    PF_PUI_ECW_SEPARATOR = 1 << 4,
    PF_PUI_DISABLED = 1 << 5,
    PF_PUI_DONT_ERASE_TOPIC = 1 << 6,
    PF_PUI_DONT_ERASE_CONTROL = 1 << 7,
    PF_PUI_RADIO_BUTTON = 1 << 8,
    PF_PUI_INVISIBLE = 1 << 9
};

/* Behaviour flags of a parameter. */
enum {
    PF_ParamFlag_CANNOT_TIME_VARY = 1 << 1,
    PF_ParamFlag_CANNOT_INTERP = 1 << 2,
    PF_ParamFlag_COLLAPSE_TWIRLY = 1 << 5,
    PF_ParamFlag_SUPERVISE = 1 << 6,
    PF_ParamFlag_START_COLLAPSED = PF_ParamFlag_COLLAPSE_TWIRLY
};

/* Change flags the effect sets on a parameter it rewrote during an event. */
enum { PF_ChangeFlag_NONE = 0, PF_ChangeFlag_CHANGED_VALUE = 1 };

/* Default of a layer parameter: no layer, or the effect's own layer. */
enum { PF_LayerDefault_NONE = 0, PF_LayerDefault_MYSELF = -1 };

enum { PF_ValueDisplayFlag_NONE = 0, PF_ValueDisplayFlag_PERCENT = 1, PF_ValueDisplayFlag_PIXEL = 2 };

typedef PF_Handle PF_ArbitraryH;

typedef struct PF_SliderDef {
    int32_t value;
    char value_str[32];
    char value_desc[32];
    int32_t valid_min, valid_max;
    int32_t slider_min, slider_max;
    int32_t dephault;
} PF_SliderDef;

typedef struct PF_FixedSliderDef {
    PF_Fixed value;
    char value_str[32];
    char value_desc[32];
    PF_Fixed valid_min, valid_max;
    PF_Fixed slider_min, slider_max;
    PF_Fixed dephault;
    int16_t precision;
    int16_t display_flags;
} PF_FixedSliderDef;

typedef struct PF_FloatSliderDef {
    double value;
    double phase;
    char value_desc[32];
    float valid_min, valid_max;
    float slider_min, slider_max;
    float dephault;
    int16_t precision;
    int16_t display_flags;
    uint32_t fs_flags;
    float curve_tolerance;
} PF_FloatSliderDef;

typedef struct PF_AngleDef {
    PF_Fixed value; /* degrees, 16.16 */
    PF_Fixed dephault;
    PF_Fixed valid_min, valid_max;
} PF_AngleDef;

typedef struct PF_CheckBoxDef {
    int32_t value;
    int32_t dephault;
    char reserved;
    char reserved1;
    int16_t reserved2;
    const char* nameptr; /* label shown beside the box */
} PF_CheckBoxDef;

typedef struct PF_ColorDef {
    PF_Pixel value;
    PF_Pixel dephault;
} PF_ColorDef;

typedef struct PF_PointDef {
    PF_Fixed x_value, y_value;
    char reserved[3];
    PF_Boolean restrict_bounds;
    PF_Fixed x_dephault, y_dephault;
} PF_PointDef;

typedef struct PF_PopupDef {
    int32_t value; /* 1-based */
    int16_t num_choices;
    int16_t dephault;
    const char* namesptr; /* items separated by '|' */
} PF_PopupDef;

typedef struct PF_PathDef {
    uint32_t path_id;
    int32_t reserved0;
    int32_t dephault;
} PF_PathDef;

typedef struct PF_ArbitraryDef {
    int16_t id;
    int16_t pad;
    PF_ArbitraryH dephault;
    PF_ArbitraryH value;
    void* refconPV;
} PF_ArbitraryDef;

typedef struct PF_Point3DDef {
    double x_value, y_value, z_value;
    double x_dephault, y_dephault, z_dephault;
} PF_Point3DDef;

typedef struct PF_ButtonDef {
    int32_t value;
    const char* namesptr;
} PF_ButtonDef;

typedef union PF_ParamDefUnion {
    PF_LayerDef ld;
    PF_SliderDef sd;
    PF_FixedSliderDef fd;
    PF_FloatSliderDef fs_d;
    PF_AngleDef ad;
    PF_CheckBoxDef bd;
    PF_ColorDef cd;
    PF_PointDef td;
    PF_PopupDef pd;
    PF_PathDef path_d;
    PF_ArbitraryDef arb_d;
    PF_Point3DDef point3d_d;
    PF_ButtonDef button_d;
} PF_ParamDefUnion;

typedef struct PF_ParamDef {
    union {
        int32_t id;           /* at registration */
        int32_t change_flags; /* during events */
    } uu;
    int32_t ui_flags;
    int16_t ui_width;
    int16_t ui_height;
    PF_ParamType param_type;
    char name[32];
    int32_t flags;
    int32_t unused;
    PF_ParamDefUnion u;
} PF_ParamDef;

typedef PF_ParamDef* PF_ParamList[];

#ifdef __cplusplus
}
#endif

#endif
