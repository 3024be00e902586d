/* The drawing suites used for custom UI, acquired together as one record. */
#ifndef MORVEL_HOST_DRAWBOT_H
#define MORVEL_HOST_DRAWBOT_H

#include "pf_suites.h"
#include "types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kDRAWBOT_DrawSuite "DRAWBOT Draw Suite"
#define kDRAWBOT_SupplierSuite "DRAWBOT Supplier Suite"
#define kDRAWBOT_SurfaceSuite "DRAWBOT Surface Suite"
#define kDRAWBOT_PathSuite "DRAWBOT Path Suite"
#define kDRAWBOT_SuiteVersion1 1

typedef struct DRAWBOT_DrawSuite1 DRAWBOT_DrawSuite1;
typedef struct DRAWBOT_SupplierSuite1 DRAWBOT_SupplierSuite1;
typedef struct DRAWBOT_SurfaceSuite1 DRAWBOT_SurfaceSuite1;
typedef struct DRAWBOT_PathSuite1 DRAWBOT_PathSuite1;

/* The four drawing suites in the order the host defines the record. */
typedef struct DRAWBOT_Suites {
    DRAWBOT_DrawSuite1* draw_suite;
    DRAWBOT_SupplierSuite1* supplier_suite;
    DRAWBOT_SurfaceSuite1* surface_suite;
    DRAWBOT_PathSuite1* path_suite;
} DRAWBOT_Suites;

/* Drawing objects. Every object made by the supplier is given back with ReleaseObject. */
typedef struct _DRAWBOT_SupplierRef* DRAWBOT_SupplierRef;
typedef struct _DRAWBOT_SurfaceRef* DRAWBOT_SurfaceRef;
typedef struct _DRAWBOT_ObjectRef* DRAWBOT_ObjectRef;
typedef DRAWBOT_ObjectRef DRAWBOT_BrushRef;
typedef DRAWBOT_ObjectRef DRAWBOT_PenRef;
typedef DRAWBOT_ObjectRef DRAWBOT_FontRef;
typedef DRAWBOT_ObjectRef DRAWBOT_PathRef;

typedef uint16_t DRAWBOT_UTF16Char;

/* Channels from 0 to 1. */
typedef struct DRAWBOT_ColorRGBA {
    float red, green, blue, alpha;
} DRAWBOT_ColorRGBA;

typedef struct DRAWBOT_PointF32 {
    float x, y;
} DRAWBOT_PointF32;

typedef struct DRAWBOT_RectF32 {
    float left, top, width, height;
} DRAWBOT_RectF32;

typedef int32_t DRAWBOT_TextAlignment;
enum { kDRAWBOT_TextAlignment_Left = 0, kDRAWBOT_TextAlignment_Center = 1, kDRAWBOT_TextAlignment_Right = 2 };

typedef int32_t DRAWBOT_TextTruncation;
enum {
    kDRAWBOT_TextTruncation_None = 0,
    kDRAWBOT_TextTruncation_End = 1,
    kDRAWBOT_TextTruncation_EndEllipsis = 2,
    kDRAWBOT_TextTruncation_PathEllipsis = 3
};

typedef int32_t DRAWBOT_AntiAliasPolicy;
enum { kDRAWBOT_AntiAliasPolicy_None = 0, kDRAWBOT_AntiAliasPolicy_Medium = 1, kDRAWBOT_AntiAliasPolicy_High = 2 };

typedef int32_t DRAWBOT_FillType;
enum { kDRAWBOT_FillType_EvenOdd = 0, kDRAWBOT_FillType_Winding = 1 };

struct DRAWBOT_DrawSuite1 {
    /* The supplier and the surface belong to the drawing reference; they are not released. */
    PF_Err (*GetSupplier)(DRAWBOT_DrawRef draw_ref, DRAWBOT_SupplierRef* supplier);
    PF_Err (*GetSurface)(DRAWBOT_DrawRef draw_ref, DRAWBOT_SurfaceRef* surface);
};

struct DRAWBOT_SupplierSuite1 {
    PF_Err (*NewPen)(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* color, float size, DRAWBOT_PenRef* pen);
    PF_Err (*NewBrush)(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* color, DRAWBOT_BrushRef* brush);
    PF_Err (*SupportsText)(DRAWBOT_SupplierRef supplier, PF_Boolean* supports_text);
    PF_Err (*GetDefaultFontSize)(DRAWBOT_SupplierRef supplier, float* size);
    PF_Err (*NewDefaultFont)(DRAWBOT_SupplierRef supplier, float size, DRAWBOT_FontRef* font);
    PF_Err (*NewPath)(DRAWBOT_SupplierRef supplier, DRAWBOT_PathRef* path);
    PF_Err (*ReleaseObject)(DRAWBOT_ObjectRef object);
};

struct DRAWBOT_SurfaceSuite1 {
    PF_Err (*PushStateStack)(DRAWBOT_SurfaceRef surface);
    PF_Err (*PopStateStack)(DRAWBOT_SurfaceRef surface);
    PF_Err (*PaintRect)(DRAWBOT_SurfaceRef surface, const DRAWBOT_ColorRGBA* color, const DRAWBOT_RectF32* rect);
    PF_Err (*FillPath)(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brush, DRAWBOT_PathRef path,
                       DRAWBOT_FillType fill_type);
    PF_Err (*StrokePath)(DRAWBOT_SurfaceRef surface, DRAWBOT_PenRef pen, DRAWBOT_PathRef path);
    /* The string is zero-terminated; truncation_width bounds it when truncation is not None. */
    PF_Err (*DrawString)(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brush, DRAWBOT_FontRef font,
                         const DRAWBOT_UTF16Char* string, const DRAWBOT_PointF32* origin,
                         DRAWBOT_TextAlignment alignment, DRAWBOT_TextTruncation truncation, float truncation_width);
    PF_Err (*SetAntiAliasPolicy)(DRAWBOT_SurfaceRef surface, DRAWBOT_AntiAliasPolicy policy);
    PF_Err (*Flush)(DRAWBOT_SurfaceRef surface);
};

struct DRAWBOT_PathSuite1 {
    PF_Err (*MoveTo)(DRAWBOT_PathRef path, float x, float y);
    PF_Err (*LineTo)(DRAWBOT_PathRef path, float x, float y);
    PF_Err (*BezierTo)(DRAWBOT_PathRef path, const DRAWBOT_PointF32* control1, const DRAWBOT_PointF32* control2,
                       const DRAWBOT_PointF32* end);
    PF_Err (*AddRect)(DRAWBOT_PathRef path, const DRAWBOT_RectF32* rect);
    PF_Err (*Close)(DRAWBOT_PathRef path);
};

#ifdef __cplusplus
}
#endif

#endif
