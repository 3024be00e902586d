#pragma once

// An arbitrary-data parameter as the host keeps it: the value handles belong to the host, and
// the effect's arbitrary-data callback (command 22) is what makes, copies, flattens, restores,
// interpolates, compares and disposes them, as when the host saves, loads, duplicates and
// keyframes the parameter. Everything the effect hands back is checked before it is kept.

#include <functional>
#include <vector>

#include "host/sim/host.h"

namespace Sim {

// The effect's side of command 22.
using ArbitraryHandler = std::function<PF_Err(PF_InData*, PF_OutData*, PF_ArbParamsExtra*)>;

class ArbitraryParam {
public:
    ArbitraryParam(Host& host, PF_InData& in_data, int16_t id, ArbitraryHandler handler);
    // Gives every value still held back to the effect.
    ~ArbitraryParam();
    ArbitraryParam(const ArbitraryParam&) = delete;
    ArbitraryParam& operator=(const ArbitraryParam&) = delete;

    // Each answers the effect's error, or the host's own when what came back is unusable. A
    // value made is held until dispose() or the destructor.
    PF_Err create(PF_ArbitraryH& value);
    PF_Err duplicate(PF_ArbitraryH source, PF_ArbitraryH& copy);
    // Flat size, then flatten into a buffer of that size (prefilled with 0xA5 so that bytes the
    // effect leaves unwritten show).
    PF_Err save(PF_ArbitraryH value, std::vector<char>& flat);
    PF_Err load(const std::vector<char>& flat, PF_ArbitraryH& value);
    PF_Err interpolate(PF_ArbitraryH left, PF_ArbitraryH right, double t, PF_ArbitraryH& value);
    PF_Err compare(PF_ArbitraryH a, PF_ArbitraryH b, int32_t& result);
    PF_Err dispose(PF_ArbitraryH value);

    // Takes a value made elsewhere (for example by the effect at parameter set-up) into the
    // host's keeping.
    void adopt(PF_ArbitraryH value);
    size_t held() const { return held_.size(); }

    // Flattened data larger than this is refused.
    static constexpr uint32_t kMaxFlatSize = 1u << 20;

private:
    PF_Err call(PF_ArbParamsExtra& extra);
    PF_Err keep(PF_Err err, PF_ArbitraryH made, PF_ArbitraryH& value, const char* what);

    Host& host_;
    PF_InData& in_data_;
    int16_t id_;
    ArbitraryHandler handler_;
    std::vector<PF_ArbitraryH> held_;
};

}  // namespace Sim
