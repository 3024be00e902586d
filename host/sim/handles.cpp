#include <cstdlib>
#include <cstring>

#include "host/sim/host.h"

namespace Sim {

// Beyond this a request is treated as a failed allocation rather than attempted.
constexpr uint64_t kMaxHandleSize = uint64_t(1) << 34;

PF_Handle Host::newHandle(uint64_t size) {
    if (faults_.onCall("host_new_handle") != PF_Err_NONE || size > kMaxHandleSize) return nullptr;
    auto block = std::make_unique<HandleBlock>();
    block->data = static_cast<char*>(std::calloc(size == 0 ? 1 : size, 1));
    if (block->data == nullptr) return nullptr;
    block->size = size;
    PF_Handle handle = &block->data;
    {
        std::lock_guard lock(handleMutex_);
        handles_[handle] = std::move(block);
    }
    ledger_.acquire("handle", Ledger::keyOf(handle), std::to_string(size) + " bytes");
    return handle;
}

HandleBlock* Host::findHandle(PF_Handle handle) const {
    auto found = handles_.find(handle);
    return found == handles_.end() ? nullptr : found->second.get();
}

bool Host::isLiveHandle(PF_Handle handle) const {
    std::lock_guard lock(handleMutex_);
    return findHandle(handle) != nullptr;
}

void* Host::lockHandle(PF_Handle handle) {
    if (faults_.onCall("host_lock_handle") != PF_Err_NONE) return nullptr;
    std::lock_guard lock(handleMutex_);
    HandleBlock* block = findHandle(handle);
    if (block == nullptr) {
        log_.add("error: lock of an unknown handle");
        return nullptr;
    }
    ++block->locks;
    ledger_.acquire("handle lock", Ledger::keyOf(handle));
    return block->data;
}

void Host::unlockHandle(PF_Handle handle) {
    std::lock_guard lock(handleMutex_);
    HandleBlock* block = findHandle(handle);
    if (block == nullptr) {
        log_.add("error: unlock of an unknown handle");
        return;
    }
    if (block->locks == 0) {
        log_.add("error: unlock of a handle that is not locked");
        return;
    }
    --block->locks;
    ledger_.release("handle lock", Ledger::keyOf(handle));
}

void Host::disposeHandle(PF_Handle handle) {
    std::lock_guard lock(handleMutex_);
    auto found = handles_.find(handle);
    if (found == handles_.end()) {
        log_.add("error: dispose of an unknown handle");
        return;
    }
    // The shell stays, without its block, until the host goes: no later handle can have its
    // address, so a stale handle is always unknown rather than another's.
    std::unique_ptr<HandleBlock> shell = std::move(found->second);
    handles_.erase(found);
    std::free(shell->data);
    shell->data = nullptr;
    shell->size = 0;
    // Locks not given back stay in the ledger, so the test that left them sees it.
    shell->locks = 0;
    disposedHandles_.push_back(std::move(shell));
    ledger_.release("handle", Ledger::keyOf(handle));
}

uint64_t Host::handleSize(PF_Handle handle) {
    std::lock_guard lock(handleMutex_);
    HandleBlock* block = findHandle(handle);
    if (block == nullptr) {
        log_.add("error: size of an unknown handle");
        return 0;
    }
    return block->size;
}

PF_Err Host::resizeHandle(uint64_t size, PF_Handle* handle) {
    if (handle == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (PF_Err err = faults_.onCall("host_resize_handle")) return err;
    std::lock_guard lock(handleMutex_);
    HandleBlock* block = findHandle(*handle);
    if (block == nullptr) {
        log_.add("error: resize of an unknown handle");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (block->locks != 0) {
        log_.add("error: resize of a locked handle");
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    if (size > kMaxHandleSize) return PF_Err_OUT_OF_MEMORY;
    char* grown = static_cast<char*>(std::realloc(block->data, size == 0 ? 1 : size));
    if (grown == nullptr) return PF_Err_OUT_OF_MEMORY;
    if (size > block->size) std::memset(grown + block->size, 0, size - block->size);
    block->data = grown;
    block->size = size;
    return PF_Err_NONE;
}

namespace {

PF_Handle newHandleCallback(uint64_t size) { return Host::current().newHandle(size); }
void* lockHandleCallback(PF_Handle handle) { return Host::current().lockHandle(handle); }
void unlockHandleCallback(PF_Handle handle) { Host::current().unlockHandle(handle); }
void disposeHandleCallback(PF_Handle handle) { Host::current().disposeHandle(handle); }
uint64_t handleSizeCallback(PF_Handle handle) { return Host::current().handleSize(handle); }
PF_Err resizeHandleCallback(uint64_t size, PF_Handle* handle) { return Host::current().resizeHandle(size, handle); }

const PF_HandleSuite2 kHandleSuite2 = {newHandleCallback,     lockHandleCallback, unlockHandleCallback,
                                       disposeHandleCallback, handleSizeCallback, resizeHandleCallback};

}  // namespace

void installHandleSuites(Host& host) {
    host.faults().registerNames({"host_lock_handle", "host_new_handle", "host_resize_handle"});

    host.addSuite(kPFHandleSuite, kPFHandleSuiteVersion2, &kHandleSuite2);
    PF_UtilCallbacks& utils = *host.utilCallbacks();
    utils.host_new_handle = newHandleCallback;
    utils.host_lock_handle = lockHandleCallback;
    utils.host_unlock_handle = unlockHandleCallback;
    utils.host_dispose_handle = disposeHandleCallback;
    utils.get_handle_size = handleSizeCallback;
}

}  // namespace Sim
