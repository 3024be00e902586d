/* Worlds (image buffers), pixel formats and the composite records of rectangle transfer. */
#ifndef MORVEL_HOST_WORLD_H
#define MORVEL_HOST_WORLD_H

#include "types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t PF_PixelFormat;
#define PF_PixelFormat_ARGB32 MORVEL_FOURCC('a', 'r', 'g', 'b')
#define PF_PixelFormat_ARGB64 MORVEL_FOURCC('a', 'e', '1', '6')
#define PF_PixelFormat_ARGB128 MORVEL_FOURCC('a', 'e', '3', '2')
#define PF_PixelFormat_INVALID MORVEL_FOURCC('b', 'a', 'd', 'f')

enum {
    PF_WorldFlag_DEEP = 1 << 0, /* set on a world of 16-bit pixels */
    PF_WorldFlag_WRITEABLE = 1 << 1
};

/* Flags of the version-1 new-world call. */
enum { PF_NewWorldFlag_NONE = 0, PF_NewWorldFlag_CLEAR_PIXELS = 1, PF_NewWorldFlag_DEEP_PIXELS = 2 };

/* One image. Rows are rowbytes apart; the pixel type follows the world's format. */
typedef struct PF_LayerDef {
    int32_t world_flags;
    void* data;
    int32_t rowbytes;
    int32_t width;
    int32_t height;
    PF_LRect extent_hint;
    int32_t origin_x;
    int32_t origin_y;
    int32_t dephault; /* layer parameters: the default layer */
    PF_PixelFormat pixel_format;
    void* host_reserved; /* the host's own bookkeeping; effects leave it alone */
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;

/* Transfer modes of the transfer-rectangle callback. */
enum {
    PF_Xfer_NONE = -1,
    PF_Xfer_COPY = 0,
    PF_Xfer_BEHIND = 1,
    PF_Xfer_IN_FRONT = 2,
    PF_Xfer_DISSOLVE = 3,
    PF_Xfer_ADD = 4,
    PF_Xfer_MULTIPLY = 5,
    PF_Xfer_SCREEN = 6,
    PF_Xfer_OVERLAY = 7,
    PF_Xfer_SOFT_LIGHT = 8,
    PF_Xfer_HARD_LIGHT = 9,
    PF_Xfer_DARKEN = 10,
    PF_Xfer_LIGHTEN = 11,
    PF_Xfer_DIFFERENCE = 12,
    PF_Xfer_HUE = 13,
    PF_Xfer_SATURATION = 14,
    PF_Xfer_COLOR = 15,
    PF_Xfer_LUMINOSITY = 16,
    PF_Xfer_MULTIPLY_ALPHA = 17,
    PF_Xfer_MULTIPLY_ALPHA_LUMA = 18,
    PF_Xfer_MULTIPLY_NOT_ALPHA = 19,
    PF_Xfer_MULTIPLY_NOT_ALPHA_LUMA = 20,
    PF_Xfer_ADDITIVE_PREMUL = 21,
    PF_Xfer_ALPHA_ADD = 22,
    PF_Xfer_COLOR_DODGE = 23,
    PF_Xfer_COLOR_BURN = 24,
    PF_Xfer_EXCLUSION = 25,
    PF_Xfer_DIFFERENCE2 = 26,
    PF_Xfer_COLOR_DODGE2 = 27,
    PF_Xfer_COLOR_BURN2 = 28,
    PF_Xfer_LINEAR_DODGE = 29,
    PF_Xfer_LINEAR_BURN = 30,
    PF_Xfer_LINEAR_LIGHT = 31,
    PF_Xfer_VIVID_LIGHT = 32,
    PF_Xfer_PIN_LIGHT = 33,
    PF_Xfer_HARD_MIX = 34
};

enum { PF_Quality_LO = 0, PF_Quality_HI = 1 };
enum { PF_MF_Alpha_PREMUL = 0, PF_MF_Alpha_STRAIGHT = 1 };
enum { PF_Field_FRAME = 0, PF_Field_UPPER = 1, PF_Field_LOWER = 2 };

typedef struct PF_CompositeMode {
    int32_t xfer;
    int32_t rand_seed;
    uint8_t opacity;     /* 0..255 */
    PF_Boolean rgb_only; /* leave the destination's alpha as it is */
    uint16_t opacitySu;  /* 0..32768, used for deep worlds */
} PF_CompositeMode;

typedef struct PF_MaskWorld {
    PF_LayerDef mask;
    PF_Point offset;
    int32_t what_is_mask;
} PF_MaskWorld;

#ifdef __cplusplus
}
#endif

#endif
