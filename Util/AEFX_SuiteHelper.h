#pragma once

#include "morvel_host/host.h"

// Acquire and release a suite outside the suite handler. Failures are reported to the user through
// the output record (display-error flag and return message) and returned as 516.
PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32_t version,
                         const char* message, void** suite);
PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32_t version,
                         const char* message);

// The four drawing suites, version 1, into one record; 514 for a null record.
PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, DRAWBOT_Suites* suites);
// Releases all four; always 0.
PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data);
