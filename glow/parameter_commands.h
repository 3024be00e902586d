#pragma once

#include <vector>

#include "glow/stages/menu_items.h"
#include "morvel_host/host.h"

namespace Glow {

// Parameter set-up: the table, its group entries and the two colour-expression parameters.
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data);

// Update of the parameters' UI: greys out what the other settings make meaningless.
PF_Err UpdateParameterUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);

// The custom UI and the values of the two colour-expression parameters.
PF_Err Event(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
             PF_EventExtra* extra);
PF_Err ArbitraryData(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                     PF_ArbParamsExtra* extra);

// The settings that decide what is greyed out, as popup items and checkbox values.
struct UiControls {
    bool diffusion;
    bool beam;
    bool kernel;
    BlurTypeItem blurType;
    bool useMask;
    MaskTypeItem maskType;
    bool useThreshold2;
    ChannelItem channel;
    TonesItem tones;
    bool useDifferentChannel;
    ChannelItem tonerChannel;
};

struct GrayOut {
    int id;
    bool gray;
};

// The grey-out calls for these settings, in the order they are made.
std::vector<GrayOut> grayOutPlan(const UiControls& controls);

}  // namespace Glow
