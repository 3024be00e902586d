#include "Util/HostHandles.h"

namespace {

const PF_UtilCallbacks* utilsOf(const PF_InData* in_data) { return in_data != nullptr ? in_data->utils : nullptr; }

}  // namespace

PF_Handle HostNewHandle(const PF_InData* in_data, uint64_t size) {
    const PF_UtilCallbacks* utils = utilsOf(in_data);
    if (utils == nullptr || utils->host_new_handle == nullptr) return nullptr;
    return utils->host_new_handle(size);
}

void* HostLockHandle(const PF_InData* in_data, PF_Handle handle) {
    const PF_UtilCallbacks* utils = utilsOf(in_data);
    if (handle == nullptr || utils == nullptr || utils->host_lock_handle == nullptr) return nullptr;
    return utils->host_lock_handle(handle);
}

PF_Err HostUnlockHandle(const PF_InData* in_data, PF_Handle handle) {
    if (handle == nullptr) return PF_Err_NONE;
    const PF_UtilCallbacks* utils = utilsOf(in_data);
    if (utils == nullptr || utils->host_unlock_handle == nullptr) return PF_Err_INVALID_CALLBACK;
    utils->host_unlock_handle(handle);
    return PF_Err_NONE;
}

PF_Err HostDisposeHandle(const PF_InData* in_data, PF_Handle handle) {
    if (handle == nullptr) return PF_Err_NONE;
    const PF_UtilCallbacks* utils = utilsOf(in_data);
    if (utils == nullptr || utils->host_dispose_handle == nullptr) return PF_Err_INVALID_CALLBACK;
    utils->host_dispose_handle(handle);
    return PF_Err_NONE;
}

uint64_t HostGetHandleSize(const PF_InData* in_data, PF_Handle handle) {
    const PF_UtilCallbacks* utils = utilsOf(in_data);
    if (handle == nullptr || utils == nullptr || utils->get_handle_size == nullptr) return 0;
    return utils->get_handle_size(handle);
}
