/* The drawing suites used for custom UI, acquired together as one record. */
#ifndef MORVEL_HOST_DRAWBOT_H
#define MORVEL_HOST_DRAWBOT_H

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

#ifdef __cplusplus
}
#endif

#endif
