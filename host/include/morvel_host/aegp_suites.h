/* Application-side suites ("AEGP ...") of general use. The project-model suites (layers, effects,
   streams, keyframes) have their own header, aegp_project.h. */
#ifndef MORVEL_HOST_AEGP_SUITES_H
#define MORVEL_HOST_AEGP_SUITES_H

#include "types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _AEGP_GlobalRefcon* AEGP_GlobalRefcon;
typedef struct _AEGP_MemHandle* AEGP_MemHandle;
typedef uint64_t AEGP_MemSize;

#define kAEGPMemorySuite "AEGP Memory Suite"
#define kAEGPMemorySuiteVersion1 1

enum { AEGP_MemFlag_NONE = 0, AEGP_MemFlag_CLEAR = 1, AEGP_MemFlag_QUIET = 2 };

typedef struct AEGP_MemorySuite1 {
    PF_Err (*AEGP_NewMemHandle)(AEGP_PluginID plugin_id, const char* what, AEGP_MemSize size, int32_t flags,
                                AEGP_MemHandle* mem);
    PF_Err (*AEGP_FreeMemHandle)(AEGP_MemHandle mem);
    PF_Err (*AEGP_LockMemHandle)(AEGP_MemHandle mem, void** ptr);
    PF_Err (*AEGP_UnlockMemHandle)(AEGP_MemHandle mem);
    PF_Err (*AEGP_GetMemHandleSize)(AEGP_MemHandle mem, AEGP_MemSize* size);
    PF_Err (*AEGP_ResizeMemHandle)(const char* what, AEGP_MemSize new_size, AEGP_MemHandle mem);
} AEGP_MemorySuite1;

#define kAEGPUtilitySuite "AEGP Utility Suite"
#define kAEGPUtilitySuiteVersion7 7
#define kAEGPUtilitySuiteVersion11 11

typedef struct AEGP_UtilitySuite7 {
    /* Gives the plug-in an id under which it calls the application-side suites. */
    PF_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const char* plugin_name, AEGP_PluginID* plugin_id);
} AEGP_UtilitySuite7;

typedef struct AEGP_UtilitySuite11 {
    PF_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const char* plugin_name, AEGP_PluginID* plugin_id);
    /* Runs a script in the host's script engine; the result and error texts come back as
       zero-terminated texts in memory handles that the caller frees. */
    PF_Err (*AEGP_ExecuteScript)(AEGP_PluginID plugin_id, const char* script, PF_Boolean platform_encoding,
                                 AEGP_MemHandle* result, AEGP_MemHandle* error);
} AEGP_UtilitySuite11;

#define kAEGPIterateSuite "AEGP Iterate Suite"
#define kAEGPIterateSuiteVersion1 1

typedef struct AEGP_IterateSuite1 {
    /* The number of worker threads the host lends to one render. */
    PF_Err (*AEGP_GetNumThreads)(int32_t* num_threads);
} AEGP_IterateSuite1;

#ifdef __cplusplus
}
#endif

#endif
