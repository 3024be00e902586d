#pragma once

#include <new>

#include "morvel_host/host.h"

namespace Morvel::Plugin {

// Runs one command handler for an entry point. Nothing may cross back into the host as an
// exception: a thrown host error is the command's result, running out of memory is 4 and
// anything else is reported as 512.
template <class Handler>
PF_Err runGuarded(Handler&& handler) noexcept {
    try {
        return handler();
    } catch (PF_Err err) {
        return err;
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}

}  // namespace Morvel::Plugin
