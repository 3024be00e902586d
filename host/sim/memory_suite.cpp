// "AEGP Memory Suite" 1. Locks are in the ledger as well as the handles, so a handle freed while
// still locked leaves the test that did it unbalanced.

#include <cstring>

#include "host/sim/project.h"

namespace Sim {

namespace {

// Beyond this a request is refused rather than attempted.
constexpr AEGP_MemSize kMaxMemSize = AEGP_MemSize(1) << 34;

PF_Err newMemHandle(AEGP_PluginID, const char* what, AEGP_MemSize size, int32_t, AEGP_MemHandle* mem) {
    MORVEL_SIM_PROJECT_CALL("AEGP_NewMemHandle");
    if (mem == nullptr) return project.fail("AEGP_NewMemHandle", "null result pointer");
    *mem = nullptr;
    if (size > kMaxMemSize) return project.fail("AEGP_NewMemHandle", "size too large", PF_Err_OUT_OF_MEMORY);
    *mem = project.newMemHandle(what != nullptr ? what : "", static_cast<size_t>(size));
    return PF_Err_NONE;
}

PF_Err freeMemHandle(AEGP_MemHandle mem) {
    MORVEL_SIM_PROJECT_CALL("AEGP_FreeMemHandle");
    if (project.findMemHandle(mem, "AEGP_FreeMemHandle") == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    project.freeMemHandle(mem);
    return PF_Err_NONE;
}

PF_Err lockMemHandle(AEGP_MemHandle mem, void** ptr) {
    MORVEL_SIM_PROJECT_CALL("AEGP_LockMemHandle");
    if (ptr == nullptr) return project.fail("AEGP_LockMemHandle", "null result pointer");
    *ptr = nullptr;
    Project::MemBlock* block = project.findMemHandle(mem, "AEGP_LockMemHandle");
    if (block == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    ++block->locks;
    host.ledger().acquire("memory lock", Ledger::keyOf(mem), block->what);
    // An empty block still locks to a valid address.
    static char emptyBlock;
    *ptr = block->bytes.empty() ? &emptyBlock : block->bytes.data();
    return PF_Err_NONE;
}

PF_Err unlockMemHandle(AEGP_MemHandle mem) {
    MORVEL_SIM_PROJECT_CALL("AEGP_UnlockMemHandle");
    Project::MemBlock* block = project.findMemHandle(mem, "AEGP_UnlockMemHandle");
    if (block == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (block->locks == 0) return project.fail("AEGP_UnlockMemHandle", "memory handle is not locked");
    --block->locks;
    host.ledger().release("memory lock", Ledger::keyOf(mem));
    return PF_Err_NONE;
}

PF_Err getMemHandleSize(AEGP_MemHandle mem, AEGP_MemSize* size) {
    MORVEL_SIM_PROJECT_CALL("AEGP_GetMemHandleSize");
    if (size == nullptr) return project.fail("AEGP_GetMemHandleSize", "null result pointer");
    Project::MemBlock* block = project.findMemHandle(mem, "AEGP_GetMemHandleSize");
    if (block == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *size = block->bytes.size();
    return PF_Err_NONE;
}

PF_Err resizeMemHandle(const char*, AEGP_MemSize size, AEGP_MemHandle mem) {
    MORVEL_SIM_PROJECT_CALL("AEGP_ResizeMemHandle");
    Project::MemBlock* block = project.findMemHandle(mem, "AEGP_ResizeMemHandle");
    if (block == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (block->locks != 0) return project.fail("AEGP_ResizeMemHandle", "memory handle is locked");
    if (size > kMaxMemSize) return project.fail("AEGP_ResizeMemHandle", "size too large", PF_Err_OUT_OF_MEMORY);
    block->bytes.resize(static_cast<size_t>(size), 0);
    return PF_Err_NONE;
}

const AEGP_MemorySuite1 kMemorySuite1 = {newMemHandle,    freeMemHandle,    lockMemHandle,
                                         unlockMemHandle, getMemHandleSize, resizeMemHandle};

}  // namespace

void installMemorySuite(Host& host) {
    host.faults().registerNames({"AEGP_FreeMemHandle", "AEGP_GetMemHandleSize", "AEGP_LockMemHandle", "AEGP_NewMemHandle",
                                 "AEGP_ResizeMemHandle", "AEGP_UnlockMemHandle"});
    host.addSuite(kAEGPMemorySuite, kAEGPMemorySuiteVersion1, &kMemorySuite1);
}

}  // namespace Sim
