#include "library/plugin/pre_render_data.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

namespace Morvel::Plugin {

namespace {

struct HandleFunctions {
    void (*unlock)(PF_Handle);
    void (*dispose)(PF_Handle);
};

// Handles handed to the host and not yet deleted. The host may delete from any thread.
struct LiveHandles {
    std::mutex mutex;
    std::unordered_map<PF_Handle, HandleFunctions> handles;
};

LiveHandles& liveHandles() {
    static LiveHandles live;
    return live;
}

}  // namespace

PF_Err createPreRenderData(AEGP_SuiteHandler& suites, PF_PreRenderExtra* extra, size_t size, void** data) {
    *data = nullptr;
    const PF_HandleSuite2* handles = suites.HandleSuite2();
    PF_Handle handle = handles->host_new_handle(size);
    if (handle == nullptr) return PF_Err_OUT_OF_MEMORY;
    void* bytes = handles->host_lock_handle(handle);
    if (bytes == nullptr) {
        handles->host_dispose_handle(handle);
        return PF_Err_OUT_OF_MEMORY;
    }
    {
        LiveHandles& live = liveHandles();
        std::lock_guard lock(live.mutex);
        live.handles[handle] = {handles->host_unlock_handle, handles->host_dispose_handle};
    }
    extra->output->pre_render_data = handle;
    extra->output->delete_pre_render_data_func = deletePreRenderData;
    std::memset(bytes, 0, size);
    *data = bytes;
    return PF_Err_NONE;
}

void deletePreRenderData(void* pre_render_data) {
    const auto handle = static_cast<PF_Handle>(pre_render_data);
    HandleFunctions functions{};
    {
        LiveHandles& live = liveHandles();
        std::lock_guard lock(live.mutex);
        auto found = live.handles.find(handle);
        if (found == live.handles.end()) return;
        functions = found->second;
        live.handles.erase(found);
    }
    // The lock taken at pre-render; the render balances its own.
    functions.unlock(handle);
    functions.dispose(handle);
}

}  // namespace Morvel::Plugin
