#include "library/utility/host_refs.h"

#include <cstring>

namespace Morvel {

// ---------------------------------------------------------------- MemHandle

MemHandle::~MemHandle() { free(); }

AEGP_MemHandle* MemHandle::put() {
    free();
    return &handle_;
}

PF_Err MemHandle::read(std::vector<char>& bytes) const {
    bytes.clear();
    AEGP_MemSize size = 0;
    if (PF_Err err = memory_->AEGP_GetMemHandleSize(handle_, &size)) return err;
    void* locked = nullptr;
    if (PF_Err err = memory_->AEGP_LockMemHandle(handle_, &locked)) return err;
    bytes.assign(static_cast<size_t>(size), '\0');
    if (locked != nullptr && size != 0) std::memcpy(bytes.data(), locked, static_cast<size_t>(size));
    // Unlocked before it is freed: a host may refuse to free, or leak, a locked handle.
    return memory_->AEGP_UnlockMemHandle(handle_);
}

PF_Err MemHandle::free() {
    if (handle_ == nullptr) return PF_Err_NONE;
    AEGP_MemHandle held = handle_;
    handle_ = nullptr;
    return memory_->AEGP_FreeMemHandle(held);
}

// ---------------------------------------------------------------- EffectRef

EffectRef::~EffectRef() { dispose(); }

AEGP_EffectRefH* EffectRef::put() {
    dispose();
    return &effect_;
}

void EffectRef::reset(AEGP_EffectRefH effect) {
    if (effect == effect_) return;
    dispose();
    effect_ = effect;
}

AEGP_EffectRefH EffectRef::release() {
    AEGP_EffectRefH held = effect_;
    effect_ = nullptr;
    return held;
}

PF_Err EffectRef::dispose() {
    if (effect_ == nullptr) return PF_Err_NONE;
    return dispose_(release());
}

}  // namespace Morvel
