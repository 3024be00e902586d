#pragma once

#include "morvel_host/host.h"

namespace Morvel {

// One of the host's C library helpers from the input record, or `fallback` when the host lends
// none. The host's helpers give the standard functions' results, so either serves.
template <typename Function>
Function ansiCallback(const PF_InData* in_data, Function PF_ANSICallbacks::*member, Function fallback) {
    if (in_data == nullptr || in_data->utils == nullptr) return fallback;
    const Function hosted = in_data->utils->ansi.*member;
    return hosted != nullptr ? hosted : fallback;
}

}  // namespace Morvel
