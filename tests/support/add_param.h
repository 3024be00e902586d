#pragma once

#include <cstring>

#include "morvel_host/host.h"

// Registers a parameter from a cleared record: type, name, id, then whatever `fill` sets.
template <typename Fill>
PF_Err addTestParam(PF_InData* in, PF_ParamType type, const char* name, int32_t id, Fill&& fill) {
    PF_ParamDef def{};
    def.param_type = type;
    std::strncpy(def.name, name, sizeof def.name - 1);
    def.uu.id = id;
    fill(def.u);
    return in->inter.add_param(in->effect_ref, -1, &def);
}
