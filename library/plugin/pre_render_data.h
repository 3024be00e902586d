#pragma once

// The pre-render data of an effect: a host handle that carries the checked-out parameter values
// from smart pre-render to smart render.
//
// - Smart pre-render: `createPreRenderData` allocates the handle, locks and clears it and hands it
//   to the host as the pre-render data, together with `deletePreRenderData`. From then on the host
//   owns it, whatever the rest of the pre-render returns.
// - Smart render: lock the handle from `extra->input->pre_render_data` (PF Handle Suite), read,
//   unlock. The render never disposes it.
// - The host calls `deletePreRenderData` once when it is done with the frame; that releases the
//   pre-render lock and disposes the handle.
//
// The delete function receives nothing but the handle. Each handle made here is remembered with
// the handle suite's unlock and dispose functions (the host's code, which outlives any suite
// acquisition), so the delete function can give it back without a suite handler, and a pointer
// it does not know, or one deleted already, is left alone.

#include <cstddef>

#include "Util/AEGP_SuiteHandler.h"
#include "morvel_host/host.h"

namespace Morvel::Plugin {

// Returns 4 (out of memory) when the handle cannot be made or locked; a handle made but not
// locked is disposed first. On success *data is the locked, zeroed block of `size` bytes.
// A missing handle suite throws 516 through the suite handler.
PF_Err createPreRenderData(AEGP_SuiteHandler& suites, PF_PreRenderExtra* extra, size_t size, void** data);

// The host's delete function for pre-render data made by createPreRenderData.
void deletePreRenderData(void* pre_render_data);

}  // namespace Morvel::Plugin
