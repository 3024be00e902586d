#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "morvel_host/host.h"

// A host's sprintf knows nothing of the destination's size; this one writes as far as the text
// goes, so that a message that does not fit shows as damage after the return message.
inline int unboundedSprintf(char* buffer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std::vsprintf(buffer, format, args);
    va_end(args);
    return written;
}

// An output record followed by guard bytes, all filled with a pattern before the call.
struct GuardedOutData {
    static constexpr unsigned char kPattern = 0xEE;
    PF_OutData out;
    unsigned char guard[1024];

    GuardedOutData() { std::memset(this, kPattern, sizeof *this); }
    bool guardIntact() const {
        for (unsigned char byte : guard) {
            if (byte != kPattern) return false;
        }
        int32_t pattern;
        std::memset(&pattern, kPattern, sizeof pattern);
        return out.out_flags2 == pattern;
    }
};
