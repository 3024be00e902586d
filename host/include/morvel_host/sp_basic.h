/* The basic suite: every other suite is acquired and released through it. */
#ifndef MORVEL_HOST_SP_BASIC_H
#define MORVEL_HOST_SP_BASIC_H

#include "types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t SPErr;
typedef int32_t SPBoolean;

enum { kSPNoError = 0, kSPSuiteNotFoundError = 0x53214e46 /* 'S!NF' */ };

typedef struct SPBasicSuite {
    SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int32_t version);
    SPBoolean (*IsEqual)(const char* token1, const char* token2);
    SPErr (*AllocateBlock)(size_t size, void** block);
    SPErr (*FreeBlock)(void* block);
    SPErr (*ReallocateBlock)(void* block, size_t new_size, void** new_block);
    SPErr (*Undefined)(void);
} SPBasicSuite;

#ifdef __cplusplus
}
#endif

#endif
