/* Basic types, error codes and pixel records of the host interface. */
#ifndef MORVEL_HOST_TYPES_H
#define MORVEL_HOST_TYPES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define MORVEL_HOST_EXTERN_C extern "C"
#else
#define MORVEL_HOST_EXTERN_C
#endif

#if defined(_WIN32)
#define MORVEL_EXPORT __declspec(dllexport)
#else
#define MORVEL_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t PF_Err;
typedef int32_t PF_Cmd;
typedef int32_t PF_Fixed; /* 16.16 fixed point */
typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef uint8_t PF_Boolean;
typedef int32_t AEGP_PluginID;

/* Host memory handle: a pointer to the host's pointer to the block. */
typedef char** PF_Handle;

/* The host's opaque reference to the effect instance running a command. */
typedef struct PF_EffectInstance* PF_ProgPtr;

/* Four-character codes are stored as their ASCII bytes in reading order. */
#define MORVEL_FOURCC(a, b, c, d)                                                              \
    ((uint32_t)(uint8_t)(a) | ((uint32_t)(uint8_t)(b) << 8) | ((uint32_t)(uint8_t)(c) << 16) | \
     ((uint32_t)(uint8_t)(d) << 24))

enum {
    PF_Err_NONE = 0,
    PF_Err_OUT_OF_MEMORY = 4,
    PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
    PF_Err_INVALID_INDEX = 513,
    PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
    PF_Err_INVALID_CALLBACK = 515,
    PF_Err_BAD_CALLBACK_PARAM = 516,
    PF_Interrupt_CANCEL = 517
};

typedef struct A_Time {
    int32_t value;
    uint32_t scale;
} A_Time;

typedef struct PF_LRect {
    int32_t left, top, right, bottom;
} PF_LRect;
typedef PF_LRect PF_Rect;

typedef struct PF_Point {
    int32_t h, v;
} PF_Point;

typedef struct PF_FixedPoint {
    PF_Fixed x, y;
} PF_FixedPoint;

typedef struct PF_RationalScale {
    int32_t num;
    uint32_t den;
} PF_RationalScale;

typedef struct PF_Pixel {
    uint8_t alpha, red, green, blue;
} PF_Pixel;
typedef PF_Pixel PF_Pixel8;

/* 16-bit channels run from 0 to 32768. */
typedef struct PF_Pixel16 {
    uint16_t alpha, red, green, blue;
} PF_Pixel16;

typedef struct PF_PixelFloat {
    float alpha, red, green, blue;
} PF_PixelFloat;

enum { PF_MAX_CHAN8 = 255, PF_MAX_CHAN16 = 32768 };

#ifdef __cplusplus
}
#endif

#endif
