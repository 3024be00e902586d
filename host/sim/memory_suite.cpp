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
    return onReferenced("AEGP_FreeMemHandle", mem,
                        [mem](Project& project, Project::MemBlock&) { project.freeMemHandle(mem); });
}

PF_Err lockMemHandle(AEGP_MemHandle mem, void** ptr) {
    return answerFor("AEGP_LockMemHandle", mem, ptr, [mem](Project& project, Project::MemBlock& block, void*& locked) {
        ++block.locks;
        project.host().ledger().acquire("memory lock", Ledger::keyOf(mem), block.what);
        // An empty block still locks to a valid address.
        static char emptyBlock;
        locked = block.bytes.empty() ? &emptyBlock : block.bytes.data();
    });
}

PF_Err unlockMemHandle(AEGP_MemHandle mem) {
    return onReferenced("AEGP_UnlockMemHandle", mem, [mem](Project& project, Project::MemBlock& block) {
        if (block.locks == 0) return project.fail("AEGP_UnlockMemHandle", "memory handle is not locked");
        --block.locks;
        project.host().ledger().release("memory lock", Ledger::keyOf(mem));
        return PF_Err(PF_Err_NONE);
    });
}

PF_Err getMemHandleSize(AEGP_MemHandle mem, AEGP_MemSize* size) {
    return answerFor("AEGP_GetMemHandleSize", mem, size,
                     [](Project&, Project::MemBlock& block, AEGP_MemSize& bytes) { bytes = block.bytes.size(); });
}

PF_Err resizeMemHandle(const char*, AEGP_MemSize size, AEGP_MemHandle mem) {
    return onReferenced("AEGP_ResizeMemHandle", mem, [size](Project& project, Project::MemBlock& block) {
        if (block.locks != 0) return project.fail("AEGP_ResizeMemHandle", "memory handle is locked");
        if (size > kMaxMemSize) return project.fail("AEGP_ResizeMemHandle", "size too large", PF_Err_OUT_OF_MEMORY);
        block.bytes.resize(static_cast<size_t>(size), 0);
        return PF_Err(PF_Err_NONE);
    });
}

const AEGP_MemorySuite1 kMemorySuite1 = {newMemHandle,    freeMemHandle,    lockMemHandle,
                                         unlockMemHandle, getMemHandleSize, resizeMemHandle};

}  // namespace

void installMemorySuite(Host& host) {
    host.faults().registerNames({"AEGP_FreeMemHandle", "AEGP_GetMemHandleSize", "AEGP_LockMemHandle",
                                 "AEGP_NewMemHandle", "AEGP_ResizeMemHandle", "AEGP_UnlockMemHandle"});
    host.addSuite(kAEGPMemorySuite, kAEGPMemorySuiteVersion1, &kMemorySuite1);
}

}  // namespace Sim
