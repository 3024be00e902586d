#pragma once

#include <cstdint>

#include "morvel_host/host.h"

// The commands every effect answers alike: about, global set-up and set-down, and a pre-render and
// render that pass the layer through unchanged.
namespace Morvel::Default {

struct Version {
    int32_t major;
    int32_t minor;
    int32_t bugfix;
    int32_t stage;
    int32_t build;

    // The host's version word; each field is cut to its bits, never carried into the next.
    constexpr uint32_t packed() const {
        return ((static_cast<uint32_t>(major) & 7u) << 19) | ((static_cast<uint32_t>(minor) & 15u) << 15) |
               ((static_cast<uint32_t>(bugfix) & 15u) << 11) | ((static_cast<uint32_t>(stage) & 3u) << 9) |
               (static_cast<uint32_t>(build) & 0x1FFu);
    }
};

// Size of the global data handle; its first word is the plug-in id the host gave at registration.
inline constexpr uint64_t kGlobalDataSize = 16;

PF_Err About(const char* name, const char* years_text, const Version& version, PF_InData* in_data, PF_OutData* out_data,
             PF_ParamDef** params, PF_LayerDef* output);

PF_Err GlobalSetup(const Version& version, int32_t flags, int32_t flags2, PF_InData* in_data, PF_OutData* out_data,
                   PF_ParamDef** params, PF_LayerDef* output);

PF_Err GlobalSetdown(PF_InData* in_data);

// A parameter changed: the effect's layer and that layer's composition are asked for and neither
// answer is used, as the tilt-shift and the diffusion have always done. The first error returns.
PF_Err UserChangedParam(PF_InData* in_data);

PF_Err PreRender(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);

}  // namespace Morvel::Default
