#pragma once

#include "morvel_host/host.h"

// Host memory handles through the handle callbacks of the input record. This build has no
// platform handles to fall back on, so a missing callback gives a null result or the host's
// invalid-callback error (515) instead of a call.
PF_Handle HostNewHandle(const PF_InData* in_data, uint64_t size);
void* HostLockHandle(const PF_InData* in_data, PF_Handle handle);
PF_Err HostUnlockHandle(const PF_InData* in_data, PF_Handle handle);
PF_Err HostDisposeHandle(const PF_InData* in_data, PF_Handle handle);
// 0 when the size cannot be asked.
uint64_t HostGetHandleSize(const PF_InData* in_data, PF_Handle handle);
