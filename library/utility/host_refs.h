#pragma once

#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "morvel_host/aegp_project.h"
#include "morvel_host/aegp_suites.h"
#include "morvel_host/host.h"

namespace Morvel {

// The first error of a sequence wins: a later step's error counts only when none came before.
inline PF_Err firstError(PF_Err first, PF_Err later) { return first != PF_Err_NONE ? first : later; }

// Owners of what the host hands out through an AEGP suite. Each takes the suite it gives back
// with when it is made, before the host is asked for anything, so that a suite found missing
// can never strand what the host already handed out; each gives back what it holds when it
// goes (errors there have no one to go to) and cannot be copied.

// A memory handle of the "AEGP Memory Suite".
class MemHandle {
public:
    explicit MemHandle(const AEGP_MemorySuite1* memory) : memory_(memory) {}
    ~MemHandle();
    MemHandle(const MemHandle&) = delete;
    MemHandle& operator=(const MemHandle&) = delete;

    // Where the host writes a new handle; a handle held so far is freed first.
    AEGP_MemHandle* put();
    AEGP_MemHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    // The handle's bytes: its size, then locked, copied and unlocked. The bytes are those of the
    // handle whenever the lock succeeded (a later unlock error is still returned), else empty.
    PF_Err read(std::vector<char>& bytes) const;
    // Frees the handle now and returns the host's answer.
    PF_Err free();

private:
    const AEGP_MemorySuite1* memory_;
    AEGP_MemHandle handle_ = nullptr;
};

// An effect reference, given back with the "AEGP Effect Suite" version it came with.
class EffectRef {
public:
    using Dispose = PF_Err (*)(AEGP_EffectRefH);

    explicit EffectRef(Dispose dispose) : dispose_(dispose) {}
    ~EffectRef();
    EffectRef(const EffectRef&) = delete;
    EffectRef& operator=(const EffectRef&) = delete;

    // Where the host writes a new reference; a reference held so far is disposed first.
    AEGP_EffectRefH* put();
    AEGP_EffectRefH get() const { return effect_; }
    // Takes over a reference obtained elsewhere (after disposing the one held).
    void reset(AEGP_EffectRefH effect);
    // Gives the held reference up without disposing it.
    AEGP_EffectRefH release();
    // Disposes the reference now and returns the host's answer.
    PF_Err dispose();

private:
    Dispose dispose_;
    AEGP_EffectRefH effect_ = nullptr;
};

}  // namespace Morvel
