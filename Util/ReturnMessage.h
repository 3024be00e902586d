#pragma once

#include "morvel_host/host.h"

// Writes text into the output record's return message through the host's sprintf. The host's
// sprintf is given no size, so the text is cut to fit the 256-byte field first, and it is passed
// as an argument, never as the format, so a '%' in it is printed as it stands.
void WriteReturnMessage(const PF_InData* in_data, PF_OutData* out_data, const char* text);
